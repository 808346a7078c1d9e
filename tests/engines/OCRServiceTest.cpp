#include "engines/OCRService.h"
#include "FakeDesktop.h"
#include "ScreenCorpus.h"
#include "TestSupport.h"
#include "TextCorpus.h"
#include "engines/OCRLayout.h"
#include "engines/TesseractEngine.h"

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
    return {QRectF(cx - 0.05, cy - 0.01, 0.1, 0.02),
            text ? std::optional<QString>(text) : std::nullopt};
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
    // Boxes 0.02 high: 0.005 apart is one line, by x; 0.025 apart, the higher first.
    auto same = OCRService::sorted({obs(0.7, 0.500, "right"), obs(0.2, 0.505, "left")});
    EXPECT_EQ(OCRService::joined(same), "left\nright");
    auto apart = OCRService::sorted({obs(0.2, 0.500, "lower"), obs(0.7, 0.525, "upper")});
    EXPECT_EQ(OCRService::joined(apart), "upper\nlower");
    // Stable for equal keys.
    auto tie = OCRService::sorted({obs(0.5, 0.5, "a"), obs(0.5, 0.5, "b"), obs(0.5, 0.5, "c")});
    EXPECT_EQ(OCRService::joined(tie), "a\nb\nc");
    // A tall picture: lines 1.5 % of its height apart stay in order, whatever their x (a
    // fixed 2 % of the height once merged them and sorted them by x).
    QList<TextObservation> lines;
    QStringList truth;
    for (int i = 0; i < 60; ++i) {
        const double cy = 0.99 - i * 0.015;
        lines.append({QRectF((i % 3) * 0.2, cy - 0.006, 0.3, 0.012), QString::number(i)});
        truth << QString::number(i);
    }
    std::reverse(lines.begin(), lines.end());
    EXPECT_EQ(OCRService::joined(OCRService::sorted(lines)), truth.join('\n'));
}

TEST(OCRService, ObservationsWithoutACandidateAddNothing)
{
    EXPECT_EQ(
        OCRService::joined({obs(0.1, 0.9, "one"), obs(0.1, 0.5, nullptr), obs(0.1, 0.1, "two")}),
        "one\ntwo");
    EXPECT_EQ(OCRService::joined({}), "");
}

TEST(OCRService, NoTextIsAnEmptyStringNotAnError)
{
    OCRService ocr;
    const auto text = ocr.recognizeTextNow(blank());
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "");
    EXPECT_TRUE(ocr.recognizeTextNow(QImage()).ok());
}

TEST(OCRService, ReadsScreenshotTextOnLightAndDarkThemes)
{
    OCRService ocr;
    const QStringList rows = {"Settings Account Privacy", "Downloads 12.4 MB of 3:05 remaining",
                              "Quarterly report (draft) Invoice March"};
    for (bool dark : {false, true})
        for (int px : {10, 13, 16}) {
            const CorpusImage c = renderRows(rows, "DejaVu Sans", px, dark, QSize(520, 160));
            const auto text = ocr.recognizeTextNow(c.image);
            ASSERT_TRUE(text);
            EXPECT_GE(characterAccuracy(*text, c.truth), 0.98)
                << c.name.toStdString() << ": " << text->toStdString();
        }
}

TEST(OCRService, BoxesAreNormalisedWithTheOriginAtTheTopLeft)
{
    OCRService ocr;
    const CorpusImage c =
        renderRows({"Hello from the top line"}, "DejaVu Sans", 16, false, QSize(600, 300));
    const QRect truth = c.lineRects.first();
    const QRectF expected(truth.x() / 600.0, truth.y() / 300.0, truth.width() / 600.0,
                          truth.height() / 300.0);
    auto check = [&](const QRectF &box) {
        EXPECT_NEAR(box.center().x(), expected.center().x(), 0.02);
        EXPECT_NEAR(box.center().y(), expected.center().y(), 0.02);
        EXPECT_NEAR(box.width(), expected.width(), 0.04);
        EXPECT_LT(box.center().y(), 0.2); // near the top
    };
    const auto observed = ocr.observe(c.image);
    ASSERT_TRUE(observed);
    ASSERT_EQ(observed->size(), 1);
    check(observed->first().boundingBox);
    EXPECT_EQ(observed->first().topCandidate, "Hello from the top line");

    const auto boxes = ocr.detectTextBoxesNow(c.image);
    ASSERT_EQ(boxes.size(), 1);
    check(boxes.first());
}

