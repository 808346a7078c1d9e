#pragma once

#include "engines/SceneArchive.h"

#include <QImage>
#include <QString>

#include <optional>

class QMimeData;

namespace vistrel {

// A picture taken from the clipboard for the canvas, or why it was refused.
struct PastedPicture
{
    QImage image;    // null when there is none or it was refused
    QString refusal; // the toast that says why, when refused
    // An editable PNG's work, or why its marks cannot be read (the picture comes alone).
    std::optional<EditorScene> scene;
    QString sceneProblem;

    // Encoded pictures (PNG first) are sized from their header before decoding, against the
    // limit every picture from outside has; an already decoded picture is checked the same way.
    static PastedPicture read(const QMimeData *mime);
};

} // namespace vistrel
