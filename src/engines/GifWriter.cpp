#include "engines/GifWriter.h"

#include "engines/ImageFiles.h"

#include <QIODevice>
#include <QtConcurrent/QtConcurrentMap>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace vistrel {

namespace {

// --- exact palettes --------------------------------------------------------------------------

// The frame's colours, when there are at most 256 of them: an open-addressed table keyed by the
// opaque colour (never 0, so 0 marks a free slot).
bool indexExactly(const QImage &rgb, IndexedFrame &frame)
{
    constexpr int tableSize = 1024;
    std::array<quint32, tableSize> keys{};
    std::array<uchar, tableSize> index{};
    auto slotOf = [&](quint32 key) {
        quint32 h = (key * 2654435761u) >> 22;
        while (keys[h] && keys[h] != key)
            h = (h + 1) & (tableSize - 1);
        return h;
    };
    const int w = rgb.width(), h = rgb.height();
    frame.indices.resize(qsizetype(w) * h);
    auto *out = reinterpret_cast<uchar *>(frame.indices.data());
    quint32 lastKey = 0;
    uchar lastIndex = 0;
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint32 key = row[x] | 0xff000000u;
            if (key != lastKey) {
                const quint32 s = slotOf(key);
                if (!keys[s]) {
                    if (frame.palette.size() == 256)
                        return false;
                    keys[s] = key;
                    index[s] = uchar(frame.palette.size());
                    frame.palette.append(key);
                }
                lastKey = key;
                lastIndex = index[s];
            }
            *out++ = lastIndex;
        }
    }
    return true;
}

// --- median cut --------------------------------------------------------------------------------

struct Bin
{
    float mean[3];
    quint32 count;
    quint64 sum[3];
};

struct Box
{
    size_t begin, end;
    quint64 count = 0;
    double error = 0; // squared distance of the pixels to the box's mean
    int axis = 0;     // the channel with the widest spread
};

void measure(Box &box, const std::vector<Bin> &bins)
{
    double s[3] = {}, s2[3] = {};
    box.count = 0;
    for (size_t i = box.begin; i < box.end; ++i) {
        const Bin &b = bins[i];
        box.count += b.count;
        for (int c = 0; c < 3; ++c) {
            s[c] += double(b.count) * b.mean[c];
            s2[c] += double(b.count) * b.mean[c] * b.mean[c];
        }
    }
    box.error = 0;
    double widest = -1;
    for (int c = 0; c < 3; ++c) {
        const double var = s2[c] - s[c] * s[c] / double(std::max<quint64>(box.count, 1));
        box.error += var;
        if (var > widest) {
            widest = var;
            box.axis = c;
        }
    }
    if (box.end - box.begin < 2)
        box.error = 0; // one bin cannot be split
}

constexpr int levelBits = 6;
constexpr int levels = 1 << levelBits;
inline int binKey(int r, int g, int b)
{
    constexpr int shift = 8 - levelBits;
    return ((r >> shift) << (2 * levelBits)) | ((g >> shift) << levelBits) | (b >> shift);
}

QVector<QRgb> medianCut(const QImage &rgb, const QRect &rect, int maxColours, int step)
{
    std::vector<quint32> count(levels * levels * levels, 0);
    std::vector<std::array<quint64, 3>> sums(count.size(), {0, 0, 0});
    for (int y = rect.top(); y <= rect.bottom(); y += step) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = rect.left(); x <= rect.right(); x += step) {
            const int r = qRed(row[x]), g = qGreen(row[x]), b = qBlue(row[x]);
            const int k = binKey(r, g, b);
            ++count[size_t(k)];
            sums[size_t(k)][0] += quint64(r);
            sums[size_t(k)][1] += quint64(g);
            sums[size_t(k)][2] += quint64(b);
        }
    }
    std::vector<Bin> bins;
    for (size_t k = 0; k < count.size(); ++k) {
        if (!count[k])
            continue;
        Bin b{};
        b.count = count[k];
        for (int c = 0; c < 3; ++c) {
            b.sum[c] = sums[k][size_t(c)];
            b.mean[c] = float(double(b.sum[c]) / b.count);
        }
        bins.push_back(b);
    }

    std::vector<Box> boxes{Box{0, bins.size()}};
    measure(boxes[0], bins);
    while (boxes.size() < size_t(maxColours)) {
        auto it = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box &a, const Box &b) { return a.error < b.error; });
        if (it->error <= 0)
            break;
        Box box = *it;
        const int axis = box.axis;
        std::sort(bins.begin() + ptrdiff_t(box.begin), bins.begin() + ptrdiff_t(box.end),
                  [axis](const Bin &a, const Bin &b) { return a.mean[axis] < b.mean[axis]; });
        // Split where half the pixels lie on either side, keeping both halves non-empty.
        quint64 seen = 0;
        size_t cut = box.begin + 1;
        for (size_t i = box.begin; i + 1 < box.end; ++i) {
            seen += bins[i].count;
            cut = i + 1;
            if (seen * 2 >= box.count)
                break;
        }
        Box low{box.begin, cut}, high{cut, box.end};
        measure(low, bins);
        measure(high, bins);
        *it = low;
        boxes.push_back(high);
    }

    QVector<QRgb> palette;
    for (const Box &box : boxes) {
        quint64 s[3] = {}, n = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            n += bins[i].count;
            for (int c = 0; c < 3; ++c)
                s[c] += bins[i].sum[c];
        }
        if (!n)
            continue;
        palette.append(
            qRgb(int((s[0] + n / 2) / n), int((s[1] + n / 2) / n), int((s[2] + n / 2) / n)));
    }
    return palette;
}

