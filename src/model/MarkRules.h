#pragma once

#include "model/Annotation.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <functional>

class QPainter;
#include <optional>

namespace vistrel {

// Grips of a selected mark or placed image; top means larger y.
enum class SelHandle { None, P1, P2, Mid, TL, TR, BL, BR };

struct HandlePoint
{
    SelHandle handle = SelHandle::None;
    QPointF point;
};

// Where a dragged line end lands on a text box.
struct SnapTarget
{
    QPointF point;
    QRectF box;
};
using Snapper = std::function<std::optional<SnapTarget>(QPointF)>;

// What the picture under blur marks looks like, for painting.
struct MarkInks
{
    // The pixelated copy of the picture whose top-left lies at `imageOrigin`; blur marks
    // without one are solid black.
    const QImage *pixelated = nullptr;
    QPointF imageOrigin;
};

// Everything that differs between kinds of marks, in one row per kind: who it is (its name in
// saved scenes, icon, tooltip, key, place on the preview card, pointer), what it is (drawn
// freehand, numbered, typed, showing the pixelated picture), how far it reaches and how it is
// drawn, its grips and how they reshape it, whether a click keeps it, and how a click tests it. The
// canvas, the renderer, the cursors, the toolbars and the preview card all read this table.
struct MarkRules
{
    ToolKind kind;    // the row's own kind
    const char *name; // in saved scenes
    const char *icon; // in the icon set
    const char *tip;  // the toolbar's tooltip
    char key;         // picks the tool on the canvas
    // Place on the preview card's tool row, counted from 1; 0 keeps it off the card.
    int cardSlot = 0;
    // The pointer while the tool is chosen: the icon set's symbol drawn `cursorSize` points
    // high, or the plain `cursorShape` when there is none.
    const char *cursorSymbol;
    int cursorSize;
    Qt::CursorShape cursorShape;

    // Select and crop make no mark.
    bool makesMark;
    // Drawn through every point the pointer passes (pen).
    bool freehand;
    // Numbered in order, with a caption in the legend (steps).
    bool numbered;
    // Text typed in place.
    bool typed;
    // Shows the pixelated picture under it (blur), so the copy is needed.
    bool pixelated;
    // Hides what lies under it for good (redactions): always in the redaction colour, which
    // the palette does not change, counted as covering secrets, and the pixels beneath never
    // leave the editor's memory (files, the history and kept work hold the fill instead).
    bool covers = false;

    QRectF (*bounds)(const Annotation &mark);
    void (*paint)(QPainter &painter, const Annotation &mark, const MarkInks &inks);
    // Grips in the order they are hit-tested.
    QList<HandlePoint> (*handles)(const Annotation &mark);
    // Reshape by dragging `handle` from `previous` to `pointer`. Returns the text box a line
    // end snapped to, if any.
    std::optional<QRectF> (*resize)(Annotation &mark, SelHandle handle, QPointF pointer,
                                    QPointF previous, const Snapper &snap);
    // Kept when the mouse goes up without having moved (pen dots, step badges).
    bool keptWithoutMovement;
    // Line ends snap to detected text while drawn or dragged.
    bool snapsEnds;
    // How far the painted ink can reach beyond `boundingRect` (strokes, arrow heads).
    double (*overhang)(const Annotation &mark);
    // Whether a click at `p` lands on the mark as drawn: on its ink, within `tolerance` of it;
    // inside only for the filled kinds. Invisible marks are never hit.
    bool (*hits)(const Annotation &mark, QPointF p, double tolerance);

    // What a scene may hold of this kind before it is refused, so that opening it stays
    // quick (each blur mark builds its part of the pixelated picture).
    int maxInScene = 10000;
    // Roughly how many microseconds drawing the mark once takes at full size, where the
    // drawing is the costly part; a fixed small cost when not set.
    double (*cost)(const Annotation &mark) = nullptr;

    static const MarkRules &of(ToolKind kind);

    // What one mark may hold: points of a freehand stroke, characters of a text or caption.
    // The editor stops there too, so nothing it makes is refused when it is opened again.
    static constexpr int maxPoints = 10000;
    static constexpr int maxChars = 10000;
    // The widest a line of text may be, in characters times points of font size.
    static constexpr double maxTextExtent = 1000000;
    // `cost` for any mark.
    static double drawCost(const Annotation &mark);
    // What a whole scene may hold: marks, points of all freehand marks, and drawing cost
    // (about µs at full size, so that a frame stays under 100 ms).
    static constexpr int maxSceneMarks = 10000;
    static constexpr int maxScenePoints = 100000;
    static constexpr double maxSceneCost = 100000;
    // Whether `marks` with `more` added stay within those limits and `maxInScene`: the editor
    // makes nothing it could not open again.
    static bool fitsScene(const QList<AnnotationRef> &marks, const Annotation &more);

    // Drawing a new mark, the same on the editor's canvas and on the preview card: it starts
    // at the pointer, a freehand one then takes every point and the others move their end
    // (snapped where the kind snaps; the box snapped to is returned), and it stays only when
    // it has grown at least 3 points or is kept without movement.
    static AnnotationRef startDraft(ToolKind kind, QPointF at, const QColor &color,
                                    double lineWidth);
    static std::optional<QRectF> extendDraft(Annotation &draft, QPointF to,
                                             const Snapper &snap = {});
    static bool keepsDraft(const Annotation &draft);
};

// The four corners of a box in handle order tl, tr, bl, br.
QList<HandlePoint> cornerHandles(const QRectF &box);
// The corner a resize keeps in place while `handle` moves.
QPointF oppositeCorner(const QRectF &box, SelHandle handle);

// Union that keeps zero-width or zero-height rectangles (QRectF::united drops them).
QRectF uniteRects(const QRectF &a, const QRectF &b);

} // namespace vistrel
