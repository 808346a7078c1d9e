#pragma once

#include "engines/RecordingWriter.h"
#include "engines/SceneArchive.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <optional>

namespace vistrel {

struct HistoryEntry
{
    QString id;
    QDateTime time;       // when it was captured
    QString thumbnail;    // the thumbnail's file; it may be missing
    bool unsaved = false; // an editor had changes nobody saved or discarded
    // A screen recording's file; empty for a capture. Recordings open in the recording's
    // preview, never in an editor.
    QString recording;
    bool isRecording() const { return !recording.isEmpty(); }
};

// Every capture the user kept in some way, private to the user and never sent anywhere: one
// folder each (0700, files 0600) with the pictures, the marks as data, a thumbnail and, while
// an editor holds changes, an "unsaved" marker. Screen recordings are entries too: the
// recording's file, a poster frame as the thumbnail and a short description. Ids sort by
// capture time.
class CaptureHistory
{
public:
    struct Limits
    {
        int maxEntries = 100;
        qint64 maxBytes = 500ll * 1000 * 1000;
    };

    explicit CaptureHistory(QString folder = defaultFolder());
    static QString defaultFolder();
    const QString &folder() const { return m_folder; }
    static QString newId(const QDateTime &when = QDateTime::currentDateTimeUtc());
    static constexpr int thumbnailSide = 160;

    // Writes the marks; the pictures and the thumbnail too when `pictures` says so or they
    // are not there yet.
    bool write(const QString &id, const EditorScene &scene, bool unsaved, bool pictures,
               QString *error = nullptr) const;
    // Newest first.
    QList<HistoryEntry> entries() const;
    std::optional<EditorScene> read(const QString &id, QString *error = nullptr) const;
    bool contains(const QString &id) const;

    // Screen recordings are written straight into their entry's folder: this makes the folder
    // (private, as every entry's) and gives the file to record to. Until `finishRecording`
    // (or the process ends) the entry is being recorded and no pruning drops it; it is listed
    // once the recording's file is in place. Empty, with `error` set, when the folder cannot
    // be made.
    QString recordingPath(const QString &id, RecordingFormat format,
                          QString *error = nullptr) const;
    // Completes a recording's entry: the file made private, `poster` (a frame of it, at any
    // size; the file's first when null) as its thumbnail, its length (read from the file when
    // not given) in the description. False, with `error` set, when nothing was recorded (the
    // folder is then removed) or what describes it cannot be written (the recording stays
    // listed, without a thumbnail).
    bool finishRecording(const QString &id, const QImage &poster, qint64 durationMs = -1,
                         QString *error = nullptr) const;
    // What `finishRecording` wrote of a recording: its size and length; invalid/-1 when unknown.
    struct RecordingInfo
    {
        QSize size;
        qint64 durationMs = -1;
    };
    RecordingInfo recordingInfo(const QString &id) const;
    // The finished recording's file of an entry; empty for a capture or an unfinished one.
    QString recordingFile(const QString &id) const;
    void remove(const QString &id) const;
    void clear() const;
    // False, with `error` set, when an entry cannot be marked unsaved (its work would not be
    // offered back).
    bool setUnsaved(const QString &id, bool unsaved, QString *error = nullptr) const;
    QStringList unsavedIds() const;
    // Drops the oldest entries beyond the limits, never one of `keep` nor one of the newest
    // `maxUnsavedKept` unsaved ones; returns the dropped. Folders a failed write left without
    // their description go too, once they are a minute old.
    QStringList prune(const Limits &limits, const QSet<QString> &keep = {}) const;
    static constexpr int maxUnsavedKept = 50;

private:
    QString entryFolder(const QString &id) const;

    QString m_folder;
};

// Writes history entries on a thread of its own that runs only on idle time, so a capture
// reaches the clipboard or the screen first; an editor's marks are written at most once every
// `delayMs` while they change. A later write of the same entry replaces one not begun.
class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    explicit HistoryRecorder(CaptureHistory history, QObject *parent = nullptr);
    ~HistoryRecorder() override;

    static constexpr int delayMs = 400;

    const CaptureHistory &history() const { return m_history; }
    void setLimits(const CaptureHistory::Limits &limits);
    // Entries no pruning may drop (those open in editors).
    void setKept(const QSet<QString> &ids);
    // Pictures are written again only when they changed since the last record of `id`.
    // `now`: written as soon as the thread has idle time, not after the delay.
    void record(const QString &id, const EditorScene &scene, bool unsaved, bool now = false);
    // Removes entries after what is being written, on the same thread.
    void remove(const QString &id);
    void clear();
    // A recording written into `recordingPath`'s file has ended: completes its entry
    // (`CaptureHistory::finishRecording`) after what waits, then prunes the history, keeping it.
    void finishRecording(const QString &id, const QImage &poster, qint64 durationMs = -1);
    // Writes what is waiting and returns once it is on disk.
    void flush();
    // Why the last write of `id` failed; empty once it was written.
    QString failure(const QString &id) const;

signals:
    // On the GUI thread, after entries were written or dropped.
    void changed();
    // On the GUI thread, when a write fails after the last one succeeded: once for a disk that
    // stays full, not on every change.
    void writeFailed(const QString &error);

private:
    struct Pending
    {
        EditorScene scene;
        bool unsaved = false;
        bool pictures = false;
    };
    void start();
    void run(std::function<void()> work);
    void writePending();

    CaptureHistory m_history;
    QThreadPool m_pool;
    QTimer m_delay;
    QHash<QString, QList<qint64>>
        m_pictureKeys;      // what each entry's pictures were last written from
    bool m_failing = false; // the writer's thread only
    mutable QMutex m_mutex; // guards the four below
    QHash<QString, Pending> m_pending;
    CaptureHistory::Limits m_limits;
    QSet<QString> m_kept;
    QHash<QString, QString> m_failures;
};

} // namespace vistrel
