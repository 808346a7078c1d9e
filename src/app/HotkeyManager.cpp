#include "app/HotkeyManager.h"

#include "app/CaptureCoordinator.h"
#include "platform/Desktop.h"

#include <cstring>

namespace vistrel {

const QList<HotkeyManager::Row> &HotkeyManager::table()
{
    static const QList<Row> rows = {
        {1, 2, [](CaptureCoordinator &c) { c.startAreaCapture(false); }},
        {2, 1, [](CaptureCoordinator &c) { c.captureFullScreen(); }},
        {3, 9, [](CaptureCoordinator &c) { c.startAreaCapture(true); }},
        {4, 8, [](CaptureCoordinator &c) { c.startScrollCapture(); }},
    };
    return rows;
}

quint32 HotkeyManager::fourCharCode(const char *text)
{
    quint32 code = 0;
    for (size_t i = 0; i < std::strlen(text); ++i)
        code = (code << 8) + quint8(text[i]);
    return code;
}

HotkeyManager &HotkeyManager::shared()
{
    static HotkeyManager manager;
    return manager;
}

void HotkeyManager::registerKeys(CaptureCoordinator *coordinator, GlobalHotkeys &hotkeys)
{
    m_coordinator = coordinator;
    hotkeys.onPressed = [this](quint32 id) { handle(id); };
    for (const Row &row : table()) {
        if (!hotkeys.grab(row.id, row.digit))
            continue;
        m_hotKeyRefs.append(row.id);
        auto call = row.call;
        m_actions.insert(row.id, [this, call] {
            if (m_coordinator)
                call(*m_coordinator);
        });
    }
}

void HotkeyManager::handle(quint32 id)
{
    auto it = m_actions.constFind(id);
    if (it != m_actions.constEnd())
        it.value()();
}

} // namespace vistrel
