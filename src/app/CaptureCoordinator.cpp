#include "app/CaptureCoordinator.h"

#include "app/BoardSession.h"
#include "app/CaptureFlow.h"
#include "app/HeapTrimmer.h"
#include "app/RecordingSession.h"
#include "app/ScrollSession.h"
#include "ui/EditorWindowController.h"

namespace vistrel {

CaptureCoordinator::CaptureCoordinator(const Platform &platform, QObject *parent)
    : QObject(parent), m_trimmer(std::make_unique<HeapTrimmer>()),
      m_sessions(std::make_unique<EditorSessions>(platform, *m_trimmer)),
      m_flow(std::make_unique<CaptureFlow>(platform, *m_sessions, *m_trimmer)),
      m_board(std::make_unique<BoardSession>(platform, *m_flow)),
      m_scroll(std::make_unique<ScrollSession>(platform, *m_flow, *m_sessions)),
      m_recording(std::make_unique<RecordingSession>(platform, *m_flow, *m_sessions)),
      m_scripts(std::make_unique<ScriptedCaptures>(platform, *m_flow))
{
    connect(m_sessions.get(), &EditorSessions::addImageRequested, m_board.get(),
            &BoardSession::addScreenshot);
}

CaptureCoordinator::~CaptureCoordinator()
{
    // Once quitting, what the history kept stays as it was written while windows close.
    m_sessions->beginQuitting();
    m_scripts.reset();
    m_recording.reset();
    m_board.reset();
    m_scroll.reset();
    m_flow.reset();
    m_sessions.reset();
}

void CaptureCoordinator::startAreaCapture(bool ocr)
{
    m_flow->startAreaCapture(ocr);
}

void CaptureCoordinator::startWindowCapture()
{
    m_flow->startWindowCapture();
}

void CaptureCoordinator::captureFullScreen()
{
    m_flow->captureFullScreen();
}

void CaptureCoordinator::startScrollCapture()
{
    m_scroll->startScrollCapture();
}

void CaptureCoordinator::startOrStopRecording()
{
    m_recording->startOrStop();
}

void CaptureCoordinator::startColorPick()
{
    m_flow->startColorPick();
}

void CaptureCoordinator::captureForScript(const ScriptedCaptures::Request &request,
                                          ScriptedCaptures::Done done, QObject *caller)
{
    m_scripts->capture(request, std::move(done), caller);
}

void CaptureCoordinator::prepareForCaptures()
{
    if (!m_flow->prepareOverlays())
        return; // a test's overlays: nothing of ours to make
    m_sessions->warmUp();
    m_trimmer->request(); // what that left in the heap: the app goes idle now
}

void CaptureCoordinator::setPreferences(const Preferences *preferences)
{
    m_sessions->setPreferences(preferences);
}

void CaptureCoordinator::setOverlayFactory(OverlayFactory factory)
{
    m_flow->setOverlayFactory(std::move(factory));
}

void CaptureCoordinator::setTextRecognizer(EditorSessions::TextRecognizer recognizer)
{
    m_sessions->setTextRecognizer(std::move(recognizer));
}

void CaptureCoordinator::setNameSuggester(EditorSessions::NameSuggester suggester)
{
    m_sessions->setNameSuggester(std::move(suggester));
}

} // namespace vistrel
