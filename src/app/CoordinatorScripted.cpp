// Captures for scripts: the picture goes where the command line said, never to a toolbar or
// an editor, and the caller learns whether one was taken.
#include "app/CaptureCoordinator.h"

#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "ui/Notifier.h"

#include <QFile>
#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent>

#include <sys/stat.h>

namespace vistrel {

namespace {

// Only a regular file (or a link to one) is replaced: a pipe, a device or a folder by that name
// is a mistake, and a pipe would be swapped for a file nobody reads.
QString unusableOutput(const QString &output)
{
    struct stat st;
    if (output == QLatin1String("-") || ::stat(QFile::encodeName(output).constData(), &st) != 0 ||
        S_ISREG(st.st_mode))
        return {};
    return QStringLiteral("%1 exists and is not a regular file").arg(output);
}

} // namespace

void CaptureCoordinator::captureForScript(const ScriptedCapture &request, ScriptedDone done,
                                          QObject *caller)
{
    using Source = ScriptedCapture::Source;
    // One overlay at a time; a script is told rather than queued behind the user.
    if (m_busy || m_script)
        return done(QStringLiteral("another capture is on screen"), {});
    if (request.source == Source::Window && !m_platform.limits.windowCapture.isEmpty())
        return done(m_platform.limits.windowCapture, {});
    // Before the overlay: no choosing an area for a file that cannot be written.
    if (const QString why = unusableOutput(request.output); !why.isEmpty())
        return done(why, {});
    m_script = PendingScript{request, std::move(done), caller};
    if (caller)
        connect(caller, &QObject::destroyed, this, [this](QObject *gone) { dropScriptOf(gone); });
    if (request.source != Source::Full)
        return runOverlayMode(request.source == Source::Area ? Mode::Area : Mode::Window);
    const auto layout = beginBusyMode();
    if (!layout)
        return; // answered by reportStartFailure
    m_busy = false;
    finishScript(*std::exchange(m_script, std::nullopt), grabMainDisplay(*layout));
}

void CaptureCoordinator::dropScriptOf(const QObject *caller)
{
    // Once its overlay is up; a full-screen capture is over before anyone could hang up.
    if (m_script && m_script->caller == caller && m_selectionOverlay)
        handleOutcome(std::nullopt, {}, {});
}

void CaptureCoordinator::reportStartFailure(const CaptureError &error)
{
    if (auto script = std::exchange(m_script, std::nullopt)) {
        const QString why = error.errorDescription();
        script->done(why.isEmpty() ? QStringLiteral("the capture was cancelled") : why, {});
        return;
    }
    Notifier::error(m_platform.alerts, error);
}

void CaptureCoordinator::finishScript(const PendingScript &script, const Result<QImage> &picture)
{
    if (!picture) {
        // An error without words is still a failure: a script must not take it for success.
        const QString why = picture.error().errorDescription();
        return script.done(why.isEmpty() ? QStringLiteral("the capture was cancelled") : why, {});
    }
    const QImage image = *picture;
    keepCopy(image);
    const ScriptedCapture &request = script.request;
    const ScriptedDone done = script.done;
    if (request.clipboard && !ClipboardTools::copy(*m_platform.clipboard, image))
        return done(QStringLiteral("the picture could not be put on the clipboard"), {});
    if (request.output.isEmpty())
        return done({}, {});
    // Encoding and writing run on a worker: the app stays responsive on a slow disk.
    using Outcome = std::pair<QString, QByteArray>; // why it failed, or the PNG for "-"
    auto *watcher = new QFutureWatcher<Outcome>(this);
    connect(watcher, &QFutureWatcher<Outcome>::finished, this, [watcher, done] {
        const Outcome outcome = watcher->result();
        watcher->deleteLater();
        done(outcome.first, outcome.second);
    });
    const QString output = request.output;
    watcher->setFuture(QtConcurrent::run([image, output]() -> Outcome {
        if (output == QLatin1String("-")) {
            QByteArray png = encodePng(image);
            if (png.isEmpty())
                return {QStringLiteral("the picture could not be encoded"), {}};
            return {{}, png};
        }
        // Again: something may have taken the name while the picture was chosen.
        if (const QString why = unusableOutput(output); !why.isEmpty())
            return {why, {}};
        QString error;
        if (!ImageFiles::saveImage(image, output, &error))
            return {QStringLiteral("cannot write %1: %2").arg(output, error), {}};
        return {};
    }));
}

} // namespace vistrel
