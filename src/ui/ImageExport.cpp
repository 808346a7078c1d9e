#include "ui/ImageExport.h"

#include "engines/ImageFiles.h"
#include "engines/QuickSave.h"
#include "platform/Desktop.h"
#include "platform/PictureFile.h"
#include "ui/Notifier.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace vistrel {

namespace {

void rememberGoodFolder(const Platform &platform, const QString &file)
{
    if (platform.saveChooser)
        platform.saveChooser->lastGoodFolder = QFileInfo(file).absolutePath();
}

struct SaveOutcome
{
    bool ok = false;
    QString error;
};

// Encoding a busy screen takes long enough to stall other programs' pastes: it runs on a
// worker, and the toast (or the error) follows on the GUI thread.
void writeInBackground(const Platform &platform, const QImage &image, const QString &path,
                       std::function<void()> retry, const EditableScene &editable = {})
{
    auto work = [image, path, editable] {
        SaveOutcome o;
        o.ok = ImageFiles::saveImage(image, path, &o.error, editable);
        return o;
    };
    auto *watcher = new QFutureWatcher<SaveOutcome>(QCoreApplication::instance());
    QObject::connect(
        watcher, &QFutureWatcher<SaveOutcome>::finished, watcher, [watcher, platform, path, retry] {
            const SaveOutcome outcome = watcher->result();
            watcher->deleteLater();
            if (outcome.ok) {
                rememberGoodFolder(platform, path);
                platform.toasts->show(QCoreApplication::translate("ImageExport", "Saved"));
                return;
            }
            const QFileInfo file(path);
            // The picture is still here: the panel comes back, and the error comes up after it,
            // above it, so it is read before the next try.
            retry();
            Notifier::error(
                platform.alerts,
                QCoreApplication::translate("ImageExport", "Could not save “%1” in %2: %3.")
                    .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()),
                         outcome.error));
        });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

// Where a dialog for `folder` opens: the nearest folder that still exists (the one named may be
// what was missing), but never one on a kernel's file system (a save into /proc fails there),
// where the dialog would list files that block whoever reads them; the home folder then.
QString existingFolder(const QString &folder)
{
    QString at = QFileInfo(folder).absoluteFilePath();
    while (!QFileInfo(at).isDir() && !QDir(at).isRoot())
        at = QFileInfo(at).absolutePath();
    return onKernelFileSystem(at) ? QDir::homePath() : at;
}

// The panel again, with the name given there, so a retry is one change away: in the last
// folder a save went to, else near the failed one.
SaveRequest retryRequest(const Platform &platform, const QString &failedPath,
                         const QStringList &nameFilters)
{
    const QFileInfo file(failedPath);
    SaveRequest request;
    request.suggestedName = file.fileName();
    const QString good = platform.saveChooser ? platform.saveChooser->lastGoodFolder : QString();
    const bool lastGood = !good.isEmpty() && QFileInfo(good).isDir();
    request.folder = existingFolder(lastGood ? good : file.absolutePath());
    request.nameFilters = nameFilters;
    return request;
}

using Type = ExportFormat::Type;

// Named in the user's language; the patterns in them give the extension.
QString filterOf(Type type)
{
    return QCoreApplication::translate("ImageExport", ImageFiles::exportFormat(type).filter);
}
// Every type, `first` leading.
QStringList typeFilters(Type first)
{
    QStringList filters{filterOf(first)};
    for (const ExportFormat &format : ImageFiles::exportFormats())
        if (format.type != first)
            filters.append(filterOf(format.type));
    return filters;
}
QString extensionOf(Type type)
{
    return ImageFiles::exportFormat(type).extensions.first();
}
QString editableFilter()
{
    return QCoreApplication::translate("ImageExport", "Editable PNG image (*.png)");
}

// The dialog of `ImageExport::save`, first or again after a failed write.
void chooseAndWrite(const Platform &platform, const QImage &image, const SaveRequest &request,
                    bool preferPdf, std::function<void(bool)> done,
                    const EditableScene &editable = {})
{
    platform.saveChooser->choose(request, [platform, image, preferPdf,
                                           filters = request.nameFilters, done = std::move(done),
                                           editable](const QString &chosen) {
        if (chosen.isEmpty()) {
            if (done)
                done(false);
            return;
        }
        QString path =
            ImageFiles::completedPath(chosen, extensionOf(preferPdf ? Type::Pdf : Type::Png));
        // Only a PNG carries the work.
        const ExportFormat *format = ImageFiles::exportFormatFor(path);
        if (editable && (!format || format->type != Type::Png))
            path += QLatin1Char('.') + extensionOf(Type::Png);
        writeInBackground(
            platform, image, path,
            [platform, image, path, filters, preferPdf, editable] {
                chooseAndWrite(platform, image, retryRequest(platform, path, filters), preferPdf,
                               {}, editable);
            },
            editable);
        if (done)
            done(true);
    });
}