// Floyd–Steinberg error diffusion onto the palette; the nearest entry is remembered per
// 6-bit colour cell.
void indexDithered(const QImage &rgb, IndexedFrame &frame)
{
    const int w = rgb.width(), h = rgb.height();
    const QVector<QRgb> &pal = frame.palette;
    std::vector<qint16> nearest(size_t(levels) * levels * levels, -1);
    auto lookup = [&](int r, int g, int b) -> int {
        qint16 &cached = nearest[size_t(binKey(r, g, b))];
        if (cached >= 0)
            return cached;
        int best = 0, bestDist = INT_MAX;
        for (int i = 0; i < pal.size(); ++i) {
            const int dr = qRed(pal[i]) - r, dg = qGreen(pal[i]) - g, db = qBlue(pal[i]) - b;
            const int d = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
            if (d < bestDist) {
                bestDist = d;
                best = i;
            }
        }
        cached = qint16(best);
        return best;
    };

    frame.indices.resize(qsizetype(w) * h);
    auto *out = reinterpret_cast<uchar *>(frame.indices.data());
    // Errors in sixteenths for this row and the next, with one spare cell at either end.
    std::vector<int> cur(size_t(w + 2) * 3, 0), next(size_t(w + 2) * 3, 0);
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < w; ++x) {
            int *e = &cur[size_t(x + 1) * 3];
            const int want[3] = {qRed(row[x]) + (e[0] + 8) / 16, qGreen(row[x]) + (e[1] + 8) / 16,
                                 qBlue(row[x]) + (e[2] + 8) / 16};
            const int r = std::clamp(want[0], 0, 255), g = std::clamp(want[1], 0, 255),
                      b = std::clamp(want[2], 0, 255);
            const int i = lookup(r, g, b);
            *out++ = uchar(i);
            const int err[3] = {r - qRed(pal[i]), g - qGreen(pal[i]), b - qBlue(pal[i])};
            for (int c = 0; c < 3; ++c) {
                cur[size_t(x + 2) * 3 + c] += err[c] * 7;
                next[size_t(x) * 3 + c] += err[c] * 3;
                next[size_t(x + 1) * 3 + c] += err[c] * 5;
                next[size_t(x + 2) * 3 + c] += err[c];
            }
        }
        std::swap(cur, next);
    }
}

// --- writing -----------------------------------------------------------------------------------

int writeToDevice(GifFileType *gif, const GifByteType *data, int length)
{
    auto *device = static_cast<QIODevice *>(gif->UserData);
    return int(device->write(reinterpret_cast<const char *>(data), length));
}

struct MapDeleter
{
    void operator()(ColorMapObject *map) const { GifFreeMapObject(map); }
};
using ColorMap = std::unique_ptr<ColorMapObject, MapDeleter>;

ColorMap makeMap(const QVector<QRgb> &palette)
{
    int size = 2; // a power of two, at least 2
    while (size < palette.size())
        size *= 2;
    std::vector<GifColorType> colours(size_t(size), GifColorType{0, 0, 0});
    for (int i = 0; i < palette.size(); ++i)
        colours[size_t(i)] =
            GifColorType{GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])),
                         GifByteType(qBlue(palette[i]))};
    return ColorMap(GifMakeMapObject(size, colours.data()));
}

} // namespace

QVector<QRgb> medianCutPalette(const QImage &rgb, const QRect &rect, int maxColours, int step)
{
    const QRect area = rect & rgb.rect();
    if (area.isEmpty() || maxColours < 1)
        return {};
    return medianCut(rgb, area, maxColours, std::max(1, step));
}

IndexedFrame indexFrame(const QImage &image)
{
    IndexedFrame frame;
    if (image.isNull())
        return frame;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    frame.size = rgb.size();
    if (indexExactly(rgb, frame)) {
        frame.exact = true;
        return frame;
    }
    frame.palette = medianCut(rgb, rgb.rect(), 256, 1);
    indexDithered(rgb, frame);
    return frame;
}

