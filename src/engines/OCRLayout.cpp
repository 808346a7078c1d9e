#include "engines/OCRLayout.h"

#include "engines/InkComponents.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace vistrel {

namespace {

// Neighbouring pixels this close in grey are one surface: flat backgrounds and gentle
// gradients join up, while the steep edges of glyphs and borders separate.
constexpr int surfaceTolerance = 6;
// A background has room in it: a square of this side of its own pixels. Glyph strokes, even
// bold ones at twice the size, never have one.
constexpr int panelSquare = 12;
// Ink differs from its background by at least this much.
constexpr int inkContrast = 48;

int find(std::vector<int> &parent, int i)
{
    while (parent[size_t(i)] != i) {
        parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
        i = parent[size_t(i)];
    }
    return i;
}

void unite(std::vector<int> &parent, int a, int b)
{
    a = find(parent, a);
    b = find(parent, b);
    if (a != b)
        parent[size_t(std::max(a, b))] = std::min(a, b);
}

// What is left of frames once their long runs are marked in `erase`, and outlines of buttons,
// fields and check boxes, both as pieces of 8-connected ink:
// - a piece with marked pixels whose other pixels mostly lie beside them: the corners where a
//   strip of desktop meets another, the stubs where a rule meets a frame;
// - a hollow box, every pixel near the edge of its bounds and each edge nearly whole. Too
//   short for the long-run test, its sides would be read as bars. Glyphs are never so large
//   for their stroke: an "O" or a box-drawing square has gaps along its edges or a stroke too
//   thick for its size.
void eraseFrames(const QImage &grey, std::vector<char> &erase)
{
    constexpr int ink = 224, edge = 4, minSide = 16, sidePerStroke = 12;
    const int w = grey.width(), h = grey.height();
    auto marked = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && erase[size_t(y) * size_t(w) + size_t(x)];
    };
    forEachInkComponent(grey, ink, [&](const std::vector<int> &members, const QRect &bounds) {
        // Remnants of marked frames.
        qint64 markedCount = 0, rest = 0, beside = 0;
        for (int i : members) {
            const int x = i % w, y = i / w;
            if (erase[size_t(i)]) {
                ++markedCount;
                continue;
            }
            ++rest;
            beside += marked(x - 1, y) || marked(x + 1, y) || marked(x, y - 1) || marked(x, y + 1);
        }
        if (markedCount > 0 && rest > 0 && beside * 4 >= rest) {
            for (int i : members)
                erase[size_t(i)] = 1;
            return;
        }
        // Outlines.
        const int left = bounds.left(), right = bounds.right(), top = bounds.top(),
                  bottom = bounds.bottom();
        const int bw = bounds.width(), bh = bounds.height();
        if (bw < minSide || bh < minSide)
            return;
        int onTop = 0, onBottom = 0, onLeft = 0, onRight = 0;
        bool hollow = true;
        for (int i : members) {
            const int x = i % w, y = i / w;
            onTop += y == top, onBottom += y == bottom, onLeft += x == left, onRight += x == right;
            hollow = hollow && std::min({x - left, right - x, y - top, bottom - y}) < edge;
        }
        // Rounded corners leave the ends of each edge open.
        auto whole = [&](int count, int length) { return count >= length - 2 * edge && count * 4 >= length * 3; };
        const double stroke = double(members.size()) / double(2 * (bw + bh));
        if (!hollow || !whole(onTop, bw) || !whole(onBottom, bw) || !whole(onLeft, bh) || !whole(onRight, bh)
            || std::min(bw, bh) < sidePerStroke * stroke)
            return;
        for (int i : members)
            erase[size_t(i)] = 1;
    });
}

} // namespace

