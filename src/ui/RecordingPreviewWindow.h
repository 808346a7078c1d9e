#pragma once

#include "engines/ShareSettings.h"
#include "platform/Desktop.h"
#include "ui/RecordingPlayer.h"

#include <QImage>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

namespace vistrel {

// The trim's bar: the recording's length, the part kept between two handles, and where
// playback is. Dragging a handle asks to move that edge; the owner says where it went.
class TrimBar : public QWidget
{
    Q_OBJECT
public:
    explicit TrimBar(QWidget *parent = nullptr);

    void setDuration(qint64 ms);
    void setRange(qint64 startMs, qint64 endMs);
    void setPosition(qint64 ms);
    // Where `ms` lies on the bar, in the widget's coordinates.
    int xFor(qint64 ms) const;
    QSize sizeHint() const override;

signals:
    void startDragged(qint64 ms);
    void endDragged(qint64 ms);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    qint64 msAt(int x) const;
    QRect groove() const;

    enum class Handle { None, Start, End };
    Handle m_dragging = Handle::None;
    qint64 m_duration = 0;
    qint64 m_start = 0;
    qint64 m_end = 0;
    qint64 m_position = 0;
};

// "Vistrel — Recording": plays a finished recording, trims its start and end, and hands it on
// (Copy, Save…, Share, Open Folder). The work runs off the GUI thread; while it does, the
// buttons wait. The file itself is never changed here.
class RecordingPreviewWindow : public QWidget
{
    Q_OBJECT
public:
    RecordingPreviewWindow(const QString &file, const Platform &platform,
                           QWidget *parent = nullptr);
    ~RecordingPreviewWindow() override;

    static QString title() { return tr("Vistrel — Recording"); }
    // "0:04.2": a position or length in the recording.
    static QString timeText(qint64 ms);

    const QString &file() const { return m_file; }
    // A line under the video (frames dropped while recording, for one).
    void setNote(const QString &note);

    // The history entry the recording is kept in; empty when it is not.
    QString historyId;
    // Where Share finds its address and token, and where Save's dialog opens.
    std::function<ShareSettings()> shareSettings;
    std::function<QString()> saveFolder;
    // How Open Folder shows the file: the desktop's file manager.
    std::function<void(const QString &file)> openFolder;

    RecordingPlayer *player() const { return m_player; }
    TrimBar *trimBar() const { return m_trimBar; }
    QPushButton *copyButton() const { return m_copy; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *shareButton() const { return m_share; }
    QPushButton *openFolderButton() const { return m_openFolder; }
    QToolButton *playButton() const { return m_play; }
    QLabel *noteLabel() const { return m_note; }
    QImage shownFrame() const { return m_frame; }
    bool isBusy() const { return m_busy; }

    void copy();
    void save();
    void share();

signals:
    // Copy, Save or Share is done: `error` is empty when it worked, else what was said.
    void actionFinished(const QString &error);
    // Share found nothing set up.
    void sharingSetUpWanted();
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void opened(const QString &error);
    void showTrim();
    void setBusy(bool busy);
    // Runs `work` on a worker, then `done` here with its answer (why it failed, or empty and
    // the file it made).
    struct Outcome
    {
        QString error;
        QString file;
        QList<std::pair<QString, QByteArray>> clipboard;
    };
    void runInBackground(std::function<Outcome()> work, std::function<void(const Outcome &)> done);
    // The file that holds what the trim keeps: the recording itself, or a trimmed copy.
    std::function<Outcome()> keptFile() const;
    void saveTo(const QString &target);
    void fail(const QString &message);

    QString m_file;
    Platform m_platform;
    RecordingPlayer *m_player;
    QWidget *m_view;
    QImage m_frame;
    QLabel *m_note;
    QToolButton *m_play;
    QSlider *m_position;
    QLabel *m_time;
    TrimBar *m_trimBar;
    QLabel *m_trimText;
    QPushButton *m_copy;
    QPushButton *m_save;
    QPushButton *m_share;
    QPushButton *m_openFolder;
    bool m_busy = false;
    bool m_readable = false;
};

} // namespace vistrel
