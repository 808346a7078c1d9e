#pragma once

#include "platform/Desktop.h"

#include <QMap>
#include <QObject>

#include <functional>

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
    Q_OBJECT
public:
    explicit WaylandScreenSource(PortalClient &portal);

    // Displays only: window positions are the compositor's secret.
    Result<ScreenLayout> screenLayout() override;
    quint32 primaryDisplayId() const override;
    QList<ScreenInfo> screens() const override;
    qint64 ownPid() const override;
    // Waits for the portal's picture; other events keep flowing meanwhile, but user input to
    // our windows waits.
    Result<QImage> grabDisplayPixels(const DisplayInfo &display, const QRect &pixelRect) override;
    Result<QImage> grabWindowPixels(const WindowInfo &window, const QSize &pixelSize) override;

    // The displays as a picture of the whole desktop, `pictureSize` device pixels large, shows
    // them: each one's place in it (`pixelOrigin`), the logical size its windows get, and the
    // picture's pixels per point.
    static QList<DisplayInfo> fitToPicture(QList<DisplayInfo> displays, QSize pictureSize);
    // The part of the desktop picture that shows a fitted `display`.
    static Result<QImage> cutDisplay(const QImage &desktop, const DisplayInfo &display,
                                     const QRect &pixelRect);

signals:
    // True when the desktop takes long to answer (it is probably asking the user whether
    // Vistrel may take screenshots), false once it has answered.
    void askingUser(bool asking);

private:
    Result<QImage> desktopPicture();
    Result<QImage> portalPicture(bool *asked);

    PortalClient &m_portal;
    QList<DisplayInfo> m_displays;
    std::optional<QImage> m_desktop; // the current capture's picture, until control returns
};

// The keysym name ("at") that Shift gives the key `qtKey` (Qt::Key_2) on a keyboard layout
// ("us", "de"); empty where the layout has no such key.
QString shiftedSymbolName(int qtKey, const QString &layout, const QString &variant = {});

// Global shortcuts through the portal where the desktop offers them. Where it does not, or
// binds fewer than were asked for, `onUnavailable` is called once with the reason, so the user
// can be told to bind the desktop's own keys to Vistrel's commands.
class WaylandHotkeys : public GlobalHotkeys
{
public:
    WaylandHotkeys(PortalClient &portal, std::function<void(const QString &why)> onUnavailable);

    // Shown by the desktop beside each shortcut.
    void describe(quint32 id, const QString &description)
    {
        m_descriptions.insert(id, description);
    }

    bool grab(quint32 id, int digit) override;
    // Accepted as asked: the desktop binds them (perhaps after asking the user) on the next
    // turn of the event loop, all together.
    bool grabCombination(quint32 id, QKeyCombination combination) override;
    void ungrab(quint32 id) override;

    // Empty when every shortcut asked for was bound; else what to tell the user.
    static QString missingShortcuts(const QStringList &asked, const QStringList &bound);

private:
    void bindSoon();
    void bind();
    void unavailable(const QString &why);

    PortalClient &m_portal;
    std::function<void(const QString &)> m_onUnavailable;
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
