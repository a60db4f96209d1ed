#include "controls/ZuLoadedRangesView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace lumora;
using coremedia::CMTimeMakeWithSeconds;
using coremedia::CMTimeRange;
using coremedia::CMTimeRangeMake;
using uikit::CGRect;
using uikit::UIColor;

CMTimeRange seconds(double start, double duration) {
    return CMTimeRangeMake(CMTimeMakeWithSeconds(start, 600), CMTimeMakeWithSeconds(duration, 600));
}

class ZuLoadedRangesViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view = ZuLoadedRangesView::create(CGRect(0, 0, 200, 10));
        view->setTintColor(UIColor::white());
        view->setMinimumValue(0);
        view->setMaximumValue(100);
    }
    std::vector<CGRect> frames() const {
        std::vector<CGRect> out;
        for (const auto& bar : view->subviews()) out.push_back(bar->frame());
        return out;
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<ZuLoadedRangesView> view;
};

TEST_F(ZuLoadedRangesViewTest, DrawsEachRangeAsAFractionOfTheSpan) {
    auto backdrop = uikit::UIView::create(CGRect(0, 0, 200, 10));
    backdrop->setBackgroundColor(UIColor::black());
    backdrop->addSubview(view);
    view->setRanges({seconds(10, 20), seconds(50, 25)});
    backdrop->layoutIfNeeded();
    EXPECT_EQ(frames(), (std::vector<CGRect>{CGRect(20, 0, 40, 10), CGRect(100, 0, 50, 10)}));

    auto pixels = uikit::testing::renderView(*backdrop);
    ASSERT_TRUE(pixels);
    auto at = [&](int x) { return (*pixels->pixel(static_cast<std::uint32_t>(x), 5))[0]; };
    EXPECT_EQ(at(19), 0);  // before the first range
    EXPECT_EQ(at(20), 255);
    EXPECT_EQ(at(59), 255);
    EXPECT_EQ(at(60), 0);  // the gap
    EXPECT_EQ(at(99), 0);
    EXPECT_EQ(at(100), 255);
    EXPECT_EQ(at(149), 255);
    EXPECT_EQ(at(150), 0);

    // Bars take a new tint.
    view->setTintColor(UIColor::red());
    for (const auto& bar : view->subviews()) EXPECT_EQ(bar->backgroundColor(), UIColor::red());
    // A new span moves them at the next layout pass.
    view->setMinimumValue(50);
    view->layoutIfNeeded();
    EXPECT_EQ(frames(), (std::vector<CGRect>{CGRect(-160, 0, 80, 10), CGRect(0, 0, 100, 10)}));
}

TEST_F(ZuLoadedRangesViewTest, StoringRangesMakesTheBarsAgain) {
    view->setRanges({seconds(0, 10), seconds(20, 10)});
    const auto first = view->subviews();
    view->setRanges({seconds(0, 10)});
    ASSERT_EQ(view->subviews().size(), 1u);
    EXPECT_NE(view->subviews()[0], first[0]);
    EXPECT_EQ(view->subviews()[0]->backgroundColor(), UIColor::white());
    view->setRanges({});
    EXPECT_TRUE(view->subviews().empty());
}

TEST_F(ZuLoadedRangesViewTest, AnEmptySpanOrANonFiniteRangeIsNoPlace) {
    // Ranges beyond the span are not clamped: the track clips them.
    view->setRanges({seconds(-10, 20), seconds(90, 30)});
    view->layoutIfNeeded();
    EXPECT_EQ(frames(), (std::vector<CGRect>{CGRect(-20, 0, 40, 10), CGRect(180, 0, 60, 10)}));

    view->setMaximumValue(0);
    view->layoutIfNeeded();
    EXPECT_EQ(frames(), (std::vector<CGRect>{CGRect(0, 0, 0, 10), CGRect(0, 0, 0, 10)}));

    // An indefinite or invalid time ends the pass: that bar and the later ones keep their frames.
    view->setMaximumValue(100);
    view->setRanges({seconds(0, 50), seconds(0, 50), seconds(60, 10)});
    view->layoutIfNeeded();
    for (auto broken : {coremedia::kCMTimeIndefinite, coremedia::kCMTimeInvalid, coremedia::kCMTimePositiveInfinity}) {
        auto ranges = view->ranges();
        ranges[1].duration = broken;
        ranges[2] = seconds(70, 10);
        auto bars = view->subviews();
        const CGRect before1 = bars[1]->frame(), before2 = bars[2]->frame();
        // Keep the bars (same count): store then put the old frames back to see which are placed.
        view->setRanges(ranges);
        bars = view->subviews();
        bars[1]->setFrame(before1);
        bars[2]->setFrame(before2);
        view->setNeedsLayout();
        view->layoutIfNeeded();
        EXPECT_EQ(bars[0]->frame(), CGRect(0, 0, 100, 10));
        EXPECT_EQ(bars[1]->frame(), before1);
        EXPECT_EQ(bars[2]->frame(), before2);
    }
    // Against an infinite span a range is nothing wide.
    view->setRanges({seconds(10, 10)});
    view->setMaximumValue(std::numeric_limits<float>::infinity());
    view->layoutIfNeeded();
    EXPECT_EQ(frames(), std::vector<CGRect>{CGRect(0, 0, 0, 10)});

    // The player's wrappers give their ranges in order.
    auto ranges = timeRanges({CMTimeRangeWrapper::create(seconds(1, 2)), nullptr, CMTimeRangeWrapper::zero()});
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0].start.seconds(), 1);
    EXPECT_EQ(ranges[1].duration.seconds(), 0);
}

}  // namespace
