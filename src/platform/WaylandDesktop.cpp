#include "platform/WaylandDesktop.h"

#include "platform/DesktopShortcuts.h"
#include "platform/PortalClient.h"
#include "platform/QtDesktop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <cmath>
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
        QCoreApplication::translate(
            "WaylandDesktop",
            "Window capture needs to know where windows are, which a Wayland desktop "
            "does not tell apps. Use Capture Area instead."),
        QCoreApplication::translate(
            "WaylandDesktop",
            "Scrolling capture needs to scroll another app's window, which a Wayland "
            "desktop does not let apps do. Capture each part as an area and put them "
            "on one board with Add instead.")};
}

// --- screen source ---------------------------------------------------------------------------

WaylandScreenSource::WaylandScreenSource(PortalClient &portal) : m_portal(portal) {}

Result<ScreenLayout> WaylandScreenSource::screenLayout()
{
    // A new capture begins: it gets a picture of its own, and the displays are measured
    // against it, since the toolkit's geometry is not in the same units on every compositor.
    m_desktop.reset();
    const QList<DisplayInfo> displays = toolkitDisplays();
    if (displays.isEmpty())
        return CaptureError::noDisplay();
    const auto picture = desktopPicture();
    if (!picture)
        return picture.error();
    ScreenLayout layout;
    layout.displays = fitToPicture(displays, picture->size());
    m_displays = layout.displays;
    return layout;
}

quint32 WaylandScreenSource::primaryDisplayId() const
{
    return toolkitMainDisplayID();
}

QList<ScreenInfo> WaylandScreenSource::screens() const
{
    // Pixels per point as the last capture's picture had them, not as the toolkit rounds them.
    QList<ScreenInfo> out = toolkitScreens();
    for (ScreenInfo &s : out)
        for (const DisplayInfo &d : m_displays)
            if (d.displayID == s.displayID)
                s.scale = d.scale;
    return out;
}

qint64 WaylandScreenSource::ownPid() const
{
    return qint64(::getpid());
}

Result<QImage> WaylandScreenSource::desktopPicture()
{
    if (m_desktop)
        return *m_desktop;
    bool asked = false;
    auto picture = portalPicture(&asked);
    if (asked) {
        // Our notice may be in a picture taken the moment the user answered: another one,
        // now that the desktop answers without asking.
        emit askingUser(false);
        if (picture)
            picture = portalPicture(nullptr);
    }
    if (!picture)
        return picture.error();
    // Every display of this capture is cut from the same picture; it goes when control
    // returns to the event loop.
    m_desktop = picture.value();
    QTimer::singleShot(0, this, [this] { m_desktop.reset(); });
    return *m_desktop;
}

Result<QImage> WaylandScreenSource::portalPicture(bool *asked)
{
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
    // An answer that takes this long means the desktop is asking the user first.
    QTimer slow;
    slow.setSingleShot(true);
    QObject::connect(&slow, &QTimer::timeout, this, [this, asked] {
        if (!asked)
            return;
        *asked = true;
        emit askingUser(true);
    });
    slow.start(1500);
    if (!wait->answer)
        wait->loop.exec(QEventLoop::ExcludeUserInputEvents);
    slow.stop();
    aside.reset();
    if (!wait->answer)
        return CaptureError::cancelled(); // the application is quitting
    return std::move(*wait->answer);
}

QList<DisplayInfo> WaylandScreenSource::fitToPicture(QList<DisplayInfo> displays, QSize pictureSize)
{
    QRectF all;
    for (const DisplayInfo &d : std::as_const(displays))
        all = all.united(d.frame);
    if (all.isEmpty() || pictureSize.isEmpty())
        return displays;
    // Picture pixels per unit of the toolkit's geometry.
    const double ratio = pictureSize.width() / all.width();
    for (DisplayInfo &d : displays) {
        const QPointF place = (d.frame.topLeft() - all.topLeft()) * ratio;
        d.pixelOrigin = QPoint(int(std::lround(place.x())), int(std::lround(place.y())));
        if (d.scale > 1.0 && std::abs(ratio - 1.0) < 0.01) {
            // A compositor that lays screens out in device pixels (mutter without fractional
            // scaling): the geometry is the device size, and windows get a scale-th of it.
            d.frame.setSize(d.frame.size() / d.scale);
        } else {
            // A fractional scale the toolkit rounds up: the picture says what a point is.
            d.scale = ratio;
        }
    }
    return displays;
}

Result<QImage> WaylandScreenSource::cutDisplay(const QImage &desktop, const DisplayInfo &display,
                                               const QRect &pixelRect)
{
    const QSize size = (display.frame.size() * display.scale).toSize();
    const QRect area = QRect(display.pixelOrigin, size).intersected(desktop.rect());
    if (area.isEmpty())
        return CaptureError::failed(QCoreApplication::translate(
            "WaylandDesktop", "The desktop's screenshot does not show this display."));
    QImage shot = area == desktop.rect() ? desktop : desktop.copy(area);
    if (pixelRect != shot.rect())
        shot = shot.copy(pixelRect);
    if (shot.isNull())
        return CaptureError::outOfMemory();
    return shot;
}

