#include "output/ShareService.h"

#include "output/ClipboardTools.h"
#include "output/Hud.h"
#include "output/ShareResponse.h"
#include "platform/Desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUuid>
#include <QtConcurrent>

namespace vistrel {

namespace {

std::optional<QString> trimmedFile(const QString &relativePath)
{
    QFile file(QDir::homePath() + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Settings files are a line or two; a huge one is not ours.
    const QString text = QString::fromUtf8(file.read(64 * 1024)).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

// Line breaks or other control characters would end the header early or be refused by
// the server; such a token cannot be sent as it is.
bool fitsInHeader(const QString &token)
{
    for (const QChar c : token) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

enum class Outcome { NotSetUp, Offline, Failed, Linked };

void report(Outcome outcome, const QString &link = {})
{
    switch (outcome) {
    case Outcome::NotSetUp:
        Hud::show(QStringLiteral("Quick-share isn't set up yet"));
        break;
    case Outcome::Offline:
        Hud::show(QStringLiteral("Share failed — offline?"));
        break;
    case Outcome::Failed:
        Hud::show(QStringLiteral("Share failed"));
        break;
    case Outcome::Linked:
        Hud::show(QStringLiteral("Link copied · ") + link);
        break;
    }
}

// Failures below the HTTP layer: no connection, name lookup, TLS, time-out, proxy.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

void upload(const QByteArray &png, const QString &token, const QUrl &endpoint,
            Clipboard *clipboard, const ShareService::Done &finish)
{
    const QByteArray boundary = ShareService::newBoundary();
    QNetworkRequest request(endpoint);
    request.setTransferTimeout(ShareService::timeoutMs);
    // A redirect would carry the token and the picture somewhere we were not told about.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary);

    auto *manager = new QNetworkAccessManager(qApp);
    QNetworkReply *reply = manager->post(request, ShareService::body(png, boundary));
    auto received = std::make_shared<QByteArray>();
    auto oversized = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, received, oversized] {
        if (*oversized)
            return;
        received->append(reply->read(ShareResponse::maxBodyBytes + 1 - received->size()));
        if (received->size() > ShareResponse::maxBodyBytes) {
            *oversized = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, manager,
                     [reply, manager, received, oversized, clipboard, finish] {
        reply->deleteLater();
        manager->deleteLater();
        if (!*oversized && isTransportError(reply->error())) {
            report(Outcome::Offline);
            finish(std::nullopt);
            return;
        }
        if (!*oversized)
            received->append(reply->read(ShareResponse::maxBodyBytes + 1 - received->size()));
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const std::optional<QString> link =
            *oversized ? std::nullopt : ShareResponse::parse(status, *received);
        if (!link) {
            report(Outcome::Failed);
            finish(std::nullopt);
            return;
        }
        clipboard->setText(*link);
        report(Outcome::Linked, *link);
        finish(link);
    });
}

} // namespace

std::optional<QString> ShareService::token()
{
    const QByteArray fromEnvironment = qgetenv("VISTREL_UPLOAD_TOKEN");
    if (!fromEnvironment.isEmpty())
        return QString::fromUtf8(fromEnvironment);
    return trimmedFile(QStringLiteral("/.vistrel/share-token"));
}

std::optional<QUrl> ShareService::endpoint()
{
    std::optional<QString> text;
    const QByteArray fromEnvironment = qgetenv("VISTREL_UPLOAD_URL");
    if (!fromEnvironment.trimmed().isEmpty())
        text = QString::fromUtf8(fromEnvironment).trimmed();
    else
        text = trimmedFile(QStringLiteral("/.vistrel/share-url"));
    if (!text)
        return std::nullopt;
    const QUrl url(*text, QUrl::StrictMode);
    if (!ShareResponse::isAcceptableEndpoint(url))
        return std::nullopt;
    return url;
}

QByteArray ShareService::newBoundary()
{
    return "vl-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
}

QByteArray ShareService::body(const QByteArray &png, const QByteArray &boundary)
{
    QByteArray body;
    body.reserve(png.size() + 256);
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"vistrel.png\"\r\n";
    body += "Content-Type: image/png\r\n\r\n";
    body += png;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

void ShareService::share(const QImage &image, Clipboard &clipboard, QObject *context, Done done)
{
    QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    auto finish = [guard, hasContext, done](const std::optional<QString> &link) {
        if (done && (!hasContext || guard))
            done(link);
    };
    const std::optional<QString> token = ShareService::token();
    const std::optional<QUrl> endpoint = token ? ShareService::endpoint() : std::nullopt;
    if (!token || !endpoint || !fitsInHeader(*token)) {
        // Report on the next turn, like every other outcome, so callers see one order.
        QTimer::singleShot(0, qApp, [finish] {
            report(Outcome::NotSetUp);
            finish(std::nullopt);
        });
        return;
    }
    Clipboard *target = &clipboard;
    QtConcurrent::run([image] { return encodePng(image); })
        .then(qApp, [token = *token, url = *endpoint, target, finish](const QByteArray &png) {
            if (png.isEmpty()) {
                finish(std::nullopt);
                return;
            }
            upload(png, token, url, target, finish);
        });
}

} // namespace vistrel