PanelMap PanelMap::of(const QImage &input)
{
    PanelMap map;
    const QImage grey = input.format() == QImage::Format_Grayscale8
        ? input
        : input.convertToFormat(QImage::Format_Grayscale8);
    const int w = grey.width(), h = grey.height();
    if (w <= 0 || h <= 0)
        return map;
    const size_t n = size_t(w) * size_t(h);
    map.m_size = grey.size();

    // 1. Surfaces: 4-connected pixels of nearly the same grey. Along a row a run points at its
    // first pixel; rows are tied where they touch, once per pair of runs.
    std::vector<int> parent(n);
    for (int y = 0; y < h; ++y) {
        const uchar *row = grey.constScanLine(y);
        const uchar *above = y > 0 ? grey.constScanLine(y - 1) : nullptr;
        const int base = y * w;
        int runStart = base;
        bool tiedBefore = false;
        for (int x = 0; x < w; ++x) {
            const int i = base + x;
            const bool joinsLeft = x > 0 && std::abs(row[x] - row[x - 1]) <= surfaceTolerance;
            if (!joinsLeft)
                runStart = i;
            parent[size_t(i)] = runStart;
            const bool tied = above && std::abs(row[x] - above[x]) <= surfaceTolerance;
            const bool aboveJoinsLeft = above && x > 0 && std::abs(above[x] - above[x - 1]) <= surfaceTolerance;
            if (tied && !(tiedBefore && joinsLeft && aboveJoinsLeft))
                unite(parent, i, i - w);
            tiedBefore = tied;
        }
    }
    // Dense surface numbers.
    std::vector<int> surface(n);
    std::vector<int> index(n, -1);
    int surfaces = 0;
    for (size_t i = 0; i < n; ++i) {
        const int root = find(parent, int(i));
        if (index[size_t(root)] < 0)
            index[size_t(root)] = surfaces++;
        surface[i] = index[size_t(root)];
    }
    parent.clear();
    parent.shrink_to_fit();
    index.clear();
    index.shrink_to_fit();

    // 2. Backgrounds: surfaces with room in them, found by counting, per column, the rows in
    // a row where a run of panelSquare pixels of one surface starts. The biggest surface is
    // always one: a picture cut from inside a single pane still has a background.
    std::vector<char> roomy(size_t(surfaces), 0);
    std::vector<qint64> count(size_t(surfaces), 0);
    {
        std::vector<int> runRight(static_cast<size_t>(w));
        std::vector<int> tall(size_t(w), 0), tallSurface(size_t(w), -1);
        for (int y = 0; y < h; ++y) {
            const int *s = surface.data() + size_t(y) * size_t(w);
            for (int x = w - 1; x >= 0; --x)
                runRight[size_t(x)] = (x + 1 < w && s[x + 1] == s[x]) ? runRight[size_t(x + 1)] + 1 : 1;
            for (int x = 0; x < w; ++x) {
                ++count[size_t(s[x])];
                if (runRight[size_t(x)] >= panelSquare) {
                    tall[size_t(x)] = tallSurface[size_t(x)] == s[x] ? tall[size_t(x)] + 1 : 1;
                    tallSurface[size_t(x)] = s[x];
                    if (tall[size_t(x)] >= panelSquare)
                        roomy[size_t(s[x])] = 1;
                } else {
                    tall[size_t(x)] = 0;
                    tallSurface[size_t(x)] = -1;
                }
            }
        }
    }
    roomy[size_t(std::max_element(count.begin(), count.end()) - count.begin())] = 1;
    std::vector<int> panelOfSurface(size_t(surfaces), -1);
    for (int s = 0; s < surfaces; ++s)
        if (roomy[size_t(s)]) {
            panelOfSurface[size_t(s)] = int(map.m_panels.size());
            map.m_panels.append(Panel{});
        }

    // 3. Everything else (glyphs, their holes, borders, icons) belongs to the nearest
    // background, reached through the picture: a breadth-first flood from every background.
    map.m_panelOf.assign(n, -1);
    std::vector<int> queue;
    queue.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const int p = panelOfSurface[size_t(surface[i])];
        map.m_panelOf[i] = p;
        if (p >= 0)
            queue.push_back(int(i));
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int i = queue[head], x = i % w;
        const int p = map.m_panelOf[size_t(i)];
        auto reach = [&](int j) {
            if (map.m_panelOf[size_t(j)] < 0) {
                map.m_panelOf[size_t(j)] = p;
                queue.push_back(j);
            }
        };
        if (x > 0)
            reach(i - 1);
        if (x + 1 < w)
            reach(i + 1);
        if (i >= w)
            reach(i - w);
        if (i + w < int(n))
            reach(i + w);
    }
    queue.clear();
    queue.shrink_to_fit();

    // 4. Each panel's background grey, box, and whether its ink is lighter than it.
    const int panels = int(map.m_panels.size());
    std::vector<qint64> sum(size_t(panels), 0), own(size_t(panels), 0), lighter(size_t(panels), 0),
        darker(size_t(panels), 0);
    std::vector<QRect> box(static_cast<size_t>(panels));
    for (int y = 0; y < h; ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const int p = map.m_panelOf[i];
            if (panelOfSurface[size_t(surface[i])] == p) {
                sum[size_t(p)] += row[x];
                ++own[size_t(p)];
                QRect &b = box[size_t(p)];
                b = b.isNull() ? QRect(x, y, 1, 1) : b.united(QRect(x, y, 1, 1));
            }
        }
    }
    for (int p = 0; p < panels; ++p)
        map.m_panels[p].background = own[size_t(p)] ? int(sum[size_t(p)] / own[size_t(p)]) : 255;
    for (int y = 0; y < h; ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const int p = map.m_panelOf[i];
            const int d = row[x] - map.m_panels[p].background;
            if (d > inkContrast)
                ++lighter[size_t(p)];
            else if (d < -inkContrast)
                ++darker[size_t(p)];
        }
    }
    for (int p = 0; p < panels; ++p) {
        Panel &panel = map.m_panels[p];
        panel.box = box[size_t(p)];
        // Without ink either way, a dark panel is turned light all the same: the engine then
        // sees one kind of background.
        panel.lightOnDark = lighter[size_t(p)] != darker[size_t(p)] ? lighter[size_t(p)] > darker[size_t(p)]
                                                                     : panel.background < 128;
    }
    return map;
}

