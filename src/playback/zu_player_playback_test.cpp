// The player view loading streams from the local back end, and its play, pause and rate rules.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <optional>

#include "avfoundation/testing/MediaWaits.h"
#include "foundation/URLError.h"
#include "playback/testing/ZuPlayerTestSupport.h"

using namespace lumora;
using avfoundation::AVPlayerItem;
using coremedia::CMTime;
using coremedia::kPreferredTimescale;
using lumora::testing::runUntil;
using lumora::testing::ZuPlayerTest;

TEST_F(ZuPlayerTest, AClearStreamLoadsAndItsStateIsPublished) {
    auto item = loadReady(catalogue("vod-clear"));
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    EXPECT_EQ(player->duration().seconds(), 120);
    EXPECT_EQ(player->durationWithoutAds().seconds(), 120);
    EXPECT_EQ(player->DVRStartTime().seconds(), 0);
    buffer();
    EXPECT_FALSE(player->isPlaybackBufferEmpty());
    ASSERT_FALSE(player->loadedTimeRanges().empty());
    EXPECT_GE(player->loadedTimeRanges().back()->range().end().seconds(), 12);
    EXPECT_EQ(delegate->calls("status"), (std::vector<std::string>{"status 0", "status 1"}));
    EXPECT_FALSE(player->isLive());
    EXPECT_FALSE(player->assetResourceLoader());
    EXPECT_TRUE(player->videoView()->resourceLoaderDelegate().expired());
    EXPECT_TRUE(delegate->allOnMain);
}

TEST_F(ZuPlayerTest, AProtectedStreamGetsItsKeysThroughItsOwnLoader) {
    auto item = loadReady(catalogue("vod-protected"), drm());
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay) << item->error()->localizedDescription();
    EXPECT_EQ(licence->keysServed(), 2);
    ASSERT_TRUE(player->assetResourceLoader());
    EXPECT_EQ(player->assetResourceLoader()->settings().certificateURL, server->baseURL() + "/fairplay/certificate");
    EXPECT_EQ(player->videoView()->resourceLoaderDelegate().lock(), player->assetResourceLoader());
    EXPECT_TRUE(delegate->calls("error").empty());
}

TEST_F(ZuPlayerTest, ALicenceRefusalReachesTheDelegateAsADrmErrorOnTheMainThread) {
    licence->setEntitled("viewer", false);
    // Every failure the loader publishes (one per refused key request) is reported once. The loader is
    // the player's once the load has succeeded, before the item asks for its keys.
    std::shared_ptr<DRMAssetResourceLoader> loader;
    std::atomic<int> published{0};
    rx::Disposable counting;
    player->load(catalogue("vod-protected"), drm(), [&](ZuPlayer& loaded, std::optional<foundation::Error> error) {
        ASSERT_FALSE(error);
        loader = loaded.assetResourceLoader();
        ASSERT_TRUE(loader);
        counting = loader->statePublisher().subscribe([&](const std::optional<DRMError>& failure) {
            if (failure) ++published;
        });
    });
    ASSERT_TRUE(runUntil([&] {
        auto item = player->avplayer()->currentItem();
        return item && loader && item->status() == AVPlayerItem::Status::failed && !loader->isRequestingResource() &&
               published > 0 && static_cast<int>(delegate->calls("error").size()) == published;
    }));
    clock.runUntilIdle();
    EXPECT_EQ(static_cast<int>(delegate->calls("error").size()), published.load());
    EXPECT_EQ(delegate->calls("error")[0], "error drm 6");
    EXPECT_TRUE(delegate->allOnMain);
    counting.dispose();
}

