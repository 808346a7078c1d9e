#include "TestSupport.h"

#include "engines/EditablePng.h"
#include "engines/PastedPicture.h"
#include "model/AnnotationRenderer.h"
#include "model/CaptionPanel.h"
#include "model/MarkRules.h"
#include "platform/PictureFile.h"
#include "ui/AnnotationCanvas.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <QUndoStack>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

QImage solid(QSize size, QColor colour)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

// A canvas driven by synthesized events at canvas points, with text boxes of the
// test's choosing instead of the recognizer.
struct Canvas
{
    QList<QRectF> boxes;
    std::unique_ptr<AnnotationCanvas> view;

    explicit Canvas(QSize size = {1200, 800}, const QList<AnnotationRef> &seed = {},
                    QList<QRectF> textBoxes = {}, QImage picture = {})
        : boxes(std::move(textBoxes))
    {
        if (picture.isNull())
            picture = solid(size, QColor(40, 90, 160));
        view = std::make_unique<AnnotationCanvas>(
            picture, seed,
            [b = boxes](const QImage &, QObject *, std::function<void(QList<QRectF>)> done) {
                done(b);
            });
        view->show();
    }
    CanvasModel &model() { return view->model(); }

    void send(QEvent::Type type, QPointF canvasPoint, Qt::MouseButtons buttons)
    {
        const QPointF pos = view->toWidget(canvasPoint);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, pos, view->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &e);
    }
    void press(QPointF p) { send(QEvent::MouseButtonPress, p, Qt::LeftButton); }
    void drag(QPointF p) { send(QEvent::MouseMove, p, Qt::LeftButton); }
    void release(QPointF p) { send(QEvent::MouseButtonRelease, p, Qt::NoButton); }
    void click(QPointF p)
    {
        press(p);
        release(p);
    }
    void stroke(QPointF from, QPointF to)
    {
        press(from);
        drag((from + to) / 2);
        drag(to);
        release(to);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(view.get(), k, m);
    }
    QList<qint64> stepNumbers()
    {
        QList<qint64> n;
        for (const auto &a : view->annotations())
            if (a->kind == ToolKind::Step)
                n.append(a->stepNumber);
        return n;
    }
};

} // namespace

TEST(Canvas, StartsWithCopiesOfItsSeedAndStepsAfterThem)
{
    auto step = Annotation::make(ToolKind::Step, {10, 180}, {10, 180}, Qt::blue, 5);
    step->stepNumber = 4;
    Canvas c({300, 200}, {step});
    EXPECT_EQ(c.model().annotations().first()->start, QPointF(10, 180));
    EXPECT_NE(c.model().annotations().first(), step); // a copy
    EXPECT_EQ(c.model().stepCounter(), 5);
    // The view shows the content with a 40-point margin, rounded up to whole pixels.
    const QRectF shown = c.view->shownRect(), content = c.model().contentRect();
    EXPECT_NEAR(shown.width(), content.width() + 80, 1);
    EXPECT_NEAR(shown.center().x(), content.center().x(), 1);
    EXPECT_NEAR(shown.center().y(), content.center().y(), 1);
    EXPECT_EQ(c.view->currentTool(), ToolKind::Arrow);
}

TEST(Canvas, ClickWithArrowLeavesNothingButEmptiesRedo)
{
    Canvas c;
    c.stroke({100, 700}, {300, 600});
    c.view->undo();
    ASSERT_TRUE(c.view->canRedo());
    c.click({500, 300});
    EXPECT_TRUE(c.view->annotations().isEmpty());
    EXPECT_FALSE(c.view->canUndo());
    EXPECT_FALSE(c.view->canRedo());
    EXPECT_EQ(c.view->undoStack()->count(), 0);
}

TEST(Canvas, PenClickLeavesAOnePointMarkAndStepClickANumberedBadge)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Pen);
    c.click({100, 700});
    ASSERT_EQ(c.view->annotations().size(), 1);
    EXPECT_EQ(c.view->annotations().first()->points, QList<QPointF>{QPointF(100, 700)});

    c.view->setCurrentTool(ToolKind::Step);
    c.click({200, 600});
    ASSERT_EQ(c.view->annotations().size(), 2);
    EXPECT_EQ(c.view->annotations().last()->stepNumber, 1);
    EXPECT_EQ(c.model().stepCounter(), 2);
    ASSERT_NE(c.view->captionField(), nullptr);
    EXPECT_EQ(c.view->captionField()->placeholderText(),
              QStringLiteral("Caption for step 1\u2026"));
}

