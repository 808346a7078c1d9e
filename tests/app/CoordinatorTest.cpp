#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/AddSessionController.h"
#include "app/CaptureCoordinator.h"
#include "app/Preferences.h"
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
using vistrel::test::drain;

namespace {

// Work other cases kept in the test user's data folder is not this case's.
void forgetOtherCasesKeptWork()
{
    const RecoveryStore recovery;
    for (const QString &id : recovery.ids())
        recovery.remove(id);
}

// Stands in for the selection overlay: remembers what it was asked and lets the test finish it.
class FakeOverlay : public SelectionOverlay
{
public:
    FakeOverlay(OverlayRequest r, Completion c) : request(std::move(r)), completion(std::move(c)) {}
    void present() override { ++presented; }
    void finish(std::optional<SelectionOutcome> outcome) { completion(outcome); }

    OverlayRequest request;
    Completion completion;
    int presented = 0;
};

class CoordinatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        main = desktop.addDisplay(10, QRectF(0, 0, 640, 400), 1.0, Qt::darkBlue);
        coordinator = std::make_unique<CaptureCoordinator>(desktop.platform());
        coordinator->setOverlayFactory([this](const OverlayRequest &r, auto completion) {
            overlay = new FakeOverlay(r, completion);
            ++overlaysMade;
            return overlay.data();
        });
    }
    void TearDown() override
    {
        coordinator.reset();
        drain();
    }

    FakeDesktop desktop;
    DisplayInfo main;
    std::unique_ptr<CaptureCoordinator> coordinator;
    QPointer<FakeOverlay> overlay;
    int overlaysMade = 0;
};

TEST_F(CoordinatorTest, SecondRequestWhileOverlayIsUpIsDropped)
{
    coordinator->startAreaCapture(false);
    drain();
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(coordinator->busy());
    EXPECT_EQ(overlay->presented, 1);

    coordinator->startAreaCapture(true);
    coordinator->startWindowCapture();
    coordinator->startScrollCapture();
    coordinator->captureFullScreen();
    drain();
    EXPECT_EQ(overlaysMade, 1);
    EXPECT_EQ(desktop.contentFetches, 1);
    EXPECT_TRUE(coordinator->editors().isEmpty());
}

TEST_F(CoordinatorTest, CancelClearsBusyAndANewCaptureStartsAtOnce)
{
    coordinator->startAreaCapture(false);
    drain();
    overlay->finish(std::nullopt);
    EXPECT_FALSE(coordinator->busy());
    EXPECT_EQ(coordinator->selectionOverlay(), nullptr);
    drain();
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(overlaysMade, 2);
}

TEST_F(CoordinatorTest, ContentFailureClearsBusyAndReportsTheError)
{
    desktop.failContent = true;
    desktop.contentError = QStringLiteral("The X server went away.");
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_FALSE(coordinator->busy());
    EXPECT_EQ(overlaysMade, 0);
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_EQ(desktop.warnings[0].first, "Vistrel");
    EXPECT_EQ(desktop.warnings[0].second, "The X server went away.");

    coordinator->captureFullScreen();
    drain();
    EXPECT_FALSE(coordinator->busy());
    EXPECT_EQ(desktop.warnings.size(), 2);
}

TEST_F(CoordinatorTest, OverlayModesAskForTheRightSelection)
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

TEST_F(CoordinatorTest, NoDisplayForFullScreen)
{
    FakeDesktop empty;
    CaptureCoordinator c(empty.platform());
    c.captureFullScreen();
    drain();
    EXPECT_FALSE(c.busy());
    ASSERT_EQ(empty.warnings.size(), 1);
    EXPECT_EQ(empty.warnings[0].second, "No display found to capture.");
    EXPECT_TRUE(c.editors().isEmpty());
}

