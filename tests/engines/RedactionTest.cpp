#include "engines/Redaction.h"
#include "FakeDesktop.h"
#include "engines/CaptureHistory.h"
#include "engines/ClipboardTools.h"
#include "engines/EditablePng.h"
#include "engines/ImageFiles.h"
#include "engines/SceneArchive.h"
#include "model/CanvasModel.h"

#include <QFile>
#include <QJsonArray>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUndoStack>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(Redaction, FindingsLandOnTheCanvasWithAMarginAndCountAsCoveredOnlyWhenCovered)
{
    // A 200×100 picture at the primary place, the origin.
    const QList<SecretFinding> findings{
        {SecretKind::Email, "a@b.co", {QRect(10, 20, 50, 16)}, {}},
        {SecretKind::ApiKey, "ghp_x", {QRect(100, 80, 60, 16)}, {}}};
    const auto placed = Redaction::place(findings, QSize(200, 100), QRectF(0, 0, 200, 100));
    ASSERT_EQ(placed.size(), 2);
    EXPECT_EQ(placed[0].words.first(), QRectF(10, 20, 50, 16));
    EXPECT_EQ(placed[0].cover.first(), QRectF(6, 16, 58, 24)); // margin 2 + 16 / 8
    // Near the picture's edge the cover stops at it.
    EXPECT_EQ(placed[1].cover.first().bottom(), 100);

    const auto marks = Redaction::marksFor(placed);
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks[0]->kind, ToolKind::Redact);
    EXPECT_EQ(marks[0]->boundingRect(), placed[0].cover.first());
    EXPECT_TRUE(Redaction::uncovered(placed, marks).isEmpty());
    // Moved off its words, a mark no longer covers them; a blur never does.
    marks[0]->translate({30, 0});
    EXPECT_EQ(Redaction::uncovered(placed, marks).size(), 1);
    auto blur = Annotation::make(ToolKind::Blur, {0, 0}, {200, 100}, Qt::black, 1);
    EXPECT_EQ(Redaction::uncovered(placed, {blur}).size(), 2);
    // Outside the crop, a secret never leaves.
    EXPECT_EQ(Redaction::uncovered(placed, {}, QRectF(0, 30, 80, 70)).size(), 1);
    EXPECT_EQ(Redaction::summary(placed), "Redacted 2: 1 e-mail address, 1 API key");

    // A placed picture shown at half its size.
    const auto half = Redaction::place(findings, QSize(200, 100), QRectF(300, 50, 100, 50));
    EXPECT_EQ(half[0].words.first(), QRectF(305, 60, 25, 8));
}

TEST(Redaction, TheFillStandsOutFromTheBackgroundAroundTheSecret)
{
    // A black terminal on the left, a white page on the right, light and dark glyphs on them.
    QImage picture(400, 100, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.fillRect(0, 0, 200, 100, Qt::black);
    p.setPen(QColor(220, 220, 220));
    p.drawText(QRect(4, 40, 190, 20), "TOKEN=Zq8xT2mPv9LkR4sW7nYb3Hc6 Done");
    p.setPen(Qt::black);
    p.drawText(QRect(204, 40, 190, 20), "TOKEN=Zq8xT2mPv9LkR4sW7nYb3Hc6 Done");
    // Two glyphs below: one a cover cuts through, one a cover holds whole.
    p.fillRect(300, 80, 10, 10, Qt::black);
    p.fillRect(340, 80, 10, 10, Qt::black);
    // Two glyphs joined by a faint bridge of smoothing.
    p.fillRect(370, 80, 7, 10, Qt::black);
    p.fillRect(377, 84, 2, 2, QColor(200, 200, 200));
    p.fillRect(379, 80, 10, 10, Qt::black);
    p.end();
    const QList<SecretFinding> findings{
        {SecretKind::RandomString, "a", {QRect(50, 42, 120, 14)}, {QRect(48, 40, 126, 18)}},
        {SecretKind::RandomString, "b", {QRect(250, 42, 120, 14)}, {}},
        {SecretKind::RandomString, "c", {QRect(305, 80, 20, 10)}, {QRect(304, 78, 24, 14)}},
        {SecretKind::RandomString, "d", {QRect(340, 80, 10, 10)}, {QRect(338, 78, 14, 14)}},
        {SecretKind::RandomString, "e", {QRect(384, 80, 5, 10)}, {QRect(384, 78, 10, 14)}}};
    const auto placed = Redaction::place(findings, picture, QRectF(0, 0, 400, 100));
    ASSERT_EQ(placed.size(), 5);
    EXPECT_EQ(placed[0].fill, Annotation::lightRedactionColor());
    EXPECT_EQ(placed[1].fill, Annotation::redactionColor());
    // The finder's own cover is taken, never smaller than the words; a side that cuts through a
    // glyph reaches out to its end, and only then.
    EXPECT_TRUE(placed[0].cover.first().contains(QRectF(48, 40, 126, 18)));
    EXPECT_EQ(placed[2].cover.first(), QRectF(300, 78, 28, 14));
    EXPECT_EQ(placed[3].cover.first(), QRectF(338, 78, 14, 14));
    EXPECT_EQ(placed[4].cover.first(), QRectF(380, 78, 14, 14)); // not the glyph beyond
    const auto marks = Redaction::marksFor(placed);
    EXPECT_EQ(marks[0]->color, Annotation::lightRedactionColor());
    EXPECT_EQ(marks[1]->color, Annotation::redactionColor());
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
    const QRectF mark(20.4, 49.2, 70.3, 40.2);
    model.addMarks({Annotation::make(ToolKind::Redact, mark.topLeft(), mark.bottomRight(),
                                     Annotation::redactionColor(), 1)});
    EXPECT_EQ(model.undoStack()->count(), 1);
    const QImage flat = model.renderComposite(true);
    const QRectF r = model.exportRect();
    ASSERT_EQ(flat.size(), QSize(160, 120));
    // The mark in the export's pixels, every pixel it touches.
    const QRect area = mark.translated(-r.topLeft()).toAlignedRect();
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

namespace {

// Pixels that differ between two pictures of one size outside `area`.
int changedOutside(const QImage &a, const QImage &b, const QRect &area)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!area.contains(x, y) && a.pixel(x, y) != b.pixel(x, y))
                ++n;
    return n;
}

// A capture of noise with a redaction and a box over it, and a placed picture shown at half
// its size with a redaction of its own; points, the capture at the origin.
EditorScene redactedScene()
{
    EditorScene scene;
    scene.image = noise(QSize(200, 100));
    const QColor fill = Annotation::redactionColor();
    scene.marks.append(Annotation::make(ToolKind::Redact, {20.5, 39.6}, {90.7, 69.8}, fill, 1));
    scene.marks.append(Annotation::make(ToolKind::Rect, {120, 60}, {180, 90}, Qt::red, 3));
    scene.marks.append(Annotation::make(ToolKind::Redact, {260, 85}, {280, 95}, fill, 1));
    scene.placed.append({noise(QSize(100, 50)).mirrored(), QRectF(250, 75, 50, 25)});
    return scene;
}

// The pixels the marks of redactedScene() touch.
const QRect underCapture(QPoint(20, 39), QPoint(90, 69));
const QRect underPlaced(QPoint(20, 20), QPoint(59, 39));

void expectDestroyed(const EditorScene &back, const EditorScene &original)
{
    const QColor fill = Annotation::redactionColor();
    ASSERT_EQ(back.image.size(), original.image.size());
    EXPECT_EQ(strays(back.image, underCapture, fill), 0);
    EXPECT_EQ(changedOutside(back.image, original.image, underCapture), 0);
    ASSERT_EQ(back.placed.size(), 1);
    EXPECT_EQ(strays(back.placed[0].first, underPlaced, fill), 0);
    EXPECT_EQ(changedOutside(back.placed[0].first, original.placed[0].first, underPlaced), 0);
    // Every mark stays editable where it was.
    ASSERT_EQ(back.marks.size(), original.marks.size());
    for (int i = 0; i < back.marks.size(); ++i) {
        EXPECT_EQ(back.marks[i]->kind, original.marks[i]->kind);
        EXPECT_EQ(back.marks[i]->boundingRect(), original.marks[i]->boundingRect());
    }
}

} // namespace

