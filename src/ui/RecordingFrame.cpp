#include "ui/RecordingFrame.h"

#include <QPalette>

namespace vistrel {

namespace {

const QColor recordingRed(220, 40, 40);
const QColor pausedGrey(140, 140, 140);

} // namespace

RecordingFrame::RecordingFrame(const QList<QRect> &strips, QObject *parent) : QObject(parent)
{
    for (const QRect &strip : strips) {
        // Placed by us, not by the window manager: a strip must be exactly where it is put.
        auto *w =
            new QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                     Qt::X11BypassWindowManagerHint |
                                     Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        w->setAttribute(Qt::WA_ShowWithoutActivating);
        w->setAutoFillBackground(true);
        w->setGeometry(strip);
        w->setObjectName(QStringLiteral("recordingFrame"));
        m_strips.append(w);
    }
    setPaused(false);
}

RecordingFrame::~RecordingFrame()
{
    for (const QPointer<QWidget> &w : std::as_const(m_strips))
        delete w.data();
}

void RecordingFrame::show()
{
    for (const QPointer<QWidget> &w : std::as_const(m_strips))
        if (w)
            w->show();
}

void RecordingFrame::hide()
{
    for (const QPointer<QWidget> &w : std::as_const(m_strips))
        if (w)
            w->hide();
}

void RecordingFrame::setPaused(bool paused)
{
    for (const QPointer<QWidget> &w : std::as_const(m_strips)) {
        if (!w)
            continue;
        QPalette palette = w->palette();
        palette.setColor(QPalette::Window, paused ? pausedGrey : recordingRed);
        w->setPalette(palette);
    }
}

QList<QWidget *> RecordingFrame::windows() const
{
    QList<QWidget *> out;
    for (const QPointer<QWidget> &w : m_strips)
        if (w)
            out.append(w);
    return out;
}

} // namespace vistrel
