#include "ui/Notifier.h"

#include "platform/Desktop.h"

#include <QCoreApplication>
#include <QTimer>

namespace vistrel {

namespace {
Alerts *g_alerts = nullptr;
}

void Notifier::install(Alerts *alerts)
{
    g_alerts = alerts;
}

void Notifier::error(const CaptureError &error)
{
    if (error.kind() == CaptureError::Kind::Cancelled)
        return; // the user said no: they know
    Notifier::error(error.errorDescription());
}

void Notifier::error(const QString &description)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [description] {
            if (g_alerts)
                g_alerts->warn(QStringLiteral("Vistrel"), description);
        },
        Qt::QueuedConnection);
}

} // namespace vistrel
