#pragma once

#include "platform/Keyring.h"

#include <QMap>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace vistrel {

// A keyring in memory, for tests: running or not, failing on demand, and a count of the calls
// (which come from worker threads).
class FakeKeyring : public Keyring
{
public:
    std::atomic<bool> isRunning{true};
    QString refusal; // every call but `running` fails with it when set
    std::atomic<int> calls{0};
    std::atomic<bool> stalled{false}; // lookups wait while set, as a keyring that hangs

    bool running() override { return isRunning; }
    Result<std::optional<QString>> lookup(const QString &name) override
    {
        while (stalled)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::lock_guard lock(m_mutex);
        ++calls;
        if (!refusal.isEmpty())
            return CaptureError::failed(refusal);
        if (!m_secrets.contains(name))
            return std::optional<QString>();
        return std::optional<QString>(m_secrets.value(name));
    }
    QString store(const QString &name, const QString &label, const QString &secret) override
    {
        std::lock_guard lock(m_mutex);
        ++calls;
        if (!refusal.isEmpty())
            return refusal;
        m_secrets.insert(name, secret);
        m_labels.insert(name, label);
        return {};
    }
    QString clear(const QString &name) override
    {
        std::lock_guard lock(m_mutex);
        ++calls;
        if (!refusal.isEmpty())
            return refusal;
        m_secrets.remove(name);
        return {};
    }

    QMap<QString, QString> secrets() const
    {
        std::lock_guard lock(m_mutex);
        return m_secrets;
    }
    QString label(const QString &name) const
    {
        std::lock_guard lock(m_mutex);
        return m_labels.value(name);
    }

private:
    mutable std::mutex m_mutex;
    QMap<QString, QString> m_secrets;
    QMap<QString, QString> m_labels;
};

} // namespace vistrel
