#include "TextCorpus.h"
#include "TestSupport.h"
#include "services/OCRService.h"
#include "services/TesseractEngine.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

TextObservation obs(double cx, double cy, const char *text)
{
    return {QRectF(cx - 0.05, cy - 0.01, 0.1, 0.02), text ? std::optional<QString>(text) : std::nullopt};
}

QImage blank(QSize size = {400, 200})
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

} // namespace

TEST(OCRService, LinesRunTopToBottomAndPiecesLeftToRight)
{
    // 0.015 apart: one line, by x. 0.025 apart: the higher first, whatever x says.
    auto same = OCRService::sorted({obs(0.7, 0.500, "right"), obs(0.2, 0.515, "left")});
    EXPECT_EQ(OCRService::joined(same), "left\nright");
    auto apart = OCRService::sorted({obs(0.2, 0.500, "lower"), obs(0.7, 0.525, "upper")});
    EXPECT_EQ(OCRService::joined(apart), "upper\nlower");
    // Stable for equal keys.
    auto tie = OCRService::sorted({obs(0.5, 0.5, "a"), obs(0.5, 0.5, "b"), obs(0.5, 0.5, "c")});
    EXPECT_EQ(OCRService::joined(tie), "a\nb\nc");
}

TEST(OCRService, ObservationsWithoutACandidateAddNothing)
{
    EXPECT_EQ(OCRService::joined({obs(0.1, 0.9, "one"), obs(0.1, 0.5, nullptr), obs(0.1, 0.1, "two")}),
              "one\ntwo");
    EXPECT_EQ(OCRService::joined({}), "");
}

TEST(OCRService, NoTextIsAnEmptyStringNotAnError)
{
    const auto text = OCRService::recognizeTextNow(blank());
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "");
    EXPECT_TRUE(OCRService::recognizeTextNow(QImage()).ok());
}

TEST(OCRService, ReadsScreenshotTextOnLightAndDarkThemes)
{
    const QStringList rows = {"Settings Account Privacy", "Downloads 12.4 MB of 3:05 remaining",
                              "Quarterly report (draft) Invoice March"};
    for (bool dark : {false, true})
        for (int px : {10, 13, 16}) {
            const CorpusImage c = renderRows(rows, "DejaVu Sans", px, dark, QSize(520, 160));
            const auto text = OCRService::recognizeTextNow(c.image);
            ASSERT_TRUE(text);
            EXPECT_GE(characterAccuracy(*text, c.truth), 0.98) << c.name.toStdString() << ": "
                                                               << text->toStdString();
        }
}

TEST(OCRService, BoxesAreNormalisedWithTheOriginAtTheBottomLeft)
{
    const CorpusImage c = renderRows({"Hello from the top line"}, "DejaVu Sans", 16, false, QSize(600, 300));
    const QRect truth = c.lineRects.first(); // top-down pixels
    const QRectF expected(truth.x() / 600.0, 1.0 - (truth.y() + truth.height()) / 300.0,
                          truth.width() / 600.0, truth.height() / 300.0);
    auto check = [&](const QRectF &box) {
        EXPECT_NEAR(box.center().x(), expected.center().x(), 0.02);
        EXPECT_NEAR(box.center().y(), expected.center().y(), 0.02);
        EXPECT_NEAR(box.width(), expected.width(), 0.04);
        EXPECT_GT(box.center().y(), 0.8); // near the top means a large y
    };
    const auto observed = OCRService::observe(c.image);
    ASSERT_TRUE(observed);
    ASSERT_EQ(observed->size(), 1);
    check(observed->first().boundingBox);
    EXPECT_EQ(observed->first().topCandidate, "Hello from the top line");

    const auto boxes = TextBoxDetector::detectNow(c.image);
    ASSERT_EQ(boxes.size(), 1);
    check(boxes.first());
}

TEST(OCRService, ErrorsGoToTheCallerOnceAndOnItsThread)
{
    QObject context;
    QList<Result<QString>> answers;
    OCRService::recognizeText(blank(), {"xx-no-such-model"}, &context,
                              [&](Result<QString> r) { answers.append(r); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 10000));
    drain();
    ASSERT_EQ(answers.size(), 1);
    EXPECT_FALSE(answers.first().ok());
    EXPECT_TRUE(answers.first().error().errorDescription().contains("xx-no-such-model"));

    // Nothing arrives for a caller that is gone.
    int late = 0;
    {
        QObject gone;
        OCRService::recognizeText(blank(), {}, &gone, [&](Result<QString>) { ++late; });
    }
    OCRService::finishRecognitions();
    drain();
    EXPECT_EQ(late, 0);
}

