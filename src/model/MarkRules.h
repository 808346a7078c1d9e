#pragma once

#include "model/Annotation.h"

#include <QList>
#include <QPointF>
#include <QRectF>

#include <functional>
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

// What the canvas does with each kind of mark beyond drawing it: its grips, how a grip
// drag reshapes it, whether a click without movement keeps it, and how far its ink reaches
// past its box. One table, looked up by kind.
struct MarkRules
{
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

    static const MarkRules &of(ToolKind kind);
};

// The four corners of a box in handle order tl, tr, bl, br.
QList<HandlePoint> cornerHandles(const QRectF &box);
// The corner a resize keeps in place while `handle` moves.
QPointF oppositeCorner(const QRectF &box, SelHandle handle);

// Union that keeps zero-width or zero-height rectangles (QRectF::united drops them).
QRectF uniteRects(const QRectF &a, const QRectF &b);

} // namespace vistrel