int PanelMap::at(QPoint p) const
{
    if (m_panelOf.empty())
        return -1;
    const int x = std::clamp(p.x(), 0, m_size.width() - 1), y = std::clamp(p.y(), 0, m_size.height() - 1);
    return m_panelOf[size_t(y) * size_t(m_size.width()) + size_t(x)];
}

QImage PanelMap::darkOnLight(const QImage &input) const
{
    QImage grey = input.format() == QImage::Format_Grayscale8
        ? input.copy()
        : input.convertToFormat(QImage::Format_Grayscale8);
    if (grey.size() != m_size || m_panels.isEmpty())
        return grey;
    // Each panel turned dark on light and shifted so that its background is white: the edges
    // between panels go, and with them the engine's temptation to read them.
    std::vector<int> invert(size_t(m_panels.size())), shift(size_t(m_panels.size()));
    for (qsizetype p = 0; p < m_panels.size(); ++p) {
        invert[size_t(p)] = m_panels[p].lightOnDark;
        const int background = m_panels[p].lightOnDark ? 255 - m_panels[p].background : m_panels[p].background;
        shift[size_t(p)] = 255 - background;
    }
    const int w = grey.width(), h = grey.height();
    for (int y = 0; y < h; ++y) {
        uchar *row = grey.scanLine(y);
        const int *panel = m_panelOf.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const size_t p = size_t(panel[x]);
            const int v = invert[p] ? 255 - row[x] : row[x];
            row[x] = uchar(std::min(255, v + shift[p]));
        }
    }
    // Frames, rules and separators: long, thin runs of ink that no glyph has, and the strips
    // of a dark desktop between windows, too narrow to be a panel. Left in, the engine reads
    // them as a row of bars and dashes, and no tile can be cut across them.
    constexpr int longRun = 48, stretch = 12, ink = 224;
    std::vector<int> down(size_t(w) * size_t(h));
    for (int x = 0; x < w; ++x)
        for (int y = h - 1; y >= 0; --y) {
            const bool dark = grey.constScanLine(y)[x] < ink;
            down[size_t(y) * size_t(w) + size_t(x)] = dark ? (y + 1 < h ? down[size_t(y + 1) * size_t(w) + size_t(x)] : 0) + 1 : 0;
        }
    // Vertical run lengths through each pixel, from the run starting above.
    std::vector<int> vertical(size_t(w) * size_t(h), 0);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (down[i] && (y == 0 || !down[i - size_t(w)]))
                for (int k = 0; k < down[i]; ++k)
                    vertical[i + size_t(k) * size_t(w)] = down[i];
        }
    std::vector<char> erase(size_t(w) * size_t(h), 0);
    for (int y = 0; y < h; ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = 0; x < w;) {
            if (row[x] >= ink) {
                ++x;
                continue;
            }
            int end = x;
            while (end < w && row[end] < ink)
                ++end;
            const size_t base = size_t(y) * size_t(w);
            for (int k = x; k < end; ++k) {
                const int across = end - x, along = vertical[base + size_t(k)];
                if ((across >= longRun && across >= stretch * along) || (along >= longRun && along >= stretch * across))
                    erase[base + size_t(k)] = 1;
            }
            x = end;
        }
    }
    eraseFrames(grey, erase);
    for (int y = 0; y < h; ++y) {
        uchar *row = grey.scanLine(y);
        for (int x = 0; x < w; ++x)
            if (erase[size_t(y) * size_t(w) + size_t(x)])
                row[x] = 255;
    }
    return grey;
}

