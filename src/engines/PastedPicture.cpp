#include "engines/PastedPicture.h"

#include "engines/EditablePng.h"
#include "platform/PictureFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>

namespace vistrel {

namespace {

PastedPicture withScene(QImage image, EditablePng::Read read = {})
{
    PastedPicture picture;
    picture.image = std::move(image);
    picture.scene = std::move(read.scene);
    picture.sceneProblem = std::move(read.problem);
    return picture;
}

PastedPicture refused(const QString &why)
{
    PastedPicture picture;
    picture.refusal = why;
    return picture;
}

} // namespace

PastedPicture PastedPicture::read(const QMimeData *mime)
{
    if (!mime)
        return {};
    QStringList formats;
    if (mime->hasFormat(QStringLiteral("image/png")))
        formats.append(QStringLiteral("image/png"));
    const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    for (const QString &f : mime->formats())
        if (f != QLatin1String("image/png") && readable.contains(f.toLatin1()))
            formats.append(f);

    QString firstError;
    for (const QString &format : formats) {
        QByteArray bytes = mime->data(format);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        PictureRead picture = decodePicture(&buffer);
        if (!picture.image.isNull())
            return withScene(std::move(picture.image), EditablePng::readBytes(bytes));
        // A picture over the limit is refused whatever other formats offer it.
        if (picture.tooLarge)
            return refused(picture.error);
        if (firstError.isEmpty())
            firstError = picture.error;
    }
    if (mime->hasImage()) {
        const QImage image = qvariant_cast<QImage>(mime->imageData());
        if (!image.isNull()) {
            if (!PictureLimits::fits(image.size()))
                return refused(PictureLimits::refusal(image.size()));
            return withScene(image);
        }
    }
    // Files copied in a file manager: the first local picture file. Only regular files are
    // opened, so a FIFO or a device among them cannot stall the editor.
    if (firstError.isEmpty() && mime->hasUrls()) {
        for (const QUrl &url : mime->urls()) {
            if (!url.isLocalFile())
                continue;
            PictureRead picture = readPictureFile(url.toLocalFile());
            if (!picture.image.isNull())
                return withScene(std::move(picture.image), EditablePng::readFile(url.toLocalFile()));
            if (firstError.isEmpty())
                firstError = picture.error;
        }
    }
    // Offered as a picture but unreadable (text, a truncated PNG): say so rather than nothing.
    if (!firstError.isEmpty())
        return refused(QCoreApplication::translate("PastedPicture", "The clipboard's picture cannot be pasted: %1")
                              .arg(firstError));
    return {};
}

} // namespace vistrel
