#pragma once

#include <QtGlobal>

class QWidget;

namespace vistrel::x11 {

// Window-manager hints and focus hand-over for small tool windows. On anything but an X11
// display these do nothing.

// Shown on every desktop, above other windows, left out of task bars and pagers. Call before
// every show: window managers drop these states when a window is hidden.
void keepOnEveryDesktop(QWidget *window);

// The window that has the keyboard now (the window manager's active window), or 0.
quint32 activeWindow();
// Asks the window manager to give the keyboard back to `window`, as a pager would.
void activate(quint32 window);
// The process that owns a top-level window, or -1.
qint64 windowPid(quint32 window);

} // namespace vistrel::x11
