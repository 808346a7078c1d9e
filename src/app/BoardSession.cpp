#include "app/BoardSession.h"

#include "app/AddSessionController.h"
#include "app/CaptureFlow.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"

#include <QTimer>

namespace vistrel {

BoardSession::BoardSession(const Platform &platform, CaptureFlow &flow, QObject *parent)
    : QObject(parent), m_platform(platform), m_flow(flow)
{
    connect(&flow, &CaptureFlow::boardPicture, this, &BoardSession::addToBoard);
    connect(&flow, &CaptureFlow::boardStepEnded, this, &BoardSession::showBoardPanel);
    connect(&flow, &CaptureFlow::selectionCancelled, this, &BoardSession::showBoardPanel);
}

BoardSession::~BoardSession()
{
    delete m_addSession.data();
}

AddSessionController *BoardSession::addSession() const
{
    return m_addSession;
}

EditorWindowController *BoardSession::boardTarget() const
{
    return m_boardTarget;
}

void BoardSession::addScreenshot(EditorWindowController *editor)
{
    m_boardTarget = editor;
    if (editor && editor->window())
        editor->window()->hide();
    if (m_addSession) {
        m_addSession->closePanel();
        m_addSession->deleteLater();
    }
    auto *session = new AddSessionController(m_platform.windows, this);
    connect(session, &AddSessionController::captureAsked, this, &BoardSession::captureForBoard);
    connect(session, &AddSessionController::doneAsked, this, &BoardSession::finishAddSession);
    m_addSession = session;
    m_boardWorkWindow = 0;
    session->show();
}

void BoardSession::captureForBoard()
{
    QTimer::singleShot(0, this, [this] {
        const quint32 active = m_platform.windows ? m_platform.windows->activeWindow() : 0;
        if (active && m_platform.windows->windowPid(active) != m_platform.screens->ownPid())
            m_boardWorkWindow = active;
        m_flow.chooseBoardArea();
    });
}

void BoardSession::addToBoard(const QImage &image)
{
    if (m_boardTarget)
        m_boardTarget->canvas()->addImage(image);
    if (m_addSession) {
        ++m_addSession->count;
        showBoardPanel();
    }
}

void BoardSession::showBoardPanel()
{
    if (!m_addSession)
        return;
    m_addSession->show();
    if (m_boardWorkWindow && m_platform.windows)
        m_platform.windows->activate(m_boardWorkWindow);
}

void BoardSession::finishAddSession()
{
    if (m_addSession) {
        m_addSession->closePanel();
        m_addSession->deleteLater(); // may be inside its own Done button
        m_addSession = nullptr;
    }
    if (m_boardTarget)
        m_boardTarget->showWindow();
    m_boardTarget = nullptr;
    m_boardWorkWindow = 0;
}

} // namespace vistrel
