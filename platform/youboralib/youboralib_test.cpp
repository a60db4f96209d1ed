// The analytics library against the collector of the local back end.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devserver/AnalyticsCollector.h"
#include "devserver/Server.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/Date.h"
#include "foundation/KeyValueObserving.h"
#include "youboralib/YouboraLib.h"
#include "youboralib/testing/Deliveries.h"

using namespace youboralib;

namespace {

// Runs the main loop until `predicate` holds or ten seconds of real time have passed; deliveries finish
// on worker queues, so the predicate is polled between short runs.
bool runUntil(const std::function<bool()>& predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (dispatch::RunLoop::main().runUntil(predicate, std::chrono::milliseconds(5))) return true;
    }
    return predicate();
}

// A player observable by name with a "rate", as media players are.
class RatePlayer : public foundation::KVOObservable {
  public:
    RatePlayer() { registerKey("rate", rate_); }
    void setRate(float rate) { rate_.set(rate); }

  private:
    foundation::KVOProperty<float> rate_{0.0f};
};

class NamedPlugin : public YBPlugin {
  public:
    static std::shared_ptr<NamedPlugin> create(std::shared_ptr<YBOptions> options,
                                               std::shared_ptr<YBPlayerAdapter> adapter, YBPluginConfig config) {
        return std::shared_ptr<NamedPlugin>(new NamedPlugin(std::move(options), std::move(adapter), std::move(config)));
    }
    std::string getPlayerName() const override { return "TestPlayer"; }
    std::string getPlayerVersion() const override { return "9.1"; }

  private:
    using YBPlugin::YBPlugin;
};

class RecordingLogger : public YBLogger {
  public:
    void logYouboraMessage(const std::optional<std::string>& message, YBLogLevel level) override {
        std::lock_guard lock(mutex);
        lines.push_back({level, message.value_or("")});
    }
    std::vector<std::string> at(YBLogLevel level) {
        std::lock_guard lock(mutex);
        std::vector<std::string> out;
        for (const auto& [l, text] : lines) {
            if (l == level) out.push_back(text);
        }
        return out;
    }
    std::mutex mutex;  // guards lines
    std::vector<std::pair<YBLogLevel, std::string>> lines;
};

std::vector<std::string> events(const std::vector<devserver::AnalyticsBeacon>& beacons) {
    std::vector<std::string> out;
    for (const auto& b : beacons) out.push_back(b.event);
    return out;
}

class YouboraLibTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {collector}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        YBLog::addLoggerDelegate(logger);
    }
    void TearDown() override {
        EXPECT_TRUE(runUntil(youboralib::testing::deliveriesIdle));
        YBLog::removeLoggerDelegate(logger);
        session->invalidateAndCancel();
        server->stop();
    }

    YBPluginConfig config() const {
        return {.collectorURL = server->baseURL() + collector->path(), .session = session};
    }
    bool allSettled(const std::shared_ptr<YBPlugin>& plugin) const {
        for (const auto& b : plugin->beacons()) {
            if (b.delivery == YBBeacon::Delivery::sending) return false;
        }
        return true;
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::AnalyticsCollector> collector = devserver::AnalyticsCollector::create();
    std::shared_ptr<devserver::Server> server;
    std::shared_ptr<foundation::URLSession> session = foundation::URLSession::create();
    std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

}  // namespace

