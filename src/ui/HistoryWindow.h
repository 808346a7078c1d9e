#pragma once

#include "engines/CaptureHistory.h"

#include <QPointer>
#include <QSet>
#include <QWidget>

#include <functional>

class QIcon;
class QLabel;
class QListWidget;
class QMessageBox;

namespace vistrel {

// The grid of kept captures, newest first: a double click (or Return) reopens one in an
// editor (a recording, marked with a play badge, in its preview), Delete removes the selected
// ones once the user says so.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryWindow(QString folder, QWidget *parent = nullptr);

    static QString title() { return tr("Vistrel — History"); }
    // "Today 14:03", "Yesterday 09:12", or the date and time.
    static QString timeText(const QDateTime &when,
                            const QDateTime &now = QDateTime::currentDateTime());

    // Reads thumbnail files on a thread of its own (a slow disk, or a FIFO put in the
    // history, must not stop the app) and hands each that reads to `show`, with its index in
    // `files`, on `context`'s thread; nothing once `context` is gone. Those whose index is in
    // `recordings` get a play badge.
    static void loadThumbnails(QObject *context, const QStringList &files,
                               std::function<void(int index, const QIcon &icon)> show,
                               const QSet<int> &recordings = {});
    // A recording's thumbnail: the poster with a play badge in its middle.
    static QImage withPlayBadge(const QImage &thumbnail);

    // Reads the folder again.
    void refresh();
    QListWidget *grid() const { return m_grid; }
    // An item's data under this role: whether it is a recording.
    static constexpr int recordingRole = Qt::UserRole + 1;
    // The question Delete asks, while it is open.
    QMessageBox *deleteQuestion() const { return m_deleteQuestion; }

signals:
    // A double click or Return on an entry: it is to open in an editor, or a recording in its
    // preview.
    void openRequested(const QString &id);
    // The user confirmed removing an entry, already gone from the grid: it is to go from the
    // disk.
    void removeRequested(const QString &id);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openCurrent();
    // Asks, then removes the selected entries (or the current one).
    void askToRemoveSelected();
    void remove(const QStringList &ids);

    CaptureHistory m_history;
    QListWidget *m_grid;
    QLabel *m_empty;
    QPointer<QMessageBox> m_deleteQuestion;
};

} // namespace vistrel
