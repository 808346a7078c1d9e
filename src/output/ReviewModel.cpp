#include "output/ReviewModel.h"

#include <algorithm>
#include <cmath>

namespace vistrel {

ReviewModel::ReviewModel(QSize imageSize, double displayScale)
    : m_imageSize(imageSize), m_displayScale(displayScale),
      m_cropRect(0, 0, imageSize.width(), imageSize.height())
{
}

QList<QPointF> ReviewModel::handlePoints(const QRectF &r)
{
    return handles::points(r);
}

ReviewModel::Handle ReviewModel::hitHandle(QPointF p) const
{
    const double s = m_displayScale;
    const QRectF r(m_cropRect.x() * s, m_cropRect.y() * s, m_cropRect.width() * s,
                   m_cropRect.height() * s);
    return handles::hit(r, p, handleRadius);
}

void ReviewModel::adjustCrop(Handle handle, QPointF d)
{
    if (handle == Handle::None)
        return;
    const QRectF moved = handles::dragged(m_cropRect, handle, d);
    double x = moved.x(), y = moved.y(), w = moved.width(), h = moved.height();
    // A left or bottom edge dragged past the image stops at it. Clamping the position alone
    // would push the rectangle outwards and let it grow beyond the image.
    if (x < 0 && handle != Handle::Move)
        w += x, x = 0;
    if (y < 0 && handle != Handle::Move)
        h += y, y = 0;
    const double W = m_imageSize.width(), H = m_imageSize.height();
    w = std::max(w, minCrop);
    h = std::max(h, minCrop);
    x = std::min(std::max(x, 0.0), W - w);
    y = std::min(std::max(y, 0.0), H - h);
    w = std::min(w, W - x);
    h = std::min(h, H - y);
    m_cropRect = QRectF(x, y, w, h);
}

void ReviewModel::mouseDown(QPointF view)
{
    m_typing.reset();
    const QPointF q = view / m_displayScale;
    if (mode == Mode::Adjust) {
        m_activeHandle = hitHandle(view);
        m_dragLast = q;
        return;
    }
    m_draft = Annotation::make(markerTool, q, q, strokeColor, lineWidth);
    if (markerTool == ToolKind::Pen)
        m_draft->points = {q};
}

bool ReviewModel::mouseDragged(QPointF view)
{
    const QPointF q = view / m_displayScale;
    if (mode == Mode::Adjust) {
        if (!m_dragLast)
            return false;
        adjustCrop(m_activeHandle, q - *m_dragLast);
        m_dragLast = q;
        return true;
    }
    if (m_draft) {
        if (m_draft->kind == ToolKind::Pen)
            m_draft->points.append(q);
        else
            m_draft->end = q;
    }
    return false;
}

void ReviewModel::mouseUp()
{
    if (mode == Mode::Adjust) {
        m_activeHandle = Handle::None;
        m_dragLast.reset();
        return;
    }
    if (!m_draft)
        return;
    const QRectF b = m_draft->boundingRect();
    // A click that drew nothing leaves nothing; a pen dot is a mark.
    if (m_draft->kind == ToolKind::Pen || b.width() >= 3 || b.height() >= 3) {
        m_annotations.append(m_draft);
        if (m_draft->kind == ToolKind::Text)
            m_typing = m_draft;
    }
    m_draft.reset();
}

void ReviewModel::typeText(const QString &text)
{
    if (m_typing)
        m_typing->text += text;
}

void ReviewModel::backspace()
{
    if (m_typing && !m_typing->text.isEmpty())
        m_typing->text.chop(1);
}

QRect ReviewModel::cropInImage() const
{
    const QRectF r(m_cropRect.x(), m_imageSize.height() - m_cropRect.bottom(), m_cropRect.width(),
                   m_cropRect.height());
    return r.toRect();
}

QList<AnnotationRef> ReviewModel::marksInCrop() const
{
    QList<AnnotationRef> out;
    for (const AnnotationRef &a : m_annotations) {
        AnnotationRef copy = a->copyForUndo();
        copy->translate(-m_cropRect.topLeft());
        out.append(copy);
    }
    return out;
}

QString ReviewModel::sizeText(QSizeF size)
{
    return QStringLiteral("%1 × %2 px").arg(std::llround(size.width())).arg(std::llround(size.height()));
}

CardGeometry CardGeometry::forImage(QSize image, QSizeF visible, double backingScale)
{
    CardGeometry g;
    const double w = std::max(1, image.width()), h = std::max(1, image.height());
    g.displayScale = std::max(std::min({visible.width() * 0.7 / w, 1.0 / backingScale,
                                        visible.height() * 0.62 / h}),
                              0.1);
    g.imageHeight = g.displayScale * h;
    // Past the 0.1 floor a long capture would make the card taller than the screen and put its
    // buttons out of reach: the canvas then scrolls inside a card that fits.
    g.viewHeight = std::min(g.imageHeight, std::max(visible.height() - topH - botH - 40, 100.0));
    g.content = QSizeF(std::max(g.displayScale * w, 360.0), g.viewHeight + topH + botH);
    return g;
}

} // namespace vistrel
