#include "FakeDesktop.h"
#include "TestSupport.h"
#include "ui/CompareWindowController.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;
using vistrel::test::solid;

TEST(Compare, DividerClampsToTheView)
{
    CompareView view(solid(400, 300, Qt::red), solid(400, 300, Qt::blue));
    view.resize(400, 300);
    EXPECT_DOUBLE_EQ(view.model().fraction(), 0.5);
    QTest::mouseMove(&view, QPoint(100, 150));
    EXPECT_DOUBLE_EQ(view.model().fraction(), 0.5); // no button: nothing moves
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 150));
    EXPECT_DOUBLE_EQ(view.model().fraction(), 0.25); // a click moves it there
    QMouseEvent left(QEvent::MouseMove, QPointF(-80, 150), QPointF(-80, 150), Qt::NoButton,
                     Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view, &left);
    EXPECT_DOUBLE_EQ(view.model().fraction(), 0.0);
    QMouseEvent right(QEvent::MouseMove, QPointF(900, 150), QPointF(900, 150), Qt::NoButton,
                      Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view, &right);
    EXPECT_DOUBLE_EQ(view.model().fraction(), 1.0);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(300, 150));
    EXPECT_FALSE(view.dragging());
}

TEST(CompareWindow, ExportGifCopyAndSave)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    CompareWindowController c(solid(300, 200, Qt::red), solid(100, 100, Qt::blue),
                              desktop.platform());
    EXPECT_EQ(c.window()->windowTitle(), "Vistrel — Compare");

    desktop.saveAnswer = dir.filePath("ba"); // no extension typed
    QSignalSpy exported(&c, &CompareWindowController::gifExported);
    c.exportGIF();
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    EXPECT_TRUE(desktop.saveRequests[0].suggestedName.startsWith("Vistrel "));
    EXPECT_TRUE(desktop.saveRequests[0].suggestedName.endsWith(".gif"));
    ASSERT_TRUE(exported.wait(5000));
    EXPECT_TRUE(exported[0][0].toBool());
    EXPECT_EQ(QImageReader(dir.filePath("ba.gif")).imageCount(), 2);
    EXPECT_EQ(desktop.toastTexts, QStringList{"GIF saved"});

    desktop.saveAnswer.clear(); // Cancel
    c.exportGIF();
    drain();
    EXPECT_EQ(exported.size(), 1);

    c.copyImg();
    ASSERT_EQ(desktop.clipboardFormats.size(), 1);
    EXPECT_EQ(QImage::fromData(desktop.clipboardFormats[0].second).size(), QSize(300, 200));
    EXPECT_EQ(desktop.toastTexts, (QStringList{"GIF saved", "Copied"})); // Cancel said nothing
}
