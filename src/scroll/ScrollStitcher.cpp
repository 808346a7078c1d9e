#include "scroll/ScrollStitcher.h"

#include <QPainter>

#include <cmath>
#include <cstring>
#include <limits>

namespace vistrel {

namespace {

struct Sums
{
    quint64 red, green, blue;
};

// Pixels summed per call: 1024 keeps every 16-bit half-lane below 256 × 255.
constexpr int chunk = 1024;

// Red, green and blue sums of the 0xAARRGGBB pixels [x0, x1) of one row. Four pixels at a
// time: red and blue share a 32-bit lane as two 16-bit halves, green (with alpha) another.
Sums sumPixels(const quint32 *line, int x0, int x1)
{
    typedef quint32 v4u __attribute__((vector_size(16)));
    v4u rb = {0, 0, 0, 0}, ga = {0, 0, 0, 0};
    const v4u mask = {0x00ff00ffu, 0x00ff00ffu, 0x00ff00ffu, 0x00ff00ffu};
    int x = x0;
    for (; x + 4 <= x1; x += 4) {
        v4u v;
        std::memcpy(&v, line + x, sizeof v);
        rb += v & mask;
        ga += (v >> 8) & mask;
    }
    quint64 r = 0, g = 0, b = 0;
    for (int i = 0; i < 4; ++i) {
        r += rb[i] >> 16;
        b += rb[i] & 0xffffu;
        g += ga[i] & 0xffffu;
    }
    for (; x < x1; ++x) {
        const quint32 p = line[x];
        r += (p >> 16) & 0xffu;
        g += (p >> 8) & 0xffu;
        b += p & 0xffu;
    }
    return {r, g, b};
}

} // namespace

std::optional<ScrollStitcher::Signature> ScrollStitcher::signature(const QImage &frame)
{
    if (frame.isNull() || frame.width() < 1 || frame.height() < 1)
        return std::nullopt;
    QImage src = frame;
    switch (frame.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break; // screen grabs arrive like this: read in place
    default:
        src = frame.convertToFormat(QImage::Format_RGB32);
        if (src.isNull())
            return std::nullopt;
    }
    const int w = src.width(), h = src.height();

    // Cell boundaries: column c covers [xs[c], xs[c+1]), row r covers [ys[r], ys[r+1]). A frame
    // narrower or lower than the signature repeats its pixels (nearest neighbour).
    std::array<int, sigW + 1> xs;
    for (int c = 0; c <= sigW; ++c)
        xs[c] = int(qint64(c) * w / sigW);
    std::array<int, sigH + 1> ys;
    for (int r = 0; r <= sigH; ++r)
        ys[r] = int(qint64(r) * h / sigH);

    Signature sig;
    for (int r = 0; r < sigH; ++r) {
        const int y0 = ys[r];
        const int y1 = std::max(ys[r + 1], y0 + 1);
        std::array<quint64, sigW> red{}, green{}, blue{};
        for (int y = y0; y < y1; ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(src.constScanLine(y));
            for (int c = 0; c < sigW; ++c) {
                const int x1 = std::max(xs[c + 1], xs[c] + 1);
                for (int x = xs[c]; x < x1;) {
                    const int end = std::min(x1, x + chunk);
                    const Sums sums = sumPixels(line, x, end);
                    red[size_t(c)] += sums.red;
                    green[size_t(c)] += sums.green;
                    blue[size_t(c)] += sums.blue;
                    x = end;
                }
            }
        }
        for (int c = 0; c < sigW; ++c) {
            const int x0 = xs[c];
            const int x1 = std::max(xs[c + 1], x0 + 1);
            const quint64 n = quint64(y1 - y0) * quint64(x1 - x0);
            // ITU-R BT.601 luma, rounded to the nearest grey level.
            const quint64 luma =
                (299 * red[size_t(c)] + 587 * green[size_t(c)] + 114 * blue[size_t(c)] + 500 * n) /
                (1000 * n);
            sig[size_t(r * sigW + c)] = quint8(std::min<quint64>(luma, 255));
        }
    }
    return sig;
}

std::optional<int> ScrollStitcher::bestShift(const Signature &prev, const Signature &curr)
{
    constexpr int firstRow = 51, lastRow = 204;
    qint64 bestMean = std::numeric_limits<qint64>::max();
    std::optional<int> best;
    for (int s = 1; s <= maxShift; ++s) {
        const int rowEnd = std::min(lastRow, sigH - 1 - s); // inclusive
        int sum = 0;
        const quint8 *a = prev.data() + (firstRow + s) * sigW;
        const quint8 *b = curr.data() + firstRow * sigW;
        const int n = (rowEnd - firstRow + 1) * sigW;
        for (int i = 0; i < n; ++i)
            sum += std::abs(int(a[i]) - int(b[i]));
        const qint64 mean = sum / n;
        if (mean < bestMean) { // ties keep the smaller shift
            bestMean = mean;
            best = s;
        }
    }
    if (bestMean > maxMean)
        return std::nullopt;
    return best;
}

qint64 ScrollStitcher::bandHeight(int shift, int frameHeight)
{
    // std::llround rounds halves away from zero: 2.5 pixels make a band of 3.
    return std::llround(double(shift) * double(frameHeight) / double(sigH));
}

qint64 ScrollStitcher::add(const QImage &frame)
{
    const auto sig = signature(frame);
    if (!sig)
        return m_totalHeight;
    const int h = frame.height(), w = frame.width();
    if (m_strips.isEmpty()) {
        m_strips.append(frame);
        m_totalHeight = h;
        m_width = w;
        m_lastSig = sig;
        return m_totalHeight;
    }
    // A frame that looks exactly like the last one shows content that did not move: on pale,
    // even pages a shift of one row would match it too and repeat rows while the user pauses.
    const bool unchanged = m_lastSig && *m_lastSig == *sig;
    const auto shift = m_lastSig && !unchanged ? bestShift(*m_lastSig, *sig) : std::nullopt;
    if (shift) {
        const qint64 px = bandHeight(*shift, h);
        if (px >= minBand && px <= h) {
            const QImage band = frame.copy(0, h - int(px), w, int(px));
            if (!band.isNull()) {
                m_strips.append(band);
                m_totalHeight += px;
            }
        }
    }
    m_lastSig = sig;
    return m_totalHeight;
}

std::optional<QImage> ScrollStitcher::compose() const
{
    if (m_width < 1 || m_totalHeight < 1) {
        if (m_strips.isEmpty())
            return std::nullopt;
        return m_strips.first();
    }
    if (m_width > std::numeric_limits<int>::max() || m_totalHeight > std::numeric_limits<int>::max())
        return std::nullopt;
    QImage out(int(m_width), int(m_totalHeight), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return std::nullopt;
    int y = 0;
    for (const QImage &strip : m_strips) {
        const int h = strip.height();
        if (strip.width() == m_width) {
            // Same width: rows are copied as they are (the common case, and exact).
            const QImage rows = strip.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            for (int r = 0; r < h; ++r)
                std::memcpy(out.scanLine(y + r), rows.constScanLine(r), size_t(m_width) * 4);
        } else {
            QPainter p(&out);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect(0, y, int(m_width), h), strip);
        }
        y += h;
    }
    return out;
}

} // namespace vistrel
