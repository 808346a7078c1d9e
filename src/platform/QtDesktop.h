#pragma once

#include "platform/Desktop.h"

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QHash>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QWindow>

#include <functional>

namespace vistrel {

// The parts of a desktop the toolkit reaches the same way on every session type.

// A display's id, from its output name.
quint32 displayIDFor(const QScreen *screen);
// The toolkit's screens, the primary first.
QList<ScreenInfo> toolkitScreens();
QList<DisplayInfo> toolkitDisplays();
quint32 toolkitMainDisplayID();
// Our own visible top-level windows that `covers` picks step aside while this lives and come
// back after: a screen picture never shows them. Overlays (keepInGrabsProperty) stay.
class OwnWindowsAside
{
public:
    explicit OwnWindowsAside(const std::function<bool(const QWindow *)> &covers = nullptr);
    ~OwnWindowsAside();
    OwnWindowsAside(const OwnWindowsAside &) = delete;
    OwnWindowsAside &operator=(const OwnWindowsAside &) = delete;

    bool any() const { return !m_hidden.isEmpty(); }

private:
    QList<QPointer<QWindow>> m_hidden; // a toast may go meanwhile
};

// Shows a window already sized to `screen` over all of it. A Wayland compositor places
// windows itself: there the window asks to be full screen on that output.
void showCovering(QWidget *window, QScreen *screen);

// Where the compositor places windows and hands out the keyboard itself: the panel's own
// window flags keep it above, and nothing else can be asked for.
class QtWindowManager : public WindowManager
{
public:
    void keepOnEveryDesktop(QWidget *) override {}
    quint32 activeWindow() const override { return 0; }
    void activate(quint32) override {}
    qint64 windowPid(quint32) const override { return -1; }
};

class QtClipboard : public Clipboard
{
public:
    void setContents(const QList<std::pair<QString, QByteArray>> &formats) override;
    void setText(const QString &text) override;
    bool holdsOwnContents() const override;
};

// File icons and type names for the save dialog, from file names only: never a file's
// contents, which for a special file (/proc/kmsg, a FIFO) may never come.
class NameOnlyFileIcons : public QAbstractFileIconProvider
{
public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
    // One for every file dialog of the app; it outlives them all.
    static NameOnlyFileIcons *shared();

private:
    QMimeDatabase m_types;
};

class QtSaveChooser : public SaveChooser
{
public:
    void choose(const SaveRequest &request, std::function<void(QString)> done) override;
    // A typed name without one of the offered types' extensions gets the chosen type's.
    static QString withTypeExtension(const QString &path, const QStringList &nameFilters,
                                     const QString &selectedFilter);
    // The save dialog on screen, if any.
    QFileDialog *openDialog() const { return m_open; }

private:
    QPointer<QFileDialog> m_open;
};

class QtAlerts : public Alerts
{
public:
    // An alert that comes up while `saves` shows its dialog (a save that failed) stands above
    // it rather than behind it.
    explicit QtAlerts(const QtSaveChooser *saves = nullptr) : m_saves(saves) {}
    void warn(const QString &title, const QString &message) override;
    void ask(const Question &question, std::function<void(int)> done) override;

private:
    const QtSaveChooser *m_saves;
    QHash<QString, QPointer<QMessageBox>> m_open;
};

} // namespace vistrel
