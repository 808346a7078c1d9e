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
#include "ui/RecordingPreviewWindow.h"
#include "ui/ScrollCaptureController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

class EditorSessionsTest : public CoordinatorFixture
{
};

TEST_F(EditorSessionsTest, EditorGetsItsSeedAddRequestAndLaterName)
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
        coordinator->sessions().openEditor(QImage(60, 40, QImage::Format_RGB32), {mark});
    ASSERT_EQ(coordinator->sessions().editors().size(), 1);
    // Seed marks arrive in the picture's own coordinates and land on the picture.
    ASSERT_EQ(editor->canvas()->annotations().size(), 1);
    EXPECT_EQ(editor->canvas()->annotations()[0]->start, QPointF(5, 5));
    EXPECT_EQ(askedWith, "Invoice 42");
    EXPECT_FALSE(editor->suggestedNameBase);
    answerName(QStringLiteral("invoice-42"));
    EXPECT_EQ(editor->suggestedNameBase, QStringLiteral("invoice-42"));

    // Add asks the coordinator, which starts a board session for this editor.
    editor->addScreenshot();
    EXPECT_EQ(coordinator->board().boardTarget(), editor);
    coordinator->board().finishAddSession();

    // A name that arrives after the editor closed goes nowhere.
    EditorWindowController *second =
        coordinator->sessions().openEditor(QImage(60, 40, QImage::Format_RGB32));
    second->window()->close();
    drain();
    EXPECT_EQ(coordinator->sessions().editors().size(), 1);
    answerName(QStringLiteral("too-late"));
}

TEST_F(EditorSessionsTest, NewEditorGetsANameFromItsTextUnlessNamingIsOff)
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
    EditorWindowController *editor = coordinator->sessions().openEditor(image);
    EXPECT_FALSE(editor->suggestedNameBase.has_value());
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor->suggestedNameBase.has_value(); }, 10000));
    EXPECT_EQ(editor->suggestedNameBase, QStringLiteral("flight-booking-confirmation"));
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(askedTimes(), 1);

    // The switch in Preferences, and the environment that overrides it: nothing is read or asked.
    preferences.setSmartNames(false);
    editor = coordinator->sessions().openEditor(image);
    QTest::qWait(300);
    qputenv("VISTREL_SMART_NAMES", "0");
    preferences.setSmartNames(true);
    coordinator->sessions().openEditor(image);
    QTest::qWait(300);
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(askedTimes(), 1);
    EXPECT_FALSE(editor->suggestedNameBase.has_value());
    coordinator->setPreferences(nullptr);
    qputenv("HOME", savedHome);
    qputenv("PATH", savedPath);
}

TEST_F(EditorSessionsTest, UnsavedEditorsAreKeptAtQuitAndComeBackEditable)
{
    // The tests keep application data under $HOME/.qttest, shared by every run on the machine
    // (XDG_DATA_HOME does not move it): a home of its own keeps out what other runs left.
    QTemporaryDir data;
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", data.path().toLocal8Bit());
    const auto restoreHome = qScopeGuard([home] { qputenv("HOME", home); });
    QImage capture(200, 120, QImage::Format_RGB32);
    capture.fill(Qt::darkGreen);

    EditorWindowController *clean = coordinator->sessions().openEditor(capture);
    EditorWindowController *edited = coordinator->sessions().openEditor(capture);
    CanvasModel &model = edited->canvas()->model();
    model.setCurrentTool(ToolKind::Rect);
    model.mouseDown({10, 110});
    model.mouseDragged({90, 50});
    model.mouseUp({90, 50});
    edited->canvas()->addImage(capture.scaled(50, 30));
    ASSERT_FALSE(clean->hasUnsavedWork());
    EXPECT_EQ(coordinator->sessions().unsavedEditors(), 1);

    coordinator->sessions().keepUnsavedWork(); // what quitting does
    ASSERT_EQ(RecoveryStore().ids().size(), 1);
    coordinator.reset();
    drain();

    coordinator = std::make_unique<CaptureCoordinator>(desktop.platform());
    coordinator->sessions().offerKeptWork();
    ASSERT_NE(coordinator->sessions().keptWorkQuestion(), nullptr);
    coordinator->sessions().keptWorkQuestion()->defaultButton()->click(); // Reopen
    drain();
    ASSERT_EQ(coordinator->sessions().editors().size(), 1);
    EditorWindowController *back = coordinator->sessions().editors().first();
    ASSERT_EQ(back->canvas()->annotations().size(), 1);
    EXPECT_EQ(back->canvas()->annotations().first()->boundingRect(), QRectF(10, 50, 80, 60));
    EXPECT_EQ(back->canvas()->extraImages().size(), 1);
    EXPECT_TRUE(back->hasUnsavedWork()) << "still unsaved: closing asks";

    // Discarded, the kept copy goes too.
    back->discardChanges();
    back->performClose();
    drain();
    EXPECT_TRUE(coordinator->sessions().editors().isEmpty());
    EXPECT_TRUE(RecoveryStore().ids().isEmpty());
}

