#pragma once

#include <QIcon>
#include <QString>

namespace vistrel {

// An icon of the project's symbol set (":/icons/<name>.svg"), drawn at the device pixel ratio
// of wherever it is shown and inked with the window theme's text colour, so it reads on light
// and dark themes alike. The "on" state (a highlighted tool) is drawn white.
QIcon symbolIcon(const QString &name);

} // namespace vistrel