TEST(OCRService, ErrorsGoToTheCallerOnceAndOnItsThread)
{
    OCRService ocr;
    QObject context;
    QList<Result<QString>> answers;
    ocr.recognizeText(blank(), {"xx-no-such-model"}, &context,
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
        ocr.recognizeText(blank(), {}, &gone, [&](Result<QString>) { ++late; });
    }
    ocr.finishRecognitions();
    drain();
    EXPECT_EQ(late, 0);
}

TEST(TextBoxes, EmptyOnFailureAndResumesOnce)
{
    OCRService ocr;
    EXPECT_TRUE(ocr.detectTextBoxesNow(QImage()).isEmpty());
    EXPECT_TRUE(ocr.detectTextBoxesNow(blank()).isEmpty());
    QObject context;
    int calls = 0;
    QList<QRectF> got{QRectF(1, 1, 1, 1)};
    ocr.detectTextBoxes(QImage(), &context, [&](QList<QRectF> boxes) {
        ++calls;
        got = boxes;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
    drain();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(got.isEmpty());
}

TEST(TextBoxes, MoreDetectionsThanCoresAllFinish)
{
    OCRService ocr;
    // Each big picture is read in bands on the shared pool; the waiting detections must not
    // take the threads their bands need.
    QObject context;
    int finished = 0;
    const int count = std::max(2, QThreadPool::globalInstance()->maxThreadCount()) + 1;
    for (int i = 0; i < count; ++i) {
        QImage big(2000, 1000, QImage::Format_RGB32);
        big.fill(Qt::white);
        ocr.detectTextBoxes(big, &context, [&](QList<QRectF>) { ++finished; });
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished == count; }, 60000));
}

TEST(OCRService, TilesCutOnlyBetweenLinesAndThroughWideGaps)
{
    QImage grey(400, 100, QImage::Format_Grayscale8);
    grey.fill(255);
    QPainter p(&grey);
    p.fillRect(10, 40, 150, 20, Qt::black); // a line, with a word gap at 160..170
    p.fillRect(170, 40, 60, 20, Qt::black);
    p.fillRect(300, 10, 80, 80, Qt::black); // a column beyond a wide gap
    p.end();
    const auto parts = OCRService::tiles(grey, 1000, 24);
    ASSERT_GE(parts.size(), 2);
    int covered = 0;
    for (const QRect &r : parts) {
        covered += r.width() * r.height();
        EXPECT_FALSE(r.left() > 10 && r.left() <= 230 && r.top() <= 40 && r.bottom() >= 59)
            << "cut through the line at x " << r.left();
    }
    EXPECT_EQ(covered, 400 * 100); // the tiles cover the picture once
    EXPECT_EQ(OCRService::tiles(grey, 1'000'000, 24).size(), 1);
}

namespace {

LayoutLine piece(int x, int y, const QStringList &words, int panel = 0, int h = 14)
{
    LayoutLine l;
    for (const QString &w : words) {
        const QRect box(x, y, 8 * int(w.size()), h);
        l.words.append({box, w});
        l.box = l.box.isNull() ? box : l.box.united(box);
        x += box.width() + 5;
    }
    l.panel = panel;
    return l;
}

QImage white(QSize size = {1000, 800})
{
    QImage g(size, QImage::Format_Grayscale8);
    g.fill(255);
    return g;
}

} // namespace

