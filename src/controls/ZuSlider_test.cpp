#include "controls/ZuSlider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "controls/RxZuSliderDelegateProxy.h"
#include "controls/testing/ZuSliderProbe.h"
#include "dispatch/Timer.h"
#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"
#include "uikit/UIFocus.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace lumora;
using uikit::CGPoint;
using uikit::CGRect;
using uikit::UIColor;
using uikit::UIImpactFeedbackGenerator;
using uikit::testing::TouchSimulator;

constexpr double kFrame = 1.0 / 60.0;

// Every notification of the slider, in order, with the value it had at that moment.
struct RecordingDelegate : ZuSliderDelegate {
    std::vector<std::string> calls;
    std::vector<float> valuesAtEndOfSettle;
    void sliderWillBeginDragging(ZuSlider&) override { calls.push_back("willBeginDragging"); }
    void sliderDidEndDraggingWillDecelerate(ZuSlider&, bool willDecelerate) override {
        calls.push_back(willDecelerate ? "didEndDragging(true)" : "didEndDragging(false)");
    }
    void sliderWillBeginDecelerating(ZuSlider&) override { calls.push_back("willBeginDecelerating"); }
    void sliderDidEndDecelerating(ZuSlider& slider) override {
        calls.push_back("didEndDecelerating");
        valuesAtEndOfSettle.push_back(slider.value());
    }
};

class ZuSliderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 400, 300));
        window->makeKeyAndVisible();
        slider = ZuSlider::create(CGRect(50, 100, 300, 38));
        slider->setMaximumValue(100);
        delegate = std::make_shared<RecordingDelegate>();
        slider->setDelegate(delegate);
        window->addSubview(slider);
        window->layoutIfNeeded();
    }
    void TearDown() override { uikit::testing::resetInteractionState(); }

    // The thumb's centre in window coordinates.
    CGPoint thumbInWindow() const { return TouchSimulator::centerOf(slider->thumb()); }
    // The window x of a value.
    double windowX(float value) const { return 50 + slider->thumbCenterX(value); }
    // Moves a touch in `steps` steps to window x `toX`, one display frame apart.
    void dragTo(const std::shared_ptr<uikit::UITouch>& touch, double toX, int steps = 6) {
        sim().moveAlong(touch, CGPoint{toX, touch->location(nullptr).y}, steps, kFrame);
    }
    TouchSimulator sim() { return TouchSimulator(window); }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuSlider> slider;
    std::shared_ptr<RecordingDelegate> delegate;
};

TEST_F(ZuSliderTest, ValuesAreStoredByTheSetterRulesAndPlaceTheThumbOnTheTrack) {
    // The track rectangle is the bounds inset by half the thumb on each side: 9 ... 291.
    EXPECT_EQ(slider->trackRect(), CGRect(9, 18, 282, 2));
    EXPECT_EQ(slider->intrinsicContentSize().height, 38);

    slider->setValue(-5);
    EXPECT_EQ(slider->value(), 0);
    slider->setValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(slider->value(), 0);
    slider->setValue(std::numeric_limits<float>::infinity());
    EXPECT_EQ(slider->value(), 0);

    slider->setValue(50, false, false);
    EXPECT_DOUBLE_EQ(slider->thumb()->center().x, 150);
    EXPECT_DOUBLE_EQ(slider->thumb()->center().y, 19);
    EXPECT_DOUBLE_EQ(slider->current()->frame().width(), 150);

    // Above the maximum: stored as it is, drawn at the right end.
    slider->setValue(250, false, false);
    EXPECT_EQ(slider->value(), 250);
    EXPECT_DOUBLE_EQ(slider->thumb()->center().x, 291);
}

