#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/Clock.h"
#include "dispatch/Timer.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "kitfoundation/Log.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"

namespace lumora {
namespace {

using coremedia::CMTime;
using coremedia::kPreferredTimescale;

// A media player playing at rate 1 on the manual clock. Each periodic observer is a repeating main-loop
// timer that reports the playhead in nanoseconds, so reported times are exact.
class FakePlayer final : public PlayerInterface, public std::enable_shared_from_this<FakePlayer> {
  public:
    static std::shared_ptr<FakePlayer> create() { return std::shared_ptr<FakePlayer>(new FakePlayer()); }
    ~FakePlayer() override {
        for (auto& [id, timer] : observers_) timer->invalidate();
    }

    std::any addPeriodicTimeObserver(CMTime interval, dispatch::DispatchQueue* queue,
                                     TimeObserverBlock block) override {
        EXPECT_EQ(queue, &dispatch::DispatchQueue::main());
        intervals.push_back(interval);
        lastBlock = block;
        ++addCount;
        const int id = nextId_++;
        std::weak_ptr<FakePlayer> weakSelf = weak_from_this();
        observers_[id] = dispatch::Timer::scheduledTimer(interval.seconds(), true, [weakSelf, block](dispatch::Timer&) {
            if (auto self = weakSelf.lock()) block(self->currentTime());
        });
        return id;
    }

    void removeTimeObserver(const std::any& observer) override {
        ++removeCount;
        const int* id = std::any_cast<int>(&observer);
        ASSERT_NE(id, nullptr) << "not a token of this player";
        auto it = observers_.find(*id);
        if (it == observers_.end()) return;
        it->second->invalidate();
        observers_.erase(it);
    }

    CMTime currentTime() const {
        const auto elapsed = dispatch::Clock::current()->now() - clockAtSeek_;
        return CMTime(playheadAtSeek_.count() + elapsed.count(), kPreferredTimescale);
    }
    void seek(double seconds) {
        playheadAtSeek_ = dispatch::nanosecondsFromSeconds(seconds);
        clockAtSeek_ = dispatch::Clock::current()->now();
    }

    std::size_t observerCount() const { return observers_.size(); }
    std::optional<double> streamDuration() const override { return length; }

    std::optional<double> length;  // the stream's length, once known

    int addCount = 0;
    int removeCount = 0;
    std::vector<CMTime> intervals;
    TimeObserverBlock lastBlock;

  private:
    FakePlayer() = default;

