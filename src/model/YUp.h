#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QTransform>

namespace vistrel::yup {

// Models keep y growing upward; widgets and images grow downward. This is the one place
// where the two meet.

// Maps model points (y up) into a surface `height` units tall (y down).
inline QTransform toSurface(double height, QPointF modelOrigin = {})
{
    return QTransform(1, 0, 0, -1, -modelOrigin.x(), height + modelOrigin.y());
}

inline QPointF fromSurface(QPointF surfacePoint, double height, QPointF modelOrigin = {})
{
    return QPointF(surfacePoint.x() + modelOrigin.x(), height - surfacePoint.y() + modelOrigin.y());
}

// Inside a painter that already has a y-up transform: runs `paint` with a local y-down
// system whose origin is the model point `topLeft`, so text and images come out upright.
template <class Paint> void upright(QPainter &p, QPointF topLeft, Paint &&paint)
{
    p.save();
    p.translate(topLeft);
    p.scale(1, -1);
    paint();
    p.restore();
}

// Text whose laid-out box has its top-left corner at `topLeft` (model coordinates).
void drawText(QPainter &p, QPointF topLeft, const QString &text, const QFont &font,
              const QColor &color);
// The image stretched over the model rectangle `target`, upright.
void drawImage(QPainter &p, const QRectF &target, const QImage &image,
               const QRectF &source = QRectF());

} // namespace vistrel::yup