TEST_F(ZuSliderTest, AnEmptyInvertedOrNonFiniteRangeKeepsTheThumbAtTheStart) {
    slider->setValue(40, false, false);
    for (auto [minimum, maximum] :
         std::vector<std::pair<float, float>>{{10, 10},
                                              {100, 10},
                                              {0, std::numeric_limits<float>::infinity()},
                                              {std::numeric_limits<float>::quiet_NaN(), 100}}) {
        slider->setMinimumValue(minimum);
        slider->setMaximumValue(maximum);
        slider->layoutIfNeeded();
        slider->setNeedsLayout();
        slider->layoutIfNeeded();
        EXPECT_DOUBLE_EQ(slider->thumb()->center().x, 9) << minimum << " ... " << maximum;
        if (std::isfinite(minimum)) {
            EXPECT_EQ(slider->valueAt(200), minimum);
        }
    }
    // A track without width gives the start of the range whatever the thumb's position.
    slider->setMinimumValue(0);
    slider->setMaximumValue(100);
    slider->setFrame(CGRect(50, 100, 10, 38));
    slider->layoutIfNeeded();
    EXPECT_LE(slider->trackRect().width(), 0);
    EXPECT_EQ(slider->valueAt(120), 0);
}

TEST_F(ZuSliderTest, OnlyTouchesNearTheThumbAreTaken) {
    slider->setValue(50, false, false);
    const CGRect thumbFrame = slider->thumb()->frame();  // in the slider: 141 ... 159
    const double y = 100 + thumbFrame.midY();
    EXPECT_EQ(window->hitTestWith(CGPoint{50 + thumbFrame.maxX() + 21, y}, nullptr), window);
    EXPECT_NE(window->hitTestWith(CGPoint{50 + thumbFrame.maxX() + 19, y}, nullptr), window);

    auto far = sim().begin(CGPoint{50 + thumbFrame.maxX() + 19, y});
    EXPECT_TRUE(slider->isLocked());
    sim().end(far);
    EXPECT_FALSE(slider->isLocked());
}

TEST_F(ZuSliderTest, ADragFollowsTheFingerAndSettlesWhereItWasReleased) {
    slider->setValue(20, false, false);
    std::vector<float> seen;
    rx::DisposeBag bag;
    slider->rx().value().subscribe([&](float v) { seen.push_back(v); }).disposed(bag);
    ASSERT_EQ(seen, std::vector<float>{20});

    auto touch = sim().begin(thumbInWindow());
    EXPECT_TRUE(slider->isLocked());
    EXPECT_FALSE(slider->displayLink()->isPaused());
    EXPECT_EQ(UIImpactFeedbackGenerator::recordedEvents().back().kind,
              UIImpactFeedbackGenerator::RecordedEvent::Kind::impactOccurred);
    clock.advance(0.3);  // the thumb has grown
    EXPECT_DOUBLE_EQ(slider->thumb()->transform().a, 1.7);
    EXPECT_DOUBLE_EQ(slider->thumbShadowLayer()->opacity(), 1.0);
    // Laid out again while scaled, the thumb keeps its size and wears the scale on top.
    slider->setNeedsLayout();
    slider->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(slider->thumb()->bounds().width(), 18);
    EXPECT_NEAR(slider->thumb()->frame().width(), 18 * 1.7, 1e-9);

    dragTo(touch, windowX(70));
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"willBeginDragging"});
    EXPECT_NEAR(slider->value(), 70, 0.01);
    EXPECT_GT(seen.size(), 6u);  // one value per frame while held

    // The player's time updates do not move a held thumb.
    slider->setValue(5, false, false);
    EXPECT_NEAR(slider->value(), 70, 0.01);

    // Moved and released within one frame: the value is where the finger let go.
    sim().move(touch, CGPoint{windowX(75), thumbInWindow().y});
    sim().end(touch);
    EXPECT_NEAR(slider->value(), 75, 0.01);
    EXPECT_FALSE(slider->isLocked());
    EXPECT_TRUE(slider->displayLink()->isPaused());
    EXPECT_TRUE(slider->isSettling());
    EXPECT_EQ(delegate->calls,
              (std::vector<std::string>{"willBeginDragging", "willBeginDecelerating", "didEndDragging(true)"}));

    clock.advance(0.9);
    EXPECT_TRUE(slider->isSettling());
    clock.advance(0.2);
    EXPECT_FALSE(slider->isSettling());
    EXPECT_EQ(delegate->calls.back(), "didEndDecelerating");
    EXPECT_NEAR(delegate->valuesAtEndOfSettle.at(0), 75, 0.01);
    EXPECT_TRUE(slider->thumb()->transform().isIdentity());

    // Settled: programmatic updates move it again.
    slider->setValue(10, false, false);
    EXPECT_EQ(slider->value(), 10);
}

