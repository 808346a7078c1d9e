#include "engines/UploadClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSslSocket>
#include <QTcpSocket>

#include <memory>

namespace vistrel {

namespace {

constexpr int sliceMs = 100; // how often `cancel` is looked at
constexpr qsizetype maxHeaderBytes = 64 * 1024;

using Error = UploadReply::Error;

// The socket and the clocks of one exchange.
class Exchange
{
public:
    Exchange(const UploadRequest &request, const std::atomic<bool> &cancel)
        : m_request(request), m_cancel(cancel), m_deadline(request.deadlineMs)
    {
    }

    UploadReply run()
    {
        UploadReply reply;
        reply.error = exchange(reply);
        if (reply.error == Error::Offline)
            reply.why = why();
        if (m_socket)
            m_socket->abort();
        if (reply.error != Error::None)
            reply.body.clear();
        return reply;
    }

private:
    // The socket's error in words a user reads; "offline" only when it is that.
    QString why() const
    {
        if (!m_socket)
            return {};
        switch (m_socket->error()) {
        case QAbstractSocket::ConnectionRefusedError:
            return QCoreApplication::translate("UploadClient", "the server refused the connection");
        case QAbstractSocket::RemoteHostClosedError:
            return QCoreApplication::translate(
                "UploadClient", "the server closed the connection before it answered");
        case QAbstractSocket::HostNotFoundError:
            return QCoreApplication::translate("UploadClient",
                                               "the server's name was not found — offline?");
        case QAbstractSocket::NetworkError:
        case QAbstractSocket::UnknownSocketError:
        case QAbstractSocket::SocketTimeoutError:
            return {};
        case QAbstractSocket::SslHandshakeFailedError:
        case QAbstractSocket::SslInternalError:
        case QAbstractSocket::SslInvalidUserDataError:
            return QCoreApplication::translate("UploadClient", "the secure connection failed: %1")
                .arg(m_socket->errorString());
        default:
            return m_socket->errorString();
        }
    }

    Error exchange(UploadReply &reply)
    {
        const QUrl &url = m_request.url;
        const bool tls = url.scheme() == QLatin1String("https");
        const quint16 port = quint16(url.port(tls ? 443 : 80));
        if (tls) {
            auto socket = std::make_unique<QSslSocket>();
            socket->connectToHostEncrypted(url.host(), port);
            m_socket = std::move(socket);
        } else {
            m_socket = std::make_unique<QTcpSocket>();
            m_socket->connectToHost(url.host(), port);
        }
        m_idle.setRemainingTime(m_request.idleTimeoutMs);
        if (Error e = waitUntil([this, tls] {
                return tls ? static_cast<QSslSocket *>(m_socket.get())->isEncrypted()
                           : m_socket->state() == QAbstractSocket::ConnectedState;
            });
            e != Error::None)
            return e;

        m_socket->write(requestHead() + m_request.body);
        while (m_socket->bytesToWrite() > 0 ||
               (tls && static_cast<QSslSocket *>(m_socket.get())->encryptedBytesToWrite() > 0)) {
            if (Error e = step([this](int ms) { return m_socket->waitForBytesWritten(ms); });
                e != Error::None)
                return e;
        }
        return readReply(reply);
    }

    QByteArray requestHead() const
    {
        const QUrl &url = m_request.url;
        QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
        if (target.isEmpty())
            target = "/";
        if (url.hasQuery())
            target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
        if (host.contains(':'))
            host = '[' + host + ']';
        if (url.port() >= 0)
            host += ':' + QByteArray::number(url.port());
        QByteArray head = "POST " + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
        for (const auto &[name, value] : m_request.headers)
            head += name + ": " + value + "\r\n";
        head += "Content-Length: " + QByteArray::number(m_request.body.size()) +
                "\r\nConnection: close\r\n\r\n";
        return head;
    }

    // One wait of at most a slice; a byte either way restarts the idle clock.
    template <class Wait> Error step(Wait wait)
    {
        if (m_cancel.load())
            return Error::Cancelled;
        if (m_deadline.hasExpired() || m_idle.hasExpired())
            return Error::TimedOut;
        const qint64 left = qMin(m_deadline.remainingTime(), m_idle.remainingTime());
        if (wait(int(qBound<qint64>(1, left, qint64(sliceMs))))) {
            m_idle.setRemainingTime(m_request.idleTimeoutMs);
            return Error::None;
        }
        const auto error = m_socket->error();
        if (error != QAbstractSocket::SocketTimeoutError &&
            error != QAbstractSocket::UnknownSocketError)
            return error == QAbstractSocket::RemoteHostClosedError ? Error::None : Error::Offline;
        return Error::None;
    }

