#pragma once

#include "engines/SceneArchive.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

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

    // What the clipboard offers, copied where the clipboard lives (the GUI thread) so that
    // decoding it can run on any thread.
    struct Offer
    {
        QList<QByteArray> encoded; // PNG first
        QImage decoded;            // only when nothing encoded is offered
        QStringList files;         // local files copied in a file manager
        // Whether decoding may take long (a large picture, an editable PNG's pictures, a
        // large file): then it runs off the GUI thread.
        bool heavy() const;
    };
    static Offer take(const QMimeData *mime);
    // Encoded pictures are sized from their header before decoding, against the limit every
    // picture from outside has; an already decoded picture is checked the same way.
    static PastedPicture decode(const Offer &offer);
    static PastedPicture read(const QMimeData *mime) { return decode(take(mime)); }
};

} // namespace vistrel
