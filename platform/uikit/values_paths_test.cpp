#include <gtest/gtest.h>

#include "coregraphics/CGContext.h"
#include "uikit/UIBezierPath.h"
#include "uikit/UIEdgeInsets.h"
#include "uikit/UIViewContentMode.h"

using namespace uikit;
using coregraphics::CGDrawCommand;

TEST(UIBezierPathValueTest, ShapesAppendAndDrawIntoTheCurrentContext) {
    UIBezierPath bubble = UIBezierPath::roundedRect({15, 15, 30, 20}, 3);
    EXPECT_EQ(bubble.bounds(), (CGRect{15, 15, 30, 20}));
    EXPECT_TRUE(bubble.contains({30, 25}));
    EXPECT_FALSE(bubble.contains({15.1, 15.1}));

    UIBezierPath dot = UIBezierPath::ovalIn({27, 45, 6, 6});
    dot.append(UIBezierPath::rect({29, 35, 2, 10}));
    EXPECT_EQ(dot.bounds(), (CGRect{27, 35, 6, 16}));

    UIBezierPath top =
        UIBezierPath::roundedRect({0, 0, 20, 10}, UIRectCorner::topLeft | UIRectCorner::topRight, {4, 4});
    EXPECT_EQ(top.bounds(), (CGRect{0, 0, 20, 10}));
    EXPECT_TRUE(top.contains({0.2, 9.8}));   // square bottom corner
    EXPECT_FALSE(top.contains({0.2, 0.2}));  // rounded top corner

    auto ctx = coregraphics::CGContext::create();
    bubble.fill();  // outside a draw pass: nothing
    {
        coregraphics::GraphicsContextScope scope(ctx);
        bubble.fill();
        UIBezierPath line;
        line.move({0, 66});
        line.addLine({60, 66});
        line.lineWidth = 1;
        line.stroke();
    }
    ASSERT_EQ(ctx->commands(CGDrawCommand::Kind::fillPath).size(), 1u);
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::fillPath)[0].path, bubble.cgPath());
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::strokePath)[0].path.description(), "M 0 66 L 60 66");
    EXPECT_EQ(ctx->gStateDepth(), 0);
}

TEST(UIViewContentModeTest, PlacesContentInBounds) {
    const CGRect bounds{0, 0, 160, 90};
    const CGSize square{100, 100};
    EXPECT_EQ(rectForContentMode(UIViewContentMode::scaleToFill, square, bounds), bounds);
    EXPECT_EQ(rectForContentMode(UIViewContentMode::scaleAspectFit, square, bounds), (CGRect{35, 0, 90, 90}));
    EXPECT_EQ(rectForContentMode(UIViewContentMode::scaleAspectFill, square, bounds), (CGRect{0, -35, 160, 160}));
    EXPECT_EQ(rectForContentMode(UIViewContentMode::center, {20, 10}, bounds), (CGRect{70, 40, 20, 10}));
    EXPECT_EQ(rectForContentMode(UIViewContentMode::bottomRight, {20, 10}, bounds), (CGRect{140, 80, 20, 10}));
    EXPECT_EQ(rectForContentMode(UIViewContentMode::top, {20, 10}, bounds), (CGRect{70, 0, 20, 10}));
    EXPECT_EQ(rectForContentMode(UIViewContentMode::scaleAspectFit, {0, 0}, bounds), bounds);
    EXPECT_EQ(rectForContentMode(UIViewContentMode::left, {-5, 10}, bounds), (CGRect{0, 45, 0, 0}));
}

TEST(UIEdgeInsetsValueTest, IsTheGeometryTypeAndMapsDirectionalInsets) {
    const UIEdgeInsets margins{0, 28, 20, 28};
    const coregraphics::UIEdgeInsets& same = margins;  // one type for both namespaces
    EXPECT_EQ(CGRect(0, 0, 320, 100).inset(same), (CGRect{28, 0, 264, 80}));
    EXPECT_EQ((NSDirectionalEdgeInsets{1, 2, 3, 4}).leftToRight(), (UIEdgeInsets{1, 2, 3, 4}));
}
