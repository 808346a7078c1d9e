#pragma once

#include "capture/CaptureService.h"
#include "capture/SelectionOverlay.h"

#include <QPointer>

namespace vistrel {

class SelectionView;

// One overlay window per screen that shows a display; the first outcome from any of them
// closes them all and is reported once.
class SelectionOverlayController : public SelectionOverlay
{
    Q_OBJECT
public:
    SelectionOverlayController(const OverlayRequest &request, Completion onComplete,
                               ScreenSource &screens);
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
    QList<QPointer<SelectionView>> m_windows;
};

} // namespace vistrel
