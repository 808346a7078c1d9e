#include "ui/RecognizedText.h"

#include "platform/Desktop.h"
#include "ui/Notifier.h"

#include <QCoreApplication>

namespace vistrel {

void RecognizedText::deliver(const Result<QString> &text, const Platform &platform,
                             const QString &copiedFormat)
{
    if (!text) {
        // A missing model or a failed engine, not an empty picture.
        Notifier::error(platform.alerts, text.error());
        return;
    }
    if (text->trimmed().isEmpty()) {
        platform.toasts->show(QCoreApplication::translate("RecognizedText", "No text found"));
        return;
    }
    platform.clipboard->setText(*text);
    platform.toasts->show(copiedFormat.arg(text->toUcs4().size())); // characters, not UTF-16 units
}

} // namespace vistrel
