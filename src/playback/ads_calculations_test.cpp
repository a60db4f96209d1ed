#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "playback/AdSignallingService.h"
#include "playback/CMTimeRangeWrapper.h"
#include "playback/VideoPlayerProxy.h"

namespace lumora {
namespace {

using coremedia::CMTime;
using coremedia::CMTimeRange;
using coremedia::kCMTimeRangeZero;
using coremedia::kPreferredTimescale;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

CMTimeRange rangeFromTo(double start, double end) {
    return coremedia::CMTimeRangeFromTimeToTime(CMTime(start, kPreferredTimescale), CMTime(end, kPreferredTimescale));
}

std::shared_ptr<VideoPlayerProxy> proxyWith(AdGroups groups) {
    auto proxy = VideoPlayerProxy::create(AdSignallingService::create());
    proxy->update(std::move(groups));
    return proxy;
}

// Ads A (10 + 5) and B (30 + 10), as one break and as two: the conversions do not depend on the grouping.
class WorkedExample : public ::testing::TestWithParam<AdGroups> {};

INSTANTIATE_TEST_SUITE_P(Groupings, WorkedExample,
                         ::testing::Values(AdGroups{{AdInfo("A", 10, 5), AdInfo("B", 30, 10)}},
                                           AdGroups{{AdInfo("A", 10, 5)}, {}, {AdInfo("B", 30, 10)}}),
                         [](const ::testing::TestParamInfo<AdGroups>& info) {
                             return info.param.size() == 1 ? std::string("OneBreak") : std::string("TwoBreaks");
                         });

TEST_P(WorkedExample, ConvertsBetweenTimelines) {
    auto proxy = proxyWith(GetParam());

    const std::vector<std::pair<double, double>> withoutAds{{9, 9},   {10, 10}, {12, 10}, {15, 10},
                                                            {20, 15}, {30, 25}, {35, 25}, {50, 35}};
    for (auto [stream, content] : withoutAds) {
        EXPECT_EQ(proxy->currentTimeWithoutAds(stream), content) << "stream time " << stream;
    }
    const std::vector<std::pair<double, double>> withAds{{9, 9}, {10, 15}, {20, 25}, {25, 40}, {30, 45}};
    for (auto [content, stream] : withAds) {
        EXPECT_EQ(proxy->currentTimeWithAds(content), stream) << "content time " << content;
    }
    EXPECT_EQ(proxy->durationWithoutAds(60), 45);
    EXPECT_EQ(proxy->durationWithoutAds(10), -5) << "not clamped";

    const CMTimeRange inA = proxy->timeRangeForAdAt(12);
    EXPECT_EQ(inA.start, CMTime(10, 1));
    EXPECT_EQ(inA.duration, CMTime(5, 1));
    EXPECT_EQ(inA.start.timescale, kPreferredTimescale);
    EXPECT_EQ(proxy->timeRangeForAdAt(15), kCMTimeRangeZero);
    EXPECT_EQ(proxy->timeRangeForAdAt(30), CMTimeRange(CMTime(30, 1), CMTime(10, 1)));
}

TEST_P(WorkedExample, LoadedRangesMoveToContentTimeInTheirOwnOrder) {
    auto proxy = proxyWith(GetParam());
    const auto ranges = proxy->loadedTimeRangesWithoutAds({
        rangeFromTo(12, 14),  // wholly inside A: collapses to A's content position
        rangeFromTo(0, 50),
        rangeFromTo(5, 20),
        {coremedia::kCMTimeInvalid, CMTime(1, 1)},  // no start: dropped
        rangeFromTo(31, 32),
    });
    ASSERT_EQ(ranges.size(), 4u);
    EXPECT_EQ(ranges[0], rangeFromTo(10, 10));
    EXPECT_TRUE(ranges[0].isEmpty());
    EXPECT_EQ(ranges[1], rangeFromTo(0, 35));
    EXPECT_EQ(ranges[2], rangeFromTo(5, 15));
    EXPECT_EQ(ranges[3], rangeFromTo(25, 25));
}

TEST(VideoPlayerProxyCalculations, WithoutAdsEveryConversionIsTheIdentity) {
    auto proxy = proxyWith({{AdInfo("A", 10, 5)}});
    proxy->update({});
    EXPECT_TRUE(proxy->ads().empty());
    EXPECT_TRUE(proxy->adGroups().empty());
    for (double t : {0.0, 10.0, 12.5, 1e6}) {
        EXPECT_EQ(proxy->currentTimeWithoutAds(t), t);
        EXPECT_EQ(proxy->currentTimeWithAds(t), t);
        EXPECT_EQ(proxy->timeRangeForAdAt(t), kCMTimeRangeZero);
    }
    EXPECT_EQ(proxy->durationWithoutAds(60), 60);
    EXPECT_EQ(proxy->loadedTimeRangesWithoutAds({rangeFromTo(3, 7)}), (std::vector{rangeFromTo(3, 7)}));
}

TEST(VideoPlayerProxyCalculations, ZeroLengthAdChangesNothingAndContainsNoTime) {
    auto proxy = proxyWith({{AdInfo("Z", 10, 0)}});
    for (double t : {9.0, 10.0, 11.0}) {
        EXPECT_EQ(proxy->currentTimeWithoutAds(t), t);
        EXPECT_EQ(proxy->currentTimeWithAds(t), t);
    }
    EXPECT_EQ(proxy->timeRangeForAdAt(10), kCMTimeRangeZero);
    EXPECT_EQ(proxy->durationWithoutAds(60), 60);
}

TEST(VideoPlayerProxyCalculations, BackToBackAdsAreCountedByTheRunningValue) {
    auto proxy = proxyWith({{AdInfo("A", 10, 5), AdInfo("B", 15, 5)}});
    EXPECT_EQ(proxy->currentTimeWithAds(10), 20) << "B starts only once A is added, and still counts";
    EXPECT_EQ(proxy->currentTimeWithoutAds(17), 10);
    EXPECT_EQ(proxy->currentTimeWithoutAds(20), 10);
    EXPECT_EQ(proxy->timeRangeForAdAt(15), CMTimeRange(CMTime(15, 1), CMTime(5, 1)));
}

TEST(VideoPlayerProxyCalculations, AdsWithoutAValidSpanAreDroppedFromGroupsAndList) {
    auto proxy = proxyWith({{AdInfo("nan-start", kNaN, 5), AdInfo("A", 10, 5), AdInfo("inf-start", kInf, 1)},
                            {AdInfo("neg-inf", -kInf, 1), AdInfo("nan-duration", 20, kNaN)},
                            {AdInfo("inf-duration", 25, kInf), AdInfo("B", 30, 10), AdInfo("negative", 45, -1)}});
    EXPECT_EQ(proxy->adGroups(), (AdGroups{{AdInfo("A", 10, 5)}, {}, {AdInfo("B", 30, 10)}}));
    EXPECT_EQ(proxy->ads(), (std::vector{AdInfo("A", 10, 5), AdInfo("B", 30, 10)}));
    EXPECT_EQ(proxy->currentTimeWithoutAds(50), 35);
    EXPECT_EQ(proxy->currentTimeWithAds(30), 45);
    EXPECT_EQ(proxy->durationWithoutAds(60), 45);
    EXPECT_EQ(proxy->timeRangeForAdAt(27), kCMTimeRangeZero);
}

TEST(VideoPlayerProxyCalculations, NonNumericTimesDoNotFail) {
    auto proxy = proxyWith({{AdInfo("A", 10, 5)}});
    EXPECT_TRUE(std::isnan(proxy->currentTimeWithoutAds(kNaN)));
    EXPECT_TRUE(std::isnan(proxy->currentTimeWithAds(kNaN)));
    EXPECT_EQ(proxy->timeRangeForAdAt(kNaN), kCMTimeRangeZero);
    EXPECT_EQ(proxy->currentTimeWithoutAds(kInf), kInf);
    // An indefinite end (a live range) gives NaN seconds: the range is dropped, the others stay.
    const auto ranges =
        proxy->loadedTimeRangesWithoutAds({CMTimeRange(CMTime(1, 1), coremedia::kCMTimeIndefinite), rangeFromTo(1, 2)});
    EXPECT_EQ(ranges, (std::vector{rangeFromTo(1, 2)}));
}

TEST(CMTimeRangeWrapper, CarriesItsRangeAndZeroIsFreshEachTime) {
    auto wrapper = CMTimeRangeWrapper::create(rangeFromTo(1, 3));
    EXPECT_EQ(wrapper->range(), rangeFromTo(1, 3));
    auto a = CMTimeRangeWrapper::zero();
    auto b = CMTimeRangeWrapper::zero();
    EXPECT_NE(a, b);
    EXPECT_EQ(a->range(), kCMTimeRangeZero);
}

TEST(AdEvent, CasesAreReadBack) {
    const AdDisplayInfo info("A", "Ad 1", 5);
    const auto start = AdEvent::start(info, 2);
    const auto finish = AdEvent::finish(info, 2, true);
    EXPECT_TRUE(start.isStart());
    EXPECT_FALSE(start.hasAdCompleted());
    EXPECT_TRUE(finish.isFinish());
    EXPECT_TRUE(finish.hasAdCompleted());
    EXPECT_EQ(finish.ad(), info);
    EXPECT_EQ(finish.indexInGroup(), 2);
    EXPECT_NE(start, AdEvent::start(info, 1));
    EXPECT_NE(finish, AdEvent::finish(info, 2, false));
}

// Random layouts of non-overlapping ads (some of zero length, some back to back) in random groups, all on a
// quarter-second grid so that every sum is exact.
struct Layout {
    AdGroups groups;
    std::vector<double> contentStarts;  // where each ad sits on the content timeline
    std::vector<AdInfo> ads;
};

Layout randomLayout(std::mt19937& rng) {
    std::uniform_int_distribution<int> count(0, 8), gap(0, 40), length(0, 24), groupBreak(0, 2);
    Layout layout;
    const int n = count(rng);
    double stream = 0, content = 0;
    layout.groups.emplace_back();
    for (int i = 0; i < n; ++i) {
        const double g = (i > 0 && gap(rng) < 8) ? 0 : gap(rng) * 0.25;  // often back to back
        stream += g;
        content += g;
        const double duration = length(rng) * 0.25;
        AdInfo ad("ad" + std::to_string(i), stream, duration);
        if (groupBreak(rng) == 0) layout.groups.emplace_back();
        if (groupBreak(rng) == 0) layout.groups.emplace_back();  // sometimes an empty group between
        layout.groups.back().push_back(ad);
        layout.ads.push_back(ad);
        layout.contentStarts.push_back(content);
        stream += duration;
    }
    return layout;
}

TEST(VideoPlayerProxyCalculations, RandomLayoutsRoundTripAndStayMonotonic) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        const Layout layout = randomLayout(rng);
        auto proxy = proxyWith(layout.groups);
        ASSERT_EQ(proxy->ads(), layout.ads);