TEST(Redaction, WhatARedactionCoversIsGoneFromEditablePngsTheHistoryAndKeptWork)
{
    const EditorScene scene = redactedScene();
    // The editor's own pictures are untouched: undo can still bring the pixels back.
    const QImage before = scene.image.copy();
    QTemporaryDir dir;
    const QString png = dir.filePath("editable.png");
    ASSERT_TRUE(ImageFiles::saveImage(scene.image, png, nullptr,
                                      std::make_shared<const EditorScene>(scene)));
    EXPECT_EQ(scene.image, before);
    const EditablePng::Read opened = EditablePng::readFile(png);
    ASSERT_TRUE(opened.scene) << opened.problem.toStdString();
    expectDestroyed(*opened.scene, scene);

    // Kept work for the next start, and the history: the pictures, and a thumbnail that shows
    // the marks.
    const RecoveryStore store(dir.filePath("recovery"));
    const QString kept = store.write(scene);
    ASSERT_FALSE(kept.isEmpty());
    const auto keptScene = store.read(kept);
    ASSERT_TRUE(keptScene);
    expectDestroyed(*keptScene, scene);

    HistoryRecorder recorder(CaptureHistory(dir.filePath("history")));
    const QString id = CaptureHistory::newId();
    EditorScene unredacted = scene;
    unredacted.marks = {scene.marks[1]};
    recorder.record(id, unredacted, true);
    recorder.flush();
    // Redactions added over the same pictures: the pictures are written again.
    recorder.record(id, scene, true);
    recorder.flush();
    const auto entry = recorder.history().read(id);
    ASSERT_TRUE(entry);
    expectDestroyed(*entry, scene);
    const QImage thumbnail(recorder.history().entries().value(0).thumbnail);
    // The flattened board, 300 × 100 points, at 160 pixels across.
    ASSERT_EQ(thumbnail.size(), QSize(160, 53));
    const double s = 160.0 / 300;
    const QRect redactionThere(QPoint(int(22 * s) + 1, int(41 * s) + 1),
                               QPoint(int(89 * s) - 1, int(68 * s) - 1));
    EXPECT_EQ(strays(thumbnail, redactionThere, Annotation::redactionColor(), 0, 8), 0);
    // Beside the marks, both pictures' noise, shrunk to grey.
    for (const QPoint at : {QPoint(100, 10), QPoint(290, 80)}) {
        const int grey = thumbnail.pixelColor(int(at.x() * s), int(at.y() * s)).red();
        EXPECT_GT(grey, 40) << at.x();
        EXPECT_LT(grey, 215) << at.x();
    }
}