TEST(OCRLayout, SideBySideColumnsAreReadOneAfterTheOther)
{
    // Two windows with rows at the same heights, and a paragraph of 40 lines on the left.
    QList<LayoutLine> lines;
    QStringList left, right;
    for (int i = 0; i < 40; ++i) {
        lines.append(piece(10, 10 + i * 18, {"left", QString::number(i)}, 1));
        left << QStringLiteral("left %1").arg(i);
        if (i < 10) {
            lines.append(piece(520, 10 + i * 18, {"right", QString::number(i)}, 2));
            right << QStringLiteral("right %1").arg(i);
        }
    }
    std::reverse(lines.begin(), lines.end());
    EXPECT_EQ(OCRLayout::text(OCRLayout::readingOrder(lines)), (left + right).join('\n'));

    // A title across both columns comes first; a bottom line across both, last.
    lines.append(piece(10, 0, {"Title"}, 0, 8));
    lines.append(piece(300, 800, {"Status", "bar"}, 0));
    const QString text = OCRLayout::text(OCRLayout::readingOrder(lines));
    EXPECT_TRUE(text.startsWith("Title\nleft 0\nleft 1\n"));
    EXPECT_TRUE(text.endsWith("right 9\nStatus bar"));
}

TEST(OCRLayout, CellsOfARowJoinOnlyOverPlainBackground)
{
    QImage grey = white();
    // A table row far apart, and one whose cells a rule divides.
    const QList<LayoutLine> row = {piece(10, 100, {"Report.pdf"}), piece(400, 100, {"52", "kB"}),
                                   piece(700, 101, {"PDF", "document"})};
    const auto joined = OCRLayout::joinRows(row, grey);
    ASSERT_EQ(joined.size(), 1);
    EXPECT_EQ(joined.first().words.size(), 5);

    QPainter p(&grey);
    p.fillRect(300, 90, 2, 40, Qt::black);
    p.end();
    EXPECT_EQ(OCRLayout::joinRows(row, grey).size(), 2);
    // Different panels (two windows) never share a row, however close.
    EXPECT_EQ(
        OCRLayout::joinRows({piece(10, 100, {"left"}, 1), piece(60, 100, {"right"}, 2)}, white())
            .size(),
        2);
    // Long lines of two columns of prose stay apart; near pieces of one row join.
    EXPECT_EQ(OCRLayout::joinRows({piece(10, 100, {"a", "line", "of", "prose"}),
                                   piece(400, 100, {"another", "line", "of", "prose"})},
                                  white())
                  .size(),
              2);
    EXPECT_EQ(OCRLayout::joinRows(
                  {piece(10, 100, {"a", "line", "of", "prose"}), piece(150, 100, {"and", "more"})},
                  white())
                  .size(),
              1);
}

TEST(OCRLayout, PiecesJoinOnlyWhenTheyShareMostOfTheirRow)
{
    auto joins = [](int y, int h, int y2, int h2) {
        return OCRLayout::joinRows({piece(10, y, {"left"}, 0, h), piece(60, y2, {"right"}, 0, h2)},
                                   white())
                   .size() == 1;
    };
    // Pieces of one size: a few pixels off is one row, half a line off is the next one
    // (overlapping by half, less than six tenths).
    EXPECT_TRUE(joins(100, 14, 100, 14));
    EXPECT_TRUE(joins(100, 14, 106, 14));
    EXPECT_FALSE(joins(100, 14, 107, 14));
    EXPECT_FALSE(joins(100, 20, 91, 20));
    EXPECT_TRUE(joins(100, 20, 92, 20));
    // A short piece beside a tall one: inside its band it joins; hanging off its bottom, with
    // most of it still overlapping, it does not. Twice as tall is the most.
    EXPECT_TRUE(joins(100, 20, 105, 10));
    EXPECT_FALSE(joins(100, 20, 111, 10));
    EXPECT_FALSE(joins(100, 21, 105, 10));
}

