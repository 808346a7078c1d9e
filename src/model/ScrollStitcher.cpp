#include "model/ScrollStitcher.h"

#include "platform/PictureFile.h"

#include <QHash>
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

// The part of two frames that is compared: rows [top, height - bottom), cells [c0, c1).
struct Window
{
    int top = 0;
    int bottom = 0;
    int c0 = 0;
    int c1 = 0;
};

// The largest difference between two rows' cells.
int rowDistance(const quint16 *a, const quint16 *b, int c0, int c1)
{
    int worst = 0;
    for (int c = c0; c < c1; ++c)
        worst = std::max(worst, std::abs(int(a[c]) - int(b[c])));
    return worst;
}

// Whether any cell of two rows differs by more than the tolerance.
bool rowsDiffer(const quint16 *a, const quint16 *b, int c0, int c1)
{
    for (int c = c0; c < c1; ++c)
        if (std::abs(int(a[c]) - int(b[c])) > ScrollStitcher::tolerance)
            return true;
    return false;
}

// Rows of one even colour (margins, blank lines) say nothing about where they are.
std::vector<bool> detailedRows(const ScrollStitcher::Rows &rows, int c0, int c1)
{
    std::vector<bool> out(size_t(rows.height));
    for (int y = 0; y < rows.height; ++y) {
        const auto [lo, hi] = std::minmax_element(rows.row(y) + c0, rows.row(y) + c1);
        out[size_t(y)] = *hi - *lo > ScrollStitcher::tolerance;
    }
    return out;
}

int followable(int usable)
{
    // A fifth of the frame (at least 12 rows) must overlap.
    return std::max(0, usable - std::max(12, usable / 5));
}

struct Verdict
{
    int shift = 0;
    double meanDistance = 0; // over the overlap's rows
};

// Checks `shift` over the whole overlap: nothing when too many rows differ or too few rows
// with detail agree to be sure.
std::optional<Verdict> verify(const ScrollStitcher::Rows &prev, const ScrollStitcher::Rows &curr,
                              const std::vector<bool> &detailed, int shift, const Window &w)
{
    const int end = curr.height - w.bottom - shift;
    const int overlap = end - w.top;
    if (overlap <= 0)
        return std::nullopt;
    // A caret, a clock or a spinner may differ in some rows of a still or moved frame; a wrong
    // shift of text differs in most of its rows.
    const int allowed = std::max(2, overlap / 8);
    int mismatched = 0, detailedAgreeing = 0;
    qint64 total = 0;
    for (int i = w.top; i < end; ++i) {
        const int d = rowDistance(curr.row(i), prev.row(i + shift), w.c0, w.c1);
        if (d > ScrollStitcher::tolerance) {
            if (++mismatched > allowed)
                return std::nullopt;
            total += ScrollStitcher::tolerance * 4;
        } else {
            total += d;
            if (detailed[size_t(i)])
                ++detailedAgreeing;
        }
    }
    if (detailedAgreeing < 3)
        return std::nullopt;
    return Verdict{shift, double(total) / overlap};
}

std::optional<int> shiftWithin(const ScrollStitcher::Rows &prev, const ScrollStitcher::Rows &curr,
                               const Window &w)
{
    const int h = curr.height;
    const std::vector<bool> detailed = detailedRows(curr, w.c0, w.c1);
    std::vector<Verdict> accepted;
    // Still is a candidate like any shift, and wins ties: content that repeats with the period
    // of a move is never taken for that move.
    if (auto still = verify(prev, curr, detailed, 0, w))
        accepted.push_back(*still);

    // Detailed rows of the current frame, spread over it, tried first for every shift.
    std::vector<int> anchors;
    for (int i = w.top; i < h - w.bottom; ++i)
        if (detailed[size_t(i)])
            anchors.push_back(i);
    if (anchors.size() > size_t(maxAnchors)) {
        std::vector<int> spread;
        for (int k = 0; k < maxAnchors; ++k)
            spread.push_back(anchors[size_t(qint64(k) * qint64(anchors.size()) / maxAnchors)]);
        anchors = std::move(spread);
    }

    // A caret may spoil a few anchors of the right shift; a wrong shift spoils most of them.
    const int spoilable = std::max(3, int(anchors.size()) / 4);
    // Rows left out at the bottom do not narrow the shifts tried: a shift out of reach might
    // leave a wrong one without a rival.
    const int limit = std::min(followable(h - w.top), h - w.top - w.bottom - 12);
    for (int s = 1; s <= limit; ++s) {
        int usable = 0, failed = 0;
        for (const int i : anchors) {
            if (i + s >= h - w.bottom)
                break;
            ++usable;
            if (rowsDiffer(curr.row(i), prev.row(i + s), w.c0, w.c1) && ++failed > spoilable)
                break;
        }
        if (usable < 2 || failed > spoilable)
            continue;
        if (auto verdict = verify(prev, curr, detailed, s, w))
            accepted.push_back(*verdict);
    }
    if (accepted.empty()) {
        // Frames without detail say nothing, unless they are the same frame: still.
        for (int i = w.top; i < h - w.bottom; ++i)
            if (rowDistance(curr.row(i), prev.row(i), w.c0, w.c1) != 0)
                return std::nullopt;
        return 0;
    }
    const auto best = std::min_element(
        accepted.cbegin(), accepted.cend(),
        [](const Verdict &a, const Verdict &b) { return a.meanDistance < b.meanDistance; });
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

// Rows from `top` down and from the bottom up that are the same in both frames (within the
// tolerance) over cells [c0, c1): a fixed header, a footer, a prompt, a window's edge, or
// plain background. The first is the frame's height when all of it is.
std::pair<int, int> stillRuns(const ScrollStitcher::Rows &prev, const ScrollStitcher::Rows &curr,
                              int top, int c0, int c1)
{
    const int h = curr.height;
    int t = top;
    while (t < h && rowDistance(curr.row(t), prev.row(t), c0, c1) <= ScrollStitcher::tolerance)
        ++t;
    if (t >= h)
        return {h, 0};
    int b = 0;
    while (h - 1 - b > t && rowDistance(curr.row(h - 1 - b), prev.row(h - 1 - b), c0, c1) <=
                                ScrollStitcher::tolerance)
        ++b;
    return {t, b};
}

} // namespace

