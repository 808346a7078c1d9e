#include "output/ImageExport.h"

#include "output/ClipboardTools.h"
#include "output/Hud.h"
#include "platform/Desktop.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

namespace vistrel {

QString ImageExport::timestamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"));
}

QString ImageExport::defaultBaseName(const QDateTime &when)
{
    return QStringLiteral("Vistrel ") + timestamp(when);
}

bool ImageExport::isJpegPath(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    return ext == QLatin1String("jpg") || ext == QLatin1String("jpeg");
}

QByteArray ImageExport::encodeJpeg(const QImage &image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // JPEG has no alpha: transparent parts become white rather than black.
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
        QPainter p(&flat);
        p.drawImage(0, 0, image);
    }
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    if (!writer.write(flat))
        return {};
    return bytes;
}

bool ImageExport::writeAtomically(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!write(file)) {
        file.cancelWriting();
        file.commit(); // discards the temporary file
        return false;
    }
    return file.commit();
}

bool ImageExport::saveImage(const QImage &image, const QString &path)
{
    const QByteArray bytes = isJpegPath(path) ? encodeJpeg(image) : encodePng(image);
    if (bytes.isEmpty())
        return false;
    return writeAtomically(path, [&](QIODevice &out) { return out.write(bytes) == bytes.size(); });
}

namespace {

// Encoding a busy screen takes long enough to stall other programs' pastes: it runs on a
// worker, and the toast follows on the GUI thread.
void writeInBackground(std::function<bool()> work)
{
    auto *watcher = new QFutureWatcher<bool>(QCoreApplication::instance());
    QObject::connect(watcher, &QFutureWatcher<bool>::finished, watcher, [watcher] {
        if (watcher->result())
            Hud::show(QStringLiteral("Saved"));
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

} // namespace

void ImageExport::saveInBackground(const QImage &image, const QString &path)
{
    writeInBackground([image, path] { return saveImage(image, path); });
}

void ImageExport::savePanel(SaveChooser &chooser, const QImage &image, std::function<void()> completion)
{
    SaveRequest request;
    request.suggestedName = defaultBaseName() + QStringLiteral(".png");
    request.nameFilters = {QStringLiteral("PNG image (*.png)"), QStringLiteral("JPEG image (*.jpg *.jpeg)")};
    chooser.choose(request, [image, completion](const QString &path) {
        if (!path.isEmpty())
            writeInBackground([image, path] { return saveImage(image, path); });
        if (completion)
            completion();
    });
}

void ImageExport::savePanel(SaveChooser &chooser, const QImage &image, bool asPDF,
                            std::optional<QString> name)
{
    SaveRequest request;
    request.suggestedName = name.value_or(defaultBaseName()) + (asPDF ? ".pdf" : ".png");
    request.nameFilters = {asPDF ? QStringLiteral("PDF document (*.pdf)") : QStringLiteral("PNG image (*.png)")};
    chooser.choose(request, [image, asPDF](const QString &path) {
        if (path.isEmpty())
            return;
        writeInBackground([image, asPDF, path] {
            const QByteArray bytes = asPDF ? pdfData(image) : encodePng(image);
            if (bytes.isEmpty())
                return false;
            return writeAtomically(path, [&](QIODevice &out) { return out.write(bytes) == bytes.size(); });
        });
    });
}

QByteArray ImageExport::pdfData(const QImage &image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(72); // one PDF unit per pixel
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(QPageSize(QSizeF(image.size()), QPageSize::Point, QString(),
                                  QPageSize::ExactMatch));
        pdf.setCreator(QStringLiteral("Vistrel"));
        QPainter p;
        if (!p.begin(&pdf))
            return {};
        p.setRenderHint(QPainter::LosslessImageRendering); // no JPEG re-encoding
        p.drawImage(QRectF(0, 0, image.width(), image.height()), image);
        p.end();
    }
    return bytes;
}

bool ImageExport::copyPDF(Clipboard &clipboard, const QImage &image)
{
    const QByteArray pdf = pdfData(image);
    if (pdf.isEmpty())
        return false;
    QList<std::pair<QString, QByteArray>> formats{{QStringLiteral("application/pdf"), pdf}};
    const QByteArray png = encodePng(image);
    if (!png.isEmpty())
        formats.append({QStringLiteral("image/png"), png});
    clipboard.setContents(formats);
    return true;
}

} // namespace vistrel
