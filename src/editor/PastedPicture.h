#pragma once

#include <QImage>
#include <QString>

class QMimeData;

namespace vistrel {

// A picture taken from the clipboard for the canvas, or why it was refused.
struct PastedPicture
{
    QImage image;    // null when there is none or it was refused
    QString refusal; // the toast that says why, when refused

    // Larger pictures are refused before they are decoded.
    static constexpr int maxSide = 16384;
    static constexpr qint64 maxBytes = 256ll * 1024 * 1024; // decoded, 4 bytes a pixel

    static bool fits(QSize size);
    // Encoded pictures (PNG first) are sized from their header before decoding; an already
    // decoded picture of this process is checked the same way.
    static PastedPicture read(const QMimeData *mime);
};

} // namespace vistrel
