#pragma once

#include "engines/PanelMap.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <vector>

namespace vistrel {

// One recognised word, in the picture's top-down pixels.
struct LayoutWord
{
    QRect box;
    QString text;
    int confidence = 100; // the engine's, 0…100
};

// A line of words: first the engine's lines, then whole rows.
struct LayoutLine
{
    QRect box;
    QList<LayoutWord> words; // left to right
    int panel = -1;
    int block = -1;  // the engine's block, when all its words came from one
    int source = -1; // the engine line a piece was cut from
};

// Puts the engine's lines back into the reading order of a screen: panels are never mixed on
// one line, pieces of one row (table cells, the columns of a listing) become one line, and
// side-by-side columns (windows, panes) are read one after the other, never interleaved.
class OCRLayout
{
public:
    // What the engine makes of frames, shadows and icons: words it is unsure of, made of
    // marks alone or read with almost no confidence.
    static bool isNoise(const LayoutWord &word);
    // Splits engine lines where they cross from one panel into another (two windows whose
    // rows happen to align), leaving out noise, and cuts them at gaps wider than a word gap;
    // joinRows puts those back together unless they are a gutter between columns of prose.
    // With `keepUnsure`, only marks the engine is unsure of are left out: a random token,
    // which the engine always doubts, is kept for those who look for secrets.
    static QList<LayoutLine> splitAtPanels(const QList<LayoutLine> &lines, const PanelMap &panels,
                                           bool keepUnsure = false);
    // Joins pieces of one row: same panel, vertically aligned, and only background between them
    // (`grey` dark on light); far apart only when both are short, as table cells are.
    static QList<LayoutLine> joinRows(QList<LayoutLine> pieces, const QImage &grey);
    // Reading order: side-by-side columns one after the other (left first), each top to
    // bottom; lines of one row left to right.
    static QList<LayoutLine> readingOrder(QList<LayoutLine> lines);
    // The words of each line with the gaps between them kept as spaces (one for a word gap,
    // as many as fit for a column gap); lines joined by line feeds.
    static QString text(const QList<LayoutLine> &lines);
    // Everything above, for lines as the engine found them.
    static QString arrange(const QList<LayoutLine> &engineLines, const PanelMap &panels,
                           const QImage &grey);
};

} // namespace vistrel
