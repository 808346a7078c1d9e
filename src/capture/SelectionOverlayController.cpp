#include "capture/SelectionOverlayController.h"

#include "capture/SelectionView.h"

#include <QCursor>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace vistrel {

SelectionOverlayController::SelectionOverlayController(const OverlayRequest &request,
                                                       Completion onComplete, ScreenSource &screens)
    : m_request(request), m_onComplete(std::move(onComplete)), m_screens(screens)
{
}

SelectionOverlayController::~SelectionOverlayController()
{
    closeAll();
}

void SelectionOverlayController::present()
{
    CaptureService capture(m_screens);
    QPointer<SelectionOverlayController> self(this);
    for (const DisplayInfo &display : m_request.content.displays) {
        QScreen *screen = capture.screenFor(display);
        if (!screen)
            continue; // a display no screen shows gets no window
        SelectionModel::Setup setup{display, m_request.content.windows, m_screens.ownPid(),
                                    m_request.windowPicking, m_request.immediateAction};
        auto *view = new SelectionView(setup, m_request.displayImages.value(display.displayID),
                                       capture.scaleFactor(display),
                                       m_request.pickColor ? SelectionView::Purpose::PickColor
                                                           : SelectionView::Purpose::Select);
        view->onComplete = [self](std::optional<SelectionOutcome> outcome) {
            if (self)
                self->finish(outcome);
        };
        view->onColorPicked = [self](std::optional<QColor> colour) {
            if (self)
                self->finishPick(colour);
        };
        view->onKey = [self](int k) {
            if (self)
                self->key(k);
        };
        view->setScreen(screen);
        view->setGeometry(screen->geometry());
        view->seedPointer(QCursor::pos(screen));
        m_windows.append(view);
        view->show();
        view->raise();
    }
    if (m_windows.isEmpty()) {
        finish(std::nullopt);
        return;
    }
    // The first window takes the keyboard, so Escape always reaches the overlay.
    SelectionView *first = m_windows.first();
    first->activateWindow();
    first->setFocus();
    first->grabKeyboard();
    grabKeyboardWhenMapped(first, 25);
}

void SelectionOverlayController::grabKeyboardWhenMapped(QPointer<SelectionView> view, int triesLeft)
{
    // The X server refuses a grab until the window is on screen, which is shortly after show().
    if (!view || !view->isVisible() || !view->windowHandle())
        return;
    if (view->windowHandle()->setKeyboardGrabEnabled(true) || triesLeft <= 0)
        return;
    QTimer::singleShot(20, this, [this, view, triesLeft] { grabKeyboardWhenMapped(view, triesLeft - 1); });
}

void SelectionOverlayController::key(int k)
{
    if (k == Qt::Key_Escape) {
        if (m_request.pickColor)
            finishPick(std::nullopt);
        else
            finish(std::nullopt);
        return;
    }
    // Return presses Edit on the screen whose selection has its toolbar up.
    for (const auto &view : m_windows)
        if (view && view->hasToolbar()) {
            view->toolbarAction(int(SelectionAction::Edit));
            return;
        }
}

void SelectionOverlayController::closeAll()
{
    const auto windows = m_windows;
    m_windows.clear();
    for (const auto &view : windows) {
        if (!view)
            continue;
        view->onComplete = nullptr;
        view->onColorPicked = nullptr;
        view->onKey = nullptr;
        view->releaseKeyboard();
        view->hide();
        view->deleteLater();
    }
}

void SelectionOverlayController::finish(std::optional<SelectionOutcome> outcome)
{
    closeAll();
    if (auto done = std::exchange(m_onComplete, nullptr))
        done(outcome);
}

void SelectionOverlayController::finishPick(std::optional<QColor> colour)
{
    closeAll();
    if (auto picked = std::exchange(m_request.onColorPicked, nullptr))
        picked(colour);
    if (auto done = std::exchange(m_onComplete, nullptr))
        done(std::nullopt);
}

} // namespace vistrel
