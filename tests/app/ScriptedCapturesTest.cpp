#include "CoordinatorFixture.h"
#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/AddSessionController.h"
#include "app/BoardSession.h"
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

class ScriptedCapturesTest : public CoordinatorFixture
{
};

TEST_F(ScriptedCapturesTest, ScriptedCapturesGoWhereTheyWereToldAndSayWhenNoneWasTaken)
{
    using Source = ScriptedCaptures::Request::Source;
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
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty()) << "a script never gets an editor";

    // An area: the cut from the frozen picture; nothing written when cancelled.
    const Answer area =
        run(Source::Area, dir.filePath("area.png"), false,
            SelectionOutcome{RectSelection{QRectF(10, 20, 30, 40), main}, SelectionAction::Copy});
    EXPECT_TRUE(area.why.isEmpty()) << qPrintable(area.why);
    EXPECT_EQ(QImage(dir.filePath("area.png")).size(), QSize(30, 40));
    EXPECT_EQ(run(Source::Area, dir.filePath("cancelled.png"), false).why,
              "the capture was cancelled");
    EXPECT_FALSE(QFile::exists(dir.filePath("cancelled.png")));
    EXPECT_FALSE(coordinator->flow().busy());

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

TEST_F(ScriptedCapturesTest, AScriptThatHangsUpTakesItsOverlayAlongAndOnlyFilesAreReplaced)
{
    using Source = ScriptedCaptures::Request::Source;
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
    EXPECT_FALSE(coordinator->flow().busy());
    EXPECT_FALSE(QFile::exists(dir.filePath("area.png")));
    // The next capture is the user's, as usual.
    coordinator->startAreaCapture(false);
    drain();
    ASSERT_NE(overlay, nullptr);
    overlay->finish(std::nullopt);
    drain();
}
