#pragma once

#include "platform/Desktop.h"

#include <QMap>
#include <QObject>

#include <optional>

namespace vistrel {

class PortalClient;

// Which kind of desktop session Vistrel runs in.
enum class SessionType { X11, Wayland };
// From the session's XDG_SESSION_TYPE and WAYLAND_DISPLAY.
SessionType sessionTypeFrom(const QString &xdgSessionType, const QString &waylandDisplay);

// What a Wayland session does not let any app do.
SessionLimits waylandLimits();

// The desktop of a Wayland session, through the screenshot portal: apps there may not read
// the screen or learn where windows are. One picture of the whole desktop serves every display
// of a capture.
class WaylandScreenSource : public QObject, public ScreenSource
{
public:
    explicit WaylandScreenSource(PortalClient &portal);

    // Displays only: window positions are the compositor's secret.
    Result<ScreenLayout> screenLayout() override;
    quint32 primaryDisplayId() const override;
    QList<ScreenInfo> screens() const override;
    qint64 ownPid() const override;
    // Waits for the portal's picture; other events keep flowing meanwhile, but user input to
    // our windows waits.
    Result<QImage> grabDisplayPixels(const DisplayInfo &display, const QRect &pixelRect,
                                     const QList<WindowInfo> &excluding) override;
    Result<QImage> grabWindowPixels(const WindowInfo &window, const QSize &pixelSize) override;

    // Where `display` lies in a picture of all `displays` that is `pictureSize` pixels large
    // (portals answer in device or in logical pixels).
    static QRect displayRectIn(const QList<DisplayInfo> &displays, const DisplayInfo &display,
                               QSize pictureSize);
    // The part of the desktop picture that shows `display`, at the display's own pixel size.
    static Result<QImage> cutDisplay(const QImage &desktop, const QList<DisplayInfo> &displays,
                                     const DisplayInfo &display, const QRect &pixelRect);

private:
    Result<QImage> desktopPicture();

    PortalClient &m_portal;
    QList<DisplayInfo> m_displays;
    std::optional<QImage> m_desktop; // the current capture's picture, until control returns
};

// Global shortcuts through the portal where the desktop offers them. Where it does not,
// `onUnavailable` is called once, so the user can be told to bind the desktop's own keys to
// Vistrel's commands.
class WaylandHotkeys : public QObject, public GlobalHotkeys
{
public:
    WaylandHotkeys(PortalClient &portal, std::function<void()> onUnavailable);

    // Shown by the desktop beside each shortcut.
    void describe(quint32 id, const QString &description) { m_descriptions.insert(id, description); }

    bool grab(quint32 id, int digit) override;
    // Accepted as asked: the desktop binds them (perhaps after asking the user) on the next
    // turn of the event loop, all together.
    bool grabCombination(quint32 id, QKeyCombination combination) override;
    void ungrab(quint32 id) override;

private:
    void bindSoon();
    void bind();

    PortalClient &m_portal;
    std::function<void()> m_onUnavailable;
    QMap<quint32, QKeyCombination> m_wanted;
    QMap<quint32, QString> m_descriptions;
    std::optional<bool> m_available;
    bool m_bindPending = false;
};

// The desktop's colour picker: it reads the live screen without a screenshot being written.
class PortalColorPicker : public ColorPicker
{
public:
    explicit PortalColorPicker(PortalClient &portal) : m_portal(portal) {}
    void pick(std::function<void(Result<QColor>)> done) override;

private:
    PortalClient &m_portal;
};

// Neither synthetic input nor a global Escape exists for Wayland apps; both refuse.
class RefusingPointer : public PointerInjector
{
public:
    void movePointer(QPoint) override {}
    bool scrollDown(QPoint, int) override { return false; }
};

class RefusingEscapeWatch : public EscapeWatch
{
public:
    bool start(std::function<void()>) override { return false; }
    void stop() override {}
};

} // namespace vistrel
