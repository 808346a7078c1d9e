#pragma once

#include "model/ToolKind.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <memory>
#include <optional>
#include <utility>

namespace vistrel {

class Annotation;
// Marks are shared by identity: the canvas list, the selection and the draft all point at one.
using AnnotationRef = std::shared_ptr<Annotation>;

// One mark on an image, in canvas points.
class Annotation
{
public:
    Annotation(ToolKind kind, QPointF start, QPointF end, QColor color, double lineWidth)
        : kind(kind), start(start), end(end), color(color), lineWidth(lineWidth)
    {
    }
    static AnnotationRef make(ToolKind kind, QPointF start, QPointF end, QColor color,
                              double lineWidth)
    {
        return std::make_shared<Annotation>(kind, start, end, color, lineWidth);
    }

    ToolKind kind;
    QPointF start;
    QPointF end;
    QColor color;
    double lineWidth;
    QString text;
    QString caption;
    double fontSize = 20;
    qint64 stepNumber = 1;
    QList<QPointF> points;
    std::optional<QPointF> control;

    QRectF boundingRect() const;
    void translate(QPointF by);
    AnnotationRef copyForUndo() const;
    // The cubic equivalent of the quadratic bend through `control`.
    std::optional<std::pair<QPointF, QPointF>> cubicControls() const;

    // What a text mark shows: its text, or "Text" while it is empty.
    QString displayText() const;
    // Side of a step badge.
    double stepDiameter() const;

    // Semibold font of text marks at a size in points (one point is one canvas pixel).
    static QFont textFont(double size);
    // Bold font of step numbers.
    static QFont stepFont(double size);
    // Width and height of one laid-out line.
    static QSizeF measure(const QString &text, const QFont &font);

    // How far each kind reaches (MarkRules::bounds): the box of its two points, the text's
    // laid-out lines, the step badge round its centre, a segment with its bend, a pen's points
    // with half a stroke around them.
    static QRectF boxBounds(const Annotation &a);
    static QRectF textBounds(const Annotation &a);
    static QRectF stepBounds(const Annotation &a);
    static QRectF segmentBounds(const Annotation &a);
    static QRectF penBounds(const Annotation &a);

    // The colour of new marks, in the editor and on the preview card alike: the palette's red.
    static QColor defaultColor() { return QColor(239, 68, 68); }
    // The fill of redaction marks: the dark grey of the editor's dark surfaces, flat so that
    // JPEG keeps it flat.
    static QColor redactionColor() { return QColor(28, 28, 30); }
    // Its fill where the background is dark (a black terminal): a light grey.
    static QColor lightRedactionColor() { return QColor(200, 200, 204); }
    // The fill that stands out from what most pixels just outside `boxes` (the picture's
    // top-down pixels) show: their median lightness, which the glyphs of neighbouring words
    // do not sway.
    static QColor redactionColorOver(const QImage &picture, const QList<QRect> &boxes);
};

// The standard rectangle of two points.
QRectF rectOf(QPointF a, QPointF b);

} // namespace vistrel
