#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "devserver/PlayerEventService.h"
#include "devserver/Server.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/JSON.h"
#include "kitfoundation/Configuration.h"
#include "playservice/ConcurrencyError.h"
#include "telemetry/PlayerEventController.h"
#include "uikit/UIDevice.h"

namespace lumora {
namespace {

using namespace std::chrono;
using Json = nlohmann::ordered_json;

// 2024-03-05T14:07:09.042Z
const dispatch::WallTime kWall = sys_days{year{2024} / 3 / 5} + hours{14} + minutes{7} + seconds{9} + milliseconds{42};
constexpr const char* kTimestamp = "2024-03-05T14:07:09.042";

PlayerEventRequest::Body makeTemplate() {
    PlayerEventRequest::Body b;
    b.eventName = "playerEvent";
    b.originatorId = "o1";
    b.subProfileId = "p1";
    b.versions = std::vector<std::string>{"1.0"};
    b.tenant = "t";
    b.logData = "l";
    b.client.platform = "ios";
    b.client.userAgent = "UA/1";
    b.client.playerEvent = "stale";
    b.originator = "server";
    b.timestamp = "stale";
    b.progress.assetId = "a1";
    b.progress.categoryId = "c1";
    b.progress.title = "T";
    b.progress.playbackType = "vod";
    b.progress.eventNumber = 1000;
    return b;
}

// Runs the main loop until `predicate` holds (at most 10 s of real time). For conditions that worker
// threads make true without posting to the main queue, which would not wake the loop.
bool waitFor(const std::function<bool()>& predicate, milliseconds bound = seconds{10}) {
    const auto deadline = steady_clock::now() + bound;
    while (!predicate() && steady_clock::now() < deadline)
        dispatch::RunLoop::main().runUntil(predicate, milliseconds{5});
    return predicate();
}

struct Outcome {
    int elements = 0;
    bool completed = false;
    std::optional<foundation::Error> error;
    bool offMainQueue = false;
    bool done() const { return completed || error.has_value(); }
};

class PlayerEventControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ConfigurationKey::setSourceForTesting([this](std::string_view key) -> std::optional<std::string> {
            auto it = settings.find(std::string(key));
            if (it == settings.end()) return std::nullopt;
            return it->second;
        });
        events = devserver::PlayerEventService::create({.maxConcurrentStreams = 0});
        auto started = devserver::Server::start({.services = {events}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        session = alamofire::Session::create();
    }
    void TearDown() override {
        if (session) session->session()->invalidateAndCancel();
        if (server) server->stop();
        ConfigurationKey::setSourceForTesting(nullptr);
    }

    std::string eventURL() const { return server->baseURL() + std::string(devserver::play::playerEventPath); }

    std::shared_ptr<PlayerEventController> makeController(std::optional<std::string> deviceId = "DEVICE-1") {
        return PlayerEventController::create(
            {.session = session, .deviceId = std::move(deviceId), .platformName = "TestOS", .systemVersion = "9.9"});
    }

    PlayerEventData makeData(PlayerEventRequest::Body body = makeTemplate()) {
        return PlayerEventData{.state = PlayerEventState::pause,
                               .eventNumber = 7,
                               .playerEventUrl = eventURL(),
                               .playerEventBody = std::move(body),
                               .auth0Token = "token-1",
                               .streamUrl = "http://127.0.0.1/hls/a1/master.m3u8"};
    }

    Outcome await(const rx::Observable<rx::Void>& observable) {
        auto out = std::make_shared<Outcome>();
        auto onMain = [out] {
            if (!dispatch::RunLoop::main().isMainThread()) out->offMainQueue = true;
        };
        observable.subscribe([out, onMain](const rx::Void&) { onMain(), ++out->elements; },
                             [out, onMain](const foundation::Error& e) { onMain(), out->error = e; },
                             [out, onMain] { onMain(), out->completed = true; });
        EXPECT_TRUE(dispatch::RunLoop::main().runUntil([&] { return out->done(); }));
        return *out;
    }

    static void expectDelivered(const Outcome& o, const char* what) {
        EXPECT_EQ(o.elements, 1) << what;
        EXPECT_TRUE(o.completed) << what;
        EXPECT_FALSE(o.error) << what << ": " << o.error->localizedDescription();
        EXPECT_FALSE(o.offMainQueue) << what;
    }

    // Sends one event and returns the body the back end received.
    Json sendAndReadBack(PlayerEventKind kind, const PlayerEventData& data,
                         std::shared_ptr<PlayerEventController> controller = nullptr) {
        if (!controller) controller = makeController();
        const std::size_t before = events->events().size();
        expectDelivered(await(controller->makeEventBody(kind, data)), "event");
        auto seen = events->events();
        if (seen.size() != before + 1) {
            ADD_FAILURE() << "no event received";
            return Json();
        }
        return seen.back().body;
    }

    dispatch::testing::ManualClockScope clock{kWall};
    std::map<std::string, std::string> settings;
    std::shared_ptr<devserver::PlayerEventService> events;
    std::shared_ptr<devserver::Server> server;
    std::shared_ptr<alamofire::Session> session;
};

TEST(PlayerEventEnums, RawValues) {
    EXPECT_EQ(PlayerEventKind(PlayerEventKind::period).rawValue(), "period");
    EXPECT_EQ(PlayerEventKind(PlayerEventKind::end).rawValue(), "end");
    EXPECT_EQ(PlayerEventKind(PlayerEventKind::error).rawValue(), "error");
    EXPECT_EQ(PlayerEventKind(PlayerEventKind::start).rawValue(), "str_start");
    EXPECT_EQ(PlayerEventKind::fromRawValue("str_start"), PlayerEventKind::start);
    EXPECT_EQ(PlayerEventState::fromRawValue("playing"), PlayerEventState::playing);
    EXPECT_EQ(PlayerEventState::fromRawValue("stop"), PlayerEventState::stop);
    EXPECT_FALSE(PlayerEventState::fromRawValue("Playing"));
    EXPECT_FALSE(PlayerEventState::fromRawValue("paused"));
    EXPECT_NE(std::hash<PlayerEventState>()(PlayerEventState::pause),
              std::hash<PlayerEventState>()(PlayerEventState::playing));
}

TEST_F(PlayerEventControllerTest, TemplateWithoutPositionBlocksAndDefaultSettings) {
    Json body = sendAndReadBack(PlayerEventKind::start, makeData());
    const Json expectedClient{
        {"buildName", "ostra-ios_app"},
        {"buildVersion", "unknown"},
        {"deviceId", "DEVICE-1"},
        {"drm", ""},
        {"envPlatform", "TestOS"},
        {"envVersion", "9.9"},
        {"pageUrl", "video"},
        {"platform", "ios"},
        {"playerEvent", "str_start"},
        {"playerState", "pause"},
        {"streamUrl", "http://127.0.0.1/hls/a1/master.m3u8"},
        {"userAgent", "UA/1"},
        {"videoFormat", "application/vnd.apple.mpegurl"},
        {"videoProtocol", "https"},
        {"viewingSession", "DEVICE-1"},
    };
    const Json expected{
        {"eventName", "playerEvent"},
        {"originatorId", "o1"},
        {"subProfileId", "p1"},
        {"versions", {"1.0"}},
        {"tenant", "t"},
        {"logData", "l"},
        {"client", expectedClient},
        {"originator", "ios_app"},
        {"timestamp", kTimestamp},
        {"progress",
         {{"assetId", "a1"}, {"categoryId", "c1"}, {"title", "T"}, {"eventNumber", 7}, {"playbackType", "vod"}}},
    };
    EXPECT_EQ(body, expected) << body.dump(1);

    // Kinds differ only in the wire name.
    body = sendAndReadBack(PlayerEventKind::period, makeData());
    EXPECT_EQ(body["client"]["playerEvent"], "period");
    body["client"]["playerEvent"] = "str_start";
    EXPECT_EQ(body, expected);
}

TEST_F(PlayerEventControllerTest, HostSettingsAndAMissingDeviceIdentifier) {
    settings = {{"SDK_PlayerEventOriginator", "tv_app"},
                {"SDK_PlayerEventBuildName", "host-build"},
                {"SDK_PlayerEventPageName", ""},
                {"SDK_PlayerEventVideoProtocol", "http"},
                {"SDK_PlayerEventVideoFormat", "video/mp4"},
                {"CFBundleVersion", "42"}};
    Json body = sendAndReadBack(PlayerEventKind::end, makeData(), makeController(std::nullopt));
    EXPECT_EQ(body["originator"], "tv_app");
    EXPECT_EQ(body["client"]["buildName"], "host-build");
    EXPECT_EQ(body["client"]["pageUrl"], "");  // an empty text is used unchanged
    EXPECT_EQ(body["client"]["videoProtocol"], "http");
    EXPECT_EQ(body["client"]["videoFormat"], "video/mp4");
    EXPECT_EQ(body["client"]["buildVersion"], "42");
    EXPECT_EQ(body["client"]["deviceId"], "unknown");
    EXPECT_EQ(body["client"]["viewingSession"], "unknown");

    settings["SDK_PlayerEventBuildVersion"] = "7.1";
    ConfigurationKey::setSourceForTesting([this](std::string_view key) -> std::optional<std::string> {
        auto it = settings.find(std::string(key));
        return it == settings.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
    EXPECT_EQ(sendAndReadBack(PlayerEventKind::end, makeData())["client"]["buildVersion"], "7.1");
}

TEST_F(PlayerEventControllerTest, LiveAndOnDemandBlocks) {
    auto live = makeTemplate();
    live.progress.live = PlayerEventRequest::Progress::Live{};
    Json body = sendAndReadBack(PlayerEventKind::period, makeData(live));
    EXPECT_EQ(body["progress"]["live"],
              (Json{{"onLiveEdge", "false"}, {"liveResumePossible", "false"}, {"position", kTimestamp}}));
    EXPECT_FALSE(body["progress"].contains("vod"));

    auto data = makeData(live);
    data.isOnLiveEdge = true;
    data.liveResumePossible = true;
    data.vodPosition = std::numeric_limits<float>::quiet_NaN();  // not read for a live block
    body = sendAndReadBack(PlayerEventKind::period, data);
    EXPECT_EQ(body["progress"]["live"]["onLiveEdge"], "true");
    EXPECT_EQ(body["progress"]["live"]["liveResumePossible"], "true");
    data.isOnLiveEdge = false;
    EXPECT_EQ(sendAndReadBack(PlayerEventKind::period, data)["progress"]["live"]["onLiveEdge"], "false");

    auto vod = makeTemplate();
    vod.progress.vod = PlayerEventRequest::Progress::Vod{.duration = 120, .position = "template"};
    data = makeData(vod);
    const std::pair<std::optional<float>, const char*> positions[] = {
        {std::nullopt, "0.0"}, {12.0f, "12.0"}, {12.5f, "12.5"}, {0.1f, "0.1"}, {5999.999f, "5999.999"}};
    for (const auto& [position, text] : positions) {
        data.vodPosition = position;
        body = sendAndReadBack(PlayerEventKind::period, data);
        EXPECT_EQ(body["progress"]["vod"], (Json{{"duration", 120.0}, {"position", text}})) << text;
        EXPECT_FALSE(body["progress"].contains("live"));
    }

    // With both blocks only the live one is refreshed.
    auto both = vod;
    both.progress.live = PlayerEventRequest::Progress::Live{.onLiveEdge = "x"};
    data = makeData(both);
    data.vodPosition = 50;
    body = sendAndReadBack(PlayerEventKind::period, data);
    EXPECT_EQ(body["progress"]["vod"], (Json{{"duration", 120.0}, {"position", "template"}}));
    EXPECT_EQ(body["progress"]["live"]["position"], kTimestamp);
}

TEST_F(PlayerEventControllerTest, TimestampIsTheWallClockAtTheCallInUTCWhateverTheLocale) {
    auto locale = std::make_optional<dispatch::testing::EnvironmentScope>("LC_ALL", "th_TH.UTF-8");
    auto controller = makeController();
    // Built at the call: a later subscription keeps the call's time.
    auto observable = controller->makeEventBody(PlayerEventKind::period, makeData());
    clock.clock().setWallNow(kWall + seconds{5});
    expectDelivered(await(observable), "event");
    locale.reset();
    EXPECT_EQ(events->events().back().body["timestamp"], kTimestamp);

    // Fractions are cut, never rounded into the next millisecond.
    clock.clock().setWallNow(sys_days{year{2023} / 12 / 31} + hours{23} + minutes{59} + seconds{59} +
                             microseconds{999900});
    EXPECT_EQ(sendAndReadBack(PlayerEventKind::period, makeData(), controller)["timestamp"], "2023-12-31T23:59:59.999");
}

TEST_F(PlayerEventControllerTest, PostsJSONWithTheBearerTokenAsTheOnlyHeaderOfItsOwn) {
    expectDelivered(await(makeController()->makeEventBody(PlayerEventKind::start, makeData())), "event");
    auto seen = server->requestLog().last();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->method, "POST");
    EXPECT_EQ(seen->header("Authorization"), "Bearer token-1");
    EXPECT_EQ(seen->header("Content-Type"), "application/json");
    std::set<std::string> own;
    for (const auto& [name, value] : seen->headers) {
        // What the transport itself sends with every request.
        if (name != "Host" && name != "Accept" && name != "Accept-Encoding" && name != "Content-Length")
            own.insert(name);
    }
    EXPECT_EQ(own, (std::set<std::string>{"Authorization", "Content-Type"}));
}

TEST_F(PlayerEventControllerTest, ThePostedBytesAreTheFilledTemplateWrittenOnceAsTheEncoderWritesIt) {
    PlayerEventRequest::Body tmpl = makeTemplate();
    tmpl.progress.title = "Derby \"Final\"\t\xc3\x85gir \xe2\x80\x93 1/2";
    tmpl.progress.vod = PlayerEventRequest::Progress::Vod{.duration = 120.5, .position = "stale"};
    PlayerEventData data = makeData(tmpl);
    data.vodPosition = 12.5f;
    expectDelivered(await(makeController()->makeEventBody(PlayerEventKind::period, data)), "event");
    const auto seen = events->events();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().rawBody,
              R"({"eventName":"playerEvent","originatorId":"o1","subProfileId":"p1","versions":["1.0"],"tenant":"t",)"
              R"("logData":"l","client":{"buildName":"ostra-ios_app","buildVersion":"unknown","deviceId":"DEVICE-1",)"
              R"("drm":"","envPlatform":"TestOS","envVersion":"9.9","pageUrl":"video","platform":"ios",)"
              R"("playerEvent":"period","playerState":"pause","streamUrl":"http://127.0.0.1/hls/a1/master.m3u8",)"
              R"("userAgent":"UA/1","videoFormat":"application/vnd.apple.mpegurl","videoProtocol":"https",)"
              R"("viewingSession":"DEVICE-1"},"originator":"ios_app","timestamp":"2024-03-05T14:07:09.042",)"
              R"("progress":{"assetId":"a1","categoryId":"c1","title":"Derby \"Final\"\t)"
              "\xc3\x85gir \xe2\x80\x93 1/2"
              R"(","eventNumber":7,"playbackType":"vod","vod":{"duration":120.5,"position":"12.5"}}})");
}

