#include "app/BoardSession.h"
#include "CoordinatorFixture.h"
#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/AddSessionController.h"
#include "app/CaptureCoordinator.h"
#include "app/CaptureFlow.h"
#include "app/Preferences.h"
#include "app/ScrollSession.h"
#include "engines/CaptureHistory.h"
#include "engines/SceneArchive.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/ScrollCaptureController.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <sys/stat.h>
using namespace vistrel;
using namespace vistrel::test;

class BoardSessionTest : public CoordinatorFixture
{
protected:
    EditorWindowController *startSession()
    {
        EditorWindowController *editor =
            coordinator->sessions().openEditor(QImage(200, 120, QImage::Format_RGB32));
        editor->addScreenshot(); // the editor's Add button
        return editor;
    }
    void captureRegion(QRectF rect)
    {
        coordinator->board().addSession()->captureButton()->click();
        drain();
        ASSERT_TRUE(overlay);
        overlay->finish(SelectionOutcome{RectSelection{rect, main}, SelectionAction::Board});
        drain();
    }
};

TEST_F(BoardSessionTest, CapturesGoOntoTheHiddenEditorUntilDone)
{
    EditorWindowController *editor = startSession();
    AddSessionController *session = coordinator->board().addSession();
    ASSERT_TRUE(session);
    EXPECT_EQ(coordinator->board().boardTarget(), editor);
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_TRUE(session->panel()->isVisible());
    EXPECT_EQ(session->countLabel()->text(), "Capture a region from any page");

    session->captureButton()->click();
    EXPECT_FALSE(session->panel()->isVisible());
    drain();
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->request.immediateAction, SelectionAction::Board);
    EXPECT_FALSE(overlay->request.windowPicking);
    overlay->finish(
        SelectionOutcome{RectSelection{QRectF(0, 0, 60, 40), main}, SelectionAction::Board});
    drain();
    ASSERT_EQ(editor->canvas()->extraImages().size(), 1);
    EXPECT_EQ(editor->canvas()->extraImages()[0]->picture.size(), QSize(60, 40));
    EXPECT_EQ(session->count, 1);
    EXPECT_TRUE(session->panel()->isVisible());
    EXPECT_EQ(session->countLabel()->text(), "1 added · capture more, or Done");
    EXPECT_FALSE(editor->window()->isVisible());

    // Escape in the overlay: the panel comes back, nothing is added.
    session->captureButton()->click();
    drain();
    overlay->finish(std::nullopt);
    drain();
    EXPECT_TRUE(session->panel()->isVisible());
    EXPECT_EQ(session->count, 1);
    EXPECT_EQ(editor->canvas()->extraImages().size(), 1);

    captureRegion(QRectF(100, 50, 30, 30));
    EXPECT_EQ(editor->canvas()->extraImages().size(), 2);
    EXPECT_EQ(session->count, 2);

    session->doneButton()->click();
    drain();
    EXPECT_EQ(coordinator->board().addSession(), nullptr);
    EXPECT_EQ(coordinator->board().boardTarget(), nullptr);
    EXPECT_TRUE(editor->window()->isVisible());
}

TEST_F(BoardSessionTest, TheKeyboardGoesBackToTheWindowTheUserWorksIn)
{
    desktop.windowPids = {{0x500, 777}, {0x600, desktop.pid}};
    desktop.activeId = 0x500; // another app's window has the keyboard
    startSession();
    AddSessionController *session = coordinator->board().addSession();
    EXPECT_TRUE(desktop.keptOnEveryDesktop.contains(session->panel()));
    captureRegion(QRectF(0, 0, 20, 20));
    EXPECT_EQ(desktop.activated, QList<quint32>{0x500});

    // Our own window in front is never the one given the keyboard back.
    desktop.activeId = 0x600;
    captureRegion(QRectF(0, 0, 20, 20));
    EXPECT_EQ(desktop.activated, (QList<quint32>{0x500, 0x500}));
}

TEST_F(BoardSessionTest, FailuresAndABusyOverlayShowThePanelAgain)
{
    startSession();
    AddSessionController *session = coordinator->board().addSession();

    // Another overlay is up: the board capture only brings the panel back.
    coordinator->startAreaCapture(false);
    drain();
    const int made = overlaysMade;
    session->captureButton()->click();
    drain();
    EXPECT_EQ(overlaysMade, made);
    EXPECT_TRUE(session->panel()->isVisible());
    overlay->finish(std::nullopt);
    drain();

    desktop.failContent = true;
    session->captureButton()->click();
    drain();
    EXPECT_TRUE(session->panel()->isVisible());
    EXPECT_EQ(desktop.warnings.size(), 1);
    desktop.failContent = false;

    // The picture cannot be taken: without the panel the session could not be finished.
    // No display can be read: the capture ends before any overlay.
    desktop.display(10)->failGrab = true;
    const int before = overlaysMade;
    session->captureButton()->click();
    drain();
    EXPECT_EQ(overlaysMade, before);
    EXPECT_TRUE(session->panel()->isVisible());
    EXPECT_EQ(desktop.warnings.size(), 2);
    // Another display can: its overlay comes up, and the area chosen on the failing one fails.
    desktop.addDisplay(11, QRectF(640, 0, 320, 200), 1.0);
    session->captureButton()->click();
    drain();
    ASSERT_EQ(overlaysMade, before + 1);
    overlay->finish(
        SelectionOutcome{RectSelection{QRectF(0, 0, 60, 40), main}, SelectionAction::Board});
    drain();
    EXPECT_TRUE(session->panel()->isVisible());
    EXPECT_EQ(desktop.warnings.size(), 3);
    EXPECT_EQ(session->count, 0);
}

TEST_F(BoardSessionTest, ClosedTargetStillCountsAndDoneOnlyEnds)
{
    EditorWindowController *editor = startSession();
    AddSessionController *session = coordinator->board().addSession();
    editor->window()->close();
    drain();
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());
    captureRegion(QRectF(0, 0, 20, 20));
    EXPECT_EQ(session->count, 1);
    session->doneButton()->click();
    drain();
    EXPECT_EQ(coordinator->board().addSession(), nullptr);
}
