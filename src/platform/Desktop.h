#pragma once

#include "platform/Result.h"

#include <QColor>
#include <QImage>
#include <QKeyCombination>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QMimeData;
class QScreen;
class QWidget;

namespace vistrel {

class Keyring;
class ScreenRecorder;

// One capturable display. `frame` is in global points, origin at the primary display's
// top-left, y down. `pixelOrigin` is where the display's top-left lies in device pixels.
struct DisplayInfo
{
    quint32 displayID = 0;
    QRectF frame;
    qreal scale = 1.0;
    QPoint pixelOrigin;

    qreal width() const { return frame.width(); }
    qreal height() const { return frame.height(); }
};

// One top-level window. `frame` includes the decorations, in global points, y down.
struct WindowInfo
{
    quint32 windowID = 0;
    QRectF frame;
    bool onScreen = true;
    std::optional<qint64> ownerPid;
    QRect pixelFrame; // the same frame in device pixels of the whole desktop
};

struct ScreenLayout
{
    QList<DisplayInfo> displays;
    QList<WindowInfo> windows; // front-most first
};

// A screen as the toolkit knows it right now (the counterpart of a display in a `ScreenLayout`).
struct ScreenInfo
{
    quint32 displayID = 0;
    qreal scale = 1.0;
    QScreen *screen = nullptr; // null on the fake desktop
};

// A window property: windows that have it stay on screen while the desktop is grabbed (the
// overlays, which hold the keyboard).
inline constexpr char keepInGrabsProperty[] = "vistrelKeepInGrabs";

// Pictures of the desktop. Rectangles are in device pixels relative to the display's
// top-left; the pointer is never part of a picture.
class ScreenSource
{
public:
    virtual ~ScreenSource() = default;

    virtual Result<ScreenLayout> screenLayout() = 0;
    virtual quint32 primaryDisplayId() const = 0;
    virtual QList<ScreenInfo> screens() const = 0;
    virtual qint64 ownPid() const = 0;

    virtual Result<QImage> grabDisplayPixels(const DisplayInfo &display,
                                             const QRect &pixelRect) = 0;
    // The window's frame as it shows on screen, at the given size in pixels.
    virtual Result<QImage> grabWindowPixels(const WindowInfo &window, const QSize &pixelSize) = 0;
};

// System-wide key combinations: Control+Shift with a digit key of the main block, found by
// the key's position so every keyboard layout gives the same keys.
class GlobalHotkeys : public QObject
{
    Q_OBJECT
public:
    virtual ~GlobalHotkeys() = default;
    // False when the combination cannot be had (another client holds it).
    virtual bool grab(quint32 id, int digit) = 0;
    // Any combination of Control, Shift, Alt and Super with one key, for keys the user chose.
    // Control+Shift with a digit keeps the digit's key position (`grab`); other keys are
    // found by the symbol they give on the current layout.
    virtual bool grabCombination(quint32 id, QKeyCombination combination)
    {
        const int key = int(combination.key());
        if (combination.keyboardModifiers() == (Qt::ControlModifier | Qt::ShiftModifier) &&
            key >= Qt::Key_1 && key <= Qt::Key_9)
            return grab(id, key - Qt::Key_0);
        return false;
    }
    // Gives up whatever is grabbed for `id`.
    virtual void ungrab(quint32 id) = 0;

signals:
    void pressed(quint32 id);
};

class Clipboard
{
public:
    virtual ~Clipboard() = default;
    // Replaces the whole clipboard; formats keep the order in which they were set.
    virtual void setContents(const QList<std::pair<QString, QByteArray>> &formats) = 0;
    virtual void setText(const QString &text) = 0;
    // Whether what we set is still the clipboard's: a Wayland desktop may refuse it to an
    // app without the keyboard, and says so only afterwards.
    virtual bool holdsOwnContents() const { return true; }
};

struct SaveRequest
{
    QString suggestedName;
    QString folder;          // where the panel opens; the home folder when empty
    QStringList nameFilters; // e.g. "PNG image (*.png)"
};

class SaveChooser
{
public:
    virtual ~SaveChooser() = default;
    // Asks for a file name without blocking; `done` gets the chosen path, or empty on cancel.
    virtual void choose(const SaveRequest &request, std::function<void(QString path)> done) = 0;

