#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QIODevice;

namespace vistrel {

class Clipboard;
struct EditorScene;
// The editor's work carried in a PNG beside its flattened picture (EditablePng).
using EditableScene = std::shared_ptr<const EditorScene>;

// A type the picture can be written as: its extensions (the first is the one a bare name
// gets), its MIME type, the save dialog's filter (translated in the "ImageExport" context) and
// its encoder.
struct ExportFormat
{
    enum class Type { Png, Jpeg, Pdf } type;
    QStringList extensions;
    QString mimeType;
    const char *filter;
    QByteArray (*encode)(const QImage &);
};

// File encodings by extension, atomic writes and the PDF clipboard copy.
class ImageFiles
{
public:
    // Every type a picture is written as, PNG (the default) first.
    static const QList<ExportFormat> &exportFormats();
    static const ExportFormat &exportFormat(ExportFormat::Type type);
    // The type a path's extension names (any case); nothing when none does.
    static const ExportFormat *exportFormatFor(const QString &path);

    static QString timestamp(const QDateTime &when = QDateTime::currentDateTime());
    static QString defaultBaseName(const QDateTime &when = QDateTime::currentDateTime());

    static QByteArray pdfData(const QImage &image);
    // PDF first, then PNG; nothing changes when there is no PDF.
    static bool copyPDF(Clipboard &clipboard, const QImage &image);

    static QByteArray encodeJpeg(const QImage &image);
    // The file a chosen name stands for: a name with the extension of an export type (any
    // case) is kept; any other gets `fallbackExtension` appended ("shot" → "shot.png").
    static QString completedPath(const QString &path, const QString &fallbackExtension);
    // The bytes of `image` in the type the path's extension names (.jpg/.jpeg JPEG, .pdf a
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
