#pragma once

#include <QHash>
#include <QList>
#include <QPointer>

#include <functional>

namespace vistrel {

class CaptureCoordinator;
class GlobalHotkeys;

// The four system-wide combinations and what each one starts.
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
    static quint32 fourCharCode(const char *text);

    static HotkeyManager &shared();

    // Grabs every combination it can; one that another client holds is left out.
    void registerKeys(CaptureCoordinator *coordinator, GlobalHotkeys &hotkeys);
    // Runs the action of a pressed combination; unknown ids are ignored.
    void handle(quint32 id);

    const QList<quint32> &hotKeyRefs() const { return m_hotKeyRefs; }
    bool hasAction(quint32 id) const { return m_actions.contains(id); }
    quint32 signature() const { return m_signature; }

private:
    QList<quint32> m_hotKeyRefs;
    QHash<quint32, std::function<void()>> m_actions;
    QPointer<CaptureCoordinator> m_coordinator;
    quint32 m_signature = fourCharCode("Vstl");
};

} // namespace vistrel