bool GifWriter::write(QIODevice &out, const QList<IndexedFrame> &frames, int delayCentiseconds,
                      int loopCount)
{
    if (frames.isEmpty() || frames.first().size.isEmpty())
        return false;
    const QSize size = frames.first().size;
    for (const IndexedFrame &f : frames)
        if (f.size != size || f.palette.isEmpty() ||
            f.indices.size() != qsizetype(size.width()) * size.height())
            return false;

    int error = 0;
    GifFileType *gif = EGifOpen(&out, writeToDevice, &error);
    if (!gif)
        return false;
    bool ok = true;
    EGifSetGifVersion(gif, true);
    // The first frame's palette serves the whole file; later frames bring their own.
    ColorMap global = makeMap(frames.first().palette);
    ok =
        global && EGifPutScreenDesc(gif, size.width(), size.height(), 8, 0, global.get()) == GIF_OK;

    if (ok) {
        const unsigned char netscape[] = "NETSCAPE2.0";
        const unsigned char loop[3] = {1, GifByteType(loopCount & 0xff),
                                       GifByteType((loopCount >> 8) & 0xff)};
        ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif, 11, netscape) == GIF_OK &&
             EGifPutExtensionBlock(gif, 3, loop) == GIF_OK &&
             EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    for (int i = 0; ok && i < frames.size(); ++i) {
        const IndexedFrame &f = frames[i];
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.UserInputFlag = false;
        gcb.DelayTime = delayCentiseconds;
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&gcb, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
        ColorMap local;
        if (ok && i > 0) {
            local = makeMap(f.palette);
            ok = bool(local);
        }
        ok = ok &&
             EGifPutImageDesc(gif, 0, 0, size.width(), size.height(), false, local.get()) == GIF_OK;
        auto *pixels = reinterpret_cast<GifPixelType *>(const_cast<char *>(f.indices.constData()));
        for (int y = 0; ok && y < size.height(); ++y)
            ok = EGifPutLine(gif, pixels + qsizetype(y) * size.width(), size.width()) == GIF_OK;
    }
    // Closing writes the trailer and frees the writer either way.
    const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
    return ok && closed;
}

bool GifWriter::writeFile(const QString &path, const QList<QImage> &frames, int delayCentiseconds,
                          int loopCount)
{
    if (frames.isEmpty())
        return false;
    for (const QImage &f : frames)
        if (f.isNull() || f.size() != frames.first().size())
            return false;
    const QList<IndexedFrame> indexed =
        QtConcurrent::blockingMapped<QList<IndexedFrame>>(frames, indexFrame);
    return ImageFiles::writeAtomically(
        path, [&](QIODevice &out) { return write(out, indexed, delayCentiseconds, loopCount); });
}

GifStream::~GifStream()
{
    close();
}

bool GifStream::open(QIODevice &out, const QSize &size, int loopCount)
{
    if (m_gif || size.isEmpty() || size.width() > 65535 || size.height() > 65535)
        return false;
    int error = 0;
    m_gif = EGifOpen(&out, writeToDevice, &error);
    if (!m_gif)
        return false;
    m_size = size;
    EGifSetGifVersion(m_gif, true);
    ColorMap global = makeMap(QVector<QRgb>(256, 0));
    bool ok = global &&
              EGifPutScreenDesc(m_gif, size.width(), size.height(), 8, 0, global.get()) == GIF_OK;
    const unsigned char netscape[] = "NETSCAPE2.0";
    const unsigned char loop[3] = {1, GifByteType(loopCount & 0xff),
                                   GifByteType((loopCount >> 8) & 0xff)};
    ok = ok && EGifPutExtensionLeader(m_gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(m_gif, 11, netscape) == GIF_OK &&
         EGifPutExtensionBlock(m_gif, 3, loop) == GIF_OK &&
         EGifPutExtensionTrailer(m_gif) == GIF_OK;
    return ok;
}

bool GifStream::addFrame(const QRect &rect, const uchar *indices, const QVector<QRgb> *localPalette,
                         int delayCentiseconds, int transparentIndex)
{
    if (!m_gif || rect.isEmpty() || !QRect(QPoint(), m_size).contains(rect))
        return false;
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = std::clamp(delayCentiseconds, 0, 65535);
    gcb.TransparentColor = transparentIndex < 0 ? NO_TRANSPARENT_COLOR : transparentIndex;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&gcb, extension);
    bool ok = EGifPutExtension(m_gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
    ColorMap local;
    if (ok && localPalette) {
        local = makeMap(*localPalette);
        ok = bool(local);
    }
    ok = ok && EGifPutImageDesc(m_gif, rect.x(), rect.y(), rect.width(), rect.height(), false,
                                local.get()) == GIF_OK;
    auto *pixels = const_cast<GifPixelType *>(indices);
    for (int y = 0; ok && y < rect.height(); ++y)
        ok = EGifPutLine(m_gif, pixels + qsizetype(y) * rect.width(), rect.width()) == GIF_OK;
    return ok;
}

bool GifStream::close()
{
    if (!m_gif)
        return false;
    int error = 0;
    const bool closed = EGifCloseFile(m_gif, &error) == GIF_OK;
    m_gif = nullptr;
    return closed;
}

} // namespace vistrel
