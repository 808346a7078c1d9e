#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

namespace vistrel {

class Clipboard;

// PNG bytes of an image; empty when it cannot be encoded. A light zlib level keeps the
// pixels and costs a fraction of the default's time on busy screens.
QByteArray encodePng(const QImage &image);

class ClipboardTools
{
public:
    // Replaces the clipboard with the PNG of the image; leaves it alone if encoding fails.
    static bool copy(Clipboard &clipboard, const QImage &image);
};

class ColorTools
{
public:
    static QString hexString(const QColor &color);
};

} // namespace vistrel
