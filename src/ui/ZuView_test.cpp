#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "dispatch/testing/ManualClockScope.h"
#include "ui/ZuView.h"
#include "uikit/UIButton.h"
#include "uikit/UIFocus.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora {
namespace {

using uikit::CGPoint;
using uikit::CGRect;
using uikit::CGSize;

class ZuViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 400, 300));
        window->makeKeyAndVisible();
    }
    void TearDown() override { uikit::UIFocusSystem::shared().setIsEnabled(std::nullopt); }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<uikit::UIWindow> window;
};

TEST_F(ZuViewTest, ATransparentViewTakesATouchOnlyWhereAVisibleInteractiveSubviewDoes) {
    auto row = ZuView::create(CGRect(0, 0, 300, 100));
    row->setIsOpaque(false);
    EXPECT_FALSE(row->point(CGPoint{10, 10}, nullptr)) << "no subviews: never";

    auto hidden = uikit::UIView::create(CGRect(0, 0, 50, 50));
    hidden->setIsHidden(true);
    auto inert = uikit::UIView::create(CGRect(50, 0, 50, 50));
    inert->setIsUserInteractionEnabled(false);
    auto live = uikit::UIView::create(CGRect(200, 20, 40, 40));
    live->setTransform(uikit::CGAffineTransform::makeScale(2, 2));  // covers 180...260 × 0...80
    row->addSubview(hidden);
    row->addSubview(inert);
    row->addSubview(live);

    EXPECT_FALSE(row->point(CGPoint{10, 10}, nullptr));
    EXPECT_FALSE(row->point(CGPoint{60, 10}, nullptr));
    EXPECT_TRUE(row->point(CGPoint{185, 75}, nullptr)) << "converted through the subview's transform";
    EXPECT_FALSE(row->point(CGPoint{175, 75}, nullptr));

    row->setIsOpaque(true);
    EXPECT_TRUE(row->point(CGPoint{10, 10}, nullptr)) << "an opaque view answers with its bounds";
    EXPECT_FALSE(row->point(CGPoint{310, 10}, nullptr));
}

TEST_F(ZuViewTest, TouchesOutsideItsSubviewsReachTheButtonBehind) {
    auto button = uikit::UIButton::create(CGRect(0, 0, 400, 300));
    int taps = 0;
    button->addAction([&](uikit::UIControl&, const uikit::UIEvent*) { ++taps; },
                      uikit::UIControl::Event::touchUpInside());
    window->addSubview(button);
    auto row = ZuView::create(CGRect(0, 200, 400, 100));
    row->setIsOpaque(false);
    auto knob = uikit::UIButton::create(CGRect(10, 10, 40, 40));
    int knobTaps = 0;
    knob->addAction([&](uikit::UIControl&, const uikit::UIEvent*) { ++knobTaps; },
                    uikit::UIControl::Event::touchUpInside());
    row->addSubview(knob);
    window->addSubview(row);

    uikit::testing::TouchSimulator touches(window);
    touches.tap(CGPoint{200, 250});
    touches.tap(CGPoint{30, 230});
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(knobTaps, 1);
}

TEST_F(ZuViewTest, PreferredHeightReplacesTheIntrinsicHeightOnly) {
    auto view = ZuView::create();
    EXPECT_EQ(view->intrinsicContentSize(), (CGSize{-1, -1}));
    view->setPreferredContentSize(CGSize{50, 20});
    EXPECT_EQ(view->intrinsicContentSize(), (CGSize{-1, 20}));
    view->setPreferredContentSize(CGSize{50, std::numeric_limits<double>::quiet_NaN()});
    EXPECT_EQ(view->intrinsicContentSize(), (CGSize{-1, -1}));
    view->setPreferredContentSize(std::nullopt);
    EXPECT_EQ(view->intrinsicContentSize(), (CGSize{-1, -1}));

    // The layout sees the new height.
    auto container = uikit::UIView::create(CGRect(0, 0, 200, 200));
    window->addSubview(container);
    container->addSubview(view);
    view->snp().makeConstraints(
        [](uikit::ConstraintMaker& make) { make.leading().trailing().top().equalToSuperview(); });
    view->setPreferredContentSize(CGSize{0, 44});
    container->layoutIfNeeded();
    EXPECT_EQ(view->frame(), CGRect(0, 0, 200, 44));
}

TEST_F(ZuViewTest, FocusFollowsIsFocusable) {
    uikit::UIFocusSystem::shared().setIsEnabled(true);
    auto view = ZuView::create(CGRect(0, 0, 100, 100));
    window->addSubview(view);
    EXPECT_FALSE(view->canBecomeFocused());
    view->setIsFocusable(true);
    EXPECT_TRUE(view->canBecomeFocused());
    clock.runUntilIdle();
    EXPECT_TRUE(view->isFocused()) << "making it focusable asks for a focus update";
}

}  // namespace
}  // namespace lumora
