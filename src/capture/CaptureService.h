#pragma once

#include "platform/Desktop.h"

namespace vistrel {

// The one place that takes pictures of the screen: whole displays, rectangles and windows,
// at the display's pixel density and without the pointer.
class CaptureService
{
public:
    explicit CaptureService(ScreenSource &source) : m_source(source) {}

    Result<QImage> captureDisplay(const DisplayInfo &display, const QList<WindowInfo> &excluding);
    // `rect` is in the display's points, origin top-left.
    Result<QImage> captureRect(const QRectF &rect, const DisplayInfo &display,
                               const QList<WindowInfo> &excluding);
    Result<QImage> captureWindow(const WindowInfo &window);

    // Pixels per point of the display: its screen's ratio, else the main screen's, else 2.
    qreal scaleFactor(const DisplayInfo &display) const;
    QScreen *screenFor(const DisplayInfo &display) const;

    // Pixel geometry, kept apart so the rounding rules have one home. Whole-number scales
    // drop the fraction of a point size before multiplying; other scales keep what lies
    // fully on the pixel grid.
    static QRect pixelRect(const QRectF &points, qreal scale);
    static QSize displayPixelSize(const DisplayInfo &display, qreal scale);

private:
    ScreenSource &m_source;
};

} // namespace vistrel
