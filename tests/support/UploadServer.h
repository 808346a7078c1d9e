#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpServer>

#include <memory>

namespace vistrel::test {

// One HTTP request as the server read it. Header names are lower-case.
struct ReceivedRequest
{
    QByteArray method;
    QByteArray target;
    QMap<QByteArray, QByteArray> headers;
    QByteArray body;
};

// A minimal HTTP/1.1 server on 127.0.0.1 (plain, or TLS with the test certificate) that
// records each request and answers every one with the same canned reply.
class UploadServer : public QObject
{
    Q_OBJECT
public:
    explicit UploadServer(bool tls, QObject *parent = nullptr);
    ~UploadServer() override;

    bool listen(quint16 port = 0);
    quint16 port() const;
    QString url(const QString &path = QStringLiteral("/api/upload")) const;

    void setReply(int status, const QByteArray &body,
                  const QByteArray &contentType = "application/json");

    // A hostile answer: a 200 whose body never ends, one byte every `dripMs` (Drip); or a reset
    // connection as soon as the request's head is in, while the body is still coming (Reset).
    enum class Stream { No, Drip, Reset };
    void setStream(Stream stream, int dripMs = 500)
    {
        m_stream = stream;
        m_dripMs = dripMs;
    }
    bool streamOpen() const { return m_streamOpen; } // until the client closes the connection

    const QList<ReceivedRequest> &requests() const { return m_requests; }

    // The self-signed certificate the TLS server presents (valid for 127.0.0.1).
    static QSslConfiguration serverConfiguration();
    static QSslCertificate certificate();

signals:
    void requestReceived();

private:
    void serve(QTcpSocket *socket);
    void drip(QTcpSocket *socket);

    std::unique_ptr<QTcpServer> m_server;
    int m_status = 200;
    QByteArray m_body;
    QByteArray m_contentType;
    QList<ReceivedRequest> m_requests;
    Stream m_stream = Stream::No;
    int m_dripMs = 500;
    bool m_streamOpen = false;
};

} // namespace vistrel::test
