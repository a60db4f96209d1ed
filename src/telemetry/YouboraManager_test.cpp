// The analytics session against the collector of the local back end, with real players loading HLS.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "avfoundation/AVPlayer.h"
#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "devserver/AnalyticsCollector.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "foundation/NotificationCenter.h"
#include "kitfoundation/Configuration.h"
#include "kitfoundation/KitBundle.h"
#include "kitfoundation/Log.h"
#include "telemetry/YouboraManager.h"
#include "telemetry/detail/YouboraPlugin.h"
#include "youboralib/testing/Deliveries.h"

namespace lumora {
namespace {

using avfoundation::AVPlayer;
using avfoundation::AVPlayerItem;
using avfoundation::testing::AVPlayerItemTesting;
using devserver::testing::mediaPlaylist;
using devserver::testing::multivariantPlaylist;
using Json = nlohmann::ordered_json;

// Once the test has failed, a wait looks once and returns: a broken test fails after one bound, not one
// per wait.
bool runUntil(const std::function<bool()>& predicate) {
    if (::testing::Test::HasFailure()) {
        dispatch::RunLoop::main().runUntilIdle();
        return predicate();
    }
    return devserver::testing::runUntil(predicate);
}

class YouboraManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {hls, collector}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        hls->setPlaylist("/vod/master.m3u8", multivariantPlaylist({{150000, "640x360", "v/media.m3u8"}}));
        hls->setPlaylist("/vod/v/media.m3u8", mediaPlaylist(20, 6.0));
        hls->setPlaylist("/live/master.m3u8", multivariantPlaylist({{300000, "960x540", "v/media.m3u8"}}));
        hls->setPlaylist("/live/v/media.m3u8", mediaPlaylist(10, 6.0, /*endList=*/false));
        settings = {{"SDK_YouboraPartnerSportName", "football"},
                    {"SDK_YouboraPartnerCode", "P-7"},
                    {"SDK_YouboraCollectorURL", server->baseURL() + collector->path()}};
        ConfigurationKey::setSourceForTesting([this](std::string_view key) -> std::optional<std::string> {
            auto it = settings.find(std::string(key));
            if (it == settings.end()) return std::nullopt;
            return it->second;
        });
        // The kit's own wiring (the collector of the host's setting), through a session this test ends.
        manager = YouboraManager::create({
            .pluginConfig =
                [session = session] {
                    auto config = YouboraManager::Dependencies::current().pluginConfig();
                    config.session = session;
                    return config;
                },
            .currentProfile = [this] { return profile; },
        });
    }
    void TearDown() override {
        EXPECT_TRUE(runUntil(youboralib::testing::deliveriesIdle));
        ConfigurationKey::setSourceForTesting(nullptr);
        hls->shutdown();
        session->invalidateAndCancel();
        if (server) server->stop();
    }

    std::string url(const std::string& path) const { return server->baseURL() + path; }

    AssetStreamContent content(std::string id, const std::string& path) const {
        AssetStreamContent c;
        c.title = "Harbour Derby";
        c.id = std::move(id);
        c.resource = url(path);
        c.contentProvider = "edge-cdn";
        c.contentMediaFormat = "hls-ts";
        c.assetType = "episode";
        c.youbora.accountCode = "lumora-test";
        c.youbora.appName = "Lumora";
        c.youbora.appReleaseVersion = "3.1";
        c.youbora.contentCustomDimension1 = "sports";
        c.youbora.contentCustomDimension2 = "never sent";
        c.youbora.contentId = "C-" + c.id;
        c.youbora.contentTitle = "Harbour Derby: Full Match";
        c.youbora.contentTransactionCode = "T-9";
        c.youbora.contentType = "match";
        c.youbora.contentChannel = "never sent";
        c.youbora.userName = "viewer@lumora.dev";
        c.youbora.userType = "premium";
        return c;
    }

    std::shared_ptr<AVPlayer> player(const std::string& path) const {
        return AVPlayer::create(AVPlayerItem::create(*foundation::URL::fromString(url(path))));
    }

