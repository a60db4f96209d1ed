#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "avfoundation/AVError.h"
#include "avfoundation/AVPlayer.h"
#include "avfoundation/AVPlayerLayer.h"
#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/NotificationCenter.h"
#include "foundation/testing/SilentOrigin.h"

using namespace avfoundation;
using coremedia::CMTime;
using devserver::testing::HlsTestService;
using devserver::testing::mediaPlaylist;
using devserver::testing::multivariantPlaylist;
using Status = AVPlayerItem::Status;
using TCS = AVPlayer::TimeControlStatus;

namespace {

CMTime at(double seconds) {
    return CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

double endOf(const std::vector<coremedia::CMTimeRange>& ranges) {
    return ranges.empty() ? 0.0 : ranges.back().end().seconds();
}

// Counts the posts of one notification of one sender, with their user info.
class NotificationLog {
  public:
    NotificationLog(const foundation::Notification::Name& name, foundation::AnyObject sender) {
        token_ = foundation::NotificationCenter::defaultCenter().addObserver(
            name, std::move(sender), nullptr, [this](const foundation::Notification& n) { posts.push_back(n); });
    }
    ~NotificationLog() { foundation::NotificationCenter::defaultCenter().removeObserver(token_); }
    std::vector<foundation::Notification> posts;

  private:
    std::shared_ptr<foundation::NotificationObserverToken> token_;
};

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {hls}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        hls->setPlaylist("/vod/master.m3u8", multivariantPlaylist({{150000, "640x360", "v/media.m3u8"},
                                                                   {600000, "1280x720", "hi/media.m3u8"}}));
        hls->setPlaylist("/vod/v/media.m3u8", mediaPlaylist(20, 6.0));
    }
    void TearDown() override {
        hls->shutdown();
        server->stop();
    }

    foundation::URL url(const std::string& path) const {
        return *foundation::URL::fromString(server->baseURL() + path);
    }
    static bool runUntil(const std::function<bool()>& predicate) { return avfoundation::testing::runUntil(predicate); }

    // A player with the item of `path`, ready, with `loaded` seconds loaded from the start.
    std::shared_ptr<AVPlayer> readyPlayer(const std::string& path, double loaded, double forwardBuffer = 0) {
        auto item = AVPlayerItem::create(url(path));
        item->setPreferredForwardBufferDuration(forwardBuffer);
        auto player = AVPlayer::create(item);
        EXPECT_TRUE(runUntil([&] { return item->status() != Status::unknown; }));
        EXPECT_EQ(item->status(), Status::readyToPlay) << (item->error() ? item->error()->localizedDescription() : "");
        EXPECT_TRUE(runUntil([&] { return endOf(item->loadedTimeRanges()) >= loaded - 1e-9; }));
        return player;
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<HlsTestService> hls = std::make_shared<HlsTestService>();
    std::shared_ptr<devserver::Server> server;
};

}  // namespace

TEST_F(PlayerTest, AVideoOnDemandBecomesReadyWithItsDurationRangesAndFirstVariant) {
    auto item = AVPlayerItem::create(url("/vod/master.m3u8"));
    EXPECT_EQ(item->status(), Status::unknown);
    NotificationLog accessEntries(AVPlayerItemNewAccessLogEntryNotification, item);
    auto player = AVPlayer::create(item);
    ASSERT_TRUE(runUntil([&] { return item->status() != Status::unknown; }));
    ASSERT_EQ(item->status(), Status::readyToPlay);
    EXPECT_EQ(item->duration(), at(120));
    ASSERT_EQ(item->seekableTimeRanges().size(), 1u);
    EXPECT_EQ(item->seekableTimeRanges()[0], coremedia::CMTimeRangeFromTimeToTime(at(0), at(120)));
    EXPECT_EQ(item->presentationSize().width, 640);
    EXPECT_FALSE(item->isPlaybackBufferEmpty());
    ASSERT_EQ(accessEntries.posts.size(), 1u);
    ASSERT_TRUE(item->accessLog());
    EXPECT_EQ(item->accessLog()->events.back().indicatedBitrate, 150000);

    // The forward buffer (30 s automatic) fills and then loading stops: segments 0...5 and nothing more.
    ASSERT_TRUE(runUntil([&] { return endOf(item->loadedTimeRanges()) >= 36; }));
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(endOf(item->loadedTimeRanges()), 36);
    EXPECT_EQ(hls->requestCount("/vod/v/seg6.ts"), 0);
    EXPECT_EQ(hls->requestCount("/vod/hi/media.m3u8"), 0);
}

