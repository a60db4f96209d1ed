// The player view's seeks and jumps on streams of the local back end.
#include <gtest/gtest.h>

#include <cmath>

#include "casting/testing/FakeCastPlugins.h"
#include "playback/testing/ZuPlayerTestSupport.h"

using namespace lumora;
using avfoundation::AVPlayerItem;
using lumora::testing::runUntil;
using lumora::testing::ZuPlayerTest;

namespace {

// A stream written by the test: 20 segments of 6 s whose requests the test can hold back.
class ZuPlayerSeekTest : public ZuPlayerTest {
  protected:
    void SetUp() override {
        ZuPlayerTest::SetUp();
        origin->setPlaylist("/vod/master.m3u8",
                            devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
        origin->setPlaylist("/vod/media.m3u8", devserver::testing::mediaPlaylist(20, 6.0));
    }

    double position() const { return player->avplayer()->currentTime().seconds(); }

    // Records a seek's completions.
    struct Completion {
        std::vector<bool> calls;
        ZuPlayer::SeekCompletion handler() {
            return [this](bool finished) { calls.push_back(finished); };
        }
    };
};

}  // namespace

TEST_F(ZuPlayerSeekTest, ContentTimesStepOverTheAdsBeforeThem) {
    loadReady(catalogue("vod-clear"));
    player->update({{AdInfo("ad", 10, 20)}});
    delegate->log.clear();

    Completion done;
    player->seek(30, false, true, done.handler());  // 30 s of content: past the 20 s ad at 10 s
    EXPECT_EQ(player->pendingSeekTime()->seconds(), 50);
    EXPECT_EQ(position(), 50);  // the playhead moves at once; the answer comes once the media is there
    settleSeeks();
    EXPECT_EQ(done.calls, std::vector<bool>{true});
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"begin seek", "complete seek"}));

    // A jump adds its seconds in content time: from 5 s, 15 s on lands after the ad, at 40 s.
    player->seek(5, true, false);
    settleSeeks();
    EXPECT_EQ(player->calculateSeekPositionWithAds(5, 15), 40);
    player->jump(15);
    EXPECT_EQ(position(), 40);
    settleSeeks();
    player->didSkip(-15);  // 20 s of content back from 40 s (content 20 s) is 5 s
    EXPECT_EQ(position(), 5);
    settleSeeks();
    EXPECT_EQ(delegate->count("begin seek"), 3);
    EXPECT_EQ(delegate->count("complete seek"), 3);
}

TEST_F(ZuPlayerSeekTest, ASeekToThePositionAlreadyShownFinishesAtOnce) {
    loadReady(url("/vod/master.m3u8"));
    settleSeeks();
    delegate->log.clear();
    Completion done;
    player->seek(0, true, true, done.handler());
    EXPECT_EQ(done.calls, std::vector<bool>{true});
    EXPECT_FALSE(player->hasPendingSeek());
    EXPECT_FALSE(player->hasSeekFallbackObservation());
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"begin seek", "complete seek"}));
    clock.runUntilIdle();
    EXPECT_EQ(done.calls.size(), 1u);

    // Without reporting, only the completion is told.
    player->seek(12, true, false, done.handler());
    settleSeeks();
    EXPECT_EQ(done.calls, (std::vector<bool>{true, true}));
    EXPECT_EQ(delegate->calls().size(), 2u);

    // A target that is not a time is ignored altogether.
    player->seek(std::nan(""), true, true, done.handler());
    EXPECT_FALSE(player->hasPendingSeek());
    clock.runUntilIdle();
    EXPECT_EQ(done.calls.size(), 2u);
    EXPECT_EQ(delegate->calls().size(), 2u);
}

