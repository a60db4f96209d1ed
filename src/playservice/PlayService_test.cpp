#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "devserver/PlayService.h"
#include "devserver/Server.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "kitfoundation/networking/NetworkError.h"
#include "playservice/PlayService.h"
#include "playservice/VideoAPI.h"
#include "playservice/VideoError.h"
#include "playservice/testing/PlayServiceFakes.h"

using namespace lumora;
using namespace lumora::testing;

namespace {

class PlayServiceWire : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {devserver::PlayService::create()}});
        ASSERT_TRUE(started) << started.error();
        server_ = *started;
    }
    void TearDown() override {
        if (server_) server_->stop();
    }

    std::expected<PlayAssetAPIModel, PlayServiceError> fetch(const std::shared_ptr<PlayService>& service,
                                                             const std::string& assetId) {
        std::optional<std::expected<PlayAssetAPIModel, PlayServiceError>> result;
        int calls = 0;
        AssetInfo info;
        info.assetId = assetId;
        info.capabilities.codecs = {"avc"};
        service->fetch(info, [&](auto r) {
            EXPECT_TRUE(dispatch::DispatchQueue::isMainThread());
            ++calls;
            result = std::move(r);
        });
        EXPECT_TRUE(dispatch::RunLoop::main().runUntil([&] { return calls > 0; }));
        dispatch::RunLoop::main().runUntilIdle();
        EXPECT_EQ(calls, 1);
        if (!result) return std::unexpected(PlayServiceError::generic(LumoraNetworkError::server()));
        return std::move(*result);
    }

    std::shared_ptr<PlayService> service(std::optional<std::string> token = "entitled-token") {
        return PlayService::create(server_->baseURL() + "/", FakeTokenSource{std::move(token)}.source(), "profile-7");
    }

    dispatch::testing::ManualClockScope clock_;
    std::shared_ptr<devserver::Server> server_;
};

}  // namespace

TEST_F(PlayServiceWire, TheRequestOnTheWire) {
    auto answer = fetch(service(), "vod-clear");
    ASSERT_TRUE(answer) << answer.error().localizedDescription();
    EXPECT_EQ(answer->assetId, "vod-clear");

    auto requests = server_->requestLog().entries("/api/v3/play");
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.header("Content-Type"), "application/json");
    EXPECT_EQ(r.header("X-Vimond-Subprofile"), "profile-7");
    EXPECT_EQ(r.header("Authorization"), "Bearer entitled-token");
    const auto body = nlohmann::json::parse(r.body);
    EXPECT_EQ(body, nlohmann::json::parse(R"({"assetId":"vod-clear","application":{"name":"","version":"","appId":""},
        "device":{"id":"","type":"","brand":"","model":""},"os":{"name":"","version":""},"player":{"name":"","version":""},
        "capabilities":{"codecs":["avc"]},"ads":{"optOut":true}})"));
}

TEST_F(PlayServiceWire, ServerAnswersBecomeServerErrors) {
    auto e1006 = fetch(service(), "err-1006");
    ASSERT_FALSE(e1006);
    ASSERT_TRUE(e1006.error().isServer());
    EXPECT_EQ(e1006.error().serverCase()->httpCode, 401);
    EXPECT_EQ(e1006.error().serverCase()->apiError, "1006");

    auto e3003 = fetch(service(), "err-3003");
    ASSERT_TRUE(e3003.error().isServer());
    EXPECT_EQ(e3003.error().serverCase()->httpCode, 403);
    EXPECT_EQ(e3003.error().serverCase()->apiError, "3003");
    EXPECT_EQ(e3003.error().serverCase()->message, "This asset is not part of your subscription");

    auto unknown = fetch(service(), "nope");
    EXPECT_EQ(unknown.error().serverCase()->httpCode, 404);

    server_->injectFault("/api/v3/play", {.status = 503, .body = "Service Unavailable"});
    auto unavailable = fetch(service(), "vod-clear");
    EXPECT_EQ(unavailable.error().serverCase()->httpCode, 503);
    EXPECT_FALSE(unavailable.error().serverCase()->apiError);
}

TEST_F(PlayServiceWire, TransportFailuresBadBodiesAndMissingTokensAreGeneric) {
    server_->injectFault("/api/v3/play", {.status = 200, .body = R"({"assetId":"vod-clear","assetTitle":)"});
    auto truncated = fetch(service(), "vod-clear");
    ASSERT_TRUE(truncated.error().isGeneric());
    EXPECT_TRUE(truncated.error().genericError()->is<foundation::DecodingError>());

    // Every attempt dropped (the HTTP client may retry once on a reused connection).
    server_->injectFault("/api/v3/play", {.dropConnection = true, .times = 0});
    auto dropped = fetch(service(), "vod-clear");
    server_->clearFaults();
    EXPECT_TRUE(!dropped && dropped.error().isGeneric())
        << (dropped ? "answered" : dropped.error().localizedDescription());

    const auto before = server_->requestLog().entries("/api/v3/play").size();
    auto signedOut = fetch(service(std::nullopt), "vod-clear");
    ASSERT_TRUE(signedOut.error().isGeneric());
    EXPECT_TRUE(signedOut.error().genericError()->is<LumoraNetworkError>());
    EXPECT_EQ(server_->requestLog().entries("/api/v3/play").size(), before);  // nothing sent

    auto badAddress = PlayService::create("not a url", FakeTokenSource{"t"}.source());
    EXPECT_TRUE(fetch(badAddress, "vod-clear").error().isGeneric());
}

