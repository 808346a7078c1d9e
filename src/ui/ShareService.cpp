#include "ui/ShareService.h"

#include "engines/ClipboardTools.h"
#include "engines/ShareResponse.h"
#include "engines/UploadClient.h"
#include "platform/Desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFuture>
#include <QPointer>
#include <QThread>
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

enum class Outcome { NotSetUp, Offline, TimedOut, Cancelled, Failed, Linked };

void report(Toasts &toasts, Outcome outcome, const QString &link = {})
{
    switch (outcome) {
    case Outcome::NotSetUp:
        toasts.show(QCoreApplication::translate("ShareService", "Quick-share isn't set up yet"));
        break;
    case Outcome::Offline:
        toasts.show(QCoreApplication::translate("ShareService", "Share failed — offline?"));
        break;
    case Outcome::TimedOut:
        toasts.show(QCoreApplication::translate("ShareService", "Share failed — the server took too long"));
        break;
    case Outcome::Cancelled:
        toasts.show(QCoreApplication::translate("ShareService", "Share cancelled"));
        break;
    case Outcome::Failed:
        toasts.show(QCoreApplication::translate("ShareService", "Share failed"));
        break;
    case Outcome::Linked:
        toasts.show(QCoreApplication::translate("ShareService", "Link copied · %1").arg(link));
        break;
    }
}

void upload(const QByteArray &png, const QString &token, const QUrl &endpoint,
            const Platform &platform, const ShareService::Done &finish)
{
    const QByteArray boundary = ShareService::newBoundary();
    UploadRequest request;
    request.url = endpoint;
    request.headers = {{"Authorization", "Bearer " + token.toUtf8()},
                       {"Content-Type", "multipart/form-data; boundary=" + boundary},
                       {"User-Agent", "Vistrel/" VISTREL_VERSION}};
    request.body = ShareService::body(png, boundary);
    request.idleTimeoutMs = ShareService::timeoutMs;
    request.deadlineMs = ShareService::deadlineMs;
    request.maxReplyBytes = ShareResponse::maxBodyBytes;

    // The exchange blocks a thread of its own; a click on the toast, or quitting, cancels it.
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto reply = std::make_shared<UploadReply>();
    QThread *worker = QThread::create([request = std::move(request), cancel, reply] {
        *reply = postOnce(request, *cancel);
    });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, worker, [cancel] { *cancel = true; });
    platform.toasts->showUntilReplaced(QCoreApplication::translate("ShareService", "Sharing… (click to cancel)"),
                                       [cancel] { *cancel = true; });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(worker, &QThread::finished, qApp, [reply, platform, finish] {
        Toasts &toasts = *platform.toasts;
        using Error = UploadReply::Error;
        switch (reply->error) {
        case Error::Offline:
            report(toasts, Outcome::Offline);
            return finish(std::nullopt);
        case Error::TimedOut:
            report(toasts, Outcome::TimedOut);
            return finish(std::nullopt);
        case Error::Cancelled:
            report(toasts, Outcome::Cancelled);
            return finish(std::nullopt);
        case Error::TooLarge:
        case Error::BadReply:
            report(toasts, Outcome::Failed);
            return finish(std::nullopt);
        case Error::None:
            break;
        }
        const std::optional<QString> link = ShareResponse::parse(reply->status, reply->body);
        if (!link) {
            report(toasts, Outcome::Failed);
            return finish(std::nullopt);
        }
        platform.clipboard->setText(*link);
        report(toasts, Outcome::Linked, *link);
        finish(link);
    });
    worker->start();
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

void ShareService::share(const QImage &image, const Platform &platform, QObject *context, Done done)
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
        QTimer::singleShot(0, qApp, [toasts = platform.toasts, finish] {
            report(*toasts, Outcome::NotSetUp);
            finish(std::nullopt);
        });
        return;
    }
    QtConcurrent::run([image] { return encodePng(image); })
        .then(qApp, [token = *token, url = *endpoint, platform, finish](const QByteArray &png) {
            if (png.isEmpty()) {
                finish(std::nullopt);
                return;
            }
            upload(png, token, url, platform, finish);
        });
}

} // namespace vistrel
