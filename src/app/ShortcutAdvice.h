#pragma once

#include "platform/DesktopShortcuts.h"

#include <QString>

namespace vistrel {

class Alerts;
class Preferences;

// Where the desktop keeps global shortcuts to itself: once, on GNOME, offers to add the
// desktop's own shortcuts for Vistrel's commands; elsewhere, says how to bind them.
void adviseDesktopShortcuts(Alerts &alerts, Preferences &preferences,
                            DesktopShortcuts::Desktop desktop, const QString &why);

} // namespace vistrel
