#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playback/AdSignallingService.h"

namespace lumora {
namespace {

// What one check called back, in order: "start <title> #<index>" or "finish <title> #<index> [done]".
struct Recorder {
    std::vector<std::string> calls;

    AdSignallingServiceInterface::StartCallback start() {
        return [this](const AdDisplayInfo& ad, int index) {
            calls.push_back("start " + ad.title + " #" + std::to_string(index));
        };
    }
    AdSignallingServiceInterface::FinishCallback finish() {
        return [this](const AdDisplayInfo& ad, int index, bool completed) {
            calls.push_back("finish " + ad.title + " #" + std::to_string(index) + (completed ? " done" : ""));
        };
    }
    std::vector<std::string> check(AdSignallingService& service, double time, const AdGroups& groups) {
        calls.clear();
        service.check(time, groups, start(), finish());
        return calls;
    }
};

using Calls = std::vector<std::string>;

TEST(AdSignallingService, BreakOfTwoStartsFinishesAndCompletesOneStepPerCheck) {
    const AdGroups groups{{AdInfo("A", 10, 5), AdInfo("B", 15, 5)}};
    auto service = AdSignallingService::create();
    Recorder r;

    // Entering the break in its second ad still starts the first one.
    EXPECT_EQ(r.check(*service, 16, groups), (Calls{"start Ad 1 of 2 #0"}));
    EXPECT_EQ(r.check(*service, 16.1, groups), (Calls{"finish Ad 1 of 2 #0", "start Ad 2 of 2 #1"}));
    EXPECT_EQ(r.check(*service, 20, groups), (Calls{"finish Ad 2 of 2 #1 done"}));
    EXPECT_TRUE(service->currentDisplayAds().empty());
    EXPECT_EQ(r.check(*service, 20.1, groups), Calls{});
}

TEST(AdSignallingService, TitlesCarryPositionCountIdAndDuration) {
    auto service = AdSignallingService::create();
    AdDisplayInfo started;
    service->check(
        11, {{AdInfo("solo", 10, 5)}}, [&](const AdDisplayInfo& ad, int) { started = ad; }, nullptr);
    // A lone ad has no count and no trailing blank.
    EXPECT_EQ(started, AdDisplayInfo("solo", "Ad 1", 5));

    auto three = AdSignallingService::create();
    three->check(0.5, {{}, {AdInfo("x", 0, 1), AdInfo("y", 1, 2.5), AdInfo("z", 3.5, 4)}}, nullptr, nullptr);
    const auto& queue = three->currentDisplayAds();
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue[0], (AdSignallingService::DisplayAd{0, AdDisplayInfo("x", "Ad 1 of 3", 1)}));
    EXPECT_EQ(queue[1], (AdSignallingService::DisplayAd{1, AdDisplayInfo("y", "Ad 2 of 3", 2.5)}));
    EXPECT_EQ(queue[2], (AdSignallingService::DisplayAd{2, AdDisplayInfo("z", "Ad 3 of 3", 4)}));
}

TEST(AdSignallingService, SpanIsHalfOpen) {
    const AdGroups groups{{AdInfo("A", 10, 5)}};
    auto service = AdSignallingService::create();
    Recorder r;
    EXPECT_EQ(r.check(*service, 15, groups), Calls{}) << "the end does not belong to the ad";
    EXPECT_EQ(r.check(*service, 9.999, groups), Calls{});
    EXPECT_EQ(r.check(*service, 10, groups), (Calls{"start Ad 1 #0"})) << "the start does";
    EXPECT_EQ(r.check(*service, 14.999, groups), Calls{});
    EXPECT_EQ(r.check(*service, 15, groups), (Calls{"finish Ad 1 #0 done"})) << "reaching the end finishes it";

    // A zero-length ad never contains a time.
    auto zero = AdSignallingService::create();
    EXPECT_EQ(r.check(*zero, 10, {{AdInfo("Z", 10, 0)}}), Calls{});
}

TEST(AdSignallingService, NothingHappensWithoutAds) {
    auto service = AdSignallingService::create();
    Recorder r;
    for (double t : {0.0, 10.0, 1e9}) {
        EXPECT_EQ(r.check(*service, t, {}), Calls{});
        EXPECT_EQ(r.check(*service, t, {{}, {}}), Calls{});
    }
}

TEST(AdSignallingService, ResetDropsTheBreakSilentlyAndTheNextCheckStartsItAfresh) {
    const AdGroups groups{{AdInfo("A", 10, 5), AdInfo("B", 15, 5)}};
    auto service = AdSignallingService::create();
    Recorder r;
    r.check(*service, 11, groups);
    r.check(*service, 15.5, groups);  // B is shown now

    r.calls.clear();
    service->reset();
    EXPECT_TRUE(r.calls.empty());
    EXPECT_TRUE(service->currentDisplayAds().empty());
    EXPECT_EQ(r.check(*service, 16, groups), (Calls{"start Ad 1 of 2 #0"}));
}

TEST(AdSignallingService, PlayheadMovedBackKeepsTheHeadUntilItsEnd) {
    const AdGroups groups{{AdInfo("A", 10, 5), AdInfo("B", 15, 5)}};
    auto service = AdSignallingService::create();
    Recorder r;
    r.check(*service, 11, groups);
    EXPECT_EQ(r.check(*service, 2, groups), Calls{});
    EXPECT_EQ(r.check(*service, 12, groups), Calls{});
    EXPECT_EQ(r.check(*service, 15, groups), (Calls{"finish Ad 1 of 2 #0", "start Ad 2 of 2 #1"}));
}

TEST(AdSignallingService, JumpPastABreakFinishesOneAdPerCheck) {
    const AdGroups groups{{AdInfo("A", 10, 5), AdInfo("B", 15, 5), AdInfo("C", 20, 5)}};
    auto service = AdSignallingService::create();
    Recorder r;
    r.check(*service, 24, groups);
    EXPECT_EQ(r.check(*service, 100, groups), (Calls{"finish Ad 1 of 3 #0", "start Ad 2 of 3 #1"}));
    EXPECT_EQ(r.check(*service, 100, groups), (Calls{"finish Ad 2 of 3 #1", "start Ad 3 of 3 #2"}));
    EXPECT_EQ(r.check(*service, 100, groups), (Calls{"finish Ad 3 of 3 #2 done"}));
    EXPECT_EQ(r.check(*service, 100, groups), Calls{});
}

TEST(AdSignallingService, LaterGroupWinsAndUnknownHeadHoldsTheQueue) {
    // Overlapping breaks: the scan from the last group picks the later one.
    const AdGroups overlapping{{AdInfo("long", 10, 10)}, {AdInfo("inner1", 12, 2), AdInfo("inner2", 14, 2)}};
    auto service = AdSignallingService::create();
    Recorder r;
    EXPECT_EQ(r.check(*service, 13, overlapping), (Calls{"start Ad 1 of 2 #0"}));
    EXPECT_EQ(service->currentDisplayAds().front().info.id, "inner1");

    // Groups that no longer carry the head's id (replaced without a reset) change nothing.
    const AdGroups other{{AdInfo("other", 0, 100)}};
    EXPECT_EQ(r.check(*service, 50, other), Calls{});
    EXPECT_EQ(service->currentDisplayAds().size(), 2u);
    EXPECT_EQ(r.check(*service, 14, overlapping), (Calls{"finish Ad 1 of 2 #0", "start Ad 2 of 2 #1"}));
}

}  // namespace
}  // namespace lumora