TEST(Canvas, DeletingAStepRenumbersAndUndoBringsTheOldNumbersBack)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Step);
    c.click({100, 700});
    c.click({200, 700});
    c.click({300, 700});
    ASSERT_EQ(c.stepNumbers(), (QList<qint64>{1, 2, 3}));
    c.view->setCurrentTool(ToolKind::Select);
    c.click({200, 700});
    ASSERT_EQ(c.model().selected(), c.view->annotations()[1]);
    c.key(Qt::Key_Delete);
    EXPECT_EQ(c.stepNumbers(), (QList<qint64>{1, 2}));
    EXPECT_EQ(c.model().stepCounter(), 3);
    c.view->undo();
    EXPECT_EQ(c.stepNumbers(), (QList<qint64>{1, 2, 3}));
    EXPECT_EQ(c.model().stepCounter(), 4) << "never a number that is shown";
    EXPECT_FALSE(c.model().selected());
    c.view->undo();
    EXPECT_EQ(c.stepNumbers(), (QList<qint64>{1, 2}));
    EXPECT_EQ(c.model().stepCounter(), 3);
    c.view->redo();
    EXPECT_EQ(c.stepNumbers(), (QList<qint64>{1, 2, 3}));
}

TEST(Canvas, ToolLettersOnlyWithoutControlAltOrMeta)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Rect);
    QList<ToolKind> told;
    QObject::connect(c.view.get(), &AnnotationCanvas::toolChanged,
                     [&](ToolKind k) { told.append(k); });
    c.key(Qt::Key_A, Qt::ControlModifier);
    c.key(Qt::Key_A, Qt::AltModifier);
    c.key(Qt::Key_A, Qt::MetaModifier);
    EXPECT_EQ(c.view->currentTool(), ToolKind::Rect);
    c.key(Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(c.view->currentTool(), ToolKind::Arrow);
    c.key(Qt::Key_C);
    EXPECT_EQ(c.view->currentTool(), ToolKind::Crop);
    EXPECT_EQ(told, (QList<ToolKind>{ToolKind::Arrow, ToolKind::Crop}));
    // Assigned from outside: no call back.
    c.view->setCurrentTool(ToolKind::Pen);
    EXPECT_EQ(told.size(), 2);
}

TEST(Canvas, PastesOnlyAPictureAndRefusesHugeOnes)
{
    Canvas c;
    QSignalSpy refused(c.view.get(), &AnnotationCanvas::pasteRefused);
    auto lastRefusal = [&] {
        return refused.isEmpty() ? QString() : refused.last().at(0).toString();
    };
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("just words"));
    c.key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(c.view->extraImages().isEmpty());
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(lastRefusal(), QStringLiteral("No picture on the clipboard"));

    // Files copied in a file manager: the picture file is read; a FIFO is refused at once.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shot.png"));
    ASSERT_TRUE(solid({30, 20}, Qt::cyan).save(file));
    const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(fifo)});
    EXPECT_FALSE(c.view->pasteImage(&files));
    EXPECT_TRUE(lastRefusal().contains(QStringLiteral("cannot be pasted")));
    files.setUrls({QUrl::fromLocalFile(fifo), QUrl::fromLocalFile(file)});
    ASSERT_TRUE(c.view->pasteImage(&files));
    EXPECT_EQ(c.view->extraImages().first()->frame.size(), QSizeF(30, 20));
    c.view->undo();
    EXPECT_TRUE(c.view->extraImages().isEmpty());

    clipboard->setImage(solid({100, 50}, Qt::green));
    c.key(Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(c.view->extraImages().size(), 1);
    EXPECT_EQ(c.view->extraImages().first()->frame.size(), QSizeF(100, 50)); // never enlarged
    EXPECT_EQ(c.view->currentTool(), ToolKind::Select);
    EXPECT_EQ(c.model().selectedImage(), c.view->extraImages().first());

    for (QSize size : {QSize(16385, 10), QSize(9000, 8000)}) {
        QMimeData mime;
        mime.setData(QStringLiteral("image/png"),
                     vistrel::test::pngHeader(size.width(), size.height()));
        EXPECT_FALSE(c.view->pasteImage(&mime));
        EXPECT_TRUE(lastRefusal().contains(QStringLiteral("too large"))) << size.width();
    }
    EXPECT_EQ(refused.size(), 4); // pictures that were added said nothing
    EXPECT_EQ(c.view->extraImages().size(), 1);
    EXPECT_TRUE(PictureLimits::fits({16384, 4096}));

    // Offered as a picture but not one (text, a cut-off PNG): said, not silently dropped.
    QMimeData broken;
    broken.setData(QStringLiteral("image/png"), vistrel::test::pngHeader(40, 30).left(30));
    EXPECT_FALSE(c.view->pasteImage(&broken));
    EXPECT_TRUE(
        lastRefusal().startsWith(QStringLiteral("The clipboard's picture cannot be pasted")));
}

