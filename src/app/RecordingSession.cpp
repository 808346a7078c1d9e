#include "app/RecordingSession.h"

#include "app/CaptureFlow.h"
#include "app/EditorSessions.h"
#include "app/Preferences.h"
#include "model/RecordingClock.h"
#include "ui/CountdownWindow.h"
#include "ui/Notifier.h"
#include "ui/RecordingControl.h"
#include "ui/RecordingFrame.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include <climits>
#include <cmath>
#include <cstdio>
#include <mutex>

#include <sys/stat.h>

namespace vistrel {

// What the source's thread and the GUI thread share: where frames go, and the clock whose
// pauses leave ticks out (the file shows no gap where the recording was paused). Times given
// to the clock count from the source's first frame.
struct RecordingSession::Pipe
{
    explicit Pipe(int fps) : clock(fps) {}

    std::mutex lock;
    RecordingWriter *writer = nullptr;
    QSize size;
    RecordingClock clock;
    std::function<qint64()> now;
    std::optional<qint64> firstFrameMs;
    qint64 lastOut = -1;
    QImage poster; // the first frame recorded, for the history's thumbnail

    qint64 sinceFirst(qint64 ms) const { return firstFrameMs ? ms - *firstFrameMs : 0; }
    // Where the file ends when stopped at `ms`: the last picture lasts until then.
    qint64 endTick(qint64 ms) const { return std::max(clock.endTick(sinceFirst(ms)), lastOut + 1); }
    void take(RecordedFrame frame)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!writer)
            return;
        if (!firstFrameMs)
            firstFrameMs = now() - frame.tick * 1000 / clock.fps();
        const auto out = clock.outputTick(frame.tick);
        if (!out || *out <= lastOut)
            return; // paused then
        QImage image = std::move(frame.image);
        // A source whose stream settled on another size still fills the file's frames.
        if (image.size() != size)
            image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_RGB32);
        if (poster.isNull())
            poster = image.scaled(image.size().boundedTo(QSize(640, 640)), Qt::KeepAspectRatio,
                                  Qt::SmoothTransformation);
        writer->push(image, *out);
        lastOut = *out;
    }
};

namespace {

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QList<QRect> screenAreas(bool available)
{
    QList<QRect> out;
    for (QScreen *s : QGuiApplication::screens())
        out.append(available ? s->availableGeometry() : s->geometry());
    return out;
}

// Why a file cannot be written at `path`, before an area is chosen for it; empty when it can.
QString unwritableOutput(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return QStringLiteral("%1 exists and is not a regular file").arg(path);
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("cannot write %1: the folder %2 does not exist")
            .arg(path, folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral("cannot write %1: the folder %2 is not writable")
            .arg(path, folder.filePath());
    return {};
}

} // namespace

RecordingSession::RecordingSession(const Platform &platform, CaptureFlow &flow,
                                   EditorSessions &sessions, QObject *parent)
    : QObject(parent), m_platform(platform), m_flow(flow), m_sessions(sessions),
      m_encoders(&FrameEncoder::create)
{
    m_steady.start();
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_durationTimer.setSingleShot(true);
    m_durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_ticker, &QTimer::timeout, this, [this] {
        if (m_model && m_model->state() == RecordingSessionModel::State::Countdown)
            countdownStep();
        else
            updateControl();
    });
    connect(&m_durationTimer, &QTimer::timeout, this, [this] { finish(QString()); });
    connect(&flow, &CaptureFlow::recordingAreaChosen, this, &RecordingSession::areaChosen);
    connect(&flow, &CaptureFlow::recordingAreaRefused, this, &RecordingSession::areaRefused);
}

RecordingSession::~RecordingSession()
{
    if (m_source)
        m_source->stop();
    if (m_pipe) {
        std::lock_guard<std::mutex> hold(m_pipe->lock);
        m_pipe->writer = nullptr;
    }
    if (m_watchingEscape && m_platform.escape)
        m_platform.escape->stop();
    dropWindows();
}