int ScrollStitcher::maxShift(int height, int ignoredTop)
{
    return followable(height - ignoredTop);
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
    std::vector<int> edges(size_t(cells) + 1);
    for (int c = 0; c <= cells; ++c)
        edges[size_t(c)] = int(qint64(c) * w / cells);
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(src.constScanLine(y));
        quint16 *row = out.values.data() + size_t(y) * size_t(cells);
        for (int c = 0; c < cells; ++c) {
            const int x0 = edges[size_t(c)], x1 = edges[size_t(c) + 1];
            const quint64 sum = lumaSum(line, x0, x1);
            // Sixteenths of a grey level: sum / 256 / n × 16.
            const quint32 v = quint32((sum * 16 / 256 + quint64(x1 - x0) / 2) / quint64(x1 - x0));
            row[c] = quint16(std::min<quint32>(v, 65535));
        }
    }
    return out;
}

std::optional<int> ScrollStitcher::findShift(const Rows &prev, const Rows &curr, int ignoredTop)
{
    if (prev.height != curr.height || prev.width != curr.width || prev.cells != curr.cells ||
        curr.height <= ignoredTop)
        return std::nullopt;
    return shiftWithin(prev, curr,
                       Window{std::clamp(ignoredTop, 0, curr.height - 1), 0, 0, curr.cells});
}

QList<std::pair<int, int>> ScrollStitcher::cellRanges(int cells)
{
    // All first; then without one or two cells at an edge, where scroll bars run.
    QList<std::pair<int, int>> out{{0, cells}};
    if (cells >= 8)
        out << std::pair{0, cells - 1} << std::pair{0, cells - 2} << std::pair{1, cells}
            << std::pair{2, cells} << std::pair{1, cells - 1} << std::pair{2, cells - 2};
    return out;
}

