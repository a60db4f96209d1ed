// The reactive faces of the player view, its media player and its item.
#include <gtest/gtest.h>

#include "playback/ZuPlayerReactive.h"
#include "playback/testing/ZuPlayerTestSupport.h"

using namespace lumora;
using avfoundation::AVPlayerItem;
using coremedia::CMTime;
using coremedia::kPreferredTimescale;
using lumora::testing::runUntil;
using lumora::testing::ZuPlayerTest;

namespace {

template <class T>
struct Recorded {
    std::vector<T> values;
    std::vector<std::string> errors;
    int completions = 0;

    void subscribe(const rx::Observable<T>& stream, rx::DisposeBag& bag) {
        stream
            .subscribe([this](const T& v) { values.push_back(v); },
                       [this](const foundation::Error& e) { errors.push_back(e.localizedDescription()); },
                       [this] { ++completions; })
            .disposed(bag);
    }
};

class ZuPlayerRxTest : public ZuPlayerTest {
  protected:
    void TearDown() override {
        bag = rx::DisposeBag();
        ZuPlayerTest::TearDown();
    }
    rx::DisposeBag bag;
};

}  // namespace

TEST_F(ZuPlayerRxTest, LabelValuesArriveOnALaterTurnAndStatusValuesAtOnce) {
    Recorded<CMTime> times, durations, contentDurations;
    Recorded<ZuPlayer::TimeControlStatus> statuses;
    Recorded<bool> emptyBuffer;
    Recorded<ZuPlayer::LoadedTimeRanges> ranges;
    times.subscribe(player->rx().currentTime(), bag);
    durations.subscribe(player->rx().duration(), bag);
    contentDurations.subscribe(player->rx().durationWithouAds(), bag);
    ranges.subscribe(player->rx().loadedTimeRanges(), bag);
    statuses.subscribe(player->rx().timeControlStatus(), bag);
    emptyBuffer.subscribe(player->rx().isPlaybackBufferEmpty(), bag);
    EXPECT_TRUE(times.values.empty());
    EXPECT_EQ(statuses.values.size(), 1u);
    EXPECT_EQ(emptyBuffer.values, std::vector<bool>{true});
    clock.runUntilIdle();
    EXPECT_EQ(times.values.size(), 1u);
    EXPECT_EQ(durations.values.size(), 1u);
    EXPECT_EQ(contentDurations.values.size(), 1u);
    EXPECT_EQ(ranges.values.size(), 1u);

    player->setCurrentTime(CMTime(7.0, kPreferredTimescale));
    EXPECT_EQ(times.values.size(), 1u);
    clock.runUntilIdle();
    ASSERT_EQ(times.values.size(), 2u);
    EXPECT_EQ(times.values[1].seconds(), 7);

    loadReady(catalogue("vod-clear"));
    player->update({{AdInfo("ad", 10, 20)}});
    clock.runUntilIdle();
    EXPECT_EQ(durations.values.back().seconds(), 120);
    EXPECT_EQ(contentDurations.values.back().seconds(), 100);
    player->play(false);
    EXPECT_NE(statuses.values.back(), ZuPlayer::TimeControlStatus::paused);
}

TEST_F(ZuPlayerRxTest, BindingARateSetsTheRateOfThePlayersMediaPlayer) {
    loadReady(catalogue("vod-clear"));
    buffer();
    Recorded<float> rates;
    rates.subscribe(player->rx().rate(), bag);
    auto rate = player->rx().rate();
    rate.onNext(2.0f);
    EXPECT_EQ(player->avplayer()->rate(), 2.0f);
    EXPECT_EQ(player->rate(), 2.0f);  // followed through the rate observation
    clock.runUntilIdle();
    EXPECT_EQ(rates.values, (std::vector<float>{0.0f, 2.0f}));
}

TEST_F(ZuPlayerRxTest, LoadEmitsOnceOnSuccessAndOnlyTheErrorOnFailure) {
    Recorded<rx::Unit> good, bad;
    good.subscribe(player->rx().load(catalogue("vod-clear"), std::nullopt), bag);
    ASSERT_TRUE(runUntil([&] { return good.completions == 1; }));
    EXPECT_EQ(good.values.size(), 1u);
    bad.subscribe(player->rx().load(url("/missing/master.m3u8"), std::nullopt), bag);
    ASSERT_TRUE(runUntil([&] { return !bad.errors.empty(); }));
    EXPECT_TRUE(bad.values.empty());
    EXPECT_EQ(bad.completions, 0);
}