TEST_F(EditorSessionsTest, CapturesAndEditorsAreKeptInTheHistoryAndReopenEditable)
{
    QTemporaryDir dir;
    forgetOtherCasesKeptWork();
    Preferences preferences(dir.filePath("p.conf"));
    coordinator->sessions().setHistoryFolder(dir.filePath("history"));
    coordinator->setPreferences(&preferences);
    ASSERT_NE(coordinator->sessions().historyRecorder(), nullptr);
    const CaptureHistory history(dir.filePath("history"));
    auto flush = [this] { coordinator->sessions().historyRecorder()->flush(); };
    QImage capture(200, 120, QImage::Format_RGB32);
    capture.fill(Qt::darkGreen);

    // Copied: kept. Text recognition alone: not.
    coordinator->setTextRecognizer(
        [](const QImage &, QObject *, auto done) { done(QString("x")); });
    coordinator->flow().dispatch(capture, SelectionAction::Copy);
    coordinator->flow().dispatch(capture, SelectionAction::Ocr);
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
    EditorWindowController *editor = coordinator->sessions().openEditor(capture);
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
    EditorWindowController *back = coordinator->sessions().reopenFromHistory(id);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->canvas()->annotations().size(), 1);
    back->toolPicked(ToolKind::Select);
    drag(back, {50, 110}, {70, 90});
    EXPECT_EQ(back->canvas()->annotations().first()->boundingRect().topLeft(), QPointF(30, 30));

    // Quitting keeps the move, unsaved; the next start offers it back.
    coordinator->sessions().keepUnsavedWork();
    coordinator.reset();
    drain();
    EXPECT_EQ(history.unsavedIds(), QStringList{id});
    coordinator = std::make_unique<CaptureCoordinator>(desktop.platform());
    coordinator->sessions().setHistoryFolder(dir.filePath("history"));
    coordinator->setPreferences(&preferences);
    coordinator->sessions().offerKeptWork();
    ASSERT_NE(coordinator->sessions().keptWorkQuestion(), nullptr);
    coordinator->sessions().keptWorkQuestion()->defaultButton()->click(); // Reopen
    drain();
    ASSERT_EQ(coordinator->sessions().editors().size(), 1);
    ASSERT_EQ(coordinator->sessions().editors().first()->canvas()->annotations().size(), 1);
    EXPECT_EQ(coordinator->sessions()
                  .editors()
                  .first()
                  ->canvas()
                  ->annotations()
                  .first()
                  ->boundingRect()
                  .topLeft(),
              QPointF(30, 30));

    // Off: nothing more is kept.
    preferences.setHistoryEnabled(false);
    EXPECT_EQ(coordinator->sessions().historyRecorder(), nullptr);
    coordinator->flow().dispatch(capture, SelectionAction::Copy);
    drain();
    EXPECT_EQ(history.entries().size(), 2);
}

