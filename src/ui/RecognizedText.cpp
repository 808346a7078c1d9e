#include "ui/RecognizedText.h"

#include "platform/Desktop.h"
#include "ui/Hud.h"
#include "ui/Notifier.h"

#include <QCoreApplication>

namespace vistrel {

void RecognizedText::deliver(const Result<QString> &text, Clipboard &clipboard, const QString &copiedFormat)
{
    if (!text) {
        Notifier::error(text.error()); // a missing model or a failed engine, not an empty picture
        return;
    }
    if (text->trimmed().isEmpty()) {
        Hud::show(QCoreApplication::translate("RecognizedText", "No text found"));
        return;
    }
    clipboard.setText(*text);
    Hud::show(copiedFormat.arg(text->toUcs4().size())); // characters, not UTF-16 units
}

} // namespace vistrel
