#include "app/ScrollSession.h"

#include "app/CaptureFlow.h"
#include "app/EditorSessions.h"
#include "ui/EditorWindowController.h"
#include "ui/Notifier.h"
#include "ui/PreviewCardController.h"
#include "ui/ScrollCaptureController.h"

#include <QTimer>

namespace vistrel {

ScrollSession::ScrollSession(const Platform &platform, CaptureFlow &flow, EditorSessions &sessions,
                             QObject *parent)
    : QObject(parent), m_platform(platform), m_flow(flow), m_sessions(sessions)
{
    connect(&flow, &CaptureFlow::scrollAreaChosen, this, &ScrollSession::startScrollSession);
}

ScrollSession::~ScrollSession()
{
    delete m_scrollController.data();
    qDeleteAll(m_previews);
}

ScrollCaptureController *ScrollSession::scrollController() const
{
    return m_scrollController;
}

void ScrollSession::startScrollCapture()
{
    if (!m_platform.limits.scrollCapture.isEmpty())
        return Notifier::error(m_platform.alerts, m_platform.limits.scrollCapture);
    if (m_scrollController)
        return askToReplaceScrollCapture();
    m_flow.chooseScrollArea();
}

void ScrollSession::askToReplaceScrollCapture()
{
    // The picture grown so far is the user's work: a key pressed twice must not throw it away.
    if (std::exchange(m_askingToReplaceScroll, true))
        return;
    // The wheel stops turning while the question is up: it could turn under the box. No frames
    // are taken either: they would show the box.
    m_scrollController->stopAuto();
    m_scrollController->setPaused(true);
    const Question question{
        tr("Vistrel — Scrolling Capture"),
        tr("A scrolling capture is still going on. Start a new one?"),
        {tr("Keep Scrolling"), tr("Finish and Start New"), tr("Discard and Start New")},
        0,
        0};
    QPointer<ScrollSession> self(this);
    m_platform.alerts->ask(question, [self](int choice) {
        if (!self)
            return;
        self->m_askingToReplaceScroll = false;
        if (choice != 1 && choice != 2) {
            if (ScrollCaptureController *scroll = self->m_scrollController)
                scroll->setPaused(false);
            return;
        }
        if (ScrollCaptureController *scroll = self->m_scrollController) {
            if (choice == 1)
                scroll->finishAction(); // its picture opens in a preview card, as Done does
            else
                scroll->cancelAction();
        }
        self->m_flow.chooseScrollArea();
    });
}

void ScrollSession::startScrollSession(const QRectF &rect, const DisplayInfo &display)
{
    if (m_scrollController)
        m_scrollController->deleteLater();
    QPointer<ScrollSession> self(this);
    auto *controller =
        new ScrollCaptureController(rect, display, m_platform, [self](std::optional<QImage> image) {
            if (!self)
                return;
            // Called from inside the controller: it goes once that call has returned.
            if (self->m_scrollController)
                self->m_scrollController->deleteLater();
            self->m_scrollController = nullptr;
            if (!image)
                return;
            self->m_flow.keepCopy(*image);
            self->openPreviewCard(*image);
        });
    m_scrollController = controller;
    controller->buildHUD();
    // The overlay has just gone and frames are live pictures of the screen: the first one
    // waits until the page beneath has been repainted.
    constexpr int repaintMs = 120;
    QTimer::singleShot(repaintMs, controller, [controller] { controller->start(); });
}

PreviewCardController *ScrollSession::openPreviewCard(const QImage &image)
{
    auto *card = new PreviewCardController(image, m_platform);
    QPointer<ScrollSession> self(this);
    connect(card, &PreviewCardController::closed, this, [this, card] {
        m_previews.removeAll(card);
        card->deleteLater();
    });
    card->saveSettings = [self] { return self ? self->m_sessions.saveSettings() : SaveSettings(); };
    // The card's marks stay marks in the editor, where they can still be moved or undone.
    connect(card, &PreviewCardController::editRequested, this,
            [this](const QImage &cropped, const QList<AnnotationRef> &marks) {
                m_sessions.openEditor(cropped, marks);
            });
    m_previews.append(card);
    card->showWindow();
    m_sessions.remember(image);
    return card;
}

} // namespace vistrel