TEST_F(PlayerEventControllerTest, OnlyA403FailsEveryOtherOutcomeCountsAsDelivered) {
    const std::string path(devserver::play::playerEventPath);
    auto controller = makeController();
    server->injectFault(path, {.status = 403, .body = R"({"code":"x"})"});
    Outcome refused = await(controller->makeEventBody(PlayerEventKind::period, makeData()));
    ASSERT_TRUE(refused.error);
    EXPECT_TRUE(refused.error->is<ConcurrencyError>());
    EXPECT_EQ(refused.error->localizedDescription(), "Max number of active streams for this subscription is reached");
    EXPECT_EQ(refused.elements, 0);
    EXPECT_FALSE(refused.offMainQueue);

    const devserver::Fault others[] = {
        {.status = 200, .body = ""},
        {.status = 200, .body = "{not json"},
        {.status = 200, .body = R"({"data":[{"assetId":1}]})"},
        {.status = 500},
        {.status = 401},
    };
    for (const auto& fault : others) {
        server->injectFault(path, fault);
        expectDelivered(await(controller->makeEventBody(PlayerEventKind::period, makeData())),
                        ("status " + std::to_string(*fault.status) + " " + fault.body.value_or("")).c_str());
    }

    // Nobody listening.
    auto closed = devserver::Server::start({.echo = false});
    ASSERT_TRUE(closed);
    auto data = makeData();
    data.playerEventUrl = (*closed)->baseURL() + path;
    (*closed)->stop();
    expectDelivered(await(controller->makeEventBody(PlayerEventKind::period, data)), "refused connection");

    // No answer within the request's time-out (on the one clock).
    server->injectFault(path, {.delay = seconds{30}});
    server->requestLog().clear();
    auto out = std::make_shared<Outcome>();
    controller->makeEventBody(PlayerEventKind::period, makeData())
        .subscribe([out](const rx::Void&) { ++out->elements; }, [out](const foundation::Error& e) { out->error = e; },
                   [out] { out->completed = true; });
    ASSERT_TRUE(waitFor([&] { return server->requestLog().count() == 1; }));
    EXPECT_FALSE(out->done());
    // The idle time counts from the transfer's last activity, which the transport may note only after
    // the clock has moved; each step is a whole idle period more.
    for (int step = 0; step < 3 && !out->done(); ++step) {
        clock.advance(61.0);
        waitFor([&] { return out->done(); }, seconds{3});
    }
    ASSERT_TRUE(out->done());
    expectDelivered(*out, "time-out");
}