    // Plays until the item is ready and the main queue has run every handler that readiness brought.
    void playUntilReady(const std::shared_ptr<AVPlayer>& p) const {
        p->play();
        ASSERT_TRUE(runUntil([&] { return p->currentItem()->status() != AVPlayerItem::Status::unknown; }));
        ASSERT_EQ(p->currentItem()->status(), AVPlayerItem::Status::readyToPlay);
        dispatch::RunLoop::main().runUntilIdle();
    }

    // The beacons at the collector once every beacon made so far has arrived. Beacons are made on the main
    // queue and delivered in order: this always comes (within the time of a few local requests), so a
    // beacon that was never made is missing at once instead of awaited.
    std::vector<devserver::AnalyticsBeacon> settledBeacons() const {
        dispatch::RunLoop::main().runUntilIdle();
        EXPECT_TRUE(runUntil(youboralib::testing::deliveriesIdle));
        dispatch::RunLoop::main().runUntilIdle();
        return collector->beacons();
    }
    // The settled beacons, expecting `count` of them.
    std::vector<devserver::AnalyticsBeacon> waitForBeacons(std::size_t count) const {
        auto beacons = settledBeacons();
        EXPECT_EQ(beacons.size(), count);
        return beacons;
    }

    // The views in the order they began, each with its events.
    std::vector<std::vector<std::string>> views() const {
        std::vector<std::string> order;
        std::map<std::string, std::vector<std::string>> events;
        for (const auto& b : collector->beacons()) {
            if (!events.contains(b.view)) order.push_back(b.view);
            events[b.view].push_back(b.event);
        }
        std::vector<std::vector<std::string>> out;
        for (const auto& v : order) out.push_back(events[v]);
        return out;
    }

    static const Json& optionsOf(const devserver::AnalyticsBeacon& beacon) { return beacon.body["options"]; }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::testing::HlsTestService> hls = std::make_shared<devserver::testing::HlsTestService>();
    std::shared_ptr<devserver::AnalyticsCollector> collector = devserver::AnalyticsCollector::create();
    std::shared_ptr<devserver::Server> server;
    std::shared_ptr<foundation::URLSession> session = foundation::URLSession::create();
    std::map<std::string, std::string> settings;
    std::optional<std::string> profile;
    std::shared_ptr<YouboraManager> manager;
};

using Events = std::vector<std::string>;

TEST_F(YouboraManagerTest, StartSendsInitWithEveryOptionOfAVideoOnDemand) {
    auto vod = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), vod);
    EXPECT_EQ(manager->monitoredPlayerCount(), 1u);

    const auto beacons = waitForBeacons(1);
    ASSERT_EQ(beacons.size(), 1u);
    EXPECT_EQ(beacons[0].event, "init");
    EXPECT_EQ(beacons[0].body["playerName"], "iOSPlayer");
    EXPECT_EQ(beacons[0].body["playerVersion"], sdkVersion());
    EXPECT_EQ(optionsOf(beacons[0]), (Json{
                                         {"offline", false},
                                         {"accountCode", "lumora-test"},
                                         {"appName", "Lumora"},
                                         {"appReleaseVersion", "3.1"},
                                         {"contentCdn", "edge-cdn"},
                                         {"contentCustomDimension1", "sports"},
                                         {"contentCustomDimension3", "football"},
                                         {"contentCustomDimension9", "episode"},
                                         {"contentCustomDimension11", "unknow"},
                                         {"contentCustomDimension12", "P-7"},
                                         {"contentCustomDimension13", "vod-1"},
                                         {"contentCustomDimension16", "1"},
                                         {"contentId", "C-vod-1"},
                                         {"contentResource", url("/vod/master.m3u8")},
                                         {"contentStreamingProtocol", "HLS"},
                                         {"contentTitle", "Harbour Derby: Full Match"},
                                         {"contentTransactionCode", "T-9"},
                                         {"contentType", "match"},
                                         {"contentTransportFormat", "hls-ts"},
                                         {"username", "viewer@lumora.dev"},
                                         {"userType", "premium"},
                                         {"contentBitrate", nullptr},
                                         {"contentRendition", nullptr},
                                         {"contentDuration", nullptr},
                                     }));
}

