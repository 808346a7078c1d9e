#include "engines/GifRecording.h"

#include "engines/GifWriter.h"
#include "engines/VideoEncoder.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vistrel {

namespace {

// A file written through a buffer of its own that remembers why a write failed (a full disk
// is told apart from other causes) and can overwrite bytes already written.
class FileSink final : public QIODevice
{
public:
    ~FileSink() override { closeFile(); }

    bool create(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0644);
        if (m_fd < 0) {
            m_errno = errno;
            return false;
        }
        return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool flushBuffer()
    {
        const char *p = m_buffer.constData();
        qsizetype left = m_buffer.size();
        while (left > 0 && !m_errno) {
            const ssize_t n = ::write(m_fd, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_errno = n < 0 ? errno : ENOSPC;
                break;
            }
            p += n;
            left -= n;
        }
        m_buffer.clear();
        return !m_errno;
    }
    // Overwrites what was written at `offset`: the file does not grow.
    bool patch(qint64 offset, const QByteArray &bytes)
    {
        if (!flushBuffer())
            return false;
        if (::pwrite(m_fd, bytes.constData(), size_t(bytes.size()), offset) != bytes.size()) {
            m_errno = errno ? errno : EIO;
            return false;
        }
        return true;
    }
    bool closeFile()
    {
        if (m_fd < 0)
            return !m_errno;
        flushBuffer();
        if (::close(m_fd) != 0 && !m_errno)
            m_errno = errno;
        m_fd = -1;
        QIODevice::close();
        return !m_errno;
    }
    int error() const { return m_errno; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        if (m_errno)
            return -1;
        m_buffer.append(data, length);
        if (m_buffer.size() >= 256 * 1024 && !flushBuffer())
            return -1;
        return length;
    }

private:
    int m_fd = -1;
    int m_errno = 0;
    QByteArray m_buffer;
};

inline quint32 rgbOf(QRgb c)
{
    return c & 0xffffffu;
}

inline int distance(int r, int g, int b, QRgb c)
{
    const int dr = qRed(c) - r, dg = qGreen(c) - g, db = qBlue(c) - b;
    return 2 * dr * dr + 4 * dg * dg + 3 * db * db;
}

// Colours by exact value (an open-addressed table) and, for dithering, the nearest entry per
// 6-bit colour cell.
class Palette
{
public:
    QVector<QRgb> colours;

