// Playlists that try to hold the main thread: many keys, a very long playlist, a read that outlives its
// item. Each is generated here, never stored.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "avfoundation/AVError.h"
#include "avfoundation/AVPlayer.h"
#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/Timer.h"
#include "dispatch/testing/ManualClockScope.h"

using namespace avfoundation;
using avfoundation::testing::AVPlayerItemTesting;
using avfoundation::testing::runUntil;
using Status = AVPlayerItem::Status;

namespace {

// The bound of a wait for a playlist of hostile size to be fetched and read (about a second under the
// sanitizers); what follows the read is waited for as any local media.
constexpr std::chrono::seconds kHostileRead{20};

// A media playlist whose `keys` key lines each name a key of their own before one segment (about 220 bytes
// a key, as a packager writes them).
std::string manyKeys(int keys) {
    std::string text = "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:4\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (int i = 0; i < keys; ++i) {
        text += "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://keys.example.com/fairplay/license?contentId=asset-1&keyId=k" +
                std::to_string(i) + "\",KEYFORMAT=\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n" +
                "#EXTINF:4.000,\nsegment_" + std::to_string(i) + ".ts\n";
    }
    return text + "#EXT-X-ENDLIST\n";
}

// Counts the key requests it is asked, and answers none.
class CountingKeyDelegate final : public AVAssetResourceLoaderDelegate {
  public:
    bool resourceLoaderShouldWaitForLoadingOfRequestedResource(
        const std::shared_ptr<AVAssetResourceLoader>&, const std::shared_ptr<AVAssetResourceLoadingRequest>&) override {
        ++asked;
        return true;
    }
    std::atomic<int> asked{0};
};

// A queue a test can hold: nothing queued behind `hold()` runs until `release()`.
class HeldQueue {
  public:
    std::shared_ptr<dispatch::DispatchQueue> queue = std::make_shared<dispatch::DispatchQueue>("held");

    void hold() {
        queue->async([this] {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return released_; });
        });
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        cv_.notify_all();
    }
    ~HeldQueue() {
        release();
        queue->sync([] {});  // the held block is done with this object
    }

  private:
    std::mutex mutex_;  // guards released_
    std::condition_variable cv_;
    bool released_ = false;
};

class HostilePlaylists : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {hls}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        hls->setSegmentSize(188);
    }
    void TearDown() override {
        hls->shutdown();
        server->stop();
    }

    // Serves `media` as the only variant of "/<name>/master.m3u8"; the item of that master playlist.
    std::shared_ptr<AVPlayerItem> item(const std::string& name, std::string media) {
        hls->setPlaylist("/" + name + "/master.m3u8",
                         devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
        hls->setPlaylist("/" + name + "/media.m3u8", std::move(media));
        auto asset = AVURLAsset::create(*foundation::URL::fromString(server->baseURL() + "/" + name + "/master.m3u8"));
        asset->resourceLoader()->setDelegate(keys, nullptr);
        return AVPlayerItem::create(asset);
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::testing::HlsTestService> hls = std::make_shared<devserver::testing::HlsTestService>();
    std::shared_ptr<devserver::Server> server;
    std::shared_ptr<CountingKeyDelegate> keys = std::make_shared<CountingKeyDelegate>();
};

}  // namespace

// 40,000 keys make 8.7 MB of text (the bench reads 200,000, 44 MB): the player was held for seconds
// comparing each key line with every key seen, and would then have asked for 40,000 licences. Now the
// read stops at the key past the bound, off the main queue, well within a second under the sanitizers;
// the text (served, received) is the largest memory cost, under 40 MB.
TEST_F(HostilePlaylists, ManyKeysFailTheItemWithAClearErrorAndNoKeyIsAsked) {
    auto hostile = item("keys", manyKeys(40000));
    auto player = AVPlayer::create(hostile);
    ASSERT_TRUE(runUntil([&] { return hostile->status() != Status::unknown; }, kHostileRead));
    ASSERT_EQ(hostile->status(), Status::failed);
    EXPECT_TRUE(AVError::is(*hostile->error(), AVError::malformedPlaylist));
    EXPECT_NE(hostile->error()->localizedDescription().find("names more than 1000 content keys"), std::string::npos)
        << hostile->error()->localizedDescription();
    EXPECT_EQ(keys->asked.load(), 0);
}

