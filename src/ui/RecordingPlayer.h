#pragma once

#include "model/TrimRange.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QThread;

namespace vistrel {

class RecordingReader;

// Plays a recording file within its trim: the clock runs on the GUI thread, frames are
// decoded on a thread of their own (one asked at a time; a newer wish replaces one not begun),
// so a slow decode skips frames instead of slowing the clock or the window.
class RecordingPlayer : public QObject
{
    Q_OBJECT
public:
    explicit RecordingPlayer(QObject *parent = nullptr);
    ~RecordingPlayer() override;

    // Opens the file on the decoding thread; `opened` follows, then the first frame.
    void open(const QString &path);
    bool isOpen() const { return m_open; }
    QSize size() const { return m_size; }
    qint64 durationMs() const { return m_range.durationMs(); }
    const TrimRange &range() const { return m_range; }
    // Each moves one edge of the trim (snapped, see TrimRange) and shows the frame there.
    qint64 setTrimStart(qint64 ms);
    qint64 setTrimEnd(qint64 ms);

    qint64 position() const;
    bool isPlaying() const { return m_playing; }
    // From the position, or from the trim's start when the position is outside it; stops at
    // the trim's end.
    void play();
    void pause();
    void toggle() { m_playing ? pause() : play(); }
    // Shows the frame at `ms` (paused or not).
    void seek(qint64 ms);

signals:
    // Empty when the file could be read, else why not.
    void opened(const QString &error);
    void frameShown(const QImage &frame, qint64 ms);
    void positionChanged(qint64 ms);
    void playingChanged(bool playing);

private:
    void tick();
    void request(qint64 ms);
    void decoded(const QImage &frame, qint64 ms);

    QThread *m_thread;
    QObject *m_worker;                         // lives on m_thread
    std::shared_ptr<RecordingReader> m_reader; // touched on m_thread only
    bool m_open = false;
    QSize m_size;
    TrimRange m_range;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_clockFrom = 0; // the position when the clock started
    qint64 m_paused = 0;    // the position while paused
    bool m_playing = false;
    bool m_decoding = false;
    std::optional<qint64> m_wanted; // asked while a frame was being decoded
    int m_shownFrame = -2;
};

} // namespace vistrel
