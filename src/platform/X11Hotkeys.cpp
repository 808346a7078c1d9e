#include "platform/X11Desktop.h"

#include "platform/X11Connection.h"

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>
#include <xkbcommon/xkbcommon-x11.h>

namespace vistrel {

using x11::FreeDeleter;
using x11::rootOf;
using x11::toolkitConnection;
using x11::XcbReply;

// --- hot keys --------------------------------------------------------------------------------

X11Hotkeys::X11Hotkeys() : m_conn(toolkitConnection()), m_root(rootOf(m_conn))
{
    if (m_conn && qApp)
        qApp->installNativeEventFilter(this);
}

X11Hotkeys::~X11Hotkeys()
{
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

quint16 X11Hotkeys::numLockMask() const
{
    quint16 mask = 0;
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_conn);
    if (!symbols)
        return XCB_MOD_MASK_2;
    std::unique_ptr<xcb_keycode_t, FreeDeleter> numLock(
        xcb_key_symbols_get_keycode(symbols, XK_Num_Lock));
    XcbReply<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(m_conn, xcb_get_modifier_mapping(m_conn), nullptr));
    if (numLock && map) {
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map.get());
        const int perMod = map->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod)
            for (int k = 0; k < perMod; ++k)
                for (const xcb_keycode_t *c = numLock.get(); *c != XCB_NO_SYMBOL; ++c)
                    if (codes[mod * perMod + k] == *c && *c != 0)
                        mask = quint16(1 << mod);
    }
    xcb_key_symbols_free(symbols);
    return mask ? mask : quint16(XCB_MOD_MASK_2);
}

quint8 X11Hotkeys::keycodeForDigit(int digit)
{
    if (!m_digitKeys) {
        m_digitKeys.emplace();
        xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const int device =
            context && xkb_x11_setup_xkb_extension(
                           m_conn, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                           XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)
                ? xkb_x11_get_core_keyboard_device_id(m_conn)
                : -1;
        xkb_keymap *keymap = device >= 0 ? xkb_x11_keymap_new_from_device(
                                               context, m_conn, device, XKB_KEYMAP_COMPILE_NO_FLAGS)
                                         : nullptr;
        for (int d = 1; keymap && d <= 9; ++d) {
            const QByteArray name = "AE0" + QByteArray::number(d);
            const xkb_keycode_t code = xkb_keymap_key_by_name(keymap, name.constData());
            if (code != XKB_KEYCODE_INVALID && code <= 255)
                m_digitKeys->insert(d, quint8(code));
        }
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }
    return m_digitKeys->value(digit, quint8(9 + digit));
}