TEST_F(EditorSessionsTest, RecordingsAreKeptOpenInTheirPreviewAndNeverInAnEditor)
{
    QTemporaryDir dir;
    forgetOtherCasesKeptWork();
    Preferences preferences(dir.filePath("p.conf"));
    coordinator->sessions().setHistoryFolder(dir.filePath("history"));
    coordinator->setPreferences(&preferences);
    EditorSessions &sessions = coordinator->sessions();
    const CaptureHistory history(dir.filePath("history"));
    QImage capture(200, 120, QImage::Format_RGB32);
    capture.fill(Qt::darkGreen);
    coordinator->flow().dispatch(capture, SelectionAction::Copy);
    sessions.historyRecorder()->flush();

    // Recorded straight into a new entry; listed once its file is in place and completed.
    QString id;
    const QString path = sessions.recordingTarget(RecordingFormat::Gif, &id);
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(path, dir.filePath("history/" + id + "/recording.gif"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("GIF89a, but nothing after");
    file.close();
    QImage poster(320, 200, QImage::Format_RGB32);
    poster.fill(Qt::blue);
    sessions.recordingFinished(id, poster, 1500);
    sessions.historyRecorder()->flush();
    drain();
    const QList<HistoryEntry> entries = history.entries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(entries.first().isRecording());
    EXPECT_TRUE(QFileInfo(entries.first().thumbnail).isFile());

    // Opened from the history (a double click, Recent Captures): its preview, once.
    EXPECT_EQ(sessions.reopenFromHistory(id), nullptr);
    EXPECT_EQ(sessions.reopenFromHistory(id), nullptr);
    ASSERT_EQ(sessions.recordingPreviews().size(), 1);
    RecordingPreviewWindow *preview = sessions.recordingPreviews().first();
    EXPECT_EQ(preview->file(), path);
    EXPECT_EQ(preview->historyId, id);
    EXPECT_TRUE(sessions.editors().isEmpty());
    // Said in the window, not as a crash: the file cannot be played.
    EXPECT_TRUE(QTest::qWaitFor([&] { return preview->noteLabel()->isVisible(); }, 10000));
    // Open, it outlasts any pruning.
    preferences.setHistoryMaxEntries(1);
    coordinator->flow().dispatch(capture, SelectionAction::Copy);
    sessions.historyRecorder()->flush();
    EXPECT_TRUE(history.contains(id));

    // `edit --last` takes the newest capture, never the recording.
    EXPECT_TRUE(sessions.hasCaptureInHistory());
    EXPECT_TRUE(sessions.reopenLatest());
    ASSERT_EQ(sessions.editors().size(), 1);
    EXPECT_NE(sessions.editors().first()->historyId, id);
    preview->close();
    drain();
    EXPECT_TRUE(sessions.recordingPreviews().isEmpty());
}

TEST_F(EditorSessionsTest, KeptWorkReopensTheNewestFewAndADamagedEntryIsOfferedOnce)
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
    for (int i = 0; i < EditorSessions::maxReopened + 3; ++i) {
        ids.append(CaptureHistory::newId(t0.addSecs(i)));
        ASSERT_TRUE(history.write(ids.last(), scene, true, true));
    }
    // The newest is damaged.
    QFile json(dir.filePath("history/" + ids.last() + "/scene.json"));
    ASSERT_TRUE(json.open(QIODevice::WriteOnly | QIODevice::Truncate));
    json.write("{\"marks\": [");
    json.close();

    coordinator->sessions().setHistoryFolder(dir.filePath("history"));
    coordinator->setPreferences(&preferences);
    coordinator->sessions().offerKeptWork();
    ASSERT_NE(coordinator->sessions().keptWorkQuestion(), nullptr);
    coordinator->sessions().keptWorkQuestion()->defaultButton()->click(); // Reopen
    drain();

    // The newest few less the damaged one; it was said once and is offered no more; the
    // oldest stay in the history with their marks, no longer offered either.
    EXPECT_EQ(coordinator->sessions().editors().size(), EditorSessions::maxReopened - 1);
    EXPECT_EQ(desktop.warnings.size(), 1);
    EXPECT_TRUE(desktop.toastTexts.last().contains("3 more"))
        << qPrintable(desktop.toastTexts.last());
    EXPECT_EQ(history.unsavedIds(), ids.mid(3, EditorSessions::maxReopened - 1));
    EXPECT_EQ(history.read(ids[0])->marks.size(), 1);
    for (EditorWindowController *editor : coordinator->sessions().editors())
        editor->discardChanges();
}
