#include "ui/ShareService.h"
#include "FakeDesktop.h"
#include "FakeKeyring.h"
#include "engines/ClipboardTools.h"
#include "engines/ShareResponse.h"
#include "ui/ToastHost.h"

#include "UploadServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ostream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Readable failures for texts and links.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace vistrel;
using vistrel::test::UploadServer;

namespace {

// A private home and a clean environment; the test certificate is trusted in this
// process only.
class Share : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_savedHome = qgetenv("HOME");
        m_savedUrl = qgetenv("VISTREL_UPLOAD_URL");
        qputenv("HOME", m_home.path().toUtf8());
        qunsetenv("VISTREL_UPLOAD_TOKEN");
        qunsetenv("VISTREL_UPLOAD_URL");
        QDir(m_home.path()).mkpath(QStringLiteral(".vistrel"));
        static const bool trusted = [] {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.addCaCertificate(UploadServer::certificate());
            QSslConfiguration::setDefaultConfiguration(configuration);
            return true;
        }();
        (void)trusted;
        m_image = QImage(1280, 800, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < m_image.height(); ++y)
            for (int x = 0; x < m_image.width(); ++x)
                m_image.setPixel(x, y, qRgb(x * 8 % 256, y * 15 % 256, 200));
    }
    void TearDown() override
    {
        qputenv("HOME", m_savedHome);
        qunsetenv("VISTREL_UPLOAD_TOKEN");
        qputenv("VISTREL_UPLOAD_URL", m_savedUrl);
    }

    void writeHomeFile(const QString &name, const QByteArray &content)
    {
        QFile file(m_home.filePath(QStringLiteral(".vistrel/") + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    struct Result
    {
        bool finished = false;
        std::optional<QString> link;
        QString toast;
    };

    Result runShare(ShareWaits waits = {})
    {
        Result result;
        ShareService::share(
            m_image, platform(), settings(), nullptr,
            [&](const std::optional<QString> &link) {
                result.finished = true;
                result.link = link;
                if (m_toasts.current())
                    result.toast = m_toasts.current()->text();
            },
            [this] { ++m_setUps; }, waits);
        [&] { ASSERT_TRUE(QTest::qWaitFor([&] { return result.finished; }, 20000)); }();
        return result;
    }

    // The preferences' file and the keyring in the private home.
    ShareSettings settings()
    {
        return ShareSettings(m_home.filePath("vistrel.conf"), &m_keyring, m_home.path());
    }

    // The fake desktop with the app's own toasts, which a click can cancel.
    Platform platform()
    {
        Platform p = m_desktop.platform();
        p.toasts = &m_toasts;
        return p;
    }

    QTemporaryDir m_home;
    QByteArray m_savedHome;
    QByteArray m_savedUrl;
    FakeDesktop m_desktop;
    FakeKeyring m_keyring;
    ToastHost m_toasts;
    QImage m_image;
    int m_setUps = 0; // times Share showed where to set it up
};

} // namespace

TEST_F(Share, UploadsTheExactFormAndCopiesTheLink)
{
    UploadServer server(true);
    ASSERT_TRUE(server.listen());
    server.setReply(200, R"({"url":"https://share.test/s/abc123","id":7})");
    qputenv("VISTREL_UPLOAD_TOKEN", "  ");
    qputenv("VISTREL_UPLOAD_URL", server.url().toUtf8());
    writeHomeFile(QStringLiteral("share-token"), "from-file\n");

    const Result result = runShare();
    EXPECT_EQ(result.link, QStringLiteral("https://share.test/s/abc123"));
    EXPECT_EQ(result.toast, QStringLiteral("Link copied · https://share.test/s/abc123"));
    EXPECT_EQ(m_desktop.clipboardText, QStringLiteral("https://share.test/s/abc123"));

    ASSERT_EQ(server.requests().size(), 1);
    const auto &request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/upload");
    // A token of spaces in the environment is used as it stands.
    EXPECT_EQ(request.headers.value("authorization"), "Bearer   ");

    const QByteArray contentType = request.headers.value("content-type");
    const QRegularExpression form(
        "^multipart/form-data; "
        "boundary=(vl-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$");
    const auto match = form.match(QString::fromLatin1(contentType));
    ASSERT_TRUE(match.hasMatch()) << contentType.constData();
    const QByteArray boundary = match.captured(1).toLatin1();
    const QByteArray prefix =
        "--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"vistrel.png\"\r\n"
        "Content-Type: image/png\r\n\r\n";
    const QByteArray suffix = "\r\n--" + boundary + "--\r\n";
    ASSERT_TRUE(request.body.startsWith(prefix));
    ASSERT_TRUE(request.body.endsWith(suffix));
    const QByteArray png =
        request.body.mid(prefix.size(), request.body.size() - prefix.size() - suffix.size());
    EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32),
              m_image.convertToFormat(QImage::Format_ARGB32));

    // Every upload has a boundary of its own.
    EXPECT_NE(ShareService::newBoundary(), ShareService::newBoundary());
}

