// The player view's observations of its media player, the end of an item, the background and reloads.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "casting/testing/FakeCastPlugins.h"
#include "playback/testing/ZuPlayerTestSupport.h"
#include "ui/testing/DeviceScope.h"
#include "uikit/UIApplication.h"

using namespace lumora;
using avfoundation::AVPlayerItem;
using coremedia::CMTime;
using coremedia::kCMTimeZero;
using coremedia::kPreferredTimescale;
using lumora::testing::runUntil;
using lumora::testing::ZuPlayerTest;

namespace {

class ZuPlayerObserversTest : public ZuPlayerTest {
  protected:
    void SetUp() override {
        ZuPlayerTest::SetUp();
        const auto master = devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}});
        origin->setPlaylist("/short/master.m3u8", master);
        origin->setPlaylist("/short/media.m3u8", devserver::testing::mediaPlaylist(3, 2.0));
        // A clear live window of ten 6-second segments that moves with the manual clock.
        origin->setPlaylist("/live/master.m3u8", master);
        origin->setDynamicPlaylist("/live/media.m3u8", [] {
            const double now = dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
            return devserver::testing::mediaPlaylist(10, 6.0, false, static_cast<long long>(now / 6));
        });
    }

    double position() const { return player->avplayer()->currentTime().seconds(); }
    static bool isZero(CMTime t) { return coremedia::CMTimeCompare(t, kCMTimeZero) == 0; }
    uikit::UIApplication& application() { return *uikit::UIApplication::shared(); }
    // A suspended application runs no timers while the wall clock moves on.
    void suspendFor(double seconds) {
        clock.clock().setWallNow(clock.clock().wallNow() + std::chrono::duration_cast<dispatch::WallTime::duration>(
                                                               std::chrono::duration<double>(seconds)));
    }
};

}  // namespace

TEST_F(ZuPlayerObserversTest, ThePublishedStateFollowsEachNewItem) {
    loadReady(catalogue("vod-clear"));
    EXPECT_EQ(player->duration().seconds(), 120);
    loadReady(url("/short/master.m3u8"));
    EXPECT_EQ(player->duration().seconds(), 6);
    EXPECT_EQ(player->durationWithoutAds().seconds(), 6);
    buffer();
    EXPECT_FALSE(player->isPlaybackBufferEmpty());
    EXPECT_EQ(player->loadedTimeRanges().back()->range().end().seconds(), 6);
    EXPECT_EQ(delegate->calls("status"), (std::vector<std::string>{"status 0", "status 1", "status 0", "status 1"}));

    // No item: no seekable window, an empty buffer, and no status to report; the buffered ranges stay.
    player->resetPlayerItem();
    EXPECT_TRUE(isZero(player->duration()));
    EXPECT_TRUE(isZero(player->DVRStartTime()));
    EXPECT_TRUE(isZero(player->durationWithoutAds()));
    EXPECT_TRUE(player->isPlaybackBufferEmpty());
    EXPECT_EQ(player->loadedTimeRanges().back()->range().end().seconds(), 6);
    EXPECT_EQ(delegate->calls("status").size(), 4u);
}

TEST_F(ZuPlayerObserversTest, RateAndStatusFollowTheMediaPlayer) {
    loadReady(catalogue("vod-clear"));
    buffer();
    delegate->log.clear();
    player->setIsMuted(true);
    player->avplayer()->setRate(1.0f);
    EXPECT_EQ(player->rate(), 1.0f);
    EXPECT_FALSE(player->isMuted());  // rate 1 brings the sound back
    EXPECT_EQ(player->timeControlStatus(), ZuPlayer::TimeControlStatus::playing);
    player->avplayer()->setRate(0.5f);
    EXPECT_TRUE(player->isMuted());
    player->avplayer()->pause();
    EXPECT_TRUE(player->isMuted());  // paused counts as another rate
    EXPECT_EQ(player->timeControlStatus(), ZuPlayer::TimeControlStatus::paused);
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"rate 1", "rate 0.5", "rate 0"}));
}

