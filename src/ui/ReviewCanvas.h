#pragma once

#include "model/ReviewModel.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

namespace vistrel {

// The image inside the preview card: a crop with eight handles over the dimmed image (Adjust)
// or simple marks drawn straight onto it, the crop shown without handles (Mark). All geometry
// lives in `model()`.
class ReviewCanvas : public QWidget
{
    Q_OBJECT
public:
    ReviewCanvas(const QImage &image, double displayScale, QWidget *parent = nullptr);

    ReviewModel &model() { return m_model; }
    const ReviewModel &model() const { return m_model; }
    const QImage &baseImage() const { return m_base; }
    void setMode(ReviewModel::Mode mode);

    // Told the crop size in pixels after every crop drag step.
    std::function<void(QSizeF)> onCropChange;

    // The whole image with every finished mark, at full pixel size.
    std::optional<QImage> renderFullComposite();
    // `image` with `marks` (image pixels, y up) drawn on it; nothing when it cannot be made.
    static std::optional<QImage> drawMarks(const QImage &image, const QList<AnnotationRef> &marks,
                                           const QImage *pixelated = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    QPointF toView(QPointF widgetPoint) const;
    const QImage &pixelated();
    void drawCropOverlay(QPainter &p, bool withHandles);

    QImage m_base;
    ReviewModel m_model;
    std::optional<QImage> m_pixelated;
};

} // namespace vistrel
