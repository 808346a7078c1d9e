#include "model/ScrollStitcher.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <limits>

namespace vistrel {

namespace {

// Cells of about this many pixels: wide enough to average noise away, narrow enough that one
// different glyph changes its cell well past the tolerance.
constexpr int cellPixels = 24;
constexpr int maxCells = 64;
// At most this many detailed rows are tried first for every shift; a wrong shift fails on one
// of them almost at once.
constexpr int maxAnchors = 32;

// Luma of the pixels [x0, x1) of one row, weights 77/150/29 of 256, summed. Four pixels at a
// time: red and blue share a 32-bit lane as two 16-bit halves, green another.
quint64 lumaSum(const quint32 *line, int x0, int x1)
{
    typedef quint32 v4u __attribute__((vector_size(16)));
    const v4u mask = {0x00ff00ffu, 0x00ff00ffu, 0x00ff00ffu, 0x00ff00ffu};
    quint64 r = 0, g = 0, b = 0;
    int x = x0;
    while (x + 4 <= x1) {
        // At most 256 pixels per lane between flushes: each half stays below 2^16.
        v4u rb = {0, 0, 0, 0}, ga = {0, 0, 0, 0};
        const int end = std::min(x1, x + 1024);
        for (; x + 4 <= end; x += 4) {
            v4u v;
            std::memcpy(&v, line + x, sizeof v);
            rb += v & mask;
            ga += (v >> 8) & mask;
        }
        for (int i = 0; i < 4; ++i) {
            r += rb[i] >> 16;
            b += rb[i] & 0xffffu;
            g += ga[i] & 0xffffu;
        }
    }
    for (; x < x1; ++x) {
        const quint32 p = line[x];
        r += (p >> 16) & 0xffu;
        g += (p >> 8) & 0xffu;
        b += p & 0xffu;
    }
    return r * 77 + g * 150 + b * 29;
}

// Whether any cell of two rows differs by more than the tolerance.
bool rowsDiffer(const quint16 *a, const quint16 *b, int cells)
{
    for (int c = 0; c < cells; ++c)
        if (std::abs(int(a[c]) - int(b[c])) > ScrollStitcher::tolerance)
            return true;
    return false;
}

// The largest difference between two rows' cells.
int rowDistance(const quint16 *a, const quint16 *b, int cells)
{
    int worst = 0;
    for (int c = 0; c < cells; ++c)
        worst = std::max(worst, std::abs(int(a[c]) - int(b[c])));
    return worst;
}

struct Verdict
{
    int shift = 0;
    double meanDistance = 0; // over the overlap's rows
};

// Checks `shift` over the whole overlap: nothing when too many rows differ or too few rows
// with detail agree to be sure.
std::optional<Verdict> verify(const ScrollStitcher::Rows &prev, const ScrollStitcher::Rows &curr,
                              int shift, int top)
{
    const int h = curr.height;
    const int overlap = h - shift - top;
    if (overlap <= 0)
        return std::nullopt;
    // A caret, a clock or a spinner may differ in some rows of a still or moved frame; a wrong
    // shift of text differs in most of its rows.
    const int allowed = std::max(2, overlap / 8);
    int mismatched = 0, detailedAgreeing = 0;
    qint64 total = 0;
    for (int i = top; i < h - shift; ++i) {
        const int d = rowDistance(curr.row(i), prev.row(i + shift), curr.cells);
        if (d > ScrollStitcher::tolerance) {
            if (++mismatched > allowed)
                return std::nullopt;
            total += ScrollStitcher::tolerance * 4;
        } else {
            total += d;
            if (curr.detailed[size_t(i)])
                ++detailedAgreeing;
        }
    }
    if (detailedAgreeing < 3)
        return std::nullopt;
    return Verdict{shift, double(total) / overlap};
}

} // namespace

int ScrollStitcher::maxShift(int height, int ignoredTop)
{
    const int usable = height - ignoredTop;
    // A fifth of the frame (at least 12 rows) must overlap.
    return std::max(0, usable - std::max(12, usable / 5));
}

ScrollStitcher::Rows ScrollStitcher::rows(const QImage &frame)
{
    Rows out;
    if (frame.isNull() || frame.width() < 1 || frame.height() < 1)
        return out;
    QImage src = frame;
    switch (frame.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break; // screen grabs arrive like this: read in place
    default:
        src = frame.convertToFormat(QImage::Format_RGB32);
        if (src.isNull())
            return out;
    }
    const int w = src.width(), h = src.height();
    const int cells = std::clamp(w / cellPixels, 1, maxCells);
    out.width = w;
    out.height = h;
    out.cells = cells;
    out.values.resize(size_t(h) * size_t(cells));
    out.detailed.resize(size_t(h));
    std::vector<int> edges(size_t(cells) + 1);
    for (int c = 0; c <= cells; ++c)
        edges[size_t(c)] = int(qint64(c) * w / cells);
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(src.constScanLine(y));
        quint16 *row = out.values.data() + size_t(y) * size_t(cells);
        quint32 lowest = std::numeric_limits<quint32>::max(), highest = 0;
        for (int c = 0; c < cells; ++c) {
            const int x0 = edges[size_t(c)], x1 = edges[size_t(c) + 1];
            const quint64 sum = lumaSum(line, x0, x1);
            // Sixteenths of a grey level: sum / 256 / n × 16.
            const quint32 v = quint32((sum * 16 / 256 + quint64(x1 - x0) / 2) / quint64(x1 - x0));
            row[c] = quint16(std::min<quint32>(v, 65535));
            lowest = std::min(lowest, quint32(row[c]));
            highest = std::max(highest, quint32(row[c]));
        }
        // Rows of one even colour (margins, blank lines) say nothing about where they are.
        out.detailed[size_t(y)] = highest - lowest > quint32(tolerance);
    }
    return out;
}