TEST_F(CoordinatorTest, MainDisplayChoice)
{
    ScreenLayout layout;
    EXPECT_FALSE(CaptureCoordinator::mainDisplay(layout, 1));
    DisplayInfo a{1, QRectF(0, 0, 10, 10), 1, {}};
    DisplayInfo b{2, QRectF(10, 0, 10, 10), 1, {}};
    layout.displays = {a, b};
    EXPECT_EQ(CaptureCoordinator::mainDisplay(layout, 2)->displayID, 2u);
    // The main display is not listed: the first listed one is taken.
    EXPECT_EQ(CaptureCoordinator::mainDisplay(layout, 7)->displayID, 1u);
}

TEST_F(CoordinatorTest, DisplayImageMapSkipsDisplaysThatFail)
{
    desktop.addDisplay(11, QRectF(640, 0, 320, 200), 2.0);
    desktop.addDisplay(12, QRectF(960, 0, 320, 200), 1.0);
    desktop.display(11)->failGrab = true;
    auto map = coordinator->captureDisplayImages(*desktop.screenLayout());
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
    EXPECT_FALSE(coordinator->busy());
    EXPECT_EQ(desktop.warnings.size(), 1);
}

TEST_F(CoordinatorTest, FullScreenOpensTheEditorWithTheMainDisplay)
{
    desktop.addDisplay(11, QRectF(640, 0, 320, 200), 2.0, Qt::red);
    desktop.mainID = 11;
    coordinator->captureFullScreen();
    EXPECT_TRUE(coordinator->editors().isEmpty()); // the entry point only queues the work
    drain();
    EXPECT_FALSE(coordinator->busy());
    ASSERT_EQ(coordinator->editors().size(), 1);
    EditorWindowController *editor = coordinator->editors().first();
    EXPECT_EQ(editor->image(), desktop.display(11)->picture);
    EXPECT_EQ(editor->window()->windowTitle(), "Vistrel — Editor");

    editor->window()->close();
    drain();
    EXPECT_TRUE(coordinator->editors().isEmpty());
}

TEST_F(CoordinatorTest, FailedGrabIsReportedAndClearsBusy)
{
    desktop.display(10)->failGrab = true;
    coordinator->captureFullScreen();
    drain();
    EXPECT_FALSE(coordinator->busy());
    EXPECT_TRUE(coordinator->editors().isEmpty());
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_EQ(desktop.warnings[0].second, "grab of display 10 failed");
}

// A Wayland session gives no window positions and no synthetic scrolling: those captures are
// refused with their reason instead of showing an overlay that cannot work.
TEST_F(CoordinatorTest, WhatTheSessionCannotDoIsRefusedWithItsReason)
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
    EXPECT_FALSE(limited.busy());
    ASSERT_EQ(desktop.warnings.size(), 2);
    EXPECT_EQ(desktop.warnings[0].second, "no windows here");
    EXPECT_EQ(desktop.warnings[1].second, "no scrolling here");
}

TEST_F(CoordinatorTest, OutcomesAreCutFromWhatTheOverlayShowed)
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