TEST_F(ZuPlayerObserversTest, ThePlayheadIsPublishedOnlyWhileInAViewHierarchy) {
    loadReady(catalogue("vod-clear"));
    player->play(false);
    advance(2, 0.5);
    EXPECT_NEAR(player->currentTime().seconds(), 2, 1e-6);
    EXPECT_NEAR(player->previousNonZeroPlayheadTime()->seconds(), 2, 1e-6);

    player->removeFromSuperview();
    EXPECT_EQ(player->avplayer()->timeObserverCount(), 1u);  // the proxy's only
    advance(1, 0.5);
    EXPECT_NEAR(position(), 3, 1e-6);
    EXPECT_NEAR(player->currentTime().seconds(), 2, 1e-6);  // keeps its last value

    // Moved from one superview straight to another: still one observer of the player's own.
    window->addSubview(player);
    auto holder = uikit::UIView::create(uikit::CGRect{0, 0, 640, 360});
    window->addSubview(holder);
    holder->addSubview(player);
    EXPECT_EQ(player->avplayer()->timeObserverCount(), 2u);
    advance(1, 0.5);
    EXPECT_NEAR(player->currentTime().seconds(), 4, 1e-6);
}

TEST_F(ZuPlayerObserversTest, AVideoOnDemandThatEndsAtDoubleSpeedReportsItsEnd) {
    loadReady(url("/short/master.m3u8"));
    player->changeVideoRate(2.0f);
    player->play(false);
    advance(4, 0.5);
    EXPECT_EQ(delegate->count("end"), 1);
    EXPECT_EQ(delegate->count("begin seek"), 0);
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
}

TEST_F(ZuPlayerObserversTest, ALiveStreamThatCatchesUpAtDoubleSpeedStepsBackAndGoesOnAtNormalSpeed) {
    auto item = loadReady(url("/live/master.m3u8"));
    ASSERT_TRUE(item);
    ASSERT_TRUE(player->isLive());
    EXPECT_EQ(player->duration().seconds(), 42);  // three target durations before the window's end
    EXPECT_TRUE(player->isPlaybackLive(42));
    EXPECT_TRUE(player->isPlaybackLive(32));
    EXPECT_FALSE(player->isPlaybackLive(31.9));
    EXPECT_TRUE(player->shouldResetPlaybackRateToNormal(false) == false);

    player->changeVideoRate(2.0f);
    player->play(false);
    clock.runUntilIdle();  // the playhead is published on the next turn
    EXPECT_TRUE(player->shouldResetPlaybackRateToNormal(false));
    delegate->log.clear();
    for (int i = 0; i < 60 && delegate->count("begin seek") == 0; ++i) advance(0.5, 0.5);
    ASSERT_EQ(delegate->count("begin seek"), 1) << "the edge was never reached";
    EXPECT_EQ(delegate->count("end"), 0);
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_EQ(player->playbackSpeed(), 1.0f);
    EXPECT_FALSE(player->isMuted());
    settleSeeks();
    // Back to one second before the live edge published when the window's end was reached.
    ASSERT_EQ(delegate->seekTargets.size(), 1u);
    EXPECT_EQ(delegate->seekTargets[0], delegate->seekDurations[0] - 1);
    EXPECT_GE(delegate->seekDurations[0], 42);
    EXPECT_LT(position(), player->duration().seconds());
    EXPECT_FALSE(player->shouldResetPlaybackRateToNormal(false));
}