TEST_F(PlayerTest, ThePlayheadFollowsRateAndClock) {
    auto player = readyPlayer("/vod/master.m3u8", 36);
    EXPECT_EQ(player->timeControlStatus(), TCS::paused);
    clock.advance(5);
    EXPECT_EQ(player->currentTime(), at(0));

    std::vector<float> ratesSeenInside;
    auto observation =
        player->rateProperty().observe(foundation::NSKeyValueObservingOptions::new_,
                                       [&](const auto& change) { ratesSeenInside.push_back(*change.newValue); });
    player->play();
    ASSERT_EQ(ratesSeenInside, std::vector<float>{1.0f});  // told inside the setter
    EXPECT_EQ(player->timeControlStatus(), TCS::playing);
    clock.advance(4);
    EXPECT_NEAR(player->currentTime().seconds(), 4, 1e-6);
    player->setRate(2);
    clock.advance(3);
    EXPECT_NEAR(player->currentTime().seconds(), 10, 1e-6);
    player->pause();
    EXPECT_EQ(player->timeControlStatus(), TCS::paused);
    clock.advance(10);
    EXPECT_NEAR(player->currentTime().seconds(), 10, 1e-6);
    player->setRate(std::nanf(""));  // holds the playhead
    EXPECT_EQ(player->timeControlStatus(), TCS::waitingToPlayAtSpecifiedRate);
    clock.advance(1);
    EXPECT_NEAR(player->currentTime().seconds(), 10, 1e-6);
}

TEST_F(PlayerTest, SeeksCompleteLaterAndANewerSeekInterruptsTheOlder) {
    auto player = readyPlayer("/vod/master.m3u8", 36);
    std::vector<std::pair<char, bool>> completions;
    player->seek(at(70), at(0), at(0), [&](bool finished) { completions.emplace_back('a', finished); });
    EXPECT_NEAR(player->currentTime().seconds(), 70, 1e-6);  // the playhead moves at once
    player->seek(at(90), at(0), at(0), [&](bool finished) { completions.emplace_back('b', finished); });
    EXPECT_TRUE(completions.empty());  // never inside the call
    ASSERT_TRUE(runUntil([&] { return completions.size() == 2; }));
    EXPECT_EQ(completions[0], std::make_pair('a', false));
    EXPECT_EQ(completions[1], std::make_pair('b', true));
    EXPECT_NEAR(player->currentTime().seconds(), 90, 1e-6);

    // Targets are clamped into the seekable range; a target that is no time fails.
    bool finished = false;
    player->seek(at(500), [&](bool f) { finished = f; });
    ASSERT_TRUE(runUntil([&] { return finished; }));
    EXPECT_NEAR(player->currentTime().seconds(), 120, 1e-6);
    std::optional<bool> invalid;
    player->seek(coremedia::kCMTimeInvalid, [&](bool f) { invalid = f; });
    ASSERT_TRUE(runUntil([&] { return invalid.has_value(); }));
    EXPECT_FALSE(*invalid);
}

TEST_F(PlayerTest, ASeekBeforeReadyBecomesTheStartPosition) {
    auto item = AVPlayerItem::create(url("/vod/master.m3u8"));
    auto player = AVPlayer::create(item);
    std::optional<bool> finished;
    player->seek(at(61), [&](bool f) { finished = f; });
    ASSERT_TRUE(runUntil([&] { return finished.has_value(); }));
    EXPECT_TRUE(*finished);
    EXPECT_EQ(item->status(), Status::readyToPlay);
    EXPECT_NEAR(player->currentTime().seconds(), 61, 1e-6);
    EXPECT_EQ(hls->requestCount("/vod/v/seg0.ts"), 0);
}

