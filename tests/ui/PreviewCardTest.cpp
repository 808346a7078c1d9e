#include "FakeDesktop.h"
#include "TestSupport.h"
#include "model/AnnotationRenderer.h"
#include "model/CanvasModel.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/PreviewCardController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;
using vistrel::test::pattern;
using Handle = PreviewCard::Handle;

TEST(PreviewCard, GeometryFollowsTheVisibleFrameAndBackingScale)
{
    auto g = CardGeometry::forImage({400, 300}, {1440, 900}, 2.0);
    EXPECT_DOUBLE_EQ(g.displayScale, 0.5);
    EXPECT_EQ(g.content, QSizeF(360, 268)); // width raised to 360, the tools on a row of their own
    g = CardGeometry::forImage({10000, 100}, {1440, 900}, 2.0);
    EXPECT_DOUBLE_EQ(g.displayScale, 0.1008);
    g = CardGeometry::forImage({100000, 100}, {1440, 900}, 2.0);
    EXPECT_DOUBLE_EQ(g.displayScale, 0.1);
    // A long scrolling capture keeps the width-fitting scale and scrolls; the card still fits.
    g = CardGeometry::forImage({600, 30000}, {1440, 900}, 2.0);
    EXPECT_DOUBLE_EQ(g.imageHeight, 15000);
    EXPECT_EQ(g.content, QSizeF(360, 900 - 40));
    // Not tall enough for that: shown whole, as before.
    g = CardGeometry::forImage({1600, 1300}, {1440, 900}, 1.0);
    EXPECT_DOUBLE_EQ(g.displayScale, 900 * 0.62 / 1300);
    EXPECT_DOUBLE_EQ(g.viewHeight, g.imageHeight);
}

TEST(PreviewCard, CropHandlesClampAndKeepTwentyPixels)
{
    PreviewCard m({300, 200}, 0.5);
    m.setCropRect({100, 90, 40, 60});
    m.adjustCrop(Handle::Left, {50, 0}); // past the right edge: 20 wide, right edge moves on
    EXPECT_EQ(m.cropRect(), QRectF(150, 90, 20, 60));
    m.adjustCrop(Handle::Move, {500, 0});
    EXPECT_EQ(m.cropRect(), QRectF(280, 90, 20, 60)); // stops at the border, no shrinking
    // A corner dragged far beyond the image stops at its edges; the opposite edges stay.
    m.adjustCrop(Handle::BL, {-400, 300});
    EXPECT_EQ(m.cropRect(), QRectF(0, 90, 300, 110));
    m.adjustCrop(Handle::None, {5, 5});
    EXPECT_EQ(m.cropRect(), QRectF(0, 90, 300, 110));
    // So does the opposite corner, never pushing the crop out past the left or bottom.
    m.adjustCrop(Handle::TR, {500, -500});
    EXPECT_EQ(m.cropRect(), QRectF(0, 0, 300, 200));
    m.setCropRect({100, 50, 40, 60});
    m.adjustCrop(Handle::Right, {500, 0});
    EXPECT_EQ(m.cropRect(), QRectF(100, 50, 200, 60));

    // An image lower than 20 pixels: the minimum holds and the crop reaches past the image.
    PreviewCard thin({300, 12}, 1);
    thin.adjustCrop(Handle::Top, {0, 30});
    EXPECT_EQ(thin.cropRect(), QRectF(0, -8, 300, 20));
}

TEST(PreviewCard, HitTestOrderAndDragsOutsideTheCrop)
{
    PreviewCard m({300, 200}, 0.5);
    m.setCropRect({100, 80, 20, 20});             // 10 × 10 points on screen
    EXPECT_EQ(m.hitHandle({52, 49}), Handle::BL); // within reach of several: first wins
    EXPECT_EQ(m.hitHandle({56, 42}), Handle::BR); // before the nearer top-right corner
    m.setCropRect({0, 0, 300, 200});
    EXPECT_EQ(m.hitHandle({75, 50}), Handle::Move);
    m.setCropRect({100, 50, 100, 50});
    EXPECT_EQ(m.hitHandle({10, 10}), Handle::None);
    m.mouseDown({10, 10});
    EXPECT_TRUE(m.mouseDragged({40, 5})); // the read-out is still told the size
    EXPECT_EQ(m.cropRect(), QRectF(100, 50, 100, 50));
    m.mouseUp();
    EXPECT_EQ(m.activeHandle(), Handle::None);
}

