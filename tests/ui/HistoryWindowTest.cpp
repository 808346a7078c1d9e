#include "ui/HistoryWindow.h"
#include "TestSupport.h"

#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(HistoryWindow, DeleteAsksFirstAndRemovesOnlyWhatWasSelected)
{
    QTemporaryDir dir;
    CaptureHistory history(dir.path());
    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        EditorScene scene;
        scene.image = QImage(40, 30, QImage::Format_RGB32);
        scene.image.fill(QColor(30 * i, 90, 160));
        const QString id = CaptureHistory::newId(QDateTime::currentDateTimeUtc().addSecs(-i));
        ASSERT_TRUE(history.write(id, scene, false, true));
        ids.append(id);
    }
    HistoryWindow window(dir.path());
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QStringList removed;
    // As the app does when it keeps no history of its own: the grid is read again at once.
    QObject::connect(&window, &HistoryWindow::removeRequested, [&](const QString &id) {
        removed.append(id);
        history.remove(id);
        window.refresh();
    });
    window.show();
    ASSERT_EQ(window.grid()->count(), 3);
    window.grid()->setCurrentRow(1);

    // Cancel (the default, and Escape) keeps everything.
    QTest::keyClick(&window, Qt::Key_Delete);
    ASSERT_NE(window.deleteQuestion(), nullptr);
    EXPECT_TRUE(removed.isEmpty());
    EXPECT_EQ(window.deleteQuestion()->text(), "Delete this capture from the history?");
    window.deleteQuestion()->defaultButton()->click();
    vistrel::test::drain();
    EXPECT_TRUE(removed.isEmpty());
    EXPECT_EQ(window.grid()->count(), 3);

    QTest::keyClick(&window, Qt::Key_Delete);
    ASSERT_NE(window.deleteQuestion(), nullptr);
    for (QAbstractButton *b : window.deleteQuestion()->buttons())
        if (window.deleteQuestion()->buttonRole(b) == QMessageBox::DestructiveRole)
            b->click();
    vistrel::test::drain();
    EXPECT_EQ(removed, QStringList({ids[1]}));
    EXPECT_EQ(window.grid()->count(), 2);
    EXPECT_EQ(history.entries().size(), 2);
    EXPECT_EQ(window.grid()->currentRow(), 1); // the next one, ready for another Delete
}

TEST(HistoryWindow, ARecordingShowsItsPosterUnderAPlayBadgeAndOpensLikeACapture)
{
    QTemporaryDir dir;
    CaptureHistory history(dir.path());
    const QString id = CaptureHistory::newId();
    const QString path = history.recordingPath(id, RecordingFormat::WebM);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("webm");
    file.close();
    QImage poster(160, 90, QImage::Format_RGB32);
    poster.fill(Qt::red);
    ASSERT_TRUE(history.finishRecording(id, poster, 1000));

    HistoryWindow window(dir.path());
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QStringList opened;
    QObject::connect(&window, &HistoryWindow::openRequested,
                     [&](const QString &entry) { opened.append(entry); });
    window.show();
    ASSERT_EQ(window.grid()->count(), 1);
    QListWidgetItem *item = window.grid()->item(0);
    EXPECT_TRUE(item->data(HistoryWindow::recordingRole).toBool());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !item->icon().isNull(); }, 5000));
    const QImage shown = item->icon().pixmap(QSize(160, 90)).toImage();
    EXPECT_EQ(shown.pixelColor(5, 5), QColor(Qt::red)) << "the poster around the badge";
    EXPECT_GT(shown.pixelColor(80, 45).green(), 200) << "the badge's white triangle";
    QTest::keyClick(window.grid(), Qt::Key_Return);
    EXPECT_EQ(opened, QStringList{id});
}
