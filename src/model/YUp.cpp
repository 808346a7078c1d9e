#include "model/YUp.h"

#include <QFontMetricsF>

namespace vistrel::yup {

void drawText(QPainter &p, QPointF topLeft, const QString &text, const QFont &font,
              const QColor &color)
{
    upright(p, topLeft, [&] {
        p.setFont(font);
        p.setPen(color);
        const QFontMetricsF fm(font);
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i)
            p.drawText(QPointF(0, fm.ascent() + double(i) * fm.lineSpacing()), lines[i]);
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
