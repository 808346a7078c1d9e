#pragma once

#include <QHash>
#include <QKeyCombination>
#include <QList>
#include <QMetaObject>
#include <QPointer>

#include <functional>

namespace vistrel {

class CaptureCoordinator;
class GlobalHotkeys;

// The system-wide combinations and what each one starts.
class HotkeyManager
{
public:
    struct Row
    {
        quint32 id;
        int digit;
        void (*call)(CaptureCoordinator &);
    };
    static const QList<Row> &table();

    HotkeyManager() = default;
    // The desktop's presses stop reaching a manager that is gone.
    ~HotkeyManager();
    HotkeyManager(const HotkeyManager &) = delete;
    HotkeyManager &operator=(const HotkeyManager &) = delete;

    // Grabs every combination it can; one that another client holds is left out. `chosen`
    // gives the user's combination for an id; the table's Ctrl+Shift+digit otherwise.
    void registerKeys(CaptureCoordinator *coordinator, GlobalHotkeys &hotkeys,
                      const QHash<quint32, QKeyCombination> &chosen = {});
    // Moves a hot key to another combination. When the new one cannot be had, the old one is
    // taken back and false returned.
    bool rebind(quint32 id, QKeyCombination combination);
    // What a hot key is bound to, whether or not its grab succeeded.
    QKeyCombination combination(quint32 id) const;
    // Runs the action of a pressed combination; unknown ids are ignored. An interceptor that
    // returns true takes the press instead (a preferences field waiting for a combination).
    void handle(quint32 id);
    std::function<bool(quint32 id)> interceptPress;

    const QList<quint32> &hotKeyRefs() const { return m_hotKeyRefs; }
    bool hasAction(quint32 id) const { return m_actions.contains(id); }

private:
    void setAction(quint32 id);

    GlobalHotkeys *m_hotkeys = nullptr;
    QMetaObject::Connection m_presses;
    QHash<quint32, QKeyCombination> m_combinations;
    QList<quint32> m_hotKeyRefs;
    QHash<quint32, std::function<void()>> m_actions;
    QPointer<CaptureCoordinator> m_coordinator;
};

} // namespace vistrel