TEST_F(PlayerTest, AVideoOnDemandStopsAtItsEndAndSaysSo) {
    hls->setPlaylist("/short/media.m3u8", mediaPlaylist(3, 6.0));
    auto player = readyPlayer("/short/media.m3u8", 18);
    auto item = player->currentItem();
    NotificationLog ends(AVPlayerItemDidPlayToEndTimeNotification, item);
    player->setRate(1.5);
    clock.advance(11);
    EXPECT_NEAR(player->currentTime().seconds(), 16.5, 1e-6);
    EXPECT_TRUE(ends.posts.empty());
    clock.advance(1);
    EXPECT_EQ(ends.posts.size(), 1u);
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_EQ(player->timeControlStatus(), TCS::paused);
    EXPECT_NEAR(player->currentTime().seconds(), 18, 1e-6);
    clock.advance(5);
    EXPECT_EQ(ends.posts.size(), 1u);
    player->play();  // playing at the end ends again at once
    EXPECT_EQ(ends.posts.size(), 2u);
    EXPECT_EQ(player->rate(), 0.0f);
}

TEST_F(PlayerTest, PlaybackStallsWhereTheLoadedMediaEndsAndRecovers) {
    hls->setPlaylist("/slow/media.m3u8", mediaPlaylist(10, 6.0));
    hls->hold("/slow/seg2.ts");
    auto player = readyPlayer("/slow/media.m3u8", 12, /*forwardBuffer=*/6);
    auto item = player->currentItem();
    NotificationLog stalls(AVPlayerItemPlaybackStalledNotification, item);
    std::vector<bool> bufferEmpty;
    auto observation = item->isPlaybackBufferEmptyProperty().observe(
        foundation::NSKeyValueObservingOptions::new_, [&](const auto& c) { bufferEmpty.push_back(*c.newValue); });
    player->play();
    clock.advance(7);
    ASSERT_TRUE(runUntil([&] { return hls->isWaiting("/slow/seg2.ts"); }));
    clock.advance(8);
    EXPECT_NEAR(player->currentTime().seconds(), 12, 1e-6);
    EXPECT_EQ(player->timeControlStatus(), TCS::waitingToPlayAtSpecifiedRate);
    EXPECT_TRUE(item->isPlaybackBufferEmpty());
    EXPECT_EQ(stalls.posts.size(), 1u);
    EXPECT_EQ(item->accessLog()->events.back().numberOfStalls, 1);

    hls->release("/slow/seg2.ts");
    ASSERT_TRUE(runUntil([&] { return player->timeControlStatus() == TCS::playing; }));
    EXPECT_NEAR(player->currentTime().seconds(), 12, 1e-6);
    EXPECT_EQ(bufferEmpty, (std::vector<bool>{true, false}));
    clock.advance(1);
    EXPECT_NEAR(player->currentTime().seconds(), 13, 1e-6);
}

// A segment load that is no longer wanted aborts its transfer: the origin, which never answers, sees the
// connection close at once (a cancel that only reported itself cancelled left it open for the 60-second
// time-out, and the player's connections piled up behind a slow origin).
TEST_F(PlayerTest, AbandonedSegmentLoadsHangUpOnTheirOriginAtOnce) {
    foundation::testing::SilentOrigin silent;
    ASSERT_NE(silent.port(), 0);
    // Segments 0 and 1 come from the origin, the rest from one that never answers.
    std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (int i = 0; i < 10; ++i) {
        playlist += "#EXTINF:6,\n" +
                    (i < 2 ? "seg" + std::to_string(i) + ".ts" : silent.url("/seg" + std::to_string(i) + ".ts")) + "\n";
    }
    hls->setPlaylist("/silent/media.m3u8", playlist + "#EXT-X-ENDLIST\n");
    auto item = AVPlayerItem::create(url("/silent/media.m3u8"));
    auto player = AVPlayer::create(item);
    ASSERT_TRUE(runUntil([&] { return silent.requests().size() == 1; }));
    EXPECT_EQ(item->status(), Status::readyToPlay);
    EXPECT_EQ(silent.requests()[0], "GET /seg2.ts HTTP/1.1");
    EXPECT_EQ(silent.hangUps(), 0);

    // A seek that wants another segment gives up the one on its way.
    bool sought = false;
    player->seek(at(40), [&](bool) { sought = true; });
    ASSERT_TRUE(runUntil([&] { return silent.hangUps() == 1 && silent.requests().size() == 2; }));
    EXPECT_EQ(silent.requests()[1], "GET /seg6.ts HTTP/1.1");

    // So does an item replaced in its player, and one released.
    player->replaceCurrentItem(nullptr);
    ASSERT_TRUE(runUntil([&] { return silent.hangUps() == 2; }));
    EXPECT_TRUE(sought);  // finished (not settled) as its item left
    auto released = AVPlayerItem::create(url("/silent/media.m3u8"));
    player->replaceCurrentItem(released);
    ASSERT_TRUE(runUntil([&] { return silent.requests().size() == 3; }));
    EXPECT_EQ(silent.requests()[2], "GET /seg2.ts HTTP/1.1");
    player = nullptr;
    released = nullptr;
    ASSERT_TRUE(runUntil([&] { return silent.hangUps() == 3; }));
}