TEST_F(PlayerEventControllerTest, EachSubscriptionSendsTheSameBodyAndDisposingDoesNotCancel) {
    auto observable = makeController()->makeEventBody(PlayerEventKind::period, makeData());
    clock.advance(3.0);
    expectDelivered(await(observable), "first");
    expectDelivered(await(observable), "second");
    auto seen = events->events();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].rawBody, seen[1].rawBody);
    EXPECT_EQ(seen[0].body["timestamp"], kTimestamp);

    auto subscription = observable.subscribe();
    subscription.dispose();
    EXPECT_TRUE(waitFor([&] { return events->events().size() == 3; }));
}

TEST_F(PlayerEventControllerTest, ANonFinitePositionIsSentAsAbsentAndANonFiniteDurationSendsNothing) {
    auto vod = makeTemplate();
    vod.progress.vod = PlayerEventRequest::Progress::Vod{.duration = 120, .position = "0.0"};
    auto data = makeData(vod);
    auto controller = makeController();

    // A playhead that is not a number is no playhead: the position goes out as for an absent one.
    for (float position : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()}) {
        data.vodPosition = position;
        const Json body = sendAndReadBack(PlayerEventKind::period, data, controller);
        EXPECT_EQ(body["progress"]["vod"]["position"], "0.0") << position;
        EXPECT_EQ(body["progress"]["vod"]["duration"], 120.0);
    }

    // A template duration that cannot be written: nothing is sent, and that counts as delivered.
    const std::size_t sent = server->requestLog().count();
    data.vodPosition = 1;
    for (double duration : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        data.playerEventBody.progress.vod->duration = duration;
        expectDelivered(await(controller->makeEventBody(PlayerEventKind::period, data)), "duration");
    }
    EXPECT_EQ(server->requestLog().count(), sent);
}

