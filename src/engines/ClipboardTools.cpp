#include "engines/ClipboardTools.h"

#include "engines/PngEncoder.h"
#include "platform/Desktop.h"

#include <QBuffer>

#include <cmath>

namespace vistrel {

QByteArray encodePng(const QImage &image)
{
    // The toolkit's writer takes about half a second on a busy full screen; other programs
    // wait for a paste that long.
    return encodePngFast(image);
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
