#pragma once

#include "model/Annotation.h"

#include <QFont>
#include <QList>
#include <QRectF>

#include <optional>

class QPainter;

namespace vistrel {

// The legend beside the images that lists the captioned step badges. It has no state: it is
// derived from the marks and the image area whenever it is needed. Canvas points.
class CaptionPanel
{
public:
    static constexpr double width = 360;
    static constexpr double gap = 28;
    static constexpr double pad = 20;
    static constexpr double cornerRadius = 14;
    static constexpr double titleHeight = 22;
    static constexpr double badge = 28;
    static constexpr double captionX = 60; // from the left edge
    static constexpr double captionWidth = 274;
    static constexpr double minRowHeight = 34;
    static constexpr double rowSpacing = 16;
    static constexpr double baseHeight = 74;

    // Steps with a caption, by number; equal numbers keep their list order.
    static QList<AnnotationRef> captionedSteps(const QList<AnnotationRef> &marks);
    // The caption wrapped at 274 points (inside a word too long for a row), rounded up, never
    // under 34.
    static double rowHeight(const QString &caption);
    static double contentHeight(const QList<AnnotationRef> &steps);
    // Right of the image area, top-aligned with it, at least as tall; none without captions.
    static std::optional<QRectF> rect(const QList<AnnotationRef> &steps, const QRectF &imageArea);
    // Into a painter that maps canvas points to its device.
    static void draw(QPainter &painter, const QRectF &panel, const QList<AnnotationRef> &steps);

    static QFont titleFont();
    static QFont numberFont();
    static QFont captionFont();
};

} // namespace vistrel
