#pragma once

#include "platform/Desktop.h"

#include <QImage>
#include <QList>
#include <QWidget>

class QScreen;

namespace vistrel {

// A screenshot floating above other windows: drag to move, wheel to zoom, double click or
// Escape to close.
class PinWindow : public QWidget
{
    Q_OBJECT
public:
    // At the picture's real size on `screen` (the main screen when null): its pixel size
    // divided by the screen's device pixel ratio, zoomed out when that would not fit (see
    // `initialFrame`).
    explicit PinWindow(const QImage &image, QScreen *screen = nullptr);

    double scale() const { return m_scale; }
    QSizeF baseSize() const { return m_baseSize; }
    // Zooms by a scroll distance in points (0.002 per point), keeping the bottom-left corner.
    void zoomBy(double deltaY);
    // Where a new pin goes on a visible frame (top-down): its top-right corner 40 points in.
    static QPoint placement(const QSize &size, const QRect &visibleFrame);
    // The zoom and frame a new pin opens with on a visible frame: at most 80 % of its width
    // and height (never enlarged), placed as `placement` says and kept inside the frame.
    struct Opening
    {
        double scale = 1.0;
        QRect frame;
    };
    static Opening initialFrame(const QSizeF &baseSize, const QRect &visibleFrame);

    static constexpr double minScale = 0.2;
    static constexpr double maxScale = 4.0;
    static constexpr double pointsPerNotch = 50; // one wheel notch

signals:
    // The pin is closing (double click, Escape); it is deleted next.
    void closing();

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    QImage m_image;
    double m_scale = 1.0;
    // Zooming out stops here: `minScale`, or lower when the pin opened smaller than that.
    double m_minScale = minScale;
    QSizeF m_baseSize;
    QPoint m_dragOffset;
};

// The app's pins, shown at once and kept in the order they opened; each leaves the list as it
// closes, and those still open when the board goes go with it.
class PinBoard : public QObject, public Pins
{
public:
    PinBoard() = default;
    ~PinBoard() override;

    void pin(const QImage &image, QScreen *screen) override;
    const QList<PinWindow *> &pins() const { return m_pins; }

private:
    QList<PinWindow *> m_pins;
};

} // namespace vistrel
