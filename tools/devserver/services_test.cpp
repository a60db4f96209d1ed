// The rules of the back ends the local server stands in for: signed tokens, the entitlement token's
// expiry, the player-event stream limit and its window, and the licence server's checks.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "devserver/EntitlementService.h"
#include "devserver/IdentityService.h"
#include "devserver/Jwt.h"
#include "devserver/LicenceService.h"
#include "devserver/PlayService.h"
#include "devserver/PlayerEventService.h"

namespace devserver {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

long long secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TEST(Jwt, Base64URLFollowsTheAlphabetWithoutPaddingAndRefusesWhatIsNotOfIt) {
    // RFC 4648's vectors, in the URL alphabet and without padding.
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"", ""},           {"f", "Zg"},          {"fo", "Zm8"},          {"foo", "Zm9v"},
        {"foob", "Zm9vYg"}, {"fooba", "Zm9vYmE"}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "-_-_"}};
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(jwt::base64URLEncode(bytes), text);
        EXPECT_EQ(jwt::base64URLDecode(text), bytes);
    }
    for (const char* bad : {"Zm9v=", "Zm9v+", "Zm/v", "Z", "Zm9vY", "a b", "Zh", "Zm9"}) {
        EXPECT_EQ(jwt::base64URLDecode(bad), std::nullopt) << bad;
    }
}

