#pragma once

#include "platform/Result.h"

namespace vistrel {

class Alerts;

// The one error report of the capture flow: a box titled "Vistrel" with one "OK".
class Notifier
{
public:
    static void install(Alerts *alerts);
    // Returns at once; the box comes up on the next turn of the event loop.
    static void error(const CaptureError &error);
    static void error(const QString &description);
};

} // namespace vistrel
