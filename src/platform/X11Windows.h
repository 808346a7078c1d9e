#pragma once

#include "platform/Desktop.h"

namespace vistrel {

// Window-manager hints and focus hand-over through the toolkit's X11 connection (EWMH). On
// anything but an X11 display these do nothing.
class X11WindowManager : public WindowManager
{
public:
    void keepOnEveryDesktop(QWidget *window) override;
    quint32 activeWindow() const override;
    void activate(quint32 window) override;
    qint64 windowPid(quint32 window) const override;
};

} // namespace vistrel
