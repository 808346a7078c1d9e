#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>

class QPainter;

namespace vistrel {

struct Preset
{
    QString name;
    QList<QColor> colors; // drawn from the first to the last
};

// The gradient presets, in swatch order.
const QList<Preset> &beautifyPresets();

// A screenshot set on a gradient as a rounded, shadowed card. Lengths are output pixels at
// scale 1; `paint` multiplies them by its scale for smaller or larger surfaces.
class Beautifier
{
public:
    explicit Beautifier(const QImage &image);

    static double defaultPadding(const QSize &imageSize);

    const QImage &image() const { return m_image; }
    QSizeF imgSize() const { return m_imgSize; }
    QList<QColor> colors;
    double padding = 48;
    double cornerRadius = 18;

    // The picture with its margin, before truncation to whole pixels.
    QSizeF totalSize() const;
    QSize outputSize() const;

    // Draws the whole picture into a surface of `output` size (y down, origin top-left),
    // with padding, radius and shadow multiplied by `scale`. `shown` may stand in for the
    // picture at the card's size (a smoothly reduced copy for the screen).
    void paint(QPainter &p, const QSizeF &output, double scale, const QImage &shown = {}) const;
    QSizeF cardSize(const QSizeF &output, double scale) const;
    // At full pixel size; a null image when the size cannot be had.
    QImage render() const;

    static constexpr double shadowAlpha = 0.35;
    static constexpr double shadowBlur = 30;
    static constexpr double shadowDrop = 12;

private:
    QImage m_image;
    QSizeF m_imgSize;
};

} // namespace vistrel