TEST_F(Share, AFileGoesWithItsTypeAndOneThatCannotBeReadSaysWhy)
{
    UploadServer server(true);
    ASSERT_TRUE(server.listen());
    server.setReply(200, R"({"url":"https://share.test/v"})");
    qputenv("VISTREL_UPLOAD_URL", server.url().toUtf8());
    qputenv("VISTREL_UPLOAD_TOKEN", "t");
    const QByteArray bytes = QByteArray("\x1a\x45\xdf\xa3 not quite a video\0\r\n", 24);
    QFile file(m_home.filePath("Recording.WebM"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    auto runFile = [&](const QString &path) {
        Result result;
        ShareService::shareFile(path, "video/webm", platform(), settings(), nullptr,
                                [&](const std::optional<QString> &link) {
                                    result.finished = true;
                                    result.link = link;
                                    if (m_toasts.current())
                                        result.toast = m_toasts.current()->text();
                                });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.finished; }, 20000));
        return result;
    };
    EXPECT_EQ(runFile(file.fileName()).link, QStringLiteral("https://share.test/v"));
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray &body = server.requests().first().body;
    EXPECT_TRUE(body.contains("filename=\"vistrel.webm\"\r\nContent-Type: video/webm\r\n\r\n" +
                              bytes + "\r\n--"))
        << body.constData();

    const Result gone = runFile(m_home.filePath("gone.webm"));
    EXPECT_FALSE(gone.link);
    EXPECT_EQ(gone.toast, QStringLiteral("Share failed — No such file or directory"));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(Share, TheTokenComesFromTheKeyringOrTheFile)
{
    UploadServer server(true);
    ASSERT_TRUE(server.listen());
    server.setReply(200, R"({"url":"https://share.test/x"})");
    writeHomeFile(QStringLiteral("share-url"), server.url().toUtf8() + "\n");
    writeHomeFile(QStringLiteral("share-token"), "abc\n");
    EXPECT_EQ(runShare().link, QStringLiteral("https://share.test/x"));

    // Kept through Preferences: in the keyring, which then wins.
    ASSERT_EQ(settings().storeToken(QStringLiteral("from-keyring")).place,
              ShareSettings::Source::Keyring);
    EXPECT_EQ(runShare().link, QStringLiteral("https://share.test/x"));

    // A keyring that cannot be asked is said so, not taken for "not set up".
    m_keyring.refusal = QStringLiteral("locked");
    const Result refused = runShare();
    EXPECT_EQ(refused.toast,
              QStringLiteral("Share failed — the keyring did not give the token: locked"));
    EXPECT_EQ(m_setUps, 0);

    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[0].headers.value("authorization"), "Bearer abc");
    EXPECT_EQ(server.requests()[1].headers.value("authorization"), "Bearer from-keyring");
}

TEST_F(Share, EachFailureHasItsToastAndLeavesTheClipboardAlone)
{
    const QString failed = QStringLiteral("Share failed");
    auto server = std::make_unique<UploadServer>(true);
    ASSERT_TRUE(server->listen());

    // Not set up: no token, then a token without an endpoint; each time the place to set it
    // up is shown.
    qputenv("VISTREL_UPLOAD_URL", server->url().toUtf8());
    Result result = runShare();
    EXPECT_EQ(result.toast, QStringLiteral("Quick-share isn't set up yet"));
    qputenv("VISTREL_UPLOAD_TOKEN", "t0k");
    qunsetenv("VISTREL_UPLOAD_URL");
    EXPECT_EQ(runShare().toast, QStringLiteral("Quick-share isn't set up yet"));
    // An address emptied in Preferences stands, whatever the older file says.
    writeHomeFile(QStringLiteral("share-url"), server->url().toUtf8());
    ASSERT_TRUE(settings().setAddress(QString()));
    EXPECT_EQ(runShare().toast, QStringLiteral("Quick-share isn't set up yet"));
    EXPECT_EQ(m_setUps, 3);
    EXPECT_TRUE(server->requests().isEmpty());
    qputenv("VISTREL_UPLOAD_URL", server->url().toUtf8());

    const struct
    {
        int status;
        QByteArray body;
    } answers[] = {
        {201, R"({"url":"https://share.test/created"})"},
        {200, "<html>not json</html>"},
        {200, R"(["https://share.test/array"])"},
        {200, R"({"url":42})"},
        {200, R"({"link":"https://share.test/other-key"})"},
        {500, R"({"url":"https://share.test/oops"})"},
        // Links a hostile server might hand out.
        {200, R"j({"url":"javascript:alert(1)"})j"},
        {200, R"({"url":"file:///etc/passwd"})"},
        {200, R"({"url":"https://share.test/a\nrm -rf ~"})"},
        {200, R"({"url":"https://share.test/\u202egpj.exe"})"},
        {200, R"({"url":"https://paypal.com@evil.test/login"})"},
        // Larger than any link needs, though a link is in it.
        {200,
         R"({"url":"https://share.test/big","pad":")" + QByteArray(5 * 1024 * 1024, 'a') + "\"}"},
    };
    int uploads = 0;
    for (const auto &answer : answers) {
        server->setReply(answer.status, answer.body);
        result = runShare();
        EXPECT_EQ(result.toast, failed) << answer.status << answer.body.left(60).constData();
        EXPECT_EQ(result.link, std::nullopt);
        EXPECT_EQ(server->requests().size(), ++uploads);
    }

    // Nothing listens on a port the server just left.
    const QString url = server->url();
    server.reset();
    qputenv("VISTREL_UPLOAD_URL", url.toUtf8());
    EXPECT_EQ(runShare().toast, QStringLiteral("Share failed — the server refused the connection"));

    // A server that resets the connection mid-upload is said to have done so, not the network.
    UploadServer resetting(false);
    ASSERT_TRUE(resetting.listen());
    resetting.setStream(UploadServer::Stream::Reset);
    qputenv("VISTREL_UPLOAD_URL", resetting.url().toUtf8());
    EXPECT_EQ(runShare().toast,
              QStringLiteral("Share failed — the server closed the connection before it answered"));

    EXPECT_EQ(m_desktop.clipboardWrites, 0);
    EXPECT_TRUE(m_desktop.clipboardText.isEmpty());
}

TEST_F(Share, AKeyringThatNeverAnswersIsGivenUpOnOrCancelled)
{
    UploadServer server(true);
    ASSERT_TRUE(server.listen());
    writeHomeFile(QStringLiteral("share-url"), server.url().toUtf8() + "\n");
    ASSERT_EQ(settings().storeToken(QStringLiteral("from-keyring")).place,
              ShareSettings::Source::Keyring);
    m_keyring.stalled = true;
    const auto release = qScopeGuard([this] { m_keyring.stalled = false; });
    ShareWaits waits;
    waits.keyringWaitMs = 2500;

    // Left alone, it gives up with a word.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(runShare(waits).toast, QStringLiteral("Share failed — the keyring did not answer"));
    EXPECT_LT(clock.elapsed(), 8000);

    // While it waits, the toast says on what, and a click cancels.
    bool finished = false;
    ShareService::share(m_image, platform(), settings(), nullptr,
                        [&finished](const std::optional<QString> &) { finished = true; });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_toasts.current() && m_toasts.current()->clickable(); }, 2000));
    EXPECT_TRUE(m_toasts.current()->text().startsWith(QStringLiteral("Waiting for the keyring")));
    QTest::mouseClick(m_toasts.current(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 1000));
    EXPECT_EQ(m_toasts.current()->text(), QStringLiteral("Share cancelled"));
    // A token that comes late uploads nothing.
    m_keyring.stalled = false;
    QTest::qWait(300);
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(Share, PlainHttpOnlyToThisMachine)
{
    qputenv("VISTREL_UPLOAD_TOKEN", "secret");
    UploadServer server(false);
    ASSERT_TRUE(server.listen());
    server.setReply(200, R"({"url":"http://127.0.0.1/s/1"})");
    qputenv("VISTREL_UPLOAD_URL", server.url().toUtf8());
    EXPECT_EQ(runShare().link, QStringLiteral("http://127.0.0.1/s/1"));
    ASSERT_EQ(server.requests().size(), 1);

    for (const char *url :
         {"http://share.test/api/upload", "http://10.0.0.1/api/upload",
          "ftp://127.0.0.1/api/upload", "https://share.test/upload", "https:///api/upload"}) {
        EXPECT_FALSE(ShareResponse::isAcceptableEndpoint(QUrl(QString::fromLatin1(url)))) << url;
    }
    for (const char *url : {"https://share.test/api/upload", "http://localhost:8/api/upload",
                            "http://[::1]:8/api/upload", "http://127.0.0.2/v2/api/upload"}) {
        EXPECT_TRUE(ShareResponse::isAcceptableEndpoint(QUrl(QString::fromLatin1(url)))) << url;
    }
    // Plain http to another machine is said for what it is, and where to change it is shown.
    qputenv("VISTREL_UPLOAD_URL", "http://share.test/api/upload");
    EXPECT_EQ(runShare().toast,
              QStringLiteral("Sharing needs an https:// address: http:// sends the token in the "
                             "clear (only http://localhost is allowed)"));
    EXPECT_EQ(m_setUps, 1);
    EXPECT_EQ(server.requests().size(), 1);
}

// A server on a thread of its own, as another process would be: it reads the request's head,
// sends `answer`, and then, when flooding, a body that never ends, as fast as the connection
// takes it, until the client closes the connection.
class FloodServer
{
public:
    explicit FloodServer(QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                             "Connection: close\r\n\r\n{\"url\":\"",
                         bool flood = true)
        : m_answer(std::move(answer)), m_flood(flood)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_listener, 1) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FloodServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }
    bool open() const { return m_open; }
    qint64 sent() const { return m_sent; }

private:
    void serve()
    {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0)
            return;
        m_open = true;
        QByteArray request;
        char chunk[65536];
        while (!request.contains("\r\n\r\n")) { // the headers only: it answers at once
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            request.append(chunk, n);
        }
        ::send(fd, m_answer.constData(), size_t(m_answer.size()), MSG_NOSIGNAL);
        std::memset(chunk, 'a', sizeof chunk);
        // Bounded, so a client that never closes ends the test rather than the machine.
        QElapsedTimer clock;
        clock.start();
        while (m_flood && clock.elapsed() < 20000 && m_sent < 8ll * 1024 * 1024 * 1024) {
            const ssize_t n = ::send(fd, chunk, sizeof chunk, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            m_sent += n;
        }
        m_open = false;
        ::close(fd);
    }

    QByteArray m_answer;
    bool m_flood;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_open{false};
    std::atomic<qint64> m_sent{0};
};

TEST_F(Share, AnAnswerWithoutEndIsCutAtTheCapAndItsConnectionClosed)
{
    qputenv("VISTREL_UPLOAD_TOKEN", "secret");
    FloodServer server;
    ASSERT_NE(server.port(), 0);
    qputenv("VISTREL_UPLOAD_URL",
            QStringLiteral("http://127.0.0.1:%1/api/upload").arg(server.port()).toUtf8());
    const Result result = runShare();
    EXPECT_EQ(result.toast, QStringLiteral("Share failed"));
    // Nothing reads on: the connection is gone at once, near the cap (plus socket buffers).
    EXPECT_TRUE(QTest::qWaitFor([&] { return !server.open(); }, 3000));
    EXPECT_LT(server.sent(), 32 * 1024 * 1024);
}

TEST_F(Share, AChunkedAnswerIsReadWhole)
{
    qputenv("VISTREL_UPLOAD_TOKEN", "secret");
    FloodServer server("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                       "9\r\n{\"url\":\"h\r\n1b;x=y\r\nttp://127.0.0.1/s/chunked\"}\r\n0\r\n\r\n",
                       false);
    qputenv("VISTREL_UPLOAD_URL",
            QStringLiteral("http://127.0.0.1:%1/api/upload").arg(server.port()).toUtf8());
    EXPECT_EQ(runShare().link, QStringLiteral("http://127.0.0.1/s/chunked"));
}

TEST_F(Share, ADrippingAnswerMeetsTheDeadlineAndTheToastCancels)
{
    qputenv("VISTREL_UPLOAD_TOKEN", "secret");
    UploadServer server(false);
    ASSERT_TRUE(server.listen());
    server.setStream(UploadServer::Stream::Drip, 100);
    qputenv("VISTREL_UPLOAD_URL", server.url().toUtf8());
    ShareWaits waits;
    waits.deadlineMs = 1500;
    QElapsedTimer clock;
    clock.start();
    Result result = runShare(waits);
    EXPECT_EQ(result.toast, QStringLiteral("Share failed — the server took too long"));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !server.streamOpen(); }, 3000));

    // While it runs, its toast says so and a click on it cancels.
    bool finished = false;
    auto done = [&](const std::optional<QString> &link) {
        finished = true;
        EXPECT_EQ(link, std::nullopt);
    };
    ShareService::share(m_image, platform(), settings(), nullptr, done);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_toasts.current() && m_toasts.current()->clickable(); }, 10000));
    EXPECT_TRUE(m_toasts.current()->text().startsWith(QStringLiteral("Sharing")));
    QTest::mouseClick(m_toasts.current(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 5000));
    EXPECT_EQ(m_toasts.current()->text(), QStringLiteral("Share cancelled"));
    EXPECT_EQ(m_desktop.clipboardWrites, 0);
}
