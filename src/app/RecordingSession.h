#pragma once

#include "engines/RecordingWriter.h"
#include "model/RecordingSessionModel.h"
#include "platform/Desktop.h"
#include "platform/ScreenRecorder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace vistrel {

class CaptureFlow;
class CountdownWindow;
class EditorSessions;
class RecordingControl;
class RecordingFrame;

// A screen recording from the chosen area to the finished file: the area is chosen on the
// overlay (a drag, or a click on a window for its frame), a countdown runs, then the desktop's
// frames go to the writer until Stop (the control, Escape in any application, the tray, the
// hot key again, a script's duration). The control and the frame sit outside the area, so
// neither is ever recorded. A source or encoder that gives up stops the recording: what was
// recorded is kept, and the message names the cause. One recording runs at a time.
class RecordingSession : public QObject
{
    Q_OBJECT
public:
    RecordingSession(const Platform &platform, CaptureFlow &flow, EditorSessions &sessions,
                     QObject *parent = nullptr);
    ~RecordingSession() override;

    // The hot key and the tray: a new recording, or Stop while one runs.
    void startOrStop(double durationSeconds = 0);
    // `durationSeconds` above 0: it stops by itself after that much recorded time.
    void startRecording(double durationSeconds = 0);
    void stop();
    // From the chosen area to the finished file.
    bool active() const { return m_model && m_model->active(); }
    bool recording() const { return m_model && m_model->running(); }

    // A recording for a script: the area is recorded as soon as its drag ends, to `output`
    // (type by extension), for `durationSeconds` when above 0. `done` gets why no file was
    // written, or why the recording ended early (the file kept), empty when all went well.
    struct Request
    {
        QString output;
        double durationSeconds = 0;
    };
    using Done = std::function<void(const QString &why)>;
    void recordForScript(const Request &request, Done done, QObject *caller = nullptr);

    // Seams for tests: the encoders and the steady clock (milliseconds).
    using EncoderFactory = std::function<std::unique_ptr<FrameEncoder>(RecordingFormat)>;
    void setEncoderFactory(EncoderFactory factory) { m_encoders = std::move(factory); }
    void setClock(std::function<qint64()> now) { m_now = std::move(now); }

    const RecordingSessionModel *model() const { return m_model ? &*m_model : nullptr; }
    RecordingControl *control() const;
    RecordingFrame *frame() const { return m_frame.get(); }
    CountdownWindow *countdown() const;
    // The area being recorded, in global points.
    QRect area() const { return m_area; }
    QString outputPath() const { return m_path; }

signals:
    void activeChanged(bool active);
    // The file is in place; `note` says what the user should know (frames dropped, an early
    // end), empty when nothing.
    void recordingFinished(const QString &path, const QString &note);

private:
    struct Pipe;
    struct Script
    {
        Request request;
        Done done;
        const QObject *caller = nullptr; // only compared: it may be gone
    };
    void begin(std::optional<Script> script, double durationSeconds);
    void areaChosen(const QRectF &rect, const DisplayInfo &display);
    void areaRefused(const QString &why);
    void countdownStep();
    void startAfterRepaint();
    void startSource();
    void sourceStarted();
    void togglePause();
    void updateControl();
    void finish(const QString &reason);
    void writerFinished(const QString &error, const RecordingStats &stats);
    void end(const QString &why);
    void showControlAndFrame();
    void dropWindows();
    void armDuration();
    RecordingFormat chosenFormat() const;
    qint64 now() const;
    // Where the file goes once finished: the preview window and the history.
    void deliver(const QString &path, const QString &note, const QString &historyId);

    Platform m_platform;
    CaptureFlow &m_flow;
    EditorSessions &m_sessions;
    EncoderFactory m_encoders;
    std::function<qint64()> m_now;
    QElapsedTimer m_steady;

    std::optional<RecordingSessionModel> m_model;
    std::optional<Script> m_script;
    RecordingRequest m_request;
    QRect m_area;
    double m_durationSeconds = 0;
    QString m_path;
    QString m_historyId; // the history entry an interactive recording is written into
    RecordingFormat m_format = RecordingFormat::WebM;
    std::shared_ptr<Pipe> m_pipe;
    std::unique_ptr<FrameSource> m_source;
    std::unique_ptr<RecordingWriter> m_writer;
    QPointer<RecordingControl> m_control;
    std::unique_ptr<RecordingFrame> m_frame;
    QPointer<CountdownWindow> m_countdown;
    QTimer m_ticker; // the countdown's seconds, then the control's clock
    QTimer m_durationTimer;
    bool m_watchingEscape = false;
};

} // namespace vistrel
