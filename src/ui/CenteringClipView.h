#pragma once

#include <QRectF>
#include <QScrollArea>

namespace vistrel {

// A scroll area for a magnified document that keeps a document smaller than the visible
// area centred, in each direction separately, at every magnification (rather than pinned to
// a corner). The document widget sizes itself; positions below are in its own pixels.
class CenteringClipView : public QScrollArea
{
    Q_OBJECT
public:
    explicit CenteringClipView(QWidget *parent = nullptr);

    // The visible part of the document, in document pixels. Where the document is smaller
    // than the view the origin is negative: (document − view) / 2, the empty margin around it.
    QRectF visibleRect() const;
    // Scrolls so that the visible area's top-left corner is `topLeft` (as far as it can go).
    void scrollTo(QPointF topLeft);
    // Scrolls so that `point` is in the middle of the visible area (as far as it can go).
    void centerOn(QPointF point);
    // Brings the scrollers up to date with the document's size at once, also while hidden.
    void reflectDocumentSize();
};

} // namespace vistrel