TEST(Canvas, ALargeEditablePngIsDecodedOffTheGuiThreadWhenPasted)
{
    Canvas c;
    EditorScene scene;
    // Noise: stored compressed, a picture of one colour would be too light to need a thread.
    scene.image = solid({1200, 900}, Qt::darkCyan);
    QRandomGenerator noise(5);
    for (int y = 0; y < scene.image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(scene.image.scanLine(y));
        for (int x = 0; x < scene.image.width(); ++x)
            row[x] = 0xff000000u | (noise.generate() & 0xffffffu);
    }
    scene.marks = {Annotation::make(ToolKind::Rect, {10, 10}, {90, 60}, Qt::red, 4)};
    QByteArray flat;
    QBuffer buffer(&flat);
    buffer.open(QIODevice::WriteOnly);
    solid({40, 30}, Qt::magenta).save(&buffer, "png");
    QMimeData mime;
    mime.setData(QStringLiteral("image/png"),
                 EditablePng::withChunk(flat, EditablePng::sceneChunk(scene)));
    QList<EditorScene> opened;
    QObject::connect(c.view.get(), &AnnotationCanvas::sceneOpenRequested,
                     [&](const EditorScene &s) { opened.append(s); });

    // Under way, not done, when the paste returns; the work opens once it is decoded.
    ASSERT_TRUE(c.view->pasteImage(&mime));
    EXPECT_TRUE(opened.isEmpty()) << "decoded on the GUI thread";
    for (int wait = 0; wait < 500 && opened.isEmpty(); ++wait)
        vistrel::test::drain(1);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().image.size(), QSize(1200, 900));
    EXPECT_EQ(opened.first().marks.size(), 1);
}

TEST(Canvas, AMarkBeyondWhatCanBeOpenedAgainIsNotKeptAndSaysSo)
{
    Canvas c;
    QSignalSpy refused(c.view.get(), &AnnotationCanvas::markRefused);
    const int most = MarkRules::of(ToolKind::Blur).maxInScene;
    QList<AnnotationRef> blurs;
    for (int i = 0; i < most; ++i)
        blurs.append(Annotation::make(ToolKind::Blur, {10, 790}, {20, 780}, Qt::black, 2));
    c.view->addMarks(blurs);
    c.view->setCurrentTool(ToolKind::Blur);
    c.stroke({30, 770}, {60, 740});
    EXPECT_EQ(c.view->annotations().size(), most);
    ASSERT_EQ(refused.size(), 1);
    // Other kinds still fit, and undo has nothing of the refused one.
    c.view->setCurrentTool(ToolKind::Rect);
    c.stroke({30, 770}, {60, 740});
    EXPECT_EQ(c.view->annotations().size(), most + 1);
    c.view->undo();
    EXPECT_EQ(c.view->annotations().size(), most);
}

TEST(Canvas, GripsAreGrabbedWithinNinePointsOnly)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Rect);
    c.stroke({100, 700}, {300, 600});
    auto rect = c.view->annotations().first();
    c.view->setCurrentTool(ToolKind::Select);
    c.click({100, 650});
    ASSERT_EQ(c.model().selected(), rect);

    // 8.9 points from the br corner (300, 700): grabbed, the drag resizes.
    c.press({300 + 8.9, 700});
    c.drag({350, 750});
    c.release({350, 750});
    EXPECT_EQ(rect->boundingRect(), QRectF(100, 600, 250, 150));

    // 9 points away and outside the grown box: an ordinary click that clears the selection.
    c.click({350 + 9, 750 + 9});
    EXPECT_FALSE(c.model().selected());
}

TEST(Canvas, CornerDraggedPastTheOppositeEdgeFlipsAndKeepsFourPoints)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Rect);
    c.stroke({100, 700}, {300, 600});
    auto rect = c.view->annotations().first();
    c.view->setCurrentTool(ToolKind::Select);
    c.click({100, 650});
    c.press({100, 600}); // tl
    c.drag({400, 620});
    EXPECT_EQ(rect->start, QPointF(300, 620));
    EXPECT_EQ(rect->end, QPointF(400, 700));
    c.drag({300, 700}); // level with the opposite corner: the box keeps 4 points
    c.release({300, 700});
    EXPECT_EQ(rect->boundingRect(), QRectF(300, 700, 100, 4));
    EXPECT_LE(rect->start.x(), rect->end.x());
    // One undo step for the whole drag.
    EXPECT_EQ(c.view->undoStack()->count(), 2);
    c.view->undo();
    EXPECT_EQ(c.view->annotations().first()->boundingRect(), QRectF(100, 600, 200, 100));
}

TEST(Canvas, BendIsRemovedNearTheStraightMidpoint)
{
    Canvas c;
    c.stroke({100, 700}, {300, 700});
    auto arrow = c.view->annotations().first();
    c.view->setCurrentTool(ToolKind::Select);
    c.click({150, 700});
    c.press({200, 700}); // mid
    c.drag({200, 640});
    EXPECT_EQ(arrow->control, QPointF(200, 640));
    c.drag({205, 694}); // 7.8 from the midpoint
    EXPECT_FALSE(arrow->control);
    c.drag({200, 692}); // 8 away: bent again
    c.release({200, 692});
    EXPECT_EQ(arrow->control, QPointF(200, 692));
}