TEST(TextBoxDetector, EmptyOnFailureAndResumesOnce)
{
    EXPECT_TRUE(TextBoxDetector::detectNow(QImage()).isEmpty());
    EXPECT_TRUE(TextBoxDetector::detectNow(blank()).isEmpty());
    QObject context;
    int calls = 0;
    QList<QRectF> got{QRectF(1, 1, 1, 1)};
    TextBoxDetector::detect(QImage(), &context, [&](QList<QRectF> boxes) {
        ++calls;
        got = boxes;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
    drain();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(got.isEmpty());
}

TEST(TextBoxDetector, MoreDetectionsThanCoresAllFinish)
{
    // Each big picture is read in bands on the shared pool; the waiting detections must not
    // take the threads their bands need.
    QObject context;
    int finished = 0;
    const int count = std::max(2, QThreadPool::globalInstance()->maxThreadCount()) + 1;
    for (int i = 0; i < count; ++i) {
        QImage big(2000, 1000, QImage::Format_RGB32);
        big.fill(Qt::white);
        TextBoxDetector::detect(big, &context, [&](QList<QRectF>) { ++finished; });
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished == count; }, 60000));
}

TEST(OCRService, BandsCutOnlyThroughBlankRows)
{
    QImage grey(100, 100, QImage::Format_Grayscale8);
    grey.fill(255);
    QPainter p(&grey);
    p.fillRect(10, 40, 50, 25, Qt::black); // text across the middle
    p.end();
    const auto parts = OCRService::bands(grey, 2);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0].top(), 0);
    EXPECT_EQ(parts[1].bottom(), 99);
    EXPECT_EQ(parts[0].bottom() + 1, parts[1].top());
    EXPECT_TRUE(parts[1].top() <= 40 || parts[1].top() >= 65); // never through the text
    EXPECT_EQ(OCRService::bands(grey, 1).size(), 1);
}

TEST(TesseractEngine, PreparationInvertsDarkThemesAndEnlargesSmallPictures)
{
    QImage dark(200, 100, QImage::Format_RGB32);
    dark.fill(QColor(30, 30, 30));
    const PreparedImage p = TesseractEngine::prepare(dark, TesseractEngine::readingBudget);
    EXPECT_TRUE(p.inverted);
    EXPECT_EQ(p.scale, 3.0);
    EXPECT_EQ(p.grey.size(), QSize(600, 300));
    EXPECT_GT(qGray(p.grey.pixel(5, 5)), 200);
    const PreparedImage big = TesseractEngine::prepare(blank({3840, 2160}), TesseractEngine::readingBudget);
    EXPECT_EQ(big.scale, 1.0);
    EXPECT_FALSE(big.inverted);
}

TEST(TesseractEngine, IdleEnginesAreDroppedAndRecognitionResumesAfterwards)
{
    // Engines hold their models; an idle app must not keep them, and reading must work again
    // once they and the engine's word-list cache are gone.
    const CorpusImage c = renderRows({"Hello from the top line"}, "DejaVu Sans", 16, false, QSize(600, 300));
    for (int round = 0; round < 2; ++round) {
        const auto text = OCRService::recognizeTextNow(c.image);
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, "Hello from the top line");
        EXPECT_EQ(TextBoxDetector::detectNow(c.image).size(), 1);
        EXPECT_GT(TesseractEngine::idleEngineCount(), 0);
        TesseractEngine::releaseIdleEngines();
        EXPECT_EQ(TesseractEngine::idleEngineCount(), 0);
    }
    // Without being asked, once recognition has been idle for a while.
    EXPECT_EQ(TextBoxDetector::detectNow(c.image).size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([] { return TesseractEngine::idleEngineCount() == 0; }, 20000));
}

TEST(TesseractEngine, AHelperThatCannotStartOrDiesFailsThatRecognitionOnly)
{
    const CorpusImage c = renderRows({"Hello from the top line"}, "DejaVu Sans", 16, false, QSize(600, 300));
    TesseractEngine::releaseIdleEngines();
    const QByteArray real = qgetenv("VISTREL_RECOGNIZER");
    QTemporaryDir dir;
    // One that says it is ready and goes away before answering, as a crash would.
    const QString dying = dir.filePath("dying");
    {
        QFile script(dying);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf R\n");
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }
    for (const QString &helper : {dir.filePath("missing"), dying}) {
        qputenv("VISTREL_RECOGNIZER", helper.toLocal8Bit());
        const auto text = OCRService::recognizeTextNow(c.image);
        ASSERT_FALSE(text.ok()) << qPrintable(helper);
        EXPECT_FALSE(text.error().errorDescription().isEmpty());
        EXPECT_TRUE(TextBoxDetector::detectNow(c.image).isEmpty());
        EXPECT_EQ(TesseractEngine::idleEngineCount(), 0); // nothing broken is kept
    }
    qputenv("VISTREL_RECOGNIZER", real);
    EXPECT_EQ(OCRService::recognizeTextNow(c.image).value(), "Hello from the top line");
}