TEST(OCRLayout, WindowButtonsAreNoTextAndOneEngineLineKeepsItsSmallLetters)
{
    auto words = [](const QList<LayoutLine> &lines) {
        QStringList out;
        for (const LayoutLine &l : lines)
            for (const LayoutWord &w : l.words)
                out << w.text;
        return out.join(' ');
    };
    auto line = [](const QList<std::pair<QString, int>> &xs, int y) {
        LayoutLine l;
        for (const auto &[t, x] : xs)
            l.words.append({QRect(x, y, 8 * int(t.size()), 14), t, 70});
        for (const LayoutWord &w : l.words)
            l.box = l.box.isNull() ? w.box : l.box.united(w.box);
        return l;
    };
    // Buttons at both ends of a title row go; the same marks further down are text.
    const QList<LayoutLine> window = {
        line({{"OOO", 10}, {"Terminal", 200}, {"[x]", 560}, {"|x", 580}}, 5),
        line({{"ls", 10}, {"x", 40}, {"[x]", 300}}, 40)};
    EXPECT_EQ(words(OCRLayout::splitAtPanels(window, PanelMap())), "Terminal ls x [x]");

    // The engine's line of a listing: permissions all in small letters, the rest with
    // ascenders and descenders, cut at the column gap between them.
    LayoutLine listing;
    listing.words = {{QRect(10, 106, 80, 8), "-rw-r--r--", 90},
                     {QRect(120, 101, 40, 18), "july.pdf", 90}};
    listing.box = listing.words[0].box.united(listing.words[1].box);
    const auto rows = OCRLayout::joinRows(OCRLayout::splitAtPanels({listing}, PanelMap()), white());
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().words.size(), 2);
}

TEST(OCRLayout, ColumnGapsOfAListingAreKeptAsSpaces)
{
    // Monospaced: 10 px cells, each word's ink one side bearing (2 px) short of its cells.
    LayoutLine l;
    int x = 0;
    for (const auto &[word, spacesAfter] : QList<std::pair<QString, int>>{{"-rw-r--r--", 2},
                                                                          {"1", 1},
                                                                          {"alex", 4},
                                                                          {"4096", 1},
                                                                          {"Mar", 2},
                                                                          {"1", 1},
                                                                          {"notes.txt", 0}}) {
        l.words.append({QRect(x + 1, 0, 10 * int(word.size()) - 2, 12), word});
        x += 10 * (int(word.size()) + spacesAfter);
    }
    EXPECT_EQ(OCRLayout::text({l}), "-rw-r--r--  1 alex    4096 Mar  1 notes.txt");
    // Proportional prose: uneven word gaps stay single spaces.
    EXPECT_EQ(OCRLayout::text({piece(0, 0, {"one", "two", "three"})}), "one two three");
    EXPECT_FALSE(OCRLayout::isNoise({QRect(), "|", 90}));
    EXPECT_TRUE(OCRLayout::isNoise({QRect(), "|", 40}));
    EXPECT_TRUE(OCRLayout::isNoise({QRect(), "~~", 30}));
    EXPECT_FALSE(OCRLayout::isNoise({QRect(), "$", 90}));
}

