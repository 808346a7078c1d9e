#pragma once

#include "platform/Result.h"

#include <QString>

#include <optional>

namespace vistrel {

// The desktop's keyring (the Secret Service on the session bus): secrets of Vistrel's own,
// each found by a name. Every call may block, on a D-Bus round trip or on a prompt to unlock
// the keyring: make them off the GUI thread. Implementations are safe to call from any thread.
class Keyring
{
public:
    virtual ~Keyring() = default;

    // Whether a keyring runs now. None is started for the asking: a desktop without one keeps
    // its secrets elsewhere, and a keyring started here could only ask for a new password.
    virtual bool running() = 0;
    // The secret stored under `name`; nothing when there is none.
    virtual Result<std::optional<QString>> lookup(const QString &name) = 0;
    // Stores `secret` under `name` (replacing what was there), shown to the user as `label`;
    // an empty string when done, else why not.
    virtual QString store(const QString &name, const QString &label, const QString &secret) = 0;
    // Removes the secret stored under `name`, if any; an empty string when done, else why not.
    virtual QString clear(const QString &name) = 0;
};

} // namespace vistrel
