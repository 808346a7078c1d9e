#include "model/Annotation.h"
#include "model/CaptionPanel.h"
#include "ui/EditorGeometry.h"

#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

using namespace vistrel;

namespace {

AnnotationRef step(qint64 n, const QString &caption, QColor colour = Qt::blue)
{
    auto s = Annotation::make(ToolKind::Step, {50, 50}, {50, 50}, colour, 5);
    s->stepNumber = n;
    s->caption = caption;
    return s;
}

// The panel drawn as the canvas draws it, with a 10-pixel margin around it.
QImage drawPanel(const QRectF &panel, const QList<AnnotationRef> &steps)
{
    QImage out(int(panel.width()) + 20, int(panel.height()) + 20, QImage::Format_RGB32);
    out.fill(Qt::darkGray);
    QPainter p(&out);
    p.translate(QPointF(10, 10) - panel.topLeft());
    CaptionPanel::draw(p, panel, steps);
    p.end();
    return out;
}

bool isInk(QRgb c)
{
    return qRed(c) < 110 && qGreen(c) < 110 && qBlue(c) < 110;
}

} // namespace

TEST(CaptionPanel, WordsWrapAsBeforeAndAWordLongerThanARowBreaksInside)
{
    const QFontMetricsF fm(CaptionPanel::captionFont());
    auto flagsHeight = [&](const QString &text) {
        return std::ceil(fm.boundingRect(QRectF(0, 0, 274, 4000),
                                         Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text)
                             .height());
    };
    // Ordinary sentences and line breaks measure as the toolkit's word wrap measures them.
    const QString sentence = QStringLiteral("Click the button in the corner, then wait until the "
                                            "progress bar is full and the dialog closes itself");
    EXPECT_EQ(CaptionPanel::rowHeight(sentence), flagsHeight(sentence));
    EXPECT_GT(CaptionPanel::rowHeight(sentence), 34);
    EXPECT_EQ(CaptionPanel::rowHeight(QStringLiteral("one\ntwo\nthree")),
              flagsHeight(QStringLiteral("one\ntwo\nthree")));
    EXPECT_EQ(CaptionPanel::rowHeight(QStringLiteral("short")), 34);

    // A link or a path without spaces takes as many rows as its width needs.
    const QString url = QStringLiteral("https://example.org/") + QString(60, QLatin1Char('x')) +
                        QStringLiteral("/downloads/release-notes/") + QString(60, QLatin1Char('y'));
    const double rows = std::ceil(fm.horizontalAdvance(url) / 274);
    ASSERT_GE(rows, 3);
    const double urlHeight = CaptionPanel::rowHeight(url);
    EXPECT_GE(urlHeight, rows * fm.height());
    EXPECT_LE(urlHeight, (rows + 1) * fm.lineSpacing());
    // A word before the long one costs at most the line it stays on.
    const QString word(70, QLatin1Char('p'));
    EXPECT_LE(CaptionPanel::rowHeight(QStringLiteral("Open ") + word),
              CaptionPanel::rowHeight(word) + fm.height() + 1);

    // The panel holds every row, each starting 16 below the one before.
    const QList<AnnotationRef> steps{step(1, url), step(2, QStringLiteral("next"))};
    EXPECT_EQ(CaptionPanel::contentHeight(steps), 74 + urlHeight + 16 + 34 + 16);
    const auto panel = CaptionPanel::rect(steps, QRectF(1000, 1000, 400, 100));
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->height(), 74 + urlHeight + 16 + 34 + 16);
}

TEST(CaptionPanel, ALongLinkIsDrawnInsideItsColumnAndItsRow)
{
    const QString url = QStringLiteral("/home/someone/Pictures/Screenshots/") +
                        QString(40, QLatin1Char('W')) + QStringLiteral("/") +
                        QString(40, QLatin1Char('M'));
    const QList<AnnotationRef> steps{step(1, url), step(2, QStringLiteral("after"))};
    const auto panel = CaptionPanel::rect(steps, QRectF(1000, 1000, 300, 50));
    ASSERT_TRUE(panel);
    const QImage img = drawPanel(*panel, steps);

    // Image rows and columns of the first caption's box: the panel's top is 10 from the top.
    const double urlHeight = CaptionPanel::rowHeight(url);
    const int columnLeft = 10 + 60, columnRight = 10 + 60 + 274;
    const int rowTop = 10 + 20 + 22 + 20;
    const int rowBottom = rowTop + int(urlHeight);
    int lowest = -1, outside = 0;
    for (int y = rowTop; y < rowBottom + 16; ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (!isInk(img.pixel(x, y)))
                continue;
            if (x < columnLeft || x > columnRight + 1)
                ++outside;
            lowest = std::max(lowest, y);
        }
    EXPECT_EQ(outside, 0) << "text ran out of the caption column";
    // The last line is drawn, and lies within the row the panel made room for.
    const double line = QFontMetricsF(CaptionPanel::captionFont()).lineSpacing();
    EXPECT_GT(lowest, rowBottom - line - 1);
    EXPECT_LE(lowest, rowBottom);
    // The next row's caption starts 16 below.
    bool nextDrawn = false;
    for (int y = rowBottom + 16; y < rowBottom + 16 + 34 && !nextDrawn; ++y)
        for (int x = columnLeft; x < columnRight && !nextDrawn; ++x)
            nextDrawn = isInk(img.pixel(x, y));
    EXPECT_TRUE(nextDrawn);
}

TEST(EditorGeometry, TheWindowNeverOutgrowsTheScreen)
{
    // A tall scroll capture: the smallest magnification still leaves it taller than the screen.
    auto g = EditorGeometry::forImage(QSize(1280, 12000), QSizeF(1440, 900));
    EXPECT_DOUBLE_EQ(g.fitMagnification, 0.1);
    EXPECT_EQ(g.contentSize, QSizeF(1280, 900));
    // With the window manager's frame known, the whole window fits.
    g = EditorGeometry::forImage(QSize(1280, 12000), QSizeF(1440, 900), QMarginsF(1, 30, 1, 1));
    EXPECT_EQ(g.contentSize, QSizeF(1280, 869));
    // A screen narrower than the toolbar's 1280.
    g = EditorGeometry::forImage(QSize(200, 100), QSizeF(1024, 768));
    EXPECT_DOUBLE_EQ(g.fitMagnification, 1.0);
    EXPECT_EQ(g.contentSize, QSizeF(1024, 366));
    // A very wide capture on a small screen.
    g = EditorGeometry::forImage(QSize(30000, 800), QSizeF(1280, 720));
    EXPECT_DOUBLE_EQ(g.fitMagnification, 0.1);
    EXPECT_EQ(g.contentSize, QSizeF(1280, 366));

    // Whatever the picture, within the visible frame.
    for (const QSize image :
         {QSize(1, 1), QSize(5000, 3000), QSize(100, 40000), QSize(64000, 64000)})
        for (const QSizeF visible : {QSizeF(1440, 900), QSizeF(800, 600), QSizeF(3840, 2100)}) {
            const auto fit = EditorGeometry::forImage(image, visible);
            EXPECT_LE(fit.contentSize.width(), visible.width());
            EXPECT_LE(fit.contentSize.height(), visible.height());
            EXPECT_GE(fit.fitMagnification, EditorGeometry::minMagnification);
        }
}