TEST_F(YouboraManagerTest, ALiveStreamWithoutProviderPartnerSettingsButWithAProfile) {
    settings.erase("SDK_YouboraPartnerSportName");
    settings.erase("SDK_YouboraPartnerCode");
    profile = "Family";
    auto c = content("live-1", "/live/master.m3u8");
    c.contentProvider.reset();
    auto live = player("/live/master.m3u8");
    manager->startMonitoring(c, live);
    playUntilReady(live);
    manager->stopMonitoring(live);

    const auto beacons = waitForBeacons(3);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "start", "stop"}}));
    const Json& init = optionsOf(beacons[0]);
    EXPECT_TRUE(init["contentCdn"].is_null());
    EXPECT_EQ(init["contentCustomDimension3"], "");
    EXPECT_EQ(init["contentCustomDimension11"], "Family");
    EXPECT_EQ(init["contentCustomDimension12"], "");
    const Json& stop = optionsOf(beacons[2]);
    EXPECT_EQ(stop["contentBitrate"], 300000.0);
    EXPECT_EQ(stop["contentRendition"], "960x540@300Kbps");
    EXPECT_TRUE(stop["contentDuration"].is_null());
}

TEST_F(YouboraManagerTest, PlaybackFeedsTheMetricsAndANewAccessLogEntryUpdatesThem) {
    auto vod = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), vod);
    playUntilReady(vod);
    // A probe: an error report carries the options as they stand.
    AVPlayerItemTesting::addErrorLogEvent(*vod->currentItem(), {.errorStatusCode = 1, .errorDomain = "probe"});
    auto beacons = waitForBeacons(3);
    ASSERT_EQ(beacons[2].event, "error");
    EXPECT_EQ(optionsOf(beacons[2])["contentBitrate"], 150000.0);
    EXPECT_EQ(optionsOf(beacons[2])["contentRendition"], "640x360@150Kbps");
    EXPECT_EQ(optionsOf(beacons[2])["contentDuration"], 120.0);

    // The player moves to another variant.
    AVPlayerItemTesting::setPresentationSize(*vod->currentItem(), {1280, 720});
    AVPlayerItemTesting::addAccessLogEvent(*vod->currentItem(), 600000);
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(vod);
    beacons = waitForBeacons(4);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "start", "error", "stop"}}));
    EXPECT_EQ(optionsOf(beacons[3])["contentBitrate"], 600000.0);
    EXPECT_EQ(optionsOf(beacons[3])["contentRendition"], "1280x720@600Kbps");
    EXPECT_EQ(optionsOf(beacons[3])["contentDuration"], 120.0);
}

TEST_F(YouboraManagerTest, ErrorLogEntriesAndAFailedItemAreReportedWithMessageAndCode) {
    auto vod = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), vod);
    server->injectFault("/vod/v/seg3.ts", {.status = 404, .times = 1});
    playUntilReady(vod);
    auto item = vod->currentItem();
    ASSERT_TRUE(runUntil([&] {
        const auto ranges = item->loadedTimeRanges();
        return !ranges.empty() && ranges.back().end().seconds() >= 36;
    }));
    // An entry without a comment is reported with the empty text.
    AVPlayerItemTesting::addErrorLogEvent(*item, {.errorStatusCode = -12318, .errorDomain = "CoreMediaErrorDomain"});
    // Then the item fails while it plays: one report from its error log, one from its failed status.
    AVPlayerItemTesting::failMediaAt(
        *item, coremedia::CMTime::fromSeconds(10, coremedia::kPreferredTimescale),
        foundation::NSError{
            .domain = "AVFoundationErrorDomain", .code = -11819, .description = "Media services were reset."});
    dispatch::RunLoop::main().runUntilIdle();
    clock.advance(11);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::failed);
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(vod);

    const auto beacons = waitForBeacons(7);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "start", "error", "error", "error", "error", "stop"}}));
    auto error = [&](std::size_t i) { return beacons[i].body["error"]; };
    EXPECT_EQ(error(2), (Json{{"message", "HTTP 404"}, {"code", "404"}, {"metadata", nullptr}}));
    EXPECT_EQ(error(3), (Json{{"message", ""}, {"code", "-12318"}, {"metadata", nullptr}}));
    EXPECT_EQ(error(4), (Json{{"message", "Media services were reset."}, {"code", "-11819"}, {"metadata", nullptr}}));
    EXPECT_EQ(error(5), error(4));
}