    int find(QRgb c) const
    {
        const quint32 key = rgbOf(c) | 0x1000000u; // never 0, the mark of a free slot
        for (quint32 h = slotOf(key);; h = (h + 1) & (tableSize - 1)) {
            if (!m_keys[h])
                return -1;
            if (m_keys[h] == key)
                return m_index[h];
        }
    }
    void add(QRgb c)
    {
        const quint32 key = rgbOf(c) | 0x1000000u;
        quint32 h = slotOf(key);
        while (m_keys[h])
            h = (h + 1) & (tableSize - 1);
        m_keys[h] = key;
        m_index[h] = quint8(colours.size());
        colours.append(qRgb(qRed(c), qGreen(c), qBlue(c)));
        m_nearest.clear();
    }
    void truncate(int size)
    {
        const QVector<QRgb> kept = colours.mid(0, size);
        reset();
        for (QRgb c : kept)
            add(c);
    }
    void reset()
    {
        colours.clear();
        m_keys.fill(0);
        m_nearest.clear();
    }
    int nearest(int r, int g, int b)
    {
        if (m_nearest.empty())
            m_nearest.assign(size_t(1) << 18, -1);
        qint16 &cached = m_nearest[size_t(((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2))];
        if (cached < 0) {
            int best = 0, bestDistance = INT_MAX;
            for (int i = 0; i < colours.size(); ++i) {
                const int d = distance(r, g, b, colours[i]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            cached = qint16(best);
        }
        return cached;
    }

private:
    static constexpr quint32 tableSize = 1024;
    static quint32 slotOf(quint32 key) { return (key * 2654435761u) >> 22; }
    std::array<quint32, tableSize> m_keys{};
    std::array<quint8, tableSize> m_index{};
    std::vector<qint16> m_nearest;
};

// The smallest rectangle holding every pixel where the two pictures differ.
QRect changedRect(const QImage &now, const QImage &before)
{
    if (before.isNull() || before.size() != now.size())
        return now.rect();
    const int w = now.width(), h = now.height();
    int top = -1, bottom = -1, left = w, right = -1;
    for (int y = 0; y < h; ++y) {
        const auto *a = reinterpret_cast<const quint32 *>(now.constScanLine(y));
        const auto *b = reinterpret_cast<const quint32 *>(before.constScanLine(y));
        if (std::memcmp(a, b, size_t(w) * 4) == 0)
            continue;
        int x0 = 0;
        while (x0 < w && rgbOf(a[x0]) == rgbOf(b[x0]))
            ++x0;
        if (x0 == w)
            continue; // only alpha differs
        int x1 = w - 1;
        while (rgbOf(a[x1]) == rgbOf(b[x1]))
            --x1;
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, x0);
        right = std::max(right, x1);
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// The index to write for a pixel that should show `chosen` (-1: whatever is shown now,
// `shown`), after `written`: transparent where the picture already shows that colour, unless
// the index goes on the run before it, which packs better.
inline int pick(const Palette &palette, int chosen, QRgb shown, int written, int transparent)
{
    if (transparent < 0)
        return chosen;
    if (chosen < 0) {
        const int k = written >= 0 && written != transparent ? written : -1;
        return k >= 0 && rgbOf(palette.colours[k]) == rgbOf(shown) ? k : transparent;
    }
    if (chosen == written || rgbOf(palette.colours[chosen]) != rgbOf(shown))
        return chosen;
    return transparent;
}

} // namespace

struct GifRecordingEncoder::Private
{
    // A frame indexed and waiting for its delay, known once the next one is.
    struct Pending
    {
        QRect rect;
        QByteArray indices;
        QVector<QRgb> localPalette; // empty: the global one
        int transparent = -1;
        qint64 slot = 0;
    };

    EncoderSettings settings;
    int gifFps = 15;
    QString tempPath;
    FileSink file;
    GifStream gif;
    bool opened = false;
    bool finished = false;
    QString error;

    QImage current; // the latest picture, kept or skipped once the next one comes
    qint64 currentTick = -1;
    QImage shown;  // the last picture written, as it came
    QImage canvas; // what the GIF shows after it
    std::optional<Pending> pending;
    bool anyFrame = false;

    // The file's own palette, filled in at the end: the first picture's colours, growing
    // with new ones while there is room, or a median cut of a first picture with more
    // colours. Index 255 is transparent.
    Palette global;
    double globalError = 0; // of the median cut on its picture; 0: exact colours
    Palette scene;          // a median cut for a scene the global palette does not fit
    double sceneError = 0;

    qint64 slotOf(qint64 tick) const { return (tick * gifFps + settings.fps - 1) / settings.fps; }
    qint64 centiseconds(qint64 slot) const { return (slot * 200 + gifFps) / (2 * gifFps); }

    QString writeError()
    {
        return writeErrorText(settings.path, file.error() ? file.error() : EIO);
    }
    bool writePending(qint64 endCentiseconds);
    void keep(const QImage &picture, qint64 slot);
    bool settle(Pending &frame);
    bool indexExactly(const QImage &picture, const QRect &rect, Pending &out);
    double fit(Palette &palette, const QImage &picture, const QRect &rect);
    Palette &newPalette(const QImage &picture);
    void indexDithered(Palette &palette, const QImage &picture, const QRect &rect, Pending &out);
};

GifRecordingEncoder::GifRecordingEncoder() : d(std::make_unique<Private>()) {}

GifRecordingEncoder::~GifRecordingEncoder()
{
    if (d->opened && !d->finished)
        finish(d->currentTick + 1); // never silently lose a recording
}

QString GifRecordingEncoder::open(const EncoderSettings &settings)
{
    if (d->opened)
        return QCoreApplication::translate("GifRecordingEncoder",
                                           "The recording has already started.");
    if (settings.size.isEmpty() || settings.fps <= 0)
        return QCoreApplication::translate("GifRecordingEncoder", "The area to record is empty.");
    if (settings.size.width() > 65535 || settings.size.height() > 65535)
        return QCoreApplication::translate("GifRecordingEncoder",
                                           "The area is too large for a GIF.");
    d->settings = settings;
    d->gifFps = std::clamp(settings.gifMaxFps > 0 ? settings.gifMaxFps : settings.fps, 1,
                           std::min(settings.fps, 100));
    d->tempPath = temporaryPathFor(settings.path);
    if (!d->file.create(d->tempPath))
        return writeErrorText(settings.path, d->file.error());
    if (!d->gif.open(d->file, settings.size, 0) || !d->file.flushBuffer()) {
        const QString error = d->writeError();
        d->gif.close();
        d->file.closeFile();
        QFile::remove(d->tempPath);
        return error;
    }
    d->opened = true;
    return {};
}

QString GifRecordingEncoder::add(const QImage &frame, qint64 tick)
{
    if (!d->opened || d->finished)
        return QCoreApplication::translate("GifRecordingEncoder", "The recording has not started.");
    if (!d->error.isEmpty())
        return d->error;
    if (tick <= d->currentTick || frame.isNull())
        return {};
    // The held picture is kept when it is still on screen at one of the GIF's instants.
    if (!d->current.isNull() && d->slotOf(d->currentTick) < d->slotOf(tick))
        d->keep(d->current, d->slotOf(d->currentTick));
    QImage picture = frame.convertToFormat(QImage::Format_RGB32);
    if (picture.size() != d->settings.size)
        picture = picture.copy(QRect(QPoint(), d->settings.size)); // outside: black
    d->current = picture;
    d->currentTick = tick;
    if (d->file.error())
        d->error = d->writeError();
    return d->error;
}

QString GifRecordingEncoder::finish(qint64 endTick)
{
    if (!d->opened || d->finished)
        return QCoreApplication::translate("GifRecordingEncoder", "The recording has not started.");
    d->finished = true;
    endTick = std::max(endTick, d->currentTick + 1);
    if (d->error.isEmpty() && !d->current.isNull() &&
        d->slotOf(d->currentTick) < d->slotOf(endTick))
        d->keep(d->current, d->slotOf(d->currentTick));
    d->current = QImage();
    d->shown = QImage();
    if (d->pending && d->error.isEmpty()) {
        const qint64 end = (endTick * 200 + d->settings.fps) / (2 * d->settings.fps);
        d->writePending(std::max(end, d->centiseconds(d->pending->slot) + 1));
    }
    // The trailer and the palette go in even after an error: what was written stays readable.
    d->gif.close();
    QByteArray palette(768, 0);
    for (int i = 0; i < d->global.colours.size(); ++i) {
        palette[3 * i] = char(qRed(d->global.colours[i]));
        palette[3 * i + 1] = char(qGreen(d->global.colours[i]));
        palette[3 * i + 2] = char(qBlue(d->global.colours[i]));
    }
    d->file.patch(GifStream::globalPaletteOffset, palette);
    d->file.closeFile();
    QString error = d->error;
    if (error.isEmpty() && d->file.error())
        error = d->writeError();
    if (!d->anyFrame) {
        QFile::remove(d->tempPath);
        return error.isEmpty()
                   ? QCoreApplication::translate("GifRecordingEncoder", "Nothing was recorded.")
                   : error;
    }
    const QString moved = moveIntoPlace(d->tempPath, d->settings.path);
    return error.isEmpty() ? moved : error;
}

bool GifRecordingEncoder::Private::writePending(qint64 endCentiseconds)
{
    Pending &p = *pending;
    qint64 delay = endCentiseconds - centiseconds(p.slot);
    bool ok = gif.addFrame(p.rect, reinterpret_cast<const uchar *>(p.indices.constData()),
                           p.localPalette.isEmpty() ? nullptr : &p.localPalette,
                           int(std::min<qint64>(delay, 65535)), p.transparent);
    // A still longer than a GIF delay holds goes on in transparent frames of one pixel.
    for (delay -= 65535; ok && delay > 0; delay -= 65535) {
        const uchar clear = 255;
        ok = gif.addFrame(QRect(0, 0, 1, 1), &clear, nullptr, int(std::min<qint64>(delay, 65535)),
                          255);
    }
    pending.reset();
    if (!ok || file.error()) {
        error = writeError();
        return false;
    }
    return true;
}

void GifRecordingEncoder::Private::keep(const QImage &picture, qint64 slot)
{
    const QRect rect = changedRect(picture, shown);
    if (rect.isEmpty())
        return; // the same picture: the one before lasts longer
    Pending next;
    next.rect = rect;
    next.slot = slot;
    if (!indexExactly(picture, rect, next)) {
        // The global palette while it fits, else the scene's, else a new one for the scene.
        // Leaving the global palette costs a table in every frame, so it is kept longer; a
        // scene's palette costs nothing to make anew, so it is kept only while it fits well.
        Palette *palette = nullptr;
        if (!global.colours.isEmpty() && fit(global, picture, rect) <= 2 * globalError + 100)
            palette = &global;
        else if (!scene.colours.isEmpty() && fit(scene, picture, rect) <= 1.5 * sceneError + 50)
            palette = &scene;
        else
            palette = &newPalette(picture);
        indexDithered(*palette, picture, rect, next);
        if (palette == &scene) {
            next.localPalette = scene.colours;
            next.localPalette.append(0); // the transparent entry
        }
    }
    if (!settle(next)) {
        shown = picture; // nothing to draw: what is shown is that picture already
        return;
    }
    if (pending && !writePending(centiseconds(slot)))
        return;
    pending = std::move(next);
    shown = picture;
    anyFrame = true;
}

// Crops the frame to the pixels that are not transparent and paints them on the canvas;
// false when there are none.
bool GifRecordingEncoder::Private::settle(Pending &frame)
{
    const QVector<QRgb> &colours =
        frame.localPalette.isEmpty() ? global.colours : frame.localPalette;
    const int w = frame.rect.width(), h = frame.rect.height();
    const auto *in = reinterpret_cast<const uchar *>(frame.indices.constData());
    if (canvas.isNull())
        canvas = QImage(settings.size, QImage::Format_RGB32);
    int top = -1, bottom = -1, left = w, right = -1;
    for (int y = 0; y < h; ++y) {
        auto *line =
            reinterpret_cast<QRgb *>(canvas.scanLine(frame.rect.top() + y)) + frame.rect.left();
        const uchar *row = in + qsizetype(y) * w;
        for (int x = 0; x < w; ++x) {
            if (row[x] == frame.transparent)
                continue;
            line[x] = colours[row[x]];
            if (top < 0)
                top = y;
            bottom = y;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    if (top < 0)
        return false;
    const QRect kept(QPoint(left, top), QPoint(right, bottom));
    if (kept.size() != frame.rect.size()) {
        QByteArray cropped(qsizetype(kept.width()) * kept.height(), Qt::Uninitialized);
        for (int y = 0; y < kept.height(); ++y)
            std::memcpy(cropped.data() + qsizetype(y) * kept.width(),
                        in + qsizetype(top + y) * w + left, size_t(kept.width()));
        frame.indices = cropped;
        frame.rect = kept.translated(frame.rect.topLeft());
    }
    return true;
}

// Every changed colour found in, or added to, the global palette: no dithering at all.
// Unchanged pixels are transparent, unless they go on a run of the same colour.
bool GifRecordingEncoder::Private::indexExactly(const QImage &picture, const QRect &rect,
                                                Pending &out)
{
    const int before = global.colours.size();
    if (before && globalError > 0)
        return false; // a median cut: its colours are not the picture's own
    const bool diff = !shown.isNull();
    out.indices.resize(qsizetype(rect.width()) * rect.height());
    auto *o = reinterpret_cast<uchar *>(out.indices.data());
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const auto *old = diff ? reinterpret_cast<const QRgb *>(shown.constScanLine(y)) : nullptr;
        const auto *seen = diff ? reinterpret_cast<const QRgb *>(canvas.constScanLine(y)) : nullptr;
        QRgb lastColour = 0;
        int lastIndex = -1, written = -1;
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb c = row[x];
            if (old && rgbOf(old[x]) == rgbOf(c)) {
                *o++ = uchar(written = pick(global, -1, seen[x], written, 255));
                continue;
            }
            if (lastIndex < 0 || rgbOf(c) != rgbOf(lastColour)) {
                lastIndex = global.find(c);
                if (lastIndex < 0) {
                    if (global.colours.size() >= 255) {
                        global.truncate(before);
                        return false;
                    }
                    lastIndex = global.colours.size();
                    global.add(c);
                }
                lastColour = c;
            }
            *o++ = uchar(written =
                             pick(global, lastIndex, seen ? seen[x] : 0, written, seen ? 255 : -1));
        }
    }
    out.transparent = 255;
    return true;
}

// The mean distance of the changed pixels (every other row and column) to the palette.
double GifRecordingEncoder::Private::fit(Palette &palette, const QImage &picture, const QRect &rect)
{
    double sum = 0;
    qint64 n = 0;
    for (int y = rect.top(); y <= rect.bottom(); y += 2) {
        const auto *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const auto *old =
            shown.isNull() ? nullptr : reinterpret_cast<const QRgb *>(shown.constScanLine(y));
        for (int x = rect.left(); x <= rect.right(); x += 2) {
            if (old && rgbOf(old[x]) == rgbOf(row[x]))
                continue;
            const int r = qRed(row[x]), g = qGreen(row[x]), b = qBlue(row[x]);
            sum += distance(r, g, b, palette.colours[palette.nearest(r, g, b)]);
            ++n;
        }
    }
    return n ? sum / double(n) : 0;
}

// A median cut of the whole picture: the global palette for the first picture, else the
// scene's.
Palette &GifRecordingEncoder::Private::newPalette(const QImage &picture)
{
    const bool first = global.colours.isEmpty();
    Palette &palette = first ? global : scene;
    palette.reset();
    const int step = picture.width() * picture.height() > 1000000 ? 2 : 1;
    for (QRgb c : medianCutPalette(picture, picture.rect(), 255, step))
        if (palette.find(c) < 0)
            palette.add(c);
    const QImage before = shown;
    shown = QImage(); // measured over the whole picture
    // Never 0, which marks a palette of exact colours.
    (first ? globalError : sceneError) = std::max(1.0, fit(palette, picture, picture.rect()));
    shown = before;
    return palette;
}

// Error diffusion over the changed pixels; colours the palette has exactly are kept as they
// are, and unchanged pixels are transparent unless they go on a run of the same colour.
void GifRecordingEncoder::Private::indexDithered(Palette &palette, const QImage &picture,
                                                 const QRect &rect, Pending &out)
{
    out.transparent = &palette == &global ? 255 : int(palette.colours.size());
    const int w = rect.width();
    out.indices.resize(qsizetype(w) * rect.height());
    auto *o = reinterpret_cast<uchar *>(out.indices.data());
    // Errors in sixteenths for this row and the next, with a spare cell at either end.
    std::vector<int> cur(size_t(w + 2) * 3, 0), next(size_t(w + 2) * 3, 0);
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const auto *old =
            shown.isNull() ? nullptr : reinterpret_cast<const QRgb *>(shown.constScanLine(y));
        const auto *seen =
            shown.isNull() ? nullptr : reinterpret_cast<const QRgb *>(canvas.constScanLine(y));
        std::fill(next.begin(), next.end(), 0);
        int written = -1;
        for (int i = 0; i < w; ++i) {
            const int x = rect.left() + i;
            if (old && rgbOf(old[x]) == rgbOf(row[x])) {
                // What is shown stays; its error goes nowhere.
                *o++ = uchar(written = pick(palette, -1, seen[x], written, out.transparent));
                continue;
            }
            const int *e = &cur[size_t(i + 1) * 3];
            int r = qRed(row[x]), g = qGreen(row[x]), b = qBlue(row[x]);
            int k = palette.find(row[x]);
            if (k < 0) {
                r = std::clamp(r + (e[0] * 3 + 32) / 64, 0, 255);
                g = std::clamp(g + (e[1] * 3 + 32) / 64, 0, 255);
                b = std::clamp(b + (e[2] * 3 + 32) / 64, 0, 255);
                k = palette.nearest(r, g, b);
            }
            *o++ = uchar(written = pick(palette, k, seen ? seen[x] : 0, written,
                                        seen ? out.transparent : -1));
            const QRgb p = palette.colours[k];
            const int err[3] = {r - qRed(p), g - qGreen(p), b - qBlue(p)};
            for (int c = 0; c < 3; ++c) {
                cur[size_t(i + 2) * 3 + c] += err[c] * 7;
                next[size_t(i) * 3 + c] += err[c] * 3;
                next[size_t(i + 1) * 3 + c] += err[c] * 5;
                next[size_t(i + 2) * 3 + c] += err[c];
            }
        }
        std::swap(cur, next);
    }
}

} // namespace vistrel
