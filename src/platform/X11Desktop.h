#pragma once

#include "platform/Desktop.h"
#include "platform/KeyRepeatFilter.h"
#include "platform/PixelFormat.h"
#include "platform/QtDesktop.h"

#include <QAbstractNativeEventFilter>
#include <QHash>

#include <memory>

struct xcb_connection_t;
class QWindow;

namespace vistrel {

struct ShmSpare;

// The desktop of an X server, reached through the toolkit's own XCB connection.
class X11ScreenSource : public ScreenSource
{
public:
    X11ScreenSource();

    bool isAvailable() const { return m_conn != nullptr; }
    // A grab of the whole root window: can this process read the screen at all? (It also
    // warms the shared memory the first capture grabs into.)
    bool canReadScreen();

    Result<ScreenLayout> screenLayout() override;
    quint32 primaryDisplayId() const override;
    QList<ScreenInfo> screens() const override;
    qint64 ownPid() const override;
    Result<QImage> grabDisplayPixels(const DisplayInfo &display, const QRect &pixelRect) override;
    Result<QImage> grabWindowPixels(const WindowInfo &window, const QSize &pixelSize) override;

    static quint32 displayIDFor(const QScreen *screen);
    // A window's frame in device pixels of the whole desktop.
    static QRect devicePixelFrame(const QWindow *window);

private:
    Result<QImage> grabRoot(QRect rootRect);
    void readServerLayout();

    xcb_connection_t *m_conn = nullptr;
    quint32 m_root = 0;
    // Interned once: every capture reads these properties.
    quint32 m_stackingAtom = 0, m_extentsAtom = 0, m_pidAtom = 0;
    PixelLayout m_layout;
    int m_depth = 24;
    int m_scanlinePad = 32;
    bool m_hasShm = false;
    std::shared_ptr<ShmSpare> m_shmSpare;
};

class X11Hotkeys : public GlobalHotkeys, public QAbstractNativeEventFilter
{
public:
    X11Hotkeys();
    ~X11Hotkeys() override;

    bool grab(quint32 id, int digit) override;
    bool grabCombination(quint32 id, QKeyCombination combination) override;
    void ungrab(quint32 id) override;
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // Key position of a digit on the main block, by its XKB name (AE01…AE09): the same on
    // every layout. Servers without XKB use the usual evdev numbering.
    quint8 keycodeForDigit(int digit);

    // The X keysym of a key Qt names; none for keys a hot key cannot use.
    static std::optional<quint32> keysymFor(Qt::Key key);

private:
    quint16 numLockMask() const;
    bool grabKey(quint32 id, quint8 keycode, quint16 modifiers);
    static quint32 grabKeyOf(quint8 keycode, quint16 modifiers)
    {
        return quint32(keycode) << 16 | modifiers;
    }

    xcb_connection_t *m_conn = nullptr;
    quint32 m_root = 0;
    std::optional<quint16> m_numLockMask;          // looked up once, on the first grab
    std::optional<QHash<int, quint8>> m_digitKeys; // digit -> keycode, read once
    QHash<quint32, quint32> m_idByGrab;            // grabKeyOf(keycode, modifiers) -> id
    KeyRepeatFilter m_repeats;
};

} // namespace vistrel