TEST_F(ZuPlayerObserversTest, BackFrom299SecondsPlaybackResumesAndFrom300TheItemIsDropped) {
    loadReady(catalogue("vod-clear"));
    player->setIsMuted(false);
    player->play(true);  // muted by the viewer
    buffer();
    application().simulateResignActive();
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
    EXPECT_TRUE(player->autoplayWhenActive());
    EXPECT_TRUE(player->wasMutedWhenDidResignActive());
    ASSERT_TRUE(player->didResignActiveDate());
    clock.advance(299);
    delegate->log.clear();
    application().simulateBecomeActive();
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_EQ(delegate->calls("event"), (std::vector<std::string>{"event play"}));
    EXPECT_TRUE(player->isMuted());
    EXPECT_TRUE(player->avplayer()->currentItem());

    application().simulateResignActive();
    clock.advance(300);
    delegate->log.clear();
    application().simulateBecomeActive();
    EXPECT_FALSE(player->avplayer()->currentItem());
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"will force reload"}));
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);

    // Dropped whether it was playing or not.
    loadReady(catalogue("vod-clear"));
    application().simulateResignActive();
    EXPECT_FALSE(player->autoplayWhenActive());
    suspendFor(400);
    application().simulateBecomeActive();
    EXPECT_FALSE(player->avplayer()->currentItem());

    // The threshold is the live metrics'.
    const lumora::testing::PlayerAppearanceScope liveMetrics;
    ZuPlayer::metrics().backgroundThreshold = 10;
    loadReady(catalogue("vod-clear"));
    application().simulateResignActive();
    suspendFor(10);
    application().simulateBecomeActive();
    EXPECT_FALSE(player->avplayer()->currentItem());
}

TEST_F(ZuPlayerObserversTest, WithoutARecordedDepartureBecomingActiveNeitherDropsNorPlays) {
    loadReady(catalogue("vod-clear"));
    foundation::NotificationCenter::defaultCenter().post(uikit::UIApplicationDidBecomeActiveNotification);
    EXPECT_TRUE(player->avplayer()->currentItem());
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
    EXPECT_TRUE(delegate->calls("will").empty());
}

// A departure counts once: a later short absence is never measured from an old one, nor from one made
// while casting (which records none).
TEST_F(ZuPlayerObserversTest, EachReturnIsMeasuredFromItsOwnDeparture) {
    loadReady(catalogue("vod-clear"));
    player->play(false);
    buffer();
    application().simulateResignActive();
    suspendFor(5);
    application().simulateBecomeActive();
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_FALSE(player->didResignActiveDate());
    suspendFor(600);  // ten minutes of use

    // A departure while casting records nothing; the cast ends while the application is away.
    auto cast = CastManager::create();
    auto chromecast = lumora::testing::FakeChromecastPlugin::create();
    chromecast->setConnectionState(CastConnectionState::connected);
    cast->set(std::shared_ptr<CastManagerInterface>(chromecast));
    player->setCastManager(cast);
    application().simulateResignActive();
    EXPECT_FALSE(player->didResignActiveDate());
    chromecast->setConnectionState(CastConnectionState::disconnected);
    suspendFor(10);
    delegate->log.clear();
    application().simulateBecomeActive();
    EXPECT_TRUE(player->avplayer()->currentItem());
    EXPECT_TRUE(delegate->calls("will").empty());

    // An ordinary departure after that is measured from itself.
    player->play(false);
    application().simulateResignActive();
    suspendFor(20);
    application().simulateBecomeActive();
    EXPECT_TRUE(player->avplayer()->currentItem());
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_TRUE(delegate->calls("will").empty());
}

TEST_F(ZuPlayerObserversTest, WhileCastingTheApplicationStateLeavesPlaybackAlone) {
    loadReady(catalogue("vod-clear"));
    auto cast = CastManager::create();
    auto chromecast = lumora::testing::FakeChromecastPlugin::create();
    chromecast->setConnectionState(CastConnectionState::connected);
    cast->set(std::shared_ptr<CastManagerInterface>(chromecast));
    player->setCastManager(cast);
    player->play(false);
    application().simulateResignActive();
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_FALSE(player->autoplayWhenActive());
    EXPECT_FALSE(player->didResignActiveDate());
    suspendFor(1000);
    application().simulateBecomeActive();
    EXPECT_TRUE(player->avplayer()->currentItem());
}

