#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class QFile;
class QIODevice;

namespace vistrel {

// The one limit for pictures that come from outside (files, the clipboard): larger ones are
// refused from their header, before anything is decoded.
struct PictureLimits
{
    static constexpr int maxSide = 16384;
    static constexpr qint64 maxBytes = 256ll * 1024 * 1024; // decoded, 4 bytes a pixel

    static bool fits(QSize size);
    // "Picture too large (W × H pixels): Vistrel opens up to …", naming the size and the limit.
    static QString refusal(QSize size);
};

// A decoded picture, or why there is none.
struct PictureRead
{
    QImage image;
    QString error;         // empty when `image` is good
    bool tooLarge = false; // refused for its size, from its header
};

// Opens `path` for reading only when it is a regular file, never waiting on it: a FIFO, a
// device or a folder put where a file was expected is refused at once. On failure `error`
// (when given) names the cause ("No such file or directory", "Permission denied", "not a
// regular file"). Every file the app reads goes through here or `readRegularFile`.
bool openRegularFile(const QString &path, QFile &file, QString *error = nullptr);

// A regular file's bytes, or why there are none; files over `maxBytes` are refused unread.
struct FileBytes
{
    QByteArray bytes;
    QString error; // empty when `bytes` holds the file
    bool tooLarge = false;
};
FileBytes readRegularFile(const QString &path, qint64 maxBytes);

// Decodes an encoded picture from `device`, sized from its header first. `format` may name the
// format ("png"); otherwise it is told from the content.
PictureRead decodePicture(QIODevice *device, const QByteArray &format = {});

// Reads a picture file. Only regular files are read: a FIFO, a device or a folder is refused
// without waiting on it. Errors name the cause ("No such file or directory", "not a regular
// file", the picture's size against the limit). Blocking: slow disks and network mounts make
// it wait, so callers keep it off the GUI thread.
PictureRead readPictureFile(const QString &path);

// Whether `folder` lies on a kernel's file system (/proc, /sys, /dev, cgroups…), whose files
// are not pictures and may block whoever reads them.
bool onKernelFileSystem(const QString &folder);

} // namespace vistrel