TEST_F(PlayerTest, ASegmentErrorIsRetriedAndTheThirdFailureFailsTheItem) {
    hls->setPlaylist("/err/media.m3u8", mediaPlaylist(4, 6.0));
    server->injectFault("/err/seg1.ts", {.status = 500, .times = 1});
    auto player = readyPlayer("/err/media.m3u8", 24);
    auto item = player->currentItem();
    ASSERT_TRUE(item->errorLog());
    EXPECT_EQ(item->errorLog()->events.front().errorStatusCode, 500);
    EXPECT_EQ(item->errorLog()->events.front().errorDomain, "CoreMediaErrorDomain");

    hls->setPlaylist("/dead/media.m3u8", mediaPlaylist(4, 6.0));
    hls->setStatus("/dead/seg1.ts", 404);
    auto dead = AVPlayerItem::create(url("/dead/media.m3u8"));
    NotificationLog failures(AVPlayerItemFailedToPlayToEndTimeNotification, dead);
    ASSERT_TRUE(player->replaceCurrentItem(dead));
    ASSERT_TRUE(runUntil([&] { return dead->status() == Status::failed; }));
    EXPECT_EQ(hls->requestCount("/dead/seg1.ts"), 3);
    ASSERT_TRUE(dead->error());
    EXPECT_TRUE(AVError::is(*dead->error(), AVError::segmentUnavailable));
    EXPECT_NE(dead->error()->localizedDescription().find("(HTTP 404)"), std::string::npos);
    ASSERT_EQ(failures.posts.size(), 1u);  // it had been ready
    const auto* error =
        std::any_cast<foundation::Error>(&failures.posts[0].userInfo.at(AVPlayerItemFailedToPlayToEndTimeErrorKey));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), AVError::segmentUnavailable);
}

TEST_F(PlayerTest, PlaylistFaultsFailTheAssetAndTheItem) {
    hls->setStatus("/missing/master.m3u8", 404);
    auto asset = AVURLAsset::create(url("/missing/master.m3u8"));
    std::atomic<bool> handled{false};
    std::atomic<bool> onMain{true};
    asset->loadValuesAsynchronously({"playable", "tracks"}, [&] {
        onMain = dispatch::DispatchQueue::isMainThread();
        handled = true;
    });
    ASSERT_TRUE(runUntil([&] { return handled.load(); }));
    EXPECT_FALSE(onMain.load());  // a background queue
    std::optional<foundation::Error> error;
    EXPECT_EQ(asset->statusOfValue("playable", &error), AVKeyValueStatus::failed);
    ASSERT_TRUE(error);
    EXPECT_TRUE(AVError::is(*error, AVError::playlistUnavailable));
    EXPECT_NE(error->localizedDescription().find("(HTTP 404)"), std::string::npos);
    EXPECT_FALSE(asset->isPlayable());
    EXPECT_EQ(asset->statusOfValue("tracks", &error), AVKeyValueStatus::failed);
    EXPECT_TRUE(AVError::is(*error, AVError::unsupportedKey));

    hls->setPlaylist("/garbage/master.m3u8", "<html>oops</html>");
    auto garbage = AVPlayerItem::create(url("/garbage/master.m3u8"));
    NotificationLog failures(AVPlayerItemFailedToPlayToEndTimeNotification, garbage);
    auto player = AVPlayer::create(garbage);
    ASSERT_TRUE(runUntil([&] { return garbage->status() == Status::failed; }));
    EXPECT_TRUE(AVError::is(*garbage->error(), AVError::malformedPlaylist));
    EXPECT_TRUE(failures.posts.empty());  // never ready: only the status says it

    hls->setPlaylist("/nomedia/master.m3u8", multivariantPlaylist({{150000, "", "gone.m3u8"}}));
    auto noMedia = AVPlayerItem::create(url("/nomedia/master.m3u8"));
    player->replaceCurrentItem(noMedia);
    ASSERT_TRUE(runUntil([&] { return noMedia->status() == Status::failed; }));
    EXPECT_TRUE(AVError::is(*noMedia->error(), AVError::playlistUnavailable));
    ASSERT_TRUE(noMedia->errorLog());
    EXPECT_EQ(noMedia->errorLog()->events.front().errorStatusCode, 404);

    auto notHTTP = AVURLAsset::create(*foundation::URL::fromString("file:///tmp/x.m3u8"));
    handled = false;
    notHTTP->loadValuesAsynchronously({"playable"}, [&] { handled = true; });
    ASSERT_TRUE(runUntil([&] { return handled.load(); }));
    EXPECT_EQ(notHTTP->statusOfValue("playable", &error), AVKeyValueStatus::failed);
    EXPECT_TRUE(AVError::is(*error, AVError::unsupportedURL));
}

