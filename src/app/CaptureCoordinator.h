#pragma once

#include "app/EditorSessions.h"
#include "app/ScriptedCaptures.h"
#include "platform/Desktop.h"
#include "ui/SelectionOverlay.h"

#include <QObject>

#include <memory>

namespace vistrel {

class BoardSession;
class CaptureFlow;
class HeapTrimmer;
class Preferences;
class RecordingSession;
class ScrollSession;

// Every capture from the request to where the picture ends up: owns the capture flow, the
// editors and their work, the board, the scrolling capture and the scripts' captures, and
// wires them together. The entry points return at once and do their work on the next turn of
// the event loop.
class CaptureCoordinator : public QObject
{
    Q_OBJECT
public:
    explicit CaptureCoordinator(const Platform &platform, QObject *parent = nullptr);
    ~CaptureCoordinator() override;

    void startAreaCapture(bool ocr);
    void startWindowCapture();
    void captureFullScreen();
    void startScrollCapture();
    void startColorPick();
    // The hot key and the tray: a recording's area, or Stop while one runs.
    void startOrStopRecording();
    void captureForScript(const ScriptedCaptures::Request &request, ScriptedCaptures::Done done,
                          QObject *caller = nullptr);
    // Makes ahead what the first capture would otherwise make while the user waits (the
    // overlay windows, hidden; an editor's code and window); for once the app is up.
    void prepareForCaptures();
    void setPreferences(const Preferences *preferences);

    // Seams for tests; the real overlay, text recognition and naming are the defaults.
    void setOverlayFactory(OverlayFactory factory);
    void setTextRecognizer(EditorSessions::TextRecognizer recognizer);
    void setNameSuggester(EditorSessions::NameSuggester suggester);

    CaptureFlow &flow() const { return *m_flow; }
    EditorSessions &sessions() const { return *m_sessions; }
    BoardSession &board() const { return *m_board; }
    ScrollSession &scroll() const { return *m_scroll; }
    RecordingSession &recording() const { return *m_recording; }

private:
    std::unique_ptr<HeapTrimmer> m_trimmer;
    std::unique_ptr<EditorSessions> m_sessions;
    std::unique_ptr<CaptureFlow> m_flow;
    std::unique_ptr<BoardSession> m_board;
    std::unique_ptr<ScrollSession> m_scroll;
    std::unique_ptr<RecordingSession> m_recording;
    std::unique_ptr<ScriptedCaptures> m_scripts;
};

} // namespace vistrel