TEST_F(ZuPlayerRxTest, TheFacesHoldThePlayerWeaklyAndEndQuietlyWhenItGoes) {
    auto own = ZuPlayer::create(5.0, VideoPlayerProxy::create(AdSignallingService::create()));
    auto face = own->rx();
    Recorded<CMTime> times;
    Recorded<rx::Unit> loading;
    times.subscribe(face.currentTime(), bag);
    loading.subscribe(face.load(catalogue("vod-clear"), std::nullopt), bag);
    std::weak_ptr<ZuPlayer> watch = own;
    own.reset();
    EXPECT_TRUE(watch.expired());
    clock.runUntilIdle();
    EXPECT_EQ(times.completions, 1);
    EXPECT_EQ(loading.completions, 1);
    EXPECT_TRUE(loading.values.empty() && loading.errors.empty());

    // Made from a player that is gone: every stream ends at once without an element.
    Recorded<rx::Unit> late;
    Recorded<float> rate;
    late.subscribe(face.load(catalogue("vod-clear"), std::nullopt), bag);
    rate.subscribe(face.rate(), bag);
    face.rate().onNext(1.0f);
    clock.runUntilIdle();
    EXPECT_EQ(late.completions, 1);
    EXPECT_EQ(rate.completions, 1);
    EXPECT_TRUE(late.values.empty() && rate.values.empty());
}

TEST_F(ZuPlayerRxTest, TheItemsFacesFollowItsStatusBufferAndSeekableWindow) {
    origin->setPlaylist("/vod/master.m3u8",
                        devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
    origin->setPlaylist("/vod/media.m3u8", devserver::testing::mediaPlaylist(10, 6.0));
    origin->hold("/vod/media.m3u8");
    ASSERT_FALSE(load(url("/vod/master.m3u8")));
    auto item = player->avplayer()->currentItem();
    ASSERT_TRUE(item);
    Recorded<bool> live;
    Recorded<std::vector<coremedia::CMTimeRange>> loaded;
    Recorded<CMTime> duration;
    live.subscribe(reactive(item).isLiveBroadcast(), bag);
    loaded.subscribe(reactive(item).loadedTimeRanges(), bag);
    duration.subscribe(reactive(item).duration(), bag);
    EXPECT_EQ(live.values, std::vector<bool>{false});  // not ready yet
    EXPECT_TRUE(duration.values.empty());              // no seekable range yet
    origin->release("/vod/media.m3u8");
    ASSERT_TRUE(runUntil([&] { return item->status() == AVPlayerItem::Status::readyToPlay; }));
    EXPECT_EQ(live.values, (std::vector<bool>{false, false}));  // ready, with an end
    ASSERT_FALSE(duration.values.empty());
    EXPECT_EQ(duration.values.back().seconds(), 60);
    EXPECT_FALSE(loaded.values.empty());

    // The item going ends its streams.
    player->resetPlayerItem();
    std::weak_ptr<AVPlayerItem> watch = item;
    item.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(live.completions, 1);
    EXPECT_EQ(loaded.completions, 1);
    EXPECT_EQ(duration.completions, 1);
}

TEST_F(ZuPlayerRxTest, TheMediaPlayersFacesGiveItsItemsAndItsPlayhead) {
    auto avplayer = player->avplayer();
    Recorded<std::shared_ptr<AVPlayerItem>> items;
    items.subscribe(reactive(avplayer).currentItem(), bag);
    EXPECT_EQ(items.values, (std::vector<std::shared_ptr<AVPlayerItem>>{nullptr}));
    loadReady(catalogue("vod-clear"));
    ASSERT_EQ(items.values.size(), 2u);
    EXPECT_EQ(items.values[1], avplayer->currentItem());

    const auto before = avplayer->timeObserverCount();
    Recorded<CMTime> times;
    rx::DisposeBag timesBag;
    times.subscribe(reactive(avplayer).addPeriodicTimeObserver(CMTime(0.5, kPreferredTimescale)), timesBag);
    EXPECT_EQ(avplayer->timeObserverCount(), before + 1);
    player->play(false);
    advance(1, 0.5);
    ASSERT_FALSE(times.values.empty());
    EXPECT_NEAR(times.values.back().seconds(), 1, 1e-6);
    timesBag = rx::DisposeBag();
    EXPECT_EQ(avplayer->timeObserverCount(), before);
}