TEST(PreviewCard, MarksKeepOnlyWhatWasDrawn)
{
    PreviewCard m({300, 200}, 1);
    m.mode = PreviewCard::Mode::Mark;
    m.mouseDown({10, 10});
    m.mouseUp();
    EXPECT_TRUE(m.annotations().isEmpty()); // a click with the arrow draws nothing
    m.markerTool = ToolKind::Pen;
    m.mouseDown({10, 10});
    m.mouseUp();
    ASSERT_EQ(m.annotations().size(), 1);
    EXPECT_EQ(m.annotations()[0]->points.size(), 1);
    m.markerTool = ToolKind::Highlight;
    m.mouseDown({10, 10});
    m.mouseDragged({12, 20}); // 2 wide, 10 high: kept
    m.mouseUp();
    EXPECT_EQ(m.annotations().size(), 2);
    // A text mark takes the keys typed after it, until the next click.
    m.markerTool = ToolKind::Text;
    m.mouseDown({50, 50});
    m.mouseUp();
    m.typeText("Hi!");
    m.backspace();
    EXPECT_EQ(m.annotations().last()->text, "Hi");
    m.mouseDown({90, 90});
    m.typeText("x");
    EXPECT_EQ(m.annotations()[2]->text, "Hi");
    // The editor's rule: a click keeps a step badge as it keeps a pen dot.
    m.markerTool = ToolKind::Step;
    m.mouseDown({120, 120});
    m.mouseUp();
    EXPECT_EQ(m.annotations().size(), 4);
    EXPECT_EQ(PreviewCard::sizeText({2880, 1800}), "2880 × 1800 px");
    EXPECT_EQ(PreviewCard::sizeText({1000.4, 500.6}), "1000 × 501 px");
}

class PreviewCardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        image = pattern(400, 300);
        card = std::make_unique<PreviewCardController>(image, desktop.platform(),
                                                       QRectF(0, 0, 1440, 900), 1.0);
        QObject::connect(card.get(), &PreviewCardController::closed, [this] { ++closes; });
        card->showWindow();
    }
    void TearDown() override
    {
        card.reset();
        drain();
    }

    FakeDesktop desktop;
    QImage image;
    std::unique_ptr<PreviewCardController> card;
    int closes = 0;
};

TEST_F(PreviewCardTest, EditHandsTheCropAndMovesTheMarksIntoIt)
{
    PreviewCard &m = card->canvas()->model();
    card->setMode(PreviewCard::Mode::Mark);
    EXPECT_TRUE(card->toolsBar()->isVisibleTo(card->window()));
    m.mouseDown(QPointF(150, 220) * m.displayScale());
    m.mouseDragged(QPointF(190, 180) * m.displayScale());
    m.mouseUp();
    m.setCropRect({100, 100, 200, 150});
    QImage edited;
    QList<AnnotationRef> marks;
    QObject::connect(card.get(), &PreviewCardController::editRequested,
                     [&](const QImage &img, const QList<AnnotationRef> &list) {
                         edited = img;
                         marks = list;
                     });
    card->button(PreviewButton::Edit)->click();
    ASSERT_EQ(marks.size(), 1);
    EXPECT_EQ(marks[0]->start, QPointF(50, 120));
    EXPECT_EQ(m.annotations()[0]->start, QPointF(150, 220)); // the card's own mark is untouched
    // The unmarked picture, cut to the crop.
    EXPECT_EQ(edited, image.copy(100, 100, 200, 150));
    EXPECT_EQ(closes, 1);
}