TEST_F(PlayerTest, DegenerateMediaPlaylistsFailTheItemInsteadOfWaitingForEver) {
    // Served in place of the real media playlist, as a misbehaving origin would.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:0,\nseg0.ts\n#EXTINF:0,\nseg1.ts\n#EXT-X-ENDLIST\n",
         "EXTINF duration \"0\" is not a positive number of seconds"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:0\n#EXTINF:0,\nseg0.ts\n#EXT-X-ENDLIST\n",
         "EXT-X-TARGETDURATION \"0\" is not a positive number of seconds"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:1e308,\nseg0.ts\n#EXTINF:1e308,\nseg1.ts\n#EXT-X-ENDLIST\n",
         "last longer than 1000000000 seconds"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1e-9,\nseg0.ts\n#EXTINF:1e-9,\nseg1.ts\n#EXT-X-ENDLIST\n",
         "its segments last no time"},
    };
    auto player = AVPlayer::create(nullptr);
    for (const auto& [playlist, reason] : cases) {
        server->injectFault("/vod/v/media.m3u8", {.status = 200, .body = playlist, .times = 1});
        auto item = AVPlayerItem::create(url("/vod/master.m3u8"));
        player->replaceCurrentItem(item);
        player->play();
        ASSERT_TRUE(runUntil([&] { return item->status() != Status::unknown; })) << reason;
        ASSERT_EQ(item->status(), Status::failed) << reason;
        EXPECT_TRUE(AVError::is(*item->error(), AVError::malformedPlaylist)) << reason;
        EXPECT_NE(item->error()->localizedDescription().find(reason), std::string::npos)
            << item->error()->localizedDescription();
    }
}

