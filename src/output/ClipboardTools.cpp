#include "output/ClipboardTools.h"

#include "platform/Desktop.h"

#include <QBuffer>
#include <QImageWriter>

#include <cmath>

namespace vistrel {

QByteArray encodePng(const QImage &image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(85); // zlib level 1
    if (!writer.write(image))
        return {};
    return bytes;
}

bool ClipboardTools::copy(Clipboard &clipboard, const QImage &image)
{
    const QByteArray png = encodePng(image);
    if (png.isEmpty())
        return false;
    clipboard.setContents({{QStringLiteral("image/png"), png}});
    return true;
}

QString ColorTools::hexString(const QColor &color)
{
    QColor c = color.toRgb();
    if (!c.isValid())
        c = color;
    auto channel = [](float v) { return int(std::lround(double(v) * 255.0)); };
    return QString::asprintf("#%02X%02X%02X", channel(c.redF()), channel(c.greenF()),
                             channel(c.blueF()));
}

} // namespace vistrel