// --- reading order ---------------------------------------------------------------------------

namespace {

LayoutLine lineOf(QList<LayoutWord> words, int panel, int block)
{
    std::stable_sort(words.begin(), words.end(),
                     [](const LayoutWord &a, const LayoutWord &b) { return a.box.left() < b.box.left(); });
    LayoutLine line;
    for (const LayoutWord &w : words)
        line.box = line.box.isNull() ? w.box : line.box.united(w.box);
    line.words = std::move(words);
    line.panel = panel;
    line.block = block;
    return line;
}

int medianHeight(const QList<LayoutLine> &lines)
{
    std::vector<int> heights;
    for (const LayoutLine &l : lines)
        heights.push_back(l.box.height());
    if (heights.empty())
        return 1;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return std::max(1, heights[heights.size() / 2]);
}

// Nothing but background between two boxes of one row.
bool plainBetween(const QImage &grey, const QRect &left, const QRect &right)
{
    const int x0 = left.right() + 1, x1 = right.left() - 1;
    const int y0 = std::max(left.top(), right.top()), y1 = std::min(left.bottom(), right.bottom());
    if (x1 < x0 || y1 < y0 || grey.isNull())
        return true;
    int lo = 255, hi = 0;
    for (int y = std::max(0, y0); y <= std::min(grey.height() - 1, y1); ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = std::max(0, x0); x <= std::min(grey.width() - 1, x1); ++x) {
            lo = std::min<int>(lo, row[x]);
            hi = std::max<int>(hi, row[x]);
        }
    }
    return hi < lo || hi - lo < inkContrast;
}

// Whether b continues a's row: their middles and sizes agree.
bool sameRow(const QRect &a, const QRect &b)
{
    const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
    const int lower = std::min(a.height(), b.height()), higher = std::max(a.height(), b.height());
    return overlap >= lower * 6 / 10 && higher <= 2 * lower
        && std::abs(a.center().y() - b.center().y()) * 3 <= higher;
}

// Rows of lines that no gap divides: by their middles, with a tolerance of half the smaller
// line's height, each row left to right.
QList<LayoutLine> byRows(QList<LayoutLine> lines)
{
    std::stable_sort(lines.begin(), lines.end(),
                     [](const LayoutLine &a, const LayoutLine &b) { return a.box.center().y() < b.box.center().y(); });
    QList<LayoutLine> out;
    qsizetype start = 0;
    for (qsizetype i = 1; i <= lines.size(); ++i) {
        const bool breaks = i == lines.size()
            || std::abs(lines[i].box.center().y() - lines[start].box.center().y()) * 2
                > std::min(lines[i].box.height(), lines[start].box.height());
        if (!breaks)
            continue;
        QList<LayoutLine> row = lines.mid(start, i - start);
        std::stable_sort(row.begin(), row.end(),
                         [](const LayoutLine &a, const LayoutLine &b) { return a.box.left() < b.box.left(); });
        out += row;
        start = i;
    }
    return out;
}

