#include "engines/GifRecording.h"
#include "engines/RecordingReader.h"
#include "engines/RecordingWriter.h"
#include "engines/VideoEncoder.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vistrel;

namespace {

constexpr int fps = 30;
const QSize oddSize(161, 97);

// Frame `n` as eight black or white columns (its bits, low bit first) above a band of
// colours that shifts with it, so a GIF needs more than the exact palette.
QImage numbered(int n, QSize size = oddSize)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    const int column = size.width() / 8, band = size.height() * 2 / 3;
    for (int bit = 0; bit < 8; ++bit)
        p.fillRect(bit * column, 0, column, band, (n >> bit) & 1 ? Qt::white : Qt::black);
    p.fillRect(8 * column, 0, size.width() - 8 * column, band, Qt::black);
    for (int y = band; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y,
                           QColor::fromHsv((x * 2 + n * 7) % 360, 200, 100 + (x + y) % 128).rgb());
    return image;
}

// The mean difference of the channels of two pictures over the first's area.
double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

int numberOf(const QImage &image)
{
    if (image.isNull())
        return -1;
    const int column = oddSize.width() / 8, band = oddSize.height() * 2 / 3;
    int n = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (qGray(image.pixel(bit * column + column / 2, band / 2)) > 128)
            n |= 1 << bit;
    return n;
}

EncoderSettings settingsFor(RecordingFormat format, const QString &path, QSize size = oddSize)
{
    EncoderSettings s;
    s.format = format;
    s.size = size;
    s.fps = fps;
    s.path = path;
    return s;
}

// Nothing but `allowed` in the folder: no file half-written, no leftover beside it.
QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

class RecordingFormats : public ::testing::TestWithParam<RecordingFormat>
{
};

// Frames 0–19, a gap (frame 19 stays) and frames 40–59, ended at tick 75: the file plays each
// picture when it was on screen, and lasts 2.5 s.
TEST_P(RecordingFormats, PlaysBackEachPictureWhenItWasShownWithGapsAndOddSizes)
{
    const RecordingFormat format = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rec.") + extensionOf(format));
    auto encoder = FrameEncoder::create(format);
    ASSERT_EQ(encoder->open(settingsFor(format, path)), QString());
    for (int tick = 0; tick < 60; ++tick) {
        if (tick >= 20 && tick < 40)
            continue;
        ASSERT_EQ(encoder->add(numbered(tick), tick), QString());
    }
    ASSERT_EQ(encoder->finish(75), QString());
    EXPECT_EQ(filesIn(dir.path()), QStringList{QFileInfo(path).fileName()});

    RecordingReader reader;
    ASSERT_EQ(reader.open(path), QString());
    EXPECT_NEAR(double(reader.durationMs()), 2500.0, 34.0);
    if (format == RecordingFormat::Gif) {
        EXPECT_EQ(reader.size(), oddSize);
    } else {
        // yuv420p needs even sides: padded with the edge.
        EXPECT_EQ(reader.size(), QSize(162, 98));
        const QImage first = reader.frameAt(0);
        const int y = oddSize.height() / 3;
        EXPECT_NEAR(qGray(first.pixel(161, y)), qGray(first.pixel(160, y)), 24);
    }

    // Frame numbers only grow, and at each instant the picture is the one shown then (a GIF
    // keeps 15 of the 30 a second: it may be one tick behind).
    int last = -1;
    for (qint64 t : reader.frameTimesMs()) {
        const int n = numberOf(reader.frameAt(t));
        EXPECT_GE(n, last) << "at " << t << " ms";
        last = n;
    }
    EXPECT_EQ(last, 59);
    const int lag = format == RecordingFormat::Gif ? 1 : 0;
    for (int tick = 0; tick < 75; ++tick) {
        const int expected = tick < 20 ? tick : tick < 40 ? 19 : std::min(tick, 59);
        const QImage frame = reader.frameAt(qint64((tick + 0.5) * 1000 / fps));
        const int n = numberOf(frame);
        EXPECT_LE(n, expected) << "tick " << tick;
        EXPECT_GE(n, expected - lag) << "tick " << tick;
        // The whole picture, not only the number: a GIF draws only what changed over what
        // it showed before.
        if (n >= 0) {
            EXPECT_LT(meanDifference(numbered(n), frame), 6.0) << "tick " << tick;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Recording, RecordingFormats,
                         ::testing::Values(RecordingFormat::WebM, RecordingFormat::Mp4,
                                           RecordingFormat::Gif),
                         [](const auto &info) { return extensionOf(info.param).toStdString(); });

// Grey pictures, then colourful ones the grey palette cannot show: the GIF gets a palette of
// their own and still shows each picture, over what it showed before.
TEST(Recording, AGifFollowsAChangeOfScene)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scenes.gif"));
    const QSize size(120, 80);
    auto picture = [&](int n) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const int v = (x * 2 + y + n * 5) % 256;
                image.setPixel(
                    x, y,
                    n < 10 ? qRgb(v, v, v)
                           : QColor::fromHsv((x * 3 + n * 11) % 360, 255 - y, 255 - v / 4).rgb());
            }
        return image;
    };
    EncoderSettings settings = settingsFor(RecordingFormat::Gif, path, size);
    settings.gifMaxFps = fps;
    GifRecordingEncoder encoder;
    ASSERT_EQ(encoder.open(settings), QString());
    for (int n = 0; n < 20; ++n)
        ASSERT_EQ(encoder.add(picture(n), n), QString());
    ASSERT_EQ(encoder.finish(20), QString());
    RecordingReader reader;
    ASSERT_EQ(reader.open(path), QString());
    ASSERT_EQ(reader.frameTimesMs().size(), 20);
    for (int n = 0; n < 20; ++n)
        EXPECT_LT(meanDifference(picture(n), reader.frameAt(reader.frameTimesMs().at(n))), 6.0)
            << "frame " << n;
}

