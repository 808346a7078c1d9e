#include "ui/ShareService.h"

#include "engines/ClipboardTools.h"
#include "engines/ShareResponse.h"
#include "engines/UploadClient.h"
#include "platform/Desktop.h"
#include "platform/PictureFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFuture>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QtConcurrent>

namespace vistrel {

namespace {

enum class Outcome { NotSetUp, Offline, TimedOut, Cancelled, Failed, Linked };

void report(Toasts &toasts, Outcome outcome, const QString &detail = {})
{
    const QString &link = detail;
    switch (outcome) {
    case Outcome::NotSetUp:
        toasts.show(QCoreApplication::translate("ShareService", "Quick-share isn't set up yet"));
        break;
    case Outcome::Offline:
        // What the connection said, when it said something: a refusal or a reset is no
        // reason to think the network is down.
        toasts.show(
            detail.isEmpty()
                ? QCoreApplication::translate("ShareService", "Share failed — offline?")
                : QCoreApplication::translate("ShareService", "Share failed — %1").arg(detail));
        break;
    case Outcome::TimedOut:
        toasts.show(
            QCoreApplication::translate("ShareService", "Share failed — the server took too long"));
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

// What is sent, made off the GUI thread: the bytes, or why there are none.
struct Payload
{
    QByteArray bytes;
    QByteArray fileName;
    QByteArray mimeType;
    QString error;
};

void upload(const Payload &payload, const QString &token, const QUrl &endpoint,
            const Platform &platform, int deadlineMs, const ShareService::Done &finish)
{
    const QByteArray boundary = ShareService::newBoundary();
    UploadRequest request;
    request.url = endpoint;
    request.headers = {{"Authorization", "Bearer " + token.toUtf8()},
                       {"Content-Type", "multipart/form-data; boundary=" + boundary},
                       {"User-Agent", "Vistrel/" VISTREL_VERSION}};
    request.body = ShareService::body(payload.bytes, boundary, payload.fileName, payload.mimeType);
    request.idleTimeoutMs = ShareService::timeoutMs;
    request.deadlineMs = deadlineMs;
    request.maxReplyBytes = ShareResponse::maxBodyBytes;

    // The exchange blocks a thread of its own; a click on the toast, or quitting, cancels it.
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto reply = std::make_shared<UploadReply>();
    QThread *worker = QThread::create(
        [request = std::move(request), cancel, reply] { *reply = postOnce(request, *cancel); });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, worker, [cancel] { *cancel = true; });
    platform.toasts->showUntilReplaced(
        QCoreApplication::translate("ShareService", "Sharing… (click to cancel)"),
        [cancel] { *cancel = true; });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(worker, &QThread::finished, qApp, [reply, platform, finish] {
        Toasts &toasts = *platform.toasts;
        using Error = UploadReply::Error;
        switch (reply->error) {
        case Error::Offline:
            report(toasts, Outcome::Offline, reply->why);
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

void shareWith(std::function<Payload()> produce, const Platform &platform,
               const ShareSettings &settings, QObject *context, ShareService::Done done,
               std::function<void()> setUp, ShareWaits waits);

} // namespace

QByteArray ShareService::newBoundary()
{
    return "vl-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
}

QByteArray ShareService::body(const QByteArray &png, const QByteArray &boundary)
{
    return body(png, boundary, "vistrel.png", "image/png");
}

QByteArray ShareService::body(const QByteArray &bytes, const QByteArray &boundary,
                              const QByteArray &fileName, const QByteArray &mimeType)
{
    QByteArray body;
    body.reserve(bytes.size() + 256);
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"" + fileName + "\"\r\n";
    body += "Content-Type: " + mimeType + "\r\n\r\n";
    body += bytes;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

void ShareService::share(const QImage &image, const Platform &platform,
                         const ShareSettings &settings, QObject *context, Done done,
                         std::function<void()> setUp, ShareWaits waits)
{
    shareWith(
        [image] {
            return Payload{encodePng(image), "vistrel.png", "image/png", {}};
        },
        platform, settings, context, std::move(done), std::move(setUp), waits);
}

void ShareService::shareFile(const QString &path, const QString &mimeType, const Platform &platform,
                             const ShareSettings &settings, QObject *context, Done done,
                             std::function<void()> setUp, ShareWaits waits)
{
    shareWith(
        [path, mimeType] {
            Payload payload{{},
                            "vistrel." + QFileInfo(path).suffix().toLower().toUtf8(),
                            mimeType.toUtf8(),
                            {}};
            const FileBytes read = readRegularFile(path, maxFileBytes);
            if (!read.error.isEmpty())
                payload.error = QCoreApplication::translate("ShareService", "Share failed — %1")
                                    .arg(read.error);
            payload.bytes = read.bytes;
            return payload;
        },
        platform, settings, context, std::move(done), std::move(setUp), waits);
}

namespace {

// Sharing set up, the token from the keyring, the payload made, the upload: the same for
// pictures and files.
void shareWith(std::function<Payload()> produce, const Platform &platform,
               const ShareSettings &settings, QObject *context, ShareService::Done done,
               std::function<void()> setUp, ShareWaits waits)
{
    QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    auto finish = [guard, hasContext, done](const std::optional<QString> &link) {
        if (done && (!hasContext || guard))
            done(link);
    };
    // Said on the next turn, like every other outcome, so callers see one order; then the
    // place to set it up.
    const std::function<void(QString)> refuse = [toasts = platform.toasts, finish,
                                                 setUp](const QString &why) {
        QTimer::singleShot(0, qApp, [toasts, finish, setUp, why] {
            if (why.isEmpty())
                report(*toasts, Outcome::NotSetUp);
            else
                toasts->show(why);
            finish(std::nullopt);
            if (setUp)
                setUp();
        });
    };
    const ShareSettings::Address address = settings.address();
    if (address.text.isEmpty())
        return refuse({});
    if (const QString why = ShareSettings::problem(address.text); !why.isEmpty())
        return refuse(why);
    const QUrl endpoint(address.text, QUrl::StrictMode);
    // The keyring may take a while (a prompt to unlock it): asked off the GUI thread.
    auto withToken = [produce, endpoint, platform, finish, refuse,
                      deadlineMs = waits.deadlineMs](ShareSettings::Token token) {
        if (!token.text && !token.keyringError.isEmpty()) {
            platform.toasts->show(
                QCoreApplication::translate("ShareService",
                                            "Share failed — the keyring did not give the token: %1")
                    .arg(token.keyringError));
            return finish(std::nullopt);
        }
        if (!token.text)
            return refuse({});
        if (const QString why = ShareSettings::tokenProblem(*token.text); !why.isEmpty())
            return refuse(why);
        auto encoded = [token = *token.text, endpoint, platform, finish,
                        deadlineMs](const Payload &payload) {
            if (!payload.error.isEmpty())
                platform.toasts->show(payload.error);
            if (payload.bytes.isEmpty())
                return finish(std::nullopt);
            upload(payload, token, endpoint, platform, deadlineMs, finish);
        };
        QtConcurrent::run(produce).then(qApp, encoded);
    };
    // A keyring that never answers (a hung service, a prompt nobody sees) must not leave Share
    // silent: after a moment the toast says what it waits on and a click gives up; past
    // `keyringWaitMs` it gives up by itself. A late token is then dropped.
    enum class Wait { Waiting, Answered, GivenUp };
    auto wait = std::make_shared<Wait>(Wait::Waiting);
    auto giveUp = [wait, toasts = platform.toasts, finish](const QString &why) {
        if (*wait != Wait::Waiting)
            return;
        *wait = Wait::GivenUp;
        toasts->show(why);
        finish(std::nullopt);
    };
    QTimer::singleShot(
        ShareService::keyringNoticeMs, qApp, [wait, toasts = platform.toasts, giveUp] {
            if (*wait != Wait::Waiting)
                return;
            toasts->showUntilReplaced(
                QCoreApplication::translate("ShareService",
                                            "Waiting for the keyring… (click to cancel)"),
                [giveUp] {
                    giveUp(QCoreApplication::translate("ShareService", "Share cancelled"));
                });
        });
    QTimer::singleShot(waits.keyringWaitMs, qApp, [giveUp] {
        giveUp(QCoreApplication::translate("ShareService",
                                           "Share failed — the keyring did not answer"));
    });
    settings.tokenLater(qApp, [wait, withToken](ShareSettings::Token token) {
        if (*wait != Wait::Waiting)
            return;
        *wait = Wait::Answered;
        withToken(std::move(token));
    });
}

} // namespace

} // namespace vistrel
