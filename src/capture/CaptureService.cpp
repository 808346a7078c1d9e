#include "capture/CaptureService.h"

#include <cmath>

namespace vistrel {

qreal CaptureService::scaleFactor(const DisplayInfo &display) const
{
    const QList<ScreenInfo> screens = m_source.screens();
    for (const ScreenInfo &s : screens)
        if (s.displayID == display.displayID)
            return s.scale;
    if (!screens.isEmpty())
        return screens.first().scale; // the main screen comes first
    return 2.0;
}

QScreen *CaptureService::screenFor(const DisplayInfo &display) const
{
    for (const ScreenInfo &s : m_source.screens())
        if (s.displayID == display.displayID)
            return s.screen;
    return nullptr;
}

QRect CaptureService::pixelRect(const QRectF &points, qreal scale)
{
    const qreal w = std::trunc(points.width());
    const qreal h = std::trunc(points.height());
    const int x = int(std::lround(points.x() * scale));
    const int y = int(std::lround(points.y() * scale));
    // A tiny epsilon keeps 101 * 1.25 = 126.25 from becoming 126.2499… → 126 twice over.
    return QRect(x, y, int(std::floor(w * scale + 1e-9)), int(std::floor(h * scale + 1e-9)));
}

QSize CaptureService::displayPixelSize(const DisplayInfo &display, qreal scale)
{
    return QSize(int(std::lround(display.width() * scale)), int(std::lround(display.height() * scale)));
}

Result<QImage> CaptureService::captureDisplay(const DisplayInfo &display,
                                              const QList<WindowInfo> &excluding)
{
    const QSize size = displayPixelSize(display, scaleFactor(display));
    return m_source.grabDisplayPixels(display, QRect(QPoint(0, 0), size), excluding);
}

Result<QImage> CaptureService::captureRect(const QRectF &rect, const DisplayInfo &display,
                                           const QList<WindowInfo> &excluding)
{
    const QRect px = pixelRect(rect, scaleFactor(display));
    if (px.isEmpty())
        return CaptureError::failed(QStringLiteral("The area to capture is empty."));
    return m_source.grabDisplayPixels(display, px, excluding);
}

Result<QImage> CaptureService::captureWindow(const WindowInfo &window)
{
    // Sized by the main screen's scale, as for every window picture.
    const QList<ScreenInfo> screens = m_source.screens();
    const qreal scale = screens.isEmpty() ? 2.0 : screens.first().scale;
    const QSize size = pixelRect(QRectF(QPointF(0, 0), window.frame.size()), scale).size();
    if (size.isEmpty())
        return CaptureError::failed(QStringLiteral("The window has no area to capture."));
    return m_source.grabWindowPixels(window, size);
}

} // namespace vistrel