    // Where the last save landed: a failed save's dialog comes back there, a folder known to
    // take pictures. Empty until one did.
    QString lastGoodFolder;
};

// A question with a few answers, each a button.
struct Question
{
    QString title;
    QString message;
    QStringList choices;
    int defaultChoice = 0;
    int cancelChoice = -1; // what closing the question without a button means
};

class Alerts
{
public:
    virtual ~Alerts() = default;
    // A warning with one "OK" button; the same warning is never up twice at once.
    virtual void warn(const QString &title, const QString &message) = 0;
    // Asks without blocking; `done` gets the index of the choice, exactly once.
    virtual void ask(const Question &question, std::function<void(int choice)> done) = 0;
};

// Short messages near the bottom of the main screen, one at a time: each replaces the last.
class Toasts
{
public:
    virtual ~Toasts() = default;
    // Goes by itself after a moment.
    virtual void show(const QString &text) = 0;
    // Stays until the next one replaces it (work in progress); a click on it runs `onClick`,
    // which is how such work is cancelled.
    virtual void showUntilReplaced(const QString &text, std::function<void()> onClick) = 0;
    // Takes the toast on screen down at once.
    virtual void dismiss() {}
};

// Pictures pinned above every other window.
class Pins
{
public:
    virtual ~Pins() = default;
    // Opens a pin of `image` on `screen` (the main screen when null).
    virtual void pin(const QImage &image, QScreen *screen) = 0;
};

// Synthetic pointer input for auto-scroll. Points are global device pixels.
class PointerInjector
{
public:
    virtual ~PointerInjector() = default;
    virtual void movePointer(QPoint globalPixel) = 0;
    // Turns the wheel `notches` steps down (the content under the point moves up) with the
    // pointer at `globalPixel`; false when the events could not be sent.
    virtual bool scrollDown(QPoint globalPixel, int notches) = 0;
    // Where the pointer is now (global pixels), when that can be known.
    virtual std::optional<QPoint> pointerPosition() const { return std::nullopt; }
};

// Escape pressed in any application, for as long as it is watched.
class EscapeWatch
{
public:
    virtual ~EscapeWatch() = default;
    // False when Escape cannot be had (another client holds it).
    virtual bool start(std::function<void()> onEscape) = 0;
    virtual void stop() = 0;
};

// The desktop's own colour picker, where the desktop has one apps should use.
class ColorPicker
{
public:
    virtual ~ColorPicker() = default;
    // `done` gets the colour; a Cancelled error when the user gave up, another error when the
    // desktop could not pick at all.
    virtual void pick(std::function<void(Result<QColor>)> done) = 0;
};

// The window manager's part in small tool windows and in who has the keyboard. Where the
// desktop keeps these to itself (a Wayland compositor) they do nothing.
class WindowManager
{
public:
    virtual ~WindowManager() = default;
    // Shown on every desktop, above other windows, left out of task bars and pagers. Call
    // before every show: window managers drop these states when a window is hidden.
    virtual void keepOnEveryDesktop(QWidget *window) = 0;
    // The window that has the keyboard now, or 0 when that cannot be known.
    virtual quint32 activeWindow() const = 0;
    // Gives the keyboard back to `window`, as a pager would.
    virtual void activate(quint32 window) = 0;
    // The process that owns a top-level window, or -1.
    virtual qint64 windowPid(quint32 window) const = 0;
};

// What a session does not let Vistrel do, each with the reason the user is told; empty means
// the feature works.
struct SessionLimits
{
    QString windowCapture;
    QString scrollCapture;
};

// Everything the application takes from the desktop, and what it shows of its own outside any
// one window, in one place. Each service outlives the windows and the work handed it.
struct Platform
{
    ScreenSource *screens = nullptr;
    GlobalHotkeys *hotkeys = nullptr;
    Clipboard *clipboard = nullptr;
    SaveChooser *saveChooser = nullptr;
    Alerts *alerts = nullptr;
    PointerInjector *pointer = nullptr;
    EscapeWatch *escape = nullptr;
    SessionLimits limits;
    ColorPicker *colorPicker = nullptr; // none: Vistrel's loupe over a frozen picture
    Toasts *toasts = nullptr;
    Pins *pins = nullptr;
    Keyring *keyring = nullptr;         // none: secrets are kept in files only the user can read
    WindowManager *windows = nullptr;   // none: the toolkit's own placement and focus
    ScreenRecorder *recorder = nullptr; // none: recording is not available here
};

} // namespace vistrel