TEST(Jwt, OnlyAnUntouchedHS256TokenOfTheSameSecretVerifies) {
    const Json claims = {{"sub", "acc-1"}, {"exp", 2'000'000'000}};
    const std::string token = jwt::signHS256(claims, "secret");
    ASSERT_EQ(jwt::verifyHS256(token, "secret"), claims);
    EXPECT_EQ(jwt::verifyHS256(token, "other secret"), std::nullopt);

    const auto first = token.find('.');
    const auto second = token.rfind('.');
    const std::string header = token.substr(0, first);
    const std::string payload = token.substr(first + 1, second - first - 1);
    const std::string signature = token.substr(second + 1);

    // A signature changed in one character (in the middle, or in the unused bits of the last one), or taken
    // from another payload.
    for (std::size_t at : {second + 10, token.size() - 1}) {
        std::string tampered = token;
        tampered[at] = tampered[at] == 'A' ? 'B' : 'A';
        EXPECT_EQ(jwt::verifyHS256(tampered, "secret"), std::nullopt) << at;
    }
    const std::string otherPayload = jwt::base64URLEncode(Json{{"sub", "acc-2"}, {"exp", 2'000'000'000}}.dump());
    EXPECT_EQ(jwt::verifyHS256(header + "." + otherPayload + "." + signature, "secret"), std::nullopt);

    // Another algorithm, even one whose signature would check out, and no algorithm at all.
    for (const char* alg : {R"({"alg":"none","typ":"JWT"})", R"({"alg":"HS512","typ":"JWT"})", R"({"typ":"JWT"})"}) {
        const std::string input = jwt::base64URLEncode(alg) + "." + payload;
        const std::string resigned = jwt::signHS256(claims, "secret");
        EXPECT_EQ(jwt::verifyHS256(input + "." + resigned.substr(resigned.rfind('.') + 1), "secret"), std::nullopt);
        EXPECT_EQ(jwt::verifyHS256(input + ".", "secret"), std::nullopt) << alg;
    }
    // Malformed: parts missing or extra, a payload that is not an object.
    for (const std::string& bad : {header + "." + payload, token + ".x", std::string(".."), std::string("")}) {
        EXPECT_EQ(jwt::verifyHS256(bad, "secret"), std::nullopt) << bad;
    }
    const std::string arrayToken = jwt::signHS256(Json::array({1, 2}), "secret");
    EXPECT_EQ(jwt::verifyHS256(arrayToken, "secret"), std::nullopt);
    EXPECT_EQ(jwt::randomHex(8).size(), 16u);
    EXPECT_NE(jwt::randomHex(8), jwt::randomHex(8));
}

TEST(EntitlementTokens, OnlyUnexpiredTokensOfTheServiceAreAccepted) {
    auto entitlement = EntitlementService::create(IdentityService::create());
    const std::string secret = entitlement->options().secret;
    const long long now = secondsNow();
    EXPECT_TRUE(entitlement->verify(jwt::signHS256({{"sub", "a"}, {"exp", now + 60}}, secret)));
    EXPECT_FALSE(entitlement->verify(jwt::signHS256({{"sub", "a"}, {"exp", now - 1}}, secret)));  // expired
    EXPECT_FALSE(entitlement->verify(jwt::signHS256({{"sub", "a"}}, secret)));                    // no expiry
    EXPECT_FALSE(entitlement->verify(jwt::signHS256({{"sub", "a"}, {"exp", "later"}}, secret)));
    EXPECT_FALSE(entitlement->verify(jwt::signHS256({{"sub", "a"}, {"exp", now + 60}}, "another secret")));
}

// ---- player events ----

class PlayerEventRules : public ::testing::Test {
  protected:
    std::shared_ptr<PlayerEventService> service = PlayerEventService::create({
        .maxConcurrentStreams = 1,
        .eventInterval = 30,
        .clock = [this] { return now; },
        .baseURL = "http://127.0.0.1:1",
    });
    std::chrono::nanoseconds now{0};

    int post(const std::string& token, const std::string& device, const std::string& asset = "vod-clear",
             const std::string& kind = "period") {
        RecordedRequest request;
        request.method = "POST";
        request.headers = {{"Authorization", "Bearer " + token}};
        request.body = Json{{"client", {{"viewingSession", device}, {"playerEvent", kind}}},
                            {"progress", {{"assetId", asset}, {"eventNumber", 1}}}}
                           .dump();
        return service->handle(request).status;
    }
};

TEST_F(PlayerEventRules, ASecondSessionOfAViewerIsRefusedUntilTheFirstIsSilentForTwoIntervals) {
    EXPECT_EQ(post("viewer", "phone"), 200);
    now = 10s;
    EXPECT_EQ(post("viewer", "tablet"), 403);  // the limit: one stream
    EXPECT_EQ(post("other viewer", "tablet"), 200);
    EXPECT_EQ(post("viewer", "phone", "live-1"), 403);  // another asset on the same device is another session
    now = 55s;
    EXPECT_EQ(post("viewer", "phone"), 200);  // the first session goes on
    now = 115s;                               // exactly two intervals after its last event: still active
    EXPECT_EQ(post("viewer", "tablet"), 403);
    EXPECT_EQ(service->activeSessions("viewer"), (std::vector<std::string>{"phone|vod-clear"}));
    now = 115s + 1ms;  // just over: the slot is free
    EXPECT_TRUE(service->activeSessions("viewer").empty());
    EXPECT_EQ(post("viewer", "tablet"), 200);
    EXPECT_EQ(post("viewer", "phone"), 403);  // and the first device is now the one refused

    const auto events = service->events();
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[1].status, 403);
    EXPECT_EQ(events[1].session, "tablet|vod-clear");
    EXPECT_EQ(events[1].receivedAt, 10s);
}

TEST_F(PlayerEventRules, AnEndFreesItsSlotAtOnceAndNeverOpensOne) {
    EXPECT_EQ(post("viewer", "phone"), 200);
    EXPECT_EQ(post("viewer", "phone", "live-1"), 403);
    // The device moves to another asset: it ends the first, then starts the second.
    EXPECT_EQ(post("viewer", "phone", "vod-clear", "end"), 200);
    EXPECT_TRUE(service->activeSessions("viewer").empty());
    EXPECT_EQ(post("viewer", "phone", "live-1", "str_start"), 200);
    // An end of a session that is not running (at the limit) is taken and opens nothing.
    EXPECT_EQ(post("viewer", "tablet", "vod-clear", "end"), 200);
    EXPECT_EQ(service->activeSessions("viewer"), (std::vector<std::string>{"phone|live-1"}));
    // A later event of an ended session opens it again, as any new session would.
    EXPECT_EQ(post("viewer", "phone", "vod-clear"), 403);
}

TEST_F(PlayerEventRules, NoLimitTokensAndBodiesAreCheckedBeforeCounting) {
    RecordedRequest noToken;
    noToken.body = "{}";
    EXPECT_EQ(service->handle(noToken).status, 401);
    EXPECT_EQ(post("", "phone"), 401);
    RecordedRequest notJSON;
    notJSON.headers = {{"Authorization", "Bearer viewer"}};
    notJSON.body = "{\"client\":";
    EXPECT_EQ(service->handle(notJSON).status, 400);
    EXPECT_TRUE(service->activeSessions("viewer").empty());  // refused events open no session

    service->setMaxConcurrentStreams(0);
    for (const char* device : {"a", "b", "c"}) EXPECT_EQ(post("viewer", device), 200);
    // A shorter interval shortens the window.
    service->setMaxConcurrentStreams(1);
    service->setEventInterval(1);
    now += 2001ms;
    EXPECT_EQ(post("viewer", "d"), 200);
}

// ---- licence ----

class LicenceRules : public ::testing::Test {
  protected:
    std::shared_ptr<LicenceService> licence = LicenceService::create({
        .verifyToken = [](std::string_view token) -> std::optional<Json> {
            if (token == "active") return Json{{"sub", "acc-1"}, {"account_status", "active"}};
            if (token == "inactive") return Json{{"sub", "acc-2"}, {"account_status", "inactive"}};
            if (token == "no-status") return Json{{"sub", "acc-3"}};
            if (token == "odd-claims") return Json{{"sub", 7}, {"account_status", true}};
            return std::nullopt;
        },
    });
    Router router;

    void SetUp() override { licence->registerRoutes(router); }

    Reply ask(const std::optional<std::string>& token, const std::string& query, const std::string& body) {
        RecordedRequest request;
        request.method = "POST";
        request.path = "/fairplay/license";
        request.query = query;
        for (const auto& [name, value] :
             std::vector<std::pair<std::string, std::string>>{{"contentId", "vod-protected"}, {"keyId", "k1"}}) {
            if (query.find(name + "=") != std::string::npos) request.queryParameters.emplace_back(name, value);
        }
        if (token) request.headers = {{"Authorization", "Bearer " + *token}};
        request.body = body;
        return router.match("POST", "/fairplay/license")->handler(request);
    }
    std::string spc() const { return licence::serverPlaybackContext(licence->certificate(), "vod-protected"); }
    static int code(const Reply& reply) { return Json::parse(reply.body).value("code", 0); }
};

TEST_F(LicenceRules, AKeyIsGivenOnlyForAGoodTokenOfAnEntitledViewerAndMatchingRequestData) {
    const Reply key = ask("active", "contentId=vod-protected&keyId=k1", spc());
    ASSERT_EQ(key.status, 200);
    EXPECT_EQ(key.body, licence::contentKeyContext(spc(), "k1"));
    EXPECT_EQ(key.headers, (std::vector<std::pair<std::string, std::string>>{{"x-irdeto-renewal-duration", "120"}}));
    EXPECT_EQ(ask("no-status", "contentId=vod-protected&keyId=k1", spc()).status, 200);  // active by default

    EXPECT_EQ(code(ask(std::nullopt, "contentId=vod-protected&keyId=k1", spc())), licence::invalidTokenCode);
    EXPECT_EQ(ask("forged", "contentId=vod-protected&keyId=k1", spc()).status, 401);
    EXPECT_EQ(ask("odd-claims", "contentId=vod-protected&keyId=k1", spc()).status, 401);
    const Reply noKeyId = ask("active", "contentId=vod-protected", spc());
    EXPECT_EQ(noKeyId.status, 400);
    EXPECT_EQ(code(noKeyId), licence::badRequestCode);
    const Reply inactive = ask("inactive", "contentId=vod-protected&keyId=k1", spc());
    EXPECT_EQ(inactive.status, 403);
    EXPECT_EQ(code(inactive), licence::notEntitledCode);
    licence->setEntitled("acc-1", false);
    EXPECT_EQ(code(ask("active", "contentId=vod-protected&keyId=k1", spc())), licence::notEntitledCode);
    licence->setEntitled("acc-1", true);
    const Reply wrongData = ask("active", "contentId=vod-protected&keyId=k1", "SPC1:" + std::string(64, '0'));
    EXPECT_EQ(wrongData.status, 403);
    EXPECT_EQ(code(wrongData), licence::invalidRequestDataCode);

    // Scripted refusals come first, whoever asks, then the rules apply again.
    licence->scriptRefusal(130555, 2);
    EXPECT_EQ(code(ask("active", "contentId=vod-protected&keyId=k1", spc())), 130555);
    EXPECT_EQ(code(ask("inactive", "contentId=vod-protected&keyId=k1", spc())), 130555);
    licence->setRenewalDuration(std::nullopt);
    const Reply again = ask("active", "contentId=vod-protected&keyId=k1", spc());
    EXPECT_EQ(again.status, 200);
    EXPECT_TRUE(again.headers.empty());
    EXPECT_EQ(licence->keysServed(), 3);
}

TEST(PlayCatalogue, TheProtectedAssetWithAdsNamesItsKeysFormatAndAdBreaksWhichTheServiceAnswers) {
    const auto answer = play::playResponse(play::vodProtectedAds, "http://127.0.0.1:1");
    ASSERT_TRUE(answer);
    const auto& stream = (*answer)["stream"];
    EXPECT_EQ(stream["mediaFormat"], "ssai-drm-hls-ts");  // one of the formats the player events know
    EXPECT_EQ(stream["isSsai"], true);
    EXPECT_EQ(stream["protection"]["drm"], "fairplay");
    EXPECT_EQ(stream["adsUrl"], "http://127.0.0.1:1/ads/vod-protected-ads/breaks.json");
    EXPECT_EQ(play::playResponse(play::vodAds, "http://h")->at("stream")["mediaFormat"], "ssai-hls-ts");

    Router router;
    PlayService::create()->registerRoutes(router);
    auto get = [&](const std::string& path) {
        RecordedRequest request;
        request.method = "GET";
        request.path = path;
        const auto* route = router.match("GET", path);
        return route ? route->handler(request) : Reply{.status = 0};
    };
    const auto breaks = get("/ads/vod-protected-ads/breaks.json");
    ASSERT_EQ(breaks.status, 200);
    const auto body = Json::parse(breaks.body);
    ASSERT_EQ(body["breaks"].size(), 2u);
    EXPECT_EQ(body["breaks"][0]["ads"].size(), 2u);
    EXPECT_EQ(body["breaks"][0]["ads"][1]["startTime"], 35.0);
    EXPECT_EQ(body["breaks"][1]["ads"][0]["duration"], 6.0);
    EXPECT_EQ(get("/ads/vod-ads/breaks.json").status, 200);
    // Assets without ads, unknown ids and other names are not found.
    for (const char* path :
         {"/ads/vod-protected/breaks.json", "/ads/nothing/breaks.json", "/ads/vod-ads/x.json", "/ads/vod-ads"}) {
        EXPECT_EQ(get(path).status, 404) << path;
    }
}

}  // namespace
}  // namespace devserver