TEST_F(YouboraLibTest, AViewSendsInitStartErrorAndStopInOrderWithItsOptionsAndPlayer) {
    auto options = YBOptions::create();
    options->setAccountCode("lumora");
    options->setContentTitle("Harbour Derby");
    options->setContentStreamingProtocol(std::string(YBConstantsStreamProtocol::hls));
    auto player = std::make_shared<RatePlayer>();
    auto adapter = YBPlayerAdapter::create(player);
    auto plugin = NamedPlugin::create(options, adapter, config());
    EXPECT_EQ(plugin->options(), options);
    EXPECT_EQ(plugin->adapter(), adapter);
    EXPECT_FALSE(plugin->viewCode());

    plugin->fireInit();
    plugin->fireInit();  // one view at a time
    EXPECT_TRUE(plugin->isInitiated());
    EXPECT_FALSE(plugin->isStarted());
    player->setRate(1);
    player->setRate(0);
    player->setRate(2);  // a view starts once
    EXPECT_TRUE(plugin->isStarted());
    EXPECT_TRUE(adapter->isPlaying());
    plugin->fireErrorWithMessage("Segment missing", "404", std::nullopt);
    options->setContentBitrate(150000);
    options->setContentRendition(YBYouboraUtils::buildRenditionString(640, 360, 150000));
    options->setContentDuration(120);
    plugin->removeAdapter();
    plugin->removeAdapter();  // nothing more
    EXPECT_FALSE(plugin->isInitiated());
    EXPECT_EQ(plugin->adapter(), nullptr);
    player->setRate(1);  // no longer watched

    ASSERT_TRUE(runUntil([&] { return collector->beacons().size() >= 4 && allSettled(plugin); }));
    const auto received = collector->beacons();
    ASSERT_EQ(events(received), (std::vector<std::string>{"init", "start", "error", "stop"}));
    const std::string view = *plugin->viewCode();
    EXPECT_EQ(view.size(), 36u);
    for (std::size_t i = 0; i < received.size(); ++i) {
        const auto& body = received[i].body;
        EXPECT_EQ(received[i].view, view);
        EXPECT_EQ(received[i].sequence, static_cast<std::int64_t>(i + 1));
        EXPECT_EQ(body["playerName"], "TestPlayer");
        EXPECT_EQ(body["playerVersion"], "9.1");
        EXPECT_EQ(body["timestamp"], std::llround(foundation::Date::now().timeIntervalSince1970() * 1000));
        EXPECT_EQ(body["options"]["accountCode"], "lumora");
        EXPECT_EQ(body["options"]["contentStreamingProtocol"], "HLS");
        EXPECT_EQ(body.contains("error"), received[i].event == "error");
    }
    EXPECT_TRUE(received[0].body["options"]["contentBitrate"].is_null());
    EXPECT_EQ(received[2].body["error"],
              (nlohmann::ordered_json{{"message", "Segment missing"}, {"code", "404"}, {"metadata", nullptr}}));
    EXPECT_EQ(received[3].body["options"]["contentBitrate"], 150000.0);
    EXPECT_EQ(received[3].body["options"]["contentRendition"], "640x360@150Kbps");
    EXPECT_EQ(received[3].body["options"]["contentDuration"], 120.0);
    for (const auto& beacon : plugin->beacons()) {
        EXPECT_EQ(beacon.delivery, YBBeacon::Delivery::delivered) << beacon.event;
        EXPECT_EQ(beacon.statusCode, 200);
    }
    // What goes out is the recorded beacon written compactly, byte for byte.
    const auto recorded = plugin->beacons();
    ASSERT_EQ(recorded.size(), received.size());
    for (std::size_t i = 0; i < received.size(); ++i) EXPECT_EQ(received[i].rawBody, recorded[i].body.dump()) << i;

    // A later view has a code of its own; errors go to the open view, or the last one.
    plugin->fireInit();
    EXPECT_NE(plugin->viewCode(), view);
    ASSERT_TRUE(runUntil([&] { return collector->beacons().size() == 5 && allSettled(plugin); }));
    EXPECT_EQ(collector->beacons().back().view, *plugin->viewCode());
}

TEST_F(YouboraLibTest, TheAdapterHoldsItsPlayerWeaklyAndStartsAViewOnlyOnPlayback) {
    auto playing = std::make_shared<RatePlayer>();
    playing->setRate(1.5f);
    auto adapter = YBPlayerAdapter::create(playing);
    EXPECT_EQ(adapter->player().as<RatePlayer>(), playing);
    auto plugin = YBPlugin::create(nullptr, adapter, config());
    ASSERT_NE(plugin->options(), nullptr);
    plugin->fireInit();  // already playing: started at once
    EXPECT_TRUE(plugin->isStarted());

    // A player that cannot be watched is still the adapter's player; nothing starts by itself.
    auto plain = std::make_shared<std::string>("not a media player");
    auto plainPlugin = YBPlugin::create(nullptr, YBPlayerAdapter::create(plain), config());
    plainPlugin->fireInit();
    EXPECT_EQ(plainPlugin->adapter()->player().as<std::string>(), plain);
    EXPECT_FALSE(plainPlugin->isStarted());

    // The adapter never keeps a player alive.
    std::weak_ptr<RatePlayer> gone = playing;
    playing.reset();
    EXPECT_TRUE(gone.expired());
    EXPECT_TRUE(adapter->player().isNil());
    plugin->removeAdapter();
    plainPlugin->removeAdapter();

    ASSERT_TRUE(
        runUntil([&] { return collector->beacons().size() >= 5 && allSettled(plugin) && allSettled(plainPlugin); }));
    EXPECT_EQ(events(collector->beaconsOfView(*plugin->viewCode())),
              (std::vector<std::string>{"init", "start", "stop"}));
    EXPECT_EQ(events(collector->beaconsOfView(*plainPlugin->viewCode())), (std::vector<std::string>{"init", "stop"}));
    // The base plug-in names no player.
    EXPECT_EQ(collector->beacons().front().body["playerName"], "");
}