TEST_F(PlayServiceWire, AnAnswerOverTheCapIsRefusedAsItArrivesNamingTheCap) {
    // A play answer that would decode, padded past 1 MiB: refused while it arrives (never held whole, never
    // parsed), a generic error whose text names the cap. At the cap's edge an answer still decodes.
    auto padded = [](std::size_t total) {
        const std::string head = R"({"assetId":"vod-clear","assetTitle":")";
        return head + std::string(total - head.size() - 2, 'x') + R"("})";
    };
    server_->injectFault("/api/v3/play", {.status = 200, .body = padded(PlayService::maximumResponseSize + 1)});
    auto refused = fetch(service(), "vod-clear");
    ASSERT_FALSE(refused);
    ASSERT_TRUE(refused.error().isGeneric());
    EXPECT_EQ(refused.error().genericError()->localizedDescription(),
              "The request failed. Reason: resource exceeds maximum size (larger than 1048576 bytes)");

    server_->injectFault("/api/v3/play", {.status = 200, .body = padded(PlayService::maximumResponseSize)});
    const auto taken = fetch(service(), "vod-clear");
    ASSERT_TRUE(taken) << taken.error().localizedDescription();
    EXPECT_GT(taken->assetTitle.size(), PlayService::maximumResponseSize - 64);
}

// Answers every play request with `status`, a small error body and header fields past the client's cap.
class OversizedHeaders final : public devserver::Service {
  public:
    explicit OversizedHeaders(int status) : status_(status) {}
    std::string name() const override { return "oversized-headers"; }
    void registerRoutes(devserver::Router& router) override {
        router.add("POST", PlayService::playPath, [status = status_](const devserver::RecordedRequest&) {
            auto reply = devserver::Reply::apiError(status, "3003", "Not part of your subscription");
            for (int i = 0; i < 40; ++i)
                reply.headers.emplace_back("X-Filler-" + std::to_string(i), std::string(8192, 'h'));
            return reply;
        });
    }

  private:
    int status_;
};

TEST_F(PlayServiceWire, AnErrorAnswerOverACapKeepsItsStatus) {
    // A refusal (or a failure of the service) whose page is over the body cap is still that answer, without
    // the fields of the body it could not read.
    for (const int status : {403, 503}) {
        const std::string page = R"({"code":"3003","message":")" + std::string(1100 * 1024, 'x') + R"("})";
        server_->injectFault("/api/v3/play", {.status = status, .body = page});
        auto refused = fetch(service(), "vod-clear");
        ASSERT_FALSE(refused);
        ASSERT_TRUE(refused.error().isServer()) << refused.error().localizedDescription();
        EXPECT_EQ(refused.error().serverCase()->httpCode, status);
        EXPECT_FALSE(refused.error().serverCase()->apiError);
        EXPECT_EQ(refused.error().localizedDescription(), "Play service error. HTTP " + std::to_string(status));
    }
    // Header fields over their cap: the status stands for a refusal; a success without its headers is no answer.
    for (const int status : {403, 200}) {
        auto started = devserver::Server::start({.services = {std::make_shared<OversizedHeaders>(status)}});
        ASSERT_TRUE(started) << started.error();
        auto own = PlayService::create((*started)->baseURL(), FakeTokenSource{"entitled-token"}.source());
        auto answer = fetch(own, "vod-clear");
        (*started)->stop();
        ASSERT_FALSE(answer);
        if (status == 403) {
            ASSERT_TRUE(answer.error().isServer()) << answer.error().localizedDescription();
            EXPECT_EQ(answer.error().serverCase()->httpCode, 403);
        } else {
            ASSERT_TRUE(answer.error().isGeneric());
            EXPECT_EQ(answer.error().localizedDescription(),
                      "The request failed. Reason: bad server response (the response headers are larger than "
                      "262144 bytes)");
        }
    }
}

TEST_F(PlayServiceWire, TheWholeRoadForEveryCatalogueAsset) {
    FakeTokenSource tokens{"entitled-token"};
    PlayAssetDependencies d = PlayAssetDependencies::make(server_->baseURL(), tokens.source());
    auto api = VideoAPI::create(d, tokens.source());

    const auto run = [&](const std::string& id) {
        auto result =
            std::make_shared<std::pair<std::optional<AssetStreamContent>, std::optional<foundation::Error>>>();
        api->fetchStreamContent(id).subscribe([result](const AssetStreamContent& c) { result->first = c; },
                                              [result](const foundation::Error& e) { result->second = e; });
        EXPECT_TRUE(dispatch::RunLoop::main().runUntil([&] { return result->first || result->second; }));
        return *result;
    };

    for (const char* id : {"vod-clear", "vod-protected", "live-1", "vod-ads"}) {
        auto [content, error] = run(id);
        ASSERT_TRUE(content) << id << ": " << (error ? error->localizedDescription() : "");
        EXPECT_EQ(content->id, id);
        EXPECT_EQ(content->resource, server_->baseURL() + "/hls/" + id + "/master.m3u8");
        EXPECT_EQ(content->isDRMProtected, std::string(id) == "vod-protected" || std::string(id) == "live-1");
        EXPECT_EQ(content->playerEventParameter->playerEventUrl, server_->baseURL() + "/api/v1/player-events");
        EXPECT_EQ(content->playerEventParameter->playerEventInterval, 30);
        EXPECT_EQ(content->accessToken, "entitled-token");
    }
    for (const char* id : {"no-stream", "err-1006", "err-3003"}) {
        auto [content, error] = run(id);
        ASSERT_TRUE(error) << id;
        EXPECT_TRUE(error->is<VideoError>()) << id;
    }
}