TEST_F(ZuPlayerTest, ALoaderReplacedByANewLoadIsNoLongerHeard) {
    // The licence answers come late, refused; the stream is replaced before they arrive. Its key requests
    // go with its item and their licence requests are aborted; the loader, kept alive here, then refuses
    // a key of its own: what it publishes reaches nobody.
    server->injectFault(
        "/fairplay/license",
        {.status = 403, .body = R"({"code":130401})", .delay = std::chrono::milliseconds(300), .times = 2});
    ASSERT_FALSE(load(catalogue("vod-protected"), drm()));
    auto old = player->assetResourceLoader();
    ASSERT_TRUE(runUntil([&] { return old->isRequestingResource(); }));
    loadReady(catalogue("vod-clear"));
    licence->setEntitled("viewer", false);
    auto key = avfoundation::AVAssetResourceLoadingRequest::create(foundation::URLRequest(
        *foundation::URL::fromString("skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=k")));
    ASSERT_TRUE(
        old->resourceLoaderShouldWaitForLoadingOfRequestedResource(avfoundation::AVAssetResourceLoader::create(), key));
    ASSERT_TRUE(runUntil([&] { return old->statePublisher().value().value() == DRMError::licenseRefused; }));
    clock.runUntilIdle();
    EXPECT_TRUE(delegate->calls("error").empty());
}

TEST_F(ZuPlayerTest, AClearLoadDropsThePreviousStreamsLoader) {
    loadReady(catalogue("vod-protected"), drm());
    ASSERT_TRUE(player->assetResourceLoader());
    std::weak_ptr<DRMAssetResourceLoader> old = player->assetResourceLoader();
    loadReady(catalogue("vod-clear"));
    EXPECT_FALSE(player->assetResourceLoader());
    EXPECT_TRUE(player->videoView()->resourceLoaderDelegate().expired());
    // (A licence answer being handled on its session's queue may hold it a moment longer.)
    EXPECT_TRUE(runUntil([&] { return old.expired(); }));
    // So a reload after the background loads the clear stream with no keys.
    player->reloadCurrentStream(CMTime(0.0, kPreferredTimescale), false, false);
    ASSERT_TRUE(runUntil([&] { return delegate->count("did reload") == 1; }));
    EXPECT_FALSE(player->assetResourceLoader());
    EXPECT_EQ(licence->keysServed(), 2);
}

TEST_F(ZuPlayerTest, ALoadErrorReachesOnlyTheCompletionAndKeepsThePreviousItem) {
    // Without an item, a failed load registers no observer (that would hear every item in the process).
    const auto registrations = foundation::NotificationCenter::defaultCenter().observerCount();
    auto failure = load(url("/nothing/master.m3u8"));
    ASSERT_TRUE(failure);
    EXPECT_EQ(foundation::NotificationCenter::defaultCenter().observerCount(), registrations);
    EXPECT_TRUE(delegate->log.empty());

    auto item = loadReady(catalogue("vod-clear"));
    delegate->log.clear();
    EXPECT_TRUE(load(url("/nothing/master.m3u8")));
    EXPECT_EQ(player->avplayer()->currentItem(), item);
    EXPECT_TRUE(delegate->log.empty());
}

