#include "platform/WaylandDesktop.h"

#include "platform/PortalClient.h"
#include "platform/QtDesktop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace vistrel {

SessionType sessionTypeFrom(const QString &xdgSessionType, const QString &waylandDisplay)
{
    // A compositor's socket means we are its client, even where the login says "tty" (a
    // compositor started by hand) or XWayland also set DISPLAY; only an explicit X11 login
    // with a stray socket (a nested compositor) stays on X11.
    if (waylandDisplay.isEmpty())
        return SessionType::X11;
    return xdgSessionType.trimmed().compare(QLatin1String("x11"), Qt::CaseInsensitive) == 0
               ? SessionType::X11
               : SessionType::Wayland;
}

SessionLimits waylandLimits()
{
    return SessionLimits{
        QCoreApplication::translate("WaylandDesktop", "Window capture needs to know where windows are, which a Wayland desktop "
                       "does not tell apps. Use Capture Area instead."),
        QCoreApplication::translate("WaylandDesktop", "Scrolling capture needs to scroll another app's window, which a Wayland "
                       "desktop does not let apps do. Capture each part as an area and put them "
                       "on one board with Add instead.")};
}

// --- screen source ---------------------------------------------------------------------------

WaylandScreenSource::WaylandScreenSource(PortalClient &portal) : m_portal(portal) {}

Result<ScreenLayout> WaylandScreenSource::screenLayout()
{
    // A new capture begins: it gets a picture of its own.
    m_desktop.reset();
    ScreenLayout content;
    content.displays = toolkitDisplays();
    m_displays = content.displays;
    if (content.displays.isEmpty())
        return CaptureError::noDisplay();
    return content;
}

quint32 WaylandScreenSource::primaryDisplayId() const
{
    return toolkitMainDisplayID();
}

QList<ScreenInfo> WaylandScreenSource::screens() const
{
    return toolkitScreens();
}

qint64 WaylandScreenSource::ownPid() const
{
    return qint64(::getpid());
}

