// The local player-event back end as the kit meets it: the answer it decodes and the stream limit.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devserver/IdentityService.h"
#include "devserver/PlayerEventService.h"
#include "devserver/Server.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "playservice/ConcurrencyError.h"
#include "telemetry/AssetPlays.h"
#include "telemetry/PlayerEventController.h"

namespace lumora {
namespace {

class PlayerEventBackEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        events = devserver::PlayerEventService::create({
            .maxConcurrentStreams = 1,
            .eventInterval = 30,
            .clock = [] { return dispatch::Clock::current()->now(); },
        });
        auto started = devserver::Server::start({.services = {events}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        session = alamofire::Session::create();
    }
    void TearDown() override {
        session->session()->invalidateAndCancel();
        if (server) server->stop();
    }

    // A device of the viewer; each controller is one device.
    std::shared_ptr<PlayerEventController> device(std::string id) {
        return PlayerEventController::create(
            {.session = session, .deviceId = std::move(id), .platformName = "TestOS", .systemVersion = "1"});
    }

    PlayerEventData data(std::string token, std::string assetId = "vod-clear") {
        PlayerEventRequest::Body body;
        body.client.platform = "ios";
        body.client.userAgent = "UA";
        body.progress.assetId = std::move(assetId);
        body.progress.title = "T";
        body.progress.playbackType = "vod";
        body.progress.vod = PlayerEventRequest::Progress::Vod{.duration = 120, .position = "0.0"};
        return PlayerEventData{.vodPosition = 3,
                               .eventNumber = 1,
                               .playerEventUrl = server->baseURL() + std::string(devserver::play::playerEventPath),
                               .playerEventBody = std::move(body),
                               .auth0Token = std::move(token)};
    }

    // "ok" for one element and completion, "limit" for the concurrency error, else the error's text.
    std::string send(const std::shared_ptr<PlayerEventController>& controller, const PlayerEventData& d) {
        std::optional<std::string> out;
        controller->makeEventBody(PlayerEventKind::period, d)
            .subscribe([](const rx::Void&) {},
                       [&](const foundation::Error& e) {
                           out = e.is<ConcurrencyError>() ? "limit" : e.localizedDescription();
                       },
                       [&] { out = "ok"; });
        EXPECT_TRUE(dispatch::RunLoop::main().runUntil([&] { return out.has_value(); }));
        return out.value_or("no answer");
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::PlayerEventService> events;
    std::shared_ptr<devserver::Server> server;
    std::shared_ptr<alamofire::Session> session;
};

TEST_F(PlayerEventBackEndTest, TheAnswerDecodesAsThePlaysOfTheAsset) {
    auto controller = device("PHONE");
    ASSERT_EQ(send(controller, data("viewer-a")), "ok");
    auto recorded = events->events();
    ASSERT_EQ(recorded.size(), 1u);

    // Post the very body again and decode the real answer.
    std::optional<alamofire::DataResponse<AssetPlays>> answer;
    foundation::URLRequest request(*foundation::URL::fromString(data("viewer-a").playerEventUrl), 10);
    request.httpMethod = "POST";
    request.setValue("application/json", "Content-Type");
    request.setValue("Bearer viewer-a", "Authorization");
    const std::string& raw = recorded[0].rawBody;
    request.httpBody = foundation::Data(raw.begin(), raw.end());
    session->request(request)->responseDecodable<AssetPlays>([&](auto r) { answer = std::move(r); });
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer->value()) << answer->error()->localizedDescription();
    ASSERT_EQ(answer->value()->play.size(), 1u);
    const AssetPlay& play = answer->value()->play[0];
    EXPECT_EQ(play.id, "vod-clear");
    EXPECT_EQ(play.title, "Harbour Derby: Full Match");
    EXPECT_EQ(play.duration, 120.0);
    EXPECT_FALSE(play.live);
    EXPECT_FALSE(play.drmProtected);
    EXPECT_EQ(play.stream.mediaFormat, MediaFormat::hlsTS);
    EXPECT_EQ(play.stream.manifest.uri, server->baseURL() + "/hls/vod-clear/master.m3u8");
    ASSERT_EQ(play.alternativeStreams.size(), 1u);
    ASSERT_TRUE(play.event);
    EXPECT_EQ(play.event->eventInterval(), 30.0);
    EXPECT_EQ(play.event->uri(), data("x").playerEventUrl);
    EXPECT_EQ(play.event->body().client().viewingSession(), "PHONE");
    EXPECT_EQ(play.event->body().progress().vod()->position(), "3.0");
    EXPECT_EQ(play.assetType, "vod");
}

TEST_F(PlayerEventBackEndTest, ASecondConcurrentSessionIsRefusedUntilTheFirstStopsReporting) {
    auto phone = device("PHONE");
    auto tablet = device("TABLET");
    EXPECT_EQ(send(phone, data("viewer-a")), "ok");
    EXPECT_EQ(send(tablet, data("viewer-a")), "limit");
    // The same device watching another asset is another session too.
    EXPECT_EQ(send(phone, data("viewer-a", "live-1")), "limit");
    // Other viewers have limits of their own.
    EXPECT_EQ(send(tablet, data("viewer-b")), "ok");

    // The running session goes on; a refused one opened nothing.
    clock.advance(30.0);
    EXPECT_EQ(send(phone, data("viewer-a")), "ok");
    EXPECT_EQ(events->activeSessions("viewer-a"), (std::vector<std::string>{"PHONE|vod-clear"}));

    // Two intervals of silence still count as active; more than that frees the slot.
    clock.advance(60.0);
    EXPECT_EQ(send(tablet, data("viewer-a")), "limit");
    clock.advance(1.0);
    EXPECT_EQ(send(tablet, data("viewer-a")), "ok");
    EXPECT_EQ(send(phone, data("viewer-a")), "limit");

    auto recorded = events->events();
    ASSERT_EQ(recorded.size(), 8u);
    EXPECT_EQ(recorded[1].status, 403);
    EXPECT_EQ(recorded[1].viewer, "viewer-a");
    EXPECT_EQ(recorded[1].session, "TABLET|vod-clear");
    EXPECT_EQ(recorded[1].playerEvent, "period");
    EXPECT_EQ(recorded[6].status, 200);

    // A higher limit lets both run.
    events->setMaxConcurrentStreams(2);
    EXPECT_EQ(send(phone, data("viewer-a")), "ok");
    EXPECT_EQ(send(tablet, data("viewer-a")), "ok");
}

TEST_F(PlayerEventBackEndTest, UnknownViewersAndBadBodiesAreRefusedButCountAsDeliveredByTheKit) {
    auto identity = devserver::IdentityService::create();
    events =
        devserver::PlayerEventService::create({.viewerForToken = devserver::PlayerEventService::viewersOf(identity)});
    auto started = devserver::Server::start({.services = {events}, .echo = false});
    ASSERT_TRUE(started);
    auto d = data("not-issued");
    d.playerEventUrl = (*started)->baseURL() + std::string(devserver::play::playerEventPath);
    EXPECT_EQ(send(device("PHONE"), d), "ok");
    ASSERT_EQ(events->events().size(), 1u);
    EXPECT_EQ(events->events()[0].status, 401);

    devserver::RecordedRequest garbage;
    garbage.body = "{oops";
    garbage.headers = {{"Authorization", "Bearer t"}};
    auto plain = devserver::PlayerEventService::create();
    EXPECT_EQ(plain->handle(garbage).status, 400);
    EXPECT_TRUE(plain->events()[0].body.is_null());
    garbage.headers.clear();
    EXPECT_EQ(plain->handle(garbage).status, 401);
    (*started)->stop();
}

// Records the failure of each request the session finishes.
class FailureMonitor final : public alamofire::EventMonitor {
  public:
    void requestDidFinish(const std::optional<foundation::URLRequest>& request,
                          const std::optional<foundation::HTTPURLResponse>&,
                          const std::optional<alamofire::AFError>& error) override {
        std::lock_guard lock(mutex);
        if (request) caps.push_back(request->maximumResponseSize.value_or(0));
        if (error) failures.push_back(error->localizedDescription());
    }
    std::mutex mutex;  // guards caps and failures
    std::vector<std::size_t> caps;
    std::vector<std::string> failures;
};

TEST_F(PlayerEventBackEndTest, AnAnswerOverTheCapIsCutOffWhileItArrivesAndTheEventCountsAsDelivered) {
    // The answer is never used, only its status; one padded past 1 MiB is refused as it arrives, and the
    // event still counts as delivered.
    auto monitor = std::make_shared<FailureMonitor>();
    session = alamofire::Session::create(foundation::URLSessionConfiguration::default_(), nullptr, {monitor});
    server->injectFault(std::string(devserver::play::playerEventPath),
                        {.status = 200, .body = R"({"data":[],"pad":")" + std::string(2 << 20, 'x') + R"("})"});
    EXPECT_EQ(send(device("PHONE"), data("viewer-a")), "ok");
    std::lock_guard lock(monitor->mutex);
    EXPECT_EQ(monitor->caps, std::vector<std::size_t>{PlayerEventController::maximumResponseSize});
    EXPECT_EQ(monitor->failures,
              std::vector<std::string>{
                  "The request failed. Reason: resource exceeds maximum size (larger than 1048576 bytes)"});
}

}  // namespace
}  // namespace lumora
