#include "ui/CenteringClipView.h"

#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace vistrel {

CenteringClipView::CenteringClipView(QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(false);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

QRectF CenteringClipView::visibleRect() const
{
    const QSizeF view = viewport()->size();
    const QWidget *doc = widget();
    if (!doc)
        return QRectF(QPointF(0, 0), view);
    // The scroll area moves the document inside the viewport: a smaller document sits at a
    // positive offset (centred), a larger one at minus the scroll position.
    return QRectF(QPointF(-doc->x(), -doc->y()), view);
}

void CenteringClipView::reflectDocumentSize()
{
    const QWidget *doc = widget();
    if (!doc)
        return;
    const QSize view = viewport()->size();
    const QSize size = doc->size();
    horizontalScrollBar()->setRange(0, std::max(0, size.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, size.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
}

void CenteringClipView::scrollTo(QPointF topLeft)
{
    reflectDocumentSize();
    horizontalScrollBar()->setValue(int(std::lround(topLeft.x())));
    verticalScrollBar()->setValue(int(std::lround(topLeft.y())));
    // A document smaller than the view ignores the scroll and stays in the middle.
    if (QWidget *doc = widget()) {
        const QSize view = viewport()->size();
        int x = -horizontalScrollBar()->value();
        int y = -verticalScrollBar()->value();
        if (doc->width() < view.width())
            x = (view.width() - doc->width()) / 2;
        if (doc->height() < view.height())
            y = (view.height() - doc->height()) / 2;
        doc->move(x, y);
    }
}

void CenteringClipView::centerOn(QPointF point)
{
    const QSizeF view = viewport()->size();
    scrollTo(point - QPointF(view.width() / 2, view.height() / 2));
}

} // namespace vistrel