Result<QImage> WaylandScreenSource::desktopPicture()
{
    if (m_desktop)
        return *m_desktop;
    // Shared with the callback: it may come after this function has given up waiting (the
    // application quitting ends every event loop).
    struct Wait
    {
        std::optional<Result<QImage>> answer;
        QEventLoop loop;
    };
    auto wait = std::make_shared<Wait>();
    // The compositor's picture shows our own windows too: they step aside for it, as on X11.
    std::optional<OwnWindowsAside> aside(std::in_place);
    if (aside->any()) {
        QTimer::singleShot(60, &wait->loop, &QEventLoop::quit); // a frame without them
        wait->loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    m_portal.screenshot([weak = std::weak_ptr<Wait>(wait)](Result<QImage> picture) {
        if (auto w = weak.lock()) {
            w->answer = std::move(picture);
            w->loop.quit();
        }
    });
    if (!wait->answer)
        wait->loop.exec(QEventLoop::ExcludeUserInputEvents);
    aside.reset();
    if (!wait->answer)
        return CaptureError::cancelled(); // the application is quitting
    if (!*wait->answer)
        return wait->answer->error();
    // Every display of this capture is cut from the same picture; it goes when control
    // returns to the event loop.
    m_desktop = wait->answer->value();
    QTimer::singleShot(0, this, [this] { m_desktop.reset(); });
    return *m_desktop;
}

QRect WaylandScreenSource::displayRectIn(const QList<DisplayInfo> &displays, const DisplayInfo &display,
                                         QSize pictureSize)
{
    QRectF all;
    for (const DisplayInfo &d : displays)
        all = all.united(d.frame);
    if (all.isEmpty())
        all = display.frame;
    if (all.isEmpty() || pictureSize.isEmpty())
        return {};
    const double sx = pictureSize.width() / all.width();
    const double sy = pictureSize.height() / all.height();
    const QRectF r((display.frame.x() - all.x()) * sx, (display.frame.y() - all.y()) * sy,
                   display.frame.width() * sx, display.frame.height() * sy);
    return QRect(QPoint(int(std::lround(r.left())), int(std::lround(r.top()))),
                 QPoint(int(std::lround(r.right())) - 1, int(std::lround(r.bottom())) - 1))
        .intersected(QRect(QPoint(0, 0), pictureSize));
}

Result<QImage> WaylandScreenSource::cutDisplay(const QImage &desktop, const QList<DisplayInfo> &displays,
                                               const DisplayInfo &display, const QRect &pixelRect)
{
    const QRect area = displayRectIn(displays, display, desktop.size());
    if (area.isEmpty())
        return CaptureError::failed(QCoreApplication::translate("WaylandDesktop", "The desktop's screenshot does not show this display."));
    const QSize wanted = (display.frame.size() * display.scale).toSize();
    QImage shot = area == desktop.rect() ? desktop : desktop.copy(area);
    if (shot.size() != wanted) // a portal that answers in logical pixels on a scaled display
        shot = shot.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (pixelRect != shot.rect())
        shot = shot.copy(pixelRect);
    if (shot.isNull())
        return CaptureError::outOfMemory();
    return shot;
}

Result<QImage> WaylandScreenSource::grabDisplayPixels(const DisplayInfo &display, const QRect &pixelRect,
                                                      const QList<WindowInfo> &)
{
    const auto desktop = desktopPicture();
    if (!desktop)
        return desktop.error();
    return cutDisplay(*desktop, m_displays.isEmpty() ? QList<DisplayInfo>{display} : m_displays,
                      display, pixelRect);
}

Result<QImage> WaylandScreenSource::grabWindowPixels(const WindowInfo &, const QSize &)
{
    return CaptureError::failed(waylandLimits().windowCapture);
}

void PortalColorPicker::pick(std::function<void(Result<QColor>)> done)
{
    m_portal.pickColor(std::move(done));
}

// --- hot keys --------------------------------------------------------------------------------

WaylandHotkeys::WaylandHotkeys(PortalClient &portal, std::function<void()> onUnavailable)
    : m_portal(portal), m_onUnavailable(std::move(onUnavailable))
{
    m_portal.onShortcutActivated = [this](const QString &id) {
        bool ok = false;
        const quint32 n = id.section(QLatin1Char('-'), -1).toUInt(&ok);
        if (ok && m_wanted.contains(n) && onPressed)
            onPressed(n);
    };
}

bool WaylandHotkeys::grab(quint32 id, int digit)
{
    return grabCombination(id, Qt::CTRL | Qt::SHIFT | Qt::Key(Qt::Key_0 + digit));
}

bool WaylandHotkeys::grabCombination(quint32 id, QKeyCombination combination)
{
    m_wanted.insert(id, combination);
    bindSoon();
    return true;
}

void WaylandHotkeys::ungrab(quint32 id)
{
    if (m_wanted.remove(id))
        bindSoon();
}

void WaylandHotkeys::bindSoon()
{
    if (m_bindPending)
        return;
    m_bindPending = true;
    QTimer::singleShot(0, this, [this] {
        m_bindPending = false;
        bind();
    });
}

void WaylandHotkeys::bind()
{
    if (!m_available) {
        m_portal.checkGlobalShortcuts([this](bool available) {
            m_available = available;
            bind();
        });
        return;
    }
    if (!*m_available) {
        if (auto tell = std::exchange(m_onUnavailable, nullptr))
            tell();
        return;
    }
    QList<PortalClient::Shortcut> shortcuts;
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it)
        shortcuts.append({QStringLiteral("vistrel-hotkey-%1").arg(it.key()),
                          m_descriptions.value(it.key(), QStringLiteral("Vistrel")),
                          PortalClient::triggerFor(it.value())});
    m_portal.bindShortcuts(shortcuts, [](Result<QStringList> bound) {
        if (!bound && bound.error().kind() != CaptureError::Kind::Cancelled)
            std::fprintf(stderr, "vistrel: %s\n", qPrintable(bound.error().errorDescription()));
    });
}

} // namespace vistrel