TEST(Canvas, LineEndsSnapToTextWithinTwentyFourPoints)
{
    // One text box over (150…450, 350…400) of the 1200 × 800 picture.
    Canvas c({1200, 800}, {}, {QRectF(0.125, 0.4375, 0.25, 0.0625)});
    const QRectF box(150, 350, 300, 50);
    c.press({600, 800});
    c.drag({300, 423.5}); // 23.5 below the box
    EXPECT_EQ(c.model().draft()->end, QPointF(300, 400));
    EXPECT_EQ(c.model().snapPreview(), box);
    c.drag({300, 425}); // 25 below
    EXPECT_EQ(c.model().draft()->end, QPointF(300, 425));
    EXPECT_FALSE(c.model().snapPreview());
    c.drag({160, 380}); // inside: onto the nearest edge
    EXPECT_EQ(c.model().draft()->end, QPointF(150, 380));
    c.release({160, 380});
    EXPECT_FALSE(c.model().snapPreview());

    // Dragging an end of the finished arrow snaps too.
    auto arrow = c.view->annotations().first();
    c.view->setCurrentTool(ToolKind::Select);
    c.click({375, 590}); // on the shaft
    ASSERT_EQ(c.model().selected(), arrow);
    c.press({600, 800}); // p1
    c.drag({470, 370});
    EXPECT_EQ(arrow->start, QPointF(450, 370));
    EXPECT_EQ(c.model().snapPreview(), box);
    c.release({470, 370});
    EXPECT_FALSE(c.model().snapPreview());
}

TEST(Canvas, PlacedImageResizeKeepsItsAspectAndFortyPoints)
{
    Canvas c;
    c.view->addImage(solid({400, 200}, Qt::yellow));
    auto img = c.view->extraImages().first();
    ASSERT_EQ(img->frame, QRectF(1240, 0, 400, 200));
    c.press({1640 + 10, 200}); // br corner, 10 away
    c.drag({1440, 300});
    EXPECT_EQ(img->frame, QRectF(1240, 0, 200, 100)); // the tl corner stays
    c.drag({1250, 210});
    c.release({1250, 210});
    EXPECT_EQ(img->frame, QRectF(1240, 0, 40, 20));
    EXPECT_EQ(c.view->undoStack()->count(), 2); // the add, the resize
    c.view->undo();
    EXPECT_EQ(img->frame, QRectF(1240, 0, 400, 200));
}

TEST(Canvas, MovingAPlacedImageOutWidensTheShownPart)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Rect);
    c.stroke({100, 700}, {300, 600});
    c.view->setCurrentTool(ToolKind::Select);
    c.press({100, 650});
    c.drag({2000, 650});
    c.release({2000, 650});

    c.view->addImage(solid({100, 50}, Qt::green)); // at (1240, 0)
    c.press({1290, 25});
    c.drag({1290 + 900, 25 - 500});
    c.release({1290 + 900, 25 - 500});
    EXPECT_EQ(c.view->extraImages().first()->frame, QRectF(2140, -500, 100, 50));
    EXPECT_TRUE(c.view->shownRect().contains(c.view->extraImages().first()->frame));
    c.key(Qt::Key_Backspace);
    EXPECT_TRUE(c.view->extraImages().isEmpty());
    c.view->undo();
    EXPECT_EQ(c.view->extraImages().size(), 1);
}

TEST(Canvas, TextFieldOpensWhereTheWordsGoAndEmptyTextRollsBack)
{
    Canvas c;
    c.stroke({100, 700}, {300, 600});
    c.view->setCurrentTool(ToolKind::Text);
    c.click({200, 500});
    QPlainTextEdit *field = c.view->textField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(c.model().textFieldFrame(), QRectF(200, 498, 220, 30));
    EXPECT_EQ(field->geometry().topLeft(),
              c.view->toWidget(QRectF(200, 498, 220, 30)).toRect().topLeft());
    EXPECT_GE(field->width(), c.view->toWidget(QRectF(200, 498, 220, 30)).toRect().width());
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Type\u2026"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(c.view->textField(), nullptr);
    EXPECT_EQ(c.view->annotations().size(), 1);
    EXPECT_EQ(c.view->undoStack()->count(), 1);

    c.view->setLineWidth(10);
    c.click({200, 500});
    EXPECT_EQ(c.model().textFieldFrame().height(), 60);
    QTest::keyClicks(c.view->textField(), QStringLiteral("  hi  "));
    // A click elsewhere commits first, then acts with the tool (another text field).
    c.click({500, 300});
    ASSERT_EQ(c.view->annotations().size(), 2);
    EXPECT_EQ(c.view->annotations().last()->text, QStringLiteral("  hi  "));
    EXPECT_EQ(c.view->annotations().last()->fontSize, 40);
    // An untouched field closes when it loses focus, leaving no mark.
    QPlainTextEdit *untouched = c.view->textField();
    ASSERT_NE(untouched, nullptr);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(untouched, &out);
    EXPECT_EQ(c.view->textField(), nullptr);
    EXPECT_EQ(c.view->annotations().size(), 2);
    EXPECT_EQ(c.view->undoStack()->count(), 2);
}