bool X11Hotkeys::grab(quint32 id, int digit)
{
    if (!m_conn || digit < 1 || digit > 9)
        return false;
    const quint8 keycode = keycodeForDigit(digit);
    return grabKey(id, keycode, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
}

bool X11Hotkeys::grabKey(quint32 id, quint8 keycode, quint16 base)
{
    if (!m_numLockMask)
        m_numLockMask = numLockMask();
    const quint16 numLock = *m_numLockMask;
    // The grab must hold whatever state Caps Lock and Num Lock are in.
    const quint16 locks[] = {0, XCB_MOD_MASK_LOCK, numLock, quint16(XCB_MOD_MASK_LOCK | numLock)};
    QList<quint16> held;
    for (quint16 lock : locks) {
        auto cookie = xcb_grab_key_checked(m_conn, 1, m_root, base | lock, keycode,
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t *error = xcb_request_check(m_conn, cookie)) {
            std::free(error);
            for (quint16 m : held)
                xcb_ungrab_key(m_conn, keycode, m_root, base | m);
            xcb_flush(m_conn);
            return false;
        }
        held.append(lock);
    }
    m_idByGrab.insert(grabKeyOf(keycode, base), id);
    return true;
}

std::optional<quint32> X11Hotkeys::keysymFor(Qt::Key key)
{
    const int k = int(key);
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return quint32(XK_a + (k - Qt::Key_A)); // the unshifted symbol names the key
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return quint32(XK_0 + (k - Qt::Key_0));
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        return quint32(XK_F1 + (k - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Print:
        return XK_Print;
    case Qt::Key_Pause:
        return XK_Pause;
    case Qt::Key_ScrollLock:
        return XK_Scroll_Lock;
    case Qt::Key_Insert:
        return XK_Insert;
    case Qt::Key_Delete:
        return XK_Delete;
    case Qt::Key_Home:
        return XK_Home;
    case Qt::Key_End:
        return XK_End;
    case Qt::Key_PageUp:
        return XK_Prior;
    case Qt::Key_PageDown:
        return XK_Next;
    case Qt::Key_Left:
        return XK_Left;
    case Qt::Key_Right:
        return XK_Right;
    case Qt::Key_Up:
        return XK_Up;
    case Qt::Key_Down:
        return XK_Down;
    case Qt::Key_Space:
        return XK_space;
    case Qt::Key_Minus:
        return XK_minus;
    case Qt::Key_Equal:
        return XK_equal;
    case Qt::Key_Comma:
        return XK_comma;
    case Qt::Key_Period:
        return XK_period;
    case Qt::Key_Slash:
        return XK_slash;
    case Qt::Key_Semicolon:
        return XK_semicolon;
    case Qt::Key_Apostrophe:
        return XK_apostrophe;
    case Qt::Key_BracketLeft:
        return XK_bracketleft;
    case Qt::Key_BracketRight:
        return XK_bracketright;
    case Qt::Key_Backslash:
        return XK_backslash;
    case Qt::Key_QuoteLeft:
        return XK_grave;
    default:
        return std::nullopt;
    }
}

bool X11Hotkeys::grabCombination(quint32 id, QKeyCombination combination)
{
    const auto mods = combination.keyboardModifiers();
    const int key = int(combination.key());
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key >= Qt::Key_1 && key <= Qt::Key_9)
        return grab(id, key - Qt::Key_0);
    const auto keysym = keysymFor(combination.key());
    if (!m_conn || !keysym)
        return false;
    quint16 base = 0;
    if (mods & Qt::ControlModifier)
        base |= XCB_MOD_MASK_CONTROL;
    if (mods & Qt::ShiftModifier)
        base |= XCB_MOD_MASK_SHIFT;
    if (mods & Qt::AltModifier)
        base |= XCB_MOD_MASK_1;
    if (mods & Qt::MetaModifier)
        base |= XCB_MOD_MASK_4;
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_conn);
    if (!symbols)
        return false;
    std::unique_ptr<xcb_keycode_t, FreeDeleter> codes(
        xcb_key_symbols_get_keycode(symbols, *keysym));
    xcb_key_symbols_free(symbols);
    if (!codes || codes.get()[0] == XCB_NO_SYMBOL)
        return false;
    return grabKey(id, codes.get()[0], base);
}

void X11Hotkeys::ungrab(quint32 id)
{
    if (!m_numLockMask)
        return; // nothing was ever grabbed
    const quint16 numLock = *m_numLockMask;
    const quint16 locks[] = {0, XCB_MOD_MASK_LOCK, numLock, quint16(XCB_MOD_MASK_LOCK | numLock)};
    for (auto it = m_idByGrab.begin(); it != m_idByGrab.end();) {
        if (it.value() != id) {
            ++it;
            continue;
        }
        const auto keycode = xcb_keycode_t(it.key() >> 16);
        const auto base = quint16(it.key() & 0xffff);
        for (quint16 lock : locks)
            xcb_ungrab_key(m_conn, keycode, m_root, base | lock);
        it = m_idByGrab.erase(it);
    }
    xcb_flush(m_conn);
}

bool X11Hotkeys::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type == XCB_KEY_RELEASE) {
        auto *key = reinterpret_cast<xcb_key_release_event_t *>(event);
        m_repeats.release(key->detail, key->time);
        return false;
    }
    if (type != XCB_KEY_PRESS)
        return false;
    auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
    const quint16 mods =
        key->state & (XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | XCB_MOD_MASK_4);
    auto it = m_idByGrab.constFind(grabKeyOf(key->detail, mods));
    if (it == m_idByGrab.constEnd())
        return false;
    if (!m_repeats.press(key->detail, key->time))
        return true; // a held combination starts one capture, not one per repeat
    emit pressed(it.value());
    return true;
}

} // namespace vistrel
