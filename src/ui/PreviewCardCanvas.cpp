#include "ui/PreviewCardCanvas.h"

#include "model/AnnotationRenderer.h"
#include "model/MarkRules.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace vistrel {

PreviewCardCanvas::PreviewCardCanvas(const QImage &image, double displayScale, QWidget *parent)
    : QWidget(parent), m_base(image.convertToFormat(QImage::Format_ARGB32_Premultiplied)),
      m_model(image.size(), displayScale), m_pixelated(m_base)
{
    setFixedSize(qRound(image.width() * displayScale), qRound(image.height() * displayScale));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
}

void PreviewCardCanvas::setMode(PreviewCard::Mode mode)
{
    m_model.mode = mode;
    setCursor(mode == PreviewCard::Mode::Mark ? Qt::CrossCursor : Qt::ArrowCursor);
    update();
}

void PreviewCardCanvas::drawMark(QPainter &p, const Annotation &mark)
{
    if (!MarkRules::of(mark.kind).pixelated) {
        AnnotationRenderer::draw(p, mark);
        return;
    }
    // A blur shows the pixelated copy of what lies under it, and only that is made.
    const QRect under = mark.boundingRect().toAlignedRect();
    if (!under.intersects(m_base.rect()))
        return;
    const PixelatedPicture::Part part = m_pixelated.cover(under);
    // Without its part (no memory for it) the mark is solid black: it hides what it covers.
    AnnotationRenderer::draw(p, mark, &part.image, QPointF(part.at));
}

void PreviewCardCanvas::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(rect()), m_base);
    const double s = m_model.displayScale();
    // Marks are in image pixels.
    p.setTransform(QTransform::fromScale(s, s));
    for (const AnnotationRef &a : m_model.annotations())
        drawMark(p, *a);
    if (m_model.draft())
        drawMark(p, *m_model.draft());
    p.resetTransform();
    // Marks are drawn against the crop, so it stays in sight while marking; its handles only
    // while it can be adjusted.
    drawCropOverlay(p, m_model.mode == PreviewCard::Mode::Adjust);
}

void PreviewCardCanvas::drawCropOverlay(QPainter &p, bool withHandles)
{
    const double s = m_model.displayScale();
    const QRectF c = m_model.cropRect();
    const QRectF r(c.x() * s, c.y() * s, c.width() * s, c.height() * s);
    p.resetTransform();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outside;
    outside.setFillRule(Qt::OddEvenFill);
    outside.addRect(QRectF(0, 0, width(), height()));
    outside.addRect(r);
    p.fillPath(outside, QColor(0, 0, 0, 115));
    const QColor accent = palette().color(QPalette::Highlight);
    p.setPen(QPen(accent, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
    if (withHandles) {
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        for (const QPointF &h : PreviewCard::handlePoints(r))
            p.drawEllipse(h, 4, 4);
    }
    p.resetTransform();
}

void PreviewCardCanvas::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_model.mouseDown(e->position());
    update();
}

void PreviewCardCanvas::mouseMoveEvent(QMouseEvent *e)
{
    if (!(e->buttons() & Qt::LeftButton))
        return;
    if (m_model.mouseDragged(e->position()))
        emit cropChanged(m_model.cropRect().size());
    update();
}

void PreviewCardCanvas::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_model.mouseUp();
    update();
}

void PreviewCardCanvas::keyPressEvent(QKeyEvent *e)
{
    if (m_model.typing()) {
        const QString text = e->text();
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
            m_model.endTyping();
        } else if (e->key() == Qt::Key_Backspace) {
            m_model.backspace();
        } else if (!text.isEmpty() && text.at(0).isPrint() &&
                   !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            m_model.typeText(text);
        } else {
            QWidget::keyPressEvent(e);
            return;
        }
        update();
        return;
    }
    QWidget::keyPressEvent(e);
}

std::optional<QImage> PreviewCardCanvas::renderComposite(const QRect &area)
{
    QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return std::nullopt;
    if (!m_base.rect().contains(area))
        out.fill(Qt::transparent); // beyond the image, as a cut of it would be
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(0, 0), m_base, area);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    // Marks are in the whole image's pixels; the area's top-left is the origin here.
    p.setTransform(QTransform::fromTranslate(-area.x(), -area.y()));
    for (const AnnotationRef &a : m_model.annotations())
        drawMark(p, *a);
    p.end();
    return out;
}

} // namespace vistrel
