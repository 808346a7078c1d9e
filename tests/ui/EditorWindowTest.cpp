#include "FakeDesktop.h"
#include "TestSupport.h"
#include "engines/EditablePng.h"
#include "model/SelectionModel.h"
#include "ui/AnnotationCanvas.h"
#include "ui/BeautifyWindowController.h"
#include "ui/CenteringClipView.h"
#include "ui/CompareWindowController.h"
#include "ui/EditorGeometry.h"
#include "ui/EditorWindowController.h"
#include "ui/Palette.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

TEST(EditorGeometry, SmallCaptureKeepsMagnificationOneAndTheMinimumWidth)
{
    const auto g = EditorGeometry::forImage(QSize(200, 100), QSizeF(1440, 900));
    EXPECT_DOUBLE_EQ(g.fitMagnification, 1.0);
    EXPECT_EQ(g.contentSize, QSizeF(1280, 366));
}

TEST(EditorGeometry, LargeCaptureFitsEightyFivePercent)
{
    const auto g = EditorGeometry::forImage(QSize(5000, 3000), QSizeF(1440, 900));
    EXPECT_NEAR(g.fitMagnification, 719.0 / 3000.0, 1e-12);
    EXPECT_NEAR(g.fitMagnification, 0.2397, 1e-4);
    EXPECT_DOUBLE_EQ(g.contentSize.width(), 1280);
    EXPECT_NEAR(g.contentSize.height(), 719 + 46, 1e-9);
}

namespace {

QImage picture(QSize size, QColor fill = QColor(40, 120, 200))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

QImage decodedClipboard(const FakeDesktop &desktop)
{
    for (const auto &[type, bytes] : desktop.clipboardFormats)
        if (type == QLatin1String("image/png"))
            return QImage::fromData(bytes, "PNG");
    return {};
}

class EditorWindowTest : public ::testing::Test
{
protected:
    void open(QSize size, QList<AnnotationRef> seed = {})
    {
        editor = std::make_unique<EditorWindowController>(picture(size), seed, desktop.platform());
        editor->showWindow();
        drain();
    }
    void TearDown() override
    {
        editor.reset();
        drain();
    }

    FakeDesktop desktop;
    std::unique_ptr<EditorWindowController> editor;
};

} // namespace