TEST_F(CoordinatorTest, ScriptedCapturesGoWhereTheyWereToldAndSayWhenNoneWasTaken)
{
    using Source = CaptureCoordinator::ScriptedCapture::Source;
    QTemporaryDir dir;
    const QImage screen = desktop.display(10)->picture.convertToFormat(QImage::Format_RGB32);
    struct Answer
    {
        QString why;
        QByteArray png;
    };
    auto run = [&](Source source, const QString &output, bool clipboard,
                   std::optional<SelectionOutcome> outcome = std::nullopt) {
        std::optional<Answer> answer;
        coordinator->captureForScript({source, output, clipboard},
                                      [&](const QString &why, const QByteArray &png) {
                                          answer = Answer{why, png};
                                      });
        drain();
        if (source != Source::Full && overlay && !answer) {
            EXPECT_EQ(overlay->request.windowPicking, source == Source::Window);
            // The area is taken as its drag ends: nobody is there to press a button.
            if (source == Source::Area) {
                EXPECT_TRUE(overlay->request.immediateAction.has_value());
            }
            overlay->finish(outcome);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
        return answer.value_or(Answer{QStringLiteral("no answer"), {}});
    };

    // Every type by its name, and the PNG for standard output: the screen, pixel for pixel.
    for (const char *name : {"full.png", "full.jpg", "full.pdf"}) {
        const Answer a = run(Source::Full, dir.filePath(name), false);
        EXPECT_TRUE(a.why.isEmpty()) << qPrintable(a.why);
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QByteArray head = file.read(4);
        EXPECT_EQ(head, QByteArray(name).endsWith(".pdf")   ? QByteArray("%PDF")
                        : QByteArray(name).endsWith(".jpg") ? QByteArray("\xff\xd8\xff\xe0")
                                                            : QByteArray("\x89PNG"))
            << name;
    }
    EXPECT_EQ(QImage(dir.filePath("full.png")).convertToFormat(QImage::Format_RGB32), screen);
    const Answer piped = run(Source::Full, QStringLiteral("-"), true);
    EXPECT_EQ(QImage::fromData(piped.png, "PNG").convertToFormat(QImage::Format_RGB32), screen);
    ASSERT_FALSE(desktop.clipboardFormats.isEmpty());
    EXPECT_TRUE(coordinator->editors().isEmpty()) << "a script never gets an editor";

    // An area: the cut from the frozen picture; nothing written when cancelled.
    const Answer area =
        run(Source::Area, dir.filePath("area.png"), false,
            SelectionOutcome{RectSelection{QRectF(10, 20, 30, 40), main}, SelectionAction::Copy});
    EXPECT_TRUE(area.why.isEmpty()) << qPrintable(area.why);
    EXPECT_EQ(QImage(dir.filePath("area.png")).size(), QSize(30, 40));
    EXPECT_EQ(run(Source::Area, dir.filePath("cancelled.png"), false).why,
              "the capture was cancelled");
    EXPECT_FALSE(QFile::exists(dir.filePath("cancelled.png")));
    EXPECT_FALSE(coordinator->busy());

    // A failure is the script's answer, not an alert nobody at the terminal would see; a
    // folder that cannot be written says so.
    EXPECT_FALSE(run(Source::Full, QStringLiteral("/proc/vistrel.png"), false).why.isEmpty());
    desktop.failContent = true;
    desktop.contentError = QStringLiteral("no screens");
    EXPECT_EQ(run(Source::Area, dir.filePath("x.png"), false).why, "no screens");
    desktop.failContent = false;
    EXPECT_TRUE(desktop.warnings.isEmpty());

    // While the user has an overlay up, a script is turned away at once.
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(run(Source::Full, dir.filePath("busy.png"), false).why,
              "another capture is on screen");
    overlay->finish(std::nullopt);
    drain();
}

TEST_F(CoordinatorTest, AScriptThatHangsUpTakesItsOverlayAlongAndOnlyFilesAreReplaced)
{
    using Source = CaptureCoordinator::ScriptedCapture::Source;
    QTemporaryDir dir;
    std::optional<QString> why;
    auto answer = [&why](const QString &w, const QByteArray &) { why = w; };

    // A pipe by the output's name stays a pipe, and the script is told.
    const QString pipe = dir.filePath("pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    coordinator->captureForScript({Source::Full, pipe, false}, answer);
    EXPECT_TRUE(QTest::qWaitFor([&] { return why.has_value(); }, 5000));
    EXPECT_TRUE(why.value_or("").contains(pipe)) << qPrintable(why.value_or(""));
    struct stat st;
    ASSERT_EQ(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    coordinator->captureForScript({Source::Area, dir.path(), false}, answer);
    EXPECT_TRUE(QTest::qWaitFor([&] { return why.has_value(); }, 5000));
    EXPECT_EQ(overlaysMade, 0) << "refused before any area is chosen";

    // The script goes while its area is on screen: the overlay goes too, nothing is written.
    why.reset();
    auto *caller = new QObject;
    coordinator->captureForScript({Source::Area, dir.filePath("area.png"), false}, answer, caller);
    drain();
    ASSERT_NE(overlay, nullptr);
    delete caller;
    drain();
    EXPECT_EQ(overlay, nullptr);
    EXPECT_FALSE(coordinator->busy());
    EXPECT_FALSE(QFile::exists(dir.filePath("area.png")));
    // The next capture is the user's, as usual.
    coordinator->startAreaCapture(false);
    drain();
    ASSERT_NE(overlay, nullptr);
    overlay->finish(std::nullopt);
    drain();
}

TEST_F(CoordinatorTest, AScreenTooBigToAllocateEndsTheCaptureWithAMessage)
{
    desktop.display(10)->outOfMemory = true;
    coordinator->startAreaCapture(false);
    coordinator->captureFullScreen();
    drain();
    EXPECT_EQ(overlaysMade, 0);
    EXPECT_TRUE(coordinator->editors().isEmpty());
    EXPECT_FALSE(coordinator->busy());
    ASSERT_EQ(desktop.warnings.size(), 2);
    EXPECT_EQ(desktop.warnings[0].second, "Not enough memory to capture this screen");

    desktop.display(10)->outOfMemory = false; // and the app carries on
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(overlaysMade, 1);
}

TEST_F(CoordinatorTest, TextExtraction)
{
    auto runOcr = [&](Result<QString> answer) {
        coordinator->setTextRecognizer(
            [answer](const QImage &, QObject *, auto done) { done(answer); });
        coordinator->dispatch(QImage(10, 10, QImage::Format_RGB32), SelectionAction::Ocr);
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

TEST_F(CoordinatorTest, ScrollOutcomeStartsAScrollingCaptureInsteadOfAPicture)
{
    coordinator->startScrollCapture();
    drain();
    overlay->finish(
        SelectionOutcome{RectSelection{QRectF(0, 0, 50, 50), main}, SelectionAction::Scroll});
    drain();
    EXPECT_TRUE(coordinator->scrollController());
    EXPECT_TRUE(coordinator->editors().isEmpty());
    EXPECT_FALSE(coordinator->busy());
}

TEST_F(CoordinatorTest, WindowOutcomeOpensAnEditorWithTheWindow)
{
    const WindowInfo w = desktop.addWindow(200, QRectF(100, 50, 120, 80), 77);
    coordinator->startWindowCapture();
    drain();
    overlay->finish(SelectionOutcome{w, SelectionAction::Edit});
    drain();
    ASSERT_EQ(coordinator->editors().size(), 1);
    EXPECT_EQ(coordinator->editors().first()->image(),
              desktop.display(10)->picture.copy(100, 50, 120, 80));
}

TEST_F(CoordinatorTest, EditorGetsItsSeedAddRequestAndLaterName)
{
    qputenv("VISTREL_SMART_NAMES", "1");
    struct Restore
    {
        ~Restore() { qputenv("VISTREL_SMART_NAMES", "0"); }
    } restore;
    std::function<void(std::optional<QString>)> answerName;
    QString askedWith;
    coordinator->setTextRecognizer(
        [](const QImage &, QObject *, auto done) { done(QStringLiteral("Invoice 42")); });
    coordinator->setNameSuggester([&](const QString &text, const QImage &, QObject *, auto done) {
        askedWith = text;
        answerName = done;
    });
    auto mark = Annotation::make(ToolKind::Rect, QPointF(5, 5), QPointF(30, 20), Qt::red, 3);
    EditorWindowController *editor =
        coordinator->openEditor(QImage(60, 40, QImage::Format_RGB32), {mark});
    ASSERT_EQ(coordinator->editors().size(), 1);
    // Seed marks arrive in the picture's own coordinates and land on the picture.
    ASSERT_EQ(editor->canvas()->annotations().size(), 1);
    EXPECT_EQ(editor->canvas()->annotations()[0]->start, QPointF(5, 5));
    EXPECT_EQ(askedWith, "Invoice 42");
    EXPECT_FALSE(editor->suggestedNameBase);
    answerName(QStringLiteral("invoice-42"));
    EXPECT_EQ(editor->suggestedNameBase, QStringLiteral("invoice-42"));

    // Add asks the coordinator, which starts a board session for this editor.
    editor->addScreenshot();
    EXPECT_EQ(coordinator->boardTarget(), editor);
    coordinator->finishAddSession();

    // A name that arrives after the editor closed goes nowhere.
    EditorWindowController *second = coordinator->openEditor(QImage(60, 40, QImage::Format_RGB32));
    second->window()->close();
    drain();
    EXPECT_EQ(coordinator->editors().size(), 1);
    answerName(QStringLiteral("too-late"));
}

TEST_F(CoordinatorTest, ColourPickCopiesTheHexCodeOrNothingWhenCancelled)
{
    coordinator->startColorPick();
    drain();
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(overlay->request.pickColor);
    EXPECT_TRUE(overlay->request.displayImages.contains(10));
    // Like every overlay, the picker keeps other captures out while it is up.
    EXPECT_TRUE(coordinator->busy());
    coordinator->captureFullScreen();
    coordinator->startAreaCapture(false);
    drain();
    EXPECT_EQ(overlaysMade, 1);
    EXPECT_TRUE(coordinator->editors().isEmpty());

    overlay->request.onColorPicked(std::nullopt); // Escape
    EXPECT_EQ(desktop.clipboardWrites, 0);
    overlay->finish(std::nullopt);
    drain();
    EXPECT_FALSE(coordinator->busy());

    coordinator->startColorPick();
    drain();
    overlay->request.onColorPicked(QColor(0x12, 0xab, 0xef));
    EXPECT_EQ(desktop.clipboardText, "#12ABEF");
    EXPECT_EQ(desktop.toastTexts, QStringList{"Copied #12ABEF"}); // Escape said nothing
}

// Where the desktop has a picker of its own, it is asked first; when it cannot pick, the loupe
// takes over, and when the user gives up nothing more happens.
TEST_F(CoordinatorTest, TheDesktopsColourPickerComesFirstAndTheLoupeWhenItCannot)
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
    EXPECT_TRUE(withPicker.busy());
    std::exchange(picker.pending, nullptr)(QColor(0x12, 0xab, 0xef));
    EXPECT_EQ(desktop.clipboardText, "#12ABEF");
    EXPECT_FALSE(withPicker.busy());

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
    EXPECT_TRUE(withPicker.busy()); // the loupe is up
    EXPECT_TRUE(desktop.warnings.isEmpty());
}

TEST_F(CoordinatorTest, PinsAndEditorsKeepOnlyTheirOwnPixels)
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
    ASSERT_EQ(coordinator->editors().size(), 1);
    const QImage &pin = desktop.pinned[0].first;
    const QImage &edited = coordinator->editors().first()->image();
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

TEST_F(CoordinatorTest, SaveAndPinOutcomes)
{
    QTemporaryDir dir;
    desktop.saveAnswer = dir.filePath("area.png");
    const QImage picture(40, 30, QImage::Format_RGB32);
    coordinator->dispatch(picture, SelectionAction::Save);
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(desktop.saveAnswer); }, 3000));

    coordinator->dispatch(picture, SelectionAction::Pin);
    ASSERT_EQ(desktop.pinned.size(), 1);
    EXPECT_EQ(desktop.pinned[0].first.size(), QSize(40, 30));
}

} // namespace

