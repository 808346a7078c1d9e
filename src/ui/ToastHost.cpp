#include "ui/ToastHost.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QtMath>

namespace vistrel {

namespace {

QFont toastFont()
{
    QFont f = QGuiApplication::font();
    f.setPixelSize(15);
    f.setWeight(QFont::Medium);
    return f;
}

} // namespace

Toast::Toast(const QString &text, std::function<void()> onClick)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus |
                           (onClick ? Qt::WindowFlags() : Qt::WindowTransparentForInput)),
      m_text(text), m_onClick(std::move(onClick))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents, !m_onClick);
    if (m_onClick)
        setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(text); // lets tools and tests find a toast by what it says
    setFont(toastFont());
    const QFontMetrics fm(font());
    // Rounded up: a width rounded down is a fraction short, and the text would be elided.
    const QSize textSize(qCeil(QFontMetricsF(font()).horizontalAdvance(text)), fm.height());
    QRect visible(0, 0, 1440, 900);
    if (QScreen *s = QGuiApplication::primaryScreen())
        visible = s->availableGeometry();
    setGeometry(placement(textSize, visible));
    // Without a compositor a translucent window shows black corners; the shape keeps them
    // out whichever way the desktop draws.
    QBitmap shape(size());
    shape.fill(Qt::color0);
    QPainter p(&shape);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::color1);
    p.drawRoundedRect(QRectF(rect()), 12, 12);
    p.end();
    setMask(shape);
}

QRect Toast::placement(const QSize &textSize, const QRect &visible)
{
    const int widest = qMax(120, visible.width() - 2 * 24);
    const QSize panel(qMin(textSize.width() + 44, widest), textSize.height() + 22);
    const int x = visible.x() + visible.width() / 2 - panel.width() / 2;
    // The panel's bottom edge sits 15 % of the visible height above the visible bottom.
    const int bottom = visible.y() + visible.height() - qRound(visible.height() * 0.15);
    return QRect(QPoint(x, bottom - panel.height()), panel);
}

void Toast::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()), 12, 12);
    p.fillPath(panel, QColor(28, 28, 30, 215));
    p.setPen(Qt::white);
    const QRect textRect = rect().adjusted(22, 11, -22, -11);
    p.drawText(textRect, Qt::AlignCenter,
               fontMetrics().elidedText(m_text, Qt::ElideMiddle, textRect.width()));
}

void Toast::mousePressEvent(QMouseEvent *event)
{
    if (!m_onClick)
        return QWidget::mousePressEvent(event);
    const auto onClick = std::move(m_onClick);
    m_onClick = {};
    hide();
    onClick();
}

ToastHost::~ToastHost()
{
    delete m_current.data();
}

Toast *ToastHost::replaceCurrent(Toast *toast)
{
    if (m_current) {
        m_current->hide(); // replaced at once, no fade
        m_current->deleteLater();
    }
    m_current = toast;
    return toast;
}

void ToastHost::showUntilReplaced(const QString &text, std::function<void()> onClick)
{
    replaceCurrent(new Toast(text, std::move(onClick)))->show();
}

void ToastHost::show(const QString &text)
{
    Toast *toast = replaceCurrent(new Toast(text));
    // A Wayland compositor takes no window opacity from apps: there the toast just comes and goes.
    const bool fades = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (fades)
        toast->setWindowOpacity(0.0);
    toast->show();

    if (fades) {
        auto *fadeIn = new QPropertyAnimation(toast, "windowOpacity", toast);
        fadeIn->setDuration(Toast::fadeInMs);
        fadeIn->setEndValue(1.0);
        fadeIn->start(QAbstractAnimation::DeleteWhenStopped);
    }

    QPointer<Toast> guard(toast);
    QPointer<ToastHost> host(this);
    QTimer::singleShot(Toast::holdMs, toast, [host, guard, fades] {
        if (!host || !guard || host->m_current != guard)
            return;
        auto end = [host, guard] {
            if (host && host->m_current == guard)
                host->m_current = nullptr;
            guard->close();
        };
        if (!fades)
            return end();
        auto *fadeOut = new QPropertyAnimation(guard, "windowOpacity", guard);
        fadeOut->setDuration(Toast::fadeOutMs);
        fadeOut->setEndValue(0.0);
        QObject::connect(fadeOut, &QPropertyAnimation::finished, guard, end);
        fadeOut->start(QAbstractAnimation::DeleteWhenStopped);
    });
}

} // namespace vistrel
