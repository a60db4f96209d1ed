#include <gtest/gtest.h>

#include <cmath>

#include "dispatch/testing/ManualClockScope.h"
#include "quartzcore/CAGradientLayer.h"
#include "uikit/UIGraphicsImageRenderer.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIView.h"
#include "uikit/testing/SnapshotTesting.h"

namespace uikit {
namespace {

using imageio::RGBA;

std::shared_ptr<UIView> box(const CGRect& frame, UIColor color) {
    auto view = UIView::create(frame);
    view->setBackgroundColor(color);
    return view;
}

class ViewRendering : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
};

TEST_F(ViewRendering, ALayerTreeWithCornersBordersMasksOpacityAndARotatedSublayer) {
    auto root = box(CGRect(0, 0, 160, 100), UIColor::white());

    // A card with rounded corners and a border that clips what it holds.
    auto card = box(CGRect(10, 10, 90, 70), UIColor::systemBlue());
    card->layer()->setCornerRadius(14);
    card->layer()->setBorderWidth(3);
    card->layer()->setBorderColor(UIColor(0.1, 0.1, 0.3, 1).cgColor());
    card->setClipsToBounds(true);
    root->addSubview(card);
    auto tilted = box(CGRect(50, 30, 50, 50), UIColor::systemOrange());
    tilted->setTransform(CGAffineTransform::makeRotation(M_PI / 6));
    card->addSubview(tilted);

    // A gradient strip with rounded ends, and a half-transparent pair whose overlap does not show through.
    auto strip = quartzcore::CAGradientLayer::create();
    strip->setFrame(CGRect(110, 10, 40, 70));
    strip->setColors({UIColor::systemRed().cgColor(), UIColor::systemYellow().cgColor()});
    strip->setCornerRadius(20);
    root->layer()->addSublayer(strip);
    auto pair = UIView::create(CGRect(60, 50, 70, 40));
    pair->setAlpha(0.5);
    pair->addSubview(box(CGRect(0, 0, 45, 40), UIColor::systemGreen()));
    pair->addSubview(box(CGRect(25, 0, 45, 40), UIColor::systemGreen()));
    root->addSubview(pair);

    EXPECT_SNAPSHOT(*root, "layer_tree");

    // What the snapshot shows, read back: the card's corner is outside, the tilted square is cut by the
    // card, and the half-transparent pair is even where its boxes overlap.
    const auto pixels = testing::renderView(*root);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->pixel(11, 11), (RGBA{255, 255, 255, 255}));
    EXPECT_EQ(pixels->pixel(55, 11), (RGBA{25, 25, 76, 255}));  // the border
    EXPECT_EQ(pixels->pixel(101, 45), (RGBA{255, 255, 255, 255}));
    EXPECT_EQ(pixels->pixel(95, 88), pixels->pixel(75, 88));
}

TEST_F(ViewRendering, DrawHierarchyMapsTheBoundsOntoTheRectangle) {
    auto scroll = UIScrollView::create(CGRect(0, 0, 20, 20));
    scroll->addSubview(box(CGRect(0, 0, 20, 20), UIColor::red()));
    scroll->addSubview(box(CGRect(0, 20, 20, 20), UIColor::blue()));
    scroll->setContentSize({20, 40});
    scroll->setContentOffset({0, 20});  // the blue box is what shows

    EXPECT_FALSE(scroll->drawHierarchy(CGRect(0, 0, 10, 10), true));  // no current context
    const auto image = UIGraphicsImageRenderer(CGSize{40, 40}, {1, false}).image([&](auto&) {
        EXPECT_TRUE(scroll->drawHierarchy(CGRect(20, 20, 10, 10), false));  // at half size, bottom right
        EXPECT_FALSE(scroll->drawHierarchy(CGRect(0, 0, 0, 10), false));
    });
    EXPECT_EQ(image->pixel(25, 25), (RGBA{0, 0, 255, 255}));
    EXPECT_EQ(image->pixel(29, 29), (RGBA{0, 0, 255, 255}));
    EXPECT_EQ(image->pixel(31, 25), (RGBA{0, 0, 0, 0}));
    EXPECT_EQ(image->pixel(15, 15), (RGBA{0, 0, 0, 0}));

    // A view without area renders nothing and fails its snapshot cleanly.
    auto empty = UIView::create();
    EXPECT_EQ(testing::renderView(*empty), std::nullopt);
    const auto where = testing::SnapshotLocation::forTest(__FILE__, "nothing", LUMORA_SNAPSHOT_BUILD_DIRECTORY);
    EXPECT_FALSE(testing::verifySnapshot(*empty, where).matches);
}

}  // namespace
}  // namespace uikit