TEST_F(YouboraManagerTest, AnItemThatFailsBeforeItPlaysIsReportedThroughItsErrorLog) {
    hls->setStatus("/gone/v/media.m3u8", 404);
    hls->setPlaylist("/gone/master.m3u8", multivariantPlaylist({{150000, "640x360", "v/media.m3u8"}}));
    auto broken = player("/gone/master.m3u8");
    manager->startMonitoring(content("gone", "/gone/master.m3u8"), broken);
    ASSERT_TRUE(runUntil([&] { return broken->currentItem()->status() == AVPlayerItem::Status::failed; }));
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(broken);

    const auto beacons = waitForBeacons(4);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "error", "error", "stop"}}));
    EXPECT_EQ(beacons[1].body["error"]["code"], "404");
    EXPECT_EQ(beacons[2].body["error"]["code"], "-11850");
    EXPECT_EQ(beacons[2].body["error"]["message"], broken->currentItem()->error()->localizedDescription());
}

TEST_F(YouboraManagerTest, StopRemovesTheAdapterAndEndsTheReports) {
    EXPECT_NO_FATAL_FAILURE(manager->stopMonitoring(player("/vod/master.m3u8")));  // never started
    manager->startMonitoring(std::nullopt, player("/vod/master.m3u8"));
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), nullptr);
    EXPECT_EQ(manager->monitoredPlayerCount(), 0u);

    auto vod = player("/vod/master.m3u8");
    auto item = vod->currentItem();
    const std::size_t statusObservers = item->statusProperty().observerCount();
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), vod);
    playUntilReady(vod);
    EXPECT_EQ(item->statusProperty().observerCount(), statusObservers + 1);
    EXPECT_EQ(item->presentationSizeProperty().observerCount(), 1u);

    manager->stopMonitoring(vod);
    manager->stopMonitoring(vod);
    EXPECT_EQ(manager->monitoredPlayerCount(), 0u);
    EXPECT_EQ(item->statusProperty().observerCount(), statusObservers);
    EXPECT_EQ(item->presentationSizeProperty().observerCount(), 0u);

    // Nothing of the item reaches the vendor any more.
    AVPlayerItemTesting::addErrorLogEvent(*item, {.errorStatusCode = 500, .errorDomain = "CoreMediaErrorDomain"});
    AVPlayerItemTesting::addAccessLogEvent(*item, 1);
    dispatch::RunLoop::main().runUntilIdle();
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), vod);  // a new view of the same player
    waitForBeacons(5);
    EXPECT_EQ(views(), (std::vector<Events>{{"init", "start", "stop"}, {"init", "start"}}));
}

TEST_F(YouboraManagerTest, TwoPlayersAtOnceKeepTheirOwnViewsAndOtherPlayersAreNotReported) {
    auto first = player("/vod/master.m3u8");
    auto second = player("/live/master.m3u8");
    auto hosts = player("/vod/master.m3u8");  // the host application's own player, not monitored
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), first);
    manager->startMonitoring(content("live-1", "/live/master.m3u8"), second);
    EXPECT_EQ(manager->monitoredPlayerCount(), 2u);
    playUntilReady(first);
    playUntilReady(second);
    playUntilReady(hosts);
    AVPlayerItemTesting::addErrorLogEvent(*hosts->currentItem(), {.errorStatusCode = 1, .errorDomain = "host"});
    AVPlayerItemTesting::addErrorLogEvent(*second->currentItem(), {.errorStatusCode = 2, .errorDomain = "second"});
    dispatch::RunLoop::main().runUntilIdle();

    manager->stopMonitoring(first);
    EXPECT_EQ(manager->monitoredPlayerCount(), 1u);
    AVPlayerItemTesting::addErrorLogEvent(*second->currentItem(), {.errorStatusCode = 3, .errorDomain = "second"});
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(second);

    const auto beacons = waitForBeacons(8);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "start", "stop"}, {"init", "start", "error", "error", "stop"}}));
    std::vector<std::string> codes;
    for (const auto& b : beacons) {
        if (b.event == "error") codes.push_back(b.body["error"]["code"]);
        if (b.event == "stop") {
            const bool isFirst = optionsOf(b)["contentCustomDimension13"] == "vod-1";
            EXPECT_EQ(optionsOf(b)["contentBitrate"], isFirst ? 150000.0 : 300000.0);
        }
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"2", "3"}));
}