// A playlist that needs what the player lacks is refused, not played as something else: the item fails
// naming the tag and its line. A live reload refused so is logged and asked again; the window it would
// have numbered wrongly is left as it was.
TEST_F(PlayerTest, APlaylistThatNeedsWhatThePlayerLacksFailsTheItemNamingTheTagAndLine) {
    const std::string head = "#EXTM3U\n#EXT-X-TARGETDURATION:6\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {head + "#EXTINF:6,\n#EXT-X-BYTERANGE:1000@0\nseg0.ts\n#EXT-X-ENDLIST\n", "(line 4): EXT-X-BYTERANGE"},
        {head + "#EXT-X-MAP:URI=\"init.mp4\"\n#EXTINF:6,\nseg0.ts\n#EXT-X-ENDLIST\n", "(line 3): EXT-X-MAP"},
        {head + "#EXT-X-I-FRAMES-ONLY\n#EXTINF:6,\nseg0.ts\n#EXT-X-ENDLIST\n", "(line 3): EXT-X-I-FRAMES-ONLY"},
        {head + "#EXT-X-SKIP:SKIPPED-SEGMENTS=3\n#EXTINF:6,\nseg3.ts\n", "(line 3): EXT-X-SKIP"},
        {head + "#EXTINF:6,\nseg0.ts\n#EXT-X-GAP\n#EXTINF:6,\nseg1.ts\n#EXT-X-ENDLIST\n", "(line 5): EXT-X-GAP"},
        {"#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-VERSION:4\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\nseg0.ts\n",
         "(line 3): a second EXT-X-VERSION"},
    };
    auto player = AVPlayer::create(nullptr);
    for (const auto& [playlist, reason] : cases) {
        server->injectFault("/vod/v/media.m3u8", {.status = 200, .body = playlist, .times = 1});
        auto item = AVPlayerItem::create(url("/vod/master.m3u8"));
        player->replaceCurrentItem(item);
        ASSERT_TRUE(runUntil([&] { return item->status() != Status::unknown; })) << reason;
        ASSERT_EQ(item->status(), Status::failed) << reason;
        EXPECT_TRUE(AVError::is(*item->error(), AVError::malformedPlaylist)) << reason;
        EXPECT_NE(item->error()->localizedDescription().find(reason), std::string::npos)
            << item->error()->localizedDescription();
        EXPECT_EQ(hls->requestCount("/vod/v/seg0.ts") + hls->requestCount("/vod/v/seg3.ts"), 0) << reason;
    }

    // A live window (read by the asset, then by the item), then delta updates skipping its first three.
    // Shared with the server's threads: the live item reloads until the server stops, after this body returns.
    auto reads = std::make_shared<std::atomic<int>>(0);
    hls->setDynamicPlaylist("/delta/media.m3u8", [reads] {
        if ((*reads)++ < 2) return mediaPlaylist(5, 6.0, /*endList=*/false);
        return std::string(
            "#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-MEDIA-SEQUENCE:0\n"
            "#EXT-X-SKIP:SKIPPED-SEGMENTS=3\n#EXTINF:6,\nseg3.ts\n#EXTINF:6,\nseg4.ts\n"
            "#EXTINF:6,\nseg5.ts\n");
    });
    auto live = readyPlayer("/delta/media.m3u8", 30);
    auto item = live->currentItem();
    const auto window = item->seekableTimeRanges();
    clock.advance(6);
    ASSERT_TRUE(runUntil([&] { return item->errorLog() && !item->errorLog()->events.empty(); }));
    EXPECT_EQ(item->status(), Status::readyToPlay);
    EXPECT_NE(item->errorLog()->events.back().errorComment.value_or("").find("(line 4): EXT-X-SKIP"),
              std::string::npos);
    EXPECT_EQ(item->seekableTimeRanges(), window);
    EXPECT_EQ(hls->requestCount("/delta/seg5.ts"), 0);
}

TEST_F(PlayerTest, AMediaFaultStopsPlaybackAtItsTime) {
    auto player = readyPlayer("/vod/master.m3u8", 36);
    auto item = player->currentItem();
    NotificationLog failures(AVPlayerItemFailedToPlayToEndTimeNotification, item);
    avfoundation::testing::AVPlayerItemTesting::failMediaAt(*item, at(5), foundation::NSError{"Test", 7, "scripted"});
    player->play();
    clock.advance(4.5);
    EXPECT_EQ(item->status(), Status::readyToPlay);
    clock.advance(1);
    EXPECT_EQ(item->status(), Status::failed);
    EXPECT_NEAR(player->currentTime().seconds(), 5, 1e-6);
    EXPECT_EQ(player->rate(), 0.0f);
    ASSERT_EQ(failures.posts.size(), 1u);
    EXPECT_EQ(std::any_cast<foundation::Error>(failures.posts[0].userInfo.at(AVPlayerItemFailedToPlayToEndTimeErrorKey))
                  .localizedDescription(),
              "scripted");
}

