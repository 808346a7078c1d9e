#include "editor/PastedPicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QMimeData>

namespace vistrel {

namespace {

QString refusalFor(QSize size)
{
    return QStringLiteral("Picture too large to paste (%1 × %2)")
        .arg(size.width())
        .arg(size.height());
}

} // namespace

bool PastedPicture::fits(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= maxSide &&
           size.height() <= maxSide && qint64(size.width()) * size.height() * 4 <= maxBytes;
}

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

    for (const QString &format : formats) {
        QByteArray bytes = mime->data(format);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        if (!size.isValid())
            continue;
        if (!fits(size))
            return {QImage(), refusalFor(size)};
        reader.setAllocationLimit(int(maxBytes / (1024 * 1024)) + 1);
        QImage image = reader.read();
        if (!image.isNull())
            return {image, QString()};
    }
    if (mime->hasImage()) {
        const QImage image = qvariant_cast<QImage>(mime->imageData());
        if (image.isNull())
            return {};
        if (!fits(image.size()))
            return {QImage(), refusalFor(image.size())};
        return {image, QString()};
    }
    return {};
}

} // namespace vistrel
