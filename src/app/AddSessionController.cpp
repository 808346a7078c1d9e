#include "app/AddSessionController.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace vistrel {

namespace {

constexpr int panelW = 340, panelH = 92, cornerRadius = 16, plusSize = 14, plusGap = 3;

// The panel's surface: a dark rounded slab. Return presses Capture whenever the panel does
// have the keyboard.
class SessionPanel : public QWidget
{
public:
    explicit SessionPanel(AddSessionController *session)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus),
          m_session(session)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_DeleteOnClose, false);
        setFocusPolicy(Qt::NoFocus);
        setWindowTitle(AddSessionController::title());
        setFixedSize(panelW, panelH);
        // Without a compositor a translucent window shows black corners; a shape keeps them out.
        QBitmap shape(size());
        shape.fill(Qt::color0);
        QPainter p(&shape);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::color1);
        p.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        p.end();
        setMask(shape);
        QPalette pal = palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        setPalette(pal);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath slab;
        slab.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        p.fillPath(slab, QColor(32, 32, 36, 235));
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_session) {
            m_session->capture();
            return;
        }
        QWidget::keyPressEvent(event);
    }

private:
    QPointer<AddSessionController> m_session;
};

// The plus before "Capture Region", drawn rather than typed: the full-width plus sign is
// missing from many desktop fonts, which show an empty box in its place.
QIcon plusIcon(const QColor &ink)
{
    QIcon icon;
    for (const int scale : {1, 2, 3}) {
        // A little room after the plus: the style's own gap to the title is narrow.
        QPixmap pm((plusSize + plusGap) * scale, plusSize * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        const double mid = plusSize / 2.0, arm = plusSize / 2.0 - 2;
        p.drawLine(QPointF(mid, mid - arm), QPointF(mid, mid + arm));
        p.drawLine(QPointF(mid - arm, mid), QPointF(mid + arm, mid));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

AddSessionController::AddSessionController(WindowManager *windows, QObject *parent)
    : QObject(parent), m_windows(windows)
{
}

AddSessionController::~AddSessionController()
{
    delete m_panel;
}

QString AddSessionController::label() const
{
    if (count == 0)
        return tr("Capture a region from any page");
    return tr("%n added · capture more, or Done", "", count);
}

QRect AddSessionController::placement(const QRect &visible)
{
    // Centred, 44 above the bottom of the usable area.
    return QRect(visible.x() + visible.width() / 2 - panelW / 2,
                 visible.y() + visible.height() - 44 - panelH, panelW, panelH);
}

void AddSessionController::build()
{
    auto *panel = new SessionPanel(this);
    m_panel = panel;

    auto *titleLabel = new QLabel(title(), panel);
    QFont titleFont = titleLabel->font();
    titleFont.setPixelSize(13);
    titleFont.setWeight(QFont::DemiBold);
    titleLabel->setFont(titleFont);
    titleLabel->setGeometry(16, panelH - 66 - 18, 308, 18);

    m_countLabel = new QLabel(label(), panel);
    QFont small = m_countLabel->font();
    small.setPixelSize(11);
    m_countLabel->setFont(small);
    QPalette secondary = m_countLabel->palette();
    secondary.setColor(QPalette::WindowText, QColor(255, 255, 255, 150));
    m_countLabel->setPalette(secondary);
    m_countLabel->setGeometry(16, panelH - 47 - 16, 308, 16);

    m_captureButton = new QPushButton(tr("Capture Region"), panel);
    m_captureButton->setIcon(plusIcon(m_captureButton->palette().color(QPalette::ButtonText)));
    m_captureButton->setIconSize(QSize(plusSize + plusGap, plusSize));
    m_captureButton->setGeometry(16, panelH - 12 - 30, 200, 30);
    m_captureButton->setDefault(true);
    m_captureButton->setFocusPolicy(Qt::NoFocus);
    connect(m_captureButton, &QPushButton::clicked, this, &AddSessionController::capture);

    m_doneButton = new QPushButton(tr("Done"), panel);
    m_doneButton->setGeometry(256, panelH - 12 - 30, 68, 30);
    m_doneButton->setFocusPolicy(Qt::NoFocus);
    connect(m_doneButton, &QPushButton::clicked, this, &AddSessionController::done_);

    if (QScreen *s = QGuiApplication::primaryScreen())
        panel->setGeometry(placement(s->availableGeometry()));
}

void AddSessionController::show()
{
    if (!m_panel)
        build();
    m_countLabel->setText(label());
    if (m_windows)
        m_windows->keepOnEveryDesktop(m_panel);
    m_panel->show();
    m_panel->raise();
}

void AddSessionController::capture()
{
    if (m_panel)
        m_panel->hide();
    emit captureAsked();
}

void AddSessionController::done_()
{
    emit doneAsked();
}

void AddSessionController::closePanel()
{
    if (m_panel) {
        m_panel->hide();
        m_panel->deleteLater();
    }
    m_panel = nullptr;
    m_countLabel = nullptr;
    m_captureButton = nullptr;
    m_doneButton = nullptr;
}

} // namespace vistrel