// Groups of lines between gaps along one axis: `lo`/`hi` give a line's extent, and a gap of
// at least `minGap` starts a new group.
template <class Lo, class Hi>
QList<QList<LayoutLine>> groups(QList<LayoutLine> lines, Lo lo, Hi hi, int minGap)
{
    std::stable_sort(lines.begin(), lines.end(),
                     [&](const LayoutLine &a, const LayoutLine &b) { return lo(a) < lo(b); });
    QList<QList<LayoutLine>> out;
    int reach = 0;
    for (const LayoutLine &l : lines) {
        if (out.isEmpty() || lo(l) - reach > minGap)
            out.append(QList<LayoutLine>{});
        out.last().append(l);
        reach = out.last().size() == 1 ? hi(l) : std::max(reach, hi(l));
    }
    return out;
}

void cut(const QList<LayoutLine> &lines, QList<LayoutLine> &out, int depth)
{
    if (lines.size() <= 1 || depth > 64) {
        out += byRows(lines);
        return;
    }
    const int h = medianHeight(lines);
    // Columns first: windows and panes side by side are read one after the other. A column
    // that is a single row (a clock beside a title) is rather part of that row.
    const auto columns = groups(
        lines, [](const LayoutLine &l) { return l.box.left(); }, [](const LayoutLine &l) { return l.box.right(); },
        std::max(8, h));
    bool tall = columns.size() > 1;
    for (const auto &c : columns) {
        int top = c.first().box.top(), bottom = c.first().box.bottom(), rowHeight = 0;
        for (const LayoutLine &l : c) {
            top = std::min(top, l.box.top());
            bottom = std::max(bottom, l.box.bottom());
            rowHeight = std::max(rowHeight, l.box.height());
        }
        tall = tall && bottom - top + 1 > rowHeight * 3 / 2;
    }
    if (tall) {
        for (const auto &c : columns)
            cut(c, out, depth + 1);
        return;
    }
    // Then across, at the widest gaps only: a title or a status bar comes off whole columns
    // without slicing them into rows.
    QList<LayoutLine> byTop = lines;
    std::stable_sort(byTop.begin(), byTop.end(),
                     [](const LayoutLine &a, const LayoutLine &b) { return a.box.top() < b.box.top(); });
    int widest = 0, reach = byTop.first().box.bottom();
    for (const LayoutLine &l : byTop) {
        widest = std::max(widest, l.box.top() - reach - 1);
        reach = std::max(reach, l.box.bottom());
    }
    const auto slabs = groups(
        lines, [](const LayoutLine &l) { return l.box.top(); }, [](const LayoutLine &l) { return l.box.bottom(); },
        std::max(0, widest * 8 / 10));
    if (widest > 0 && slabs.size() > 1) {
        for (const auto &s : slabs)
            cut(s, out, depth + 1);
        return;
    }
    if (columns.size() > 1) {
        for (const auto &c : columns)
            cut(c, out, depth + 1);
        return;
    }
    out += byRows(lines);
}

// Letters and digits, at least three, joined only by the marks that occur inside words and
// names (report.pdf, vistrel_core, don't) and followed at most by sentence marks.
bool wellFormed(const QString &text)
{
    int alnum = 0;
    qsizetype end = text.size();
    while (end > 0 && QStringView(u",.;:!?)").contains(text[end - 1]))
        --end;
    for (qsizetype i = text.startsWith(QLatin1Char('(')) ? 1 : 0; i < end; ++i) {
        const QChar c = text[i];
        if (c.isLetterOrNumber())
            ++alnum;
        else if (!QStringView(u"_-.'/:").contains(c) || i == 0 || !text[i - 1].isLetterOrNumber())
            return false; // a mark that starts a word, or two in a row
    }
    return alnum >= 3;
}

} // namespace

bool OCRLayout::isNoise(const LayoutWord &word)
{
    if (word.confidence < 25)
        return true;
    const bool marksOnly = std::none_of(word.text.cbegin(), word.text.cend(), [](QChar c) { return c.isLetterOrNumber(); });
    return marksOnly && word.confidence < 60;
}

