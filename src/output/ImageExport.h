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

    // PNG, JPEG or PDF, chosen by the extension of the name the user gives. `completion` runs
    // once when the panel is done, whatever the answer. A write that fails says why and where,
    // and the panel comes back so the picture is not lost.
    static void savePanel(SaveChooser &chooser, const QImage &image,
                          std::function<void()> completion = {});
    // Only PDF, or only PNG; `name` replaces the default base name.
    static void savePanel(SaveChooser &chooser, const QImage &image, bool asPDF,
                          std::optional<QString> name);

    // Encodes and writes on a worker (as the save panels do), then shows "Saved"; a failure
    // says why and offers the save panel again.
    static void saveInBackground(SaveChooser &chooser, const QImage &image, const QString &path);

    static QByteArray pdfData(const QImage &image);
    // PDF first, then PNG; nothing changes when there is no PDF.
    static bool copyPDF(Clipboard &clipboard, const QImage &image);

    static bool isJpegPath(const QString &path);
    static QByteArray encodeJpeg(const QImage &image);
    // The file a chosen name stands for: a name that ends in .png, .jpg, .jpeg or .pdf (any
    // case) is kept; any other gets `fallbackExtension` appended ("shot" → "shot.png").
    static QString completedPath(const QString &path, const QString &fallbackExtension);
    // The bytes of `image` in the format the path's extension names (.jpg/.jpeg JPEG, .pdf a
    // one-page PDF, anything else PNG).
    static QByteArray encodeForPath(const QImage &image, const QString &path);
    // Encodes by extension and writes atomically; `error` says why it failed.
    static bool saveImage(const QImage &image, const QString &path, QString *error = nullptr);
    // Writes through a temporary file that replaces `path` only when `write` succeeded, so a
    // failed or interrupted write leaves any earlier file as it was.
    static bool writeAtomically(const QString &path, const std::function<bool(QIODevice &)> &write,
                                QString *error = nullptr);
};

} // namespace vistrel
