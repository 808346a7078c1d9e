// A stand-in share endpoint for the end-to-end flow: plain HTTP on 127.0.0.1, answers every
// upload with a link, and writes what it received (the form's file part and the headers)
// to a folder. Usage: share_server OUT_DIR LINK; prints the port on its first line.
#include "UploadServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

using vistrel::test::UploadServer;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: share_server OUT_DIR LINK\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    UploadServer server(false);
    server.setReply(200, "{\"url\":\"" + QByteArray(argv[2]) + "\"}");
    if (!server.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    QObject::connect(&server, &UploadServer::requestReceived, &app, [&server, out] {
        const int n = int(server.requests().size());
        const auto &request = server.requests().last();
        QFile headers(QStringLiteral("%1/upload-%2.txt").arg(out).arg(n));
        if (headers.open(QIODevice::WriteOnly)) {
            headers.write(request.method + ' ' + request.target + '\n');
            for (auto it = request.headers.cbegin(); it != request.headers.cend(); ++it)
                headers.write(it.key() + ": " + it.value() + '\n');
        }
        QFile body(QStringLiteral("%1/upload-%2.body").arg(out).arg(n));
        if (body.open(QIODevice::WriteOnly))
            body.write(request.body);
        // The file part: from the blank line after its headers to the closing boundary.
        const qsizetype start = request.body.indexOf("\r\n\r\n");
        const qsizetype end = request.body.lastIndexOf("\r\n--");
        QFile png(QStringLiteral("%1/upload-%2.png").arg(out).arg(n));
        if (start >= 0 && end > start && png.open(QIODevice::WriteOnly))
            png.write(request.body.mid(start + 4, end - start - 4));
    });
    std::printf("%d\n", int(server.port()));
    std::fflush(stdout);
    return app.exec();
}
