#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace vistrel {

class Clipboard;
struct EditorScene;
// The editor's work carried in a PNG beside its flattened picture (EditablePng).
using EditableScene = std::shared_ptr<const EditorScene>;

// File encodings by extension, atomic writes and the PDF clipboard copy.
class ImageFiles
{
public:
    static QString timestamp(const QDateTime &when = QDateTime::currentDateTime());
    static QString defaultBaseName(const QDateTime &when = QDateTime::currentDateTime());

    static QByteArray pdfData(const QImage &image);
    // PDF first, then PNG; nothing changes when there is no PDF.
    static bool copyPDF(Clipboard &clipboard, const QImage &image);

    static bool isJpegPath(const QString &path);
    static QByteArray encodeJpeg(const QImage &image);
    // The file a chosen name stands for: a name that ends in .png, .jpg, .jpeg or .pdf (any
    // case) is kept; any other gets `fallbackExtension` appended ("shot" → "shot.png").
    static QString completedPath(const QString &path, const QString &fallbackExtension);
    // The bytes of `image` in the format the path's extension names (.jpg/.jpeg JPEG, .pdf a
    // one-page PDF, anything else PNG); a PNG carries `editable` when given.
    static QByteArray encodeForPath(const QImage &image, const QString &path,
                                    const EditableScene &editable = {});
    // Encodes by extension and writes atomically; `error` says why it failed.
    static bool saveImage(const QImage &image, const QString &path, QString *error = nullptr,
                          const EditableScene &editable = {});
    // Writes through a temporary file that replaces `path` only when `write` succeeded, so a
    // failed or interrupted write leaves any earlier file as it was.
    static bool writeAtomically(const QString &path, const std::function<bool(QIODevice &)> &write,
                                QString *error = nullptr);
};

} // namespace vistrel
