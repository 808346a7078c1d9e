#include "ui/ScrollCaptureController.h"
#include "ui/UiFont.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace vistrel {

void TimerClock::after(int ms, QObject *context, std::function<void()> wake)
{
    QTimer::singleShot(ms, context, std::move(wake));
}

namespace {

constexpr double panelRadius = 16;

// The control panel: a dark rounded card. Shaped, so desktops without a compositor show no
// black corners.
class ScrollPanel : public QWidget
{
public:
    ScrollPanel()
        // Unmanaged, so no window manager hides it while another application has the focus
        // (it sits over that application's content) or stacks that application above it.
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::X11BypassWindowManagerHint)
    {
        setWindowTitle(
            QCoreApplication::translate("vistrel::ScrollCaptureController", "Scrolling Capture"));
        setAttribute(Qt::WA_DeleteOnClose, false);
        setFixedSize(ScrollCaptureController::panelSize);
        QBitmap shape(size());
        shape.fill(Qt::color0);
        QPainter p(&shape);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::color1);
        p.drawRoundedRect(QRectF(rect()), panelRadius, panelRadius);
        p.end();
        setMask(shape);
        QPalette pal = palette();
        pal.setColor(QPalette::WindowText, QColor(245, 245, 247));
        pal.setColor(QPalette::Window, QColor(36, 36, 40));
        setPalette(pal);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), panelRadius, panelRadius);
        p.fillPath(path, QColor(36, 36, 40));
    }
};

} // namespace

ScrollCaptureController::ScrollCaptureController(const QRectF &rect, const DisplayInfo &display,
                                                 const Platform &platform, Finish onFinish,
                                                 QObject *parent)
    : ScrollCaptureController(rect, display, platform, std::move(onFinish), m_timers, parent)
{
}

ScrollCaptureController::ScrollCaptureController(const QRectF &rect, const DisplayInfo &display,
                                                 const Platform &platform, Finish onFinish,
                                                 LoopClock &clock, QObject *parent)
    : QObject(parent), m_rect(rect), m_display(display), m_platform(platform),
      m_capture(*platform.screens), m_onFinish(std::move(onFinish)), m_clock(clock)
{
}

ScrollCaptureController::~ScrollCaptureController()
{
    if (m_escGlobal && m_platform.escape)
        m_platform.escape->stop();
    delete m_panel.data();
}

QString ScrollCaptureController::heightText(qint64 totalHeight, qsizetype frames)
{
    return tr("Captured %1 px \u00b7 %n frames", "", int(frames)).arg(totalHeight);
}

int ScrollCaptureController::notchesForStep(double pixelsPerNotch, int usableRows)
{
    if (pixelsPerNotch <= 0)
        return 1;
    return std::max(1, int(followFraction * usableRows / pixelsPerNotch));
}

std::optional<QPointF> ScrollCaptureController::panelOrigin(const QRectF &visible,
                                                            const QRectF &captured,
                                                            const QSizeF &panel)
{
    constexpr double gap = 12;
    const QPointF preferred(visible.center().x() - panel.width() / 2,
                            visible.bottom() - 40 - panel.height());
    const QRectF keepOut = captured.adjusted(-2, -2, 2, 2);
    auto fits = [&](QPointF origin) {
        const QRectF r(origin, panel);
        return visible.contains(r) && !r.intersects(keepOut);
    };
    auto clampX = [&](double x) {
        return std::clamp(x, visible.left(),
                          std::max(visible.left(), visible.right() - panel.width()));
    };
    auto clampY = [&](double y) {
        return std::clamp(y, visible.top(),
                          std::max(visible.top(), visible.bottom() - panel.height()));
    };
    const QPointF candidates[] = {
        preferred,
        {clampX(captured.center().x() - panel.width() / 2), captured.bottom() + gap},
        {clampX(captured.center().x() - panel.width() / 2), captured.top() - gap - panel.height()},
        {captured.right() + gap, clampY(preferred.y())},
        {captured.left() - gap - panel.width(), clampY(preferred.y())},
    };
    for (const QPointF &c : candidates)
        if (fits(c))
            return c;
    return std::nullopt;
}