TEST_F(ZuSliderTest, AScrubWhileThePlayerKeepsTickingLandsWhereItWasReleased) {
    // The player writes its time every 0.1 s, as the controls do.
    float playhead = 30;
    auto ticker = dispatch::Timer::scheduledTimer(0.1, true, [&](dispatch::Timer&) {
        playhead += 0.1f;
        slider->setValue(playhead, false, false);
    });
    clock.advance(0.15);
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(80), 12);
    sim().end(touch);
    const float released = slider->value();
    EXPECT_NEAR(released, 80, 0.01);
    clock.advance(2.0);  // settles while the ticks keep coming
    ticker->invalidate();
    ASSERT_EQ(delegate->valuesAtEndOfSettle.size(), 1u);
    EXPECT_EQ(delegate->valuesAtEndOfSettle[0], released);
}

TEST_F(ZuSliderTest, ASettlingCutShortEndsOnceAndAtOnce) {
    slider->setValue(20, false, false);
    auto first = sim().begin(thumbInWindow());
    dragTo(first, windowX(40));
    sim().end(first);
    clock.advance(0.4);

    // A new hold on the thumb ends the first settling now, with the first release's value.
    auto second = sim().begin(thumbInWindow());
    EXPECT_EQ(delegate->valuesAtEndOfSettle.size(), 1u);
    EXPECT_NEAR(delegate->valuesAtEndOfSettle[0], 40, 0.01);
    dragTo(second, windowX(60));
    sim().end(second);
    clock.advance(0.5);

    // A forced animated move ends the second settling too, before it changes the value.
    slider->setValue(90, true, true);
    EXPECT_EQ(slider->value(), 90);
    clock.advance(3.0);
    ASSERT_EQ(delegate->valuesAtEndOfSettle.size(), 2u);
    EXPECT_NEAR(delegate->valuesAtEndOfSettle[1], 60, 0.01);
    const auto ends = std::count(delegate->calls.begin(), delegate->calls.end(), "didEndDecelerating");
    const auto begins = std::count(delegate->calls.begin(), delegate->calls.end(), "willBeginDecelerating");
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(begins, 2);

    // Leaving the superview while settling ends the settling, and a held slider lets go.
    auto third = sim().begin(thumbInWindow());
    dragTo(third, windowX(20));
    sim().end(third);
    auto fourth = sim().begin(thumbInWindow());
    ASSERT_TRUE(slider->isLocked());
    slider->removeFromSuperview();
    EXPECT_FALSE(slider->isLocked());
    EXPECT_EQ(slider->displayLink(), nullptr);
    EXPECT_EQ(slider->impactFeedback(), nullptr);
    sim().end(fourth);
    clock.advance(2.0);
    EXPECT_EQ(delegate->valuesAtEndOfSettle.size(), 3u);
}

TEST_F(ZuSliderTest, ACancelledDragSendsOnlyItsEnd) {
    slider->setValue(20, false, false);
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(50));
    sim().cancel(touch);
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"willBeginDragging", "didEndDragging(false)"}));
    EXPECT_FALSE(slider->isLocked());
    EXPECT_FALSE(slider->isSettling());
    clock.advance(2.0);
    EXPECT_EQ(delegate->calls.size(), 2u);
}

TEST_F(ZuSliderTest, DraggingPastEitherEndKeepsTheThumbOnTheTrack) {
    slider->setValue(50, false, false);
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, 390);
    EXPECT_DOUBLE_EQ(slider->thumb()->center().x, 291);
    EXPECT_NEAR(slider->value(), 100, 0.01);
    dragTo(touch, 0);
    EXPECT_DOUBLE_EQ(slider->thumb()->center().x, 9);
    EXPECT_NEAR(slider->value(), 0, 0.01);
    sim().end(touch);
}

