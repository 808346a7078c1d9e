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
    case Kind::OutOfMemory:
        return QCoreApplication::translate("CaptureError",
                                           "Not enough memory to capture this screen");
    case Kind::Cancelled:
        return QString();
    }
    return m_text;
}

} // namespace vistrel
