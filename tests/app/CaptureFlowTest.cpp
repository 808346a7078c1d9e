#include "app/CaptureFlow.h"
#include "CoordinatorFixture.h"
#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/AddSessionController.h"
#include "app/BoardSession.h"
#include "app/CaptureCoordinator.h"
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

class CaptureFlowTest : public CoordinatorFixture
{
};

TEST_F(CaptureFlowTest, SecondRequestWhileOverlayIsUpIsDropped)
{
    coordinator->startAreaCapture(false);
    drain();
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(coordinator->flow().busy());
    EXPECT_EQ(overlay->presented, 1);

    coordinator->startAreaCapture(true);
    coordinator->startWindowCapture();
    coordinator->startScrollCapture();
    coordinator->captureFullScreen();
    drain();
    EXPECT_EQ(overlaysMade, 1);
    EXPECT_EQ(desktop.contentFetches, 1);
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());
}

TEST_F(CaptureFlowTest, CancelClearsBusyAndANewCaptureStartsAtOnce)
{
    coordinator->startAreaCapture(false);
    drain();
    overlay->finish(std::nullopt);
    EXPECT_FALSE(coordinator->flow().busy());
    EXPECT_EQ(coordinator->flow().selectionOverlay(), nullptr);
    drain();
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(overlaysMade, 2);
}

TEST_F(CaptureFlowTest, ContentFailureClearsBusyAndReportsTheError)
{
    desktop.failContent = true;
    desktop.contentError = QStringLiteral("The X server went away.");
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_FALSE(coordinator->flow().busy());
    EXPECT_EQ(overlaysMade, 0);
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_EQ(desktop.warnings[0].first, "Vistrel");
    EXPECT_EQ(desktop.warnings[0].second, "The X server went away.");

    coordinator->captureFullScreen();
    drain();
    EXPECT_FALSE(coordinator->flow().busy());
    EXPECT_EQ(desktop.warnings.size(), 2);
}

TEST_F(CaptureFlowTest, OverlayModesAskForTheRightSelection)
{
    struct Case
    {
        std::function<void()> start;
        bool windowPicking;
        std::optional<SelectionAction> immediate;
        bool frozenPictures;
    };
    const QList<Case> cases = {
        {[&] { coordinator->startAreaCapture(false); }, false, std::nullopt, true},
        {[&] { coordinator->startAreaCapture(true); }, false, SelectionAction::Ocr, true},
        // Window picking paints its frozen backdrop too, though it shows no loupe.
        {[&] { coordinator->startWindowCapture(); }, true, std::nullopt, true},
        {[&] { coordinator->startScrollCapture(); }, false, SelectionAction::Scroll, true},
    };
    for (const Case &c : cases) {
        c.start();
        drain();
        ASSERT_TRUE(overlay);
        EXPECT_EQ(overlay->request.windowPicking, c.windowPicking);
        EXPECT_EQ(overlay->request.immediateAction, c.immediate);
        EXPECT_EQ(overlay->request.displayImages.contains(10), c.frozenPictures);
        overlay->finish(std::nullopt);
        drain();
    }
}

TEST_F(CaptureFlowTest, NoDisplayForFullScreen)
{
    FakeDesktop empty;
    CaptureCoordinator c(empty.platform());
    c.captureFullScreen();
    drain();
    EXPECT_FALSE(c.flow().busy());
    ASSERT_EQ(empty.warnings.size(), 1);
    EXPECT_EQ(empty.warnings[0].second, "No display found to capture.");
    EXPECT_TRUE(c.sessions().editors().isEmpty());
}

TEST_F(CaptureFlowTest, MainDisplayChoice)
{
    ScreenLayout layout;
    EXPECT_FALSE(CaptureFlow::mainDisplay(layout, 1));
    DisplayInfo a{1, QRectF(0, 0, 10, 10), 1, {}};
    DisplayInfo b{2, QRectF(10, 0, 10, 10), 1, {}};
    layout.displays = {a, b};
    EXPECT_EQ(CaptureFlow::mainDisplay(layout, 2)->displayID, 2u);
    // The main display is not listed: the first listed one is taken.
    EXPECT_EQ(CaptureFlow::mainDisplay(layout, 7)->displayID, 1u);
}