    template <class Done> Error waitUntil(Done done)
    {
        while (!done()) {
            if (m_socket->state() == QAbstractSocket::UnconnectedState &&
                m_socket->error() != QAbstractSocket::UnknownSocketError)
                return Error::Offline;
            if (Error e = step([this](int ms) {
                    m_socket->waitForConnected(ms);
                    if (auto *tls = qobject_cast<QSslSocket *>(m_socket.get()))
                        tls->waitForEncrypted(ms);
                    return false;
                });
                e != Error::None)
                return e;
        }
        return Error::None;
    }

    // Appends what arrives to `m_in`; false once the connection is closed.
    Error receive(bool &open)
    {
        open = m_socket->state() == QAbstractSocket::ConnectedState;
        if (m_socket->bytesAvailable() == 0 && open) {
            if (Error e = step([this](int ms) { return m_socket->waitForReadyRead(ms); });
                e != Error::None)
                return e;
        }
        const qint64 room = m_request.maxReplyBytes + maxHeaderBytes + 64 - m_in.size();
        if (room <= 0)
            return Error::TooLarge;
        m_in += m_socket->read(qMin<qint64>(room, 64 * 1024));
        open =
            m_socket->state() == QAbstractSocket::ConnectedState || m_socket->bytesAvailable() > 0;
        return Error::None;
    }

    Error readReply(UploadReply &reply)
    {
        bool open = true;
        qsizetype headEnd = -1;
        for (;;) {
            headEnd = m_in.indexOf("\r\n\r\n");
            if (headEnd >= 0) {
                reply.status = statusOf(m_in.left(headEnd));
                if (reply.status == 0)
                    return Error::BadReply;
                if (reply.status >= 100 && reply.status < 200) { // an interim answer: skip it
                    m_in.remove(0, headEnd + 4);
                    continue;
                }
                break;
            }
            if (m_in.size() > maxHeaderBytes)
                return Error::BadReply;
            if (!open)
                return m_in.isEmpty() ? Error::Offline : Error::BadReply;
            if (Error e = receive(open); e != Error::None)
                return e;
        }
        const QByteArray head = m_in.left(headEnd).toLower();
        m_in.remove(0, headEnd + 4);
        const QByteArray length = headerValue(head, "content-length");
        const bool chunked = headerValue(head, "transfer-encoding").contains("chunked");
        qint64 expected = -1;
        if (!chunked && !length.isEmpty()) {
            bool ok = false;
            expected = length.toLongLong(&ok);
            if (!ok || expected < 0)
                return Error::BadReply;
            if (expected > m_request.maxReplyBytes)
                return Error::TooLarge;
        }
        for (;;) {
            if (chunked) {
                if (std::optional<Error> e = dechunk(reply.body))
                    return *e;
            } else {
                reply.body += m_in;
                m_in.clear();
                if (reply.body.size() > m_request.maxReplyBytes)
                    return Error::TooLarge;
                if (expected >= 0 && reply.body.size() >= expected) {
                    reply.body.truncate(expected);
                    return Error::None;
                }
            }
            if (!open)
                return expected < 0 && !chunked ? Error::None : Error::BadReply;
            if (Error e = receive(open); e != Error::None)
                return e;
        }
    }

    // Moves whole chunks from `m_in` to `body`: Error::None once the last chunk is in, nothing
    // while more is needed.
    std::optional<Error> dechunk(QByteArray &body)
    {
        for (;;) {
            const qsizetype lineEnd = m_in.indexOf("\r\n");
            if (lineEnd < 0)
                return m_in.size() > 1024 ? std::optional(Error::BadReply) : std::nullopt;
            bool ok = false;
            const qint64 size = m_in.left(lineEnd).split(';').first().trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0)
                return Error::BadReply;
            if (size == 0)
                return Error::None; // trailers, if any, are not needed
            if (body.size() + size > m_request.maxReplyBytes)
                return Error::TooLarge;
            if (m_in.size() < lineEnd + 2 + size + 2)
                return std::nullopt;
            body += m_in.mid(lineEnd + 2, size);
            m_in.remove(0, lineEnd + 2 + size + 2);
        }
    }

    static int statusOf(const QByteArray &head)
    {
        const QByteArray line = head.left(head.indexOf("\r\n"));
        if (!line.startsWith("HTTP/1."))
            return 0;
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        const int status = parts.value(1).toInt(&ok);
        return ok && status >= 100 && status <= 999 ? status : 0;
    }

    static QByteArray headerValue(const QByteArray &lowerHead, const QByteArray &name)
    {
        for (const QByteArray &line : lowerHead.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed() == name)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }

    const UploadRequest &m_request;
    const std::atomic<bool> &m_cancel;
    QDeadlineTimer m_deadline;
    QDeadlineTimer m_idle;
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_in;
};

} // namespace

UploadReply postOnce(const UploadRequest &request, const std::atomic<bool> &cancel)
{
    return Exchange(request, cancel).run();
}

} // namespace vistrel
