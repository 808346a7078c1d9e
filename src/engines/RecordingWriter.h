#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace vistrel {

enum class RecordingFormat { WebM, Mp4, Gif };

// The format a file name asks for (".webm", ".mp4", ".gif", any case); none for other names.
std::optional<RecordingFormat> recordingFormatFor(const QString &path);
QString extensionOf(RecordingFormat format); // "webm", "mp4", "gif"

struct EncoderSettings
{
    RecordingFormat format = RecordingFormat::WebM;
    QSize size;         // device pixels; odd sizes are handled by the encoder
    int fps = 30;       // the source's tick rate
    int gifMaxFps = 15; // a GIF keeps at most this many frames a second
    QString path;       // where the finished file goes (written beside it, then moved there)
};

// Turns frames into one file. Not thread-safe: one thread calls it (RecordingWriter's worker).
class FrameEncoder
{
public:
    virtual ~FrameEncoder() = default;
    // Each returns an empty text when all went well, else the cause, named for the user (a
    // codec missing from the installed FFmpeg, a file that cannot be written, a full disk).
    virtual QString open(const EncoderSettings &settings) = 0;
    // `tick` as in RecordedFrame: ticks only grow, gaps repeat the previous picture.
    virtual QString add(const QImage &frame, qint64 tick) = 0;
    // Ends the file at `endTick` (exclusive) so the last picture lasts until then, and puts it
    // in place. After an error from `add`, `finish` still keeps what was written.
    virtual QString finish(qint64 endTick) = 0;

    static std::unique_ptr<FrameEncoder> create(RecordingFormat format);
};

struct RecordingStats
{
    qint64 framesWritten = 0;
    qint64 framesDropped = 0; // arrived while the queue was full: counted, reported, not kept
    qint64 endTick = 0;
};

// Encodes on a worker thread behind a bounded queue; `push` may be called from any thread and
// never blocks. The GUI thread only starts and finishes.
class RecordingWriter : public QObject
{
    Q_OBJECT
public:
    explicit RecordingWriter(std::unique_ptr<FrameEncoder> encoder, int queueFrames = 8,
                             QObject *parent = nullptr);
    // A queue that rides out an encoder's bursts (a key frame, a busy second) of about a
    // second at 1920×1080 and more for smaller areas, within a fixed amount of memory.
    static int queueFramesFor(QSize frameSize);
    ~RecordingWriter() override;

    QString start(const EncoderSettings &settings);
    // False when the frame was dropped because the encoder is behind (counted in stats).
    bool push(const QImage &frame, qint64 tick);
    // Drains the queue and finishes the file off the GUI thread; then `finished`.
    void finish(qint64 endTick);
    RecordingStats stats() const;

signals:
    // The file is in place (or, on error, what was written so far is, when anything was).
    // `error` is empty when all went well.
    void finished(const QString &error, const RecordingStats &stats);
    // An encoder error while recording: the recording should stop; `finished` follows.
    void failed(const QString &reason);

private:
    struct Worker;
    void run();

    std::unique_ptr<FrameEncoder> m_encoder;
    const int m_queueFrames;
    std::unique_ptr<Worker> m_worker;
    qint64 m_lastTick = -1;
};

} // namespace vistrel

Q_DECLARE_METATYPE(vistrel::RecordingStats)
