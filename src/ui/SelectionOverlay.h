#pragma once

#include "engines/CaptureService.h"
#include "model/SelectionTypes.h"

#include <QColor>
#include <QHash>
#include <QObject>

#include <functional>
#include <optional>

namespace vistrel {

// What an overlay is asked to show.
struct OverlayRequest
{
    ScreenLayout layout;
    bool windowPicking = false;
    std::optional<SelectionAction> immediateAction;
    DisplayImageMap displayImages;
    // A colour pick instead of a selection: a click reports the frozen pixel's colour.
    bool pickColor = false;
    // The toolbar offers Record (where the desktop lets Vistrel record).
    bool offersRecording = false;
};

// A full-screen selection on every display. It calls its completion exactly once.
class SelectionOverlay : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(std::optional<SelectionOutcome>)>;
    virtual void present() = 0;

signals:
    // A colour pick's answer, at most once and before the completion: the colour, or nothing
    // when the user gave up. Said while the overlay still has the keyboard.
    void colorPicked(std::optional<QColor> colour);
};

using OverlayFactory =
    std::function<SelectionOverlay *(const OverlayRequest &, SelectionOverlay::Completion)>;

} // namespace vistrel