Result<QImage> WaylandScreenSource::grabDisplayPixels(const DisplayInfo &display,
                                                      const QRect &pixelRect)
{
    const auto desktop = desktopPicture();
    if (!desktop)
        return desktop.error();
    // Measured against this capture's picture, whatever the caller kept of the display.
    for (const DisplayInfo &fitted : std::as_const(m_displays))
        if (fitted.displayID == display.displayID)
            return cutDisplay(*desktop, fitted, pixelRect);
    return cutDisplay(*desktop, fitToPicture({display}, desktop->size()).first(), pixelRect);
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

QString shiftedSymbolName(int qtKey, const QString &layout, const QString &variant)
{
    // Digits and letters only: their keysyms are their characters.
    if (!((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)))
        return {};
    const xkb_keysym_t plain = xkb_keysym_t(QChar(qtKey).toLower().unicode());
    const QByteArray layoutName = layout.toLatin1(), variantName = variant.toLatin1();
    xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return {};
    const xkb_rule_names names{nullptr, nullptr,
                               layoutName.isEmpty() ? nullptr : layoutName.constData(),
                               variantName.isEmpty() ? nullptr : variantName.constData(), nullptr};
    xkb_keymap *keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    QString name;
    for (xkb_keycode_t key = keymap ? xkb_keymap_min_keycode(keymap) : 1;
         keymap && key <= xkb_keymap_max_keycode(keymap) && name.isEmpty(); ++key) {
        const xkb_keysym_t *syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &syms) != 1 || syms[0] != plain)
            continue;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 1, &syms) == 1) {
            char text[64];
            if (xkb_keysym_get_name(syms[0], text, sizeof text) > 0)
                name = QString::fromLatin1(text);
        }
    }
    if (keymap)
        xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return name;
}

namespace {

// KDE Plasma matches a shortcut by the symbol the keys make: Ctrl+Shift+2 is Ctrl+@ on a US
// keyboard, Ctrl+" on a German one. The user's first layout is in its keyboard settings.
QString kdeTrigger(QKeyCombination combination)
{
    if (!(combination.keyboardModifiers() & Qt::ShiftModifier))
        return PortalClient::triggerFor(combination);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QSettings keyboard(config + QStringLiteral("/kxkbrc"), QSettings::IniFormat);
    const QString layout = keyboard.value(QStringLiteral("Layout/LayoutList"))
                               .toString()
                               .section(QLatin1Char(','), 0, 0);
    const QString variant = keyboard.value(QStringLiteral("Layout/VariantList"))
                                .toString()
                                .section(QLatin1Char(','), 0, 0);
    const QString symbol = shiftedSymbolName(
        int(combination.key()), layout.isEmpty() ? QStringLiteral("us") : layout, variant);
    if (symbol.isEmpty())
        return PortalClient::triggerFor(combination);
    const QString rest = PortalClient::triggerFor(
        QKeyCombination(combination.keyboardModifiers() & ~Qt::ShiftModifier, Qt::Key_A));
    return rest.left(rest.size() - 1) + symbol; // "CTRL+a" → "CTRL+at"
}

} // namespace

WaylandHotkeys::WaylandHotkeys(PortalClient &portal,
                               std::function<void(const QString &why)> onUnavailable)
    : m_portal(portal), m_onUnavailable(std::move(onUnavailable))
{
    connect(&m_portal, &PortalClient::shortcutActivated, this, [this](const QString &id) {
        bool ok = false;
        const quint32 n = id.section(QLatin1Char('-'), -1).toUInt(&ok);
        if (ok && m_wanted.contains(n))
            emit pressed(n);
    });
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
    if (!*m_available)
        return unavailable(QCoreApplication::translate(
            "WaylandDesktop", "The desktop offers no global shortcuts to apps."));
    const bool kde = DesktopShortcuts::desktopFrom(qEnvironmentVariable("XDG_CURRENT_DESKTOP")) ==
                     DesktopShortcuts::Desktop::Kde;
    QList<PortalClient::Shortcut> shortcuts;
    QStringList asked;
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it) {
        shortcuts.append({QStringLiteral("vistrel-hotkey-%1").arg(it.key()),
                          m_descriptions.value(it.key(), QStringLiteral("Vistrel")),
                          kde ? kdeTrigger(it.value()) : PortalClient::triggerFor(it.value())});
        asked.append(shortcuts.last().id);
    }
    QPointer<WaylandHotkeys> self(this);
    m_portal.bindShortcuts(shortcuts, [self, asked](Result<QStringList> bound) {
        if (!self)
            return;
        if (!bound) {
            if (bound.error().kind() != CaptureError::Kind::Cancelled)
                self->unavailable(bound.error().errorDescription());
            return;
        }
        // A desktop may answer success and bind nothing (one that does not know the app).
        const QString why = missingShortcuts(asked, *bound);
        if (!why.isEmpty())
            self->unavailable(why);
    });
}

QString WaylandHotkeys::missingShortcuts(const QStringList &asked, const QStringList &bound)
{
    int missing = 0;
    for (const QString &id : asked)
        missing += bound.contains(id) ? 0 : 1;
    if (missing == 0)
        return {};
    return QCoreApplication::translate("WaylandDesktop",
                                       "The desktop accepted Vistrel's shortcuts but bound "
                                       "%1 of %2 of them.")
        .arg(asked.size() - missing)
        .arg(asked.size());
}

void WaylandHotkeys::unavailable(const QString &why)
{
    if (auto tell = std::exchange(m_onUnavailable, nullptr))
        tell(why);
}

} // namespace vistrel
