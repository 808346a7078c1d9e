#pragma once

#include "platform/Result.h"

#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>

class QObject;

namespace vistrel {

// Saving without a dialog: a PNG under the default timestamp name in a chosen folder.
class QuickSave
{
public:
    // Writes completely under a free name (" (2)", " (3)"… when the name is taken) or not at
    // all; a file already there is never replaced, even one that appears while writing.
    // Returns the path written.
    static Result<QString> saveInFolder(const QImage &image, const QString &folder,
                                        const QDateTime &when = QDateTime::currentDateTime());

    // The same on a worker; `done` runs on `context`'s thread with the outcome.
    static void saveInBackground(const QImage &image, const QString &folder, QObject *context,
                                 std::function<void(Result<QString>)> done);
};

} // namespace vistrel
