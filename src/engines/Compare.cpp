#include "engines/Compare.h"

#include "engines/GifWriter.h"

#include <QPainter>

#include <algorithm>

namespace vistrel {

BeforeAfter::BeforeAfter(const QImage &before, const QImage &after)
    : m_before(before), m_after(after)
{
}

void BeforeAfter::moveDivider(double x, double width)
{
    m_fraction = width > 0 ? std::clamp(x / width, 0.0, 1.0) : 0.5;
}

QRectF BeforeAfter::aspectFit(const QSizeF &image, const QRectF &rect)
{
    if (image.isEmpty())
        return {rect.center(), QSizeF()};
    const double k = std::min(rect.width() / image.width(), rect.height() / image.height());
    const QSizeF size = image * k;
    return {rect.center().x() - size.width() / 2, rect.center().y() - size.height() / 2,
            size.width(), size.height()};
}

void BeforeAfter::drawAspectFit(QPainter &p, const QImage &image, const QRectF &rect)
{
    if (image.isNull())
        return;
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(aspectFit(QSizeF(image.size()), rect), image);
    p.restore();
}

QImage BeforeAfter::renderSplit() const
{
    const QSize size = canvasSize();
    if (size.isEmpty())
        return {};
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    out.fill(Qt::transparent);
    QPainter p(&out);
    const QRectF all(0, 0, size.width(), size.height());
    p.drawImage(all, m_before);
    const double d = size.width() * m_fraction;
    p.setClipRect(QRectF(d, 0, size.width() - d, size.height()));
    drawAspectFit(p, m_after, all);
    return out;
}

QImage BeforeAfter::gifFrame(const QImage &image) const
{
    const QSize size = canvasSize();
    if (size.isEmpty() || image.isNull())
        return {};
    QImage frame(size, QImage::Format_RGB32);
    if (frame.isNull())
        return {};
    frame.fill(Qt::white);
    QPainter p(&frame);
    drawAspectFit(p, image, QRectF(0, 0, size.width(), size.height()));
    return frame;
}

bool BeforeAfter::writeBeforeAfterGIF(const QString &path) const
{
    const QImage first = gifFrame(m_before);
    const QImage second = gifFrame(m_after);
    if (first.isNull() || second.isNull())
        return false;
    return GifWriter::writeFile(path, {first, second}, gifDelayCentiseconds, 0);
}

} // namespace vistrel