TEST(Canvas, CaptionsAreTrimmedOfSpacesAndTabsOnly)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Step);
    c.click({100, 700});
    ASSERT_NE(c.view->captionField(), nullptr);
    EXPECT_EQ(c.view->captionField()->geometry(),
              c.view->toWidget(QRectF(100 + 17.5 + 8, 700 - 13, 240, 26)).toRect());
    c.view->captionField()->setText(QStringLiteral(" \t Open the menu \t "));
    // Placing the next step stores this caption and opens a field for the new one.
    c.click({200, 700});
    EXPECT_EQ(c.view->annotations().first()->caption, QStringLiteral("Open the menu"));
    ASSERT_NE(c.view->captionField(), nullptr);
    c.view->captionField()->setText(QStringLiteral(" \t "));
    QTest::keyClick(c.view->captionField(), Qt::Key_Return);
    EXPECT_EQ(c.view->annotations().last()->caption, QString());
    EXPECT_EQ(c.model().captionedSteps().size(), 1);
}

TEST(Canvas, LegendListsCaptionedStepsByNumberWithWrappedRowHeights)
{
    auto step = [](qint64 n, QString caption, QColor colour) {
        auto s = Annotation::make(ToolKind::Step, {50, 50}, {50, 50}, colour, 5);
        s->stepNumber = n;
        s->caption = std::move(caption);
        return s;
    };
    const QString longCaption =
        QStringLiteral("Click the button in the corner, then wait until the "
                       "progress bar is full and the dialog closes itself");
    Canvas c({1200, 800},
             {step(2, QStringLiteral("second"), Qt::blue), step(3, QString(), Qt::red),
              step(1, longCaption, Qt::red), step(2, QStringLiteral("also two"), Qt::green)});
    const auto steps = c.model().captionedSteps();
    ASSERT_EQ(steps.size(), 3);
    EXPECT_EQ(steps[0]->stepNumber, 1);
    EXPECT_EQ(steps[1]->caption, QStringLiteral("second")); // stable among equal numbers
    EXPECT_EQ(steps[2]->caption, QStringLiteral("also two"));

    EXPECT_EQ(CaptionPanel::rowHeight(QStringLiteral("second")), 34);
    const double tall = CaptionPanel::rowHeight(longCaption);
    EXPECT_GT(tall, 34);
    EXPECT_EQ(tall, std::ceil(tall));
    EXPECT_EQ(CaptionPanel::contentHeight(steps), 74 + tall + 16 + 34 + 16 + 34 + 16);
    // Beside the image area, as tall as the image.
    EXPECT_EQ(c.model().captionPanelRect(), QRectF(1228, 0, 360, 800));
    // With a taller placed image, it starts at that image's top.
    c.view->addImage(solid({600, 1200}, Qt::white)); // at (1240, 0)
    c.model().extraImages().first()->frame.translate(0, -300);
    EXPECT_EQ(c.model().captionPanelRect(), QRectF(1868, -300, 360, 1200));
}

TEST(Canvas, ExportCoversTheImagesGrownOnlyByMarksOutside)
{
    Canvas c;
    EXPECT_EQ(c.view->exportRect(), QRectF(0, 0, 1200, 800));
    EXPECT_EQ(c.view->renderComposite(true).size(), QSize(1200, 800));
    c.stroke({100, 700}, {300, 600});
    EXPECT_EQ(c.view->exportRect(), QRectF(0, 0, 1200, 800));
    // An arrow whose tip sticks out but whose box does not: the head does not count.
    c.stroke({100, 799.5}, {150, 799.5});
    EXPECT_EQ(c.view->exportRect(), QRectF(0, 0, 1200, 800));
    c.stroke({-30, 400}, {100, 500});
    EXPECT_EQ(c.view->exportRect(), QRectF(-36, -6, 1242, 812));
    EXPECT_EQ(c.view->renderComposite(false).size(), QSize(1242, 812));
}

TEST(Canvas, AddedImagesGoRightOfEverythingTopAligned)
{
    Canvas c;
    c.view->addImage(solid({800, 2400}, Qt::white));
    EXPECT_EQ(c.view->extraImages()[0]->frame, QRectF(1240, 0, 400, 1200));
    c.view->addImage(solid({100, 50}, Qt::white));
    EXPECT_EQ(c.view->extraImages()[1]->frame, QRectF(1680, 0, 100, 50));
    EXPECT_EQ(c.model().selectedImage(), c.view->extraImages()[1]);
}

TEST(Canvas, TextBoxResultsArriveOnlyWhileTheImageIsThere)
{
    std::function<void(QList<QRectF>)> pending;
    auto canvas = std::make_unique<AnnotationCanvas>(
        solid({300, 200}, Qt::white), QList<AnnotationRef>{},
        [&](const QImage &, QObject *, std::function<void(QList<QRectF>)> done) {
            pending = done;
        });
    pending({QRectF(0, 0, 0.5, 0.5)});
    EXPECT_EQ(canvas->model().primaryTextBoxes().size(), 1);
    canvas->addImage(solid({100, 100}, Qt::white));
    auto forImage = pending;
    canvas->model().setPrimaryTextBoxes({});
    canvas->setCurrentTool(ToolKind::Select);
    canvas->deleteSelected();
    forImage({QRectF(0, 0, 1, 1)}); // the placed image is gone: nothing to store, no crash
    EXPECT_TRUE(canvas->model().canvasTextBoxes().isEmpty());
}

