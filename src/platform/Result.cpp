#include "platform/Result.h"

#include <QCoreApplication>

namespace vistrel {

QString CaptureError::errorDescription() const
{
    switch (m_kind) {
    case Kind::Failed:
        return m_text;
    case Kind::NoDisplay:
        return QCoreApplication::translate("CaptureError", "No display found to capture.");
    case Kind::NoPermission:
        return QCoreApplication::translate(
            "CaptureError", "The X server does not let Vistrel read the screen. Vistrel needs "
                            "an X11 session (or XWayland) whose server hands out the root "
                            "window's pixels.");
    case Kind::OutOfMemory:
        return QCoreApplication::translate("CaptureError",
                                           "Not enough memory to capture this screen");
    case Kind::Cancelled:
        return QString();
    }
    return m_text;
}

} // namespace vistrel