TEST_F(ZuPlayerSeekTest, AnInterruptedSeekClosesItsBracketButLeavesTheNewerSeekPending) {
    loadReady(url("/vod/master.m3u8"));
    settleSeeks();
    delegate->log.clear();
    origin->hold("/vod/seg10.ts");
    Completion first, second;
    // The first target lies past the 30 s the player loads ahead of the start: its media cannot be there
    // yet, so the seek is still waiting when the newer one comes. (Within those 30 s the media may already
    // have arrived, and a seek to it is answered, finished, before the newer seek is made.)
    player->seek(42, true, true, first.handler());
    player->seek(60, true, true, second.handler());
    ASSERT_TRUE(runUntil([&] { return !first.calls.empty(); }));
    EXPECT_EQ(first.calls, std::vector<bool>{false});
    // The older seek's late answer leaves the newer one alone.
    ASSERT_TRUE(player->pendingSeekTime());
    EXPECT_EQ(player->pendingSeekTime()->seconds(), 60);
    EXPECT_TRUE(player->hasSeekFallbackObservation());
    EXPECT_TRUE(second.calls.empty());
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"begin seek", "begin seek", "complete seek"}));

    origin->release("/vod/seg10.ts");
    settleSeeks();
    EXPECT_EQ(second.calls, std::vector<bool>{true});
    EXPECT_FALSE(player->hasSeekFallbackObservation());
    EXPECT_EQ(delegate->count("complete seek"), 2);
}

TEST_F(ZuPlayerSeekTest, ASeekMadeBeforeTheItemIsReadyFinishesOnceWhenItBecomesReady) {
    origin->hold("/vod/media.m3u8");
    auto failure = load(url("/vod/master.m3u8"));
    ASSERT_FALSE(failure);
    auto item = player->avplayer()->currentItem();
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::unknown);
    delegate->log.clear();
    Completion done;
    player->seek(24, true, true, done.handler());
    EXPECT_TRUE(player->hasSeekFallbackObservation());
    origin->release("/vod/media.m3u8");
    settleSeeks();
    EXPECT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    EXPECT_EQ(done.calls, std::vector<bool>{true});
    EXPECT_EQ(position(), 24);
    clock.advance(1);
    EXPECT_EQ(done.calls.size(), 1u);
    EXPECT_EQ(delegate->count("complete seek"), 1);
}

TEST_F(ZuPlayerSeekTest, ASeekWithoutAnItemCompletesUnfinished) {
    Completion done;
    player->seek(10, true, true, done.handler());
    EXPECT_FALSE(player->hasSeekFallbackObservation());
    settleSeeks();
    EXPECT_EQ(done.calls, std::vector<bool>{false});
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"begin seek", "complete seek"}));
}

TEST_F(ZuPlayerSeekTest, AConnectedCastDeviceGetsTheAbsoluteTargetAndThePlayerSeeksToo) {
    loadReady(catalogue("vod-clear"));
    player->update({{AdInfo("ad", 10, 20)}});
    auto cast = CastManager::create();
    auto chromecast = lumora::testing::FakeChromecastPlugin::create();
    cast->set(std::shared_ptr<CastManagerInterface>(chromecast));
    player->setCastManager(cast);

    player->seek(30, false, true);  // not connected: local only
    settleSeeks();
    EXPECT_TRUE(chromecast->calls().empty());

    chromecast->setConnectionState(CastConnectionState::connected);
    player->seek(30, false, true);
    player->jump(-25);  // content 30 s back to 5 s, before the ad
    EXPECT_EQ(chromecast->calls(), (std::vector<std::string>{"seek(50,false,unchanged)", "seek(5,false,unchanged)"}));
    settleSeeks();
    EXPECT_EQ(position(), 5);
}

TEST_F(ZuPlayerSeekTest, NoPositionOfAVideoOnDemandIsLive) {
    EXPECT_FALSE(player->isPlaybackLive(0));
    loadReady(url("/vod/master.m3u8"));
    for (double at : {0.0, 110.0, 120.0, 500.0}) EXPECT_FALSE(player->isPlaybackLive(at)) << at;
}