TEST_F(CaptureFlowTest, DisplayImageMapSkipsDisplaysThatFail)
{
    desktop.addDisplay(11, QRectF(640, 0, 320, 200), 2.0);
    desktop.addDisplay(12, QRectF(960, 0, 320, 200), 1.0);
    desktop.display(11)->failGrab = true;
    auto map = coordinator->flow().captureDisplayImages(*desktop.screenLayout());
    ASSERT_TRUE(map);
    EXPECT_EQ(map->keys().size(), 2);
    EXPECT_TRUE(map->contains(10));
    EXPECT_FALSE(map->contains(11));
    EXPECT_EQ(map->value(12).size(), QSize(320, 200));
    EXPECT_TRUE(desktop.warnings.isEmpty()); // silently

    // When no display can be read there is nothing to show: the capture ends with the reason.
    desktop.display(10)->failGrab = desktop.display(12)->failGrab = true;
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(overlaysMade, 0);
    EXPECT_FALSE(coordinator->flow().busy());
    EXPECT_EQ(desktop.warnings.size(), 1);
}

TEST_F(CaptureFlowTest, FullScreenOpensTheEditorWithTheMainDisplay)
{
    desktop.addDisplay(11, QRectF(640, 0, 320, 200), 2.0, Qt::red);
    desktop.mainID = 11;
    coordinator->captureFullScreen();
    EXPECT_TRUE(
        coordinator->sessions().editors().isEmpty()); // the entry point only queues the work
    drain();
    EXPECT_FALSE(coordinator->flow().busy());
    ASSERT_EQ(coordinator->sessions().editors().size(), 1);
    EditorWindowController *editor = coordinator->sessions().editors().first();
    EXPECT_EQ(editor->image(), desktop.display(11)->picture);
    EXPECT_EQ(editor->window()->windowTitle(), "Vistrel — Editor");

    editor->window()->close();
    drain();
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());
}

TEST_F(CaptureFlowTest, FailedGrabIsReportedAndClearsBusy)
{
    desktop.display(10)->failGrab = true;
    coordinator->captureFullScreen();
    drain();
    EXPECT_FALSE(coordinator->flow().busy());
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_EQ(desktop.warnings[0].second, "grab of display 10 failed");
}

// A Wayland session gives no window positions and no synthetic scrolling: those captures are
// refused with their reason instead of showing an overlay that cannot work.
TEST_F(CaptureFlowTest, WhatTheSessionCannotDoIsRefusedWithItsReason)
{
    desktop.limits =
        SessionLimits{QStringLiteral("no windows here"), QStringLiteral("no scrolling here")};
    CaptureCoordinator limited(desktop.platform());
    limited.setOverlayFactory([this](const OverlayRequest &r, auto completion) {
        ++overlaysMade;
        return new FakeOverlay(r, completion);
    });
    limited.startWindowCapture();
    limited.startScrollCapture();
    drain();
    EXPECT_EQ(overlaysMade, 0);
    EXPECT_FALSE(limited.flow().busy());
    ASSERT_EQ(desktop.warnings.size(), 2);
    EXPECT_EQ(desktop.warnings[0].second, "no windows here");
    EXPECT_EQ(desktop.warnings[1].second, "no scrolling here");
}

TEST_F(CaptureFlowTest, OutcomesAreCutFromWhatTheOverlayShowed)
{
    const QImage frozen = desktop.display(10)->picture.copy();
    const WindowInfo window = desktop.addWindow(7, QRectF(100, 50, 60, 40), 99);
    for (const SelectionOutcome &outcome :
         {SelectionOutcome{RectSelection{QRectF(10.7, 20, 30.9, 40.2), main},
                           SelectionAction::Copy},
          SelectionOutcome{window, SelectionAction::Copy}}) {
        coordinator->startAreaCapture(false);
        drain();
        desktop.display(10)->picture.fill(Qt::green); // the screen changed since the overlay froze
        overlay->finish(outcome);
        drain();
        desktop.display(10)->picture = frozen;
    }
    ASSERT_EQ(desktop.clipboardFormats.size(), 1);
    EXPECT_EQ(desktop.clipboardFormats[0].first, "image/png");
    ASSERT_EQ(desktop.clipboardWrites, 2);
    const QImage png = QImage::fromData(desktop.clipboardFormats[0].second, "PNG");
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), frozen.copy(100, 50, 60, 40));
    ASSERT_FALSE(desktop.toastTexts.isEmpty());
    EXPECT_EQ(desktop.toastTexts.last(), "Copied to clipboard");
}