TEST_F(PlayerTest, PeriodicObserversFollowMediaTimeOnTheirQueues) {
    auto player = readyPlayer("/vod/master.m3u8", 36);
    std::vector<double> fast;
    int slow = 0;
    auto fastToken = player->addPeriodicTimeObserver(at(0.1), nullptr, [&](CMTime t) { fast.push_back(t.seconds()); });
    auto slowToken =
        player->addPeriodicTimeObserver(at(0.5), &dispatch::DispatchQueue::main(), [&](CMTime) { ++slow; });
    EXPECT_FALSE(player->addPeriodicTimeObserver(at(0), nullptr, [](CMTime) {}).has_value());
    EXPECT_EQ(player->timeObserverCount(), 2u);
    clock.advance(1);
    EXPECT_TRUE(fast.empty());  // paused: nothing moves
    player->play();
    clock.advance(1);
    ASSERT_EQ(fast.size(), 11u);  // the start, then every 0.1 s
    EXPECT_NEAR(fast[0], 0, 1e-9);
    EXPECT_NEAR(fast[1], 0.1, 1e-6);
    EXPECT_NEAR(fast[10], 1.0, 1e-6);
    EXPECT_EQ(slow, 3);
    player->setRate(2);  // twice the media per second
    fast.clear();
    clock.advance(0.5);
    EXPECT_EQ(fast.size(), 11u);
    player->removeTimeObserver(fastToken);
    player->removeTimeObserver(fastToken);  // again: nothing
    fast.clear();
    clock.advance(1);
    EXPECT_TRUE(fast.empty());
    EXPECT_EQ(player->timeObserverCount(), 1u);

    // A background queue gets its calls there.
    dispatch::DispatchQueue background("observer");
    std::atomic<int> calls{0};
    std::atomic<bool> onQueue{true};
    auto token = player->addPeriodicTimeObserver(at(0.25), &background, [&](CMTime) {
        if (!background.isCurrent()) onQueue = false;
        ++calls;
    });
    clock.advance(1);
    ASSERT_TRUE(runUntil([&] { return calls.load() >= 8; }));
    EXPECT_TRUE(onQueue.load());
    player->removeTimeObserver(token);
    player->removeTimeObserver(slowToken);
    background.sync([] {});
}

TEST_F(PlayerTest, ALiveWindowSlidesForwardWithEachReload) {
    // Six-second segments; at clock time t the window holds the five newest of floor(t / 6) + 10.
    hls->setDynamicPlaylist("/live/media.m3u8", [] {
        const double now = dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
        const long long available = static_cast<long long>(std::floor(now / 6.0)) + 10;
        return mediaPlaylist(5, 6.0, /*endList=*/false, available - 5);
    });
    auto player = readyPlayer("/live/media.m3u8", 30);
    auto item = player->currentItem();
    EXPECT_TRUE(item->duration().isIndefinite());
    EXPECT_EQ(item->seekableTimeRanges()[0], coremedia::CMTimeRangeFromTimeToTime(at(0), at(12)));
    EXPECT_NEAR(player->currentTime().seconds(), 12, 1e-6);  // starts at the live edge

    clock.advance(6);
    ASSERT_TRUE(runUntil([&] { return item->seekableTimeRanges()[0].start == at(6); }));
    EXPECT_EQ(item->seekableTimeRanges()[0].end(), at(18));
    clock.advance(6);
    ASSERT_TRUE(runUntil([&] { return item->seekableTimeRanges()[0].start == at(12); }));
    NotificationLog jumps(AVPlayerItemTimeJumpedNotification, item);
    clock.advance(6);  // the window passes the paused playhead, which moves to the window's start
    ASSERT_TRUE(runUntil([&] { return item->seekableTimeRanges()[0].start == at(18); }));
    EXPECT_NEAR(player->currentTime().seconds(), 18, 1e-6);
    EXPECT_EQ(jumps.posts.size(), 1u);
    EXPECT_GE(hls->requestCount("/live/media.m3u8"), 4);
    EXPECT_TRUE(item->duration().isIndefinite());
}

TEST_F(PlayerTest, ALiveItemPlayedFasterThanRealTimeEndsAtItsEdge) {
    hls->setPlaylist("/edge/media.m3u8", mediaPlaylist(5, 6.0, /*endList=*/false));  // a window that never moves
    auto player = readyPlayer("/edge/media.m3u8", 30);
    auto item = player->currentItem();
    NotificationLog ends(AVPlayerItemDidPlayToEndTimeNotification, item);
    NotificationLog stalls(AVPlayerItemPlaybackStalledNotification, item);
    player->setRate(2);
    clock.advance(6);
    ASSERT_TRUE(runUntil([&] { return hls->requestCount("/edge/media.m3u8") >= 2; }));
    clock.advance(4);
    EXPECT_NEAR(player->currentTime().seconds(), 30, 1e-6);
    EXPECT_EQ(ends.posts.size(), 1u);
    EXPECT_TRUE(stalls.posts.empty());
    EXPECT_EQ(player->rate(), 2.0f);  // a live item is not paused at its end
    EXPECT_EQ(player->timeControlStatus(), TCS::waitingToPlayAtSpecifiedRate);

    bool done = false;
    player->seek(at(12), [&](bool) { done = true; });
    ASSERT_TRUE(runUntil([&] { return done; }));
    player->setRate(1);
    clock.advance(18);
    EXPECT_NEAR(player->currentTime().seconds(), 30, 1e-6);
    EXPECT_EQ(ends.posts.size(), 1u);  // at normal speed the edge is a stall
    EXPECT_EQ(stalls.posts.size(), 1u);
}

