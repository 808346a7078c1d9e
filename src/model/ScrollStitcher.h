#pragma once

#include <QImage>
#include <QList>

#include <cstdint>
#include <optional>
#include <vector>

namespace vistrel {

// Turns frames of one screen rectangle, taken while its content scrolls up, into one tall
// picture. Each frame row is reduced to a few dozen cell averages; the content's movement
// since the reference frame is the shift at which the overlap agrees row for row over the
// whole width (within a small tolerance for noise), and only the newly revealed bottom rows
// are kept. A shift is taken only when it is certain: text repeats, so a shift that another,
// clearly different shift matches as well is no answer, and neither is an overlap without
// detail. Content that does not move but changes a little (a caret, a clock) adds nothing.
// Rows at the top and bottom that stay while the rest moves (a fixed header or footer, a
// prompt, a window's edge) are left out of the matching; the bottom ones are kept once, under
// the content, from the latest frame. A narrow column at an edge that moves on its own (a
// scroll bar) is left out of the matching as well, and the rows added show its empty track.
class ScrollStitcher
{
public:
    // One frame's rows, as cell averages of luminance (16ths of a grey level).
    struct Rows
    {
        int width = 0;
        int height = 0;
        int cells = 0;
        std::vector<quint16> values; // height × cells
        const quint16 *row(int r) const { return values.data() + size_t(r) * size_t(cells); }
    };

    enum class Outcome {
        First,     // the first frame: the picture so far
        Moved,     // new rows were appended
        Still,     // nothing moved (what changed is too little to be scrolling)
        Uncertain, // no shift is certain: the frame adds nothing and the reference stays
        Full,      // the picture is as tall as it may be (maxHeight): rows past it are left out
    };
    struct Step
    {
        Outcome outcome = Outcome::Uncertain;
        int shift = 0; // rows the content moved up, for Moved
    };

    // Rows at the top of every frame that matching leaves out (a panel over them). Rows are
    // only ever appended from the bottom, so they are never in the picture past the first frame.
    void setIgnoredTopRows(int rows) { m_ignoredTop = qMax(0, rows); }
    int ignoredTopRows() const { return m_ignoredTop; }

    Step addFrame(const QImage &frame);
    // The same, returning the stitched height after the frame.
    qint64 add(const QImage &frame)
    {
        addFrame(frame);
        return totalHeight();
    }
    // The stitched picture so far (does not change the stitcher); nothing before any frame.
    std::optional<QImage> compose() const;

    // The shift (0 = still) by which `curr`'s content moved up from `prev`'s, when certain;
    // rows above `ignoredTop` are left out.
    static std::optional<int> findShift(const Rows &prev, const Rows &curr, int ignoredTop = 0);
    static Rows rows(const QImage &frame);
    // The largest shift followed on a frame `height` rows high (the overlap must stay big
    // enough to be sure of).
    static int maxShift(int height, int ignoredTop = 0);

    // Cell averages that differ by more than this (in 16ths of a grey level) are different
    // content, not noise.
    static constexpr int tolerance = 5 * 16;

    // The content's rows as they were added (the first frame, then the rows each move
    // revealed); the rows that stay at the bottom come under them.
    const QList<QImage> &strips() const { return m_strips; }
    // The tallest picture kept for frames `width` pixels wide: what the app makes and opens
    // again (16384 rows, fewer for areas over 4096 pixels wide).
    static qint64 maxHeight(int width);
    bool full() const { return m_full; }
    qint64 totalHeight() const { return m_contentHeight + m_tail.height(); }
    // Rows at the bottom of the frames that stay while the content moves.
    int bottomBand() const { return m_band; }
    // The cells [first, second) whose rows are kept as they are; the others were found to move
    // on their own.
    std::pair<int, int> matchedCells() const { return m_range; }
    qint64 width() const { return m_width; }
    // Frames in a row that could not be placed: the content moved too far, or changed.
    int uncertainRun() const { return m_uncertainRun; }

private:
    // Column ranges to match in, all cells first.
    static QList<std::pair<int, int>> cellRanges(int cells);
    void trimContent(int rows);
    void coverMovingColumns(QImage &rows) const;

    QList<QImage> m_strips;
    qint64 m_contentHeight = 0;
    QImage m_tail;
    int m_band = 0;
    bool m_full = false;
    std::pair<int, int> m_range;
    qint64 m_width = 0;
    int m_ignoredTop = 0;
    int m_uncertainRun = 0;
    std::optional<Rows> m_reference;
};

} // namespace vistrel