QList<LayoutLine> OCRLayout::splitAtPanels(const QList<LayoutLine> &lines, const PanelMap &panels)
{
    QList<LayoutLine> out;
    for (const LayoutLine &line : lines) {
        // A word the engine is unsure of still counts when it looks like one and the engine
        // is sure of another on its line: identifiers and rare words score low.
        const bool anchored = std::any_of(line.words.cbegin(), line.words.cend(), [](const LayoutWord &w) {
            return w.confidence >= 60 && !isNoise(w);
        });
        QList<LayoutWord> words;
        for (const LayoutWord &w : line.words)
            if (!isNoise(w) || (anchored && wellFormed(w.text)))
                words.append(w);
        std::stable_sort(words.begin(), words.end(),
                         [](const LayoutWord &a, const LayoutWord &b) { return a.box.left() < b.box.left(); });
        const int source = int(&line - lines.constData());
        int height = 0;
        for (const LayoutWord &w : words)
            height = std::max(height, w.box.height());
        QList<LayoutWord> piece;
        int panel = -2;
        for (const LayoutWord &w : words) {
            const int p = panels.at(w.box.center());
            const bool columnGap = !piece.isEmpty() && w.box.left() - piece.last().box.right() > height;
            if (!piece.isEmpty() && (p != panel || columnGap)) {
                out.append(lineOf(piece, panel, line.block));
                out.last().source = source;
                piece.clear();
            }
            panel = p;
            piece.append(w);
        }
        if (!piece.isEmpty()) {
            out.append(lineOf(piece, panel, line.block));
            out.last().source = source;
        }
    }
    return out;
}

QList<LayoutLine> OCRLayout::joinRows(QList<LayoutLine> pieces, const QImage &grey)
{
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const LayoutLine &a, const LayoutLine &b) { return a.box.left() < b.box.left(); });
    const qsizetype n = pieces.size();
    // A line of prose: four words or more, with no column gap inside.
    auto prose = [](const LayoutLine &l) {
        if (l.words.size() < 4)
            return false;
        for (qsizetype k = 1; k < l.words.size(); ++k)
            if (l.words[k].box.left() - l.words[k - 1].box.right() > l.box.height())
                return false;
        return true;
    };
    // The gap between a and b is a gutter between columns of prose when lines of prose in the
    // rows around, below or above a, end before b begins and others begin after a ends. A
    // paragraph's short last line beside the other column is no table cell; a table, even one
    // with long names, has no prose on both sides of a gap.
    // The gutter is also blank in those rows, at least a line's height wide: the fields of a
    // listing line up as well, but their gaps are narrower or crossed by longer fields.
    auto gutter = [&](qsizetype i, qsizetype j) {
        const QRect a = pieces[i].box, b = pieces[j].box;
        const int h = std::max(a.height(), b.height()), reach = 6 * h;
        int leftLines = 0, rightLines = 0;
        std::vector<std::pair<int, int>> covered;
        for (qsizetype k = 0; k < n; ++k) {
            const QRect c = pieces[k].box;
            if (k == i || k == j || pieces[k].panel != pieces[i].panel
                || std::abs(c.center().y() - a.center().y()) > reach)
                continue;
            if (prose(pieces[k])) {
                leftLines += c.right() < b.left() && c.right() > a.left();
                rightLines += c.left() > a.right() && c.left() < b.right();
            }
            if (c.right() > a.right() && c.left() < b.left())
                covered.emplace_back(c.left(), c.right());
        }
        if (leftLines < 2 || rightLines < 2)
            return false;
        std::sort(covered.begin(), covered.end());
        int x = a.right() + 1, widest = 0;
        for (const auto &[left, right] : covered) {
            widest = std::max(widest, left - x);
            x = std::max(x, right + 1);
        }
        widest = std::max(widest, b.left() - x);
        return widest >= h;
    };
    // Each piece takes the nearest piece of its row on its right, when nothing but background
    // lies between them.
    std::vector<qsizetype> next(size_t(n), -1), previous(size_t(n), -1);
    for (qsizetype i = 0; i < n; ++i) {
        const QRect a = pieces[i].box;
        qsizetype best = -1;
        for (qsizetype j = 0; j < n; ++j) {
            const QRect b = pieces[j].box;
            if (j == i || pieces[j].panel != pieces[i].panel || b.left() <= a.right() - 2 || !sameRow(a, b))
                continue;
            // Near pieces are one row; far ones only when both are short, as table cells are,
            // not lines of two columns of prose. Pieces of one engine line stay together unless
            // a gutter parts them.
            const int gap = b.left() - a.right() - 1;
            const bool cells = pieces[i].words.size() <= 3 && pieces[j].words.size() <= 3;
            const bool oneLine = pieces[i].source >= 0 && pieces[i].source == pieces[j].source;
            if (!oneLine && gap > (cells ? 40 : 3) * std::max(a.height(), b.height()))
                continue;
            if (gap * 2 > std::max(a.height(), b.height()) && gutter(i, j))
                continue;
            if (best < 0 || b.left() < pieces[best].box.left())
                best = j;
        }
        const bool oneLine = best >= 0 && pieces[i].source >= 0 && pieces[i].source == pieces[best].source;
        if (best < 0 || (!oneLine && !plainBetween(grey, a, pieces[best].box)))
            continue;
        if (previous[size_t(best)] >= 0) {
            // Two pieces reach for the same one: the nearer keeps it.
            if (pieces[previous[size_t(best)]].box.right() >= a.right())
                continue;
            next[size_t(previous[size_t(best)])] = -1;
        }
        next[size_t(i)] = best;
        previous[size_t(best)] = i;
    }
    QList<LayoutLine> rows;
    for (qsizetype i = 0; i < n; ++i) {
        if (previous[size_t(i)] >= 0)
            continue;
        QList<LayoutWord> words;
        int block = pieces[i].block;
        qsizetype steps = 0;
        for (qsizetype k = i; k >= 0 && steps <= n; k = next[size_t(k)], ++steps) {
            words += pieces[k].words;
            if (pieces[k].block != block)
                block = -1;
        }
        rows.append(lineOf(words, pieces[i].panel, block));
    }
    return rows;
}