TEST(Recording, WebMFallsBackToVp8AndNamesTheMissingCodec)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vp8.webm"));
    auto vp8 = createVideoEncoder(RecordingFormat::WebM,
                                  {QStringLiteral("no-such-vp9"), QStringLiteral("libvpx")});
    ASSERT_EQ(vp8->open(settingsFor(RecordingFormat::WebM, path)), QString());
    for (int tick = 0; tick < 10; ++tick)
        ASSERT_EQ(vp8->add(numbered(tick), tick), QString());
    ASSERT_EQ(vp8->finish(10), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(4096).contains("V_VP8"));
    RecordingReader reader;
    ASSERT_EQ(reader.open(path), QString());
    EXPECT_EQ(numberOf(reader.frameAt(9 * 1000 / fps + 5)), 9);

    auto none = createVideoEncoder(RecordingFormat::WebM,
                                   {QStringLiteral("no-such-vp9"), QStringLiteral("no-such-vp8")});
    const QString error = none->open(settingsFor(RecordingFormat::WebM, dir.filePath("x.webm")));
    EXPECT_TRUE(error.contains(QStringLiteral("no VP9 or VP8 encoder"))) << error.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.webm")));
}

TEST_P(RecordingFormats, AnUnwritableTargetIsNamedAndNothingIsLeft)
{
    QTemporaryDir dir;
    // A folder below a plain file cannot be made, even by root.
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = dir.filePath(QStringLiteral("plain/rec.") + extensionOf(GetParam()));
    const QString error = FrameEncoder::create(GetParam())->open(settingsFor(GetParam(), path));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot write ") + path)) << error.toStdString();
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("plain")});
}

// A file that cannot grow any more (a full disk, a size limit): the message says why, and
// what was recorded until then is in place and plays. In a child process, whose file size
// is limited.
TEST_P(RecordingFormats, WhatWasWrittenBeforeTheDiskFilledIsKeptAndPlays)
{
    const RecordingFormat format = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.") + extensionOf(format));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200 * 1024, 200 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        // Noise does not compress: the limit is reached within a few dozen frames.
        auto encoder = FrameEncoder::create(format);
        EncoderSettings settings = settingsFor(format, path, QSize(160, 96));
        settings.gifMaxFps = fps;
        QString error = encoder->open(settings);
        QImage noise(settings.size, QImage::Format_RGB32);
        int tick = 0;
        for (; error.isEmpty() && tick < 2000; ++tick) {
            auto *bits = reinterpret_cast<quint32 *>(noise.bits());
            for (qsizetype i = 0; i < noise.sizeInBytes() / 4; ++i)
                bits[i] = QRandomGenerator::global()->generate() | 0xff000000u;
            error = encoder->add(noise, tick);
        }
        const QString finished = encoder->finish(tick);
        const QByteArray message = (error + QLatin1Char('\n') + finished).toUtf8();
        (void)!::write(pipeFds[1], message.constData(), size_t(message.size()));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray message;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const QStringList errors = QString::fromUtf8(message).split(QLatin1Char('\n'));
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[0], QStringLiteral("Cannot write %1: File too large").arg(path));
    EXPECT_EQ(errors[1], errors[0]); // finishing reports the same cause

    RecordingReader reader;
    ASSERT_EQ(reader.open(path), QString());
    EXPECT_GT(reader.frameTimesMs().size(), 2);
    EXPECT_FALSE(reader.frameAt(reader.frameTimesMs().at(1)).isNull());
    EXPECT_EQ(writeErrorText(path, ENOSPC), QStringLiteral("The disk is full."));
}

