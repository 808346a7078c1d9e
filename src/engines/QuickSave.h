#pragma once

#include "engines/ImageFiles.h"
#include "platform/Result.h"

#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>

class QObject;

namespace vistrel {

// Saving without a dialog: a picture under the default timestamp name (or a given one) in a
// chosen folder.
class QuickSave
{
public:
    // Writes completely under a free name (" (2)", " (3)"… when the name is taken) or not at
    // all; a file already there is never replaced, even one that appears while writing.
    // `baseName` replaces the timestamp name when given; `extension` ("png", "jpg", "pdf")
    // names the file's type. Returns the path written.
    static Result<QString> saveInFolder(const QImage &image, const QString &folder,
                                        const QDateTime &when = QDateTime::currentDateTime(),
                                        const QString &baseName = QString(),
                                        const QString &extension = QStringLiteral("png"),
                                        const EditableScene &editable = {});

    // The same on a worker; `done` runs on `context`'s thread with the outcome.
    static void saveInBackground(const QImage &image, const QString &folder, QObject *context,
                                 std::function<void(Result<QString>)> done,
                                 const QString &baseName = QString(),
                                 const QString &extension = QStringLiteral("png"),
                                 const EditableScene &editable = {});
};

} // namespace vistrel