TEST_F(PlayerTest, CurrentItemChangesAreObservableAlongTheStatusPath) {
    auto player = AVPlayer::create();
    std::vector<std::optional<Status>> statuses;
    auto observation = foundation::observePath(
        player->currentItemProperty(), &AVPlayerItem::statusProperty,
        foundation::NSKeyValueObservingOptions::initial | foundation::NSKeyValueObservingOptions::new_,
        [&](const auto& change) { statuses.push_back(*change.newValue); });
    auto item = AVPlayerItem::create(url("/vod/master.m3u8"));
    player->replaceCurrentItem(item);
    ASSERT_TRUE(runUntil([&] { return item->status() == Status::readyToPlay; }));
    player->replaceCurrentItem(nullptr);
    EXPECT_EQ(statuses,
              (std::vector<std::optional<Status>>{std::nullopt, Status::unknown, Status::readyToPlay, std::nullopt}));
    EXPECT_EQ(player->currentTime(), coremedia::kCMTimeZero);

    auto other = AVPlayer::create(item);
    EXPECT_FALSE(player->replaceCurrentItem(item));  // another player's item
    EXPECT_EQ(player->currentItem(), nullptr);

    auto layer = AVPlayerLayer::create(other);
    layer->setBounds({0, 0, 400, 400});
    EXPECT_EQ(layer->videoRect(), (quartzcore::CGRect{0, 87.5, 400, 225}));
    layer->setVideoGravity(AVLayerVideoGravity::resizeAspectFill);
    EXPECT_EQ(layer->videoRect(), (quartzcore::CGRect{-155.55555555555554, 0, 711.1111111111111, 400}));
    EXPECT_EQ(rawValue(AVLayerVideoGravity::resize), "AVLayerVideoGravityResize");
    EXPECT_EQ(videoGravityFromRawValue("AVLayerVideoGravityResizeAspectFill"), AVLayerVideoGravity::resizeAspectFill);
}

TEST_F(PlayerTest, TheLayerPaintsASyntheticFrameOfTheItemAtItsTime) {
    auto layer = AVPlayerLayer::create(AVPlayer::create());
    layer->setBounds({0, 0, 320, 320});
    auto drawn = [&] {
        auto ctx = coregraphics::CGRecordingContext::create({320, 320});
        layer->render(*ctx);
        return ctx;
    };
    EXPECT_TRUE(drawn()->commands(coregraphics::CGDrawCommand::Kind::drawText).empty());  // no item, no picture

    auto player = readyPlayer("/vod/master.m3u8", 12);
    layer->setPlayer(player);
    auto first = drawn();
    auto texts = first->commands(coregraphics::CGDrawCommand::Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "00:00:00.0");
    // Everything stays inside the picture's rectangle (640 x 360 placed in 320 x 320).
    const auto clips = first->commands(coregraphics::CGDrawCommand::Kind::clip);
    EXPECT_TRUE(std::ranges::any_of(clips, [](const auto& c) {
        return c.rect == quartzcore::CGRect{0, 70, 320, 180};
    }));
    EXPECT_EQ(drawn()->commands().size(), first->commands().size());  // the same time draws the same frame

    player->play();
    clock.advance(3.25);
    texts = drawn()->commands(coregraphics::CGDrawCommand::Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "00:00:03.2");
    const auto ball = [&] { return drawn()->commands(coregraphics::CGDrawCommand::Kind::fillPath).back().path; };
    const auto at3 = ball();
    clock.advance(1);
    EXPECT_NE(ball(), at3);  // the ball moves on with the playhead
}
