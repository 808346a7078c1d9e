#include "editor/YUp.h"

#include <QFontMetricsF>

namespace vistrel::yup {

void drawText(QPainter &p, QPointF topLeft, const QString &text, const QFont &font,
              const QColor &color)
{
    upright(p, topLeft, [&] {
        p.setFont(font);
        p.setPen(color);
        p.drawText(QPointF(0, QFontMetricsF(font).ascent()), text);
    });
}

void drawImage(QPainter &p, const QRectF &target, const QImage &image, const QRectF &source)
{
    upright(p, QPointF(target.left(), target.bottom()), [&] {
        const QRectF local(0, 0, target.width(), target.height());
        if (source.isNull())
            p.drawImage(local, image);
        else
            p.drawImage(local, image, source);
    });
}

} // namespace vistrel::yup