// Two loads in flight: the later one is what plays, whichever answers first; the earlier one installs
// nothing and completes as cancelled, and only the item in the player is listened to.
TEST_F(ZuPlayerTest, ALoadOvertakenByALaterOneInstallsNothingAndCompletesAsCancelled) {
    auto& center = foundation::NotificationCenter::defaultCenter();
    const auto master = devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}});
    origin->setPlaylist("/slow/master.m3u8", master);
    origin->setPlaylist("/slow/media.m3u8", devserver::testing::mediaPlaylist(3, 2.0));
    // A player of this test's own, so that what it leaves behind in the centre can be counted.
    player->removeFromSuperview();
    player.reset();
    clock.runUntilIdle();
    const auto withoutPlayer = center.observerCount();
    player = ZuPlayer::create(5.0, proxy);
    player->setDelegate(delegate);
    window->addSubview(player);
    const auto withoutItem = center.observerCount();

    // The slow load waits for its playlist while a fast one loads.
    origin->hold("/slow/master.m3u8");
    std::optional<std::optional<foundation::Error>> slow;
    player->load(url("/slow/master.m3u8"), std::nullopt,
                 [&](ZuPlayer&, std::optional<foundation::Error> error) { slow = std::move(error); });
    ASSERT_TRUE(runUntil([&] { return origin->isWaiting("/slow/master.m3u8"); }));
    auto fast = loadReady(catalogue("vod-clear"));
    ASSERT_TRUE(fast);
    origin->release("/slow/master.m3u8");
    ASSERT_TRUE(runUntil([&] { return slow.has_value(); }));
    clock.runUntilIdle();
    ASSERT_TRUE(*slow) << "an overtaken load reported success";
    EXPECT_TRUE(foundation::URLError::is(**slow, foundation::URLError::cancelled)) << (*slow)->localizedDescription();
    EXPECT_EQ(player->avplayer()->currentItem(), fast);
    EXPECT_EQ(center.observerCount(), withoutItem + 2);  // the end and failure of the one item in the player
    center.post(avfoundation::AVPlayerItemDidPlayToEndTimeNotification, fast);
    clock.runUntilIdle();
    EXPECT_EQ(delegate->count("end"), 1);

    // A reload overtaken by the host's load: the host's stream stays, the reload ends without reloading.
    loadReady(url("/slow/master.m3u8"));
    origin->hold("/slow/master.m3u8");
    delegate->log.clear();
    player->reloadCurrentStream(CMTime(2.0, kPreferredTimescale), false, true);
    ASSERT_TRUE(runUntil([&] { return origin->isWaiting("/slow/master.m3u8"); }));
    auto hosts = loadReady(catalogue("vod-clear"));
    origin->release("/slow/master.m3u8");
    ASSERT_TRUE(runUntil([&] { return delegate->calls("error").size() == 1; }));
    clock.runUntilIdle();
    EXPECT_EQ(player->avplayer()->currentItem(), hosts);
    EXPECT_EQ(delegate->calls("will"), (std::vector<std::string>{"will reload"}));
    EXPECT_EQ(delegate->count("did reload"), 0);
    EXPECT_EQ(delegate->count("begin seek"), 0);
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
    EXPECT_EQ(center.observerCount(), withoutItem + 2);

    player->removeFromSuperview();
    player.reset();
    clock.runUntilIdle();
    EXPECT_EQ(center.observerCount(), withoutPlayer);
}

// A load that fails changes nothing of the stream that is playing: its key loader (and the failures it
// reports) stay, so its keys are still renewed.
TEST_F(ZuPlayerTest, AFailedLoadLeavesThePlayingStreamItsKeyLoader) {
    licence->setRenewalDuration("30");
    auto item = loadReady(catalogue("vod-protected"), drm());
    ASSERT_TRUE(item);
    // Not kept alive here: the player is what keeps the loader of its stream.
    std::weak_ptr<DRMAssetResourceLoader> loader = player->assetResourceLoader();
    ASSERT_TRUE(loader.lock());
    auto idle = [&] {
        auto l = loader.lock();
        return l && !l->isRequestingResource();
    };
    ASSERT_TRUE(runUntil(idle));
    player->play(false);
    buffer();

    for (auto settings : {std::optional<StreamDRMSettings>(), std::optional<StreamDRMSettings>(drm())}) {
        ASSERT_TRUE(load(url("/nothing/master.m3u8"), settings)) << "a load of nothing succeeded";
        EXPECT_EQ(player->assetResourceLoader(), loader.lock());
        EXPECT_EQ(player->videoView()->resourceLoaderDelegate().lock(), loader.lock());
        EXPECT_EQ(player->avplayer()->currentItem(), item);
    }

    // The renewal 30 s on is answered by the same loader.
    const int keys = licence->keysServed();
    advance(31);
    ASSERT_TRUE(runUntil([&] { return licence->keysServed() > keys && idle(); }));
    clock.runUntilIdle();
    EXPECT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    EXPECT_NE(player->avplayer()->rate(), 0.0f);
    EXPECT_TRUE(delegate->calls("error").empty());
    EXPECT_EQ(delegate->count("status 2"), 0);

    // Its refusals still reach the delegate. The clock moves past the next renewal in one step: once the
    // licence is refused no more media arrives, so waiting for it between steps would wait in vain.
    licence->setEntitled("viewer", false);
    clock.advance(31);
    ASSERT_TRUE(runUntil([&] { return !delegate->calls("error").empty(); }));
    EXPECT_EQ(delegate->calls("error")[0], "error drm 6");
}

