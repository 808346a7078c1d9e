#include "engines/Redaction.h"
#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "engines/SceneArchive.h"
#include "model/CanvasModel.h"
#include "platform/FakeDesktop.h"

#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUndoStack>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(Redaction, FindingsLandOnTheCanvasWithAMarginAndCountAsCoveredOnlyWhenCovered)
{
    // A 200×100 picture at the primary place (1000, 1000), y up.
    const QList<SecretFinding> findings{{SecretKind::Email, "a@b.co", {QRect(10, 20, 50, 16)}},
                                        {SecretKind::ApiKey, "ghp_x", {QRect(100, 80, 60, 16)}}};
    const auto placed = Redaction::place(findings, QSize(200, 100), QRectF(1000, 1000, 200, 100));
    ASSERT_EQ(placed.size(), 2);
    EXPECT_EQ(placed[0].words.first(), QRectF(1010, 1000 + 100 - 36, 50, 16));
    EXPECT_EQ(placed[0].cover.first(), QRectF(1006, 1060, 58, 24)); // margin 2 + 16 / 8
    // Near the picture's edge the cover stops at it.
    EXPECT_EQ(placed[1].cover.first().top(), 1000);

    const auto marks = Redaction::marksFor(placed);
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks[0]->kind, ToolKind::Redact);
    EXPECT_EQ(marks[0]->boundingRect(), placed[0].cover.first());
    EXPECT_TRUE(Redaction::uncovered(placed, marks).isEmpty());
    // Moved off its words, a mark no longer covers them; a blur never does.
    marks[0]->translate({30, 0});
    EXPECT_EQ(Redaction::uncovered(placed, marks).size(), 1);
    auto blur = Annotation::make(ToolKind::Blur, {1000, 1000}, {1200, 1100}, Qt::black, 1);
    EXPECT_EQ(Redaction::uncovered(placed, {blur}).size(), 2);
    // Outside the crop, a secret never leaves.
    EXPECT_EQ(Redaction::uncovered(placed, {}, QRectF(1000, 1000, 80, 70)).size(), 1);
    EXPECT_EQ(Redaction::summary(placed), "Redacted 2: 1 e-mail address, 1 API key");

    // A placed picture shown at half its size.
    const auto half = Redaction::place(findings, QSize(200, 100), QRectF(1300, 900, 100, 50));
    EXPECT_EQ(half[0].words.first(), QRectF(1305, 932, 25, 8));
}

TEST(Redaction, MarksRoundTripThroughTheSavedScene)
{
    EditorScene scene;
    scene.image = QImage(20, 20, QImage::Format_RGB32);
    scene.image.fill(Qt::white);
    scene.marks.append(
        Annotation::make(ToolKind::Redact, {2, 3}, {12, 9}, Annotation::redactionColor(), 1));
    const QJsonObject json = scene.toJson();
    EXPECT_EQ(json["marks"].toArray()[0].toObject()["kind"].toString(), "redact");
    const auto back = EditorScene::fromJson(json, {scene.image});
    ASSERT_TRUE(back);
    ASSERT_EQ(back->marks.size(), 1);
    EXPECT_EQ(back->marks[0]->kind, ToolKind::Redact);
    EXPECT_EQ(back->marks[0]->boundingRect(), QRectF(2, 3, 10, 6));
    EXPECT_EQ(back->marks[0]->color, Annotation::redactionColor());
}

namespace {

// Black and white noise: any pixel of it left under a mark shows.
QImage noise(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator rng(5);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, rng.bounded(2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

// Pixels of `image` in `area` further than `inset` from its edge that differ from `fill` by
// more than `tolerance` in some channel.
int strays(const QImage &image, const QRect &area, const QColor &fill, int inset = 0,
           int tolerance = 0)
{
    int n = 0;
    const QRect inner = area.adjusted(inset, inset, -inset, -inset);
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - fill.red()) > tolerance ||
                std::abs(c.green() - fill.green()) > tolerance ||
                std::abs(c.blue() - fill.blue()) > tolerance)
                ++n;
        }
    return n;
}

} // namespace

TEST(Redaction, TheCoveredPixelsLeaveInNoExport)
{
    CanvasModel model(noise(QSize(160, 120)), {});
    // Fractional corners, as a mark over a placed picture shown smaller gets: the fill still
    // reaches whole pixels, none of them blended with the noise beneath.
    const QRectF mark(1020.4, 1030.6, 70.3, 40.2);
    model.addMarks({Annotation::make(ToolKind::Redact, mark.topLeft(), mark.bottomRight(),
                                     Annotation::redactionColor(), 1)});
    EXPECT_EQ(model.undoStack()->count(), 1);
    const QImage flat = model.renderComposite(true);
    const QRectF r = model.exportRect();
    ASSERT_EQ(flat.size(), QSize(160, 120));
    // The mark in the export's top-down pixels, every pixel it touches.
    const QRect area =
        QRectF(mark.left() - r.left(), r.bottom() - mark.bottom(), mark.width(), mark.height())
            .toAlignedRect();
    const QColor fill = Annotation::redactionColor();
    EXPECT_EQ(strays(flat, area, fill), 0);
    EXPECT_GT(strays(flat, area.adjusted(-2, -2, 2, 2), fill), 0); // the noise around it stays

    FakeDesktop desktop;
    ASSERT_TRUE(ClipboardTools::copy(desktop, flat));
    QImage copied;
    for (const auto &[type, bytes] : desktop.clipboardFormats)
        if (type == QLatin1String("image/png"))
            copied = QImage::fromData(bytes, "PNG");
    ASSERT_FALSE(copied.isNull());
    EXPECT_EQ(strays(copied, area, fill), 0);

    QTemporaryDir dir;
    ASSERT_TRUE(ImageFiles::saveImage(flat, dir.filePath("r.png")));
    EXPECT_EQ(strays(QImage(dir.filePath("r.png")), area, fill), 0);
    // JPEG blends each 8×8 block: away from the edge the fill stays flat.
    ASSERT_TRUE(ImageFiles::saveImage(flat, dir.filePath("r.jpg")));
    const QImage jpeg(dir.filePath("r.jpg"));
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_EQ(strays(jpeg, area, fill, 8, 6), 0);

    ASSERT_TRUE(ImageFiles::saveImage(flat, dir.filePath("r.pdf")));
    // The picture the PDF holds, taken out as it is stored.
    if (QStandardPaths::findExecutable("pdfimages").isEmpty())
        GTEST_SKIP() << "pdfimages is not installed: the PDF was not read back";
    QProcess extract;
    extract.start("pdfimages", {"-png", dir.filePath("r.pdf"), dir.filePath("held")});
    ASSERT_TRUE(extract.waitForFinished(20000));
    const QImage held(dir.filePath("held-000.png"));
    ASSERT_EQ(held.size(), flat.size());
    EXPECT_EQ(strays(held, area, fill), 0);
}
