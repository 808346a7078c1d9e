#include "model/Annotation.h"
#include "model/AnnotationRenderer.h"
#include "model/CanvasModel.h"

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

AnnotationRef mark(ToolKind kind, QPointF a, QPointF b, double width = 5)
{
    return Annotation::make(kind, a, b, Qt::red, width);
}

void expectNear(QPointF actual, QPointF expected, double tolerance = 0.005)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

} // namespace

TEST(ToolKind, CasesRawValuesAndRejections)
{
    const auto &all = allToolKinds();
    ASSERT_EQ(all.size(), int(ToolKind::Count));
    EXPECT_EQ(all.first(), ToolKind::Select);
    EXPECT_EQ(all.last(), ToolKind::Crop);
    QString keys;
    for (ToolKind k : all) {
        EXPECT_EQ(MarkRules::of(k).kind, k); // each kind reads its own row
        EXPECT_EQ(toolKindFromName(toolKindName(k)), k);
        EXPECT_EQ(qHash(k), qHash(toolKindName(k)));
        if (!keyLetter(k).isNull())
            keys += keyLetter(k);
    }
    EXPECT_EQ(keys, "valrophtsbdc");
    EXPECT_FALSE(CanvasModel::shortcut('x')); // X finds secrets; D draws a redaction by hand
    EXPECT_EQ(CanvasModel::keyAction(Qt::Key_X, Qt::NoModifier).kind, KeyAction::Redact);
    EXPECT_EQ(CanvasModel::keyAction(Qt::Key_X, Qt::ControlModifier).kind, KeyAction::None);
    EXPECT_EQ(toolKindFromName("rect"), ToolKind::Rect);
    EXPECT_FALSE(toolKindFromName("Rect"));
    EXPECT_FALSE(toolKindFromName(""));
    EXPECT_FALSE(toolKindFromName("draw-rectangle")); // the icon name, not the raw value
    EXPECT_EQ(tooltip(ToolKind::Step), "Numbered Step (S)");
    EXPECT_EQ(symbolName(ToolKind::Blur), "blurfx");
}

TEST(Annotation, DefaultsAndBoxesByKind)
{
    auto step = mark(ToolKind::Step, {100, 100}, {100, 100}, 2);
    EXPECT_EQ(step->fontSize, 20);
    EXPECT_EQ(step->stepNumber, 1);
    EXPECT_FALSE(step->control);
    EXPECT_EQ(step->boundingRect(), QRectF(87, 87, 26, 26)); // the floor
    step->lineWidth = 10;
    EXPECT_EQ(step->boundingRect().size(), QSizeF(70, 70));
    step->lineWidth = 5;
    EXPECT_EQ(step->boundingRect().size(), QSizeF(35, 35));

    auto pen = mark(ToolKind::Pen, {5, 5}, {5, 5}, 3);
    pen->points = {{5, 5}};
    EXPECT_EQ(pen->boundingRect(), QRectF(2, 2, 6, 6));
    pen->points.clear(); // no samples: the two anchors' rectangle
    EXPECT_EQ(pen->boundingRect(), QRectF(5, 5, 0, 0));

    // Corners in any order give the same box.
    EXPECT_EQ(mark(ToolKind::Rect, {30, 5}, {10, 25})->boundingRect(), QRectF(10, 5, 20, 20));
}

TEST(Annotation, TextHangsBelowItsAnchorAndIsNeverNarrowerThan20)
{
    auto text = mark(ToolKind::Text, {10, 100}, {10, 100});
    const QSizeF placeholder = Annotation::measure("Text", Annotation::textFont(20));
    const QRectF box = text->boundingRect();
    EXPECT_EQ(box.width(), std::max(placeholder.width(), 20.0));
    EXPECT_EQ(box.height(), placeholder.height());
    EXPECT_DOUBLE_EQ(box.top(), 100); // top edge at the anchor
    text->text = "i";
    text->fontSize = 8;
    EXPECT_EQ(text->boundingRect().width(), 20);
}

TEST(Annotation, BentArrowBoxAndCubicControls)
{
    auto arrow = mark(ToolKind::Arrow, {0, 0}, {10, 0});
    EXPECT_FALSE(arrow->cubicControls());
    arrow->control = QPointF(5, 40);
    EXPECT_EQ(arrow->boundingRect(), QRectF(0, 0, 10, 40));
    const auto c = arrow->cubicControls();
    ASSERT_TRUE(c);
    expectNear(c->first, {10.0 / 3, 80.0 / 3}, 1e-12);
    expectNear(c->second, {20.0 / 3, 80.0 / 3}, 1e-12);
}

TEST(Annotation, TranslateMovesEveryAnchor)
{
    auto bent = mark(ToolKind::Arrow, {0, 0}, {10, 0});
    bent->control = QPointF(5, 40);
    bent->translate({3, -2});
    EXPECT_EQ(bent->start, QPointF(3, -2));
    EXPECT_EQ(bent->end, QPointF(13, -2));
    EXPECT_EQ(bent->control, QPointF(8, 38));

    auto straight = mark(ToolKind::Line, {0, 0}, {10, 0});
    straight->translate({1, 1});
    EXPECT_FALSE(straight->control);

    auto pen = mark(ToolKind::Pen, {0, 0}, {0, 0});
    pen->points = {{0, 0}, {4, 4}};
    pen->translate({1, 2});
    EXPECT_EQ(pen->points, (QList<QPointF>{{1, 2}, {5, 6}}));
}

TEST(Annotation, CopiesAreIndependent)
{
    auto pen = mark(ToolKind::Pen, {0, 0}, {0, 0});
    pen->points = {{1, 1}, {2, 2}};
    pen->caption = "first";
    const AnnotationRef copy = pen->copyForUndo();
    EXPECT_NE(copy, pen);
    pen->points.append({3, 3});
    pen->translate({10, 10});
    pen->caption = "changed";
    EXPECT_EQ(copy->points, (QList<QPointF>{{1, 1}, {2, 2}}));
    EXPECT_EQ(copy->start, QPointF(0, 0));
    EXPECT_EQ(copy->caption, "first");
    EXPECT_EQ(copy->color, pen->color);
}

TEST(ArrowHead, LengthFloorAndCorners)
{
    EXPECT_EQ(AnnotationRenderer::arrowHeadLength(1), 12);
    EXPECT_EQ(AnnotationRenderer::arrowHeadLength(5), 20);

    auto right = mark(ToolKind::Arrow, {0, 100}, {100, 100});
    const QPolygonF head = AnnotationRenderer::arrowHead(*right);
    ASSERT_EQ(head.size(), 3);
    EXPECT_EQ(head[0], QPointF(100, 100));
    expectNear(head[1], {83.11, 110.72});
    expectNear(head[2], {83.11, 89.28});
}

TEST(ArrowHead, BentArrowFollowsTheArrivingCurve)
{
    // The bend lies straight above the tip: the head points down whatever the start is.
    for (QPointF start : {QPointF(-50, 0), QPointF(80, 30), QPointF(0, -200)}) {
        auto arrow = mark(ToolKind::Arrow, start, {0, 0});
        arrow->control = QPointF(0, -50);
        const QPolygonF head = AnnotationRenderer::arrowHead(*arrow);
        EXPECT_LT(head[1].y(), 0);
        EXPECT_LT(head[2].y(), 0);
        EXPECT_NEAR(head[1].x(), -head[2].x(), 1e-9);
    }
}