TEST_F(HostilePlaylists, PlaylistsAreReadOffTheMainQueueWhichStaysFree) {
    HeldQueue reading;
    auto ready = item("held", devserver::testing::mediaPlaylist(20, 6.0));
    AVPlayerItemTesting::readPlaylistsOn(*ready, reading.queue);
    reading.hold();
    auto player = AVPlayer::create(ready);
    ASSERT_TRUE(runUntil([&] { return hls->requestCount("/held/media.m3u8") == 1; }));
    // The playlist waits to be read; the main queue goes on with its timers and blocks meanwhile.
    int ticks = 0;
    auto timer = dispatch::Timer::scheduledTimer(1.0, true, [&](dispatch::Timer&) { ++ticks; });
    clock.advance(10);
    EXPECT_EQ(ticks, 10);
    bool ran = false;
    dispatch::DispatchQueue::main().async([&] { ran = true; });
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ready->status(), Status::unknown);
    timer->invalidate();

    reading.release();
    ASSERT_TRUE(runUntil([&] { return ready->status() != Status::unknown; }));
    EXPECT_EQ(ready->status(), Status::readyToPlay);
    EXPECT_EQ(ready->duration().seconds(), 120);
}

TEST_F(HostilePlaylists, AnItemReleasedWhileItsPlaylistIsReadHearsNothingMore) {
    HeldQueue reading;
    std::weak_ptr<AVPlayerItem> gone;
    {
        auto released = item("released", devserver::testing::mediaPlaylist(20, 6.0));
        AVPlayerItemTesting::readPlaylistsOn(*released, reading.queue);
        reading.hold();
        auto player = AVPlayer::create(released);
        ASSERT_TRUE(runUntil([&] { return hls->requestCount("/released/media.m3u8") == 1; }));
        gone = released;
    }
    // The read waiting on its queue holds nothing of the item, and finds it gone.
    EXPECT_TRUE(gone.expired());
    reading.release();
    reading.queue->sync([] {});
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(hls->requestCount("/released/seg0.ts"), 0);
}

// 50,000 segments of 10 ms (1.4 MB of text, about 20 MB for the item under the sanitizers; about a second
// to read under them). Each of the 200 segments that arrive costs the loaded ranges a few segments, as on a
// playlist of 300; walking the whole timeline on each arrival cost 50,000 (ten million for these).
TEST_F(HostilePlaylists, ALongPlaylistCostsEachArrivingSegmentWhatAShortOneDoes) {
    constexpr int kArrivals = 200;
    auto player = AVPlayer::create();
    std::vector<std::uint64_t> work;
    for (int length : {300, 50000}) {
        auto loading = item("long" + std::to_string(length), devserver::testing::mediaPlaylist(length, 0.01));
        loading->setPreferredForwardBufferDuration(kArrivals * 0.01 - 0.005);
        player->replaceCurrentItem(loading);
        // Read once the first segment is asked for; ready once it arrives.
        ASSERT_TRUE(runUntil(
            [&] { return loading->status() != Status::unknown || AVPlayerItemTesting::isFetchingSegment(*loading); },
            kHostileRead));
        ASSERT_TRUE(runUntil([&] { return loading->status() != Status::unknown; }));
        ASSERT_EQ(loading->status(), Status::readyToPlay) << loading->error()->localizedDescription();
        ASSERT_TRUE(runUntil([&] {
            return !loading->loadedTimeRanges().empty() &&
                   loading->loadedTimeRanges().back().end().seconds() >= kArrivals * 0.01 - 1e-9;
        }));
        ASSERT_EQ(loading->loadedTimeRanges().size(), 1u);
        EXPECT_EQ(loading->loadedTimeRanges()[0].start.seconds(), 0);
        EXPECT_EQ(loading->loadedTimeRanges()[0].end().seconds(), 2);
        work.push_back(AVPlayerItemTesting::rangeWork(*loading));
    }
    EXPECT_EQ(work[0], work[1]);
    EXPECT_LE(work[1], kArrivals * 8u);
}
