#include "ui/EditorWindowPool.h"

#include "platform/Memory.h"

#include <QAction>
#include <QBackingStore>
#include <QCloseEvent>
#include <QLayout>
#include <QTimer>

namespace vistrel {

void EditorWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

EditorWindowPool::EditorWindowPool() : m_expiry(new QTimer(this))
{
    m_expiry->setSingleShot(true);
    m_expiry->setInterval(keepWarmFor);
    // The kept window's backing store goes; the window, which holds next to nothing then,
    // stays for the next editor.
    connect(m_expiry, &QTimer::timeout, this, [this] {
        if (m_spare && m_spare->backingStore())
            m_spare->backingStore()->resize(QSize(1, 1));
        handBackIdleMemory();
    });
}

EditorWindowPool::~EditorWindowPool()
{
    delete m_spare.data();
}

EditorWindow *EditorWindowPool::take()
{
    m_expiry->stop();
    EditorWindow *window = m_spare.data();
    m_spare.clear();
    return window;
}

void EditorWindowPool::giveBack(EditorWindow *window)
{
    if (!window)
        return;
    if (m_spare) {
        delete window; // one is kept
        return;
    }
    window->hide();
    // The next editor hears of its own close only.
    QObject::disconnect(window, &EditorWindow::closed, nullptr, nullptr);
    // Everything of the editor goes: its widgets, its actions (their shortcuts would clash
    // with the next editor's), its layout.
    for (QAction *action : window->actions())
        window->removeAction(action);
    delete window->layout();
    QList<QPointer<QObject>> children;
    for (QObject *child : window->children())
        if (!child->isWindowType()) // the native window and its backing store stay
            children.append(child);
    for (const QPointer<QObject> &child : children)
        delete child.data();
    m_spare = window;
    m_expiry->start();
}

} // namespace vistrel
