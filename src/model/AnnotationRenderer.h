#pragma once

#include "model/Annotation.h"

#include <QImage>
#include <QPainterPath>
#include <QPolygonF>

#include <vector>

class QPainter;

namespace vistrel {

struct MarkInks;

// Draws marks into a painter that already maps model points to its device.
class AnnotationRenderer
{
public:
    // `pixelated` is the blurred copy of the image whose top-left lies at `imageOrigin`;
    // blur marks without one are solid black.
    static void draw(QPainter &painter, const Annotation &annotation,
                     const QImage *pixelated = nullptr, QPointF imageOrigin = {});
    // Lines of text whose laid-out box has its top-left corner at `topLeft`.
    static void drawLines(QPainter &p, QPointF topLeft, const QString &text, const QFont &font,
                          const QColor &color);

    // The shaft of an arrow or line: straight, or the cubic through its bend.
    static QPainterPath strokePath(const Annotation &annotation);
    // The filled triangle at an arrow's tip: tip, first back corner, second back corner.
    static QPolygonF arrowHead(const Annotation &annotation);
    static double arrowHeadLength(double lineWidth);

    // How each kind is drawn (MarkRules::paint), in the painter's current state.
    static void paintNothing(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintLine(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintArrow(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintRect(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintEllipse(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintPen(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintHighlight(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintText(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintStep(QPainter &p, const Annotation &a, const MarkInks &inks);
    static void paintBlur(QPainter &p, const Annotation &a, const MarkInks &inks);
    // An opaque fill out to whole device pixels, so that no pixel at its edge is blended with
    // what lies beneath.
    static void paintRedaction(QPainter &p, const Annotation &a, const MarkInks &inks);

    static constexpr double headAngle = 0.82 * 3.14159265358979323846;
    static constexpr double highlightAlpha = 0.35;
    // Points in each piece a long pen stroke is drawn in.
    static constexpr int penPiece = 4;
};

// The copy of an image that blur marks show: blocks of max(longer side / 60, 8) pixels over
// the whole image. Any failure gives back the source.
QImage pixelate(const QImage &source);
double pixelBlockSize(const QSize &size);

// The same pixelated copy made only where blur marks need it: a long picture with one blur
// mark holds the blocks under that mark rather than a second picture of its size.
class PixelatedPicture
{
public:
    PixelatedPicture() = default;
    explicit PixelatedPicture(const QImage &source);

    // A piece of the pixelated copy, whose top-left is the picture's pixel `at`.
    struct Part
    {
        QImage image;
        QPoint at;
        QRect rect() const { return QRect(at, image.size()); }
    };
    // The blocks that hold `area` (the picture's pixels, rows top-down), made the first time
    // they are asked for; nothing outside the picture.
    Part cover(const QRect &area);
    // What the parts made so far hold.
    qint64 bytes() const;

private:
    QImage m_source;
    std::vector<int> m_xs, m_ys; // block edges
    QList<Part> m_parts;
};

} // namespace vistrel
