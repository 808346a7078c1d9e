#include "engines/OCRLayout.h"

#include "engines/InkComponents.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace vistrel {

// --- reading order ---------------------------------------------------------------------------

namespace {

LayoutLine lineOf(QList<LayoutWord> words, int panel, int block)
{
    std::stable_sort(words.begin(), words.end(), [](const LayoutWord &a, const LayoutWord &b) {
        return a.box.left() < b.box.left();
    });
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
    return hi < lo || hi - lo < PanelMap::inkContrast;
}

int overlapOf(const QRect &a, const QRect &b)
{
    return std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
}

// Whether b continues a's row: neither is more than twice the other's height, they overlap by
// six tenths of the lower, and their middles are within half its height (as rows are formed).
// The overlap decides between pieces of one size; the middles, between a short piece and a
// tall one it hangs off.
bool sameRow(const QRect &a, const QRect &b)
{
    const int overlap = overlapOf(a, b);
    const int lower = std::min(a.height(), b.height()), higher = std::max(a.height(), b.height());
    return overlap >= lower * 6 / 10 && higher <= 2 * lower &&
           std::abs(a.center().y() - b.center().y()) * 2 <= lower;
}

// Rows of lines that no gap divides: by their middles, with a tolerance of half the smaller
// line's height, each row left to right.
QList<LayoutLine> byRows(QList<LayoutLine> lines)
{
    std::stable_sort(lines.begin(), lines.end(), [](const LayoutLine &a, const LayoutLine &b) {
        return a.box.center().y() < b.box.center().y();
    });
    QList<LayoutLine> out;
    qsizetype start = 0;
    for (qsizetype i = 1; i <= lines.size(); ++i) {
        const bool breaks =
            i == lines.size() ||
            std::abs(lines[i].box.center().y() - lines[start].box.center().y()) * 2 >
                std::min(lines[i].box.height(), lines[start].box.height());
        if (!breaks)
            continue;
        QList<LayoutLine> row = lines.mid(start, i - start);
        std::stable_sort(row.begin(), row.end(), [](const LayoutLine &a, const LayoutLine &b) {
            return a.box.left() < b.box.left();
        });
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
        lines, [](const LayoutLine &l) { return l.box.left(); },
        [](const LayoutLine &l) { return l.box.right(); }, std::max(8, h));
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
    std::stable_sort(byTop.begin(), byTop.end(), [](const LayoutLine &a, const LayoutLine &b) {
        return a.box.top() < b.box.top();
    });
    int widest = 0, reach = byTop.first().box.bottom();
    for (const LayoutLine &l : byTop) {
        widest = std::max(widest, l.box.top() - reach - 1);
        reach = std::max(reach, l.box.bottom());
    }
    const auto slabs = groups(
        lines, [](const LayoutLine &l) { return l.box.top(); },
        [](const LayoutLine &l) { return l.box.bottom(); }, std::max(0, widest * 8 / 10));
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

// What the engine reads into the buttons of a title bar or a tab: circles, crosses, boxes and
// bars (OOO, |x, [x], [5), Bo), never more than three of them.
bool buttonLike(const QString &text)
{
    if (text.isEmpty() || text.size() > 3)
        return false;
    const bool boxed = std::any_of(text.cbegin(), text.cend(),
                                   [](QChar c) { return QStringView(u"[]()|").contains(c); });
    return std::all_of(text.cbegin(), text.cend(), [boxed](QChar c) {
        return QStringView(u"OoQ0\u00b0xX\u00d7+*[](){}|=_-~<>B").contains(c) ||
               (boxed && c.isDigit());
    });
}

// Drops pieces made of window buttons alone from the top row of their panel (a title bar, a
// tab strip): nothing of that panel lies above them.
QList<LayoutLine> withoutDecorations(QList<LayoutLine> pieces)
{
    auto decoration = [&](const LayoutLine &l) {
        if (l.words.size() > 3 ||
            !std::all_of(l.words.cbegin(), l.words.cend(),
                         [](const LayoutWord &w) { return buttonLike(w.text); }))
            return false;
        return std::none_of(pieces.cbegin(), pieces.cend(), [&](const LayoutLine &o) {
            return o.panel == l.panel && o.box.bottom() < l.box.center().y() &&
                   overlapOf(o.box, l.box) <= 0;
        });
    };
    QList<LayoutLine> out;
    for (const LayoutLine &l : pieces)
        if (!decoration(l))
            out.append(l);
    return out;
}

} // namespace

bool OCRLayout::isNoise(const LayoutWord &word)
{
    if (word.confidence < 25)
        return true;
    const bool marksOnly = std::none_of(word.text.cbegin(), word.text.cend(),
                                        [](QChar c) { return c.isLetterOrNumber(); });
    return marksOnly && word.confidence < 60;
}

QList<LayoutLine> OCRLayout::splitAtPanels(const QList<LayoutLine> &lines, const PanelMap &panels,
                                           bool keepUnsure)
{
    QList<LayoutLine> out;
    for (const LayoutLine &line : lines) {
        // A word the engine is unsure of still counts when it looks like one and the engine
        // is sure of another on its line: identifiers and rare words score low.
        const bool anchored =
            std::any_of(line.words.cbegin(), line.words.cend(),
                        [](const LayoutWord &w) { return w.confidence >= 60 && !isNoise(w); });
        auto hasLetters = [](const QString &t) {
            return std::any_of(t.cbegin(), t.cend(), [](QChar c) { return c.isLetterOrNumber(); });
        };
        QList<LayoutWord> words;
        for (const LayoutWord &w : line.words)
            if (!isNoise(w) || (anchored && wellFormed(w.text)) ||
                (keepUnsure && hasLetters(w.text)))
                words.append(w);
        std::stable_sort(words.begin(), words.end(), [](const LayoutWord &a, const LayoutWord &b) {
            return a.box.left() < b.box.left();
        });
        const int source = int(&line - lines.constData());
        int height = 0;
        for (const LayoutWord &w : words)
            height = std::max(height, w.box.height());
        QList<LayoutWord> piece;
        int panel = -2;
        for (const LayoutWord &w : words) {
            const int p = panels.at(w.box.center());
            const bool columnGap =
                !piece.isEmpty() && w.box.left() - piece.last().box.right() > height;
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
    return withoutDecorations(out);
}

QList<LayoutLine> OCRLayout::joinRows(QList<LayoutLine> pieces, const QImage &grey)
{
    std::stable_sort(pieces.begin(), pieces.end(), [](const LayoutLine &a, const LayoutLine &b) {
        return a.box.left() < b.box.left();
    });
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
            if (k == i || k == j || pieces[k].panel != pieces[i].panel ||
                std::abs(c.center().y() - a.center().y()) > reach)
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
            if (j == i || pieces[j].panel != pieces[i].panel || b.left() <= a.right() - 2)
                continue;
            // Near pieces are one row; far ones only when both are short, as table cells are,
            // not lines of two columns of prose. Pieces of one engine line stay together unless
            // a gutter parts them, even when one is all small letters (-rw-r--r-- beside a
            // name with ascenders and descenders).
            const int gap = b.left() - a.right() - 1;
            const bool cells = pieces[i].words.size() <= 3 && pieces[j].words.size() <= 3;
            const bool oneLine = pieces[i].source >= 0 && pieces[i].source == pieces[j].source;
            if (oneLine ? overlapOf(a, b) < std::min(a.height(), b.height()) * 6 / 10
                        : !sameRow(a, b))
                continue;
            if (!oneLine && gap > (cells ? 40 : 3) * std::max(a.height(), b.height()))
                continue;
            if (gap * 2 > std::max(a.height(), b.height()) && gutter(i, j))
                continue;
            if (best < 0 || b.left() < pieces[best].box.left())
                best = j;
        }
        const bool oneLine =
            best >= 0 && pieces[i].source >= 0 && pieces[i].source == pieces[best].source;
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
        const double cell = std::max(1.0, double(ink + words.size() * narrowest) /
                                              double(characters + words.size()));
        QString text;
        for (qsizetype i = 0; i < words.size(); ++i) {
            if (i > 0) {
                const int gap = words[i].box.left() - words[i - 1].box.right() - 1;
                const int spaces =
                    gap < 2.2 * average
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

QString OCRLayout::arrange(const QList<LayoutLine> &engineLines, const PanelMap &panels,
                           const QImage &grey)
{
    return text(readingOrder(joinRows(splitAtPanels(engineLines, panels), grey)));
}

} // namespace vistrel