TEST_F(EditorWindowTest, OpensAtFitWithTheSelectToolAndTheDefaultColour)
{
    open(QSize(200, 100));
    QWidget *window = editor->window();
    EXPECT_EQ(window->windowTitle(), "Vistrel — Editor");
    // 1280 wide for the whole toolbar, but never wider than the screen (800 here).
    EXPECT_EQ(window->size(), QSize(800, 366));
    EXPECT_DOUBLE_EQ(editor->magnification(), 1.0);
    EXPECT_EQ(editor->toolbar()->height(), 46);

    EXPECT_EQ(editor->canvas()->currentTool(), ToolKind::Select);
    EXPECT_TRUE(editor->toolButton(ToolKind::Select)->isChecked());
    EXPECT_EQ(editor->canvas()->strokeColor(), Annotation::defaultColor());
    EXPECT_DOUBLE_EQ(editor->canvas()->lineWidth(), 5.0);
    EXPECT_FALSE(editor->action(EditorAction::Undo)->isEnabled());
    // Every tool on the palette, left to right: Redact beside Redact Secrets, then Crop.
    int left = -1;
    for (ToolKind k : {ToolKind::Select, ToolKind::Arrow, ToolKind::Line, ToolKind::Rect,
                       ToolKind::Ellipse, ToolKind::Pen, ToolKind::Highlight, ToolKind::Text,
                       ToolKind::Step, ToolKind::Blur, ToolKind::Redact, ToolKind::Crop}) {
        ASSERT_NE(editor->toolButton(k), nullptr);
        EXPECT_GT(editor->toolButton(k)->x(), left) << toolKindName(k).toStdString();
        left = editor->toolButton(k)->x();
    }
    // At fit the whole picture shows, without scroll bars.
    EXPECT_FALSE(editor->scroll()->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(editor->scroll()->verticalScrollBar()->isVisible());

    // The picture sits in the middle of the view: the canvas point at the view's centre is
    // the picture's centre.
    const QPointF middle = editor->canvas()->toCanvas(editor->scroll()->visibleRect().center());
    EXPECT_NEAR(middle.x(), 100, 1);
    EXPECT_NEAR(middle.y(), 50, 1);

    // The buttons, left to right, end with Copy and Save at the right edge.
    QStringList order;
    for (QAction *a : editor->toolbar()->actions())
        if (!a->text().isEmpty() && !a->isCheckable())
            order.append(a->text());
    EXPECT_EQ(order,
              QStringList({"Redact Secrets", "Add", "Zoom Out", "Zoom to Fit", "Zoom In", "Undo",
                           "Redo", "Pin", "OCR", "Compare", "Beautify", "Share", "Copy", "Save"}));
    // Every button has its picture, from the icon theme or bundled.
    for (QAction *a : editor->toolbar()->actions()) {
        if (!a->text().isEmpty()) {
            EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
        }
    }
    EXPECT_EQ(editor->toolbar()->widgetForAction(editor->action(EditorAction::Ocr))->width(), 34);
    // What does not fit is in the overflow menu, behind a button as wide as the others.
    EXPECT_FALSE(
        editor->toolbar()->widgetForAction(editor->action(EditorAction::Save))->isVisible());
    auto *more = editor->toolbar()->findChild<QToolButton *>("qt_toolbar_ext_button");
    ASSERT_NE(more, nullptr);
    EXPECT_TRUE(more->isVisible());
    EXPECT_GE(more->width(), 24);
    EXPECT_LE(more->mapTo(window, QPoint(more->width(), 0)).x(), window->width());
    ASSERT_NE(more->menu(), nullptr);
    QStringList hidden;
    for (QAction *a : more->menu()->actions())
        hidden.append(a->text());
    EXPECT_TRUE(hidden.contains("Save")) << hidden.join(", ").toStdString();
}

TEST_F(EditorWindowTest, ToolsColourAndWidthReachTheCanvasAndHighlightFollows)
{
    open(QSize(400, 300));
    QTest::mouseClick(editor->toolButton(ToolKind::Rect), Qt::LeftButton);
    EXPECT_EQ(editor->canvas()->currentTool(), ToolKind::Rect);
    EXPECT_TRUE(editor->toolButton(ToolKind::Rect)->isChecked());
    EXPECT_FALSE(editor->toolButton(ToolKind::Select)->isChecked());

    // A tool letter typed on the canvas moves the highlight too.
    QTest::keyClick(editor->canvas(), Qt::Key_A);
    EXPECT_EQ(editor->canvas()->currentTool(), ToolKind::Arrow);
    EXPECT_TRUE(editor->toolButton(ToolKind::Arrow)->isChecked());
    EXPECT_FALSE(editor->toolButton(ToolKind::Rect)->isChecked());

    editor->widthSlider()->setValue(125);
    EXPECT_DOUBLE_EQ(editor->canvas()->lineWidth(), 12.5);

    QTest::mouseClick(editor->colorButton(), Qt::LeftButton);
    ASSERT_TRUE(editor->colorButton()->grid());
    QTest::mouseClick(editor->colorButton()->grid()->swatches()[4], Qt::LeftButton);
    EXPECT_EQ(editor->canvas()->strokeColor(), QColor("#22C55E"));
}

TEST_F(EditorWindowTest, ZoomStopsExactlyAtTheLimitsAndFitComesBack)
{
    open(QSize(5000, 3000));
    const qreal fit = editor->fitMagnification();
    EXPECT_LT(fit, 1.0);
    EXPECT_DOUBLE_EQ(editor->magnification(), fit);
    const QPointF before = editor->canvas()->toCanvas(editor->scroll()->visibleRect().center());
    editor->zoomIn();
    EXPECT_DOUBLE_EQ(editor->magnification(), fit * 1.25);
    // Zooming keeps the point in the middle of the view where it was.
    const QPointF after = editor->canvas()->toCanvas(editor->scroll()->visibleRect().center());
    EXPECT_NEAR(after.x(), before.x(), 2 / editor->magnification());
    EXPECT_NEAR(after.y(), before.y(), 2 / editor->magnification());

    for (int i = 0; i < 40; ++i)
        QTest::keyClick(editor->window(), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(editor->magnification(), 8.0);
    for (int i = 0; i < 60; ++i)
        QTest::keyClick(editor->window(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(editor->magnification(), 0.1);
    // Far out the picture is smaller than the view and stays in its middle, with no room to
    // scroll into empty margins.
    EXPECT_EQ(editor->scroll()->horizontalScrollBar()->maximum(), 0);
    const QPointF middle = editor->canvas()->toCanvas(editor->scroll()->visibleRect().center());
    EXPECT_NEAR(middle.x(), 2500, 10);
    QTest::keyClick(editor->window(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(editor->magnification(), fit);
}

TEST_F(EditorWindowTest, CopyKeyCopiesAtOnceAndTheOtherFormsWaitOnTheArrow)
{
    // A mark outside the picture widens the export, leaving transparent room around it.
    auto outside = Annotation::make(ToolKind::Rect, QPointF(-40, 90), QPointF(-10, 60), Qt::red, 4);
    open(QSize(200, 100), {outside});
    QTest::keyClick(editor->window(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(editor->formatMenu(), nullptr);
    EXPECT_EQ(desktop.clipboardWrites, 1);
    // Original: white outside the picture.
    EXPECT_EQ(decodedClipboard(desktop).pixelColor(0, 0), QColor(Qt::white));
    ASSERT_FALSE(desktop.toastTexts.isEmpty());
    EXPECT_EQ(desktop.toastTexts.last(), "Copied to clipboard");

    auto *copyButton = qobject_cast<QToolButton *>(
        editor->toolbar()->widgetForAction(editor->action(EditorAction::Copy)));
    EXPECT_EQ(copyButton->popupMode(), QToolButton::MenuButtonPopup);
    QMenu *menu = editor->action(EditorAction::Copy)->menu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu, editor->formatMenu(ExportMode::Copy));
    QStringList titles;
    for (QAction *a : menu->actions())
        titles.append(a->text());
    EXPECT_EQ(titles, QStringList({"Original", "Transparent", "PDF"}));
    menu->actions()[1]->trigger();
    drain();

    const QImage copied = decodedClipboard(desktop);
    ASSERT_FALSE(copied.isNull());
    EXPECT_TRUE(copied.hasAlphaChannel());
    EXPECT_EQ(copied.size(), editor->canvas()->renderComposite(false).size());
    EXPECT_GT(copied.width(), 200);
    // Top-left corner: outside the picture and the mark → transparent; the picture is opaque.
    EXPECT_EQ(qAlpha(copied.pixel(0, 0)), 0);
    EXPECT_EQ(copied.pixelColor(copied.width() - 10, copied.height() - 10), QColor(40, 120, 200));

    // PDF: PDF first, then PNG.
    editor->performExport({ExportMode::Copy, ExportChoice::PDF});
    ASSERT_EQ(desktop.clipboardFormats.size(), 2);
    EXPECT_EQ(desktop.clipboardFormats[0].first, "application/pdf");
    EXPECT_EQ(desktop.toastTexts.last(), "Copied PDF");
}

TEST_F(EditorWindowTest, TheSaveMenuOpensBesideItsButtonEvenInTheOverflow)
{
    open(QSize(900, 600));
    editor->window()->resize(1024, 700);
    drain();
    QWidget *saveButton = editor->toolbar()->widgetForAction(editor->action(EditorAction::Save));
    ASSERT_FALSE(saveButton->isVisible()); // in the overflow at this width
    const QRect window(editor->window()->mapToGlobal(QPoint(0, 0)), editor->window()->size());

    // From the keyboard: under the overflow button, at the toolbar's right end.
    QTest::keyClick(editor->window(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QMenu *menu = editor->formatMenu();
    ASSERT_EQ(menu, editor->formatMenu(ExportMode::Save));
    const QRect toolbar(editor->toolbar()->mapToGlobal(QPoint(0, 0)), editor->toolbar()->size());
    EXPECT_GE(menu->pos().x(), window.center().x());
    EXPECT_LE(menu->pos().x(), window.right());
    EXPECT_NEAR(menu->pos().y(), toolbar.bottom(), 8);
    menu->close();

    // In the overflow, Save holds its forms as a submenu, which opens beside its item.
    auto *more = editor->toolbar()->findChild<QToolButton *>("qt_toolbar_ext_button");
    ASSERT_TRUE(more && more->menu());
    more->menu()->popup(more->mapToGlobal(QPoint(0, more->height())));
    drain();
    const QList<QAction *> hidden = more->menu()->actions();
    ASSERT_TRUE(hidden.contains(editor->action(EditorAction::Save)));
    EXPECT_EQ(editor->action(EditorAction::Save)->menu(), editor->formatMenu(ExportMode::Save));
    more->menu()->close();
}

TEST_F(EditorWindowTest, FitShowsEverythingWithoutScrollBarsWithAndWithoutALegend)
{
    for (const QSize windowSize : {QSize(1280, 900), QSize(1024, 700)}) {
        open(QSize(1280, 900));
        editor->window()->resize(windowSize);
        drain();
        auto showsAll = [&] {
            const QRectF content =
                editor->canvas()->toWidget(editor->canvas()->model().contentRect());
            const QRectF visible = editor->scroll()->visibleRect().adjusted(-0.5, -0.5, 0.5, 0.5);
            return visible.contains(content) &&
                   !editor->scroll()->horizontalScrollBar()->isVisible() &&
                   !editor->scroll()->verticalScrollBar()->isVisible();
        };
        QTest::keyClick(editor->window(), Qt::Key_0, Qt::ControlModifier);
        drain();
        EXPECT_TRUE(showsAll()) << windowSize.width();
        // The bottom rows of the picture are in view.
        const QPointF bottom = editor->canvas()->toWidget(QPointF(640, 900));
        EXPECT_TRUE(editor->scroll()->visibleRect().contains(bottom)) << windowSize.width();

        // A captioned step adds the legend beside the picture: Fit takes it in too.
        auto step =
            Annotation::make(ToolKind::Step, QPointF(100, 100), QPointF(100, 100), Qt::red, 5);
        step->caption = QStringLiteral("Open the menu");
        editor->canvas()->addMarks({step});
        QTest::keyClick(editor->window(), Qt::Key_0, Qt::ControlModifier);
        drain();
        EXPECT_TRUE(showsAll()) << windowSize.width() << " with a legend";
        editor->discardChanges();
    }
}

TEST_F(EditorWindowTest, ACopyOrACloseAfterItLosesNothingSoNothingIsAsked)
{
    open(QSize(300, 200));
    editor->toolPicked(ToolKind::Rect);
    editor->canvas()->model().mouseDown({50, 50});
    editor->canvas()->model().mouseDragged({150, 150});
    editor->canvas()->model().mouseUp({150, 150});
    EXPECT_TRUE(editor->hasUnsavedWork());
    QTest::keyClick(editor->window(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(editor->hasUnsavedWork());
    int closed = 0;
    QObject::connect(editor.get(), &EditorWindowController::closed, [&] { ++closed; });
    QTest::keyClick(editor->window(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(editor->closeQuestion(), nullptr);
    EXPECT_EQ(closed, 1);
}

TEST_F(EditorWindowTest, CropEdgesFallOnWholePixelsAtAnyZoomAndTheSizeShowsWhileDragging)
{
    open(QSize(800, 500));
    editor->canvas()->setMagnification(0.795);
    drain();
    editor->toolPicked(ToolKind::Crop);
    AnnotationCanvas *canvas = editor->canvas();
    const QPoint from = canvas->toWidget(QPointF(100.3, 99.4)).toPoint();
    const QPoint to = from + QPoint(398, -199); // 500.6 × 250.3 picture pixels
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), canvas->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    const auto dragging = canvas->model().cropInProgress();
    ASSERT_TRUE(dragging);
    // The overlay's badge shows the size, in dark, just above the frame.
    const QImage shown = canvas->grab().toImage();
    const QRectF frame = canvas->toWidget(*dragging).normalized();
    const QColor badge = shown.pixelColor(int(frame.left()) + 3, int(frame.top()) - 8);
    EXPECT_LT(badge.lightness(), 60);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);

    const QRectF crop = canvas->model().crop()->normalized();
    for (qreal edge : {crop.left(), crop.top(), crop.right(), crop.bottom()})
        EXPECT_EQ(edge, std::round(edge));
    EXPECT_EQ(canvas->renderComposite(true).size(), crop.size().toSize());
    EXPECT_EQ(SelectionModel::dimensionText(crop, 1.0),
              QStringLiteral("%1 × %2").arg(crop.width()).arg(crop.height()));

    // Moved by a fractional distance, the frame keeps its size and whole-pixel edges.
    const QPoint inside = canvas->toWidget(crop.center()).toPoint();
    QTest::mousePress(canvas, Qt::LeftButton, {}, inside);
    QMouseEvent nudge(QEvent::MouseMove, QPointF(inside + QPoint(7, 3)),
                      canvas->mapToGlobal(QPointF(inside + QPoint(7, 3))), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &nudge);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, inside + QPoint(7, 3));
    const QRectF moved = canvas->model().crop()->normalized();
    EXPECT_EQ(moved.size(), crop.size());
    EXPECT_EQ(moved.left(), std::round(moved.left()));
    EXPECT_EQ(moved.top(), std::round(moved.top()));
    EXPECT_NE(moved, crop);
}

TEST_F(EditorWindowTest, ToolLettersAfterAStepStayToolLettersAndEscapeClosesTheCaption)
{
    open(QSize(400, 300));
    AnnotationCanvas *canvas = editor->canvas();
    canvas->setFocus();
    QTest::keyClick(canvas, Qt::Key_S);
    EXPECT_EQ(canvas->currentTool(), ToolKind::Step);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->toWidget(QPointF(100, 100)).toPoint());
    ASSERT_NE(canvas->captionField(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_B);
    EXPECT_EQ(canvas->currentTool(), ToolKind::Blur);
    canvas->commitEditors();
    ASSERT_EQ(canvas->annotations().size(), 1);
    EXPECT_EQ(canvas->annotations()[0]->caption, QString());
    EXPECT_TRUE(canvas->model().captionedSteps().isEmpty()); // no legend in the export

    // Return starts the caption; Escape closes the field and keeps the caption as it was.
    QTest::keyClick(canvas, Qt::Key_S);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->toWidget(QPointF(200, 100)).toPoint());
    ASSERT_NE(canvas->captionField(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(QApplication::focusWidget(), canvas->captionField());
    QTest::keyClicks(canvas->captionField(), "Open the menu");
    QTest::keyClick(canvas->captionField(), Qt::Key_Return);
    EXPECT_EQ(canvas->annotations()[1]->caption, QStringLiteral("Open the menu"));
    EXPECT_EQ(canvas->captionField(), nullptr);

    QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->toWidget(QPointF(300, 100)).toPoint());
    ASSERT_NE(canvas->captionField(), nullptr);
    QTest::mouseClick(canvas->captionField(), Qt::LeftButton);
    QTest::keyClicks(canvas->captionField(), "half");
    QTest::keyClick(canvas->captionField(), Qt::Key_Escape);
    EXPECT_EQ(canvas->captionField(), nullptr);
    EXPECT_EQ(canvas->annotations()[2]->caption, QString());
    EXPECT_EQ(QApplication::focusWidget(), canvas);
    QTest::keyClick(canvas, Qt::Key_A);
    EXPECT_EQ(canvas->currentTool(), ToolKind::Arrow);
}

TEST_F(EditorWindowTest, ACaptureWithZeroPaddingBytesExportsOpaque)
{
    // As an X server hands over a grab: RGB32 whose fourth byte is 0.
    QImage grab(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < grab.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(grab.scanLine(y));
        for (int x = 0; x < grab.width(); ++x)
            line[x] = 0x003366cc;
    }
    editor =
        std::make_unique<EditorWindowController>(grab, QList<AnnotationRef>{}, desktop.platform());
    const QImage out = editor->canvas()->renderComposite(false);
    ASSERT_EQ(out.size(), QSize(64, 32));
    EXPECT_EQ(out.pixelColor(10, 10), QColor(0x33, 0x66, 0xcc));
}

TEST_F(EditorWindowTest, SaveOffersEveryTypeTheSuggestedNameAndMarksTheWorkSaved)
{
    open(QSize(120, 80));
    QTest::keyClick(editor->window(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(editor->formatMenu(), nullptr);
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    EXPECT_TRUE(desktop.saveRequests[0].suggestedName.endsWith(".png"));
    QMenu *menu = editor->formatMenu(ExportMode::Save);
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_EQ(menu->actions()[3]->text(), "Editable PNG");
    menu->actions()[2]->trigger();
    ASSERT_EQ(desktop.saveRequests.size(), 2);
    EXPECT_TRUE(desktop.saveRequests[1].suggestedName.startsWith("Vistrel "));
    EXPECT_TRUE(desktop.saveRequests[1].suggestedName.endsWith(".pdf"));
    desktop.saveRequests.removeFirst();

    editor->suggestedNameBase = QStringLiteral("flight-booking");
    editor->performExport({ExportMode::Save, ExportChoice::Transparent});
    ASSERT_EQ(desktop.saveRequests.size(), 2);
    EXPECT_EQ(desktop.saveRequests[1].suggestedName,
              "flight-booking " + QDate::currentDate().toString("yyyy-MM-dd") + ".png");
    EXPECT_EQ(desktop.saveRequests[1].nameFilters.size(), 3); // PNG, JPEG and PDF

    // Save… in the close question saves, then closes; the work counts as saved.
    QTemporaryDir dir;
    desktop.saveAnswer = dir.filePath("mark1.jpg");
    editor->toolPicked(ToolKind::Rect);
    editor->canvas()->model().mouseDown({10, 70});
    editor->canvas()->model().mouseDragged({60, 30});
    editor->canvas()->model().mouseUp({60, 30});
    int closed = 0;
    QObject::connect(editor.get(), &EditorWindowController::closed, [&] { ++closed; });
    editor->performClose();
    ASSERT_NE(editor->closeQuestion(), nullptr);
    editor->closeQuestion()->defaultButton()->click();
    ASSERT_TRUE(editor->formatMenu() == nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.filePath("mark1.jpg")); }, 5000));
    EXPECT_EQ(QImageReader(dir.filePath("mark1.jpg")).format(), "jpeg");
    EXPECT_FALSE(QFile::exists(dir.filePath("mark1.jpg.png")));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(editor->hasUnsavedWork());
}

TEST_F(EditorWindowTest, OcrPinAndTheSideWindowsSaySomethingEveryTime)
{
    open(QSize(300, 200));
    QImage recognised;
    const QList<Result<QString>> answers{
        QString(42, QLatin1Char('x')), QStringLiteral(" \n "),
        CaptureError::failed(QStringLiteral("The English text model is not installed"))};
    qsizetype recognitions = 0;
    editor->setTextRecognizer([&](const QImage &image, QObject *, auto done) {
        recognised = image;
        done(answers[recognitions++]);
    });
    editor->runOCR();
    EXPECT_EQ(recognised.size(), QSize(300, 200));
    EXPECT_EQ(desktop.clipboardText, QString(42, QLatin1Char('x')));
    EXPECT_EQ(desktop.toastTexts, QStringList{"Copied 42 chars"});
    editor->runOCR();
    EXPECT_EQ(desktop.toastTexts.last(), "No text found");
    // A failure is an alert naming its cause, as Extract Text says it, never "No text found".
    editor->runOCR();
    drain(); // alerts are shown from the event loop
    ASSERT_FALSE(desktop.warnings.isEmpty());
    EXPECT_TRUE(desktop.warnings.last().second.contains("text model is not installed"));

    editor->action(EditorAction::Pin)->trigger();
    ASSERT_EQ(desktop.pinned.size(), 1);
    EXPECT_EQ(desktop.pinned[0].first.size(), QSize(300, 200));
    EXPECT_EQ(desktop.pinned[0].second, editor->window()->screen()); // where the editor is

    editor->action(EditorAction::Compare)->trigger();
    EXPECT_EQ(desktop.toastTexts.last(), "Add a 2nd screenshot (Add / Ctrl+V) to compare");
    EXPECT_EQ(editor->compareWindow(), nullptr);
    editor->canvas()->addImage(picture(QSize(50, 50)));
    editor->action(EditorAction::Compare)->trigger();
    // Before: the capture; after: the placed picture at its own size.
    ASSERT_TRUE(editor->compareWindow());
    EXPECT_EQ(editor->compareWindow()->view()->model().canvasSize(), QSize(300, 200));
    EXPECT_EQ(editor->compareWindow()->view()->model().after().size(), QSize(50, 50));
    // Adding a picture switched the canvas to select; the palette follows.
    EXPECT_TRUE(editor->toolButton(ToolKind::Select)->isChecked());
    editor->action(EditorAction::Beautify)->trigger();
    ASSERT_TRUE(editor->beautifyWindow());
    // The flattened board: the capture and the picture 40 to its right.
    EXPECT_EQ(editor->beautifyWindow()->view()->beautifier().imgSize(), QSizeF(390, 200));
    desktop.answer = 0; // no recogniser here: shared anyway
    editor->action(EditorAction::Share)->trigger();
    EXPECT_EQ(desktop.toastTexts.last(), QStringLiteral("Uploading…"));
    // The share says how it ended (not set up, or offline) before this desktop goes.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return desktop.toastTexts.last() != QStringLiteral("Uploading…") &&
                   !desktop.toastTexts.last().startsWith(QStringLiteral("Sharing"));
        },
        10000));

    int asked = 0;
    QObject::connect(editor.get(), &EditorWindowController::addImageRequested, [&] { ++asked; });
    editor->action(EditorAction::Add)->trigger();
    EXPECT_EQ(asked, 1);
}

TEST_F(EditorWindowTest, UndoFollowsTheCanvasAndCtrlWCloses)
{
    open(QSize(300, 200));
    QAction *undo = editor->action(EditorAction::Undo);
    EXPECT_FALSE(undo->isEnabled());
    editor->toolPicked(ToolKind::Rect);
    QWidget *canvas = editor->canvas();
    const QPoint a = editor->canvas()->toWidget(QPointF(50, 50)).toPoint();
    const QPoint b = editor->canvas()->toWidget(QPointF(150, 150)).toPoint();
    QTest::mousePress(canvas, Qt::LeftButton, {}, a);
    QTest::mouseMove(canvas, (a + b) / 2);
    QTest::mouseMove(canvas, b);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, b);
    EXPECT_EQ(editor->canvas()->annotations().size(), 1);
    EXPECT_TRUE(undo->isEnabled());
    QTest::keyClick(editor->window(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(editor->canvas()->annotations().isEmpty());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(editor->action(EditorAction::Redo)->isEnabled());
    QTest::keyClick(editor->window(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor->canvas()->annotations().size(), 1);

    QTest::keyClick(editor->window(), Qt::Key_Y, Qt::ControlModifier); // nothing left to redo
    EXPECT_EQ(editor->canvas()->annotations().size(), 1);
    QTest::keyClick(editor->window(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(editor->window(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(editor->canvas()->annotations().size(), 1);

    // With a mark drawn, Ctrl+W asks; Cancel keeps the editor, Discard closes it.
    int closed = 0;
    QObject::connect(editor.get(), &EditorWindowController::closed, [&] { ++closed; });
    QTest::keyClick(editor->window(), Qt::Key_W, Qt::ControlModifier);
    ASSERT_NE(editor->closeQuestion(), nullptr);
    EXPECT_EQ(closed, 0);
    QStringList buttons;
    for (QAbstractButton *b : editor->closeQuestion()->buttons())
        buttons.append(b->text().remove(QLatin1Char('&')));
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({"Cancel", "Copy and Close", "Discard", "Save…"}));
    editor->closeQuestion()->button(QMessageBox::Cancel)->click();
    drain();
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(editor->window()->isVisible());

    QApplication::setActiveWindow(editor->window()); // the question had the focus
    QTest::keyClick(editor->window(), Qt::Key_W, Qt::ControlModifier);
    ASSERT_NE(editor->closeQuestion(), nullptr);
    for (QAbstractButton *b : editor->closeQuestion()->buttons())
        if (editor->closeQuestion()->buttonRole(b) == QMessageBox::DestructiveRole)
            b->click();
    drain();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(editor->window()->isVisible());
}

TEST_F(EditorWindowTest, UndoneToTheOpeningStateClosesWithoutAskingAndCopyAndCloseCopies)
{
    open(QSize(300, 200));
    editor->toolPicked(ToolKind::Text);
    const QPoint at = editor->canvas()->toWidget(QPointF(50, 50)).toPoint();
    QTest::mouseClick(editor->canvas(), Qt::LeftButton, {}, at);
    ASSERT_NE(editor->canvas()->textField(), nullptr);
    QTest::keyClicks(editor->canvas()->textField(), "open field");
    // The open field's words count as work, and go into the export.
    EXPECT_TRUE(editor->hasUnsavedWork());
    EXPECT_EQ(editor->canvas()->annotations().size(), 1);
    editor->undo();
    EXPECT_FALSE(editor->hasUnsavedWork());
    int closed = 0;
    QObject::connect(editor.get(), &EditorWindowController::closed, [&] { ++closed; });
    editor->performClose();
    EXPECT_EQ(editor->closeQuestion(), nullptr);
    EXPECT_EQ(closed, 1);

    open(QSize(300, 200));
    editor->toolPicked(ToolKind::Rect);
    editor->canvas()->model().mouseDown({50, 50});
    editor->canvas()->model().mouseDragged({150, 150});
    editor->canvas()->model().mouseUp({150, 150});
    editor->performClose();
    ASSERT_NE(editor->closeQuestion(), nullptr);
    for (QAbstractButton *b : editor->closeQuestion()->buttons())
        if (editor->closeQuestion()->buttonRole(b) == QMessageBox::ActionRole)
            b->click();
    drain();
    EXPECT_FALSE(editor->window()->isVisible());
    const QImage copied = decodedClipboard(desktop);
    ASSERT_FALSE(copied.isNull());
    EXPECT_EQ(copied.pixelColor(50, 50),
              QColor(Annotation::defaultColor()).toRgb()); // the mark's ink
}

TEST_F(EditorWindowTest, APictureDraggedUpStaysUnderThePointerAndCtrlWheelZoomsAboutIt)
{
    open(QSize(600, 400));
    editor->canvas()->addImage(picture(QSize(200, 150), Qt::yellow));
    drain();
    const PlacedImageRef placed = editor->canvas()->extraImages().first();
    CenteringClipView *scroll = editor->scroll();
    AnnotationCanvas *canvas = editor->canvas();
    // An added picture is scrolled into view and announced.
    EXPECT_TRUE(scroll->visibleRect().contains(canvas->toWidget(placed->frame)));
    ASSERT_FALSE(desktop.toastTexts.isEmpty());
    EXPECT_EQ(desktop.toastTexts.last(), QStringLiteral("Picture added"));
    // A paste that adds nothing says why.
    const QMimeData words;
    EXPECT_FALSE(canvas->pasteImage(&words));
    EXPECT_EQ(desktop.toastTexts.last(), QStringLiteral("No picture on the clipboard"));
    // Where the picture's middle is in the viewport, and the pointer with it.
    auto inViewport = [&](QPointF canvasPoint) {
        return canvas->toWidget(canvasPoint) - scroll->visibleRect().topLeft();
    };
    QPointF pointer = inViewport(placed->frame.center());
    const QPointF grip = placed->frame.center() - placed->frame.topLeft();
    auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
        const QPointF pos = pointer + scroll->visibleRect().topLeft();
        QMouseEvent e(type, pos, canvas->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(canvas, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    for (int i = 0; i < 12; ++i) {
        pointer.ry() -= 25; // upwards, past the canvas's top
        send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
        EXPECT_NEAR(inViewport(placed->frame.topLeft() + grip).y(), pointer.y(), 1.5) << i;
    }
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_NEAR(inViewport(placed->frame.topLeft() + grip).y(), pointer.y(), 1.5);

    // Ctrl+wheel zooms, keeping the canvas point under the pointer.
    const QPointF at = inViewport(QPointF(200, 200));
    const qreal before = editor->magnification();
    const QPointF pos = at + scroll->visibleRect().topLeft();
    QWheelEvent wheel(pos, canvas->mapToGlobal(pos), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    EXPECT_DOUBLE_EQ(editor->magnification(), before * 1.25);
    EXPECT_NEAR(inViewport(QPointF(200, 200)).x(), at.x(), 1.5);
    EXPECT_NEAR(inViewport(QPointF(200, 200)).y(), at.y(), 1.5);
}

TEST_F(EditorWindowTest, AReusedWindowHoldsOnlyTheNewEditor)
{
    EditorWindowPool pool;
    auto first = std::make_unique<EditorWindowController>(
        picture(QSize(300, 200)), QList<AnnotationRef>{}, desktop.platform(), nullptr, &pool);
    first->showWindow();
    drain();
    QWidget *window = first->window();
    const qsizetype actions = window->actions().size();
    const qsizetype children = window->children().size();
    first->performClose();
    first.reset();
    drain();
    ASSERT_TRUE(pool.holdsWindow());
    EXPECT_FALSE(window->isVisible());

    auto second = std::make_unique<EditorWindowController>(picture(QSize(400, 300), Qt::red),
                                                           QList<AnnotationRef>{},
                                                           desktop.platform(), nullptr, &pool);
    second->showWindow();
    drain();
    EXPECT_EQ(second->window(), window);
    EXPECT_FALSE(pool.holdsWindow());
    // Nothing of the first editor is left: no second toolbar or canvas, no doubled shortcuts.
    EXPECT_EQ(window->actions().size(), actions);
    EXPECT_EQ(window->children().size(), children);
    EXPECT_EQ(window->findChildren<AnnotationCanvas *>().size(), 1);
    EXPECT_EQ(second->canvas()->baseImage().pixel(0, 0), QColor(Qt::red).rgb());

    // Ctrl+W closes the reused window's editor, and only that one.
    int closed = 0;
    QObject::connect(second.get(), &EditorWindowController::closed, [&] { ++closed; });
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(EditorWindowTest, FindingSecretsShowsABusyPointerAndEscapeStopsIt)
{
    open(QSize(300, 200));
    std::function<void(Result<QList<LayoutLine>>)> pending;
    int reads = 0;
    editor->setWordReader(
        [&](const QImage &, QObject *, std::function<void(Result<QList<LayoutLine>>)> done) {
            ++reads;
            pending = std::move(done);
        });
    QTest::keyClick(editor->canvas(), Qt::Key_X);
    ASSERT_TRUE(pending);
    ASSERT_TRUE(QGuiApplication::overrideCursor());
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    EXPECT_EQ(desktop.toastTexts.last(), "Looking for secrets… Escape stops.");
    QTest::keyClick(editor->canvas(), Qt::Key_X); // a second press starts no second search
    EXPECT_EQ(reads, 1);

    QTest::keyClick(editor->canvas(), Qt::Key_Escape);
    EXPECT_FALSE(editor->isFindingSecrets());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(desktop.toastTexts.last(), "Stopped looking for secrets");
    // Words that arrive after the stop cover nothing; the next search uses them.
    LayoutLine line;
    line.words = {{QRect(10, 20, 150, 16), "alice@example.com", 90}};
    std::exchange(pending, nullptr)(QList<LayoutLine>{line});
    drain();
    EXPECT_TRUE(editor->canvas()->model().annotations().isEmpty());
    QTest::keyClick(editor->canvas(), Qt::Key_X);
    drain();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(editor->canvas()->model().annotations().size(), 1);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(EditorWindowTest, RedactCoversWhatTheWordsShowInOneStepAndShareAsksAboutTheRest)
{
    open(QSize(300, 200));
    // The capture shows an address and an IP address on one line; placed pictures show nothing.
    int reads = 0;
    editor->setWordReader(
        [&](const QImage &picture, QObject *, std::function<void(Result<QList<LayoutLine>>)> done) {
            ++reads;
            LayoutLine line;
            if (picture.width() == 300)
                line.words = {{QRect(10, 20, 150, 16), "alice@example.com", 90},
                              {QRect(170, 20, 90, 16), "10.0.0.12", 90}};
            done(QList<LayoutLine>{line});
        });
    CanvasModel &model = editor->canvas()->model();
    QTest::keyClick(editor->canvas(), Qt::Key_X);
    drain();
    EXPECT_EQ(desktop.toastTexts.last(), "Redacted 2: 1 e-mail address, 1 IP address");
    ASSERT_EQ(model.annotations().size(), 2);
    EXPECT_EQ(model.annotations()[0]->kind, ToolKind::Redact);
    // Over the words with a margin.
    EXPECT_EQ(model.annotations()[0]->boundingRect(), QRectF(6, 16, 158, 24));
    EXPECT_EQ(model.undoStack()->count(), 1);

    // Pressed again, the words are not read again and nothing is covered twice.
    editor->action(EditorAction::Redact)->trigger();
    drain();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(model.annotations().size(), 2);
    EXPECT_EQ(desktop.toastTexts.last(), "No uncovered secrets found");
    editor->undo();
    EXPECT_TRUE(model.annotations().isEmpty()); // one step for the lot

    // Share with both open: asked; Cancel shares nothing.
    desktop.answer = 2;
    editor->action(EditorAction::Share)->trigger();
    drain();
    ASSERT_EQ(desktop.questions.size(), 1);
    EXPECT_EQ(desktop.questions[0].choices,
              QStringList({"Redact and Share", "Share Anyway", "Cancel"}));
    EXPECT_EQ(desktop.questions[0].cancelChoice, 2);
    EXPECT_EQ(desktop.questions[0].message,
              "The picture shows 1 e-mail address, 1 IP address that no redaction covers.");
    EXPECT_FALSE(desktop.toastTexts.contains("Uploading…"));
    EXPECT_TRUE(model.annotations().isEmpty());

    // With the address switched off in the preferences, only the IP address is asked about;
    // Redact and Share covers it and uploads.
    editor->redactionRules = [] {
        SecretRules rules;
        rules.off = {SecretKind::Email};
        return rules;
    };
    desktop.answer = 0;
    editor->action(EditorAction::Share)->trigger();
    drain();
    ASSERT_EQ(desktop.questions.size(), 2);
    EXPECT_EQ(desktop.questions[1].message,
              "The picture shows 1 IP address that no redaction covers.");
    ASSERT_EQ(model.annotations().size(), 1);
    EXPECT_TRUE(desktop.toastTexts.contains("Uploading…"));

    // Covered (or outside the crop), nothing is asked.
    editor->redactionRules = nullptr;
    model.setCrop(QRectF(165, 0, 135, 200)); // the right part: only the IP address
    editor->action(EditorAction::Share)->trigger();
    drain();
    EXPECT_EQ(desktop.questions.size(), 2);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !desktop.toastTexts.last().startsWith(QStringLiteral("Uploading")) &&
                   !desktop.toastTexts.last().startsWith(QStringLiteral("Sharing"));
        },
        10000));
}

TEST_F(EditorWindowTest, RedactWithoutRecognitionSaysSo)
{
    open(QSize(100, 80));
    editor->redactSecrets();
    drain();
    EXPECT_TRUE(editor->canvas()->model().annotations().isEmpty());
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_TRUE(desktop.warnings[0].second.contains("Text recognition is not available"));
}

TEST_F(EditorWindowTest, ShareAsksBeforeUploadingAPictureThatCouldNotBeChecked)
{
    open(QSize(100, 80));
    // Without a recogniser: asked, naming the cause; nothing goes up while the question is open,
    // and Cancel uploads nothing.
    editor->action(EditorAction::Share)->trigger();
    drain();
    ASSERT_EQ(desktop.questions.size(), 1);
    EXPECT_EQ(desktop.questions[0].choices, QStringList({"Share Anyway", "Cancel"}));
    EXPECT_EQ(desktop.questions[0].cancelChoice, 1);
    EXPECT_EQ(desktop.questions[0].defaultChoice, 1);
    EXPECT_EQ(desktop.questions[0].message,
              "The picture could not be checked for secrets. Text recognition is not available.");
    EXPECT_FALSE(desktop.toastTexts.contains("Uploading…"));
    ASSERT_TRUE(desktop.pendingAnswer);
    std::exchange(desktop.pendingAnswer, nullptr)(1);
    drain();
    EXPECT_FALSE(desktop.toastTexts.contains("Uploading…"));

    // A recogniser that fails: asked again with its reason; Share Anyway uploads.
    int reads = 0;
    editor->setWordReader(
        [&](const QImage &, QObject *, std::function<void(Result<QList<LayoutLine>>)> done) {
            ++reads;
            done(CaptureError::failed(QStringLiteral("The recogniser crashed.")));
        });
    editor->action(EditorAction::Share)->trigger();
    drain();
    EXPECT_EQ(reads, 1);
    ASSERT_EQ(desktop.questions.size(), 2);
    EXPECT_TRUE(
        desktop.questions[1].message.startsWith("The picture could not be checked for secrets."));
    EXPECT_TRUE(desktop.questions[1].message.contains("The recogniser crashed."));
    EXPECT_FALSE(desktop.toastTexts.contains("Uploading…"));
    ASSERT_TRUE(desktop.pendingAnswer);
    std::exchange(desktop.pendingAnswer, nullptr)(0);
    EXPECT_TRUE(desktop.toastTexts.contains("Uploading…"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !desktop.toastTexts.last().startsWith(QStringLiteral("Uploading")) &&
                   !desktop.toastTexts.last().startsWith(QStringLiteral("Sharing"));
        },
        10000));
}

TEST_F(EditorWindowTest, AnEditablePngKeepsOnlyTheFillUnderARedactionAndEveryOtherMarkEditable)
{
    const QColor fill = Annotation::redactionColor();
    open(QSize(200, 100), {Annotation::make(ToolKind::Redact, {20, 80}, {80, 40}, fill, 1),
                           Annotation::make(ToolKind::Rect, {120, 90}, {180, 60}, Qt::red, 4)});
    const QColor secret = editor->image().pixelColor(50, 60);
    ASSERT_NE(secret, fill);
    QTemporaryDir dir;
    desktop.saveAnswer = dir.filePath("work.png");
    editor->formatMenu(ExportMode::Save)->actions()[3]->trigger(); // Editable PNG
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.filePath("work.png")); }, 5000));
    // The open editor still holds the pixels: taking the redaction away shows them.
    EXPECT_EQ(editor->image().pixelColor(50, 60), secret);

    const EditablePng::Read read = EditablePng::readFile(dir.filePath("work.png"));
    ASSERT_TRUE(read.scene) << read.problem.toStdString();
    editor = std::make_unique<EditorWindowController>(read.scene->image, read.scene->marks,
                                                      desktop.platform());
    editor->showWindow();
    editor->restoreScene(*read.scene);
    drain();
    EXPECT_EQ(desktop.toastTexts.last(), "The pixels under the redactions are gone");
    CanvasModel &model = editor->canvas()->model();
    ASSERT_EQ(model.annotations().size(), 2);

    // The box moves as before.
    model.mouseDown({120, 75});
    model.mouseDragged({130, 65});
    model.mouseUp({130, 65});
    EXPECT_EQ(model.annotations()[1]->boundingRect(), QRectF(130, 50, 60, 30));

    // The redaction taken away: its fill, not the secret, lies beneath.
    model.mouseDown({50, 60});
    model.mouseUp({50, 60});
    model.deleteSelected();
    ASSERT_EQ(model.annotations().size(), 1);
    EXPECT_EQ(model.annotations()[0]->kind, ToolKind::Rect);
    EXPECT_EQ(editor->canvas()->renderComposite(true).pixelColor(50, 60), fill);
}

TEST_F(EditorWindowTest, APictureInSharedMemoryIsLetGoWholly)
{
    // A grab's picture lies in a segment the next grab wants back: once the editor keeps its
    // own pixels, neither the window nor the canvas may still look at the segment.
    const QImage grab = picture(QSize(300, 200));
    editor =
        std::make_unique<EditorWindowController>(grab, QList<AnnotationRef>{}, desktop.platform());
    editor->showWindow();
    drain();
    ASSERT_EQ(editor->canvas()->baseImage().constBits(), grab.constBits());
    editor->keepOwnPixels();
    EXPECT_NE(editor->image().constBits(), grab.constBits());
    EXPECT_NE(editor->canvas()->baseImage().constBits(), grab.constBits());
    EXPECT_EQ(editor->canvas()->baseImage(), grab);
    EXPECT_EQ(editor->image(), grab);
}
