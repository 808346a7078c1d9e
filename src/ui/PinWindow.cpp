#include "ui/PinWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace vistrel {

PinBoard::~PinBoard()
{
    qDeleteAll(std::exchange(m_pins, {}));
}

void PinBoard::pin(const QImage &image, QScreen *screen)
{
    auto *window = new PinWindow(image, screen);
    m_pins.append(window);
    auto leave = [this, window] { m_pins.removeAll(window); };
    connect(window, &PinWindow::closing, this, leave);
    connect(window, &QObject::destroyed, this, leave);
    window->show();
    window->raise();
}

PinWindow::PinWindow(const QImage &image, QScreen *screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_image(image)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    m_baseSize = QSizeF(image.size()) / ratio;
    setWindowTitle(tr("Vistrel Pin"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::ClickFocus);
    if (!screen) {
        resize(m_baseSize.toSize().expandedTo(QSize(1, 1)));
        return;
    }
    // A full-screen capture at its real size would cover the whole screen and more: it opens
    // zoomed out, on the screen it was asked for.
    const Opening opening = initialFrame(m_baseSize, screen->availableGeometry());
    m_scale = opening.scale;
    m_minScale = std::min(minScale, m_scale);
    setScreen(screen);
    setGeometry(opening.frame);
}

QPoint PinWindow::placement(const QSize &size, const QRect &visible)
{
    return QPoint(visible.x() + visible.width() - size.width() - 40, visible.y() + 40);
}

PinWindow::Opening PinWindow::initialFrame(const QSizeF &base, const QRect &visible)
{
    Opening o;
    if (base.width() > 0 && base.height() > 0 && !visible.isEmpty())
        o.scale = std::min(
            {1.0, visible.width() * 0.8 / base.width(), visible.height() * 0.8 / base.height()});
    const QSize size = (base * o.scale).toSize().expandedTo(QSize(1, 1));
    const QPoint wanted = placement(size, visible);
    // On a frame too small for the 40-point margin the pin still lies inside it, top-left first.
    const int x =
        std::max(visible.left(), std::min(wanted.x(), visible.right() + 1 - size.width()));
    const int y =
        std::max(visible.top(), std::min(wanted.y(), visible.bottom() + 1 - size.height()));
    o.frame = QRect(QPoint(x, y), size);
    return o;
}

void PinWindow::zoomBy(double deltaY)
{
    m_scale = std::max(std::min(m_scale + deltaY * 0.002, maxScale), m_minScale);
    const QSize size = (m_baseSize * m_scale).toSize().expandedTo(QSize(1, 1));
    // The bottom-left corner stays where it is.
    const QRect old = geometry();
    setGeometry(QRect(QPoint(old.left(), old.bottom() + 1 - size.height()), size));
    update();
}

void PinWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), m_image);
}

void PinWindow::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        m_dragOffset = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void PinWindow::mouseMoveEvent(QMouseEvent *e)
{
    if (e->buttons() & Qt::LeftButton)
        move(e->globalPosition().toPoint() - m_dragOffset);
}

void PinWindow::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        close();
}

void PinWindow::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape)
        close();
    // Every other key is swallowed.
}

void PinWindow::wheelEvent(QWheelEvent *e)
{
    const double delta = !e->pixelDelta().isNull() ? e->pixelDelta().y()
                                                   : e->angleDelta().y() / 120.0 * pointsPerNotch;
    zoomBy(delta);
}

void PinWindow::closeEvent(QCloseEvent *e)
{
    emit closing();
    QWidget::closeEvent(e);
}

} // namespace vistrel