std::optional<int> ScrollStitcher::findShift(const Rows &prev, const Rows &curr, int ignoredTop)
{
    if (prev.height != curr.height || prev.width != curr.width || prev.cells != curr.cells ||
        curr.height <= ignoredTop)
        return std::nullopt;
    const int h = curr.height, top = std::clamp(ignoredTop, 0, h - 1);

    std::vector<Verdict> accepted;
    // Still is a candidate like any shift, and wins ties: content that repeats with the period
    // of a move is never taken for that move.
    if (auto still = verify(prev, curr, 0, top))
        accepted.push_back(*still);

    // Detailed rows of the current frame, spread over it, tried first for every shift.
    std::vector<int> anchors;
    for (int i = top; i < h; ++i)
        if (curr.detailed[size_t(i)])
            anchors.push_back(i);
    if (anchors.size() > size_t(maxAnchors)) {
        std::vector<int> spread;
        for (int k = 0; k < maxAnchors; ++k)
            spread.push_back(anchors[size_t(qint64(k) * qint64(anchors.size()) / maxAnchors)]);
        anchors = std::move(spread);
    }

    // A caret may spoil a few anchors of the right shift; a wrong shift spoils most of them.
    const int spoilable = std::max(3, int(anchors.size()) / 4);
    const int limit = maxShift(h, top);
    for (int s = 1; s <= limit; ++s) {
        int usable = 0, failed = 0;
        for (const int i : anchors) {
            if (i + s >= h)
                break;
            ++usable;
            if (rowsDiffer(curr.row(i), prev.row(i + s), curr.cells) && ++failed > spoilable)
                break;
        }
        if (usable < 2 || failed > spoilable)
            continue;
        if (auto verdict = verify(prev, curr, s, top))
            accepted.push_back(*verdict);
    }
    if (accepted.empty()) {
        // Frames without detail say nothing, unless they are the same frame: still.
        for (int i = top; i < h; ++i)
            if (rowDistance(curr.row(i), prev.row(i), curr.cells) != 0)
                return std::nullopt;
        return 0;
    }
    const auto best = std::min_element(accepted.cbegin(), accepted.cend(),
                                       [](const Verdict &a, const Verdict &b) {
                                           return a.meanDistance < b.meanDistance;
                                       });
    // Another shift that fits about as well (repeating lines, a pattern) makes neither certain;
    // its immediate neighbours are the same answer blurred, not a rival.
    for (const Verdict &other : accepted) {
        if (std::abs(other.shift - best->shift) <= 2)
            continue;
        if (other.meanDistance <= best->meanDistance * 1.5 + 4)
            return std::nullopt;
    }
    return best->shift;
}

ScrollStitcher::Step ScrollStitcher::addFrame(const QImage &frame)
{
    Rows current = rows(frame);
    if (current.height == 0)
        return {Outcome::Uncertain, 0};
    if (m_strips.isEmpty()) {
        m_strips.append(frame);
        m_totalHeight = frame.height();
        m_width = frame.width();
        m_reference = std::move(current);
        return {Outcome::First, 0};
    }
    const std::optional<int> shift = findShift(*m_reference, current, m_ignoredTop);
    if (!shift) {
        ++m_uncertainRun;
        return {Outcome::Uncertain, 0};
    }
    m_uncertainRun = 0;
    m_reference = std::move(current);
    if (*shift == 0)
        return {Outcome::Still, 0};
    const int h = frame.height();
    const QImage band = frame.copy(0, h - *shift, frame.width(), *shift);
    if (band.isNull())
        return {Outcome::Uncertain, 0};
    m_strips.append(band);
    m_totalHeight += *shift;
    m_lastShift = *shift;
    return {Outcome::Moved, *shift};
}

std::optional<QImage> ScrollStitcher::compose() const
{
    if (m_strips.isEmpty() || m_width < 1 || m_totalHeight < 1)
        return std::nullopt;
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
            p.drawImage(QRect(0, y, int(m_width), h), strip);
        }
        y += h;
    }
    return out;
}

} // namespace vistrel