TEST(Canvas, AnEmptyTextAfterAnUndoLeavesTheHistoryAlone)
{
    Canvas c;
    c.stroke({100, 700}, {300, 600});
    c.view->setCurrentTool(ToolKind::Text);
    c.click({200, 500});
    ASSERT_EQ(c.view->undoStack()->count(), 2);
    // Undo with the field open ends the empty text first, then takes back the arrow.
    c.view->undo();
    EXPECT_EQ(c.view->textField(), nullptr);
    EXPECT_TRUE(c.view->annotations().isEmpty());
    EXPECT_EQ(c.view->undoStack()->count(), 1);
    c.view->redo();
    EXPECT_EQ(c.view->annotations().size(), 1);
}

TEST(Canvas, MagnifiedCanvasScalesItsSizeEventsAndFields)
{
    Canvas c;
    c.view->setMagnification(0.5);
    // The content (1200×800) halved, with a 40-pixel margin beyond the view's 0×0.
    EXPECT_EQ(c.view->size(), QSize(680, 480));
    EXPECT_EQ(c.view->toWidget(QPointF(0, 0)), QPointF(40, 40));
    c.view->setCurrentTool(ToolKind::Step);
    QTest::mouseClick(c.view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(240, 240));
    ASSERT_EQ(c.view->annotations().size(), 1);
    EXPECT_EQ(c.view->annotations().first()->start, QPointF(400, 400));
    // The caption field: (425.5, 387, 240, 26) in canvas points, halved, from (-80, -80).
    ASSERT_NE(c.view->captionField(), nullptr);
    EXPECT_EQ(c.view->captionField()->geometry(), QRect(253, 234, 120, 13));

    // A viewport larger than the content: the widget fills it, the content in the middle.
    c.view->setViewportSize(QSizeF(1000, 700));
    EXPECT_EQ(c.view->size(), QSize(1000, 700));
    EXPECT_EQ(c.view->toWidget(QPointF(0, 0)), QPointF(200, 150));
}

TEST(CanvasEditing, ClicksHitTheDrawnShapeTopmostFirstAndNeverTheCrop)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Ellipse);
    c.stroke({100, 700}, {300, 500}); // outline passes (100, 600)
    c.view->setCurrentTool(ToolKind::Arrow);
    c.stroke({50, 750}, {350, 450}); // its box covers the ellipse's left edge
    c.view->setCurrentTool(ToolKind::Highlight);
    c.stroke({500, 700}, {600, 600});
    c.view->setCurrentTool(ToolKind::Select);
    const auto &marks = c.view->annotations();

    c.click({101, 600});
    EXPECT_EQ(c.model().selected(), marks[0]) << "the ellipse's ink, under the arrow's box";
    c.click({201, 598});
    EXPECT_EQ(c.model().selected(), marks[1]) << "on the shaft, within its width and slop";
    c.click({200, 660});
    EXPECT_EQ(c.model().selected(), nullptr) << "inside an outline is nothing";
    c.click({550, 650});
    EXPECT_EQ(c.model().selected(), marks[2]) << "a filled kind is hit inside";

    c.view->setCurrentTool(ToolKind::Crop);
    c.stroke({0, 800}, {700, 400});
    c.view->setCurrentTool(ToolKind::Select);
    c.click({101, 600});
    EXPECT_EQ(c.model().selected(), marks[0]);
    c.key(Qt::Key_Escape);
    EXPECT_EQ(c.model().selected(), nullptr);
}

TEST(CanvasEditing, PaletteAndWidthRestyleTheSelectionOneUndoStepEach)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Rect);
    c.stroke({100, 700}, {300, 500});
    c.view->setCurrentTool(ToolKind::Select);
    c.click({100, 600});
    const AnnotationRef rect = c.model().selected();
    ASSERT_NE(rect, nullptr);
    const int before = c.view->undoStack()->count();

    c.view->setStrokeColor(Qt::green);
    for (double w : {6.0, 8.0, 12.0}) // a slider drag
        c.view->setLineWidth(w);
    EXPECT_EQ(rect->color, QColor(Qt::green));
    EXPECT_EQ(rect->lineWidth, 12);
    EXPECT_EQ(c.view->undoStack()->count(), before + 2);

    c.view->undo();
    EXPECT_EQ(c.view->annotations().first()->lineWidth, 5);
    EXPECT_EQ(c.view->annotations().first()->color, QColor(Qt::green));
    c.view->undo();
    EXPECT_EQ(c.view->annotations().first()->color, Annotation::defaultColor());

    // With nothing selected only the next mark changes.
    c.view->setStrokeColor(Qt::blue);
    EXPECT_EQ(c.view->undoStack()->index(), before);
}

