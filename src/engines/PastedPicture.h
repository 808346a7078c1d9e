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

    // Encoded pictures (PNG first) are sized from their header before decoding, against the
    // limit every picture from outside has; an already decoded picture is checked the same way.
    static PastedPicture read(const QMimeData *mime);
};

} // namespace vistrel
