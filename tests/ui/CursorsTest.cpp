#include "ui/Cursors.h"
#include "ui/SymbolIcon.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(Cursors, GlyphPointersAreOutlinedWithTheHotSpotInTheMiddle)
{
    const auto c = Cursors::symbolCursor("draw-arrow", 16);
    ASSERT_TRUE(c);
    const QImage img = c->pixmap().toImage();
    EXPECT_EQ(img.size(), QSize(22, 22));
    EXPECT_EQ(c->hotSpot(), QPoint(11, 11));
    bool white = false, black = false;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor px = img.pixelColor(x, y);
            if (px.alpha() == 255 && px.red() == 255)
                white = true;
            if (px.alpha() == 255 && px.red() == 0)
                black = true;
        }
    EXPECT_TRUE(white && black);
    EXPECT_EQ(Cursors::move().hotSpot(), QPoint(12, 12));
}

TEST(Cursors, MissingGlyphsFallBack)
{
    EXPECT_FALSE(Cursors::symbolCursor("no.such.symbol", 16));
    EXPECT_EQ(Cursors::tool(ToolKind::Rect).shape(), Qt::CrossCursor);
    EXPECT_EQ(Cursors::tool(ToolKind::Text).shape(), Qt::IBeamCursor);
    EXPECT_EQ(Cursors::tool(ToolKind::Select).shape(), Qt::ArrowCursor);
    EXPECT_EQ(Cursors::tool(ToolKind::Pen).shape(), Qt::BitmapCursor);
    EXPECT_EQ(Cursors::tool(ToolKind::Pen).pixmap().cacheKey(),
              Cursors::tool(ToolKind::Pen).pixmap().cacheKey()); // built once
}

TEST(Cursors, TintKeepsAlpha)
{
    QImage img(4, 1, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    img.setPixelColor(1, 0, QColor(10, 200, 30, 255));
    img.setPixelColor(2, 0, QColor(10, 200, 30, 128));
    const QImage t = Cursors::tinted(img, Qt::white);
    EXPECT_EQ(t.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(t.pixelColor(1, 0), QColor(Qt::white));
    EXPECT_NEAR(t.pixelColor(2, 0).alpha(), 128, 1);
    EXPECT_EQ(t.pixelColor(2, 0).red(), 255);
}

TEST(Cursors, IconsFollowTheDesktopThemeButCursorsKeepTheBundledPictures)
{
    // A theme with one icon, a red square.
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Plain/scalable"));
    auto write = [&](const QString &name, const QByteArray &text) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write(QStringLiteral("Plain/index.theme"),
          "[Icon Theme]\nName=Plain\nDirectories=scalable\n\n"
          "[scalable]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    write(QStringLiteral("Plain/scalable/draw-arrow.svg"),
          R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">)"
          R"(<rect width="16" height="16" fill="#ff0000"/></svg>)");
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    QIcon::setThemeSearchPaths({dir.path()});
    QIcon::setThemeName(QStringLiteral("Plain"));

    auto redPixels = [](const QImage &image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += c.alpha() > 200 && c.red() > 200 && c.green() < 60 && c.blue() < 60;
            }
        return n;
    };
    EXPECT_GT(redPixels(symbolIcon(QStringLiteral("draw-arrow")).pixmap(16, 16).toImage()), 100);
    EXPECT_GT(redPixels(themeIcon(QStringLiteral("draw-arrow")).pixmap(16, 16).toImage()), 100);
    // What the theme lacks is the bundled picture.
    const QIcon bundled = symbolIcon(QStringLiteral("draw-number"));
    EXPECT_FALSE(bundled.isNull());
    EXPECT_EQ(redPixels(bundled.pixmap(16, 16).toImage()), 0);
    const auto cursor = Cursors::symbolCursor(QStringLiteral("draw-arrow"), 16);
    ASSERT_TRUE(cursor);
    EXPECT_EQ(redPixels(cursor->pixmap().toImage()), 0);

    QIcon::setThemeName(theme);
    QIcon::setThemeSearchPaths(searchPaths);
}
