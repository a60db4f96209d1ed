#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "avfoundation/AVError.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/URLError.h"
#include "playback/ZuVideoView.h"

using namespace lumora;
using avfoundation::AVPlayerItem;
using devserver::testing::HlsTestService;
using devserver::testing::runUntil;

namespace {

// Records the one completion of a load.
struct LoadResult {
    bool called = false;
    bool onMain = false;
    std::optional<foundation::Error> error;

    ZuVideoView::LoadCompletion completion() {
        return [this](std::optional<foundation::Error> e) {
            EXPECT_FALSE(called) << "completion called twice";
            called = true;
            onMain = dispatch::DispatchQueue::isMainThread();
            error = std::move(e);
        };
    }
};

class RecordingDelegate final : public avfoundation::AVAssetResourceLoaderDelegate {};

class ZuVideoViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {hls}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        hls->setPlaylist("/vod/master.m3u8",
                         devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
        hls->setPlaylist("/vod/media.m3u8", devserver::testing::mediaPlaylist(20, 6.0));
        hls->setPlaylist("/live/media.m3u8", devserver::testing::mediaPlaylist(5, 6.0, /*endList=*/false));
    }
    void TearDown() override {
        hls->shutdown();
        server->stop();
    }
    foundation::URL url(const std::string& path) const {
        return *foundation::URL::fromString(server->baseURL() + path);
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<HlsTestService> hls = std::make_shared<HlsTestService>();
    std::shared_ptr<devserver::Server> server;
};

}  // namespace

TEST_F(ZuVideoViewTest, IsABlackViewBackedByAPlayerLayerOfItsOwnPlayer) {
    auto view = ZuVideoView::create({0, 0, 320, 180});
    ASSERT_TRUE(view->player());
    EXPECT_EQ(view->player()->currentItem(), nullptr);
    EXPECT_EQ(view->backgroundColor(), uikit::UIColor::black());
    ASSERT_TRUE(view->playerLayer());
    EXPECT_EQ(view->playerLayer(), view->layer());
    EXPECT_EQ(view->playerLayer()->player(), view->player());
    EXPECT_TRUE(view->resourceLoaderDelegate().expired());
    EXPECT_FALSE(view->isLive());
}

TEST_F(ZuVideoViewTest, ALoadPutsANewItemIntoThePlayerOnlyWhenTheAssetIsPlayable) {
    auto view = ZuVideoView::create();
    auto delegate = std::make_shared<RecordingDelegate>();
    view->setResourceLoaderDelegate(delegate);

    LoadResult first;
    view->load(url("/vod/master.m3u8"), first.completion());
    EXPECT_FALSE(first.called);
    ASSERT_TRUE(runUntil([&] { return first.called; }));
    EXPECT_TRUE(first.onMain);
    EXPECT_FALSE(first.error);
    auto item = view->player()->currentItem();
    ASSERT_TRUE(item);
    auto asset = std::dynamic_pointer_cast<avfoundation::AVURLAsset>(item->asset());
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->resourceLoader()->delegate(), delegate);
    ASSERT_TRUE(asset->resourceLoader()->delegateQueue());
    EXPECT_EQ(asset->resourceLoader()->delegateQueue()->label(), "queue");

    // A failed load leaves the item in place and reports the asset's error.
    hls->setStatus("/gone/master.m3u8", 404);
    LoadResult failed;
    view->load(url("/gone/master.m3u8"), failed.completion());
    ASSERT_TRUE(runUntil([&] { return failed.called; }));
    ASSERT_TRUE(failed.error);
    EXPECT_TRUE(avfoundation::AVError::is(*failed.error, avfoundation::AVError::playlistUnavailable));
    EXPECT_EQ(view->player()->currentItem(), item);
    hls->setPlaylist("/bad/master.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:RESOLUTION=1x1\nx.m3u8\n");
    LoadResult malformed;
    view->load(url("/bad/master.m3u8"), malformed.completion());
    ASSERT_TRUE(runUntil([&] { return malformed.called; }));
    EXPECT_TRUE(avfoundation::AVError::is(*malformed.error, avfoundation::AVError::malformedPlaylist));

    // The same address again: a new asset on a new queue, and a new item.
    LoadResult again;
    view->load(url("/vod/master.m3u8"), again.completion());
    ASSERT_TRUE(runUntil([&] { return again.called; }));
    auto second = view->player()->currentItem();
    ASSERT_NE(second, item);
    EXPECT_NE(second->asset(), item->asset());
    EXPECT_NE(std::static_pointer_cast<avfoundation::AVURLAsset>(second->asset())->resourceLoader()->delegateQueue(),
              asset->resourceLoader()->delegateQueue());
}

