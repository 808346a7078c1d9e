#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace vistrel {

class Clipboard;
class SaveChooser;

// Save panels, file encodings and the PDF clipboard copy.
class ImageExport
{
public:
    static QString timestamp(const QDateTime &when = QDateTime::currentDateTime());
    static QString defaultBaseName(const QDateTime &when = QDateTime::currentDateTime());

    // PNG or JPEG, chosen by the extension of the name the user gives. `completion` runs once
    // when the panel is done, whatever the answer.
    static void savePanel(SaveChooser &chooser, const QImage &image,
                          std::function<void()> completion = {});
    // Only PDF, or only PNG; `name` replaces the default base name.
    static void savePanel(SaveChooser &chooser, const QImage &image, bool asPDF,
                          std::optional<QString> name);

    // Encodes and writes on a worker (as the save panels do), then shows "Saved".
    static void saveInBackground(const QImage &image, const QString &path);

    static QByteArray pdfData(const QImage &image);
    // PDF first, then PNG; nothing changes when there is no PDF.
    static bool copyPDF(Clipboard &clipboard, const QImage &image);

    static bool isJpegPath(const QString &path);
    static QByteArray encodeJpeg(const QImage &image);
    // Encodes by extension (JPEG for .jpg/.jpeg, PNG otherwise) and writes atomically.
    static bool saveImage(const QImage &image, const QString &path);
    // Writes through a temporary file that replaces `path` only when `write` succeeded, so a
    // failed or interrupted write leaves any earlier file as it was.
    static bool writeAtomically(const QString &path, const std::function<bool(QIODevice &)> &write);
};

} // namespace vistrel