TEST(CanvasEditing, TextMarksReopenTakeSeveralLinesAndEscapeCancels)
{
    Canvas c;
    c.view->setCurrentTool(ToolKind::Text);
    c.click({200, 500});
    ASSERT_NE(c.view->textField(), nullptr);
    QTest::keyClicks(c.view->textField(), QStringLiteral("crab"));
    EXPECT_EQ(c.view->currentTool(), ToolKind::Text) << "letters are words, not tools";
    QTest::keyClick(c.view->textField(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(c.view->textField(), QStringLiteral("two"));
    QTest::keyClick(c.view->textField(), Qt::Key_Return);
    ASSERT_EQ(c.view->annotations().size(), 1);
    const AnnotationRef text = c.view->annotations().first();
    EXPECT_EQ(text->text, QStringLiteral("crab\ntwo"));
    EXPECT_GT(text->boundingRect().height(), 1.8 * text->fontSize) << "two lines tall";

    // Double click with the selection tool reopens it with its words.
    c.view->setCurrentTool(ToolKind::Select);
    const QPointF inside = text->boundingRect().center();
    const QPointF pos = c.view->toWidget(inside);
    QTest::mouseDClick(c.view.get(), Qt::LeftButton, Qt::NoModifier, pos.toPoint());
    ASSERT_NE(c.view->textField(), nullptr);
    EXPECT_EQ(c.view->textField()->toPlainText(), QStringLiteral("crab\ntwo"));
    c.view->textField()->setPlainText(QStringLiteral("lobster"));
    QTest::keyClick(c.view->textField(), Qt::Key_Escape);
    EXPECT_EQ(c.view->textField(), nullptr);
    ASSERT_EQ(c.view->annotations().size(), 1);
    EXPECT_EQ(c.view->annotations().first()->text, QStringLiteral("crab\ntwo"));
    const int steps = c.view->undoStack()->count();

    // The text tool on an existing text edits it: one undo step back to the old words.
    c.view->setCurrentTool(ToolKind::Text);
    c.click(inside);
    ASSERT_NE(c.view->textField(), nullptr);
    c.view->textField()->setPlainText(QStringLiteral("lobster"));
    c.view->commitEditors();
    ASSERT_EQ(c.view->annotations().size(), 1);
    EXPECT_EQ(c.view->annotations().first()->text, QStringLiteral("lobster"));
    EXPECT_EQ(c.view->undoStack()->count(), steps + 1);
    c.view->undo();
    EXPECT_EQ(c.view->annotations().first()->text, QStringLiteral("crab\ntwo"));
}

TEST(CanvasEditing, CropCutsTheExportReplacesTheLastAndUndoes)
{
    Canvas c({400, 300}, {}, {}, solid({400, 300}, Qt::white));
    c.view->setCurrentTool(ToolKind::Pen);
    c.stroke({50, 250}, {150, 150});
    c.view->setCurrentTool(ToolKind::Crop);
    c.stroke({20, 270}, {220, 170});
    EXPECT_EQ(c.model().exportRect(), QRectF(20, 170, 200, 100));
    const QImage cut = c.view->renderComposite(true);
    EXPECT_EQ(cut.size(), QSize(200, 100));

    c.stroke({250, 250}, {350, 100}); // a second crop replaces the first
    EXPECT_EQ(c.model().exportRect(), QRectF(250, 100, 100, 150));
    c.stroke({300, 200}, {340, 160}); // moving it from inside
    EXPECT_EQ(c.model().exportRect(), QRectF(290, 60, 100, 150));
    c.view->undo();
    EXPECT_EQ(c.model().exportRect(), QRectF(250, 100, 100, 150));
    c.view->undo();
    EXPECT_EQ(c.model().exportRect(), QRectF(20, 170, 200, 100));
    c.view->undo();
    EXPECT_FALSE(c.model().crop());
    EXPECT_EQ(c.view->renderComposite(true).size(), QSize(400, 300));
}

TEST(CanvasEditing, PlacedPicturesUndoAndStepNumbersStayUnique)
{
    Canvas c;
    c.view->addImage(solid({300, 200}, Qt::red));
    const PlacedImageRef placed = c.model().selectedImage();
    ASSERT_NE(placed, nullptr);
    const QRectF frame = placed->frame;
    c.stroke(frame.center(), frame.center() + QPointF(50, 40)); // a move is a step too
    c.view->deleteSelected();
    EXPECT_TRUE(c.view->extraImages().isEmpty());
    c.view->undo();
    ASSERT_EQ(c.view->extraImages().size(), 1);
    EXPECT_EQ(c.view->extraImages().first()->frame, frame.translated(50, 40));
    c.view->undo();
    EXPECT_EQ(c.view->extraImages().first()->frame, frame);

    c.view->setCurrentTool(ToolKind::Step);
    for (double x : {100.0, 200.0, 300.0}) {
        c.click({x, 700});
        c.view->commitEditors();
    }
    c.view->setCurrentTool(ToolKind::Select);
    c.click({200, 700});
    c.view->deleteSelected();
    EXPECT_EQ(c.stepNumbers(), (QList<qint64>{1, 2}));
    c.view->undo();
    c.view->setCurrentTool(ToolKind::Step);
    c.click({400, 700});
    c.view->commitEditors();
    EXPECT_EQ(c.stepNumbers(), (QList<qint64>{1, 2, 3, 4}));
}

TEST(CanvasEditing, LineEndsSnapOnlyNearAnEdgeAndNotWithAlt)
{
    // One text line at canvas (100…400, 640…700).
    Canvas c({1200, 800}, {}, {QRectF(100.0 / 1200, 640.0 / 800, 300.0 / 1200, 60.0 / 800)});
    drain();
    c.view->setCurrentTool(ToolKind::Arrow);
    c.stroke({250, 670}, {700, 300}); // the middle of the line: 30 from every edge
    EXPECT_EQ(c.view->annotations().last()->start, QPointF(250, 670));
    c.stroke({250, 650}, {700, 300}); // 10 below the top edge
    EXPECT_EQ(c.view->annotations().last()->start, QPointF(250, 640));

    const QPointF from = c.view->toWidget(QPointF(250, 650));
    const QPointF to = c.view->toWidget(QPointF(700, 300));
    QTest::mousePress(c.view.get(), Qt::LeftButton, Qt::AltModifier, from.toPoint());
    QMouseEvent move(QEvent::MouseMove, to, c.view->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::AltModifier);
    QApplication::sendEvent(c.view.get(), &move);
    QTest::mouseRelease(c.view.get(), Qt::LeftButton, Qt::AltModifier, to.toPoint());
    EXPECT_EQ(c.view->annotations().last()->start, QPointF(250, 650));
}

TEST(Canvas, RedactionMarksAreOrdinaryMarks)
{
    Canvas c({400, 300});
    QSignalSpy redact(c.view.get(), &AnnotationCanvas::redactRequested);
    const ToolKind tool = c.view->currentTool();
    c.key(Qt::Key_X);
    EXPECT_EQ(redact.count(), 1);
    EXPECT_EQ(c.view->currentTool(), tool); // X picks no tool

    c.view->addMarks(
        {Annotation::make(ToolKind::Redact, {50, 200}, {150, 180}, Annotation::redactionColor(), 1),
         Annotation::make(ToolKind::Redact, {50, 100}, {100, 80}, Annotation::redactionColor(),
                          1)});
    ASSERT_EQ(c.model().annotations().size(), 2);
    EXPECT_EQ(c.model().undoStack()->count(), 1);
    // Selected by a click inside (it is filled), moved by a drag, deleted by its key.
    c.view->setCurrentTool(ToolKind::Select);
    c.click({100, 190});
    ASSERT_EQ(c.model().selected(), c.model().annotations()[0]);
    c.stroke({100, 190}, {130, 160});
    EXPECT_EQ(c.model().annotations()[0]->boundingRect(), QRectF(80, 150, 100, 20));
    c.key(Qt::Key_Delete);
    EXPECT_EQ(c.model().annotations().size(), 1);
    c.view->undo();
    c.view->undo();
    c.view->undo();
    EXPECT_TRUE(c.model().annotations().isEmpty());
}

TEST(Canvas, TheRedactToolDrawsOpaqueBoxesThatKeepTheirColour)
{
    Canvas c({400, 300}, {}, {}, solid({400, 300}, Qt::white));
    c.view->setStrokeColor(QColor(0, 200, 0));
    c.key(Qt::Key_D);
    EXPECT_EQ(c.view->currentTool(), ToolKind::Redact);
    c.stroke({20, 200}, {120, 140});
    ASSERT_EQ(c.model().annotations().size(), 1);
    const AnnotationRef box = c.model().annotations()[0];
    EXPECT_EQ(box->kind, ToolKind::Redact);
    EXPECT_EQ(box->color, Annotation::redactionColor()); // not the palette's green
    // Recolouring the selected box leaves it a redaction.
    c.view->setCurrentTool(ToolKind::Select);
    c.click({50, 170});
    ASSERT_EQ(c.model().selected(), box);
    c.view->setStrokeColor(QColor(255, 255, 0));
    EXPECT_EQ(box->color, Annotation::redactionColor());
    // Every pixel under it is the fill, none beside it (rows 140…199).
    const QImage flat = c.model().renderComposite(true);
    for (int y = 139; y <= 200; ++y)
        for (int x = 19; x <= 120; ++x) {
            const bool inside = QRect(20, 140, 100, 60).contains(x, y);
            EXPECT_EQ(flat.pixelColor(x, y) == Annotation::redactionColor(), inside)
                << x << "," << y;
        }

    // Over a black terminal the box is light, or it would not be seen.
    Canvas dark({400, 300}, {}, {}, solid({400, 300}, Qt::black));
    dark.key(Qt::Key_D);
    dark.stroke({20, 200}, {120, 140});
    ASSERT_EQ(dark.model().annotations().size(), 1);
    EXPECT_EQ(dark.model().annotations()[0]->color, Annotation::lightRedactionColor());
}