TEST_F(CoordinatorTest, NewEditorGetsANameFromItsTextUnlessNamingIsOff)
{
    // A stand-in naming tool in a private home that logs every time it is asked; the PATH
    // leads to no other.
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("HOME", home.path().toUtf8());
    qputenv("PATH", home.filePath(QStringLiteral("bin")).toUtf8());
    QDir(home.path()).mkpath(QStringLiteral(".local/bin"));
    QFile tool(home.filePath(QStringLiteral(".local/bin/claude")));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write(
        QStringLiteral("#!/bin/sh\necho asked >> '%1/asked'\necho 'Flight Booking Confirmation'\n")
            .arg(home.path())
            .toUtf8());
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto askedTimes = [&] {
        QFile log(home.filePath(QStringLiteral("asked")));
        return log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : 0;
    };

    int readings = 0;
    coordinator->setTextRecognizer([&readings](const QImage &, QObject *, auto done) {
        ++readings;
        done(QStringLiteral("Your flight to Lisbon is confirmed"));
    });
    Preferences preferences(home.filePath(QStringLiteral("vistrel.conf")));
    coordinator->setPreferences(&preferences);
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    qunsetenv("VISTREL_SMART_NAMES");
    EditorWindowController *editor = coordinator->openEditor(image);
    EXPECT_FALSE(editor->suggestedNameBase.has_value());
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor->suggestedNameBase.has_value(); }, 10000));
    EXPECT_EQ(editor->suggestedNameBase, QStringLiteral("flight-booking-confirmation"));
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(askedTimes(), 1);

    // The switch in Preferences, and the environment that overrides it: nothing is read or asked.
    preferences.setSmartNames(false);
    editor = coordinator->openEditor(image);
    QTest::qWait(300);
    qputenv("VISTREL_SMART_NAMES", "0");
    preferences.setSmartNames(true);
    coordinator->openEditor(image);
    QTest::qWait(300);
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(askedTimes(), 1);
    EXPECT_FALSE(editor->suggestedNameBase.has_value());
    coordinator->setPreferences(nullptr);
    qputenv("HOME", savedHome);
    qputenv("PATH", savedPath);
}

