#pragma once

#include "platform/Desktop.h"

#include <QObject>
#include <QPointer>

namespace vistrel {

class AddSessionController;
class CaptureFlow;
class EditorWindowController;

// A board: further area captures collected into an open editor (its Add button) through a
// floating panel, until Done. The editor hides meanwhile; after each step the panel comes back
// and the keyboard goes back to the window the user works in.
class BoardSession : public QObject
{
    Q_OBJECT
public:
    BoardSession(const Platform &platform, CaptureFlow &flow, QObject *parent = nullptr);
    ~BoardSession() override;

    // A session for another editor replaces the running one.
    void addScreenshot(EditorWindowController *editor);
    void captureForBoard();
    void finishAddSession();
    AddSessionController *addSession() const;
    EditorWindowController *boardTarget() const;

private:
    void addToBoard(const QImage &image);
    // When a session runs: its panel back, and the keyboard.
    void showBoardPanel();

    Platform m_platform;
    CaptureFlow &m_flow;
    QPointer<EditorWindowController> m_boardTarget;
    QPointer<AddSessionController> m_addSession;
    quint32 m_boardWorkWindow = 0; // had the keyboard when the last board capture began
};

} // namespace vistrel
