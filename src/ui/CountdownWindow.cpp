#include "ui/CountdownWindow.h"

#include "ui/UiFont.h"

#include <QPainter>

#include <algorithm>

namespace vistrel {

CountdownWindow::CountdownWindow(const QRect &area)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("countdown"));
    const int s = std::min({side, std::max(area.width(), 40), std::max(area.height(), 40)});
    setGeometry(QRect(area.x() + (area.width() - s) / 2, area.y() + (area.height() - s) / 2, s, s));
}

void CountdownWindow::setNumber(int seconds)
{
    m_number = seconds;
    update();
}

void CountdownWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    p.setPen(Qt::white);
    p.setFont(uiFont(std::max(12, height() * 6 / 10), QFont::Bold));
    p.drawText(rect(), Qt::AlignCenter, QString::number(m_number));
}

} // namespace vistrel