TEST_F(YouboraManagerTest, ASecondStartWithOtherContentStartsAfreshWhileTheSameContentKeepsItsView) {
    auto p = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), p);
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), p);  // the replay after signing in
    manager->startMonitoring(content("vod-2", "/vod/master.m3u8"), p);  // another asset
    auto moved = content("vod-2", "/vod/master.m3u8");
    moved.resource += "?cdn=b";  // the same asset from elsewhere
    manager->startMonitoring(moved, p);
    EXPECT_EQ(manager->monitoredPlayerCount(), 1u);

    const auto beacons = waitForBeacons(5);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "stop"}, {"init", "stop"}, {"init"}}));
    EXPECT_EQ(optionsOf(beacons[0])["contentCustomDimension13"], "vod-1");
    EXPECT_EQ(optionsOf(beacons[2])["contentCustomDimension13"], "vod-2");
    EXPECT_EQ(optionsOf(beacons[4])["contentResource"], moved.resource);
}

TEST_F(YouboraManagerTest, APlayerThatIsGoneEndsItsViewAndIsNeverTakenForANewOne) {
    auto gone = player("/vod/master.m3u8");
    std::weak_ptr<AVPlayer> watch = gone;
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), gone);
    gone.reset();
    ASSERT_TRUE(watch.expired());  // the session never keeps the player alive
    EXPECT_EQ(manager->monitoredPlayerCount(), 1u);

    auto next = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), next);
    EXPECT_EQ(manager->monitoredPlayerCount(), 1u);
    waitForBeacons(3);
    EXPECT_EQ(views(), (std::vector<Events>{{"init", "stop"}, {"init"}}));
}

TEST_F(YouboraManagerTest, TheObserversMoveToTheNewCurrentItem) {
    auto p = player("/vod/master.m3u8");
    auto first = p->currentItem();
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), p);
    playUntilReady(p);
    EXPECT_EQ(first->presentationSizeProperty().observerCount(), 1u);

    auto second = AVPlayerItem::create(*foundation::URL::fromString(url("/live/master.m3u8")));
    ASSERT_TRUE(p->replaceCurrentItem(second));
    playUntilReady(p);
    EXPECT_EQ(first->presentationSizeProperty().observerCount(), 0u);  // `first` still lives
    EXPECT_EQ(second->presentationSizeProperty().observerCount(), 1u);

    // Only the current item's size counts.
    AVPlayerItemTesting::setPresentationSize(*second, {1920, 1080});
    AVPlayerItemTesting::setPresentationSize(*first, {320, 180});
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(p);
    EXPECT_EQ(second->presentationSizeProperty().observerCount(), 0u);
    const auto beacons = waitForBeacons(3);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "start", "stop"}}));
    EXPECT_EQ(optionsOf(beacons[2])["contentRendition"], "1920x1080@300Kbps");
    EXPECT_TRUE(optionsOf(beacons[2])["contentDuration"].is_null());
}