RecordingControl *RecordingSession::control() const
{
    return m_control;
}

CountdownWindow *RecordingSession::countdown() const
{
    return m_countdown;
}

qint64 RecordingSession::now() const
{
    return m_now ? m_now() : m_steady.elapsed();
}

// --- starting --------------------------------------------------------------------------------

void RecordingSession::startOrStop(double durationSeconds)
{
    if (active() && m_model->state() != RecordingSessionModel::State::Choosing)
        return stop();
    startRecording(durationSeconds);
}

void RecordingSession::startRecording(double durationSeconds)
{
    if (!m_platform.recorder)
        return Notifier::error(m_platform.alerts,
                               tr("Screen recording is not available on this desktop."));
    if (active())
        return;
    begin(std::nullopt, durationSeconds);
}

void RecordingSession::recordForScript(const Request &request, Done done, QObject *caller)
{
    if (!m_platform.recorder)
        return done(QStringLiteral("screen recording is not available on this desktop"), QString());
    if (active())
        return done(QStringLiteral("a recording is already running"), QString());
    if (!recordingFormatFor(request.output))
        return done(QStringLiteral("--output names a .webm, .mp4 or .gif file"), QString());
    if (const QString why = unwritableOutput(request.output); !why.isEmpty())
        return done(why, QString());
    Script script{request, std::move(done), caller};
    if (caller)
        connect(caller, &QObject::destroyed, this, [this](QObject *gone) {
            // The script was killed or hung up: nobody waits for the file. A recording under
            // way is finished and kept; an area not yet chosen is not asked for any more.
            if (!m_script || m_script->caller != gone)
                return;
            m_script->done = nullptr;
            if (m_model && m_model->state() == RecordingSessionModel::State::Choosing)
                m_flow.cancelRecordingChoice();
            else
                stop();
        });
    const double duration = request.durationSeconds;
    begin(std::move(script), duration);
}

void RecordingSession::begin(std::optional<Script> script, double durationSeconds)
{
    m_script = std::move(script);
    m_durationSeconds = durationSeconds;
    m_model.emplace(0);
    emit activeChanged(true);
    m_flow.chooseRecordingArea();
}

void RecordingSession::areaRefused(const QString &why)
{
    if (!m_model || m_model->state() != RecordingSessionModel::State::Choosing)
        return;
    m_model->stop(now(), why.isEmpty() ? QStringLiteral("the recording was cancelled") : why);
    end(m_model->failure());
}

void RecordingSession::areaChosen(const QRectF &rect, const DisplayInfo &display)
{
    // Asked for by this session, or Record on the toolbar of an ordinary capture.
    const bool asked = m_model && m_model->state() == RecordingSessionModel::State::Choosing;
    if (!asked && active())
        return m_platform.toasts->show(tr("A recording is already running"));
    if (!asked)
        m_durationSeconds = 0;
    const Preferences *prefs = m_sessions.preferences();
    m_model.emplace(prefs ? prefs->recordingCountdown() : 3);
    if (!asked)
        emit activeChanged(true);
    m_model->areaChosen();
    m_format = chosenFormat();
    m_path = m_script ? m_script->request.output : QString(); // made once the countdown is over
    m_historyId.clear();
    m_request = RecordingRequest{};
    m_request.display = display;
    m_request.fps = prefs ? prefs->recordingFps() : 30;
    m_request.showPointer = prefs ? prefs->recordingShowsPointer() : true;
    m_request.markClicks = prefs ? prefs->recordingMarksClicks() : false;
    // Whole device pixels inside the display: an area that fills it is the whole display.
    const QRectF pixels(rect.x() * display.scale, rect.y() * display.scale,
                        rect.width() * display.scale, rect.height() * display.scale);
    const QRect displayPixels(QPoint(0, 0), (display.frame.size() * display.scale).toSize());
    QRect pixelRect = pixels.toRect().intersected(displayPixels);
    if (pixelRect.isEmpty())
        pixelRect = displayPixels;
    m_request.pixelRect = pixelRect == displayPixels ? QRect() : pixelRect;
    m_area = RecordingSessionModel::coveringRect(
        QRectF(display.frame.topLeft() + QPointF(pixelRect.topLeft()) / display.scale,
               QSizeF(pixelRect.size()) / display.scale));
    if (m_platform.escape && !m_watchingEscape) {
        QPointer<RecordingSession> self(this);
        m_watchingEscape = m_platform.escape->start([self] {
            if (self)
                self->stop();
        });
    }
    if (m_model->countdownDone())
        return startAfterRepaint();
    m_countdown = new CountdownWindow(m_area);
    m_countdown->setNumber(m_model->countdownLeft());
    m_countdown->show();
    m_ticker.start(1000);
}

