#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/CaptureCoordinator.h"
#include "app/EditorSessions.h"
#include "app/ScrollSession.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/PreviewCardController.h"

#include <QAbstractButton>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;
using vistrel::test::pattern;

TEST(PreviewCardFlow, EditOpensTheEditorOnTheUnmarkedCropWithEditableMarks)
{
    FakeDesktop desktop;
    const QImage image = pattern(400, 300);
    CaptureCoordinator coordinator(desktop.platform());
    PreviewCardController *opened = coordinator.scroll().openPreviewCard(image);
    PreviewCard &m = opened->canvas()->model();
    m.mode = PreviewCard::Mode::Mark;
    m.mouseDown(QPointF(150, 220) * m.displayScale());
    m.mouseDragged(QPointF(190, 180) * m.displayScale());
    m.mouseUp();
    m.setCropRect({100, 100, 200, 150});
    opened->button(PreviewButton::Edit)->click();
    drain();
    ASSERT_EQ(coordinator.sessions().editors().size(), 1);
    const EditorWindowController *editor = coordinator.sessions().editors().first();
    EXPECT_EQ(editor->image().convertToFormat(QImage::Format_RGB32),
              image.copy(100, 100, 200, 150).convertToFormat(QImage::Format_RGB32));
    ASSERT_EQ(editor->canvas()->annotations().size(), 1);
    EXPECT_EQ(editor->canvas()->annotations()[0]->start, QPointF(50, 120));
    drain();
}
