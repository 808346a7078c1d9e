#include "platform/PictureFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vistrel {

bool PictureLimits::fits(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= maxSide &&
           size.height() <= maxSide && qint64(size.width()) * size.height() * 4 <= maxBytes;
}

QString PictureLimits::refusal(QSize size)
{
    return QCoreApplication::translate(
               "PictureFile", "Picture too large (%1 × %2 pixels): Vistrel opens pictures of up to "
                              "%3 pixels a side and %4 million pixels")
        .arg(size.width())
        .arg(size.height())
        .arg(maxSide)
        .arg(maxBytes / 4 / 1000000);
}

PictureRead decodePicture(QIODevice *device, const QByteArray &format)
{
    QImageReader reader(device, format);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid()) {
        // Formats that cannot tell their size from the header are decoded within the limit.
        if (!reader.canRead())
            return {QImage(), QCoreApplication::translate("PictureFile",
                                                          "not a picture Vistrel can read (%1)")
                                  .arg(reader.errorString())};
    } else if (!PictureLimits::fits(size)) {
        return {QImage(), PictureLimits::refusal(size), true};
    }
    // Our own limit, not the toolkit's smaller default.
    reader.setAllocationLimit(int(PictureLimits::maxBytes / (1024 * 1024)) + 1);
    QImage image = reader.read();
    if (image.isNull())
        return {QImage(), QCoreApplication::translate(
                              "PictureFile", "the picture is damaged or cannot be read (%1)")
                              .arg(reader.errorString())};
    if (!PictureLimits::fits(image.size()))
        return {QImage(), PictureLimits::refusal(image.size()), true};
    return {std::move(image), QString()};
}

bool openRegularFile(const QString &path, QFile &file, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    // Non-blocking, so opening a FIFO without a writer returns at once rather than waiting.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        return fail(folder ? QCoreApplication::translate("PictureFile", "a folder, not a file")
                           : QCoreApplication::translate("PictureFile", "not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    return true;
}

FileBytes readRegularFile(const QString &path, qint64 maxBytes)
{
    QFile file;
    FileBytes out;
    if (!openRegularFile(path, file, &out.error))
        return out;
    if (file.size() > maxBytes) {
        out.error = QCoreApplication::translate("PictureFile", "too large (%1 MB; up to %2 MB)")
                        .arg((file.size() + 999999) / 1000000)
                        .arg(maxBytes / 1000000);
        out.tooLarge = true;
        return out;
    }
    // Read to at most one byte past the limit: the file may grow while it is read.
    out.bytes = file.read(maxBytes + 1);
    if (out.bytes.size() > maxBytes) {
        out.bytes.clear();
        out.error = QCoreApplication::translate("PictureFile", "too large (up to %1 MB)")
                        .arg(maxBytes / 1000000);
        out.tooLarge = true;
    } else if (file.error() != QFileDevice::NoError) {
        out.bytes.clear();
        out.error = file.errorString();
    }
    return out;
}

PictureRead readPictureFile(const QString &path)
{
    QFile file;
    QString error;
    if (!openRegularFile(path, file, &error))
        return {QImage(), error};
    if (file.size() == 0)
        return {QImage(), QCoreApplication::translate("PictureFile", "the file is empty")};
    return decodePicture(&file);
}

bool onKernelFileSystem(const QString &folder)
{
    struct statfs fs;
    if (::statfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return false;
    switch (fs.f_type) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x1cd1:     // devpts
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x42494e4d: // binfmt_misc
    case 0x6e736673: // nsfs
    case 0xcafe4a11: // bpf
        return true;
    }
    // /dev is an ordinary tmpfs by type; its files are devices.
    const QString real = QFileInfo(folder).canonicalFilePath();
    return real == QLatin1String("/dev") || real.startsWith(QLatin1String("/dev/"));
}

} // namespace vistrel