void RecordingSession::countdownStep()
{
    if (!m_model->countdownTick()) {
        if (m_countdown)
            m_countdown->setNumber(m_model->countdownLeft());
        return;
    }
    m_ticker.stop();
    if (m_countdown) {
        m_countdown->hide();
        m_countdown->deleteLater();
    }
    startAfterRepaint();
}

void RecordingSession::startAfterRepaint()
{
    // The overlay and the countdown have just gone: the first frame waits until what lay
    // beneath them has been repainted.
    constexpr int repaintMs = 120;
    QTimer::singleShot(repaintMs, this, [this] {
        if (m_model && m_model->countdownDone() && !m_source)
            startSource();
    });
}

RecordingFormat RecordingSession::chosenFormat() const
{
    if (m_script)
        return recordingFormatFor(m_script->request.output).value_or(RecordingFormat::WebM);
    const Preferences *prefs = m_sessions.preferences();
    const QString name = prefs ? prefs->recordingFormat() : QStringLiteral("webm");
    return recordingFormatFor(QStringLiteral("recording.") + name).value_or(RecordingFormat::WebM);
}

void RecordingSession::startSource()
{
    std::unique_ptr<FrameEncoder> encoder = m_encoders(m_format);
    if (!encoder)
        return end(QStringLiteral("no encoder for .%1 files").arg(extensionOf(m_format)));
    if (m_path.isEmpty()) {
        // Straight into its history entry (or, with the history off, the cache folder).
        QString error;
        m_path = m_sessions.recordingTarget(m_format, &m_historyId, &error);
        if (m_path.isEmpty()) {
            m_model->stop(now(), error);
            return end(error);
        }
    }
    EncoderSettings settings;
    settings.format = m_format;
    settings.size = m_request.pixelRect.isEmpty()
                        ? (m_request.display.frame.size() * m_request.display.scale).toSize()
                        : m_request.pixelRect.size();
    m_writer = std::make_unique<RecordingWriter>(std::move(encoder),
                                                 RecordingWriter::queueFramesFor(settings.size));
    settings.fps = m_request.fps;
    settings.path = m_path;
    if (const QString why = m_writer->start(settings); !why.isEmpty()) {
        m_model->stop(now(), why);
        return end(why);
    }
    connect(m_writer.get(), &RecordingWriter::failed, this,
            [this](const QString &reason) { finish(reason); });
    connect(m_writer.get(), &RecordingWriter::finished, this, &RecordingSession::writerFinished);
    m_pipe = std::make_shared<Pipe>(settings.fps);
    m_pipe->writer = m_writer.get();
    m_pipe->size = settings.size;
    m_pipe->now = m_now ? m_now : [timer = m_steady] { return timer.elapsed(); };
    m_source = m_platform.recorder->createSource();
    if (!m_source) {
        m_model->stop(now(), QStringLiteral("the desktop gave no source of frames"));
        m_writer->finish(0);
        return;
    }
    connect(m_source.get(), &FrameSource::started, this, &RecordingSession::sourceStarted);
    connect(m_source.get(), &FrameSource::failed, this,
            [this](const QString &reason) { finish(reason); });
    m_source->start(m_request,
                    [pipe = m_pipe](RecordedFrame frame) { pipe->take(std::move(frame)); });
}