        double previousWith = -kInf, previousWithout = -kInf;
        for (double t = 0; t <= 120; t += 0.25) {
            const double withAds = proxy->currentTimeWithAds(t);
            EXPECT_GT(withAds, previousWith) << "round " << round << " t " << t;
            previousWith = withAds;

            // A content time never lands inside an ad.
            EXPECT_EQ(proxy->timeRangeForAdAt(withAds), kCMTimeRangeZero) << "round " << round << " t " << t;

            const bool onAdStart =
                std::find(layout.contentStarts.begin(), layout.contentStarts.end(), t) != layout.contentStarts.end();
            if (!onAdStart) {
                EXPECT_EQ(proxy->currentTimeWithoutAds(withAds), t) << "round " << round << " t " << t;
            }

            const double withoutAds = proxy->currentTimeWithoutAds(t);
            EXPECT_GE(withoutAds, previousWithout) << "round " << round << " stream " << t;
            previousWithout = withoutAds;
        }
        // Inside an ad the content time is where the ad begins.
        for (std::size_t i = 0; i < layout.ads.size(); ++i) {
            const AdInfo& ad = layout.ads[i];
            if (ad.duration == 0) continue;
            EXPECT_EQ(proxy->currentTimeWithoutAds(ad.startTime + ad.duration / 2), layout.contentStarts[i]);
        }
    }
}

}  // namespace
}  // namespace lumora