TEST_F(PreviewCardTest, CopyTakesTheMarkedCropAndTheBadgeFollowsTheCrop)
{
    EXPECT_EQ(card->dimBadge()->text(), "400 × 300 px");
    PreviewCardCanvas *canvas = card->canvas();
    const double s = canvas->model().displayScale();
    // Drag the right handle 100 pixels to the left, on the widget.
    const QPoint handle(qRound(400 * s), qRound(150 * s));
    const QPoint to = handle - QPoint(qRound(100 * s), 0);
    QTest::mousePress(canvas, Qt::LeftButton, {}, handle);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), canvas->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
    EXPECT_EQ(card->dimBadge()->text(), "300 × 300 px");

    card->setMode(PreviewCard::Mode::Mark);
    card->pickTool(ToolKind::Pen);
    EXPECT_TRUE(card->toolButton(ToolKind::Pen)->isChecked());
    EXPECT_FALSE(card->toolButton(ToolKind::Arrow)->isChecked());
    canvas->model().mouseDown(QPointF(20, 280) * s);
    canvas->model().mouseDragged(QPointF(60, 280) * s);
    canvas->model().mouseUp();
    const QImage expected = *canvas->renderComposite(QRect(0, 0, 400, 300));
    card->button(PreviewButton::Copy)->click();
    ASSERT_EQ(desktop.clipboardFormats.size(), 1);
    QImage copied;
    copied.loadFromData(desktop.clipboardFormats[0].second, "PNG");
    EXPECT_EQ(copied.size(), QSize(300, 300));
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
              expected.copy(0, 0, 300, 300).convertToFormat(QImage::Format_RGB32));
    EXPECT_NE(copied.pixel(40, 280), image.pixel(40, 280)); // the pen stroke is in it
    EXPECT_EQ(desktop.toastTexts, QStringList{"Copied to clipboard"});
    EXPECT_EQ(closes, 1);
}

TEST_F(PreviewCardTest, SaveWritesByExtensionAndCancelKeepsTheCard)
{
    card->button(PreviewButton::Save)->click(); // the fake answers with an empty path: cancelled
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    EXPECT_TRUE(desktop.saveRequests[0].suggestedName.startsWith("Vistrel "));
    EXPECT_TRUE(desktop.saveRequests[0].suggestedName.endsWith(".png"));
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(card->window()->isVisible());

    QTemporaryDir dir;
    desktop.saveAnswer = dir.filePath("shot.JPEG");
    card->button(PreviewButton::Save)->click();
    EXPECT_EQ(closes, 1);
    for (int i = 0; i < 200 && !QFile::exists(desktop.saveAnswer); ++i)
        drain(1);
    QImage saved(desktop.saveAnswer, "JPEG");
    EXPECT_EQ(saved.size(), QSize(400, 300));
}

TEST_F(PreviewCardTest, SaveFollowsThePreferences)
{
    QTemporaryDir dir;
    SaveSettings settings;
    settings.folder = dir.filePath("shots");
    card->saveSettings = [&] { return settings; };

    // Asking: every type offered, from the save folder (the nearest one there while it is not).
    card->button(PreviewButton::Save)->click(); // cancelled
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    EXPECT_EQ(desktop.saveRequests[0].folder, QDir(dir.path()).absolutePath());
    EXPECT_EQ(desktop.saveRequests[0].nameFilters.size(), 3);
    EXPECT_EQ(closes, 0);

    // Without asking: a new file in the folder, no dialog, and the card is done.
    settings.withoutAsking = true;
    card->button(PreviewButton::Save)->click();
    EXPECT_EQ(desktop.saveRequests.size(), 1);
    EXPECT_EQ(closes, 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QDir(settings.folder).entryList(QDir::Files).size() == 1; }, 5000));
    const QString written = QDir(settings.folder).entryList(QDir::Files).first();
    EXPECT_TRUE(written.startsWith("Vistrel ") && written.endsWith(".png"));
    EXPECT_EQ(QImage(QDir(settings.folder).filePath(written)).size(), QSize(400, 300));
}

