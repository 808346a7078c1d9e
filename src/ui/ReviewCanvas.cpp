#include "ui/ReviewCanvas.h"

#include "model/AnnotationRenderer.h"
#include "model/YUp.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace vistrel {

ReviewCanvas::ReviewCanvas(const QImage &image, double displayScale, QWidget *parent)
    : QWidget(parent), m_base(image.convertToFormat(QImage::Format_ARGB32_Premultiplied)),
      m_model(image.size(), displayScale)
{
    setFixedSize(qRound(image.width() * displayScale), qRound(image.height() * displayScale));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
}

void ReviewCanvas::setMode(ReviewModel::Mode mode)
{
    m_model.mode = mode;
    setCursor(mode == ReviewModel::Mode::Mark ? Qt::CrossCursor : Qt::ArrowCursor);
    update();
}

QPointF ReviewCanvas::toView(QPointF w) const
{
    return yup::fromSurface(w, height());
}

const QImage &ReviewCanvas::pixelated()
{
    if (!m_pixelated)
        m_pixelated = pixelate(m_base);
    return *m_pixelated;
}

void ReviewCanvas::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(rect()), m_base);
    const double s = m_model.displayScale();
    // Marks are in image pixels, y up.
    p.setTransform(yup::toSurface(m_model.imageSize().height()) * QTransform::fromScale(s, s));
    // The pixelated copy costs a pass over the whole picture: made once a blur is drawn.
    const QImage *pix = m_model.hasBlur() ? &pixelated() : nullptr;
    for (const AnnotationRef &a : m_model.annotations())
        AnnotationRenderer::draw(p, *a, pix, QPointF(0, 0));
    if (m_model.draft())
        AnnotationRenderer::draw(p, *m_model.draft(), pix, QPointF(0, 0));
    p.resetTransform();
    // Marks are drawn against the crop, so it stays in sight while marking; its handles only
    // while it can be adjusted.
    drawCropOverlay(p, m_model.mode == ReviewModel::Mode::Adjust);
}

void ReviewCanvas::drawCropOverlay(QPainter &p, bool withHandles)
{
    const double s = m_model.displayScale();
    const QRectF c = m_model.cropRect();
    const QRectF r(c.x() * s, c.y() * s, c.width() * s, c.height() * s);
    p.setTransform(yup::toSurface(height()));
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
        for (const QPointF &h : ReviewModel::handlePoints(r))
            p.drawEllipse(h, 4, 4);
    }
    p.resetTransform();
}

void ReviewCanvas::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_model.mouseDown(toView(e->position()));
    update();
}

void ReviewCanvas::mouseMoveEvent(QMouseEvent *e)
{
    if (!(e->buttons() & Qt::LeftButton))
        return;
    if (m_model.mouseDragged(toView(e->position())) && onCropChange)
        onCropChange(m_model.cropRect().size());
    update();
}

void ReviewCanvas::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_model.mouseUp();
    update();
}

void ReviewCanvas::keyPressEvent(QKeyEvent *e)
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

std::optional<QImage> ReviewCanvas::renderFullComposite()
{
    return drawMarks(m_base, m_model.annotations(), &pixelated());
}

std::optional<QImage> ReviewCanvas::drawMarks(const QImage &image, const QList<AnnotationRef> &marks,
                                              const QImage *pixelated)
{
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return std::nullopt;
    QImage ownPixelated;
    if (!pixelated && !marks.isEmpty()) {
        ownPixelated = pixelate(image);
        pixelated = &ownPixelated;
    }
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, image);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setTransform(yup::toSurface(image.height()));
    for (const AnnotationRef &a : marks)
        AnnotationRenderer::draw(p, *a, pixelated, QPointF(0, 0));
    p.end();
    return out;
}

} // namespace vistrel
