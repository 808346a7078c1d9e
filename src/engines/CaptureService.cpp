#include "engines/CaptureService.h"

#include <QCoreApplication>
#include <QPainter>

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
    return QSize(int(std::lround(display.width() * scale)),
                 int(std::lround(display.height() * scale)));
}

Result<QImage> CaptureService::captureDisplay(const DisplayInfo &display)
{
    const QSize size = displayPixelSize(display, scaleFactor(display));
    return m_source.grabDisplayPixels(display, QRect(QPoint(0, 0), size));
}

Result<QImage> CaptureService::captureRect(const QRectF &rect, const DisplayInfo &display)
{
    const QRect px = pixelRect(rect, scaleFactor(display));
    if (px.isEmpty())
        return CaptureError::failed(
            QCoreApplication::translate("CaptureService", "The area to capture is empty."));
    return m_source.grabDisplayPixels(display, px);
}

QSize CaptureService::windowPixelSize(const WindowInfo &window) const
{
    // Sized by the main screen's scale, as for every window picture.
    const QList<ScreenInfo> screens = m_source.screens();
    const qreal scale = screens.isEmpty() ? 2.0 : screens.first().scale;
    return pixelRect(QRectF(QPointF(0, 0), window.frame.size()), scale).size();
}

Result<QImage> CaptureService::captureWindow(const WindowInfo &window)
{
    const QSize size = windowPixelSize(window);
    if (size.isEmpty())
        return CaptureError::failed(
            QCoreApplication::translate("CaptureService", "The window has no area to capture."));
    return m_source.grabWindowPixels(window, size);
}

Result<QImage> CaptureService::cutRect(const QRectF &rect, const DisplayInfo &display,
                                       const QImage &frozen) const
{
    const QRect px = pixelRect(rect, scaleFactor(display));
    if (px.isEmpty())
        return CaptureError::failed(
            QCoreApplication::translate("CaptureService", "The area to capture is empty."));
    if (frozen.rect().contains(px) && frozen.devicePixelRatio() == 1.0 && frozen.depth() % 8 == 0) {
        // A view into the frozen picture, which it keeps alive: no copy of a picture that is
        // usually only encoded and dropped (writing to it detaches, as with any shared picture).
        auto *keep = new QImage(frozen);
        const uchar *bits = keep->constBits() + qsizetype(px.y()) * keep->bytesPerLine() +
                            qsizetype(px.x()) * (keep->depth() / 8);
        QImage view(
            bits, px.width(), px.height(), keep->bytesPerLine(), keep->format(),
            [](void *info) { delete static_cast<QImage *>(info); }, keep);
        if (!view.isNull())
            return view;
        delete keep; // a view that was not made does not clean up
    }
    QImage out = frozen.copy(px); // parts beyond the picture come out black
    if (out.isNull())
        return CaptureError::outOfMemory();
    out.setDevicePixelRatio(1);
    return out;
}

Result<QImage> CaptureService::ownPixels(const QImage &image)
{
    if (image.isNull())
        return image;
    QImage own = image.copy();
    if (own.isNull())
        return CaptureError::outOfMemory();
    return own;
}

Result<QImage> CaptureService::cutWindow(const WindowInfo &window,
                                         const QList<DisplayInfo> &displays,
                                         const DisplayImageMap &frozen) const
{
    const QSize size = windowPixelSize(window);
    if (size.isEmpty() || window.pixelFrame.isEmpty())
        return CaptureError::failed(
            QCoreApplication::translate("CaptureService", "The window has no area to capture."));
    QImage out(window.pixelFrame.size(), QImage::Format_RGB32);
    if (out.isNull())
        return CaptureError::outOfMemory();
    out.fill(Qt::black); // parts on no display
    bool covered = false;
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    // A window may straddle displays: each frozen picture gives the part it shows.
    for (const DisplayInfo &d : displays) {
        const QImage picture = frozen.value(d.displayID);
        if (picture.isNull())
            continue;
        const QRect part = QRect(d.pixelOrigin, picture.size()).intersected(window.pixelFrame);
        if (part.isEmpty())
            continue;
        p.drawImage(part.topLeft() - window.pixelFrame.topLeft(), picture,
                    part.translated(-d.pixelOrigin));
        covered = true;
    }
    p.end();
    if (!covered)
        return CaptureError::failed(QCoreApplication::translate(
            "CaptureService", "The window is on no screen that was captured."));
    if (out.size() == size)
        return out;
    return out.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace vistrel
