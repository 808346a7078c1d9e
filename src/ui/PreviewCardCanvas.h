#pragma once

#include "model/AnnotationRenderer.h"
#include "model/PreviewCard.h"

#include <QImage>
#include <QWidget>

#include <optional>

namespace vistrel {

// The image inside the preview card: a crop with eight handles over the dimmed image (Adjust)
// or simple marks drawn straight onto it, the crop shown without handles (Mark). All geometry
// lives in `model()`.
class PreviewCardCanvas : public QWidget
{
    Q_OBJECT
public:
    PreviewCardCanvas(const QImage &image, double displayScale, QWidget *parent = nullptr);

    PreviewCard &model() { return m_model; }
    const PreviewCard &model() const { return m_model; }
    const QImage &baseImage() const { return m_base; }
    void setMode(PreviewCard::Mode mode);

    // The part `area` (pixels, rows top-down) of the image with every finished mark, at full
    // pixel size; nothing when it cannot be made.
    std::optional<QImage> renderComposite(const QRect &area);
    // What blur marks have needed of the pixelated copy so far.
    const PixelatedPicture &pixelated() const { return m_pixelated; }

signals:
    // The crop size in pixels, after every crop drag step.
    void cropChanged(QSizeF size);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    // A mark in the painter's current state, which maps the image's pixels.
    void drawMark(QPainter &p, const Annotation &mark);
    void drawCropOverlay(QPainter &p, bool withHandles);

    QImage m_base;
    PreviewCard m_model;
    PixelatedPicture m_pixelated; // made where blur marks need it
};

} // namespace vistrel