void RecordingSession::sourceStarted()
{
    if (!m_model || !m_model->started(now()))
        return;
    {
        std::lock_guard<std::mutex> hold(m_pipe->lock);
        if (!m_pipe->firstFrameMs)
            m_pipe->firstFrameMs = now();
    }
    showControlAndFrame();
    m_ticker.start(250);
    armDuration();
}

void RecordingSession::armDuration()
{
    if (m_durationSeconds <= 0 || !m_model)
        return;
    const qint64 left = qint64(std::llround(m_durationSeconds * 1000)) - m_model->elapsedMs(now());
    m_durationTimer.start(int(std::max<qint64>(0, left)));
}

// --- while recording -------------------------------------------------------------------------

void RecordingSession::showControlAndFrame()
{
    // A Wayland compositor places windows itself: one could land in the area, and it would be
    // recorded. There the tray, the hot key and the command line stop a recording.
    if (onWayland())
        return;
    m_frame = std::make_unique<RecordingFrame>(
        RecordingSessionModel::frameRects(m_area, screenAreas(false)));
    m_frame->show();
    auto *control = new RecordingControl;
    const auto placed =
        RecordingSessionModel::placeControl(m_area, control->size(), screenAreas(true));
    if (placed.place == RecordingSessionModel::Place::None) {
        delete control; // a whole display: Escape, the tray and the hot key stop it
        return;
    }
    m_control = control;
    connect(control, &RecordingControl::pauseToggled, this, &RecordingSession::togglePause);
    connect(control, &RecordingControl::stopRequested, this, &RecordingSession::stop);
    control->move(placed.rect.topLeft());
    if (m_platform.windows)
        m_platform.windows->keepOnEveryDesktop(control);
    control->show();
}

void RecordingSession::togglePause()
{
    if (!m_model)
        return;
    const qint64 t = now();
    const bool pausing = m_model->state() == RecordingSessionModel::State::Recording;
    if (pausing ? !m_model->pause(t) : !m_model->resume(t))
        return;
    {
        std::lock_guard<std::mutex> hold(m_pipe->lock);
        if (pausing)
            m_pipe->clock.pause(m_pipe->sinceFirst(t));
        else
            m_pipe->clock.resume(m_pipe->sinceFirst(t));
    }
    // After a pause the first frame shows what is there now, changed or not.
    if (!pausing && m_source)
        m_source->requestFrame();
    if (pausing)
        m_durationTimer.stop();
    else
        armDuration();
    if (m_control)
        m_control->setPaused(pausing);
    if (m_frame)
        m_frame->setPaused(pausing);
    updateControl();
}

void RecordingSession::updateControl()
{
    if (m_control && m_model)
        m_control->setElapsedText(RecordingSessionModel::elapsedText(m_model->elapsedMs(now())));
}

void RecordingSession::stop()
{
    finish(QString());
}

// --- stopping --------------------------------------------------------------------------------

void RecordingSession::finish(const QString &reason)
{
    if (!m_model || !m_model->active())
        return;
    using State = RecordingSessionModel::State;
    const State was = m_model->state();
    if (was == State::Choosing)
        return; // the overlay has the keyboard; Escape there ends it
    const qint64 t = now();
    if (was == State::Countdown) {
        // Before the first frame: nothing to keep.
        if (m_source)
            m_source->stop();
        const QString why =
            reason.isEmpty() ? QStringLiteral("the recording was cancelled") : reason;
        m_model->stop(t, why);
        if (m_writer) {
            {
                std::lock_guard<std::mutex> hold(m_pipe->lock);
                m_pipe->writer = nullptr;
            }
            m_writer->finish(0);
            return; // ends when the writer has let go of its file
        }
        return end(why);
    }
    if (reason.isEmpty() ? !m_model->stop(t) : !m_model->fail(t, reason))
        return;
    m_ticker.stop();
    m_durationTimer.stop();
    dropWindows();
    if (m_source)
        m_source->stop(); // no frame comes after this
    qint64 endTick = 0;
    {
        std::lock_guard<std::mutex> hold(m_pipe->lock);
        endTick = m_pipe->endTick(t);
        m_pipe->writer = nullptr;
    }
    m_writer->finish(endTick);
}

