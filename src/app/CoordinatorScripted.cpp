// Captures for scripts: the picture goes where the command line said, never to a toolbar or
// an editor, and the caller learns whether one was taken.
#include "app/CaptureCoordinator.h"

#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "ui/Notifier.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent>

namespace vistrel {

void CaptureCoordinator::captureForScript(const ScriptedCapture &request, ScriptedDone done)
{
    using Source = ScriptedCapture::Source;
    // One overlay at a time; a script is told rather than queued behind the user.
    if (m_busy || m_script)
        return done(QStringLiteral("another capture is on screen"), {});
    if (request.source == Source::Window && !m_platform.limits.windowCapture.isEmpty())
        return done(m_platform.limits.windowCapture, {});
    if (request.source != Source::Full) {
        m_script = PendingScript{request, std::move(done)};
        runOverlayMode(request.source == Source::Area ? Mode::Area : Mode::Window);
        return;
    }
    m_script = PendingScript{request, std::move(done)};
    const auto content = beginBusyMode();
    if (!content)
        return; // answered by reportStartFailure
    PendingScript script = *std::exchange(m_script, std::nullopt);
    m_busy = false;
    const auto display = mainDisplay(*content, m_platform.screens->primaryDisplayId());
    if (!display)
        return script.done(CaptureError::noDisplay().errorDescription(), {});
    const Result<QImage> image = m_capture.captureDisplay(*display, ownWindows(*content));
    if (!image)
        return script.done(image.error().errorDescription(), {});
    keepCopy(*image);
    deliverToScript(*image, script.request, script.done);
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

void CaptureCoordinator::deliverToScript(const QImage &image, const ScriptedCapture &request,
                                         ScriptedDone done)
{
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
        QString error;
        if (!ImageFiles::saveImage(image, output, &error))
            return {QStringLiteral("cannot write %1: %2").arg(output, error), {}};
        return {};
    }));
}

} // namespace vistrel