TEST_F(YouboraLibTest, WithoutAUsableCollectorBeaconsAreOnlyRecorded) {
    auto player = std::make_shared<RatePlayer>();
    std::vector<std::shared_ptr<YBPlugin>> plugins{
        YBPlugin::create(YBOptions::create()),
        YBPlugin::create(YBOptions::create(), YBPlayerAdapter::create(player)),
        YBPlugin::create(nullptr, nullptr, {.collectorURL = "", .session = session}),
        YBPlugin::create(nullptr, nullptr, {.collectorURL = "ftp://127.0.0.1/beacons", .session = session}),
        YBPlugin::create(nullptr, nullptr, {.collectorURL = "not an address", .session = session}),
    };
    for (const auto& plugin : plugins) {
        plugin->fireInit();
        plugin->fireErrorWithMessage(std::nullopt, std::nullopt, "metadata");
        plugin->removeAdapter();
        const auto beacons = plugin->beacons();
        ASSERT_EQ(beacons.size(), 3u);
        EXPECT_EQ(beacons[1].body["error"],
                  (nlohmann::ordered_json{{"message", nullptr}, {"code", nullptr}, {"metadata", "metadata"}}));
        for (const auto& beacon : beacons) EXPECT_EQ(beacon.delivery, YBBeacon::Delivery::recorded);
    }
    EXPECT_EQ(logger->at(YBLogLevel::warning),
              (std::vector<std::string>{
                  "The collector address \"ftp://127.0.0.1/beacons\" is not an http(s) URL; beacons are only recorded.",
                  "The collector address \"not an address\" is not an http(s) URL; beacons are only recorded."}));
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(server->requestLog().count(), 0u);
}

TEST_F(YouboraLibTest, ABeaconTheCollectorDoesNotTakeIsMarkedFailedAndTheNextGoesOn) {
    server->injectFault(collector->path(), {.status = 503, .times = 1});
    auto plugin = YBPlugin::create(nullptr, nullptr, config());
    plugin->fireInit();
    plugin->fireErrorWithMessage("late", "1", std::nullopt);
    ASSERT_TRUE(runUntil([&] { return plugin->beacons().size() == 2 && allSettled(plugin); }));
    auto beacons = plugin->beacons();
    EXPECT_EQ(beacons[0].delivery, YBBeacon::Delivery::failed);
    EXPECT_EQ(beacons[0].statusCode, 503);
    EXPECT_EQ(beacons[0].failure, "HTTP 503");
    EXPECT_EQ(beacons[1].delivery, YBBeacon::Delivery::delivered);
    EXPECT_EQ(events(collector->beacons()), (std::vector<std::string>{"error"}));
    ASSERT_EQ(logger->at(YBLogLevel::warning).size(), 1u);
    EXPECT_EQ(logger->at(YBLogLevel::warning)[0],
              "The init beacon was not taken by " + *config().collectorURL + ": HTTP 503");

    // A collector that is not there at all.
    const std::string address = *config().collectorURL;
    server->stop();
    auto lonely = YBPlugin::create(nullptr, nullptr, {.collectorURL = address, .session = session});
    lonely->fireInit();
    ASSERT_TRUE(runUntil([&] { return allSettled(lonely); }));
    beacons = lonely->beacons();
    ASSERT_EQ(beacons.size(), 1u);
    EXPECT_EQ(beacons[0].delivery, YBBeacon::Delivery::failed);
    EXPECT_FALSE(beacons[0].statusCode);
    EXPECT_FALSE(beacons[0].failure.value_or("").empty());
}

TEST_F(YouboraLibTest, BeaconsAlreadyMadeAreDeliveredAfterThePluginIsReleased) {
    auto plugin = YBPlugin::create(nullptr, YBPlayerAdapter::create(std::make_shared<RatePlayer>()), config());
    plugin->fireInit();
    plugin->fireErrorWithMessage("m", "c", std::nullopt);
    plugin->removeAdapter();
    plugin.reset();  // the first beacon is still on its way, the others wait behind it
    ASSERT_TRUE(runUntil([&] { return collector->beacons().size() == 3; }));
    EXPECT_EQ(events(collector->beacons()), (std::vector<std::string>{"init", "error", "stop"}));
}