// A protected stream plays with renewals due every 30 s; a protected load of a playlist that does not
// exist fails; the clock then moves 45 s in 1 s steps. Each key is renewed once, by the playing stream's
// own loader, whether the failed load ended before the renewals fell due or was still pending then (its
// playlist held, its loader pending, until its own 30-second time-out ends it as the renewals fall due).
// Repeated: the two loads' loaders, queues and sessions run side by side.
TEST_F(ZuPlayerTest, AFailedProtectedLoadNeverCostsThePlayingStreamARenewal) {
    const auto await = [](const std::function<bool()>& p) { return avfoundation::testing::runUntil(p); };
    licence->setRenewalDuration("30");
    auto licenceRequests = [&] { return server->requestLog().entries("/fairplay/license").size(); };
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int served = licence->keysServed();
        auto item = loadReady(catalogue("vod-protected"), drm());
        ASSERT_TRUE(item);
        ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
        const auto loader = player->assetResourceLoader();
        ASSERT_TRUE(await([&] { return !loader->isRequestingResource() && licence->keysServed() == served + 2; }));
        player->play(false);
        const auto before = licenceRequests();

        const bool pendingThroughout = round % 2 == 1;
        if (pendingThroughout) origin->hold("/nothing/master.m3u8");
        std::optional<std::optional<foundation::Error>> failed;
        player->load(url("/nothing/master.m3u8"), drm(),
                     [&](ZuPlayer&, std::optional<foundation::Error> error) { failed = std::move(error); });
        if (pendingThroughout) {
            ASSERT_TRUE(await([&] { return origin->isWaiting("/nothing/master.m3u8"); }));
        } else {
            ASSERT_TRUE(await([&] { return failed.has_value(); }));
        }
        for (int second = 0; second < 45; ++second) {
            clock.advance(1);
            dispatch::RunLoop::main().runUntilIdle();
        }
        // Both keys fell due 30 s on: their renewals reach the licence server, once each.
        ASSERT_TRUE(await([&] { return licenceRequests() >= before + 2 && !loader->isRequestingResource(); }))
            << licenceRequests() - before << " renewals";
        if (pendingThroughout) origin->release("/nothing/master.m3u8");
        ASSERT_TRUE(await([&] { return failed.has_value(); }));
        ASSERT_TRUE(*failed) << "a load of nothing succeeded";
        // Held, the failed load ended on its own time-out, 30 s on: when the renewals fell due.
        if (pendingThroughout) {
            EXPECT_NE((*failed)->localizedDescription().find("timed out"), std::string::npos);
        }
        clock.runUntilIdle();
        EXPECT_EQ(licenceRequests(), before + 2);
        EXPECT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
        EXPECT_EQ(player->assetResourceLoader(), loader);
        EXPECT_TRUE(delegate->calls("error").empty());
    }
}

TEST_F(ZuPlayerTest, EachLoadListensToTheEndOfItsOwnItemOnly) {
    auto& center = foundation::NotificationCenter::defaultCenter();
    auto first = loadReady(catalogue("vod-clear"));
    const auto registrations = center.observerCount();
    auto second = loadReady(catalogue("vod-clear"));
    ASSERT_NE(first, second);
    EXPECT_EQ(center.observerCount(), registrations);  // the first item's two observers were removed

    center.post(avfoundation::AVPlayerItemDidPlayToEndTimeNotification, first);
    clock.runUntilIdle();
    EXPECT_EQ(delegate->count("end"), 0);
    center.post(avfoundation::AVPlayerItemDidPlayToEndTimeNotification, second);
    clock.runUntilIdle();
    EXPECT_EQ(delegate->count("end"), 1);

    // A failure to play to the end is a failed status, when the notification carries an error.
    center.post(avfoundation::AVPlayerItemFailedToPlayToEndTimeNotification, second);
    clock.runUntilIdle();
    EXPECT_EQ(delegate->count("status 2"), 0);
    center.post(avfoundation::AVPlayerItemFailedToPlayToEndTimeNotification, second,
                {{avfoundation::AVPlayerItemFailedToPlayToEndTimeErrorKey,
                  std::any(foundation::Error(DRMError(DRMError::keyExchangeFailed)))}});
    clock.runUntilIdle();
    EXPECT_EQ(delegate->count("status 2"), 1);
}

