#include "platform/Result.h"

namespace vistrel {

QString CaptureError::errorDescription() const
{
    switch (m_kind) {
    case Kind::Failed:
        return m_text;
    case Kind::NoDisplay:
        return QStringLiteral("No display found to capture.");
    case Kind::NoPermission:
        return QStringLiteral("Screen Recording permission is required. Grant it in System "
                              "Settings → Privacy & Security → Screen Recording, then relaunch "
                              "Vistrel.");
    }
    return m_text;
}

} // namespace vistrel
