#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace vistrel {

// What the recording's preview does with its file: Save, Copy and Share of the whole or of a
// trimmed part. Blocking (a conversion takes a while): for a worker thread.
class RecordingExport
{
public:
    // The MIME type a recording's name gives (video/webm, video/mp4, image/gif); empty for
    // other names.
    static QString mimeType(const QString &path);

    // Writes the part of `source` between `startMs` and `endMs` (the whole when `whole`) to
    // `target`, in the format its name asks for: converted through `trimRecording` when the
    // format or the part differs, else copied. Either way the file is written beside the
    // target and moved into place, so a failure leaves nothing half written and the source
    // as it was. Empty when done, else why not.
    static QString save(const QString &source, const QString &target, bool whole, qint64 startMs,
                        qint64 endMs);

    // A file of just the part between `startMs` and `endMs`, kept beside `source` (one per
    // part, made once): what Copy and Share hand on. Empty, with `error` set, on failure.
    static QString trimmedFile(const QString &source, qint64 startMs, qint64 endMs,
                               QString *error = nullptr);

    // The clipboard's formats for a recording's file: its link (text/uri-list, and as GNOME's
    // file manager has it), and a GIF's bytes as image/gif for programs that paste pictures.
    // Empty, with `error` set, when the file cannot be read.
    static QList<std::pair<QString, QByteArray>> clipboardFormats(const QString &file,
                                                                  QString *error = nullptr);
    // A GIF larger than this is put on the clipboard only as a link.
    static constexpr qint64 maxClipboardBytes = 256ll << 20;
};

} // namespace vistrel