TEST_F(ZuVideoViewTest, WithoutAnAddressTheCompletionIsCalledAtOnce) {
    auto view = ZuVideoView::create();
    LoadResult result;
    view->load(std::nullopt, result.completion());
    ASSERT_TRUE(result.called);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->domain(), "rx.RxError");
    view->load(std::nullopt);  // no completion: nothing happens
    EXPECT_EQ(view->player()->currentItem(), nullptr);
}

TEST_F(ZuVideoViewTest, ALiveStreamIsLiveOnlyOnceItsItemIsReady) {
    auto view = ZuVideoView::create();
    LoadResult result;
    view->load(url("/live/media.m3u8"), result.completion());
    ASSERT_TRUE(runUntil([&] { return result.called; }));
    auto item = view->player()->currentItem();
    ASSERT_TRUE(item);
    EXPECT_FALSE(view->isLive());
    ASSERT_TRUE(runUntil([&] { return item->status() == AVPlayerItem::Status::readyToPlay; }));
    EXPECT_TRUE(view->isLive());

    LoadResult vod;
    view->load(url("/vod/master.m3u8"), vod.completion());
    ASSERT_TRUE(runUntil(
        [&] { return vod.called && view->player()->currentItem()->status() == AVPlayerItem::Status::readyToPlay; }));
    EXPECT_FALSE(view->isLive());
}

TEST_F(ZuVideoViewTest, AViewReleasedWhileLoadingCompletesWithACancelledError) {
    hls->hold("/vod/master.m3u8");
    auto view = ZuVideoView::create();
    std::weak_ptr<avfoundation::AVPlayer> player = view->player();
    LoadResult result;
    view->load(url("/vod/master.m3u8"), result.completion());
    ASSERT_TRUE(runUntil([&] { return hls->isWaiting("/vod/master.m3u8"); }));
    view.reset();
    EXPECT_TRUE(player.expired());
    hls->release("/vod/master.m3u8");
    ASSERT_TRUE(runUntil([&] { return result.called; }));
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(foundation::URLError::is(*result.error, foundation::URLError::cancelled));
}

TEST_F(ZuVideoViewTest, OnlyTheLatestLoadPutsItsItemIntoThePlayer) {
    hls->setPlaylist("/slow/master.m3u8", devserver::testing::multivariantPlaylist({{150000, "", "media.m3u8"}}));
    hls->setPlaylist("/slow/media.m3u8", devserver::testing::mediaPlaylist(2, 6.0));
    hls->hold("/slow/master.m3u8");
    auto view = ZuVideoView::create();
    LoadResult slow;
    view->load(url("/slow/master.m3u8"), slow.completion());
    ASSERT_TRUE(runUntil([&] { return hls->isWaiting("/slow/master.m3u8"); }));
    LoadResult fast;
    view->load(url("/vod/master.m3u8"), fast.completion());
    ASSERT_TRUE(runUntil([&] { return fast.called; }));
    EXPECT_FALSE(fast.error);
    auto item = view->player()->currentItem();
    ASSERT_TRUE(item);

    hls->release("/slow/master.m3u8");
    ASSERT_TRUE(runUntil([&] { return slow.called; }));
    ASSERT_TRUE(slow.error);
    EXPECT_TRUE(foundation::URLError::is(*slow.error, foundation::URLError::cancelled));
    EXPECT_EQ(view->player()->currentItem(), item);
}