TEST(OCRLayout, ColumnsOfProseStayApartWhileRowsOfATableJoin)
{
    // The engine reads each row across both columns of an article, and across a table.
    auto row = [](int y, const QList<std::pair<int, QStringList>> &cells) {
        LayoutLine l;
        for (const auto &[x, words] : cells)
            for (const LayoutWord &w : piece(x, y, words).words) {
                l.words.append(w);
                l.box = l.box.isNull() ? w.box : l.box.united(w.box);
            }
        return l;
    };
    const QStringList left = {"one", "line", "of", "the", "left", "column"};
    const QStringList right = {"and", "one", "of", "the", "right", "column"};
    QList<LayoutLine> article;
    QStringList leftTruth, rightTruth;
    for (int i = 0; i < 8; ++i) {
        // A paragraph ends in a short line beside a whole line of the other column.
        const QStringList l = i == 3 ? QStringList{"end."} : left;
        article.append(row(20 + i * 20, {{10, l}, {330, right}}));
        leftTruth << l.join(' ');
        rightTruth << right.join(' ');
    }
    const QString text = OCRLayout::arrange(article, PanelMap(), white());
    EXPECT_EQ(text, (leftTruth + rightTruth).join('\n'));

    QList<LayoutLine> table;
    for (int i = 0; i < 8; ++i)
        table.append(row(20 + i * 20, {{10, {"Minutes", "of", "the", "board.pdf"}},
                                       {400, {"52", "kB"}},
                                       {700, {"PDF", "document"}}}));
    const auto rows = OCRLayout::joinRows(OCRLayout::splitAtPanels(table, PanelMap()), white());
    ASSERT_EQ(rows.size(), 8);
    for (const LayoutLine &r : rows)
        EXPECT_EQ(r.words.size(), 8);
}

TEST(OCRLayout, AnUnsureWordIsKeptWhenItLooksLikeOneBesideSureWords)
{
    auto line = [](const QList<std::pair<QString, int>> &words) {
        LayoutLine l;
        int x = 0;
        for (const auto &[text, confidence] : words) {
            l.words.append({QRect(x, 0, 10 * int(text.size()), 14), text, confidence});
            x += 10 * int(text.size()) + 8;
        }
        return l;
    };
    auto words = [](const QList<LayoutLine> &lines) {
        QStringList out;
        for (const LayoutLine &l : lines)
            for (const LayoutWord &w : l.words)
                out << w.text;
        return out.join(' ');
    };
    // Identifiers score low; frames and icons still go.
    EXPECT_EQ(words(OCRLayout::splitAtPanels(
                  {line({{"Built", 91}, {"target", 93}, {"vistrel_core", 23}})}, {})),
              "Built target vistrel_core");
    EXPECT_EQ(words(OCRLayout::splitAtPanels({line({{"Built", 91}, {"~Il", 12}, {"|", 40}})}, {})),
              "Built");
    EXPECT_EQ(words(OCRLayout::splitAtPanels({line({{"vistrel_core", 23}})}, {})), "");
}