TEST_F(ZuSliderTest, AnAnimatedUpdateIsSampledAsDrawnAndTheFastJumpTimerHoldsUnforcedUpdates) {
    slider->setValue(10, true, false);
    clock.advance(0.05);
    const double drawn = slider->thumb()->presentation().center.x;
    EXPECT_GT(drawn, slider->thumbCenterX(0));
    EXPECT_LT(drawn, slider->thumbCenterX(10));

    auto timer = dispatch::Timer::scheduledTimer(10, false, [](dispatch::Timer&) {});
    lumora::testing::ZuSliderProbe::setContinuousFastJumpInterval(*slider, timer);
    slider->setValue(30, false, false);
    EXPECT_EQ(slider->value(), 10);
    slider->setValue(30, false, true);
    EXPECT_EQ(slider->value(), 30);
    timer->invalidate();
    slider->setValue(40, false, false);
    EXPECT_EQ(slider->value(), 40);
}

TEST_F(ZuSliderTest, FocusGrowsTheThumbAndLosingItUnlocks) {
    uikit::UIFocusSystem::shared().setIsEnabled(true);
    ASSERT_TRUE(uikit::UIFocusSystem::shared().moveFocus(slider));
    clock.advance(0.3);
    EXPECT_DOUBLE_EQ(slider->thumb()->transform().a, 1.5);
    EXPECT_DOUBLE_EQ(slider->thumbShadowLayer()->transform().a, 1.3);

    slider->setIsLocked(true);
    ASSERT_TRUE(uikit::UIFocusSystem::shared().clearFocus());
    EXPECT_FALSE(slider->isLocked());
    auto trigger = lumora::testing::ZuSliderProbe::directionalPanCancelTrigger(*slider);
    ASSERT_NE(trigger, nullptr);
    clock.advance(0.3);
    EXPECT_TRUE(slider->thumb()->transform().isIdentity());

    // A running fast jump keeps the focus where it is.
    ASSERT_TRUE(uikit::UIFocusSystem::shared().moveFocus(slider));
    lumora::testing::ZuSliderProbe::setIsContinuousFastJumpRunning(*slider, true);
    EXPECT_FALSE(uikit::UIFocusSystem::shared().clearFocus());
    lumora::testing::ZuSliderProbe::setIsContinuousFastJumpRunning(*slider, false);
    uikit::UIFocusSystem::shared().setIsEnabled(std::nullopt);
}

TEST_F(ZuSliderTest, TheDelegateProxyForwardsToItsForwardDelegate) {
    auto forward = std::make_shared<RecordingDelegate>();
    auto installed = RxZuSliderDelegateProxy::installForwardDelegate(forward, false, slider);
    // The proxy is now the slider's delegate; the earlier delegate is no longer told.
    EXPECT_EQ(slider->delegate(), RxZuSliderDelegateProxy::proxy(slider));
    slider->setValue(20, false, false);
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(30));
    sim().end(touch);
    clock.advance(1.5);
    EXPECT_EQ(forward->calls, (std::vector<std::string>{"willBeginDragging", "willBeginDecelerating",
                                                        "didEndDragging(true)", "didEndDecelerating"}));
    EXPECT_TRUE(delegate->calls.empty());
    EXPECT_EQ(RxZuSliderDelegateProxy::proxy(slider)->sliderValueToJump(*slider, 1, false), std::nullopt);
    installed.dispose();
    EXPECT_EQ(RxZuSliderDelegateProxy::proxy(slider)->forwardToDelegate(), nullptr);
    EXPECT_EQ(fastJumpDirectionFromRawValue(-1), FastJumpDirection::backward);
    EXPECT_EQ(fastJumpDirectionFromRawValue(0), std::nullopt);
}

TEST_F(ZuSliderTest, LooksLikeASeekBar) {
    auto backdrop = uikit::UIView::create(CGRect(0, 0, 200, 38));
    backdrop->setBackgroundColor(UIColor(0.1, 1.0));
    auto bar = ZuSlider::create(CGRect(0, 0, 200, 38));
    bar->setTintColor(UIColor::systemRed());
    backdrop->addSubview(bar);
    bar->setMaximumValue(100);
    bar->loadedRangesView()->setRanges({coremedia::CMTimeRangeMake(coremedia::CMTimeMakeWithSeconds(0, 600),
                                                                   coremedia::CMTimeMakeWithSeconds(60, 600))});
    bar->setValue(35, false, false);
    EXPECT_SNAPSHOT(*backdrop, "slider");
}

}  // namespace
