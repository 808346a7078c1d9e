#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

namespace vistrel {

// Two screenshots split by a vertical divider: the before image left of it, the after image
// right of it. Every output has the before image's size.
class BeforeAfter
{
public:
    BeforeAfter(const QImage &before, const QImage &after);

    const QImage &before() const { return m_before; }
    const QImage &after() const { return m_after; }
    QSize canvasSize() const { return m_before.size(); }

    // The divider as a fraction of the width, always within 0…1.
    double fraction() const { return m_fraction; }
    void moveDivider(double x, double width);

    // The largest rectangle of the image's proportions that fits in `rect`, centred.
    static QRectF aspectFit(const QSizeF &image, const QRectF &rect);
    static void drawAspectFit(QPainter &p, const QImage &image, const QRectF &rect);

    // The split picture at the canvas size; null when it cannot be made.
    QImage renderSplit() const;
    // A GIF frame: the image fitted on white at the canvas size.
    QImage gifFrame(const QImage &image) const;
    // Before, then after, 0.9 s each, looping forever; written atomically.
    bool writeBeforeAfterGIF(const QString &path) const;

    static constexpr int gifDelayCentiseconds = 90;

private:
    QImage m_before;
    QImage m_after;
    double m_fraction = 0.5;
};

} // namespace vistrel