ScrollStitcher::Step ScrollStitcher::addFrame(const QImage &frame)
{
    Rows current = rows(frame);
    if (current.height == 0)
        return {Outcome::Uncertain, 0};
    if (m_strips.isEmpty()) {
        m_strips.append(frame);
        m_contentHeight = frame.height();
        m_width = frame.width();
        m_band = 0;
        m_tail = QImage();
        m_range = {0, current.cells};
        m_reference = std::move(current);
        return {Outcome::First, 0};
    }
    if (m_full)
        return {Outcome::Full, 0};
    const Rows &prev = *m_reference;
    if (prev.height != current.height || prev.width != current.width ||
        prev.cells != current.cells || current.height <= m_ignoredTop) {
        ++m_uncertainRun;
        return {Outcome::Uncertain, 0};
    }
    const int h = current.height, top = std::clamp(m_ignoredTop, 0, h - 1);
    const Window whole{top, 0, 0, current.cells};
    std::optional<int> shift;
    int band = 0;
    std::pair<int, int> range;
    for (const auto &r : cellRanges(current.cells)) {
        // The cells at the edges, where a scroll bar's thumb may run down beside a footer at the
        // end, do not cut the rows that stay. Taking a row that moves for one that stays only
        // keeps it back until it shows above them: the rows below the content are never added
        // to it.
        const int edge = current.cells >= 8 ? 2 : 0;
        const auto [still, bottomInRange] = stillRuns(prev, current, top, r.first, r.second);
        const int bottom =
            std::max(bottomInRange, stillRuns(prev, current, top, std::max(r.first, edge),
                                              std::min(r.second, current.cells - edge))
                                        .second);
        if (still >= h) {
            shift = 0;
        } else {
            shift = shiftWithin(prev, current, Window{top, 0, r.first, r.second});
            // Rows that stay while the rest moves are left out when they keep it from matching.
            if (!shift && (still > top || bottom > 0) &&
                h - still - bottom >= std::max(48, (h - top) / 4))
                shift = shiftWithin(prev, current, Window{still, bottom, r.first, r.second});
        }
        // Columns are left out only when they do move on their own.
        if (shift && *shift > 0 && r != std::pair{0, current.cells} &&
            verify(prev, current, detailedRows(current, 0, current.cells), *shift, whole))
            shift.reset();
        if (shift) {
            band = *shift > 0 ? bottom : 0;
            range = r;
            break;
        }
    }
    if (!shift) {
        ++m_uncertainRun;
        return {Outcome::Uncertain, 0};
    }
    m_uncertainRun = 0;
    if (range.second - range.first < m_range.second - m_range.first)
        m_range = range;
    m_reference = std::move(current);
    if (*shift == 0)
        return {Outcome::Still, 0};
    // The picture's content ends at the reference's row h - m_band; what lies below is the
    // band that stays (a footer, a prompt), kept once under the content. A band found larger
    // now was in the reference as well: its rows come off the content.
    if (h - std::max(band, m_band) - *shift < top)
        band = 0;
    const int from = std::max(top, h - std::max(band, m_band) - *shift);
    const int trim = std::max(0, band - m_band);
    // Past the tallest picture kept, rows are left out: the picture ends there, its band below.
    const qint64 room = maxHeight(int(m_width)) - (m_contentHeight - trim) - band;
    if (room <= 0) {
        m_full = true;
        return {Outcome::Full, 0};
    }
    const int taken = int(std::min<qint64>(h - band - from, room));
    m_full = taken < h - band - from;
    trimContent(trim);
    QImage rowsTaken = frame.copy(0, from, frame.width(), taken);
    if (rowsTaken.isNull())
        return {Outcome::Uncertain, 0};
    coverMovingColumns(rowsTaken);
    m_strips.append(rowsTaken);
    m_contentHeight += rowsTaken.height();
    m_band = band;
    m_tail = band > 0 ? frame.copy(0, h - band, frame.width(), band) : QImage();
    return {m_full ? Outcome::Full : Outcome::Moved, *shift};
}

qint64 ScrollStitcher::maxHeight(int width)
{
    return std::min<qint64>(PictureLimits::maxSide,
                            PictureLimits::maxBytes / 4 / std::max(1, width));
}

void ScrollStitcher::trimContent(int rows)
{
    while (rows > 0 && m_strips.size() > 1) {
        const int h = m_strips.last().height();
        if (h > rows) {
            m_strips.last() = m_strips.last().copy(0, 0, m_strips.last().width(), h - rows);
            m_contentHeight -= rows;
            return;
        }
        m_strips.removeLast();
        m_contentHeight -= h;
        rows -= h;
    }
    if (rows > 0 && !m_strips.isEmpty()) {
        const int h = m_strips.first().height();
        m_strips.first() =
            m_strips.first().copy(0, 0, m_strips.first().width(), std::max(1, h - rows));
        m_contentHeight = m_strips.first().height();
    }
}

void ScrollStitcher::coverMovingColumns(QImage &rows) const
{
    if (!m_reference || (m_range.first == 0 && m_range.second == m_reference->cells))
        return;
    // The columns left out of the matching move on their own (a scroll bar's thumb): the rows
    // added there show what most of the first frame's rows show, the bar's empty track.
    const QImage first = m_strips.first().convertToFormat(QImage::Format_RGB32);
    QImage &out = rows;
    if (out.format() != QImage::Format_RGB32 && out.format() != QImage::Format_ARGB32 &&
        out.format() != QImage::Format_ARGB32_Premultiplied)
        out = out.convertToFormat(QImage::Format_RGB32);
    const int w = m_reference->width, cells = m_reference->cells;
    auto cover = [&](int x0, int x1) {
        for (int x = std::max(0, x0); x < std::min({x1, w, first.width()}); ++x) {
            QHash<QRgb, int> counts;
            QRgb common = 0;
            int most = 0;
            for (int y = 0; y < first.height(); ++y) {
                const QRgb p = reinterpret_cast<const QRgb *>(first.constScanLine(y))[x];
                if (const int n = ++counts[p]; n > most)
                    most = n, common = p;
            }
            for (int y = 0; y < out.height(); ++y)
                reinterpret_cast<QRgb *>(out.scanLine(y))[x] = common | 0xff000000u;
        }
    };
    cover(0, int(qint64(m_range.first) * w / cells));
    cover(int(qint64(m_range.second) * w / cells), w);
}

std::optional<QImage> ScrollStitcher::compose() const
{
    const qint64 total = totalHeight();
    if (m_strips.isEmpty() || m_width < 1 || total < 1)
        return std::nullopt;
    if (m_width > std::numeric_limits<int>::max() || total > std::numeric_limits<int>::max())
        return std::nullopt;
    QImage out(int(m_width), int(total), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return std::nullopt;
    int y = 0;
    QList<QImage> parts = m_strips;
    if (!m_tail.isNull())
        parts.append(m_tail);
    for (const QImage &strip : parts) {
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
