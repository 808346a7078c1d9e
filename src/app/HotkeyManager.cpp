#include "app/HotkeyManager.h"

#include "app/CaptureCoordinator.h"
#include "platform/Desktop.h"

namespace vistrel {

const QList<HotkeyManager::Row> &HotkeyManager::table()
{
    static const QList<Row> rows = {
        {1, 2, [](CaptureCoordinator &c) { c.startAreaCapture(false); }},
        {2, 1, [](CaptureCoordinator &c) { c.captureFullScreen(); }},
        {3, 9, [](CaptureCoordinator &c) { c.startAreaCapture(true); }},
        {4, 8, [](CaptureCoordinator &c) { c.startScrollCapture(); }},
        {5, 5, [](CaptureCoordinator &c) { c.startOrStopRecording(); }},
    };
    return rows;
}

HotkeyManager::~HotkeyManager()
{
    QObject::disconnect(m_presses);
}

void HotkeyManager::registerKeys(CaptureCoordinator *coordinator, GlobalHotkeys &hotkeys,
                                 const QHash<quint32, QKeyCombination> &chosen)
{
    m_coordinator = coordinator;
    m_hotkeys = &hotkeys;
    m_combinations.clear();
    m_hotKeyRefs.clear();
    m_actions.clear();
    QObject::disconnect(m_presses);
    m_presses =
        QObject::connect(&hotkeys, &GlobalHotkeys::pressed, [this](quint32 id) { handle(id); });
    for (const Row &row : table()) {
        const QKeyCombination digitKeys = Qt::CTRL | Qt::SHIFT | Qt::Key(Qt::Key_0 + row.digit);
        const QKeyCombination keys = chosen.value(row.id, digitKeys);
        m_combinations.insert(row.id, keys);
        if (!(keys == digitKeys ? hotkeys.grab(row.id, row.digit)
                                : hotkeys.grabCombination(row.id, keys)))
            continue;
        m_hotKeyRefs.append(row.id);
        setAction(row.id);
    }
}

void HotkeyManager::setAction(quint32 id)
{
    for (const Row &row : table()) {
        if (row.id != id)
            continue;
        auto call = row.call;
        m_actions.insert(row.id, [this, call] {
            if (m_coordinator)
                call(*m_coordinator);
        });
    }
}

bool HotkeyManager::rebind(quint32 id, QKeyCombination combination)
{
    if (!m_hotkeys || !m_combinations.contains(id))
        return false;
    const QKeyCombination old = m_combinations.value(id);
    const bool held = m_hotKeyRefs.contains(id);
    if (held && old == combination)
        return true;
    m_hotkeys->ungrab(id);
    if (m_hotkeys->grabCombination(id, combination)) {
        m_combinations.insert(id, combination);
        if (!held)
            m_hotKeyRefs.append(id);
        setAction(id);
        return true;
    }
    if (held && !m_hotkeys->grabCombination(id, old)) {
        // Someone took the old combination in between: the key is inactive, as at launch.
        m_hotKeyRefs.removeAll(id);
        m_actions.remove(id);
    }
    return false;
}

QKeyCombination HotkeyManager::combination(quint32 id) const
{
    return m_combinations.value(id);
}

void HotkeyManager::handle(quint32 id)
{
    if (interceptPress && interceptPress(id))
        return;
    auto it = m_actions.constFind(id);
    if (it != m_actions.constEnd())
        it.value()();
}

} // namespace vistrel
