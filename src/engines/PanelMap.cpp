#include "engines/PanelMap.h"

#include "engines/InkComponents.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vistrel {

namespace {

// Neighbouring pixels this close in grey are one surface: flat backgrounds and gentle
// gradients join up, while the steep edges of glyphs and borders separate.
constexpr int surfaceTolerance = 6;
// A background has room in it: a square of this side of its own pixels. Glyph strokes, even
// bold ones at twice the size, never have one.
constexpr int panelSquare = 12;

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
        auto whole = [&](int count, int length) {
            return count >= length - 2 * edge && count * 4 >= length * 3;
        };
        const double stroke = double(members.size()) / double(2 * (bw + bh));
        if (!hollow || !whole(onTop, bw) || !whole(onBottom, bw) || !whole(onLeft, bh) ||
            !whole(onRight, bh) || std::min(bw, bh) < sidePerStroke * stroke)
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
            const bool aboveJoinsLeft =
                above && x > 0 && std::abs(above[x] - above[x - 1]) <= surfaceTolerance;
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
                runRight[size_t(x)] =
                    (x + 1 < w && s[x + 1] == s[x]) ? runRight[size_t(x + 1)] + 1 : 1;
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
                if (b.isNull())
                    b = QRect(x, y, 1, 1);
                else if (!b.contains(x, y))
                    b = b.united(QRect(x, y, 1, 1));
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
        panel.lightOnDark = lighter[size_t(p)] != darker[size_t(p)]
                                ? lighter[size_t(p)] > darker[size_t(p)]
                                : panel.background < 128;
    }
    return map;
}

int PanelMap::at(QPoint p) const
{
    if (m_panelOf.empty())
        return -1;
    const int x = std::clamp(p.x(), 0, m_size.width() - 1),
              y = std::clamp(p.y(), 0, m_size.height() - 1);
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
        const int background =
            m_panels[p].lightOnDark ? 255 - m_panels[p].background : m_panels[p].background;
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
    // Row by row, as the pixels lie in memory (column by column, every step misses the cache).
    std::vector<int> down(size_t(w) * size_t(h));
    for (int y = h - 1; y >= 0; --y) {
        const uchar *row = grey.constScanLine(y);
        int *here = down.data() + size_t(y) * size_t(w);
        const int *below = y + 1 < h ? here + w : nullptr;
        for (int x = 0; x < w; ++x)
            here[x] = row[x] < ink ? (below ? below[x] : 0) + 1 : 0;
    }
    // Vertical run lengths through each pixel: the length of the run from its first pixel down.
    std::vector<int> vertical(size_t(w) * size_t(h), 0);
    for (int y = 0; y < h; ++y) {
        const size_t base = size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const size_t i = base + size_t(x);
            if (down[i])
                vertical[i] = y > 0 && down[i - size_t(w)] ? vertical[i - size_t(w)] : down[i];
        }
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
                if ((across >= longRun && across >= stretch * along) ||
                    (along >= longRun && along >= stretch * across))
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

} // namespace vistrel
