#pragma once

#include "platform/Desktop.h"

#include <QHash>

namespace vistrel {

// The frozen picture of every display taken when a capture starts, by display identifier.
using DisplayImageMap = QHash<quint32, QImage>;

// The one place that takes pictures of the screen: whole displays, rectangles and windows,
// at the display's pixel density and without the pointer.
class CaptureService
{
public:
    explicit CaptureService(ScreenSource &source) : m_source(source) {}

    Result<QImage> captureDisplay(const DisplayInfo &display);
    // `rect` is in the display's points, origin top-left.
    Result<QImage> captureRect(const QRectF &rect, const DisplayInfo &display);
    Result<QImage> captureWindow(const WindowInfo &window);

    // The same pictures cut from the frozen display pictures, so the result is exactly what
    // the user saw when choosing it.
    Result<QImage> cutRect(const QRectF &rect, const DisplayInfo &display,
                           const QImage &frozen) const;
    Result<QImage> cutWindow(const WindowInfo &window, const QList<DisplayInfo> &displays,
                             const DisplayImageMap &frozen) const;

    // The picture with pixels of its own, for whatever outlives the capture (a pin, an editor,
    // a board's picture): a cut is a view into the frozen picture and a grab may lie in a
    // shared-memory segment, either of which would otherwise stay alive, whole, with it.
    static Result<QImage> ownPixels(const QImage &image);

    // Pixels per point of the display: its screen's ratio, else the main screen's, else 2.
    qreal scaleFactor(const DisplayInfo &display) const;
    QScreen *screenFor(const DisplayInfo &display) const;

    // Pixel geometry, kept apart so the rounding rules have one home. Whole-number scales
    // drop the fraction of a point size before multiplying; other scales keep what lies
    // fully on the pixel grid.
    static QRect pixelRect(const QRectF &points, qreal scale);
    static QSize displayPixelSize(const DisplayInfo &display, qreal scale);

private:
    QSize windowPixelSize(const WindowInfo &window) const;

    ScreenSource &m_source;
};

} // namespace vistrel
