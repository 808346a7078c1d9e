#include "model/CanvasModel.h"

#include "model/CaptionPanel.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

double distance(QPointF a, QPointF b)
{
    return QLineF(a, b).length();
}

} // namespace

// ---- geometry -----------------------------------------------------------------------------

QRectF CanvasModel::paintRect(const Annotation &mark)
{
    const double reach = MarkRules::of(mark.kind).overhang(mark) + 12; // + selection decoration
    return mark.boundingRect().adjusted(-reach, -reach, reach, reach);
}

QList<HandlePoint> CanvasModel::selectionHandlePoints(const Annotation &mark) const
{
    return MarkRules::of(mark.kind).handles(mark);
}

std::optional<SelHandle> CanvasModel::imageHandleHit(const PlacedImage &image, QPointF p) const
{
    const QRectF f = image.frame;
    const std::pair<SelHandle, QPointF> corners[] = {{SelHandle::BL, f.bottomLeft()},
                                                     {SelHandle::BR, f.bottomRight()},
                                                     {SelHandle::TL, f.topLeft()},
                                                     {SelHandle::TR, f.topRight()}};
    for (const auto &[handle, point] : corners)
        if (distance(point, p) < imageHandleGrab)
            return handle;
    return std::nullopt;
}

QList<QRectF> CanvasModel::canvasTextBoxes() const
{
    auto mapOnto = [](const QRectF &b, const QRectF &r) {
        return QRectF(r.left() + b.left() * r.width(), r.top() + b.top() * r.height(),
                      b.width() * r.width(), b.height() * r.height());
    };
    QList<QRectF> boxes;
    const QRectF primary = primaryRect();
    for (const QRectF &b : m_primaryTextBoxes)
        boxes.append(mapOnto(b, primary));
    for (const PlacedImageRef &img : m_extraImages)
        for (const QRectF &b : img->textBoxes)
            boxes.append(mapOnto(b, img->frame));
    return boxes;
}

std::optional<SnapTarget> CanvasModel::snapToText(QPointF p, double threshold) const
{
    std::optional<SnapTarget> best;
    double bestDistance = threshold;
    for (const QRectF &r : canvasTextBoxes()) {
        QPointF candidate;
        double d;
        if (r.contains(p)) {
            // Inside a box only the nearest edge attracts, and only from as close as outside.
            const double dl = p.x() - r.left(), dr = r.right() - p.x();
            const double db = p.y() - r.top(), dt = r.bottom() - p.y();
            const double m = std::min({dl, dr, db, dt});
            if (m == dl)
                candidate = QPointF(r.left(), p.y());
            else if (m == dr)
                candidate = QPointF(r.right(), p.y());
            else if (m == db)
                candidate = QPointF(p.x(), r.top());
            else
                candidate = QPointF(p.x(), r.bottom());
            d = m;
        } else {
            candidate = QPointF(std::clamp(p.x(), r.left(), r.right()),
                                std::clamp(p.y(), r.top(), r.bottom()));
            d = distance(candidate, p);
        }
        if (d < threshold && (!best || d < bestDistance)) {
            best = SnapTarget{candidate, r};
            bestDistance = d;
        }
    }
    return best;
}

std::optional<SnapTarget> CanvasModel::snapIfOn(QPointF p) const
{
    return m_snapping ? snapToText(p) : std::nullopt;
}

QRectF CanvasModel::imageArea() const
{
    QRectF area = primaryRect();
    for (const PlacedImageRef &img : m_extraImages)
        area = uniteRects(area, img->frame);
    return area;
}

QList<AnnotationRef> CanvasModel::captionedSteps() const
{
    return CaptionPanel::captionedSteps(m_annotations);
}

std::optional<QRectF> CanvasModel::captionPanelRect() const
{
    return CaptionPanel::rect(captionedSteps(), imageArea());
}

QRectF CanvasModel::exportRect() const
{
    if (m_crop)
        return QRectF(m_crop->toAlignedRect());
    const QRectF images = imageArea();
    QRectF all = images;
    for (const AnnotationRef &m : m_annotations)
        all = uniteRects(all, m->boundingRect());
    if (const auto panel = captionPanelRect())
        all = uniteRects(all, *panel);
    if (all == images)
        return images;
    return all.adjusted(-exportBorder, -exportBorder, exportBorder, exportBorder);
}

QRectF CanvasModel::contentRect() const
{
    QRectF content = imageArea();
    for (const AnnotationRef &m : m_annotations) {
        const double reach = MarkRules::of(m->kind).overhang(*m);
        content = uniteRects(content, m->boundingRect().adjusted(-reach, -reach, reach, reach));
    }
    if (const auto panel = captionPanelRect())
        content = uniteRects(content, *panel);
    if (m_crop)
        content = uniteRects(content, *m_crop);
    return content;
}

AnnotationRef CanvasModel::markAt(QPointF p) const
{
    for (auto it = m_annotations.crbegin(); it != m_annotations.crend(); ++it)
        if (MarkRules::of((*it)->kind).hits(**it, p, hitSlop))
            return *it;
    return {};
}

qint64 CanvasModel::stepCounter() const
{
    qint64 highest = 0;
    for (const AnnotationRef &m : m_annotations)
        if (MarkRules::of(m->kind).numbered)
            highest = std::max(highest, m->stepNumber);
    if (m_draft && MarkRules::of(m_draft->kind).numbered)
        highest = std::max(highest, m_draft->stepNumber);
    return highest + 1;
}

} // namespace vistrel