// An encoder that takes its time and fails when told to.
class SlowEncoder : public FrameEncoder
{
public:
    int failAt = -1;
    QList<qint64> ticks;
    qint64 endTick = -1;
    QString open(const EncoderSettings &) override { return {}; }
    QString add(const QImage &, qint64 tick) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        if (ticks.size() == failAt)
            return QStringLiteral("The disk is full.");
        ticks.append(tick);
        return {};
    }
    QString finish(qint64 end) override
    {
        endTick = end;
        return {};
    }
};

TEST(RecordingWriter, FramesArrivingWhileTheEncoderIsBehindAreCountedAsDropped)
{
    auto owned = std::make_unique<SlowEncoder>();
    SlowEncoder *encoder = owned.get();
    RecordingWriter writer(std::move(owned), 3);
    QThread *finishedOn = nullptr;
    QObject::connect(&writer, &RecordingWriter::finished, &writer,
                     [&] { finishedOn = QThread::currentThread(); });
    QSignalSpy finished(&writer, &RecordingWriter::finished);
    ASSERT_EQ(writer.start(settingsFor(RecordingFormat::WebM, QStringLiteral("unused"))),
              QString());
    int accepted = 0;
    const QImage frame = numbered(0);
    std::thread source([&] { // as a frame source does, from a thread of its own
        for (int tick = 0; tick < 40; ++tick)
            accepted += writer.push(frame, tick);
    });
    source.join();
    writer.finish(40);
    ASSERT_TRUE(finished.wait(5000));
    const auto stats = finished.at(0).at(1).value<RecordingStats>();
    EXPECT_EQ(finished.at(0).at(0).toString(), QString());
    EXPECT_EQ(stats.framesWritten, accepted);
    EXPECT_EQ(stats.framesDropped, 40 - accepted);
    EXPECT_GT(stats.framesDropped, 0);
    EXPECT_EQ(stats.endTick, 40);
    EXPECT_EQ(encoder->ticks.size(), accepted); // every accepted frame, in order
    EXPECT_TRUE(std::is_sorted(encoder->ticks.begin(), encoder->ticks.end()));
    EXPECT_EQ(encoder->endTick, 40);
    EXPECT_EQ(finishedOn, QThread::currentThread());
}

TEST(RecordingWriter, AnEncoderErrorIsReportedAndTheFileStillFinished)
{
    auto owned = std::make_unique<SlowEncoder>();
    owned->failAt = 2;
    SlowEncoder *encoder = owned.get();
    RecordingWriter writer(std::move(owned), 8);
    QSignalSpy failed(&writer, &RecordingWriter::failed);
    QSignalSpy finished(&writer, &RecordingWriter::finished);
    ASSERT_EQ(writer.start(settingsFor(RecordingFormat::WebM, QStringLiteral("unused"))),
              QString());
    for (int tick = 0; tick < 5; ++tick)
        writer.push(numbered(tick), tick);
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_EQ(failed.at(0).at(0).toString(), QStringLiteral("The disk is full."));
    writer.finish(5);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.at(0).at(0).toString(), QStringLiteral("The disk is full."));
    EXPECT_EQ(finished.at(0).at(1).value<RecordingStats>().framesWritten, 2);
    EXPECT_EQ(encoder->endTick, 5);
}

// A part of a WebM recording saved as each format: from the picture shown at its start to its
// end, to the frame.
TEST_P(RecordingFormats, TrimmingKeepsThePartAskedFor)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.webm"));
    auto encoder = FrameEncoder::create(RecordingFormat::WebM);
    ASSERT_EQ(encoder->open(settingsFor(RecordingFormat::WebM, source)), QString());
    for (int tick = 0; tick < 60; ++tick)
        ASSERT_EQ(encoder->add(numbered(tick), tick), QString());
    ASSERT_EQ(encoder->finish(60), QString());

    const QString target = dir.filePath(QStringLiteral("part.") + extensionOf(GetParam()));
    ASSERT_EQ(trimRecording(source, target, 510, 1500), QString());
    RecordingReader reader;
    ASSERT_EQ(reader.open(target), QString());
    EXPECT_NEAR(double(reader.durationMs()), 990.0, 34.0);
    EXPECT_EQ(numberOf(reader.frameAt(0)), 15); // on screen at 510 ms
    EXPECT_EQ(numberOf(reader.frameAt(reader.durationMs() - 1)), 44);

    const QString unknown = dir.filePath(QStringLiteral("part.avi"));
    EXPECT_FALSE(trimRecording(source, unknown, 0, 1000).isEmpty());
    EXPECT_FALSE(QFile::exists(unknown));
    EXPECT_EQ(filesIn(dir.path()).size(), 2);
}

} // namespace