TEST_F(ZuPlayerObserversTest, ALiveStreamWhoseKeysFellDueIsReloadedAtTheSameDistanceBehindItsWindow) {
    licence->setRenewalDuration("30");
    auto item = loadReady(catalogue("live-1"), drm());
    ASSERT_TRUE(item);
    ASSERT_TRUE(player->isLive());
    ASSERT_TRUE(runUntil([&] { return !player->assetResourceLoader()->isRequestingResource(); }));
    const int keys = licence->keysServed();
    player->play(false);
    application().simulateResignActive();
    suspendFor(60);
    // 100 s behind the window's start when the application left; the window moved 60 s meanwhile.
    player->setCurrentTime(CMTime(1100.0, kPreferredTimescale));
    player->setDVRStartTime(CMTime(1000.0, kPreferredTimescale));
    delegate->log.clear();
    application().simulateBecomeActive();
    ASSERT_TRUE(runUntil([&] { return delegate->count("did reload") == 1; }));
    EXPECT_EQ(delegate->calls("will"), (std::vector<std::string>{"will reload"}));
    EXPECT_NE(player->avplayer()->currentItem(), item);
    EXPECT_NEAR(position(), 40, 1e-6);
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);  // it was playing
    EXPECT_GT(licence->keysServed(), keys);       // new keys for the new item
    EXPECT_EQ(delegate->count("begin seek"), 1);
    EXPECT_EQ(delegate->count("complete seek"), 1);
}

TEST_F(ZuPlayerObserversTest, AReturnDuringAKeyRequestTakesTheOrdinaryPath) {
    licence->setRenewalDuration("30");
    loadReady(catalogue("vod-protected"), drm());
    ASSERT_TRUE(runUntil([&] { return !player->assetResourceLoader()->isRequestingResource(); }));
    player->play(false);
    buffer();
    application().simulateResignActive();
    server->injectFault("/fairplay/license", {.delay = std::chrono::seconds(20), .times = 2});
    clock.advance(31);  // the renewals go out and wait for their answers
    ASSERT_TRUE(runUntil([&] { return player->assetResourceLoader()->isRequestingResource(); }));
    delegate->log.clear();
    application().simulateBecomeActive();
    EXPECT_TRUE(delegate->calls("will").empty());
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
}

TEST_F(ZuPlayerObserversTest, AReloadWhoseLoadFailsReportsItAndGoesNoFurther) {
    // Nothing to reload without an item.
    player->reloadCurrentStream(kCMTimeZero, false, true);
    EXPECT_TRUE(delegate->log.empty());

    loadReady(url("/short/master.m3u8"));
    origin->setStatus("/short/master.m3u8", 404);
    delegate->log.clear();
    player->reloadCurrentStream(CMTime(2.0, kPreferredTimescale), false, true);
    ASSERT_TRUE(runUntil([&] { return delegate->calls("error").size() == 1; }));
    EXPECT_EQ(delegate->calls("will"), (std::vector<std::string>{"will reload"}));
    EXPECT_TRUE(delegate->calls("error reload ")[0].starts_with("error reload "));
    clock.runUntilIdle();
    EXPECT_EQ(delegate->count("begin seek"), 0);
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);

    // A clear reload that loads: will reload, seek, did reload, and no play when not asked.
    origin->setStatus("/short/master.m3u8", 0);
    delegate->log.clear();
    player->reloadCurrentStream(CMTime(2.0, kPreferredTimescale), true, false);
    ASSERT_TRUE(runUntil([&] { return delegate->count("did reload") == 1; }));
    // The reload is done when its seek is: inside the seek's completion, before the bracket closes.
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"will reload", "status 0", "begin seek", "status 1",
                                                           "did reload", "complete seek"}));
    EXPECT_NEAR(position(), 2, 1e-6);
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
}
