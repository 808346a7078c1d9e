#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QTimer;

namespace vistrel {

// The top-level window of an editor; it says when it closed, once its close was accepted.
class EditorWindow : public QWidget
{
    Q_OBJECT
public:
    EditorWindow() = default;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
};

// Keeps the window of the last editor closed, hidden and emptied, for the next editor. Its
// backing store then stays in memory: a new window's first paint spends tens of milliseconds
// faulting in a fresh full-screen buffer. The window goes after `keepWarmFor` unused.
class EditorWindowPool : public QObject
{
public:
    EditorWindowPool();
    ~EditorWindowPool() override;
    EditorWindow *take();
    void giveBack(EditorWindow *window);
    bool holdsWindow() const { return !m_spare.isNull(); }

private:
    QPointer<EditorWindow> m_spare;
    QTimer *m_expiry;
};

} // namespace vistrel
