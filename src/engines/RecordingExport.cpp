#include "engines/RecordingExport.h"

#include "engines/RecordingReader.h"
#include "engines/RecordingWriter.h"
#include "platform/PictureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

namespace vistrel {

QString RecordingExport::mimeType(const QString &path)
{
    const std::optional<RecordingFormat> format = recordingFormatFor(path);
    if (!format)
        return {};
    switch (*format) {
    case RecordingFormat::WebM:
        return QStringLiteral("video/webm");
    case RecordingFormat::Mp4:
        return QStringLiteral("video/mp4");
    case RecordingFormat::Gif:
        return QStringLiteral("image/gif");
    }
    return {};
}

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A plain copy, written beside the target and moved into place.
QString copyFile(const QString &source, const QString &target)
{
    QFile in;
    QString error;
    if (!openRegularFile(source, in, &error))
        return QCoreApplication::translate("RecordingExport", "cannot read %1: %2")
            .arg(native(source), error);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return QCoreApplication::translate("RecordingExport", "cannot write %1: %2")
            .arg(native(target), out.errorString());
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty())
        if (out.write(chunk) != chunk.size())
            return QCoreApplication::translate("RecordingExport", "cannot write %1: %2")
                .arg(native(target), out.errorString());
    if (in.error() != QFileDevice::NoError)
        return QCoreApplication::translate("RecordingExport", "cannot read %1: %2")
            .arg(native(source), in.errorString());
    if (!out.commit())
        return QCoreApplication::translate("RecordingExport", "cannot write %1: %2")
            .arg(native(target), out.errorString());
    return {};
}

} // namespace

QString RecordingExport::save(const QString &source, const QString &target, bool whole,
                              qint64 startMs, qint64 endMs)
{
    const std::optional<RecordingFormat> to = recordingFormatFor(target);
    if (!to)
        return QCoreApplication::translate(
                   "RecordingExport", "a recording is saved as .webm, .mp4 or .gif, not as “%1”")
            .arg(QFileInfo(target).fileName());
    if (QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath() && whole)
        return {}; // already there
    if (whole && recordingFormatFor(source) == to)
        return copyFile(source, target);
    return trimRecording(source, target, startMs, endMs);
}

QString RecordingExport::trimmedFile(const QString &source, qint64 startMs, qint64 endMs,
                                     QString *error)
{
    const QFileInfo info(source);
    const QString target = info.path() + QStringLiteral("/%1 %2-%3 ms.%4")
                                             .arg(info.completeBaseName())
                                             .arg(startMs)
                                             .arg(endMs)
                                             .arg(info.suffix());
    // Made once: a second Copy of the same part hands on the same file.
    if (QFileInfo(target).isFile())
        return target;
    const QString why = trimRecording(source, target, startMs, endMs);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return {};
    }
    QFile::setPermissions(target, QFile::permissions(source));
    return target;
}

QList<std::pair<QString, QByteArray>> RecordingExport::clipboardFormats(const QString &file,
                                                                        QString *error)
{
    const QString path = QFileInfo(file).absoluteFilePath();
    if (!QFileInfo(path).isFile()) {
        if (error)
            *error = QCoreApplication::translate("RecordingExport", "%1 is gone").arg(native(path));
        return {};
    }
    const QByteArray link = QUrl::fromLocalFile(path).toEncoded();
    // GNOME's file manager pastes files from its own format only.
    QList<std::pair<QString, QByteArray>> formats{
        {QStringLiteral("text/uri-list"), link + "\r\n"},
        {QStringLiteral("x-special/gnome-copied-files"), "copy\n" + link}};
    if (recordingFormatFor(path) == RecordingFormat::Gif) {
        const FileBytes gif = readRegularFile(path, maxClipboardBytes);
        if (!gif.error.isEmpty() && !gif.tooLarge) {
            if (error)
                *error = QCoreApplication::translate("RecordingExport", "cannot read %1: %2")
                             .arg(native(path), gif.error);
            return {};
        }
        if (!gif.tooLarge)
            formats.append({QStringLiteral("image/gif"), gif.bytes});
    }
    return formats;
}

} // namespace vistrel
