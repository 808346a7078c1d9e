#pragma once

#include "platform/Desktop.h"

#include <QMap>

namespace vistrel {

// A desktop made of pictures, for tests: displays and windows you give it, failures on demand,
// and a record of everything written to the clipboard or asked of the user.
class FakeDesktop : public GlobalHotkeys,
                    public ScreenSource,
                    public Clipboard,
                    public SaveChooser,
                    public Alerts,
                    public PointerInjector,
                    public EscapeWatch,
                    public Toasts,
                    public Pins,
                    public WindowManager
{
public:
    struct Display
    {
        DisplayInfo info;
        QImage picture; // the whole display in pixels
        bool failGrab = false;
        bool outOfMemory = false; // the picture cannot be allocated
    };

    FakeDesktop();

    Platform platform();

    // Builders
    DisplayInfo addDisplay(quint32 id, const QRectF &frame, qreal scale, QColor fill = Qt::gray,
                           bool listedInScreens = true);
    WindowInfo addWindow(quint32 id, const QRectF &frame, std::optional<qint64> pid);
    Display *display(quint32 id);

    // Failures on demand
    bool failContent = false;
    QString contentError = QStringLiteral("content unavailable");
    QList<int> takenDigits;        // combinations another client holds
    std::optional<quint32> mainID; // the toolkit's main display
    qint64 pid = 4242;
    // The toolkit screen every fake display is shown on (offscreen tests have one).
    QScreen *screen = nullptr;

    // Records
    int contentFetches = 0;
    QMap<quint32, int> grabbed;                  // hot-key id -> digit
    QMap<quint32, QKeyCombination> combinations; // hot-key id -> combination it holds
    QList<QKeyCombination> takenCombinations;    // held by another client
    QList<std::pair<QString, QByteArray>> clipboardFormats;
    QString clipboardText;
    int clipboardWrites = 0;
    QList<std::pair<QString, QString>> warnings;
    QList<SaveRequest> saveRequests;
    QString saveAnswer;   // empty: the user cancels
    SessionLimits limits; // what the session refuses, as a Wayland one does

    // ScreenSource
    Result<ScreenLayout> screenLayout() override;
    quint32 primaryDisplayId() const override;
    QList<ScreenInfo> screens() const override;
    qint64 ownPid() const override { return pid; }
    Result<QImage> grabDisplayPixels(const DisplayInfo &display, const QRect &pixelRect) override;
    Result<QImage> grabWindowPixels(const WindowInfo &window, const QSize &pixelSize) override;

    // GlobalHotkeys
    bool grab(quint32 id, int digit) override;
    bool grabCombination(quint32 id, QKeyCombination combination) override;
    void ungrab(quint32 id) override;
    // Delivers a press of a combination to whichever id holds it.
    void pressCombination(QKeyCombination combination)
    {
        for (auto it = combinations.cbegin(); it != combinations.cend(); ++it)
            if (it.value() == combination)
                return press(it.key());
    }
    void press(quint32 id) { emit pressed(id); }

    // Clipboard
    void setContents(const QList<std::pair<QString, QByteArray>> &formats) override;
    void setText(const QString &text) override;

    // SaveChooser
    void choose(const SaveRequest &request, std::function<void(QString)> done) override;

    // Alerts: questions are answered with `answer` at once when it is set, otherwise later
    // through `pendingAnswer`.
    void warn(const QString &title, const QString &message) override;
    QList<Question> questions;
    std::optional<int> answer;
    std::function<void(int)> pendingAnswer;
    void ask(const Question &question, std::function<void(int)> done) override
    {
        questions.append(question);
        if (answer)
            done(*answer);
        else
            pendingAnswer = std::move(done);
    }

    // PointerInjector: moves and wheel turns are recorded; `onScrollDown` lets a test move
    // the content it shows.
    QList<QPoint> pointerMoves;
    QList<std::pair<QPoint, int>> wheelTurns;
    std::function<void(int notches)> onScrollDown;
    void movePointer(QPoint globalPixel) override
    {
        pointerMoves.append(globalPixel);
        pointerAt = globalPixel;
    }
    bool scrollDown(QPoint globalPixel, int notches) override;
    std::optional<QPoint> pointerPosition() const override { return pointerAt; }
    std::optional<QPoint> pointerAt; // where the user's pointer is

    // EscapeWatch
    bool escapeTaken = false; // another client holds Escape
    std::function<void()> escapeHandler;
    bool start(std::function<void()> onEscape) override;
    void stop() override { escapeHandler = nullptr; }
    void pressEscapeAnywhere()
    {
        if (escapeHandler)
            escapeHandler();
    }

    // Toasts: every text shown, in order (tests that click one use the real toasts).
    QStringList toastTexts;
    void show(const QString &text) override { toastTexts.append(text); }
    void showUntilReplaced(const QString &text, std::function<void()>) override
    {
        toastTexts.append(text);
    }

    // Pins: each picture pinned, with the screen it was asked for.
    QList<std::pair<QImage, QScreen *>> pinned;
    void pin(const QImage &image, QScreen *screen) override { pinned.append({image, screen}); }

    // WindowManager: the window with the keyboard is whichever `activeId` names; the windows
    // given the keyboard back and the panels kept on every desktop are recorded.
    quint32 activeId = 0;
    QMap<quint32, qint64> windowPids;
    QList<quint32> activated;
    QList<QWidget *> keptOnEveryDesktop;
    void keepOnEveryDesktop(QWidget *window) override { keptOnEveryDesktop.append(window); }
    quint32 activeWindow() const override { return activeId; }
    void activate(quint32 window) override { activated.append(window); }
    qint64 windowPid(quint32 window) const override { return windowPids.value(window, -1); }

private:
    QList<Display> m_displays;
    QList<quint32> m_unlisted;
    QList<WindowInfo> m_windows;
};

} // namespace vistrel
