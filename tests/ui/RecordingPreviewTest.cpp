#include "FakeDesktop.h"
#include "engines/RecordingReader.h"
#include "engines/RecordingWriter.h"
#include "ui/RecordingPreviewWindow.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

// Two seconds at 30 frames a second: a square crossing a field whose shade changes each frame.
QString makeRecording(const QString &path)
{
    auto encoder = FrameEncoder::create(RecordingFormat::WebM);
    EncoderSettings settings;
    settings.size = QSize(160, 120);
    settings.path = path;
    if (QString error = encoder->open(settings); !error.isEmpty())
        return error;
    for (int tick = 0; tick < 60; ++tick) {
        QImage frame(settings.size, QImage::Format_RGB32);
        frame.fill(QColor(tick * 4, 90, 160));
        QPainter(&frame).fillRect(tick * 2, 40, 30, 30, Qt::yellow);
        if (QString error = encoder->add(frame, tick); !error.isEmpty())
            return error;
    }
    return encoder->finish(60);
}

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

qint64 durationOf(const QString &path)
{
    RecordingReader reader;
    return reader.open(path).isEmpty() ? reader.durationMs() : -1;
}

// The outcome of the next Copy, Save or Share.
QString waitForAction(RecordingPreviewWindow &window)
{
    QSignalSpy done(&window, &RecordingPreviewWindow::actionFinished);
    EXPECT_TRUE(done.wait(30000));
    return done.isEmpty() ? QStringLiteral("no answer") : done.first().first().toString();
}

} // namespace

TEST(RecordingPreview, SavesConvertedCopiesTheTrimmedPartAndKeepsTheFileWhenASaveFails)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("recording.webm");
    ASSERT_EQ(makeRecording(source), QString());
    const QByteArray before = hashOf(source);

    FakeDesktop desktop;
    RecordingPreviewWindow window(source, desktop.platform());
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setNote("12 frames were dropped while the encoder was behind");
    window.resize(640, 480);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.shownFrame().isNull(); }, 10000));
    EXPECT_EQ(window.windowTitle(), "Vistrel — Recording");
    EXPECT_TRUE(window.noteLabel()->isVisible());
    EXPECT_NEAR(window.player()->durationMs(), 2000, 40);

    // Save as .gif from a WebM converts, and the GIF plays as long.
    desktop.saveAnswer = dir.filePath("out.gif");
    window.saveButton()->click();
    ASSERT_EQ(waitForAction(window), QString());
    EXPECT_EQ(desktop.saveRequests.last().nameFilters.first(), "WebM video (*.webm)");
    EXPECT_NEAR(durationOf(dir.filePath("out.gif")), 2000, 100);

    // The handles dragged to about 0.5 s and 1.5 s: a trimmed Copy hands on a file of just
    // that part, as a link.
    TrimBar *bar = window.trimBar();
    auto drag = [&](qint64 fromMs, qint64 toMs) {
        const int y = bar->height() / 2;
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->xFor(fromMs), y));
        QTest::mouseMove(bar, QPoint(bar->xFor(toMs), y));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->xFor(toMs), y));
    };
    drag(0, 500);
    drag(window.player()->durationMs(), 1500);
    const TrimRange range = window.player()->range();
    EXPECT_NEAR(range.start(), 500, 40);
    EXPECT_NEAR(range.end(), 1500, 40);
    window.copyButton()->click();
    ASSERT_EQ(waitForAction(window), QString());
    ASSERT_EQ(desktop.clipboardFormats.size(), 2) << "a WebM is no picture to paste";
    EXPECT_EQ(desktop.clipboardFormats[0].first, "text/uri-list");
    EXPECT_EQ(desktop.clipboardFormats[1].second,
              "copy\n" + desktop.clipboardFormats[0].second.trimmed());
    const QUrl link(QString::fromUtf8(desktop.clipboardFormats[0].second.trimmed()));
    ASSERT_TRUE(link.isLocalFile());
    EXPECT_NE(link.toLocalFile(), source);
    EXPECT_NEAR(durationOf(link.toLocalFile()), range.length(), 40);

    // A folder that cannot be written: said with the reason, the recording untouched and
    // still open.
    desktop.saveAnswer = dir.filePath("missing/folder/out.mp4");
    window.saveButton()->click();
    const QString error = waitForAction(window);
    EXPECT_TRUE(error.contains("out.mp4")) << qPrintable(error);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.warnings.isEmpty(); }, 2000));
    EXPECT_EQ(desktop.warnings.last().second, error);
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
    EXPECT_EQ(hashOf(source), before);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.saveButton()->isEnabled());

    // A GIF pastes as a picture too: its own bytes.
    RecordingPreviewWindow gif(dir.filePath("out.gif"), desktop.platform());
    gif.setAttribute(Qt::WA_DeleteOnClose, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gif.copyButton()->isEnabled(); }, 10000));
    gif.copyButton()->click();
    ASSERT_EQ(waitForAction(gif), QString());
    ASSERT_EQ(desktop.clipboardFormats.size(), 3);
    EXPECT_EQ(desktop.clipboardFormats[2].first, "image/gif");
    QFile written(dir.filePath("out.gif"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(desktop.clipboardFormats[2].second, written.readAll());
}