QList<LayoutLine> OCRLayout::readingOrder(QList<LayoutLine> lines)
{
    QList<LayoutLine> out;
    cut(lines, out, 0);
    return out;
}

QString OCRLayout::text(const QList<LayoutLine> &lines)
{
    QStringList out;
    for (const LayoutLine &line : lines) {
        QList<LayoutWord> words;
        for (const LayoutWord &w : line.words)
            if (!w.text.isEmpty())
                words.append(w);
        // The narrowest gap of the line is one space; a wider one holds as many more as
        // character cells fit in the difference. For a monospaced line the cell follows from
        // the words and that gap, since each word's ink is its cells less one side bearing.
        qint64 ink = 0, characters = 0;
        int narrowest = std::numeric_limits<int>::max();
        for (qsizetype i = 0; i < words.size(); ++i) {
            ink += words[i].box.width();
            characters += words[i].text.size();
            if (i > 0)
                narrowest = std::min(narrowest, words[i].box.left() - words[i - 1].box.right() - 1);
        }
        const double average = characters ? double(ink) / double(characters) : 1.0;
        if (words.size() == 2)
            narrowest = std::min(narrowest, int(std::lround(1.3 * average)));
        narrowest = std::max(narrowest, 0);
        const double cell = std::max(1.0, double(ink + words.size() * narrowest) / double(characters + words.size()));
        QString text;
        for (qsizetype i = 0; i < words.size(); ++i) {
            if (i > 0) {
                const int gap = words[i].box.left() - words[i - 1].box.right() - 1;
                const int spaces = gap < 2.2 * average
                    ? 1
                    : 1 + std::clamp(int(std::lround((gap - narrowest) / cell)), 0, 60);
                text += QString(spaces, QLatin1Char(' '));
            }
            text += words[i].text;
        }
        if (!text.isEmpty())
            out << text;
    }
    return out.join(QLatin1Char('\n'));
}

QString OCRLayout::arrange(const QList<LayoutLine> &engineLines, const PanelMap &panels, const QImage &grey)
{
    return text(readingOrder(joinRows(splitAtPanels(engineLines, panels), grey)));
}

} // namespace vistrel
