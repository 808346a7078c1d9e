#include "output/PinWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace vistrel {

namespace {
QList<PinWindow *> g_pins;
}

const QList<PinWindow *> &PinWindow::pins()
{
    return g_pins;
}

PinWindow *PinWindow::pin(const QImage &image, QScreen *screen)
{
    auto *window = new PinWindow(image, screen);
    g_pins.append(window);
    window->show();
    window->raise();
    return window;
}

PinWindow::PinWindow(const QImage &image, QScreen *screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_image(image)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    m_baseSize = QSizeF(image.size()) / ratio;
    setWindowTitle(QStringLiteral("Vistrel Pin"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::ClickFocus);
    const QSize size = m_baseSize.toSize().expandedTo(QSize(1, 1));
    resize(size);
    if (screen) {
        setScreen(screen);
        move(placement(size, screen->availableGeometry()));
    }
}

PinWindow::~PinWindow()
{
    g_pins.removeAll(this);
}

QPoint PinWindow::placement(const QSize &size, const QRect &visible)
{
    return QPoint(visible.x() + visible.width() - size.width() - 40, visible.y() + 40);
}

void PinWindow::zoomBy(double deltaY)
{
    m_scale = std::max(std::min(m_scale + deltaY * 0.002, maxScale), minScale);
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
    g_pins.removeAll(this);
    QWidget::closeEvent(e);
}

} // namespace vistrel