void ScrollCaptureController::buildHUD()
{
    auto *panel = new ScrollPanel;
    m_panel = panel;

    m_previewView = new QLabel(panel);
    m_previewView->setGeometry(QRect(12, 12, 120, panelSize.height() - 24));
    m_previewView->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_previewView->setStyleSheet(
        QStringLiteral("background: rgba(255, 255, 255, 20); border-radius: 6px;"));

    auto *title = new QLabel(tr("Scrolling Capture"), panel);
    title->setFont(uiFont(13, QFont::DemiBold));
    title->setGeometry(QRect(136, 10, 280, 20));

    // What to do, or what went wrong: two lines at most.
    m_hintLabel = new QLabel(tr("Scroll the content, or use Auto"), panel);
    m_hintLabel->setFont(uiFont(11, QFont::Normal));
    m_hintLabel->setWordWrap(true);
    m_hintLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_hintLabel->setStyleSheet(QStringLiteral("color: rgba(235, 235, 245, 190);"));
    m_hintLabel->setGeometry(QRect(136, 34, 284, 36));

    m_heightLabel = new QLabel(tr("Captured 0 px"), panel);
    QFont digits = uiFont(11, QFont::Normal);
    digits.setStyleHint(QFont::Monospace); // digits keep their places while counting
    m_heightLabel->setFont(digits);
    m_heightLabel->setStyleSheet(QStringLiteral("color: rgba(235, 235, 245, 153);"));
    m_heightLabel->setGeometry(QRect(136, 74, 280, 16));

    m_autoButton = new QPushButton(tr("Auto Scroll"), panel);
    m_autoButton->setGeometry(QRect(136, 94, 276, 30));
    m_autoButton->setFocusPolicy(Qt::NoFocus);
    connect(m_autoButton, &QPushButton::clicked, this, &ScrollCaptureController::toggleAuto);

    m_doneButton = new QPushButton(tr("Done"), panel);
    m_doneButton->setGeometry(QRect(136, 128, 135, 30));
    m_doneButton->setFocusPolicy(Qt::NoFocus);
    connect(m_doneButton, &QPushButton::clicked, this, &ScrollCaptureController::finishAction);
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *sc = new QShortcut(QKeySequence(key), panel);
        connect(sc, &QShortcut::activated, this, &ScrollCaptureController::finishAction);
    }

    m_cancelButton = new QPushButton(tr("Cancel"), panel);
    m_cancelButton->setGeometry(QRect(277, 128, 135, 30));
    m_cancelButton->setFocusPolicy(Qt::NoFocus);
    connect(m_cancelButton, &QPushButton::clicked, this, &ScrollCaptureController::cancelAction);

    // Frames are taken with the panel where it is, never hidden (it would flicker, and a click
    // meant for it would land in the content), so it stays clear of the rectangle. Where there
    // is no room (a maximised window), it sits over the rectangle's top rows: the content
    // scrolls up, so those rows were seen before they went under it, and the stitcher leaves
    // them out. The first frame is taken before the panel shows.
    panel->winId();
    if (QWindow *window = panel->windowHandle())
        window->setProperty(keepInGrabsProperty, true);
    const int frameRows = int(std::lround(m_rect.height() * m_display.scale));
    {
        const QRectF captured = m_rect.translated(m_display.frame.topLeft());
        QScreen *screen = m_capture.screenFor(m_display);
        const QRectF visible = screen ? QRectF(screen->availableGeometry()) : m_display.frame;
        if (auto origin = panelOrigin(visible, captured, QSizeF(panelSize))) {
            panel->move(origin->toPoint());
        } else {
            m_panelOverlaps = true;
            const double x =
                std::clamp(captured.center().x() - panelSize.width() / 2.0, visible.left(),
                           std::max(visible.left(), visible.right() - panelSize.width()));
            const double y = std::max(visible.top(), captured.top()) + 8;
            panel->move(QPoint(int(x), int(y)));
            const double coveredPoints = y + panelSize.height() + 4 - captured.top();
            m_stitcher.setIgnoredTopRows(int(std::ceil(coveredPoints * m_display.scale)));
            m_showPanelAfterFirstFrame = true;
        }
    }
    if (ScrollStitcher::maxShift(frameRows, m_stitcher.ignoredTopRows()) < 24)
        say(tr("This area is too small to follow scrolling: drag a taller one."));
    if (!m_showPanelAfterFirstFrame) {
        panel->show();
        panel->raise();
        panel->activateWindow(); // so that Return reaches Done
    }
}

void ScrollCaptureController::say(const QString &message)
{
    if (m_hintLabel)
        m_hintLabel->setText(message);
}

void ScrollCaptureController::start()
{
    if (m_finished || m_running)
        return; // cancelled before the first frame, or started already
    m_running = true;
    captureFrame();
}

void ScrollCaptureController::setPaused(bool paused)
{
    m_paused = paused;
}