TEST_F(PlayerEventControllerTest, UnsafeURLsAndHeaderValuesNeverLeaveTheProcess) {
    auto controller = makeController();
    const std::string port = std::to_string(server->port());
    const std::string urls[] = {"ftp://127.0.0.1:" + port + "/api/v1/player-events", "127.0.0.1:" + port + "/x", "",
                                "file:///etc/passwd", "http:///nohost"};
    for (const std::string& url : urls) {
        auto data = makeData();
        data.playerEventUrl = url;
        expectDelivered(await(controller->makeEventBody(PlayerEventKind::period, data)), url.c_str());
    }
    for (const char* token : {"abc\r\nX-Injected: 1", "abc\nX", "abc\rX"}) {
        auto data = makeData();
        data.auth0Token = token;
        expectDelivered(await(controller->makeEventBody(PlayerEventKind::period, data)), "token");
    }
    EXPECT_EQ(server->requestLog().count(), 0u);
}

TEST_F(PlayerEventControllerTest, DefaultDependenciesDescribeThisDevice) {
    const auto& current = PlayerEventController::Dependencies::current();
    ASSERT_TRUE(current.session);
    EXPECT_EQ(current.platformName, uikit::UIDevice::current().systemName());
    Json body = sendAndReadBack(PlayerEventKind::start, makeData(), PlayerEventController::create());
    EXPECT_EQ(body["client"]["deviceId"], current.deviceId.value_or("unknown"));
    EXPECT_EQ(body["client"]["envPlatform"], current.platformName);
    EXPECT_EQ(body["client"]["envVersion"], current.systemVersion);
}

}  // namespace
}  // namespace lumora
