#include "engines/CaptureHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <utime.h>

using namespace vistrel;

namespace {

void writeBytes(const QString &path, qint64 size)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    file.write(bytes);
}

void ageBy(const QString &path, int seconds)
{
    const time_t then = QDateTime::currentDateTimeUtc().addSecs(-seconds).toSecsSinceEpoch();
    const utimbuf times{then, then};
    ASSERT_EQ(utime(QFile::encodeName(path).constData(), &times), 0);
}

QFileDevice::Permissions othersOf(const QString &path)
{
    return QFileInfo(path).permissions() & QFileDevice::Permissions(0x0077);
}

} // namespace

TEST(CaptureHistory, RecordingsArePrivateEntriesWithAPosterCountedAndPrunedLikeCaptures)
{
    QTemporaryDir home;
    const CaptureHistory history(home.filePath("history"));
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addDays(-1);
    EditorScene scene;
    scene.image = QImage(300, 200, QImage::Format_RGB32);
    scene.image.fill(Qt::darkCyan);
    const QString capture = CaptureHistory::newId(t0);
    ASSERT_TRUE(history.write(capture, scene, false, true));

    const QString id = CaptureHistory::newId(t0.addSecs(5));
    QString error;
    const QString path = history.recordingPath(id, RecordingFormat::WebM, &error);
    ASSERT_FALSE(path.isEmpty()) << qPrintable(error);
    EXPECT_EQ(QFileInfo(path).fileName(), "recording.webm");
    EXPECT_EQ(othersOf(QFileInfo(path).path()), QFileDevice::Permissions());

    // While the encoder writes beside it, the entry is not listed, and it is never taken for
    // one a crash left behind, however long the recording (or its pause) lasts.
    writeBytes(path + ".part", 1000);
    ageBy(QFileInfo(path).path(), 600);
    EXPECT_TRUE(history.prune({100, 1ll << 40}).isEmpty());
    ASSERT_EQ(history.entries().size(), 1);

    ASSERT_TRUE(QFile::rename(path + ".part", path));
    writeBytes(path, 300 * 1000);
    QImage poster(1280, 720, QImage::Format_RGB32);
    poster.fill(Qt::red);
    ASSERT_TRUE(history.finishRecording(id, poster, 4200, &error)) << qPrintable(error);
    const QList<HistoryEntry> entries = history.entries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].id, id);
    EXPECT_TRUE(entries[0].isRecording());
    EXPECT_EQ(entries[0].recording, path);
    EXPECT_FALSE(entries[1].isRecording());
    const QImage thumbnail(entries[0].thumbnail);
    EXPECT_EQ(thumbnail.size(), QSize(CaptureHistory::thumbnailSide, 90));
    EXPECT_EQ(thumbnail.pixelColor(80, 45), QColor(Qt::red));
    for (const QFileInfo &f : QDir(QFileInfo(path).path()).entryInfoList(QDir::Files))
        EXPECT_EQ(othersOf(f.filePath()), QFileDevice::Permissions()) << qPrintable(f.fileName());
    EXPECT_EQ(history.recordingInfo(id).size, QSize(1280, 720));
    EXPECT_EQ(history.recordingInfo(id).durationMs, 4200);
    EXPECT_FALSE(history.read(id)) << "a recording is no scene for an editor";

    // The recording's bytes count: newest first, it alone is over the limit and goes.
    EXPECT_EQ(history.prune({100, 200 * 1000}), QStringList{id});
    ASSERT_EQ(history.entries().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(path).path()));

    // One the encoder could not move into place is kept under the entry's name all the same.
    const QString stuck = CaptureHistory::newId();
    const QString stuckPath = history.recordingPath(stuck, RecordingFormat::Mp4);
    writeBytes(QFileInfo(stuckPath).path() + "/.recording.mp4.123456.part", 4000);
    EXPECT_TRUE(history.finishRecording(stuck, poster, 1000, &error)) << qPrintable(error);
    EXPECT_EQ(history.recordingFile(stuck), stuckPath);
    EXPECT_EQ(QFileInfo(stuckPath).size(), 4000);

    // A recording that never wrote a file leaves nothing behind, and says so.
    const QString empty = CaptureHistory::newId();
    ASSERT_FALSE(history.recordingPath(empty, RecordingFormat::Gif).isEmpty());
    EXPECT_FALSE(history.finishRecording(empty, poster, -1, &error));
    EXPECT_EQ(error, "nothing was recorded");
    EXPECT_FALSE(QFileInfo::exists(home.filePath("history/" + empty)));
}