TEST_F(PreviewCardTest, EscapeInMarkModeClosesWithoutCopying)
{
    card->setMode(PreviewCard::Mode::Mark);
    QTest::keyClick(card->window(), Qt::Key_Escape);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(card->window()->isVisible());
    EXPECT_EQ(desktop.clipboardWrites, 0);
}

TEST(PreviewCard, ToolsBarClearsTheActionsAtAnyWidth)
{
    FakeDesktop desktop;
    for (int w : {100, 500, 1600}) { // the narrowest card, a wrapped bar, one row
        PreviewCardController card(pattern(w, 30), desktop.platform(), {0, 0, 1440, 900}, 1.0);
        QWidget *window = card.window();
        auto inCard = [window](QWidget *x) { return QRect(x->mapTo(window, QPoint()), x->size()); };
        const QRect tools = inCard(card.toolsBar());
        EXPECT_TRUE(window->rect().contains(tools)) << w;
        EXPECT_GE(tools.width(), card.toolsBar()->sizeHint().width()) << w;
        for (PreviewButton id : {PreviewButton::Edit, PreviewButton::Copy, PreviewButton::Save,
                                 PreviewButton::Pin, PreviewButton::Close}) {
            EXPECT_FALSE(tools.intersects(inCard(card.button(id)))) << w << int(id);
            EXPECT_FALSE(card.button(id)->icon().isNull()) << int(id);
        }
        // The marker tools, left to right in their card order, and no others.
        const QList<ToolKind> offered{ToolKind::Arrow, ToolKind::Pen, ToolKind::Highlight,
                                      ToolKind::Blur, ToolKind::Text};
        int left = -1;
        for (ToolKind kind : allToolKinds()) {
            QToolButton *b = card.toolButton(kind);
            ASSERT_EQ(b != nullptr, offered.contains(kind)) << toolKindName(kind).toStdString();
            EXPECT_TRUE(!b || b->toolTip() == tooltip(kind));
        }
        for (ToolKind kind : offered) {
            const int at = card.toolsBar()->layout()->indexOf(card.toolButton(kind));
            EXPECT_GT(at, left) << toolKindName(kind).toStdString();
            left = at;
        }
    }
}

TEST(PreviewCard, LongerTitlesGrowWhereTheRowHasRoomAndOtherwiseLeaveTheIcons)
{
    const test::LongerTexts longer({QStringLiteral("vistrel::PreviewCardController")});
    FakeDesktop desktop;
    for (int w : {100, 1600}) { // the narrowest card, a card with room beside the tools
        PreviewCardController card(pattern(w, 30), desktop.platform(), {0, 0, 1440, 900}, 1.0);
        QWidget *window = card.window();
        auto inCard = [window](QWidget *x) { return QRect(x->mapTo(window, QPoint()), x->size()); };
        const QRect tools = inCard(card.toolsBar());
        QList<QRect> taken;
        const std::pair<PreviewButton, const char *> buttons[] = {{PreviewButton::Edit, "Edit"},
                                                                  {PreviewButton::Copy, "Copy"},
                                                                  {PreviewButton::Save, "Save"},
                                                                  {PreviewButton::Pin, "Pin"},
                                                                  {PreviewButton::Close, "Close"}};
        for (const auto &[id, title] : buttons) {
            QAbstractButton *b = card.button(id);
            ASSERT_TRUE(b) << title;
            const QString shown = QString::fromLatin1(title) + "wwwwww";
            EXPECT_EQ(b->text(), w == 100 ? QString() : shown) << w << title;
            EXPECT_EQ(b->toolTip(), shown) << w << title;
            EXPECT_EQ(b->accessibleName(), shown) << w << title;
            if (w != 100) {
                EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(shown)) << title;
            }
            const QRect r = inCard(b);
            EXPECT_TRUE(window->rect().contains(r)) << w << title;
            EXPECT_FALSE(tools.intersects(r)) << w << title;
            for (const QRect &other : taken)
                EXPECT_FALSE(other.intersects(r)) << w << title;
            taken.append(r);
        }
    }
}

