// The reference picture of a KWin session: the whole workspace as KWin itself reads it
// (org.kde.KWin.ScreenShot2, allowed when KWin runs without its screenshot permission checks),
// in device pixels and without the pointer, written as PNG.
//   vistrel_kwinshot OUT.png
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QImage>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("vistrel_kwinshot: pipe");
        return 1;
    }
    QDBusMessage reply;
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
            QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureWorkspace"));
        const QVariantMap options{{QStringLiteral("include-cursor"), false},
                                  {QStringLiteral("native-resolution"), true}};
        call.setArguments({options, QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
        reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 20000);
    }
    // The message held copies of the pipe's writing end: with them and ours closed, the
    // pipe ends where KWin stops writing.
    ::close(fds[1]);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        std::fprintf(stderr, "vistrel_kwinshot: %s\n", qPrintable(reply.errorMessage()));
        return 1;
    }
    const QVariantMap info = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    QByteArray pixels;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n > 0)
            pixels.append(buffer, n);
        else if (n == 0)
            break;
        else if (errno != EINTR) {
            std::perror("vistrel_kwinshot: read");
            return 1;
        }
    }
    ::close(fds[0]);
    const int width = info.value(QStringLiteral("width")).toInt();
    const int height = info.value(QStringLiteral("height")).toInt();
    const int stride = info.value(QStringLiteral("stride")).toInt();
    const auto format = QImage::Format(info.value(QStringLiteral("format")).toInt());
    if (info.value(QStringLiteral("type")).toString() != QLatin1String("raw") || width <= 0 ||
        height <= 0 || stride <= 0 || pixels.size() < qsizetype(stride) * height) {
        std::fprintf(stderr, "vistrel_kwinshot: KWin answered %d×%d (stride %d), %lld bytes\n",
                     width, height, stride, qlonglong(pixels.size()));
        return 1;
    }
    const QImage image(reinterpret_cast<const uchar *>(pixels.constData()), width, height, stride,
                       format);
    if (!image.convertToFormat(QImage::Format_RGB32).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "vistrel_kwinshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
