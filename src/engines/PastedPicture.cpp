#include "engines/PastedPicture.h"

#include "engines/EditablePng.h"
#include "platform/PictureFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
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

PastedPicture::Offer PastedPicture::take(const QMimeData *mime)
{
    Offer offer;
    if (!mime)
        return offer;
    QStringList formats;
    if (mime->hasFormat(QStringLiteral("image/png")))
        formats.append(QStringLiteral("image/png"));
    const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    for (const QString &f : mime->formats())
        if (f != QLatin1String("image/png") && readable.contains(f.toLatin1()))
            formats.append(f);
    for (const QString &format : formats)
        offer.encoded.append(mime->data(format));
    // The toolkit's own decoding runs here, on the GUI thread: only when nothing else is offered.
    if (offer.encoded.isEmpty() && mime->hasImage())
        offer.decoded = qvariant_cast<QImage>(mime->imageData());
    if (mime->hasUrls())
        for (const QUrl &url : mime->urls())
            if (url.isLocalFile())
                offer.files.append(url.toLocalFile());
    return offer;
}

bool PastedPicture::Offer::heavy() const
{
    // Sized from the header only: over the limit is refused at once, within it a large
    // picture (or an editable PNG carrying more) takes long.
    auto heavyPicture = [](QIODevice *device) {
        constexpr qint64 lightBytes = 1024 * 1024;
        constexpr qint64 lightPixels = 4'000'000;
        if (device->size() > lightBytes)
            return true;
        const QSize size = QImageReader(device).size();
        return PictureLimits::fits(size) && qint64(size.width()) * size.height() > lightPixels;
    };
    for (const QByteArray &bytes : encoded) {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        if (heavyPicture(&buffer))
            return true;
    }
    // Read only when nothing on the clipboard itself is a picture.
    if (encoded.isEmpty() && decoded.isNull())
        for (const QString &path : files) {
            QFile file;
            if (openRegularFile(path, file) && heavyPicture(&file))
                return true;
        }
    return false;
}

PastedPicture PastedPicture::decode(const Offer &offer)
{
    QString firstError;
    for (const QByteArray &encoded : offer.encoded) {
        QByteArray bytes = encoded;
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
    if (!offer.decoded.isNull()) {
        if (!PictureLimits::fits(offer.decoded.size()))
            return refused(PictureLimits::refusal(offer.decoded.size()));
        return withScene(offer.decoded);
    }
    // Files copied in a file manager: the first local picture file. Only regular files are
    // opened, so a FIFO or a device among them cannot stall the editor.
    if (firstError.isEmpty()) {
        for (const QString &file : offer.files) {
            PictureRead picture = readPictureFile(file);
            if (!picture.image.isNull())
                return withScene(std::move(picture.image), EditablePng::readFile(file));
            if (firstError.isEmpty())
                firstError = picture.error;
        }
    }
    // Offered as a picture but unreadable (text, a truncated PNG): say so rather than nothing.
    if (!firstError.isEmpty())
        return refused(QCoreApplication::translate("PastedPicture",
                                                   "The clipboard's picture cannot be pasted: %1")
                           .arg(firstError));
    return {};
}

} // namespace vistrel