TEST_F(ZuPlayerTest, PlayStartsOnlyAPausedPlayerAtTheChosenSpeed) {
    loadReady(catalogue("vod-clear"));
    buffer();
    delegate->log.clear();
    player->play(false);
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_EQ(delegate->calls("event"), (std::vector<std::string>{"event play"}));
    EXPECT_FALSE(player->isMuted());

    // Playing already: nothing, the mute state included.
    player->play(true);
    EXPECT_FALSE(player->isMuted());
    EXPECT_EQ(delegate->calls("event").size(), 1u);

    // Pausing a paused player is reported only when forced.
    player->pause(false);
    player->pause(false);
    player->pause(true);
    EXPECT_EQ(delegate->calls("event"), (std::vector<std::string>{"event play", "event pause", "event pause"}));

    // A chosen speed of 2 starts at 2 and the sound follows the speed.
    player->changeVideoRate(2.0f);
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);  // chosen while paused: applied at the next start
    player->play(false);
    EXPECT_EQ(player->avplayer()->rate(), 2.0f);
    EXPECT_TRUE(player->isMuted());
    EXPECT_EQ(player->rate(), 2.0f);
    player->changeVideoRate(1.0f);
    EXPECT_FALSE(player->isMuted());  // back to normal: sound on, even though it was muted

    // A speed that is not on the menu plays at 1 but is kept for the next start.
    player->changeVideoRate(1.25f);
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_EQ(player->playbackSpeed(), 1.25f);
    player->pause(false);
    player->play(true);
    EXPECT_EQ(player->avplayer()->rate(), 1.25f);
    EXPECT_TRUE(player->isMuted());
}

TEST_F(ZuPlayerTest, ASpeedThatIsNotAPositiveNumberStartsAtNormalSpeed) {
    for (float speed : {std::nanf(""), 0.0f, -2.0f, std::numeric_limits<float>::infinity()}) {
        player->pause(true);
        player->changeVideoRate(speed);
        player->play(false);
        EXPECT_EQ(player->avplayer()->rate(), 1.0f) << speed;
    }
    // A rate that is not a number counts as playing: play does nothing, the toggle pauses.
    player->avplayer()->setRate(std::nanf(""));
    delegate->log.clear();
    player->play(false);
    EXPECT_TRUE(delegate->calls("event").empty());
    player->togglePlayback();
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
    EXPECT_EQ(delegate->calls("event"), (std::vector<std::string>{"event pause"}));
    EXPECT_EQ(delegate->count("toggle"), 1);
}

TEST_F(ZuPlayerTest, OnlyAFastRateNearALiveEdgeShouldDropToNormal) {
    loadReady(catalogue("vod-clear"));
    player->changeVideoRate(2.0f);
    player->play(false);
    EXPECT_FALSE(player->shouldResetPlaybackRateToNormal(false));
    EXPECT_TRUE(player->shouldResetPlaybackRateToNormal(true));
    player->changeVideoRate(1.0f);
    EXPECT_FALSE(player->shouldResetPlaybackRateToNormal(true));
    EXPECT_FALSE(player->isPlaybackLive(120));
    player->resetPlayerItem();
    EXPECT_FALSE(player->avplayer()->currentItem());
}

TEST_F(ZuPlayerTest, TheAdProxyWatchesTheRealPlayer) {
    loadReady(catalogue("vod-clear"));
    player->update({{AdInfo("a1", 2, 3), AdInfo("a2", 5, 2)}});
    EXPECT_EQ(player->durationWithoutAds().seconds(), 115);
    player->play(false);
    advance(8, 0.5);
    EXPECT_EQ(delegate->calls("ad"), (std::vector<std::string>{"ad start a1 0", "ad finish a1 0", "ad start a2 1",
                                                               "ad finish a2 1 completed"}));
    // The published content time stands still inside ads: 8 s of stream are 3 s of content.
    EXPECT_NEAR(player->currentTime().seconds(), 8, 0.11);
    EXPECT_NEAR(player->currentTimeWithoutAds().seconds(), 3, 0.11);
    EXPECT_TRUE(player->previousNonZeroPlayheadTime());
}