void ScrollCaptureController::captureFrame()
{
    if (!m_running)
        return;
    if (m_paused) {
        m_clock.after(frameIntervalMs, this, [this] { captureFrame(); });
        return;
    }
    auto frame = m_capture.captureRect(m_rect, m_display);
    if (frame) {
        const ScrollStitcher::Step step = m_stitcher.addFrame(*frame);
        ++m_tick;
        if (step.outcome == ScrollStitcher::Outcome::First && m_showPanelAfterFirstFrame &&
            m_panel) {
            m_showPanelAfterFirstFrame = false;
            m_panel->show();
            m_panel->raise();
            m_panel->activateWindow();
        }
        if (m_stitcher.uncertainRun() == lostAfterFrames && !m_autoScrolling && !m_explained)
            say(tr("Lost track of the content: it moved too far at once. Scroll "
                   "back a little, or press Done."));
        if (step.outcome == ScrollStitcher::Outcome::Moved)
            m_explained = false;
        if (step.outcome == ScrollStitcher::Outcome::Full && !m_saidFull) {
            // The picture may grow no further: the user decides, with what was kept in view.
            m_saidFull = m_explained = true;
            stopAuto();
            say(tr("Stopped at %1 px, the tallest picture kept: what lies further down is left "
                   "out. Done keeps this.")
                    .arg(m_stitcher.totalHeight()));
        }
        if (m_heightLabel)
            m_heightLabel->setText(
                heightText(m_stitcher.totalHeight(), m_stitcher.strips().size()));
        if (m_tick % 3 == 0 && m_previewView) {
            if (const auto image = m_stitcher.compose()) {
                const QSize box = m_previewView->size() * m_previewView->devicePixelRatioF();
                QPixmap pm = QPixmap::fromImage(
                    image->scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
                pm.setDevicePixelRatio(m_previewView->devicePixelRatioF());
                m_previewView->setPixmap(pm);
            }
        }
    }
    m_clock.after(frameIntervalMs, this, [this] { captureFrame(); });
}

QRect ScrollCaptureController::globalPixelRect() const
{
    const QRectF r(m_rect.topLeft() * m_display.scale, m_rect.size() * m_display.scale);
    return r.toAlignedRect().translated(m_display.pixelOrigin);
}

QPoint ScrollCaptureController::globalCentrePixel() const
{
    const QPointF c = m_rect.center() * m_display.scale;
    return m_display.pixelOrigin + QPoint(qRound(c.x()), qRound(c.y()));
}

ScrollCaptureController::WheelAt ScrollCaptureController::wheelPoint() const
{
    const std::optional<QPoint> pointer =
        m_platform.pointer ? m_platform.pointer->pointerPosition() : std::nullopt;
    bool overPanel = false;
    if (pointer && m_panel && m_panel->isVisible()) {
        const QRect panel = m_panel->frameGeometry();
        const qreal s = m_display.scale;
        overPanel = QRect(QPoint(qRound(panel.x() * s), qRound(panel.y() * s)), panel.size() * s)
                        .contains(*pointer);
    }
    if (pointer && !overPanel && globalPixelRect().contains(*pointer))
        return {*pointer, std::nullopt};
    return {globalCentrePixel(), pointer};
}

void ScrollCaptureController::toggleAuto()
{
    if (m_autoScrolling) {
        stopAuto();
        return;
    }
    if (!m_running)
        return;
    m_autoScrolling = true;
    m_autoSteps = 0;
    if (m_autoButton)
        m_autoButton->setText(tr("Stop (Esc)"));
    QPointer<ScrollCaptureController> self(this);
    if (m_platform.escape)
        m_escGlobal = m_platform.escape->start([self] {
            if (self)
                self->stopAuto();
        });
    if (m_panel) {
        m_escLocal = new QShortcut(QKeySequence(Qt::Key_Escape), m_panel);
        connect(m_escLocal, &QShortcut::activated, this, &ScrollCaptureController::stopAuto);
    }
    const quint64 generation = ++m_autoGeneration;
    m_heightAtStep = m_heightAtAutoStart = m_stitcher.totalHeight();
    m_notchesSent = 0;
    m_stall = 0;
    say(tr("Scrolling… Esc stops, Done ends"));
    m_clock.after(autoFirstDelayMs, this, [this, generation] { autoLoopBegin(generation); });
}

void ScrollCaptureController::postScrollStep()
{
    const WheelAt at = wheelPoint();
    ++m_autoSteps;
    const int usable =
        int(std::lround(m_rect.height() * m_display.scale)) - m_stitcher.ignoredTopRows();
    // Until a notch has been measured, one notch: it may be anything from 20 to 150 pixels.
    m_notchesSent = m_pixelsPerNotch ? notchesForStep(*m_pixelsPerNotch, usable) : 1;
    m_heightAtStep = m_stitcher.totalHeight();
    if (m_platform.pointer) {
        m_platform.pointer->scrollDown(at.point, m_notchesSent);
        // Back where the user had it (on the panel, say, about to click Stop).
        if (at.returnTo)
            m_platform.pointer->movePointer(*at.returnTo);
    }
}

void ScrollCaptureController::autoLoopBegin(quint64 generation)
{
    if (generation != m_autoGeneration)
        return;
    if (!m_running)
        return autoLoopEnd(generation);
    m_stall = 0;
    if (m_autoScrolling) {
        postScrollStep();
        m_clock.after(autoStepMs, this, [this, generation] { autoLoopCheck(generation); });
        return;
    }
    autoLoopEnd(generation);
}

void ScrollCaptureController::autoLoopCheck(quint64 generation)
{
    if (generation != m_autoGeneration)
        return;
    if (!m_running)
        return autoLoopEnd(generation);
    const qint64 total = m_stitcher.totalHeight();
    const qint64 grown = total - m_heightAtStep;
    if (grown > 0 && m_notchesSent > 0) {
        // The largest seen: a step cut short by the end of the content moves less.
        const double perNotch = double(grown) / m_notchesSent;
        m_pixelsPerNotch = std::max(m_pixelsPerNotch.value_or(0), perNotch);
        m_stall = 0;
    } else if (m_stitcher.uncertainRun() >= lostAfterFrames ||
               (m_notchesSent > 0 && !m_pixelsPerNotch && m_stitcher.uncertainRun() >= 2)) {
        // One frame caught mid-redraw is no proof; two in a row after the first notch are.
        // The content moved, but further than can be followed: never guess, say so.
        stopAuto();
        m_explained = true;
        say(m_pixelsPerNotch ? tr("Lost track of the content: it moved too far at once. Scroll "
                                  "back a little, or press Done.")
                             : tr("One wheel notch scrolls further than this area can follow: "
                                  "drag a taller area."));
        return;
    } else if (m_notchesSent > 0) {
        ++m_stall;
    }
    if (m_autoScrolling && m_stall <= 3) {
        postScrollStep();
        m_clock.after(autoStepMs, this, [this, generation] { autoLoopCheck(generation); });
        return;
    }
    if (m_autoScrolling && m_stitcher.totalHeight() == m_heightAtAutoStart) {
        // Not one row came in: the wheel went elsewhere, or this content does not scroll.
        stopAuto();
        m_explained = true;
        say(tr("Nothing scrolled here: click into the content and try again, or "
               "scroll it by hand."));
        return;
    }
    autoLoopEnd(generation);
}

void ScrollCaptureController::autoLoopEnd(quint64)
{
    const bool wasOn = m_autoScrolling;
    stopAuto();
    // Stalled at the end of the content: the capture is complete. Switched off by the user, or
    // stopped at the tallest picture kept: scrolling by hand goes on, until Done.
    if (m_running && wasOn)
        finish(m_stitcher.compose());
}

void ScrollCaptureController::stopAuto()
{
    // The hint no longer speaks of scrolling once it has stopped.
    if (std::exchange(m_autoScrolling, false) && m_hintLabel &&
        m_hintLabel->text() == tr("Scrolling… Esc stops, Done ends"))
        say(tr("Scroll the content, or use Auto"));
    if (m_autoButton)
        m_autoButton->setText(tr("Auto Scroll"));
    if (m_escGlobal) {
        if (m_platform.escape)
            m_platform.escape->stop();
        m_escGlobal = false;
    }
    if (m_escLocal) {
        m_escLocal->deleteLater();
        m_escLocal = nullptr;
    }
}

void ScrollCaptureController::finishAction()
{
    finish(m_stitcher.compose());
}

void ScrollCaptureController::cancelAction()
{
    finish(std::nullopt);
}

void ScrollCaptureController::finish(std::optional<QImage> image)
{
    if (m_finished)
        return; // the caller hears of the end once
    m_finished = true;
    m_running = false;
    stopAuto();
    if (m_panel) {
        m_panel->hide();
        m_panel->deleteLater();
        m_panel = nullptr;
        m_heightLabel = m_previewView = nullptr;
        m_autoButton = m_doneButton = m_cancelButton = nullptr;
    }
    // The callback may drop this controller: nothing is touched after it.
    Finish done = std::move(m_onFinish);
    m_onFinish = nullptr;
    if (done)
        done(std::move(image));
}

} // namespace vistrel
