#pragma once

#include "engines/CaptureService.h"
#include "platform/Memory.h"
#include "ui/SelectionOverlay.h"
#include "ui/SelectionView.h"

#include <QPointer>

#include <memory>

class QScreen;
class QTimer;

namespace vistrel {

// Overlay windows kept from one capture to the next, hidden rather than destroyed: making a
// full-screen window and the first touch of its backing store cost several frames, while a
// kept one paints at once. Their backing stores (a screenful of pixels each) are kept while
// captures follow one another and go after `keepWarmFor` without a capture; the windows
// themselves, which hold next to nothing then, stay. A window whose screen went away is
// dropped.
class OverlayWindowPool : public QObject
{
    Q_OBJECT
public:
    explicit OverlayWindowPool(int keepMs = keepWarmFor);
    ~OverlayWindowPool() override;

    // A window on `screen` that no capture uses, made ready for this one (made when none is).
    SelectionView *take(QScreen *screen, SelectionModel::Setup setup, const QImage &picture,
                        double scale, SelectionView::Purpose purpose);
    // Hidden, without the capture's picture, and kept for the next capture.
    void giveBack(SelectionView *view);
    // Makes the windows of `screens` ahead of the first capture, once the app is up: the
    // window, and the one-time costs of a first paint, are then off the hot key's path. They
    // are made without backing stores, so they cost next to no memory until used.
    void prepare(const QList<QScreen *> &screens);
    int size() const { return int(m_entries.size()); }

private:
    struct Entry
    {
        QPointer<QScreen> screen;
        QPointer<SelectionView> view;
        bool inUse = false;
    };
    void drop(QScreen *screen);
    void releaseBackingStores();

    QList<Entry> m_entries;
    QTimer *m_expiry;
};

// One overlay window per screen that shows a display; the first outcome from any of them
// closes them all and is reported once. Without a pool of its own it keeps its windows
// to itself.
class SelectionOverlayController : public SelectionOverlay
{
    Q_OBJECT
public:
    SelectionOverlayController(const OverlayRequest &request, Completion onComplete,
                               ScreenSource &screens, OverlayWindowPool *windows = nullptr);
    ~SelectionOverlayController() override;

    void present() override;
    const QList<QPointer<SelectionView>> &windows() const { return m_windows; }

private:
    void finish(std::optional<SelectionOutcome> outcome);
    void finishPick(std::optional<QColor> colour);
    void closeAll();
    void key(int key);
    void grabKeyboardWhenMapped(QPointer<SelectionView> view, int triesLeft);

    OverlayRequest m_request;
    Completion m_onComplete;
    ScreenSource &m_screens;
    bool m_colorReported = false;
    std::unique_ptr<OverlayWindowPool> m_ownPool;
    QPointer<OverlayWindowPool> m_pool;
    QList<QPointer<SelectionView>> m_windows;
};

} // namespace vistrel
