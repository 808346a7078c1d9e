#include "engines/QuickSave.h"

#include "engines/ImageFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QPointer>
#include <QTemporaryFile>
#include <QtConcurrent>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

// The process's file-creation mask, read without changing it (umask() can only be read by
// setting it, which races with files made on other threads meanwhile).
mode_t currentUmask()
{
    // Files under /proc report no size: read to the end rather than up to it.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask & 0777);
            }
        }
    }
    return 022;
}

} // namespace

Result<QString> QuickSave::saveInFolder(const QImage &image, const QString &folder,
                                        const QDateTime &when, const QString &baseName,
                                        const QString &extension, const EditableScene &editable)
{
    if (folder.isEmpty())
        return CaptureError::failed(
            QCoreApplication::translate("QuickSave", "No save folder is set."));
    if (!QDir().mkpath(folder))
        return CaptureError::failed(
            QCoreApplication::translate("QuickSave", "Could not create the folder %1.")
                .arg(folder));
    const QString ext = extension.isEmpty() ? QStringLiteral("png") : extension.toLower();
    const QByteArray bytes =
        ImageFiles::encodeForPath(image, QStringLiteral("picture.") + ext, editable);
    if (bytes.isEmpty())
        return CaptureError::failed(
            QCoreApplication::translate("QuickSave", "Could not encode the picture."));

    const QDir dir(folder);
    QTemporaryFile temp(dir.filePath(QStringLiteral(".vistrel-XXXXXX.") + ext));
    // The temporary file is made private (0600); the picture gets what any new file of the
    // user's gets, as a save through the dialog does.
    if (!temp.open() || temp.write(bytes) != bytes.size() || !temp.flush() ||
        ::fchmod(temp.handle(), 0666 & ~currentUmask()) != 0 || ::fsync(temp.handle()) != 0)
        return CaptureError::failed(
            QCoreApplication::translate("QuickSave", "Could not write into %1: %2")
                .arg(folder, temp.errorString()));
    // A given name stays in this folder and visible: no separators, no leading dot.
    QString base = baseName.trimmed();
    base.replace(QLatin1Char('/'), QLatin1Char('-'));
    while (base.startsWith(QLatin1Char('.')))
        base.remove(0, 1);
    if (base.isEmpty())
        base = ImageFiles::defaultBaseName(when);
    // A hard link gives the finished file its name in one step, and fails rather than
    // replacing a file of that name.
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1
                                 ? QStringLiteral("%1.%2").arg(base, ext)
                                 : QStringLiteral("%1 (%2).%3").arg(base, QString::number(n), ext);
        const QString path = dir.filePath(name);
        const QByteArray from = QFile::encodeName(temp.fileName());
        const QByteArray to = QFile::encodeName(path);
        if (::link(from.constData(), to.constData()) == 0)
            return path;
        // Some file systems have no hard links; a rename that refuses to replace does the same.
        if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
            if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(),
                            RENAME_NOREPLACE) == 0) {
                temp.setAutoRemove(false);
                return path;
            }
        }
        if (errno != EEXIST)
            return CaptureError::failed(
                QCoreApplication::translate("QuickSave", "Could not save %1: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    return CaptureError::failed(
        QCoreApplication::translate("QuickSave", "Too many pictures named %1 in %2.")
            .arg(base, folder));
}

void QuickSave::saveInBackground(const QImage &image, const QString &folder, QObject *context,
                                 std::function<void(Result<QString>)> done, const QString &baseName,
                                 const QString &extension, const EditableScene &editable)
{
    const QDateTime when = QDateTime::currentDateTime();
    // The worker hands back plain strings: a path, or the reason it could not save.
    using Outcome = std::pair<QString, QString>;
    auto *watcher = new QFutureWatcher<Outcome>(context);
    QObject::connect(watcher, &QFutureWatcher<Outcome>::finished, context,
                     [watcher, done = std::move(done)] {
                         const Outcome outcome = watcher->result();
                         watcher->deleteLater();
                         if (outcome.second.isEmpty())
                             done(outcome.first);
                         else
                             done(CaptureError::failed(outcome.second));
                     });
    watcher->setFuture(QtConcurrent::run([image, folder, when, baseName, extension, editable] {
        const auto saved = saveInFolder(image, folder, when, baseName, extension, editable);
        return saved ? Outcome{*saved, {}} : Outcome{{}, saved.error().errorDescription()};
    }));
}

} // namespace vistrel
