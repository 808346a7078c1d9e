#include "model/PreviewCard.h"

#include "model/MarkRules.h"

#include <algorithm>
#include <cmath>

namespace vistrel {

PreviewCard::PreviewCard(QSize imageSize, double displayScale)
    : m_imageSize(imageSize), m_displayScale(displayScale),
      m_cropRect(0, 0, imageSize.width(), imageSize.height())
{
}

QList<QPointF> PreviewCard::handlePoints(const QRectF &r)
{
    return handles::points(r);
}

PreviewCard::Handle PreviewCard::hitHandle(QPointF p) const
{
    const double s = m_displayScale;
    const QRectF r(m_cropRect.x() * s, m_cropRect.y() * s, m_cropRect.width() * s,
                   m_cropRect.height() * s);
    return handles::hit(r, p, handleRadius);
}

void PreviewCard::adjustCrop(Handle handle, QPointF d)
{
    if (handle == Handle::None)
        return;
    const QRectF moved = handles::dragged(m_cropRect, handle, d);
    double x = moved.x(), y = moved.y(), w = moved.width(), h = moved.height();
    // An edge dragged past the image stops at it. Clamping the position alone would push the
    // rectangle outwards and let it grow beyond the image.
    const double W = m_imageSize.width(), H = m_imageSize.height();
    if (handle != Handle::Move) {
        if (x < 0)
            w += x, x = 0;
        if (y < 0)
            h += y, y = 0;
        w = std::min(w, W - x);
        h = std::min(h, H - y);
    }
    w = std::max(w, minCrop);
    h = std::max(h, minCrop);
    x = std::min(std::max(x, 0.0), W - w);
    y = std::min(std::max(y, 0.0), H - h);
    w = std::min(w, W - x);
    h = std::min(h, H - y);
    m_cropRect = QRectF(x, y, w, h);
}

void PreviewCard::mouseDown(QPointF view)
{
    m_typing.reset();
    const QPointF q = view / m_displayScale;
    if (mode == Mode::Adjust) {
        m_activeHandle = hitHandle(view);
        m_dragLast = q;
        return;
    }
    m_draft = MarkRules::startDraft(markerTool, q, strokeColor, lineWidth);
}

bool PreviewCard::mouseDragged(QPointF view)
{
    const QPointF q = view / m_displayScale;
    if (mode == Mode::Adjust) {
        if (!m_dragLast)
            return false;
        adjustCrop(m_activeHandle, q - *m_dragLast);
        m_dragLast = q;
        return true;
    }
    if (m_draft)
        MarkRules::extendDraft(*m_draft, q);
    return false;
}

void PreviewCard::mouseUp()
{
    if (mode == Mode::Adjust) {
        m_activeHandle = Handle::None;
        m_dragLast.reset();
        return;
    }
    if (!m_draft)
        return;
    if (MarkRules::keepsDraft(*m_draft)) {
        m_annotations.append(m_draft);
        if (MarkRules::of(m_draft->kind).typed)
            m_typing = m_draft;
    }
    m_draft.reset();
}

void PreviewCard::typeText(const QString &text)
{
    if (m_typing)
        m_typing->text += text;
}

void PreviewCard::backspace()
{
    if (m_typing && !m_typing->text.isEmpty())
        m_typing->text.chop(1);
}

QRect PreviewCard::cropInImage() const
{
    return m_cropRect.toRect();
}

QList<AnnotationRef> PreviewCard::marksInCrop() const
{
    QList<AnnotationRef> out;
    for (const AnnotationRef &a : m_annotations) {
        AnnotationRef copy = a->copyForUndo();
        copy->translate(-m_cropRect.topLeft());
        out.append(copy);
    }
    return out;
}

QString PreviewCard::sizeText(QSizeF size)
{
    return QStringLiteral("%1 × %2 px")
        .arg(std::llround(size.width()))
        .arg(std::llround(size.height()));
}

CardGeometry CardGeometry::forImage(QSize image, QSizeF visible, double devicePixelRatio,
                                    double scrollBarExtent)
{
    CardGeometry g;
    const double w = std::max(1, image.width()), h = std::max(1, image.height());
    const double fitWidth = std::min(visible.width() * 0.7 / w, 1.0 / devicePixelRatio);
    const double fitAll = std::min(fitWidth, visible.height() * 0.62 / h);
    // Shrinking a tall picture until all of it fits leaves it too small to crop at (a long
    // scrolling capture would show at 1:10 or worse): past half the width-fitting scale it
    // keeps that scale and scrolls.
    const bool tall = fitAll < fitWidth / 2;
    g.displayScale = std::max(tall ? fitWidth : fitAll, 0.1);
    g.imageHeight = g.displayScale * h;
    const double canvasW = g.displayScale * w;
    auto maxView = [&](double bottom) {
        // A card taller than the screen would put its buttons out of reach.
        return std::max(visible.height() - topH - bottom - 40, 100.0);
    };
    auto bottomFor = [](double width) { return width < oneRowWidth ? botH + rowH : botH; };
    double width = std::max(canvasW, minWidth);
    g.bottomH = bottomFor(width);
    if (g.imageHeight > maxView(g.bottomH)) {
        // The scroll bar sits beside the canvas rather than over its right edge.
        width = std::max(canvasW + scrollBarExtent, minWidth);
        g.bottomH = bottomFor(width);
    }
    g.viewHeight = std::min(g.imageHeight, maxView(g.bottomH));
    g.content = QSizeF(width, g.viewHeight + topH + g.bottomH);
    return g;
}

} // namespace vistrel