void RecordingSession::writerFinished(const QString &error, const RecordingStats &stats)
{
    if (!m_model)
        return;
    const QFileInfo file(m_path);
    const bool kept = file.isFile() && file.size() > 0 && stats.framesWritten > 0;
    using State = RecordingSessionModel::State;
    if (m_model->state() == State::Failed) {
        // Stopped before the first frame: whatever the writer began is not a recording.
        if (kept && !m_script)
            QFile::remove(m_path);
        return end(m_model->failure());
    }
    m_model->finished(error, kept);
    if (!kept)
        return end(m_model->failure().isEmpty() ? QStringLiteral("no frame was recorded")
                                                : m_model->failure());
    QStringList notes;
    if (!m_model->failure().isEmpty())
        notes << tr("The recording stopped early: %1. What was recorded is kept.")
                     .arg(m_model->failure());
    if (stats.framesDropped > 0)
        notes << tr("%n frame(s) were dropped while the encoder was behind.", nullptr,
                    int(std::min<qint64>(stats.framesDropped, INT_MAX)));
    const QString note = notes.join(QLatin1Char(' '));
    if (m_script) {
        QString why;
        if (!m_model->failure().isEmpty())
            why = QStringLiteral("the recording stopped early (%1); what was recorded is in %2")
                      .arg(m_model->failure(), m_path);
        QString dropped;
        if (stats.framesDropped > 0)
            dropped = QStringLiteral("%1 frames were dropped while the encoder was behind")
                          .arg(stats.framesDropped);
        return end(why, dropped);
    }
    QImage poster;
    if (m_pipe) {
        std::lock_guard<std::mutex> hold(m_pipe->lock);
        poster = m_pipe->poster;
    }
    const QString historyId = std::exchange(m_historyId, QString());
    m_sessions.recordingFinished(historyId, poster,
                                 stats.endTick * 1000 / std::max(1, m_request.fps));
    deliver(m_path, note, historyId);
    end(QString());
}

void RecordingSession::deliver(const QString &path, const QString &note, const QString &historyId)
{
    // The preview plays it and says what the user should know under it; a recording that
    // stopped early says why at once as well.
    m_sessions.showRecording(path, note, historyId);
    if (m_model && !m_model->failure().isEmpty())
        Notifier::error(m_platform.alerts, note);
    emit recordingFinished(path, note);
}

void RecordingSession::end(const QString &why, const QString &note)
{
    m_ticker.stop();
    m_durationTimer.stop();
    dropWindows();
    if (m_watchingEscape && m_platform.escape)
        m_platform.escape->stop();
    m_watchingEscape = false;
    if (m_source) {
        m_source->stop();
        m_source->deleteLater();
        m_source.release();
    }
    if (m_writer)
        m_writer.release()->deleteLater();
    m_pipe.reset();
    // A history entry made for a recording that has no file: it goes again.
    if (!m_historyId.isEmpty())
        m_sessions.recordingFinished(std::exchange(m_historyId, QString()), QImage());
    std::optional<Script> script = std::exchange(m_script, std::nullopt);
    const bool interactiveFailure =
        !script && !why.isEmpty() && why != QStringLiteral("the recording was cancelled");
    if (m_model && m_model->active())
        m_model->stop(now(), why);
    emit activeChanged(false);
    if (script && script->done)
        script->done(why, note);
    else if (interactiveFailure)
        Notifier::error(m_platform.alerts, tr("The recording failed: %1").arg(why));
}

void RecordingSession::dropWindows()
{
    if (m_countdown) {
        m_countdown->hide();
        m_countdown->deleteLater();
    }
    m_frame.reset();
    if (m_control) {
        m_control->hide();
        m_control->deleteLater();
    }
}

} // namespace vistrel
