#pragma once

#include "platform/Result.h"

#include <QCoreApplication>
#include <QString>

namespace vistrel {

struct Platform;

class RecognizedText
{
public:
    // What the user is told of a finished recognition, the same from every place that reads
    // text: text goes to the platform's clipboard with the toast `copiedFormat` ("%1": its
    // characters); "No text found" only when the picture had none; a failure is an alert naming
    // its cause.
    static void deliver(const Result<QString> &text, const Platform &platform,
                        const QString &copiedFormat =
                            QCoreApplication::translate("RecognizedText", "Copied %1 chars"));
};

} // namespace vistrel
