#include "ui/SideWindow.h"

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace vistrel {

QSizeF sideWindowContentSize(const QSizeF &picture, const QSizeF &visible, double barHeight,
                             double minWidth)
{
    if (picture.isEmpty())
        return {minWidth, barHeight};
    const double s = std::min({visible.width() * 0.7 / picture.width(),
                               (visible.height() * 0.75 - barHeight) / picture.height(), 1.0});
    return {std::max(picture.width() * s, minWidth), picture.height() * s + barHeight};
}

QRect sideWindowVisibleFrame()
{
    if (QScreen *s = QGuiApplication::primaryScreen())
        return s->availableGeometry();
    return QRect(0, 0, 1400, 900);
}

namespace {

class CloseWatcher : public QObject
{
public:
    explicit CloseWatcher(QObject *controller) : QObject(controller) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            parent()->deleteLater();
        return false;
    }
};

} // namespace

void keepUntilClosed(QObject *controller, QWidget *window)
{
    if (!controller)
        return;
    if (!window || !window->isVisible()) {
        delete controller;
        return;
    }
    controller->setParent(nullptr);
    window->installEventFilter(new CloseWatcher(controller));
}

void addCloseKeys(QWidget *window)
{
    auto *close = new QAction(QCoreApplication::translate("SideWindow", "Close"), window);
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
    for (const QKeySequence &k : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        if (!keys.contains(k))
            keys.prepend(k);
    close->setShortcuts(keys);
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
}

ControlBar::ControlBar(int height, QWidget *parent) : QWidget(parent)
{
    setFixedHeight(height);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

QPushButton *ControlBar::addRightButton(const QString &title, int width, int y, int height)
{
    auto *button = new QPushButton(title, this);
    QFont f = button->font();
    f.setPixelSize(12);
    button->setFont(f);
    // Room for a title longer than the width was made for (another language).
    width = std::max(width, QFontMetrics(f).horizontalAdvance(title) + 24);
    button->setFocusPolicy(Qt::TabFocus);
    button->setGeometry(0, y, width, height);
    m_right.append({button, width});
    placeRight();
    return button;
}

void ControlBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeRight();
}

void ControlBar::placeRight()
{
    int right = width() - 12;
    for (auto &[button, w] : m_right) {
        button->move(right - w, button->y());
        right -= w + 6;
    }
}

} // namespace vistrel
