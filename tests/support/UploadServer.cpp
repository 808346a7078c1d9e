#include "UploadServer.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace vistrel::test {

namespace {

QByteArray readData(const QString &name)
{
    QFile file(QStringLiteral(VISTREL_TEST_CERT_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", qPrintable(file.fileName()));
    return file.readAll();
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

QSslCertificate UploadServer::certificate()
{
    return QSslCertificate(readData(QStringLiteral("localhost-cert.pem")), QSsl::Pem);
}

QSslConfiguration UploadServer::serverConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate());
    configuration.setPrivateKey(
        QSslKey(readData(QStringLiteral("localhost-key.pem")), QSsl::Ec, QSsl::Pem));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

UploadServer::UploadServer(bool tls, QObject *parent) : QObject(parent)
{
    if (tls) {
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(serverConfiguration());
        m_server = std::move(server);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    });
}

UploadServer::~UploadServer() = default;

bool UploadServer::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 UploadServer::port() const
{
    return m_server->serverPort();
}

QString UploadServer::url(const QString &path) const
{
    const bool tls = qobject_cast<QSslServer *>(m_server.get()) != nullptr;
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port())
        .arg(path);
}

void UploadServer::setReply(int status, const QByteArray &body, const QByteArray &contentType)
{
    m_status = status;
    m_body = body;
    m_contentType = contentType;
}

void UploadServer::serve(QTcpSocket *socket)
{
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        if (m_stream == Stream::Reset) {
            // No lingering: the kernel answers with a reset, as a crashing server's does.
            const linger now{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
            socket->abort();
            return;
        }
        ReceivedRequest request;
        const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon <= 0)
                continue;
            // Keep trailing spaces: tests look at header values exactly as sent.
            QByteArray value = lines[i].mid(colon + 1);
            if (value.endsWith('\r'))
                value.chop(1);
            while (value.startsWith(' '))
                value.remove(0, 1);
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), value);
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer->size() < headerEnd + 4 + length)
            return;
        request.body = buffer->mid(headerEnd + 4, length);
        buffer->clear();
        m_requests.append(request);

        emit requestReceived();
        if (m_stream != Stream::No) {
            drip(socket);
            return;
        }
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(m_status) + ' ' +
                           reasonPhrase(m_status) + "\r\nContent-Type: " + m_contentType +
                           "\r\nContent-Length: " + QByteArray::number(m_body.size()) +
                           "\r\nConnection: close\r\n\r\n" + m_body;
        socket->write(reply);
        socket->disconnectFromHost();
    });
}

void UploadServer::drip(QTcpSocket *socket)
{
    // A 200 without a length, a byte at a time: the body ends only when the connection does.
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n"
                  "{\"url\":\"");
    m_streamOpen = true;
    connect(socket, &QTcpSocket::disconnected, this, [this] { m_streamOpen = false; });
    auto *timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket] { socket->write("a"); });
    timer->start(m_dripMs);
}

} // namespace vistrel::test
