#pragma once

// Test support for the player view: the local back end (the catalogue's HLS streams, FairPlay certificate and
// licence, and an origin for playlists a test writes itself), a window holding a player with an ad proxy, a
// delegate that logs every call, and helpers that move the manual clock while the media arrives over HTTP.
// Header-only; link lumora_devserver.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/HlsService.h"
#include "devserver/LicenceService.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "playback/AdSignallingService.h"
#include "playback/LicenceRedirect.h"
#include "playback/VideoPlayerProxy.h"
#include "playback/ZuPlayer.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora::testing {

// Runs the main loop until `predicate` holds or `bound` of real time has passed; whether it holds. Local
// media arrives in milliseconds, so the bound is far under the player's own time-outs; once the test has
// failed, a wait looks once and returns, so a broken test fails after one bound, not one per wait.
inline bool runUntil(const std::function<bool()>& predicate,
                     std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    return avfoundation::testing::runUntil(predicate, bound);
}

// Logs every delegate call as a short line ("begin seek", "status 1", "event play", "error drm 6", ...) and
// whether it came on the main thread.
class RecordingPlayerDelegate : public ZuPlayerDelegate, public ZuPlayerAdDelegate {
  public:
    void presentRelatedContent(ZuPlayer&) override { add("related"); }
    void playerDidPlayToEndTime(ZuPlayer&) override { add("end"); }
    void playerRateDidChange(ZuPlayer& player) override { add("rate " + number(player.rate())); }
    void playerWillReloadStream(ZuPlayer&) override { add("will reload"); }
    void playerWillForceReloadStream(ZuPlayer&) override { add("will force reload"); }
    void playerDidReloadStream(ZuPlayer&) override { add("did reload"); }
    void playerDidTogglePlayback(ZuPlayer&) override { add("toggle"); }
    void playerDidChangeStatus(ZuPlayer&, avfoundation::AVPlayerItem::Status status,
                               const std::shared_ptr<avfoundation::AVPlayerItem>&) override {
        add("status " + std::to_string(static_cast<int>(status)));
    }
    void playerDidProduceEvent(ZuPlayer&, const ZuPlayerEvent& event) override {
        add(event.isPlay() ? "event play" : event.isPause() ? "event pause" : "event other");
    }
    void playerDidProduceError(ZuPlayer&, const ZuPlayerError& error) override {
        if (error.isDrm()) {
            add("error drm " + std::to_string(error.drmError()->rawValue()));
        } else {
            add("error reload " + error.reloadError()->localizedDescription());
        }
    }
    void playerDidBeginMediaSeek(ZuPlayer& player) override {
        add("begin seek");
        seekTargets.push_back(player.pendingSeekTime() ? player.pendingSeekTime()->seconds() : std::nan(""));
        seekDurations.push_back(player.duration().seconds());
    }
    void playerDidCompleteMediaSeek(ZuPlayer&) override { add("complete seek"); }
    void playerDidChangeFullScreenStatus(ZuPlayer&) override { add("full screen"); }
    void didStartAdDisplay(const AdDisplayInfo& info, int indexInGroup) override {
        add("ad start " + info.id + " " + std::to_string(indexInGroup));
    }
    void didFinishAdDisplay(const AdDisplayInfo& info, int indexInGroup, bool hasAdCompleted) override {
        add("ad finish " + info.id + " " + std::to_string(indexInGroup) + (hasAdCompleted ? " completed" : ""));
    }

    // The calls logged so far whose line starts with `prefix` (all of them for "").
    std::vector<std::string> calls(const std::string& prefix = "") const {
        std::vector<std::string> found;
        for (const auto& line : log) {
            if (line.starts_with(prefix)) found.push_back(line);
        }
        return found;
    }
    int count(const std::string& line) const {
        int n = 0;
        for (const auto& l : log) n += l == line;
        return n;
    }

    std::vector<std::string> log;
    // The target of each seek as it began, and the published duration then.
    std::vector<double> seekTargets;
    std::vector<double> seekDurations;
    bool allOnMain = true;

  private:
    static std::string number(double value) {
        std::ostringstream out;
        out << value;
        return out.str();
    }
    void add(std::string line) {
        allOnMain = allOnMain && dispatch::DispatchQueue::isMainThread();
        log.push_back(std::move(line));
    }
};

class ZuPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        licence = devserver::LicenceService::create();
        hls = devserver::HlsService::create(
            {.liveClock = [] { return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now()); }});
        auto started = devserver::Server::start({.services = {hls, licence, origin}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        redirect.emplace("127.0.0.1", server->baseURL());

        window = uikit::UIWindow::create(windowFrame);
        window->makeKeyAndVisible();
        proxy = VideoPlayerProxy::create(AdSignallingService::create());
        player = ZuPlayer::create(5.0, proxy);
        player->setDelegate(delegate);
        player->setAdDelegate(delegate);
        window->addSubview(player);
        player->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
    }
    void TearDown() override {
        if (player) player->removeFromSuperview();
        player.reset();
        window.reset();
        origin->shutdown();
        redirect.reset();
        if (server) server->stop();
        uikit::testing::resetInteractionState();
    }

    foundation::URL url(const std::string& path) const {
        return *foundation::URL::fromString(server->baseURL() + path);
    }
    foundation::URL catalogue(const std::string& assetId) const { return url("/hls/" + assetId + "/master.m3u8"); }

    // FairPlay settings whose token source answers `token` on a queue of its own.
    StreamDRMSettings drm(std::optional<std::string> token = "viewer") const {
        return StreamDRMSettings(
            server->baseURL() + "/fairplay/certificate", [token](StreamDRMSettings::TokenCompletion completion) {
                dispatch::DispatchQueue::global().async([completion, token] { completion(token); });
            });
    }

    // Loads into the player and waits for the completion; the load's error, if any.
    std::optional<foundation::Error> load(const foundation::URL& address,
                                          std::optional<StreamDRMSettings> settings = std::nullopt) {
        bool done = false;
        std::optional<foundation::Error> failure;
        player->load(address, std::move(settings), [&](ZuPlayer&, std::optional<foundation::Error> error) {
            done = true;
            failure = std::move(error);
        });
        EXPECT_TRUE(runUntil([&] { return done; })) << "the load never completed";
        return failure;
    }
    // Loads and waits until the item is ready (or failed) and the published state has followed.
    std::shared_ptr<avfoundation::AVPlayerItem> loadReady(const foundation::URL& address,
                                                          std::optional<StreamDRMSettings> settings = std::nullopt) {
        auto failure = load(address, std::move(settings));
        EXPECT_FALSE(failure) << failure->localizedDescription();
        auto item = player->avplayer()->currentItem();
        if (!item) return nullptr;
        EXPECT_TRUE(runUntil([&] { return item->status() != avfoundation::AVPlayerItem::Status::unknown; }));
        return item;
    }

    // The end of the buffered media around the playhead.
    double bufferedEnd() const {
        auto item = player->avplayer()->currentItem();
        if (!item) return 0;
        const double at = player->avplayer()->currentTime().seconds();
        double end = at;
        for (const auto& range : item->loadedTimeRanges()) {
            if (range.start.seconds() <= end + 1e-6 && range.end().seconds() > end) end = range.end().seconds();
        }
        return end;
    }
    // Waits until the media `ahead` seconds past the playhead (or up to the end of the stream) has arrived.
    void buffer(double ahead = 12) {
        auto item = player->avplayer()->currentItem();
        if (!item || item->status() != avfoundation::AVPlayerItem::Status::readyToPlay) return;
        awaitPlaylist(*item);
        const auto ranges = item->seekableTimeRanges();
        double end = ranges.empty() ? 0 : ranges.back().end().seconds();
        // The live streams here have 6-second segments: their window ends three of them after the live edge.
        if (item->duration().isIndefinite()) end += 18;
        const double goal = std::min(player->avplayer()->currentTime().seconds() + ahead, end);
        EXPECT_TRUE(runUntil([&] { return bufferedEnd() >= goal - 1e-6; }))
            << "buffered to " << bufferedEnd() << ", wanted " << goal;
    }
    // Moves the clock `seconds` in steps of at most `step`, letting the media arrive before each step.
    void advance(double seconds, double step = 1.0) {
        while (seconds > 1e-9) {
            const double d = std::min(step, seconds);
            buffer();
            clock.advance(d);
            seconds -= d;
        }
        if (auto item = player->avplayer()->currentItem()) awaitPlaylist(*item);
        clock.runUntilIdle();
    }
    // Waits for a live item's reload on its way, so that it is merged at the clock time it was made.
    static void awaitPlaylist(const avfoundation::AVPlayerItem& item) {
        if (item.status() != avfoundation::AVPlayerItem::Status::readyToPlay) return;
        EXPECT_TRUE(runUntil([&] { return !avfoundation::testing::AVPlayerItemTesting::isLoadingPlaylist(item); }));
    }
    // Waits for every seek of the player to be answered.
    void settleSeeks() {
        EXPECT_TRUE(runUntil([&] { return !player->hasPendingSeek(); })) << "a seek was never answered";
        clock.runUntilIdle();
    }

    // The window the player fills: a phone on its side unless a fixture says otherwise before SetUp.
    uikit::CGRect windowFrame{0, 0, 640, 360};
    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::LicenceService> licence;
    std::shared_ptr<devserver::HlsService> hls;
    // Playlists the test writes itself, served under any other path.
    std::shared_ptr<devserver::testing::HlsTestService> origin = std::make_shared<devserver::testing::HlsTestService>();
    std::shared_ptr<devserver::Server> server;
    std::optional<LicenceRedirect> redirect;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<VideoPlayerProxy> proxy;
    std::shared_ptr<ZuPlayer> player;
    std::shared_ptr<RecordingPlayerDelegate> delegate = std::make_shared<RecordingPlayerDelegate>();
};

}  // namespace lumora::testing