// --- board session ---------------------------------------------------------------------------

class BoardTest : public CoordinatorTest
{
protected:
    EditorWindowController *startSession()
    {
        EditorWindowController *editor =
            coordinator->openEditor(QImage(200, 120, QImage::Format_RGB32));
        editor->addScreenshot(); // the editor's Add button
        return editor;
    }
    void captureRegion(QRectF rect)
    {
        coordinator->addSession()->captureButton()->click();
        drain();
        ASSERT_TRUE(overlay);
        overlay->finish(SelectionOutcome{RectSelection{rect, main}, SelectionAction::Board});
        drain();
    }
};

TEST_F(BoardTest, CapturesGoOntoTheHiddenEditorUntilDone)
{
    EditorWindowController *editor = startSession();
    AddSessionController *session = coordinator->addSession();
    ASSERT_TRUE(session);
    EXPECT_EQ(coordinator->boardTarget(), editor);
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
    EXPECT_EQ(coordinator->addSession(), nullptr);
    EXPECT_EQ(coordinator->boardTarget(), nullptr);
    EXPECT_TRUE(editor->window()->isVisible());
}

TEST_F(BoardTest, FailuresAndABusyOverlayShowThePanelAgain)
{
    startSession();
    AddSessionController *session = coordinator->addSession();

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

TEST_F(BoardTest, ClosedTargetStillCountsAndDoneOnlyEnds)
{
    EditorWindowController *editor = startSession();
    AddSessionController *session = coordinator->addSession();
    editor->window()->close();
    drain();
    EXPECT_TRUE(coordinator->editors().isEmpty());
    captureRegion(QRectF(0, 0, 20, 20));
    EXPECT_EQ(session->count, 1);
    session->doneButton()->click();
    drain();
    EXPECT_EQ(coordinator->addSession(), nullptr);
}

TEST_F(CoordinatorTest, UnsavedEditorsAreKeptAtQuitAndComeBackEditable)
{
    // The tests keep application data under $HOME/.qttest, shared by every run on the machine
    // (XDG_DATA_HOME does not move it): a home of its own keeps out what other runs left.
    QTemporaryDir data;
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", data.path().toLocal8Bit());
    const auto restoreHome = qScopeGuard([home] { qputenv("HOME", home); });
    QImage capture(200, 120, QImage::Format_RGB32);
    capture.fill(Qt::darkGreen);

    EditorWindowController *clean = coordinator->openEditor(capture);
    EditorWindowController *edited = coordinator->openEditor(capture);
    CanvasModel &model = edited->canvas()->model();
    model.setCurrentTool(ToolKind::Rect);
    model.mouseDown({10, 110});
    model.mouseDragged({90, 50});
    model.mouseUp({90, 50});
    edited->canvas()->addImage(capture.scaled(50, 30));
    ASSERT_FALSE(clean->hasUnsavedWork());
    EXPECT_EQ(coordinator->unsavedEditors(), 1);

    coordinator->keepUnsavedWork(); // what quitting does
    ASSERT_EQ(RecoveryStore().ids().size(), 1);
    coordinator.reset();
    drain();

    coordinator = std::make_unique<CaptureCoordinator>(desktop.platform());
    coordinator->offerKeptWork();
    ASSERT_NE(coordinator->keptWorkQuestion(), nullptr);
    coordinator->keptWorkQuestion()->defaultButton()->click(); // Reopen
    drain();
    ASSERT_EQ(coordinator->editors().size(), 1);
    EditorWindowController *back = coordinator->editors().first();
    ASSERT_EQ(back->canvas()->annotations().size(), 1);
    EXPECT_EQ(back->canvas()->annotations().first()->boundingRect(), QRectF(10, 50, 80, 60));
    EXPECT_EQ(back->canvas()->extraImages().size(), 1);
    EXPECT_TRUE(back->hasUnsavedWork()) << "still unsaved: closing asks";

    // Discarded, the kept copy goes too.
    back->discardChanges();
    back->performClose();
    drain();
    EXPECT_TRUE(coordinator->editors().isEmpty());
    EXPECT_TRUE(RecoveryStore().ids().isEmpty());
}

TEST_F(CoordinatorTest, CapturesAndEditorsAreKeptInTheHistoryAndReopenEditable)
{
    QTemporaryDir dir;
    forgetOtherCasesKeptWork();
    Preferences preferences(dir.filePath("p.conf"));
    coordinator->setHistoryFolder(dir.filePath("history"));
    coordinator->setPreferences(&preferences);
    ASSERT_NE(coordinator->historyRecorder(), nullptr);
    const CaptureHistory history(dir.filePath("history"));
    auto flush = [this] { coordinator->historyRecorder()->flush(); };
    QImage capture(200, 120, QImage::Format_RGB32);
    capture.fill(Qt::darkGreen);

    // Copied: kept. Text recognition alone: not.
    coordinator->setTextRecognizer(
        [](const QImage &, QObject *, auto done) { done(QString("x")); });
    coordinator->dispatch(capture, SelectionAction::Copy);
    coordinator->dispatch(capture, SelectionAction::Ocr);
    flush();
    ASSERT_EQ(history.entries().size(), 1);

    // Drags on the canvas widget, as the user makes them (canvas points).
    auto drag = [](EditorWindowController *on, QPointF from, QPointF to) {
        QWidget *canvas = on->canvas();
        const QPoint a = on->canvas()->toWidget(from).toPoint();
        const QPoint b = on->canvas()->toWidget(to).toPoint();
        QTest::mousePress(canvas, Qt::LeftButton, {}, a);
        QTest::mouseMove(canvas, (a + b) / 2);
        QTest::mouseMove(canvas, b);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, b);
    };

    // An editor's marks are written as they change, marked unsaved until discarded.
    EditorWindowController *editor = coordinator->openEditor(capture);
    editor->toolPicked(ToolKind::Rect);
    drag(editor, {10, 110}, {90, 50});
    drag(editor, {110, 110}, {150, 50});
    flush();
    QList<HistoryEntry> entries = history.entries();
    ASSERT_EQ(entries.size(), 2);
    const QString id = entries.first().id;
    EXPECT_TRUE(entries.first().unsaved);
    ASSERT_EQ(history.read(id)->marks.size(), 2);
    EXPECT_EQ(history.read(id)->marks[1]->boundingRect(), QRectF(110, 50, 40, 60));
    editor->undo();
    editor->discardChanges();
    editor->performClose();
    drain();
    flush();
    EXPECT_FALSE(history.entries().first().unsaved);
    ASSERT_EQ(history.read(id)->marks.size(), 1) << "discarded, but kept in the history";
    EXPECT_EQ(history.read(id)->marks[0]->boundingRect(), QRectF(10, 50, 80, 60));

    // Reopened, the mark is a mark: it moves, and the move is written too.
    EditorWindowController *back = coordinator->reopenFromHistory(id);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->canvas()->annotations().size(), 1);
    back->toolPicked(ToolKind::Select);
    drag(back, {50, 110}, {70, 90});
    EXPECT_EQ(back->canvas()->annotations().first()->boundingRect().topLeft(), QPointF(30, 30));

    // Quitting keeps the move, unsaved; the next start offers it back.
    coordinator->keepUnsavedWork();
    coordinator.reset();
    drain();
    EXPECT_EQ(history.unsavedIds(), QStringList{id});
    coordinator = std::make_unique<CaptureCoordinator>(desktop.platform());
    coordinator->setHistoryFolder(dir.filePath("history"));
    coordinator->setPreferences(&preferences);
    coordinator->offerKeptWork();
    ASSERT_NE(coordinator->keptWorkQuestion(), nullptr);
    coordinator->keptWorkQuestion()->defaultButton()->click(); // Reopen
    drain();
    ASSERT_EQ(coordinator->editors().size(), 1);
    ASSERT_EQ(coordinator->editors().first()->canvas()->annotations().size(), 1);
    EXPECT_EQ(
        coordinator->editors().first()->canvas()->annotations().first()->boundingRect().topLeft(),
        QPointF(30, 30));

    // Off: nothing more is kept.
    preferences.setHistoryEnabled(false);
    EXPECT_EQ(coordinator->historyRecorder(), nullptr);
    coordinator->dispatch(capture, SelectionAction::Copy);
    drain();
    EXPECT_EQ(history.entries().size(), 2);
}