TEST_F(CaptureFlowTest, AScreenTooBigToAllocateEndsTheCaptureWithAMessage)
{
    desktop.display(10)->outOfMemory = true;
    coordinator->startAreaCapture(false);
    coordinator->captureFullScreen();
    drain();
    EXPECT_EQ(overlaysMade, 0);
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());
    EXPECT_FALSE(coordinator->flow().busy());
    ASSERT_EQ(desktop.warnings.size(), 2);
    EXPECT_EQ(desktop.warnings[0].second, "Not enough memory to capture this screen");

    desktop.display(10)->outOfMemory = false; // and the app carries on
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(overlaysMade, 1);
}

TEST_F(CaptureFlowTest, TextExtraction)
{
    auto runOcr = [&](Result<QString> answer) {
        coordinator->setTextRecognizer(
            [answer](const QImage &, QObject *, auto done) { done(answer); });
        coordinator->flow().dispatch(QImage(10, 10, QImage::Format_RGB32), SelectionAction::Ocr);
        drain();
    };
    desktop.clipboardText = "before";
    runOcr(QString());
    EXPECT_EQ(desktop.toastTexts, QStringList{"No text found"});
    runOcr(CaptureError::failed("model missing"));
    ASSERT_EQ(desktop.warnings.size(), 1); // the reason, not "No text found"
    EXPECT_EQ(desktop.warnings[0].second, "model missing");
    EXPECT_EQ(desktop.clipboardText, "before");
    EXPECT_EQ(desktop.clipboardWrites, 0);

    runOcr(QStringLiteral("Hello\nwörld"));
    EXPECT_EQ(desktop.clipboardText, "Hello\nwörld");
    EXPECT_EQ(desktop.toastTexts.last(), "Copied 11 chars of text");
}

TEST_F(CaptureFlowTest, ScrollOutcomeStartsAScrollingCaptureInsteadOfAPicture)
{
    coordinator->startScrollCapture();
    drain();
    overlay->finish(
        SelectionOutcome{RectSelection{QRectF(0, 0, 50, 50), main}, SelectionAction::Scroll});
    drain();
    EXPECT_TRUE(coordinator->scroll().scrollController());
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());
    EXPECT_FALSE(coordinator->flow().busy());
}

TEST_F(CaptureFlowTest, WindowOutcomeOpensAnEditorWithTheWindow)
{
    const WindowInfo w = desktop.addWindow(200, QRectF(100, 50, 120, 80), 77);
    coordinator->startWindowCapture();
    drain();
    overlay->finish(SelectionOutcome{w, SelectionAction::Edit});
    drain();
    ASSERT_EQ(coordinator->sessions().editors().size(), 1);
    EXPECT_EQ(coordinator->sessions().editors().first()->image(),
              desktop.display(10)->picture.copy(100, 50, 120, 80));
}

TEST_F(CaptureFlowTest, ColourPickCopiesTheHexCodeOrNothingWhenCancelled)
{
    coordinator->startColorPick();
    drain();
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(overlay->request.pickColor);
    EXPECT_TRUE(overlay->request.displayImages.contains(10));
    // Like every overlay, the picker keeps other captures out while it is up.
    EXPECT_TRUE(coordinator->flow().busy());
    coordinator->captureFullScreen();
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(overlaysMade, 1);
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());

    emit overlay->colorPicked(std::nullopt); // Escape
    EXPECT_EQ(desktop.clipboardWrites, 0);
    overlay->finish(std::nullopt);
    drain();
    EXPECT_FALSE(coordinator->flow().busy());

    coordinator->startColorPick();
    drain();
    emit overlay->colorPicked(QColor(0x12, 0xab, 0xef));
    EXPECT_EQ(desktop.clipboardText, "#12ABEF");
    EXPECT_EQ(desktop.toastTexts, QStringList{"Copied #12ABEF"}); // Escape said nothing
}

