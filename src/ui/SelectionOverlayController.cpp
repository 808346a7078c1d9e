#include "ui/SelectionOverlayController.h"

#include "platform/Memory.h"
#include "platform/QtDesktop.h"
#include "ui/SelectionView.h"

#include <QBackingStore>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace vistrel {

// --- kept windows ----------------------------------------------------------------------------

OverlayWindowPool::OverlayWindowPool(int keepMs) : m_expiry(new QTimer(this))
{
    m_expiry->setSingleShot(true);
    m_expiry->setInterval(keepMs);
    connect(m_expiry, &QTimer::timeout, this, &OverlayWindowPool::releaseBackingStores);
    if (qApp)
        connect(qApp, &QGuiApplication::screenRemoved, this, &OverlayWindowPool::drop);
}

OverlayWindowPool::~OverlayWindowPool()
{
    for (const Entry &e : std::as_const(m_entries))
        delete e.view.data();
}

SelectionView *OverlayWindowPool::take(QScreen *screen, SelectionModel::Setup setup,
                                       const QImage &picture, double scale,
                                       SelectionView::Purpose purpose)
{
    drop(nullptr);
    m_expiry->stop();
    for (Entry &e : m_entries)
        if (!e.inUse && e.screen == screen) {
            e.inUse = true;
            e.view->reset(std::move(setup), picture, scale, purpose);
            return e.view;
        }
    auto *view = new SelectionView(std::move(setup), picture, scale, purpose);
    m_entries.append({screen, view, true});
    return view;
}

void OverlayWindowPool::giveBack(SelectionView *view)
{
    view->releaseKeyboard();
    view->hide();
    view->release();
    for (Entry &e : m_entries)
        if (e.view == view)
            e.inUse = false;
    drop(nullptr);
    if (std::none_of(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return e.inUse; }))
        m_expiry->start();
}

void OverlayWindowPool::prepare(const QList<QScreen *> &screens)
{
    for (QScreen *screen : screens) {
        if (std::any_of(m_entries.cbegin(), m_entries.cend(),
                        [screen](const Entry &e) { return e.screen == screen; }))
            continue;
        auto *view = new SelectionView(SelectionModel::Setup{}, QImage(), 1.0);
        view->setScreen(screen);
        view->setGeometry(screen->geometry());
        view->winId(); // made, never mapped: no backing store yet
        view->paintOnce();
        m_entries.append({screen, view, false});
    }
}

void OverlayWindowPool::releaseBackingStores()
{
    // A hidden window's backing store is a screenful of shared memory; at the next show it is
    // made anew at the window's size, and the window itself stays.
    for (const Entry &e : std::as_const(m_entries))
        if (!e.inUse && e.view && e.view->backingStore())
            e.view->backingStore()->resize(QSize(1, 1));
    handBackIdleMemory();
}

void OverlayWindowPool::drop(QScreen *screen)
{
    // Windows of `screen`, or with none, of screens already gone; one still up is dropped
    // when it is given back.
    for (qsizetype i = m_entries.size() - 1; i >= 0; --i) {
        Entry &e = m_entries[i];
        const bool gone = !e.view || (screen ? e.screen == screen : e.screen.isNull());
        if (!gone || (e.view && e.inUse))
            continue;
        if (e.view)
            e.view->deleteLater();
        m_entries.removeAt(i);
    }
}

// --- one capture's overlay -------------------------------------------------------------------

SelectionOverlayController::SelectionOverlayController(const OverlayRequest &request,
                                                       Completion onComplete, ScreenSource &screens,
                                                       OverlayWindowPool *windows)
    : m_request(request), m_onComplete(std::move(onComplete)), m_screens(screens)
{
    if (!windows) {
        m_ownPool = std::make_unique<OverlayWindowPool>();
        windows = m_ownPool.get();
    }
    m_pool = windows;
}

SelectionOverlayController::~SelectionOverlayController()
{
    closeAll();
}

void SelectionOverlayController::present()
{
    CaptureService capture(m_screens);
    for (const DisplayInfo &display : m_request.layout.displays) {
        QScreen *screen = capture.screenFor(display);
        if (!screen)
            continue; // a display no screen shows gets no window
        SelectionModel::Setup setup{display,
                                    m_request.layout.windows,
                                    m_screens.ownPid(),
                                    m_request.windowPicking,
                                    m_request.immediateAction,
                                    m_request.offersRecording};
        if (!m_pool)
            break;
        SelectionView *view =
            m_pool->take(screen, setup, m_request.displayImages.value(display.displayID),
                         capture.scaleFactor(display),
                         m_request.pickColor ? SelectionView::Purpose::PickColor
                                             : SelectionView::Purpose::Select);
        connect(view, &SelectionView::completed, this, &SelectionOverlayController::finish);
        connect(view, &SelectionView::colorPicked, this, &SelectionOverlayController::finishPick);
        connect(view, &SelectionView::keyPressed, this, &SelectionOverlayController::key);
        view->setScreen(screen);
        view->setGeometry(screen->geometry());
        view->seedPointer(QCursor::pos(screen));
        m_windows.append(view);
        showCovering(view, screen);
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
    QTimer::singleShot(20, this,
                       [this, view, triesLeft] { grabKeyboardWhenMapped(view, triesLeft - 1); });
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
    for (const auto &view : windows)
        if (view && m_pool)
            m_pool->giveBack(view);
}

void SelectionOverlayController::finish(std::optional<SelectionOutcome> outcome)
{
    // A copy is made while the overlay still has the keyboard: a Wayland desktop lets only the
    // app in front set the clipboard. Everything else comes after the overlay has gone.
    const bool copying = outcome && outcome->action == SelectionAction::Copy;
    if (!copying)
        closeAll();
    QPointer<SelectionOverlayController> self(this);
    if (auto done = std::exchange(m_onComplete, nullptr))
        done(outcome);
    if (self)
        closeAll();
}

void SelectionOverlayController::finishPick(std::optional<QColor> colour)
{
    QPointer<SelectionOverlayController> self(this);
    if (!std::exchange(m_colorReported, true))
        emit colorPicked(colour); // a copy, while the loupe still has the keyboard
    if (!self)
        return;
    closeAll();
    if (auto done = std::exchange(m_onComplete, nullptr))
        done(std::nullopt);
}

} // namespace vistrel