TEST_F(CoordinatorTest, KeptWorkReopensTheNewestFewAndADamagedEntryIsOfferedOnce)
{
    QTemporaryDir dir;
    forgetOtherCasesKeptWork();
    Preferences preferences(dir.filePath("p.conf"));
    const CaptureHistory history(dir.filePath("history"));
    EditorScene scene;
    scene.image = QImage(40, 30, QImage::Format_RGB32);
    scene.image.fill(Qt::darkGreen);
    scene.marks = {Annotation::make(ToolKind::Rect, {2, 2}, {20, 20}, Qt::red, 3)};
    QStringList ids;
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addSecs(-600);
    for (int i = 0; i < CaptureCoordinator::maxReopened + 3; ++i) {
        ids.append(CaptureHistory::newId(t0.addSecs(i)));
        ASSERT_TRUE(history.write(ids.last(), scene, true, true));
    }
    // The newest is damaged.
    QFile json(dir.filePath("history/" + ids.last() + "/scene.json"));
    ASSERT_TRUE(json.open(QIODevice::WriteOnly | QIODevice::Truncate));
    json.write("{\"marks\": [");
    json.close();

    coordinator->setHistoryFolder(dir.filePath("history"));
    coordinator->setPreferences(&preferences);
    coordinator->offerKeptWork();
    ASSERT_NE(coordinator->keptWorkQuestion(), nullptr);
    coordinator->keptWorkQuestion()->defaultButton()->click(); // Reopen
    drain();

    // The newest few less the damaged one; it was said once and is offered no more; the
    // oldest stay in the history with their marks, no longer offered either.
    EXPECT_EQ(coordinator->editors().size(), CaptureCoordinator::maxReopened - 1);
    EXPECT_EQ(desktop.warnings.size(), 1);
    EXPECT_TRUE(desktop.toastTexts.last().contains("3 more"))
        << qPrintable(desktop.toastTexts.last());
    EXPECT_EQ(history.unsavedIds(), ids.mid(3, CaptureCoordinator::maxReopened - 1));
    EXPECT_EQ(history.read(ids[0])->marks.size(), 1);
    for (EditorWindowController *editor : coordinator->editors())
        editor->discardChanges();
}
