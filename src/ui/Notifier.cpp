#include "ui/Notifier.h"

#include "platform/Desktop.h"

#include <QCoreApplication>
#include <QTimer>

namespace vistrel {

void Notifier::error(Alerts *alerts, const CaptureError &error)
{
    if (error.kind() == CaptureError::Kind::Cancelled)
        return; // the user said no: they know
    Notifier::error(alerts, error.errorDescription());
}

void Notifier::error(Alerts *alerts, const QString &description)
{
    if (!alerts)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alerts, description] { alerts->warn(QStringLiteral("Vistrel"), description); },
        Qt::QueuedConnection);
}

} // namespace vistrel
