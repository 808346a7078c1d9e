#pragma once

#include "platform/Desktop.h"

#include <variant>

namespace vistrel {

enum class SelectionAction { Edit, Copy, Save, Pin, Ocr, Scroll, Board, Record };

// An area of one display (display-local points, y down) or one window.
struct RectSelection
{
    QRectF rect;
    DisplayInfo display;
};
using SelectionResult = std::variant<RectSelection, WindowInfo>;

struct SelectionOutcome
{
    SelectionResult result;
    SelectionAction action = SelectionAction::Edit;
};

} // namespace vistrel