void chooseOneTypePanel(const Platform &platform, const QImage &image, bool asPDF,
                        const SaveRequest &request)
{
    platform.saveChooser->choose(request, [platform, image, asPDF,
                                           filters = request.nameFilters](const QString &chosen) {
        if (chosen.isEmpty())
            return;
        // This panel writes one type: a name for another gets this one's extension too.
        const QString ext = extensionOf(asPDF ? Type::Pdf : Type::Png);
        const QString path =
            QFileInfo(chosen).suffix().toLower() == ext ? chosen : chosen + QLatin1Char('.') + ext;
        writeInBackground(platform, image, path, [platform, image, asPDF, path, filters] {
            chooseOneTypePanel(platform, image, asPDF, retryRequest(platform, path, filters));
        });
    });
}

} // namespace

void ImageExport::save(const Platform &platform, const QImage &image, const SaveSettings &settings,
                       std::function<void(bool)> done)
{
    const Type type = settings.preferPdf ? Type::Pdf : Type::Png;
    const QString extension = extensionOf(type);
    const QStringList filters =
        settings.editable ? QStringList{editableFilter()} : typeFilters(type);
    const QString base = settings.suggestedBase.value_or(ImageFiles::defaultBaseName());
    if (!settings.withoutAsking) {
        SaveRequest request;
        request.suggestedName = base + QLatin1Char('.') + extension;
        if (!settings.folder.isEmpty())
            request.folder = existingFolder(settings.folder);
        request.nameFilters = filters;
        chooseAndWrite(platform, image, request, settings.preferPdf, std::move(done),
                       settings.editable);
        return;
    }
    const QString folder = settings.folder;
    const EditableScene editable = settings.editable;
    QuickSave::saveInBackground(
        image, folder, QCoreApplication::instance(),
        [platform, image, folder, base, extension, filters, preferPdf = settings.preferPdf,
         editable](Result<QString> saved) {
            if (saved) {
                rememberGoodFolder(platform, *saved);
                platform.toasts->show(QCoreApplication::translate("ImageExport", "Saved"));
                return;
            }
            // The picture is not lost: the dialog opens where it should have gone, and the
            // error, above it, says why it did not.
            const QString failed = QDir(folder.isEmpty() ? QDir::homePath() : folder)
                                       .filePath(base + QLatin1Char('.') + extension);
            chooseAndWrite(platform, image, retryRequest(platform, failed, filters), preferPdf, {},
                           editable);
            Notifier::error(platform.alerts, saved.error());
        },
        settings.suggestedBase.value_or(QString()), extension, editable);
    if (done)
        done(true);
}

void ImageExport::saveInBackground(const Platform &platform, const QImage &image,
                                   const QString &path)
{
    writeInBackground(platform, image, path, [platform, image, path] {
        chooseAndWrite(platform, image, retryRequest(platform, path, typeFilters(Type::Png)), false,
                       {});
    });
}

void ImageExport::savePanel(const Platform &platform, const QImage &image,
                            std::function<void()> completion)
{
    SaveRequest request;
    request.suggestedName = ImageFiles::defaultBaseName() + QStringLiteral(".png");
    request.nameFilters = typeFilters(Type::Png);
    chooseAndWrite(platform, image, request, false, [completion = std::move(completion)](bool) {
        if (completion)
            completion();
    });
}

void ImageExport::savePanel(const Platform &platform, const QImage &image, bool asPDF,
                            std::optional<QString> name)
{
    SaveRequest request;
    request.suggestedName = name.value_or(ImageFiles::defaultBaseName()) + QLatin1Char('.') +
                            extensionOf(asPDF ? Type::Pdf : Type::Png);
    request.nameFilters = {filterOf(asPDF ? Type::Pdf : Type::Png)};
    chooseOneTypePanel(platform, image, asPDF, request);
}

} // namespace vistrel
