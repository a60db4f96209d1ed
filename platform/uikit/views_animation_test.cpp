#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "uikit/CADisplayLink.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"

namespace {

using namespace uikit;

class ViewsAnimation : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
};

TEST_F(ViewsAnimation, ModelChangesAtOncePresentationFollowsTheCurve) {
    auto view = UIView::create(CGRect(0, 0, 100, 100));
    std::optional<bool> finished;
    UIView::animate(
        1.0, 0, UIView::AnimationOptions::curveLinear(),
        [&] {
            view->setAlpha(0);
            view->setFrame(CGRect(100, 0, 200, 100));
            view->setBackgroundColor(UIColor::white());
        },
        [&](bool f) { finished = f; });
    EXPECT_EQ(view->alpha(), 0);
    EXPECT_EQ(view->frame(), CGRect(100, 0, 200, 100));
    EXPECT_EQ(view->presentation().alpha, 1);
    EXPECT_EQ(view->presentation().frame, CGRect(0, 0, 100, 100));
    clock.advance(0.25);
    EXPECT_NEAR(view->presentation().alpha, 0.75, 1e-9);
    EXPECT_NEAR(view->presentation().frame.origin.x, 25, 1e-6);
    EXPECT_NEAR(view->presentation().frame.size.width, 125, 1e-6);
    // No colour fades in as white at alpha 0.
    EXPECT_NEAR(view->presentation().backgroundColor->alpha(), 0.25, 1e-9);
    EXPECT_FALSE(finished);
    EXPECT_EQ(view->layer()->animation("opacity") != nullptr, true);  // the layer sees the animation too
    clock.advance(0.75);
    ASSERT_TRUE(finished);
    EXPECT_TRUE(*finished);
    EXPECT_EQ(view->presentation().frame, CGRect(100, 0, 200, 100));
    EXPECT_TRUE(view->animationKeys().empty());
}

TEST_F(ViewsAnimation, EaseInOutSpringsAndDelays) {
    auto view = UIView::create();
    UIView::animate(2.0, [&] { view->setCenter(CGPoint{100, 0}); });
    clock.advance(1.0);
    EXPECT_NEAR(view->presentation().center.x, 50, 1e-6);  // symmetric curve: half way at half time
    clock.advance(0.5);
    EXPECT_GT(view->presentation().center.x, 75);  // eased: ahead of linear in the second half
    clock.advance(0.5);

    // A spring with damping 1 settles monotonically; with low damping it overshoots; delays hold the start.
    UIView::animate(1.0, 0.5, 1.0, 0.0, UIView::AnimationOptions(), [&] { view->setCenter(CGPoint{200, 0}); });
    clock.advance(0.4);
    EXPECT_EQ(view->presentation().center.x, 100);
    clock.advance(0.6);
    double x = view->presentation().center.x;
    EXPECT_GT(x, 150);
    EXPECT_LT(x, 200);
    clock.advance(1.0);
    EXPECT_EQ(view->presentation().center.x, 200);
    UIView::animate(1.0, 0, 0.2, 0.0, UIView::AnimationOptions(), [&] { view->setCenter(CGPoint{300, 0}); });
    double highest = 0;
    for (int i = 0; i < 60; ++i) {
        clock.advance(1.0 / 60);
        highest = std::max(highest, view->presentation().center.x);
    }
    EXPECT_GT(highest, 300);
    EXPECT_EQ(view->presentation().center.x, 300);
}

TEST_F(ViewsAnimation, ReplacementReportsNotFinished) {
    auto view = UIView::create();
    std::vector<std::pair<std::string, bool>> done;
    UIView::animate(
        1.0, [&] { view->setAlpha(0); }, [&](bool f) { done.emplace_back("first", f); });
    clock.advance(0.5);
    double midway = view->presentation().alpha;
    // From the current state: the new animation starts where the drawn value is.
    UIView::animate(
        1.0, 0, UIView::AnimationOptions::beginFromCurrentState(), [&] { view->setAlpha(1); },
        [&](bool f) { done.emplace_back("second", f); });
    EXPECT_NEAR(view->presentation().alpha, midway, 1e-9);
    clock.advance(0.5);
    EXPECT_EQ(done, (std::vector<std::pair<std::string, bool>>{{"first", false}}));
    clock.advance(0.5);
    EXPECT_EQ(done, (std::vector<std::pair<std::string, bool>>{{"first", false}, {"second", true}}));

    // Another property is not a replacement.
    done.clear();
    UIView::animate(
        1.0, [&] { view->setAlpha(0.5); }, [&](bool f) { done.emplace_back("alpha", f); });
    UIView::animate(
        1.0,
        [&] {
            view->setCenter(CGPoint{5, 5});
        },
        [&](bool f) { done.emplace_back("center", f); });
    clock.advance(1.0);
    EXPECT_EQ(done, (std::vector<std::pair<std::string, bool>>{{"alpha", true}, {"center", true}}));
}

