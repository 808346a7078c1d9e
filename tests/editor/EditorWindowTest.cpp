#include "editor/EditorGeometry.h"
#include "editor/EditorWindowController.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vistrel;

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
    EXPECT_DOUBLE_EQ(g.contentSize.width(), 1280);
    EXPECT_NEAR(g.contentSize.height(), 719 + 46, 1e-9);
}

TEST(EditorWindow, OpensWithTheTitleAndFitMagnification)
{
    QImage image(2000, 1000, QImage::Format_RGB32);
    image.fill(Qt::cyan);
    EditorWindowController editor(image);
    editor.showWindow();
    EXPECT_EQ(editor.window()->windowTitle(), "Vistrel — Editor");
    EXPECT_DOUBLE_EQ(editor.magnification(), editor.fitMagnification());
    EXPECT_LT(editor.fitMagnification(), 1.0);
    editor.setMagnification(100);
    EXPECT_DOUBLE_EQ(editor.magnification(), 8.0);
    editor.setMagnification(0.01);
    EXPECT_DOUBLE_EQ(editor.magnification(), 0.1);

    int closed = 0;
    editor.onClose = [&] { ++closed; };
    editor.window()->close();
    EXPECT_EQ(closed, 1);
}
