#include "app/ScriptedCaptures.h"

#include "app/CaptureFlow.h"
#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"

#include <QFile>
#include <QFutureWatcher>
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

ScriptedCaptures::ScriptedCaptures(const Platform &platform, CaptureFlow &flow, QObject *parent)
    : QObject(parent), m_platform(platform), m_flow(flow)
{
}

void ScriptedCaptures::capture(const Request &request, Done done, QObject *caller)
{
    using Source = Request::Source;
    // One overlay at a time; a script is told rather than queued behind the user.
    if (m_flow.busy() || m_flow.waitedFor())
        return done(QStringLiteral("another capture is on screen"), {});
    if (request.source == Source::Window && !m_platform.limits.windowCapture.isEmpty())
        return done(m_platform.limits.windowCapture, {});
    // Before the overlay: no choosing an area for a file that cannot be written.
    if (const QString why = unusableOutput(request.output); !why.isEmpty())
        return done(why, {});
    m_caller = caller;
    if (caller)
        connect(caller, &QObject::destroyed, this, [this](QObject *gone) {
            if (m_caller == gone && m_flow.waitedFor())
                m_flow.dropWaitedFor();
        });
    QPointer<ScriptedCaptures> self(this);
    const auto source = request.source == Source::Area     ? CaptureFlow::Source::Area
                        : request.source == Source::Window ? CaptureFlow::Source::Window
                                                           : CaptureFlow::Source::Full;
    m_flow.captureFor(source, [self, request, done](const Result<QImage> &picture) {
        if (self)
            self->finish(request, done, picture);
    });
}

void ScriptedCaptures::finish(const Request &request, const Done &done,
                              const Result<QImage> &picture)
{
    m_caller = nullptr;
    if (!picture) {
        // An error without words is still a failure: a script must not take it for success.
        const QString why = picture.error().errorDescription();
        return done(why.isEmpty() ? QStringLiteral("the capture was cancelled") : why, {});
    }
    const QImage image = *picture;
    m_flow.keepCopy(image);
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