TEST(PreviewCard, TallPictureFitsItsWidthAndScrolls)
{
    FakeDesktop desktop;
    QImage tall(1600, 20000, QImage::Format_ARGB32_Premultiplied);
    tall.fill(Qt::white);
    PreviewCardController card(tall, desktop.platform(), {0, 0, 1440, 900}, 1.0);
    card.showWindow();
    drain();
    EXPECT_EQ(card.canvas()->size(), QSize(1008, 12600)); // 70% of the frame's width
    auto *scroll = qobject_cast<QScrollArea *>(card.canvas()->parentWidget()->parentWidget());
    ASSERT_TRUE(scroll);
    EXPECT_GE(scroll->viewport()->width(), 1008); // no column under the scroll bar
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 12600 - scroll->viewport()->height());
}

TEST_F(PreviewCardTest, MarkModeShowsTheCropWithoutHandles)
{
    PreviewCardCanvas *canvas = card->canvas();
    canvas->model().setCropRect({100, 100, 200, 150}); // at scale 1: rows 100 to 250
    const QImage adjust = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    card->setMode(PreviewCard::Mode::Mark);
    const QImage mark = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage plain = image.convertToFormat(QImage::Format_RGB32);
    for (QPoint p : {QPoint(10, 10), QPoint(100, 130)}) { // dimmed outside, the frame
        EXPECT_NE(adjust.pixel(p), plain.pixel(p));
        EXPECT_EQ(mark.pixel(p), adjust.pixel(p));
    }
    EXPECT_NE(adjust.pixel(103, 175), plain.pixel(103, 175)); // the left handle, Adjust only
    EXPECT_EQ(mark.pixel(103, 175), plain.pixel(103, 175));
}

TEST(PreviewCard, BlurIsMadeOnlyUnderItsMarksAndLooksAsAWholePixelatedCopy)
{
    FakeDesktop desktop;
    const QImage tall = pattern(300, 3000);
    PreviewCardController card(tall, desktop.platform(), {0, 0, 1440, 900}, 1.0);
    card.showWindow();
    drain();
    PreviewCardCanvas *canvas = card.canvas();
    canvas->grab(); // painted: nothing pixelated without a blur mark
    EXPECT_EQ(canvas->pixelated().bytes(), 0);

    // Marks in image pixels: a blur near the top, one across the bottom edge, a pen stroke
    // through the first.
    PreviewCard &m = canvas->model();
    const double s = m.displayScale();
    card.setMode(PreviewCard::Mode::Mark);
    auto drag = [&](ToolKind tool, QPointF from, QPointF to) {
        card.pickTool(tool);
        m.mouseDown(from * s);
        m.mouseDragged(to * s);
        m.mouseUp();
    };
    drag(ToolKind::Blur, {30.5, 99.8}, {170.7, 150});
    drag(ToolKind::Blur, {200, 2960}, {320, 3030});
    drag(ToolKind::Pen, {10, 130}, {250, 120});
    ASSERT_EQ(m.annotations().size(), 3);
    canvas->grab();
    EXPECT_GT(canvas->pixelated().bytes(), 0);
    EXPECT_LT(canvas->pixelated().bytes(), tall.sizeInBytes() / 10);

    // What the whole picture with a whole pixelated copy gives, cut where the card cuts.
    QImage whole = tall.copy();
    const QImage pixelated = pixelate(tall);
    {
        QPainter p(&whole);
        for (const AnnotationRef &a : m.annotations())
            AnnotationRenderer::draw(p, *a, &pixelated, QPointF(0, 0));
    }
    for (const QRect &crop :
         {QRect(0, 0, 300, 3000), QRect(17, 60, 200, 123), QRect(150, 2900, 150, 100)}) {
        const auto composite = canvas->renderComposite(crop);
        ASSERT_TRUE(composite);
        EXPECT_EQ(*composite, whole.copy(crop)) << "crop at " << crop.x() << "," << crop.y();
    }
    EXPECT_LT(canvas->pixelated().bytes(), tall.sizeInBytes() / 10);
}
