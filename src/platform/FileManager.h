#pragma once

#include <QString>

namespace vistrel {

// Shows a file in the desktop's file manager: selected in its folder where a file manager
// answers org.freedesktop.FileManager1 on the session bus, else its folder opened with the
// desktop's default handler. Returns at once.
void showInFileManager(const QString &file);

} // namespace vistrel
