#include <gtest/gtest.h>

#include "coregraphics/CGContext.h"
#include "dispatch/testing/ManualClockScope.h"
#include "keymoments/ZuKeyMomentItem.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora {
namespace {

using uikit::CGPoint;
using uikit::CGRect;
using uikit::CGSize;

class ZuKeyMomentItemTest : public ::testing::Test {
  protected:
    void SetUp() override { uikit::testing::resetInteractionState(); }
    dispatch::testing::ManualClockScope clock;
};

TEST_F(ZuKeyMomentItemTest, IsAlwaysItsStyleSizeWithItsAnchorOnTheDot) {
    auto item = ZuKeyMomentItem::create(CGRect(30, 40, 500, 7));
    EXPECT_EQ(item->frame(), CGRect(30, 40, 60, 66));
    EXPECT_EQ(item->intrinsicContentSize(), (CGSize{60, 66}));
    EXPECT_FALSE(item->canBecomeFocused());
    EXPECT_FALSE(item->isOpaque());
    EXPECT_EQ(item->layoutMargins(), (uikit::UIEdgeInsets{15, 15, 15, 15}));

    item->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(item->layer()->anchorPoint().y, 48.0 / 66.0);
    EXPECT_EQ(item->textLabel()->frame(), CGRect(18, 18, 24, 13.8));

    const auto g = ZuKeyMomentItem::geometry(item->bounds(), item->layoutMargins(), item->styles());
    EXPECT_EQ(g.bubble, CGRect(15, 15, 30, 36 * 0.55));
    EXPECT_EQ(g.anchor, CGRect(27, 45, 6, 6));
    EXPECT_EQ(g.stem.origin, (CGPoint{29, 15 + 36 * 0.55}));
    EXPECT_DOUBLE_EQ(g.stem.maxY(), 45);
}

TEST_F(ZuKeyMomentItemTest, SelectionAppliesTheStyleOverTimeAndHighlightWaitsForIt) {
    auto window = uikit::UIWindow::create(CGRect(0, 0, 200, 200));
    window->makeKeyAndVisible();
    auto item = ZuKeyMomentItem::create(CGRect(50, 50, 0, 0));
    window->addSubview(item);
    EXPECT_EQ(item->tintColor(), uikit::UIColor(0.8, 1.0));
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::identity());

    item->setIsHighlighted(true);
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::identity()) << "highlighting alone restyles nothing";

    item->setIsSelected(true);  // highlighted: 0.2 s
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::makeScale(1.3, 1.3));
    EXPECT_EQ(item->tintColor(), uikit::UIColor::white());
    clock.advance(0.1);
    EXPECT_FALSE(item->animationKeys().empty());
    clock.advance(0.11);
    EXPECT_TRUE(item->animationKeys().empty());

    item->setIsHighlighted(false);
    item->setIsSelected(false);  // neither: 0.8 s
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::identity());
    EXPECT_EQ(item->tintColor(), uikit::UIColor(0.8, 1.0));
    clock.advance(0.7);
    EXPECT_FALSE(item->animationKeys().empty());
    EXPECT_GT(item->presentation().transform.a, 1.0);
    clock.advance(0.11);
    EXPECT_TRUE(item->animationKeys().empty());
}

TEST_F(ZuKeyMomentItemTest, ASelectedMarkerIsDrawnAboveItsNeighbours) {
    auto strip = uikit::UIView::create(CGRect(0, 0, 300, 100));
    auto a = ZuKeyMomentItem::create();
    auto b = ZuKeyMomentItem::create();
    strip->addSubview(a);
    strip->addSubview(b);
    a->setIsSelected(true);
    EXPECT_EQ(strip->layer()->sublayers().back(), a->layer());
}

TEST_F(ZuKeyMomentItemTest, TakesTouchesOnlyInItsBubble) {
    auto item = ZuKeyMomentItem::create();
    EXPECT_TRUE(item->point(CGPoint{16, 16}, nullptr));
    EXPECT_TRUE(item->point(CGPoint{44, 34}, nullptr));
    EXPECT_FALSE(item->point(CGPoint{30, 40}, nullptr)) << "stem";
    EXPECT_FALSE(item->point(CGPoint{30, 48}, nullptr)) << "dot";
    EXPECT_FALSE(item->point(CGPoint{5, 20}, nullptr)) << "margin";
}

TEST_F(ZuKeyMomentItemTest, DrawsABubbleAStemAndADotInItsTint) {
    auto item = ZuKeyMomentItem::create();
    item->setTintColor(uikit::UIColor::red());
    auto context = coregraphics::CGContext::create(CGSize{60, 66});
    {
        coregraphics::GraphicsContextScope scope(context);
        item->draw(item->bounds());
    }
    auto fills = context->commands(coregraphics::CGDrawCommand::Kind::fillPath);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].color, uikit::UIColor::red().cgColor());
    const CGRect bubble = fills[0].path.boundingBox();
    EXPECT_EQ(bubble.origin, (CGPoint{15, 15}));
    EXPECT_EQ(bubble.width(), 30);
    EXPECT_NEAR(bubble.height(), 36 * 0.55, 1e-9);
    const CGRect foot = fills[1].path.boundingBox();
    EXPECT_NEAR(foot.minY(), 15 + 36 * 0.55, 1e-9);
    EXPECT_EQ(foot.maxY(), 51);
    EXPECT_EQ(context->transparencyLayerDepth(), 0);

    // Outside a draw pass nothing happens.
    item->draw(item->bounds());
}

TEST_F(ZuKeyMomentItemTest, ANewTintOrNewMarginsRedraw) {
    auto item = ZuKeyMomentItem::create();
    item->layer()->display();
    ASSERT_FALSE(item->layer()->needsDisplay());
    item->setTintColor(uikit::UIColor::green());
    EXPECT_TRUE(item->layer()->needsDisplay());
    item->layer()->display();
    item->setLayoutMargins(uikit::UIEdgeInsets{10, 10, 10, 10});
    EXPECT_TRUE(item->layer()->needsDisplay());
}

TEST_F(ZuKeyMomentItemTest, AMarkerWithoutHeightKeepsItsAnchor) {
    auto item = ZuKeyMomentItem::create();
    item->setBounds(CGRect(0, 0, 60, 0));
    item->layoutIfNeeded();
    EXPECT_EQ(item->layer()->anchorPoint(), (CGPoint{0.5, 0.5}));
}

}  // namespace
}  // namespace lumora