TEST_F(YouboraManagerTest, SizesAndDurationsThatAreNotNumbersAreNeverSent) {
    auto vod = player("/vod/master.m3u8");
    auto item = vod->currentItem();
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), vod);
    playUntilReady(vod);
    // Each loaded segment makes the item set its duration again; once the whole stream is in, the
    // durations set below stay.
    vod->pause();
    item->setPreferredForwardBufferDuration(1e6);
    ASSERT_TRUE(runUntil([&] {
        const auto loaded = item->loadedTimeRanges();
        return loaded.size() == 1 && loaded[0].start == coremedia::kCMTimeZero &&
               coremedia::CMTimeRangeGetEnd(loaded[0]) == item->duration();
    }));
    dispatch::RunLoop::main().runUntilIdle();
    for (coregraphics::CGSize size : {coregraphics::CGSize{std::numeric_limits<double>::quiet_NaN(), 360},
                                      coregraphics::CGSize{640, std::numeric_limits<double>::infinity()},
                                      coregraphics::CGSize{1e12, 720}, coregraphics::CGSize{-3e9, 720}}) {
        AVPlayerItemTesting::setPresentationSize(*item, size);
    }
    AVPlayerItemTesting::setDuration(*item, coremedia::kCMTimePositiveInfinity);
    AVPlayerItemTesting::addAccessLogEvent(*item, 200000);
    dispatch::RunLoop::main().runUntilIdle();
    AVPlayerItemTesting::addErrorLogEvent(*item, {.errorStatusCode = 1, .errorDomain = "probe"});
    AVPlayerItemTesting::setDuration(*item, coremedia::kCMTimeInvalid);
    AVPlayerItemTesting::setPresentationSize(*item, {-2.9, 0.5});  // truncated: no size, the bitrate alone
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(vod);

    const auto beacons = waitForBeacons(4);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "start", "error", "stop"}}));
    EXPECT_EQ(optionsOf(beacons[2])["contentBitrate"], 200000.0);
    EXPECT_EQ(optionsOf(beacons[2])["contentRendition"], "640x360@150Kbps");
    EXPECT_TRUE(optionsOf(beacons[2])["contentDuration"].is_null());
    EXPECT_EQ(optionsOf(beacons[3])["contentRendition"], "200Kbps");
    EXPECT_TRUE(optionsOf(beacons[3])["contentDuration"].is_null());
}

TEST_F(YouboraManagerTest, NotificationsFromAnyThreadAreHandledOnTheMainQueue) {
    auto vod = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), vod);
    playUntilReady(vod);
    auto item = vod->currentItem();
    AVPlayerItemTesting::addErrorLogEvent(*item, {.errorStatusCode = 7, .errorDomain = "worker"});
    dispatch::RunLoop::main().runUntilIdle();

    // A worker thread posts while the main queue starts and stops other sessions.
    constexpr int kPosts = 20;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < kPosts; ++i) {
            foundation::NotificationCenter::defaultCenter().post(avfoundation::AVPlayerItemNewErrorLogEntryNotification,
                                                                 item);
            foundation::NotificationCenter::defaultCenter().post(
                avfoundation::AVPlayerItemNewAccessLogEntryNotification, item);
        }
        done = true;
    });
    auto other = player("/live/master.m3u8");
    for (int round = 0; round == 0 || (round < 100 && !done); ++round) {
        manager->startMonitoring(content("live-1", "/live/master.m3u8"), other);
        dispatch::RunLoop::main().runUntilIdle();
        manager->stopMonitoring(other);
    }
    worker.join();
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(vod);

    Events expected{"init", "start"};
    expected.insert(expected.end(), 1 + kPosts, "error");
    expected.push_back("stop");
    settledBeacons();
    ASSERT_FALSE(views().empty());
    ASSERT_EQ(views().front(), expected);
    for (const auto& b : collector->beacons("error")) EXPECT_EQ(b.body["error"]["code"], "7");
}

