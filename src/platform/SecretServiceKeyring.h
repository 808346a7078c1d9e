#pragma once

#include "platform/Keyring.h"

#include <condition_variable>
#include <mutex>
#include <vector>

typedef struct _GCancellable GCancellable;

namespace vistrel {

// The keyring through libsecret: items of the schema "io.vistrel.Vistrel", found by their
// "service" attribute, kept in the default collection. A call that has not returned after
// `timeoutMs` (a prompt nobody answers, a keyring that hangs) is cancelled; so are calls still
// running when the keyring goes.
class SecretServiceKeyring : public Keyring
{
public:
    explicit SecretServiceKeyring(int timeoutMs = 60000);
    ~SecretServiceKeyring() override;

    bool running() override;
    Result<std::optional<QString>> lookup(const QString &name) override;
    QString store(const QString &name, const QString &label, const QString &secret) override;
    QString clear(const QString &name) override;

private:
    class Call;

    const int m_timeoutMs;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<GCancellable *> m_calls; // running now
    bool m_closing = false;
};

} // namespace vistrel