TEST_F(YouboraLibTest, OptionsCarryEveryFieldAndTextThatIsNotUTF8DoesNotStopABeacon) {
    auto options = YBOptions::create();
    EXPECT_FALSE(options->offline());
    EXPECT_FALSE(options->accountCode());
    options->setOffline(true);
    options->setContentCdn(std::nullopt);
    options->setContentCustomDimension11("unknow");
    options->setUsername("viewer");
    options->setContentBitrate(std::numeric_limits<double>::quiet_NaN());
    options->setContentDuration(std::numeric_limits<double>::infinity());
    options->setContentTitle(std::string("Caf\xe9 \xff"));  // Latin-1 bytes, not UTF-8
    EXPECT_TRUE(std::isnan(*options->contentBitrate()));
    EXPECT_EQ(options->contentCustomDimension11(), "unknow");

    const auto json = options->toJSON();
    std::vector<std::string> keys;
    for (const auto& [key, value] : json.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"offline",
                                              "accountCode",
                                              "appName",
                                              "appReleaseVersion",
                                              "contentCdn",
                                              "contentCustomDimension1",
                                              "contentCustomDimension3",
                                              "contentCustomDimension9",
                                              "contentCustomDimension11",
                                              "contentCustomDimension12",
                                              "contentCustomDimension13",
                                              "contentCustomDimension16",
                                              "contentId",
                                              "contentResource",
                                              "contentStreamingProtocol",
                                              "contentTitle",
                                              "contentTransactionCode",
                                              "contentType",
                                              "contentTransportFormat",
                                              "username",
                                              "userType",
                                              "contentBitrate",
                                              "contentRendition",
                                              "contentDuration"}));
    EXPECT_EQ(json["offline"], true);
    EXPECT_TRUE(json["contentCdn"].is_null());
    EXPECT_TRUE(json["contentBitrate"].is_null());
    EXPECT_TRUE(json["contentDuration"].is_null());

    auto plugin = YBPlugin::create(options, nullptr, config());
    plugin->fireInit();
    ASSERT_TRUE(runUntil([&] { return allSettled(plugin); }));
    EXPECT_EQ(plugin->beacons()[0].delivery, YBBeacon::Delivery::delivered);
    ASSERT_EQ(collector->beacons().size(), 1u);
    EXPECT_EQ(collector->beacons()[0].body["options"]["contentTitle"], "Caf\xef\xbf\xbd \xef\xbf\xbd");
    EXPECT_EQ(collector->beacons()[0].rawBody,
              plugin->beacons()[0].body.dump(-1, ' ', false, foundation::JSONValue::error_handler_t::replace));
}

TEST(YouboraOptionsTest, TheKeptSnapshotFollowsEveryChangeAsAFreshOneWould) {
    // Options set one way, their snapshot taken, then every option changed: the snapshot that follows is the
    // one options set that way from the start give.
    auto set = [](YBOptions& o, int round) {
        const std::string r = std::to_string(round);
        o.setOffline(round % 2 == 1);
        o.setAccountCode("account" + r);
        o.setAppName("app" + r);
        o.setAppReleaseVersion("release" + r);
        o.setContentCdn("cdn" + r);
        o.setContentCustomDimension1("d1-" + r);
        o.setContentCustomDimension3("d3-" + r);
        o.setContentCustomDimension9("d9-" + r);
        o.setContentCustomDimension11("d11-" + r);
        o.setContentCustomDimension12("d12-" + r);
        o.setContentCustomDimension13("d13-" + r);
        o.setContentCustomDimension16(round == 1 ? std::nullopt : std::optional<std::string>("d16"));
        o.setContentId("id" + r);
        o.setContentResource("https://cdn.example/" + r + ".m3u8");
        o.setContentStreamingProtocol("HLS" + r);
        o.setContentTitle("title" + r);
        o.setContentTransactionCode("transaction" + r);
        o.setContentType("type" + r);
        o.setContentTransportFormat("format" + r);
        o.setUsername("user" + r);
        o.setUserType("userType" + r);
        o.setContentBitrate(round == 1 ? std::nullopt : std::optional<double>(150000.0 * round));
        o.setContentRendition("640x360@" + r);
        o.setContentDuration(round == 1 ? std::optional<double>(120) : std::optional<double>(INFINITY));
    };
    auto kept = YBOptions::create();
    set(*kept, 1);
    const foundation::JSONValue first = kept->toJSON();
    auto fresh = YBOptions::create();
    set(*fresh, 1);
    EXPECT_EQ(first, fresh->toJSON());
    set(*kept, 2);
    auto fresh2 = YBOptions::create();
    set(*fresh2, 2);
    EXPECT_EQ(kept->toJSON(), fresh2->toJSON());
    EXPECT_NE(kept->toJSON(), first);
    // Setting an option to what it holds changes nothing.
    set(*kept, 2);
    EXPECT_EQ(kept->toJSON(), fresh2->toJSON());
}

