#pragma once

#include "platform/Result.h"

namespace vistrel {

class Alerts;

// The one error report of the capture flow: a box titled "Vistrel" with one "OK", from the
// alerts the caller was handed (none: nothing is shown).
class Notifier
{
public:
    // Return at once; the box comes up on the next turn of the event loop. A cancelled step is
    // not reported: the user said no.
    static void error(Alerts *alerts, const CaptureError &error);
    static void error(Alerts *alerts, const QString &description);
};

} // namespace vistrel