TEST_F(YouboraManagerTest, HandlersWaitForTheMainQueueAndDoNothingOnceTheSessionOrTheItemIsGone) {
    // The session ends before the main queue's turn: the entries never reach its view.
    auto ended = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-1", "/vod/master.m3u8"), ended);
    playUntilReady(ended);
    AVPlayerItemTesting::addAccessLogEvent(*ended->currentItem(), 999000);
    AVPlayerItemTesting::addErrorLogEvent(*ended->currentItem(), {.errorStatusCode = 8, .errorDomain = "late"});
    manager->stopMonitoring(ended);
    dispatch::RunLoop::main().runUntilIdle();

    // The item is released before the main queue's turn.
    auto released = player("/vod/master.m3u8");
    manager->startMonitoring(content("vod-2", "/vod/master.m3u8"), released);
    playUntilReady(released);
    std::weak_ptr<AVPlayerItem> watch = released->currentItem();
    {
        auto item = released->currentItem();
        AVPlayerItemTesting::addErrorLogEvent(*item, {.errorStatusCode = 9, .errorDomain = "late"});
        AVPlayerItemTesting::setPresentationSize(*item, {1, 1});
        ASSERT_TRUE(released->replaceCurrentItem(nullptr));
    }
    ASSERT_TRUE(watch.expired());
    dispatch::RunLoop::main().runUntilIdle();
    manager->stopMonitoring(released);

    const auto beacons = waitForBeacons(6);
    ASSERT_EQ(views(), (std::vector<Events>{{"init", "start", "stop"}, {"init", "start", "stop"}}));
    EXPECT_EQ(optionsOf(beacons[2])["contentBitrate"], 150000.0);
    EXPECT_EQ(optionsOf(beacons[5])["contentRendition"], "640x360@150Kbps");
}

TEST(YouboraManagerSharedTest, OneManagerPerProcessAndALoggerForDevelopers) {
    EXPECT_EQ(YouboraManager::shared(), YouboraManager::shared());
    YouboraManager::shared()->startMonitoring(std::nullopt, nullptr);
    EXPECT_EQ(YouboraManager::shared()->monitoredPlayerCount(), 0u);

    detail::YouboraManagerLogger logger;
    const dispatch::testing::ValueScope keepSwitch(debugLogEnabled);
    debugLogEnabled = false;
    ::testing::internal::CaptureStdout();
    logger.logYouboraMessage("Beacon sent", youboralib::YBLogLevel::debug);
    logger.logYouboraMessage(std::nullopt, youboralib::YBLogLevel::error);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Beacon sent\n\n");
}

// The player version the plug-in reports is the kit bundle's, or none: never the kit's "0.0.0" stand-in. The
// kit's bundle is found once per process, so each kit is tried in a process of its own (a fresh run of this
// test program with LUMORA_KIT_BUNDLE naming it).
TEST(YouboraPluginVersionTest, IsTheKitBundlesVersionOrNone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The same folder in this process and in the runs it starts.
    const auto root = std::filesystem::path(LUMORA_TEST_BINARY_DIR) / "plugin-version-kits";
    const dispatch::testing::RestoreOnExit removeKits([&] { std::filesystem::remove_all(root); });
    const std::vector<std::pair<std::string, std::string>> kits = {
        {"none", ""},
        {"not-text", "<key>CFBundleShortVersionString</key><integer>7</integer>"},
        {"versioned", "<key>CFBundleShortVersionString</key><string>4.2.1</string>"},
    };
    for (const auto& [name, entry] : kits) {
        const auto folder = root / name / KitBundle::folderName;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "Info.plist")
            << R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
            << "<key>CFBundleIdentifier</key><string>dev.lumora.kit</string>" << entry << "</dict></plist>";
    }
    auto versions = [&](const std::string& name) {
        ::setenv(KitBundle::environmentVariable, (root / name / KitBundle::folderName).c_str(), 1);
        const auto plugin = detail::YouboraPlugin::create(youboralib::YBOptions::create());
        std::fprintf(stderr, "player [%s] kit [%s]\n", plugin->getPlayerVersion().c_str(), sdkVersion().c_str());
        std::exit(0);
    };
    EXPECT_EXIT(versions("none"), ::testing::ExitedWithCode(0), "player \\[\\] kit \\[0\\.0\\.0\\]");
    EXPECT_EXIT(versions("not-text"), ::testing::ExitedWithCode(0), "player \\[\\] kit \\[0\\.0\\.0\\]");
    EXPECT_EXIT(versions("versioned"), ::testing::ExitedWithCode(0), "player \\[4\\.2\\.1\\] kit \\[4\\.2\\.1\\]");
}

}  // namespace
}  // namespace lumora