TEST_F(ViewsAnimation, LeavingTheWindowReportsNotFinished) {
    auto window = UIWindow::create(CGRect(0, 0, 100, 100));
    auto view = UIView::create();
    window->addSubview(view);
    std::optional<bool> finished;
    UIView::animate(
        0.3, [&] { view->setAlpha(0.2); }, [&](bool f) { finished = f; });
    view->removeFromSuperview();
    EXPECT_EQ(view->presentation().alpha, 0.2);  // the animation is gone: the model value shows
    EXPECT_FALSE(finished);
    clock.advance(0.3);
    ASSERT_TRUE(finished);
    EXPECT_FALSE(*finished);
}

TEST_F(ViewsAnimation, ZeroChangeTakesItsDurationAndZeroDurationTheNextTurn) {
    std::vector<std::string> done;
    UIView::animate(
        0.26, [] {}, [&](bool f) { done.push_back(f ? "empty finished" : "empty cut"); });
    UIView::animate(
        0, [] {}, [&](bool) { done.push_back("instant"); });
    EXPECT_TRUE(done.empty());  // never inside the call
    clock.runUntilIdle();
    EXPECT_EQ(done, (std::vector<std::string>{"instant"}));
    clock.advance(0.25);
    EXPECT_EQ(done.size(), 1u);
    clock.advance(0.01);
    EXPECT_EQ(done, (std::vector<std::string>{"instant", "empty finished"}));
}

TEST_F(ViewsAnimation, WithoutAnimationAndLayoutInsideABlock) {
    auto view = UIView::create();
    bool inside = false, suspended = true;
    UIView::animate(1.0, [&] {
        inside = UIView::isInAnimationBlock();
        UIView::performWithoutAnimation([&] {
            suspended = !UIView::isInAnimationBlock();
            view->setAlpha(0.5);
        });
    });
    EXPECT_TRUE(inside);
    EXPECT_TRUE(suspended);
    EXPECT_FALSE(UIView::isInAnimationBlock());
    EXPECT_EQ(view->presentation().alpha, 0.5);
    EXPECT_TRUE(view->animationKeys().empty());
    EXPECT_EQ(view->layer()->animation("opacity"), nullptr);

    // Frames applied by a layout pass inside an animation block are animated.
    auto root = UIView::create(CGRect(0, 0, 200, 200));
    auto child = UIView::create();
    root->addSubview(child);
    auto width = child->widthAnchor().constraintEqualToConstant(50);
    child->snp().makeConstraints([](ConstraintMaker& make) { make.leading().top().bottom().equalToSuperview(); });
    width->setIsActive(true);
    root->layoutIfNeeded();
    width->setConstant(150);
    UIView::animate(1.0, 0, UIView::AnimationOptions::curveLinear(), [&] { root->layoutIfNeeded(); });
    EXPECT_EQ(child->frame().size.width, 150);
    clock.advance(0.5);
    EXPECT_NEAR(child->presentation().frame.size.width, 100, 1e-6);
}

TEST_F(ViewsAnimation, DisplayLinkTicksFromTheClock) {
    struct Target {
        void tick(quartzcore::CADisplayLink& link) { stamps.push_back(link.timestamp()); }
        std::vector<double> stamps;
    };
    auto target = std::make_shared<Target>();
    auto link = quartzcore::CADisplayLink::create(target, &Target::tick);
    std::weak_ptr<quartzcore::CADisplayLink> weakLink = link;
    link->add(dispatch::RunLoop::main());
    link.reset();  // the run loop keeps an added link alive
    clock.advance(1.0);
    ASSERT_EQ(target->stamps.size(), 60u);
    EXPECT_NEAR(target->stamps.front(), 1.0 / 60, 1e-9);
    EXPECT_NEAR(target->stamps.back(), 1.0, 1e-9);
    ASSERT_FALSE(weakLink.expired());
    EXPECT_NEAR(weakLink.lock()->duration(), 1.0 / 60, 1e-12);

    // Paused: no frames; resumed: frames again from the next boundary.
    weakLink.lock()->setIsPaused(true);
    clock.advance(0.5);
    EXPECT_EQ(target->stamps.size(), 60u);
    weakLink.lock()->setIsPaused(false);
    clock.advance(0.1);
    EXPECT_EQ(target->stamps.size(), 66u);

    // The target is held weakly: once it is gone the link invalidates itself and is released.
    target.reset();
    clock.advance(0.1);
    EXPECT_TRUE(weakLink.expired());

    int calls = 0;
    auto closureLink = quartzcore::CADisplayLink::create([&](quartzcore::CADisplayLink& l) {
        if (++calls == 3) l.invalidate();
    });
    closureLink->add(dispatch::RunLoop::main());
    clock.advance(1.0);
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(closureLink->isValid());
}

}  // namespace