// Where the desktop has a picker of its own, it is asked first; when it cannot pick, the loupe
// takes over, and when the user gives up nothing more happens.
TEST_F(CaptureFlowTest, TheDesktopsColourPickerComesFirstAndTheLoupeWhenItCannot)
{
    struct Picker : ColorPicker
    {
        std::function<void(Result<QColor>)> pending;
        void pick(std::function<void(Result<QColor>)> done) override { pending = std::move(done); }
    } picker;
    Platform platform = desktop.platform();
    platform.colorPicker = &picker;
    CaptureCoordinator withPicker(platform);
    withPicker.setOverlayFactory([this](const OverlayRequest &r, auto completion) {
        ++overlaysMade;
        return new FakeOverlay(r, completion);
    });

    withPicker.startColorPick();
    drain();
    ASSERT_TRUE(picker.pending);
    EXPECT_TRUE(withPicker.flow().busy());
    std::exchange(picker.pending, nullptr)(QColor(0x12, 0xab, 0xef));
    EXPECT_EQ(desktop.clipboardText, "#12ABEF");
    EXPECT_FALSE(withPicker.flow().busy());

    withPicker.startColorPick();
    drain();
    std::exchange(picker.pending, nullptr)(CaptureError::cancelled());
    drain();
    EXPECT_EQ(overlaysMade, 0);

    withPicker.startColorPick();
    drain();
    std::exchange(picker.pending, nullptr)(CaptureError::failed(QStringLiteral("no picker here")));
    drain();
    EXPECT_EQ(overlaysMade, 1);
    EXPECT_TRUE(withPicker.flow().busy()); // the loupe is up
    EXPECT_TRUE(desktop.warnings.isEmpty());
}

TEST_F(CaptureFlowTest, PinsAndEditorsKeepOnlyTheirOwnPixels)
{
    // A cut used where it is dropped at once may look into the frozen picture; a pin or an
    // editor that did would keep the whole screen alive with it.
    auto within = [](const QImage &part, const QImage &whole) {
        const uchar *bits = part.constBits();
        return bits >= whole.constBits() && bits < whole.constBits() + whole.sizeInBytes();
    };
    QList<QImage> frozen;
    for (SelectionAction action :
         {SelectionAction::Pin, SelectionAction::Edit, SelectionAction::Copy}) {
        coordinator->startAreaCapture(false);
        drain();
        ASSERT_TRUE(overlay);
        frozen.append(overlay->request.displayImages.value(10));
        overlay->finish(SelectionOutcome{RectSelection{QRectF(100, 50, 40, 30), main}, action});
        drain();
    }
    ASSERT_EQ(desktop.pinned.size(), 1);
    ASSERT_EQ(coordinator->sessions().editors().size(), 1);
    const QImage &pin = desktop.pinned[0].first;
    const QImage &edited = coordinator->sessions().editors().first()->image();
    for (const QImage &picture : {pin, edited}) {
        EXPECT_EQ(picture, frozen[0].copy(100, 50, 40, 30));
        EXPECT_FALSE(within(picture, frozen[0]));
        EXPECT_FALSE(within(picture, frozen[1]));
        EXPECT_EQ(picture.sizeInBytes(), 40 * 30 * 4); // its own rows, not the screen's
    }
    // Copy still takes the picture as it was cut.
    ASSERT_EQ(desktop.clipboardFormats.size(), 1);
    EXPECT_EQ(QImage::fromData(desktop.clipboardFormats[0].second, "PNG")
                  .convertToFormat(QImage::Format_RGB32),
              frozen[2].copy(100, 50, 40, 30));
}

TEST_F(CaptureFlowTest, SaveAndPinOutcomes)
{
    QTemporaryDir dir;
    desktop.saveAnswer = dir.filePath("area.png");
    const QImage picture(40, 30, QImage::Format_RGB32);
    coordinator->flow().dispatch(picture, SelectionAction::Save);
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(desktop.saveAnswer); }, 3000));

    coordinator->flow().dispatch(picture, SelectionAction::Pin);
    ASSERT_EQ(desktop.pinned.size(), 1);
    EXPECT_EQ(desktop.pinned[0].first.size(), QSize(40, 30));
}
