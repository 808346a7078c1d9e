#include "ui/RecordingControl.h"

#include "ui/SymbolIcon.h"
#include "ui/UiFont.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace vistrel {

RecordingControl::RecordingControl(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus),
      m_elapsed(new QLabel(this)), m_pause(new QPushButton(this)),
      m_stop(new QPushButton(tr("Stop"), this))
{
    setWindowTitle(tr("Vistrel — Recording"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 8, 6);
    layout->setSpacing(6);
    QFont font = uiFont(13, QFont::DemiBold);
    font.setStyleHint(QFont::Monospace);
    m_elapsed->setFont(font);
    m_elapsed->setMinimumWidth(QFontMetrics(font).horizontalAdvance(QStringLiteral("0:00:00")));
    m_elapsed->setObjectName(QStringLiteral("elapsed"));
    setElapsedText(QStringLiteral("0:00"));
    for (QPushButton *b : {m_pause, m_stop}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setFont(uiFont(11, QFont::Normal));
    }
    m_pause->setObjectName(QStringLiteral("pause"));
    m_stop->setObjectName(QStringLiteral("stop"));
    m_stop->setIcon(themeIcon(QStringLiteral("media-playback-stop")));
    setPaused(false);
    layout->addWidget(m_elapsed);
    layout->addWidget(m_pause);
    layout->addWidget(m_stop);
    connect(m_pause, &QPushButton::clicked, this, &RecordingControl::pauseToggled);
    connect(m_stop, &QPushButton::clicked, this, &RecordingControl::stopRequested);
    adjustSize();
    setFixedSize(sizeHint());
}

void RecordingControl::setElapsedText(const QString &text)
{
    m_elapsed->setText(text);
}

QString RecordingControl::elapsedText() const
{
    return m_elapsed->text();
}

void RecordingControl::setPaused(bool paused)
{
    m_pause->setText(paused ? tr("Resume") : tr("Pause"));
    m_pause->setIcon(themeIcon(paused ? QStringLiteral("media-record")
                                      : QStringLiteral("media-playback-pause")));
}

void RecordingControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.fillPath(panel, QColor(246, 246, 248, 245));
    p.setPen(QPen(QColor(0, 0, 0, 60), 1));
    p.drawPath(panel);
    // The red dot that says "recording".
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 40, 40));
    p.drawEllipse(QPointF(6, height() / 2.0), 3, 3);
}

} // namespace vistrel