    std::map<int, std::shared_ptr<dispatch::Timer>> observers_;
    int nextId_ = 1;
    dispatch::Nanoseconds playheadAtSeek_{0};
    dispatch::Nanoseconds clockAtSeek_{0};
};

// An event as text.
std::string describe(const AdEvent& event) {
    std::string text = (event.isStart() ? "start " : "finish ") + event.ad().id + " '" + event.ad().title + "' #" +
                       std::to_string(event.indexInGroup());
    if (event.hasAdCompleted()) text += " done";
    return text;
}

class VideoPlayerProxyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        proxy = VideoPlayerProxy::create(AdSignallingService::create());
        subscription =
            std::make_unique<combine::AnyCancellable>(proxy->adEventsPublisher().sink([this](const AdEvent& event) {
                char stamp[32];
                // Stamped with the playhead of the player the proxy watches.
                auto current = std::static_pointer_cast<FakePlayer>(proxy->player());
                std::snprintf(stamp, sizeof stamp, "%.1f ", current ? current->currentTime().seconds() : -1.0);
                events.push_back(stamp + describe(event));
            }));
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<FakePlayer> player = FakePlayer::create();
    std::shared_ptr<VideoPlayerProxy> proxy;
    std::unique_ptr<combine::AnyCancellable> subscription;
    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

TEST_F(VideoPlayerProxyTest, InstallsOneObserverEveryTenthOfASecondOnTheMainQueue) {
    EXPECT_EQ(player->addCount, 0) << "nothing is installed before a player is set";
    proxy->set(player);
    ASSERT_EQ(player->intervals.size(), 1u);
    EXPECT_EQ(player->intervals[0], CMTime(1, 10));
    EXPECT_EQ(player->intervals[0].timescale, kPreferredTimescale);
    EXPECT_EQ(player->observerCount(), 1u);
    EXPECT_EQ(proxy->player(), player);
}

TEST_F(VideoPlayerProxyTest, PlayingThroughABreakSignalsEachAdAtItsBoundaries) {
    proxy->update({{AdInfo("A", 10, 5), AdInfo("B", 15, 5)}});
    proxy->set(player);
    clock.advance(30.0);
    EXPECT_EQ(events, (Events{"10.0 start A 'Ad 1 of 2' #0", "15.0 finish A 'Ad 1 of 2' #0",
                              "15.0 start B 'Ad 2 of 2' #1", "20.0 finish B 'Ad 2 of 2' #1 done"}));
}

TEST_F(VideoPlayerProxyTest, TwoBreaksOfOneAdEach) {
    proxy->update({{AdInfo("A", 10, 5)}, {AdInfo("B", 30, 10)}});
    proxy->set(player);
    clock.advance(50.0);
    EXPECT_EQ(events, (Events{"10.0 start A 'Ad 1' #0", "15.0 finish A 'Ad 1' #0 done", "30.0 start B 'Ad 1' #0",
                              "40.0 finish B 'Ad 1' #0 done"}));
}

TEST_F(VideoPlayerProxyTest, SettingTheSamePlayerTwiceDoesNotDoubleEvents) {
    proxy->update({{AdInfo("A", 1, 1)}});
    proxy->set(player);
    proxy->set(player);
    EXPECT_EQ(player->addCount, 2);
    EXPECT_EQ(player->removeCount, 1);
    EXPECT_EQ(player->observerCount(), 1u);
    clock.advance(3.0);
    EXPECT_EQ(events, (Events{"1.0 start A 'Ad 1' #0", "2.0 finish A 'Ad 1' #0 done"}));
}

TEST_F(VideoPlayerProxyTest, ReplacingThePlayerMovesTheObserver) {
    proxy->update({{AdInfo("A", 1, 1)}});
    proxy->set(player);
    auto second = FakePlayer::create();
    second->seek(0.5);
    proxy->set(second);
    EXPECT_EQ(player->observerCount(), 0u);
    EXPECT_EQ(second->observerCount(), 1u);

    clock.advance(0.5);  // the second player, ahead by half a second, reaches the ad
    EXPECT_EQ(events, (Events{"1.0 start A 'Ad 1' #0"}));
    EXPECT_EQ(player->currentTime(), CMTime(1, 2));
}

TEST_F(VideoPlayerProxyTest, ReleasedProxyRemovesItsObserverAndTicksNoMore) {
    proxy->update({{AdInfo("A", 1, 10)}});
    proxy->set(player);
    clock.advance(0.5);
    std::weak_ptr<VideoPlayerProxy> weakProxy = proxy;
    auto block = player->lastBlock;

    proxy.reset();
    EXPECT_TRUE(weakProxy.expired()) << "the player's observer must not keep the proxy alive";
    EXPECT_EQ(player->observerCount(), 0u);
    EXPECT_EQ(player->removeCount, 1);

    // A firing already on its way after the release finds nothing to do.
    block(CMTime(5, 1));
    clock.advance(5.0);
    EXPECT_TRUE(events.empty());
}

TEST_F(VideoPlayerProxyTest, NewAdGroupsDropTheShownAdWithoutAFinish) {
    const AdGroups groups{{AdInfo("A", 1, 2), AdInfo("B", 3, 2)}};
    proxy->update(groups);
    proxy->set(player);
    clock.advance(1.5);
    ASSERT_EQ(events, (Events{"1.0 start A 'Ad 1 of 2' #0"}));

    proxy->update(groups);
    clock.advance(1.0);  // still inside A: its break starts afresh
    EXPECT_EQ(events, (Events{"1.0 start A 'Ad 1 of 2' #0", "1.6 start A 'Ad 1 of 2' #0"}));
}

TEST_F(VideoPlayerProxyTest, InvalidAdsCountNeitherInTitlesNorInSignalling) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    proxy->update({{AdInfo("A", 1, 1), AdInfo("bad", nan, 1), AdInfo("worse", 1.5, -3)}});
    proxy->set(player);
    clock.advance(3.0);
    EXPECT_EQ(events, (Events{"1.0 start A 'Ad 1' #0", "2.0 finish A 'Ad 1' #0 done"}));
}

// Ads from a hostile list: a break from −50 s lasting 1e308 s would make the whole programme an ad (no controls,
// no scrubbing, no jumps). Such ads are ignored, each with a log line that tells them by position; those that
// only end past the stream are ignored once the player knows the stream's length.
TEST_F(VideoPlayerProxyTest, AdsOffTheStreamAreIgnoredWithALogLineAndNeverMakeTheProgrammeAnAd) {
    const dispatch::testing::ValueScope keepSwitch(debugLogEnabled);
    debugLogEnabled = true;
    ::testing::internal::CaptureStdout();
    proxy->update({{AdInfo("hostile", -50, 1e308)},
                   {AdInfo("A", 10, 5), AdInfo("backwards", 20, -3)},
                   {AdInfo("huge", 40, 1e308), AdInfo("late", 200, 10), AdInfo("end", 110, 10)}});
    EXPECT_EQ(proxy->ads(), (std::vector{AdInfo("A", 10, 5), AdInfo("huge", 40, 1e308), AdInfo("late", 200, 10),
                                         AdInfo("end", 110, 10)}))
        << "the stream's length is not known yet";

    player->length = 120.5;
    proxy->set(player);
    EXPECT_EQ(proxy->adGroups(), (AdGroups{{}, {AdInfo("A", 10, 5)}, {AdInfo("end", 110, 10)}}));
    EXPECT_EQ(proxy->durationWithoutAds(120.5), 105.5);
    EXPECT_EQ(proxy->currentTimeWithoutAds(100), 95);
    EXPECT_EQ(proxy->currentTimeWithAds(50), 55);
    EXPECT_EQ(proxy->timeRangeForAdAt(60), coremedia::kCMTimeRangeZero);
    clock.advance(60.0);
    EXPECT_EQ(events, (Events{"10.0 start A 'Ad 1' #0", "15.0 finish A 'Ad 1' #0 done"}));

    const std::string logged = ::testing::internal::GetCapturedStdout();
    for (const char* line : {"Ad ignored: break 1 ad 1 (start -50.0 s, duration 1e+308 s) has a negative start",
                             "Ad ignored: break 2 ad 2 (start 20.0 s, duration -3.0 s) has a negative duration",
                             "Ad ignored: break 3 ad 1 (start 40.0 s, duration 1e+308 s) has an end past the end",
                             "Ad ignored: break 3 ad 2 (start 200.0 s, duration 10.0 s) has an end past the end"}) {
        EXPECT_NE(logged.find(line), std::string::npos) << line << "\n" << logged;
    }
    EXPECT_EQ(logged.find("hostile"), std::string::npos) << "the host's texts are not repeated";
}

TEST_F(VideoPlayerProxyTest, EveryPublisherSharesTheOneSubject) {
    proxy->update({{AdInfo("A", 0, 10)}});
    proxy->set(player);
    std::vector<AdEvent> second;
    auto extra = proxy->adEventsPublisher().sink([&](const AdEvent& e) { second.push_back(e); });
    player->lastBlock(CMTime(1, 1));
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(second, (std::vector{AdEvent::start(AdDisplayInfo("A", "Ad 1", 10), 0)}));

    subscription->cancel();
    player->lastBlock(CMTime(10, 1));
    EXPECT_EQ(events.size(), 1u) << "a cancelled subscriber hears nothing";
    EXPECT_EQ(second.size(), 2u);
}

// Records what the proxy hands its signalling service.
class RecordingService final : public AdSignallingServiceInterface {
  public:
    void check(double time, const AdGroups& adGroups, const StartCallback& startCallback,
               const FinishCallback&) override {
        times.push_back(time);
        groups = adGroups;
        startCallback(AdDisplayInfo("id", "title", 1), 7);
    }
    void reset() override { ++resets; }
    std::vector<double> times;
    AdGroups groups;
    int resets = 0;
};

TEST(VideoPlayerProxy, TickHandsValidTimesAndTheNestedGroupsToTheService) {
    dispatch::testing::ManualClockScope clock;
    auto service = std::make_shared<RecordingService>();
    auto proxy = VideoPlayerProxy::create(service);
    auto player = FakePlayer::create();
    proxy->set(player);
    const AdGroups groups{{AdInfo("A", 1, 1), AdInfo("B", 2, 1)}, {}, {AdInfo("C", 9, 1)}};
    proxy->update(groups);
    EXPECT_EQ(service->resets, 1);

    std::vector<AdEvent> events;
    auto subscription = proxy->adEventsPublisher().sink([&](const AdEvent& e) { events.push_back(e); });
    player->lastBlock(coremedia::kCMTimeInvalid);
    EXPECT_TRUE(service->times.empty()) << "an invalid time is not examined";
    player->lastBlock(CMTime(2'500'000'000, kPreferredTimescale));
    EXPECT_EQ(service->times, (std::vector{2.5}));
    EXPECT_EQ(service->groups, groups) << "the groups, not the flattened list";
    EXPECT_EQ(events, (std::vector{AdEvent::start(AdDisplayInfo("id", "title", 1), 7)}));
}

TEST(VideoPlayerProxy, AdsDroppedOnceTheLengthIsKnownResetTheServiceWhoeverAskedFirst) {
    dispatch::testing::ManualClockScope clock;
    auto service = std::make_shared<RecordingService>();
    auto proxy = VideoPlayerProxy::create(service);
    auto player = FakePlayer::create();
    proxy->set(player);
    proxy->update({{AdInfo("A", 10, 5)}, {AdInfo("late", 200, 10)}});
    ASSERT_EQ(service->resets, 1);
    player->lastBlock(CMTime(1, 1));
    EXPECT_EQ(service->resets, 1) << "nothing changed";

    // The length arrives; the controls convert a time before the next tick does.
    player->length = 120;
    EXPECT_EQ(proxy->durationWithoutAds(120), 115);
    player->lastBlock(CMTime(2, 1));
    EXPECT_EQ(service->resets, 2) << "the ad past the stream is dropped from what the service shows";
    EXPECT_EQ(service->groups, (AdGroups{{AdInfo("A", 10, 5)}, {}}));
    player->lastBlock(CMTime(3, 1));
    EXPECT_EQ(service->resets, 2) << "once";
}

TEST_F(VideoPlayerProxyTest, SubscriberReplacingGroupsInsideAFinishStartsNothingMore) {
    const AdGroups groups{{AdInfo("A", 1, 1), AdInfo("B", 2, 1)}};
    proxy->update(groups);
    auto replacing = proxy->adEventsPublisher().sink([&](const AdEvent& e) {
        if (e.isFinish()) proxy->update({});
    });
    proxy->set(player);
    clock.advance(4.0);
    EXPECT_EQ(events, (Events{"1.0 start A 'Ad 1 of 2' #0", "2.0 finish A 'Ad 1 of 2' #0"}));
}

}  // namespace
}  // namespace lumora