TEST(PanelMap, FramesOutlinesAndDesktopStripsAreNotLeftForTheEngine)
{
    // Two windows 8 px apart on a dark desktop; a button outline shorter than any long rule.
    QImage screen(600, 200, QImage::Format_RGB32);
    screen.fill(QColor(46, 52, 64));
    QPainter p(&screen);
    p.fillRect(8, 8, 288, 184, Qt::white);
    p.fillRect(304, 8, 288, 184, Qt::white);
    p.fillRect(40, 100, 100, 30, QColor(150, 150, 156));
    p.fillRect(41, 101, 98, 28, QColor(228, 228, 232));
    QFont f("DejaVu Sans");
    f.setPixelSize(13);
    p.setFont(f);
    p.setPen(QColor(20, 20, 22));
    p.drawText(QRect(40, 100, 100, 30), Qt::AlignCenter, "Cancel");
    f.setPixelSize(40);
    p.setFont(f);
    p.drawText(340, 120, "OD"); // hollow glyphs, as large as a button
    p.end();
    const QImage grey = screen.convertToFormat(QImage::Format_Grayscale8);
    const QImage flat = PanelMap::of(grey).darkOnLight(grey);
    auto inkIn = [&](const QRect &r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += qGray(flat.pixel(x, y)) < 160;
        return n;
    };
    EXPECT_EQ(inkIn(QRect(38, 98, 4, 34)), 0) << "the button's left side";
    EXPECT_EQ(inkIn(QRect(138, 98, 4, 34)), 0) << "the button's right side";
    EXPECT_GT(inkIn(QRect(44, 104, 92, 22)), 40) << "its label";
    EXPECT_GT(inkIn(QRect(330, 80, 100, 50)), 200) << "large glyphs";
    // The desktop between the windows and where its strips meet: the tiles cut the windows apart.
    EXPECT_EQ(inkIn(QRect(294, 0, 12, 200)), 0);
    EXPECT_EQ(inkIn(QRect(0, 0, 600, 8)), 0);
    EXPECT_EQ(OCRService::tiles(flat, 100'000, 24, true).size(), 2);
}

TEST(PanelMap, ADarkPaneInsideALightWindowIsTurnedOnItsOwn)
{
    QImage screen(600, 300, QImage::Format_RGB32);
    screen.fill(QColor(250, 250, 250));
    QPainter p(&screen);
    p.fillRect(300, 0, 300, 300, QColor(30, 30, 30));
    QFont f("DejaVu Sans Mono");
    f.setPixelSize(40);
    p.setFont(f);
    p.setPen(QColor(20, 20, 20));
    p.drawText(20, 100, "dark");
    p.setPen(QColor(230, 230, 230));
    p.drawText(304, 100, "light"); // 4 px from the pane's edge, as a terminal's text is
    p.end();
    const QImage grey = screen.convertToFormat(QImage::Format_Grayscale8);
    const PanelMap map = PanelMap::of(grey);
    const int light = map.at({100, 250}), dark = map.at({450, 250});
    ASSERT_NE(light, dark);
    EXPECT_FALSE(map.panels()[light].lightOnDark);
    EXPECT_TRUE(map.panels()[dark].lightOnDark);
    const QImage flat = map.darkOnLight(grey);
    // Both backgrounds white, the ink of both dark, up to the pane's edge.
    EXPECT_GT(qGray(flat.pixel(450, 250)), 240);
    EXPECT_GT(qGray(flat.pixel(100, 250)), 240);
    int darkInk = 0, lightInk = 0;
    for (int y = 60; y < 110; ++y)
        for (int x = 0; x < 600; ++x)
            (x < 300 ? lightInk : darkInk) += qGray(flat.pixel(x, y)) < 100;
    EXPECT_GT(darkInk, 200);
    EXPECT_GT(lightInk, 200);
    for (int y = 0; y < 300; ++y)
        EXPECT_GT(qGray(flat.pixel(302, y)), 200) << "the pane's edge at row " << y;
}

TEST(OCRService, ReadsComposedScreensInReadingOrder)
{
    OCRService ocr;
    // A dark terminal pane in a light editor, a window beside it; a long dark listing.
    for (const char *name : {"ide", "listing"}) {
        const ScreenScene s = screenScene(name, 1);
        const auto text = ocr.recognizeTextNow(s.image);
        ASSERT_TRUE(text);
        EXPECT_GE(characterAccuracy(*text, s.lines.join('\n')), 0.99) << name << ":\n"
                                                                      << text->toStdString();
        EXPECT_GE(linesInOrder(*text, s.lines), 0.97) << name << ":\n" << text->toStdString();
    }
}

TEST(OCRService, WindowsSideBySideAreReadOneAfterTheOtherHoweverThePictureIsTiled)
{
    // A light and a dark terminal whose rows stand at the same heights, title bars and their
    // buttons included; read whole and in tiles of several sizes, some of which hold rows of
    // both windows and some rows of one.
    const ScreenScene s = screenScene("terminals", 1);
    const qsizetype leftLines = s.lines.indexOf("alex@host: ~/project");
    ASSERT_GT(leftLines, 30);
    for (const qint64 tile :
         {qint64(1) << 40, OCRService::tilePixels, qint64(150'000), qint64(60'000)}) {
        OCRService ocr;
        ocr.setTilePixels(tile);
        const auto text = ocr.recognizeTextNow(s.image);
        ASSERT_TRUE(text);
        EXPECT_GE(linesInOrder(*text, s.lines), 0.97) << tile << ":\n" << text->toStdString();
        // Every line of the left window before the right one's title.
        EXPECT_GT(linesInOrder(*text, s.lines.mid(0, leftLines + 1)), 0.97) << tile;
        for (const QString &line : text->split('\n'))
            EXPECT_FALSE(line.contains("OOO") || line.contains("[x]") || line.trimmed().size() <= 3)
                << tile << ": " << line.toStdString();
    }
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
    const PreparedImage big =
        TesseractEngine::prepare(blank({3840, 2160}), TesseractEngine::readingBudget);
    EXPECT_EQ(big.scale, 1.0);
    EXPECT_FALSE(big.inverted);
}

TEST(TesseractEngine, SmallGlyphsAreEnlargedUpToThreeTimesTallOnesOnlyAsFarAsTheyNeed)
{
    // Rows of glyph-like marks `h` high on white.
    auto glyphs = [](int h) {
        QImage img(400, 200, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        for (int y = 10; y + h < 190; y += 2 * h)
            for (int x = 10; x < 380; x += h)
                p.fillRect(x, y, std::max(2, h / 2), h, Qt::black);
        return img;
    };
    EXPECT_EQ(TesseractEngine::enlargement(glyphs(7)), 3.0);
    EXPECT_EQ(TesseractEngine::enlargement(glyphs(10)), 2.7);
    EXPECT_DOUBLE_EQ(TesseractEngine::enlargement(glyphs(12)), 2.25);
    EXPECT_EQ(TesseractEngine::enlargement(glyphs(30)), 1.0);
    EXPECT_EQ(TesseractEngine::enlargement(blank()), 0.0);
    // The picture given to the engine follows: 1× text of a small picture is read at 3×.
    const PreparedImage small = TesseractEngine::prepare(glyphs(7), TesseractEngine::readingBudget);
    EXPECT_EQ(small.scale, 3.0);
    EXPECT_EQ(small.grey.size(), QSize(1200, 600));
    EXPECT_DOUBLE_EQ(TesseractEngine::prepare(glyphs(12), TesseractEngine::readingBudget).scale,
                     2.25);
}

TEST(TesseractEngine, IdleEnginesAreDroppedAndRecognitionResumesAfterwards)
{
    OCRService ocr;
    // Engines hold their models; an idle app must not keep them, and reading must work again
    // once they and the engine's word-list cache are gone.
    const CorpusImage c =
        renderRows({"Hello from the top line"}, "DejaVu Sans", 16, false, QSize(600, 300));
    for (int round = 0; round < 2; ++round) {
        const auto text = ocr.recognizeTextNow(c.image);
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, "Hello from the top line");
        EXPECT_EQ(ocr.detectTextBoxesNow(c.image).size(), 1);
        EXPECT_GT(ocr.engine().idleEngineCount(), 0);
        ocr.engine().releaseIdleEngines();
        EXPECT_EQ(ocr.engine().idleEngineCount(), 0);
    }
    // Without being asked, once recognition has been idle for a while.
    EXPECT_EQ(ocr.detectTextBoxesNow(c.image).size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ocr.engine().idleEngineCount() == 0; }, 20000));

    // One that goes while an engine is still starting waits for it, then stops them all.
    {
        OCRService going;
        going.prepareForRecognition();
    }
}

TEST(TesseractEngine, AHelperThatCannotStartOrDiesFailsThatRecognitionOnly)
{
    OCRService ocr;
    const CorpusImage c =
        renderRows({"Hello from the top line"}, "DejaVu Sans", 16, false, QSize(600, 300));
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
        const auto text = ocr.recognizeTextNow(c.image);
        ASSERT_FALSE(text.ok()) << qPrintable(helper);
        EXPECT_FALSE(text.error().errorDescription().isEmpty());
        EXPECT_TRUE(ocr.detectTextBoxesNow(c.image).isEmpty());
        EXPECT_EQ(ocr.engine().idleEngineCount(), 0); // nothing broken is kept
    }
    qputenv("VISTREL_RECOGNIZER", real);
    EXPECT_EQ(ocr.recognizeTextNow(c.image).value(), "Hello from the top line");
}