TEST(YouboraUtilsTest, RenditionStringsNameTheSizeAndTheBitrate) {
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(640, 360, 150000), "640x360@150Kbps");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(1920, 1080, 4500000), "1920x1080@4.50Mbps");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(1920, 1080, 999499), "1920x1080@999Kbps");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(1920, 1080, 999500), "1920x1080@1.00Mbps");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(416, 234, 800), "416x234@800bps");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(0, 360, 150000), "150Kbps");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(-640, 360, 150000), "150Kbps");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(640, 360, 0), "640x360");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(640, 360, std::numeric_limits<double>::quiet_NaN()), "640x360");
    EXPECT_EQ(YBYouboraUtils::buildRenditionString(0, 0, -1), "");
    const std::string huge = YBYouboraUtils::buildRenditionString(1, 1, std::numeric_limits<double>::max());
    EXPECT_TRUE(huge.starts_with("1x1@1797693")) << huge;
    EXPECT_TRUE(huge.ends_with(".00Mbps")) << huge;
}

TEST_F(YouboraLibTest, TheCollectorRefusesWhatIsNotABeaconAndListsWhatItTook) {
    auto post = [&](const std::string& body) {
        foundation::URLRequest request(*foundation::URL::fromString(*config().collectorURL));
        request.httpMethod = "POST";
        request.httpBody = foundation::dataFromString(body);
        std::optional<int> status;
        std::mutex mutex;
        session
            ->dataTask(request,
                       [&](auto, std::optional<foundation::HTTPURLResponse> response, auto) {
                           std::lock_guard lock(mutex);
                           status = response ? response->statusCode : -1;
                       })
            ->resume();
        EXPECT_TRUE(runUntil([&] {
            std::lock_guard lock(mutex);
            return status.has_value();
        }));
        std::lock_guard lock(mutex);
        return status.value_or(0);
    };
    EXPECT_EQ(post("not json"), 400);
    EXPECT_EQ(post("[]"), 400);
    EXPECT_EQ(post(R"({"event":""})"), 400);
    EXPECT_EQ(post(R"({"event":3})"), 400);
    EXPECT_EQ(post(R"({"event":"init","view":"V","sequence":1})"), 200);
    const auto all = collector->beacons();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].status, 400);
    EXPECT_TRUE(all[0].body.is_null());
    EXPECT_EQ(all[0].rawBody, "not json");
    EXPECT_EQ(all[4].view, "V");
    EXPECT_EQ(all[4].sequence, 1);
    EXPECT_EQ(collector->beacons("init").size(), 1u);
    EXPECT_EQ(server->requestLog().entries(collector->path()).back().service, "analytics");
}

TEST_F(YouboraLibTest, BeaconsFromManyThreadsAreNumberedOnceEach) {
    auto plugin = YBPlugin::create(nullptr, nullptr, config());
    plugin->fireInit();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                plugin->options()->setContentBitrate(1000.0 * (t * 5 + i));
                plugin->fireErrorWithMessage("thread " + std::to_string(t), std::to_string(i), std::nullopt);
                (void)plugin->beacons();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    plugin->removeAdapter();
    ASSERT_TRUE(runUntil([&] { return collector->beacons().size() == 22 && allSettled(plugin); }));
    const auto received = collector->beacons();
    for (std::size_t i = 0; i < received.size(); ++i) EXPECT_EQ(received[i].sequence, static_cast<std::int64_t>(i + 1));
    EXPECT_EQ(received.front().event, "init");
    EXPECT_EQ(received.back().event, "stop");
}

TEST(YBLogTest, LoggersAreHeldWeaklyAndToldInOrder) {
    auto first = std::make_shared<RecordingLogger>();
    auto second = std::make_shared<RecordingLogger>();
    YBLog::addLoggerDelegate(first);
    YBLog::addLoggerDelegate(second);
    YBLog::addLoggerDelegate(first);
    YBLog::log(YBLogLevel::notice, "one");
    second.reset();
    YBLog::log(YBLogLevel::error, "two");
    YBLog::removeLoggerDelegate(first);
    YBLog::log(YBLogLevel::error, "three");
    EXPECT_EQ(first->lines, (std::vector<std::pair<YBLogLevel, std::string>>{{YBLogLevel::notice, "one"},
                                                                             {YBLogLevel::error, "two"}}));
}
