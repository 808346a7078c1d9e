#include "app/ScrollSession.h"
#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/BoardSession.h"
#include "app/CaptureCoordinator.h"
#include "app/CaptureFlow.h"
#include "ui/EditorWindowController.h"
#include "ui/PreviewCardController.h"
#include "ui/ScrollCaptureController.h"

#include <QAbstractButton>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

class ScriptedOverlay : public SelectionOverlay
{
public:
    ScriptedOverlay(OverlayRequest r, Completion c)
        : request(std::move(r)), completion(std::move(c))
    {
    }
    void present() override {}
    OverlayRequest request;
    Completion completion;
};

class ScrollSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("VISTREL_KEEP_CAPTURES", keep.path().toUtf8());
        display = desktop.addDisplay(10, QRectF(0, 0, 640, 400), 1.0, Qt::darkBlue);
        coordinator = std::make_unique<CaptureCoordinator>(desktop.platform());
        coordinator->setOverlayFactory([this](const OverlayRequest &r, auto completion) {
            overlay = new ScriptedOverlay(r, completion);
            return overlay.data();
        });
    }
    void TearDown() override
    {
        coordinator.reset();
        drain();
        qunsetenv("VISTREL_KEEP_CAPTURES");
    }
    // Ctrl+Shift+8, then a drag over (20, 30, 200, 100).
    void selectArea()
    {
        coordinator->startScrollCapture();
        drain();
        ASSERT_TRUE(overlay);
        EXPECT_EQ(overlay->request.immediateAction, SelectionAction::Scroll);
        overlay->completion(SelectionOutcome{RectSelection{QRectF(20, 30, 200, 100), display},
                                             SelectionAction::Scroll});
        // The first frame follows once the screen beneath the overlay is repainted.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return coordinator->scroll().scrollController() &&
                       coordinator->scroll().scrollController()->tick() > 0;
            },
            3000));
    }

    QTemporaryDir keep;
    FakeDesktop desktop;
    DisplayInfo display;
    std::unique_ptr<CaptureCoordinator> coordinator;
    QPointer<ScriptedOverlay> overlay;
};

} // namespace

TEST_F(ScrollSessionTest, DoneOpensThePreviewCardAndItsEditOpensTheEditor)
{
    selectArea();
    EXPECT_FALSE(coordinator->flow().busy());
    ScrollCaptureController *scroll = coordinator->scroll().scrollController();
    ASSERT_TRUE(scroll);
    EXPECT_TRUE(scroll->running());
    EXPECT_GE(scroll->tick(), 1); // the first frame is taken at once
    scroll->doneButton()->click();
    drain();
    EXPECT_FALSE(coordinator->scroll().scrollController());
    ASSERT_EQ(coordinator->scroll().previews().size(), 1);
    EXPECT_EQ(QDir(keep.path()).entryList(QDir::Files).size(), 1); // the stitched picture kept
    PreviewCardController *card = coordinator->scroll().previews().first();
    EXPECT_EQ(card->canvas()->baseImage().size(), QSize(200, 100));
    card->button(PreviewButton::Edit)->click();
    drain();
    EXPECT_TRUE(coordinator->scroll().previews().isEmpty());
    ASSERT_EQ(coordinator->sessions().editors().size(), 1);
    EXPECT_EQ(coordinator->sessions().editors().first()->image().size(), QSize(200, 100));
}

TEST_F(ScrollSessionTest, CancelOpensNoCard)
{
    selectArea();
    ASSERT_TRUE(coordinator->scroll().scrollController());
    coordinator->scroll().scrollController()->cancelButton()->click();
    drain();
    EXPECT_FALSE(coordinator->scroll().scrollController());
    EXPECT_TRUE(coordinator->scroll().previews().isEmpty());
    EXPECT_TRUE(QDir(keep.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(ScrollSessionTest, ASecondScrollingCaptureAsksBeforeTheFirstIsReplaced)
{
    selectArea();
    QPointer<ScrollCaptureController> first = coordinator->scroll().scrollController();
    ASSERT_TRUE(first);
    QPointer<ScriptedOverlay> firstOverlay = overlay;

    // Asked once however often the key is pressed; keeping it changes nothing.
    coordinator->startScrollCapture();
    coordinator->startScrollCapture();
    drain();
    ASSERT_EQ(desktop.questions.size(), 1);
    EXPECT_EQ(desktop.questions[0].choices.size(), 3);
    EXPECT_EQ(desktop.questions[0].cancelChoice, 0) << "closing the question keeps scrolling";
    desktop.pendingAnswer(0);
    drain();
    EXPECT_EQ(coordinator->scroll().scrollController(), first.data());
    EXPECT_TRUE(first->running());
    EXPECT_EQ(overlay, firstOverlay) << "no new overlay";

    // Finish and start new: the picture so far opens in a preview card, then the overlay.
    desktop.answer = 1;
    coordinator->startScrollCapture();
    drain();
    EXPECT_EQ(coordinator->scroll().previews().size(), 1);
    EXPECT_NE(overlay, firstOverlay);
    EXPECT_EQ(overlay->request.immediateAction, SelectionAction::Scroll);
    overlay->completion(std::nullopt);
    drain();

    // Discard and start new: nothing is kept of the one running.
    selectArea();
    desktop.answer = 2;
    coordinator->startScrollCapture();
    drain();
    EXPECT_EQ(coordinator->scroll().previews().size(), 1);
    EXPECT_EQ(QDir(keep.path()).entryList(QDir::Files).size(), 1);
    EXPECT_FALSE(coordinator->scroll().scrollController());
    EXPECT_EQ(desktop.questions.size(), 3);
}
