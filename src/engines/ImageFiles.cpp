#include "engines/ImageFiles.h"

#include "engines/EditablePng.h"

#include "engines/ClipboardTools.h"
#include "platform/Desktop.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstring>

namespace vistrel {

QString ImageFiles::timestamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"));
}

QString ImageFiles::defaultBaseName(const QDateTime &when)
{
    return QStringLiteral("Vistrel ") + timestamp(when);
}

const QList<ExportFormat> &ImageFiles::exportFormats()
{
    using Type = ExportFormat::Type;
    static const QList<ExportFormat> formats{
        {Type::Png,
         {QStringLiteral("png")},
         QStringLiteral("image/png"),
         QT_TRANSLATE_NOOP("ImageExport", "PNG image (*.png)"),
         &encodePng},
        {Type::Jpeg,
         {QStringLiteral("jpg"), QStringLiteral("jpeg")},
         QStringLiteral("image/jpeg"),
         QT_TRANSLATE_NOOP("ImageExport", "JPEG image (*.jpg *.jpeg)"),
         &ImageFiles::encodeJpeg},
        {Type::Pdf,
         {QStringLiteral("pdf")},
         QStringLiteral("application/pdf"),
         QT_TRANSLATE_NOOP("ImageExport", "PDF document (*.pdf)"),
         &ImageFiles::pdfData},
    };
    return formats;
}

const ExportFormat &ImageFiles::exportFormat(ExportFormat::Type type)
{
    for (const ExportFormat &format : exportFormats())
        if (format.type == type)
            return format;
    return exportFormats().first();
}

const ExportFormat *ImageFiles::exportFormatFor(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    for (const ExportFormat &format : exportFormats())
        if (format.extensions.contains(ext))
            return &format;
    return nullptr;
}

QByteArray ImageFiles::encodeJpeg(const QImage &image)
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

bool ImageFiles::writeAtomically(const QString &path, const std::function<bool(QIODevice &)> &write,
                                 QString *error)
{
    QSaveFile file(path);
    auto failed = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    // The device's own text is often empty after a short write; the system's cause (a full
    // disk, a quota) is then the one to name.
    auto cause = [&file](int systemError) {
        const QString why = file.errorString();
        // Qt's own words for no cause, in the user's language.
        if (!why.isEmpty() && why != QFile().errorString())
            return why;
        return systemError
                   ? QString::fromLocal8Bit(std::strerror(systemError))
                   : QCoreApplication::translate("ImageFiles", "the picture could not be written");
    };
    errno = 0;
    if (!write(file)) {
        const QString why = cause(errno);
        file.cancelWriting();
        file.commit(); // discards the temporary file
        return failed(why);
    }
    errno = 0;
    if (!file.commit())
        return failed(cause(errno));
    return true;
}

QString ImageFiles::completedPath(const QString &path, const QString &fallbackExtension)
{
    if (exportFormatFor(path))
        return path;
    return path + QLatin1Char('.') + fallbackExtension;
}

QByteArray ImageFiles::encodeForPath(const QImage &image, const QString &path,
                                     const EditableScene &editable)
{
    const ExportFormat *format = exportFormatFor(path);
    if (format && format->type != ExportFormat::Type::Png)
        return format->encode(image);
    if (editable) {
        const QByteArray chunk = EditablePng::sceneChunk(*editable);
        return chunk.isEmpty() ? QByteArray() : EditablePng::withChunk(encodePng(image), chunk);
    }
    return encodePng(image);
}

bool ImageFiles::saveImage(const QImage &image, const QString &path, QString *error,
                           const EditableScene &editable)
{
    const QByteArray bytes = encodeForPath(image, path, editable);
    if (bytes.isEmpty()) {
        if (error)
            *error = QCoreApplication::translate("ImageFiles", "the picture could not be encoded");
        return false;
    }
    return writeAtomically(
        path, [&](QIODevice &out) { return out.write(bytes) == bytes.size(); }, error);
}

QByteArray ImageFiles::pdfData(const QImage &image)
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
        pdf.setPageSize(
            QPageSize(QSizeF(image.size()), QPageSize::Point, QString(), QPageSize::ExactMatch));
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

bool ImageFiles::copyPDF(Clipboard &clipboard, const QImage &image)
{
    const QByteArray pdf = pdfData(image);
    if (pdf.isEmpty())
        return false;
    QList<std::pair<QString, QByteArray>> formats{
        {exportFormat(ExportFormat::Type::Pdf).mimeType, pdf}};
    const ExportFormat &pngFormat = exportFormat(ExportFormat::Type::Png);
    const QByteArray png = pngFormat.encode(image);
    if (!png.isEmpty())
        formats.append({pngFormat.mimeType, png});
    clipboard.setContents(formats);
    return true;
}

} // namespace vistrel
