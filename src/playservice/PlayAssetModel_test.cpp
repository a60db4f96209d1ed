#include <gtest/gtest.h>

#include "devserver/PlayService.h"
#include "foundation/JSON.h"
#include "playservice/PlayAssetModelMapper.h"
#include "playservice/PlayService.h"
#include "playservice/PlayableAssetProvider.h"
#include "playservice/testing/PlayServiceFakes.h"

using namespace lumora;
using lumora::testing::apiModel;
using lumora::testing::FakePlayService;

namespace {

constexpr const char* kBase = "http://127.0.0.1:4000";

nlohmann::ordered_json response(std::string_view id) {
    return *devserver::play::playResponse(id, kBase, 29.9);
}

std::expected<PlayAsset, MapError> mapped(const nlohmann::ordered_json& json) {
    return PlayAssetModelMapper::map(apiModel(json.dump()));
}

}  // namespace

TEST(PlayAssetModelMapper, MapsAProtectedAnswer) {
    auto asset = mapped(response("vod-protected"));
    ASSERT_TRUE(asset) << asset.error().localizedDescription();
    EXPECT_EQ(asset->assetId, "vod-protected");
    EXPECT_EQ(asset->assetTitle, "Grand Final: Extended Highlights");
    EXPECT_EQ(asset->stream.manifestURL.absoluteString(), std::string(kBase) + "/hls/vod-protected/master.m3u8");
    EXPECT_EQ(asset->stream.mediaFormat, "drm-hls-ts");
    EXPECT_EQ(asset->stream.provider, "lumora-devserver");
    ASSERT_TRUE(asset->stream.protection.isDRM());
    EXPECT_EQ(asset->stream.protection.drmCase()->name, "fairplay");
    EXPECT_EQ(asset->stream.protection.drmCase()->url.absoluteString(), std::string(kBase) + "/fairplay/certificate");
    EXPECT_FALSE(asset->stream.isSSAI);
    EXPECT_EQ(asset->playerEventRequest.url.absoluteString(), std::string(kBase) + "/api/v1/player-events");
    EXPECT_DOUBLE_EQ(asset->playerEventRequest.eventInterval, 29.9);
    EXPECT_EQ(asset->playerEventRequest.subProfileId, "profile-1");
    EXPECT_EQ(asset->youbora.contentId, "vod-protected");
    EXPECT_EQ(asset->youbora.userType, "subscriber");
    ASSERT_TRUE(asset->ozTam);
    EXPECT_EQ(asset->ozTam->mediaId, "vod-protected");
    ASSERT_EQ(asset->markers.size(), 3u);
    EXPECT_EQ(asset->markers[0].type, PlayAsset::Marker::MarkerType::intro);
    EXPECT_EQ(asset->markers[2].type, PlayAsset::Marker::MarkerType::upNext);
}

TEST(PlayAssetModelMapper, EachAnalyticsKeyLandsInItsOwnField) {
    // Every key of the block with a value of its own: a field read from a neighbour's key shows.
    using Y = PlayAsset::Youbora;
    const std::vector<std::pair<std::string, std::string Y::*>> fields = {
        {"accountCode", &Y::accountCode},
        {"appName", &Y::appName},
        {"appReleaseVersion", &Y::appReleaseVersion},
        {"contentCustomDimension1", &Y::contentCustomDimension1},
        {"contentCustomDimension2", &Y::contentCustomDimension2},
        {"contentCustomDimension4", &Y::contentCustomDimension4},
        {"contentCustomDimension5", &Y::contentCustomDimension5},
        {"contentCustomDimension6", &Y::contentCustomDimension6},
        {"contentCustomDimension7", &Y::contentCustomDimension7},
        {"contentCustomDimension8", &Y::contentCustomDimension8},
        {"contentCustomDimension10", &Y::contentCustomDimension10},
        {"contentId", &Y::contentId},
        {"contentTitle", &Y::contentTitle},
        {"contentTransactionCode", &Y::contentTransactionCode},
        {"contentType", &Y::contentType},
        {"contentChannel", &Y::contentChannel},
        {"contentGenre", &Y::contentGenre},
        {"contentLanguage", &Y::contentLanguage},
        {"contentSeason", &Y::contentSeason},
        {"contentTvShow", &Y::contentTvShow},
        {"contentEpisodeTitle", &Y::contentEpisodeTitle},
        {"contentProgram", &Y::contentProgram},
        {"contentPlaybackType", &Y::contentPlaybackType},
        {"contentSubtitles", &Y::contentSubtitles},
        {"contentPackage", &Y::contentPackage},
        {"contentSaga", &Y::contentSaga},
        {"userName", &Y::userName},
        {"userType", &Y::userType},
    };
    auto answer = response("vod-clear");
    answer["youbora"] = nlohmann::ordered_json::object();
    for (const auto& [key, field] : fields) answer["youbora"][key] = "value of " + key;
    auto asset = mapped(answer);
    ASSERT_TRUE(asset) << asset.error().localizedDescription();
    for (const auto& [key, field] : fields) EXPECT_EQ(asset->youbora.*field, "value of " + key) << key;

    // A key left out is "" in its own field alone.
    answer["youbora"].erase("contentGenre");
    asset = mapped(answer);
    ASSERT_TRUE(asset);
    for (const auto& [key, field] : fields) {
        EXPECT_EQ(asset->youbora.*field, key == "contentGenre" ? "" : "value of " + key) << key;
    }
}

TEST(PlayAssetModelMapper, TheTemplateKeepsOnlyWhatTheEventsUse) {
    auto asset = mapped(response("vod-protected"));
    ASSERT_TRUE(asset);
    const PlayerEventRequest::Body& body = asset->playerEventRequest.body;
    EXPECT_EQ(body.eventName, "playerEvent");
    EXPECT_EQ(body.originatorId, "lumora-devserver");
    EXPECT_EQ(body.subProfileId, "profile-1");
    EXPECT_EQ(body.versions, std::vector<std::string>{"1.0"});
    EXPECT_EQ(body.tenant, "lumora");
    EXPECT_EQ(body.logData, "asset=vod-protected");
    EXPECT_EQ(body.originator, "server");
    EXPECT_EQ(body.timestamp, "2024-01-01T00:00:00.000");
    // In the client only drm, platform and userAgent survive; the response's other client texts do not.
    PlayerEventRequest::Client client;
    client.drm = "fairplay";
    client.platform = "ios";
    client.userAgent = "Lumora/1.0";
    EXPECT_EQ(body.client, client);
    // In progress, the event number and the VOD block of the response are not carried over.
    PlayerEventRequest::Progress progress;
    progress.assetId = "vod-protected";
    progress.categoryId = "football";
    progress.title = "Grand Final: Extended Highlights";
    progress.playbackType = "vod";
    EXPECT_EQ(body.progress, progress);
}

TEST(PlayAssetModelMapper, MissingFieldsGetDefaultsOrMapErrors) {
    auto clear = response("vod-clear");
    clear.erase("youbora");
    clear.erase("ozTam");
    clear["stream"].erase("provider");
    clear["markers"] = nlohmann::ordered_json::array({{{"type", "credits"}, {"startTime", 1}, {"endTime", 2}},
                                                      {{"type", "halftime"}, {"startTime", 1}, {"endTime", 2}},
                                                      {{"type", "re-cap"}}});
    clear["playerEventRequest"]["body"].erase("originator");
    clear["playerEventRequest"]["body"].erase("client");
    auto asset = mapped(clear);
    ASSERT_TRUE(asset);
    EXPECT_TRUE(asset->stream.protection.isNone());
    EXPECT_EQ(asset->stream.provider, "");
    EXPECT_EQ(asset->youbora, PlayAsset::Youbora{});
    EXPECT_FALSE(asset->ozTam);
    ASSERT_EQ(asset->markers.size(), 1u);  // unknown type and missing times dropped
    EXPECT_EQ(asset->playerEventRequest.body.originator, "");
    EXPECT_EQ(asset->playerEventRequest.body.client, PlayerEventRequest::Client{});

    EXPECT_EQ(mapped(response("no-stream")).error(), MapError::missingStreamData);
    auto badManifest = response("vod-clear");
    badManifest["stream"]["manifestUrl"] = "not a url";
    EXPECT_EQ(mapped(badManifest).error(), MapError::missingStreamData);
    auto halfProtection = response("vod-protected");
    halfProtection["stream"]["protection"].erase("certificateUrl");
    EXPECT_EQ(mapped(halfProtection).error(), MapError::missingStreamData);
    auto noEvents = response("vod-clear");
    noEvents.erase("playerEventRequest");
    EXPECT_EQ(mapped(noEvents).error(), MapError::missingPlayerEventRequestData);
    auto noInterval = response("vod-clear");
    noInterval["playerEventRequest"].erase("eventInterval");
    EXPECT_EQ(mapped(noInterval).error(), MapError::missingPlayerEventRequestData);
    EXPECT_EQ(MapError(MapError::missingStreamData).localizedDescription(), "Missing stream data");
}

TEST(PlayAssetMarkerType, RawValues) {
    using T = PlayAsset::Marker::MarkerType;
    EXPECT_EQ(T(T::upNext).rawValue(), "credits");
    EXPECT_EQ(T(T::intro).rawValue(), "intro-titles");
    EXPECT_EQ(T(T::recap).rawValue(), "re-cap");
    EXPECT_EQ(T::fromRawValue("re-cap"), T::recap);
    EXPECT_FALSE(T::fromRawValue("Credits"));
}

TEST(PlayServiceResponse, BadAnswersAreClearErrorsNeverCrashes) {
    const std::string good = response("vod-clear").dump();
    const std::vector<std::string> bad = {
        "",                                   // empty
        "{",                                  // malformed
        good.substr(0, good.size() / 2),      // truncated
        "[]",                                 // not an object
        R"({"assetTitle":"t"})",              // no assetId
        R"({"assetId":1,"assetTitle":"t"})",  // wrongly typed
        R"({"assetId":"a","assetTitle":"t","stream":{"isSsai":"yes"}})",
        R"({"assetId":"a","assetTitle":"t","markers":{}})",
        R"({"assetId":"a","assetTitle":"t","playerEventRequest":{"eventInterval":"30"}})",
        R"({"assetId":"a","assetTitle":"t","playerEventRequest":{"body":{"progress":{"eventNumber":1.5}}}})",
        std::string(100000, '['),  // hostile nesting
    };
    for (const auto& body : bad) {
        auto result = PlayService::handleResponse(200, foundation::dataFromString(body));
        ASSERT_FALSE(result) << body.substr(0, 80);
        ASSERT_TRUE(result.error().isGeneric());
        EXPECT_TRUE(result.error().genericError()->is<foundation::DecodingError>()) << body.substr(0, 80);
    }
    auto ok = PlayService::handleResponse(204, foundation::dataFromString(good));
    EXPECT_TRUE(ok);
}

TEST(PlayServiceResponse, StatusOutsideSuccessIsAServerErrorWithTheAPIFields) {
    auto e =
        PlayService::handleResponse(403, foundation::dataFromString(R"({"code":"3003","message":"Not in your plan"})"));
    ASSERT_FALSE(e);
    ASSERT_TRUE(e.error().isServer());
    EXPECT_EQ(e.error().serverCase()->httpCode, 403);
    EXPECT_EQ(e.error().serverCase()->apiError, "3003");
    EXPECT_EQ(e.error().serverCase()->message, "Not in your plan");

    auto numeric = PlayService::handleResponse(401, foundation::dataFromString(R"({"code":1006})"));
    EXPECT_EQ(numeric.error().serverCase()->apiError, "1006");
    EXPECT_FALSE(numeric.error().serverCase()->message);

    auto html = PlayService::handleResponse(502, foundation::dataFromString("<html>bad gateway</html>"));
    EXPECT_EQ(html.error().serverCase()->httpCode, 502);
    EXPECT_FALSE(html.error().serverCase()->apiError);
    EXPECT_EQ(html.error().localizedDescription(), "Play service error. HTTP 502");
}

TEST(PlayableAssetProvider, MapsEveryOutcomeOfThePlayService) {
    auto service = std::make_shared<FakePlayService>();
    auto provider = PlayableAssetProvider::create(service);
    auto manager = PlayableAssetManager::create(provider);
    std::vector<std::expected<PlayAsset, foundation::Error>> results;
    const auto ask = [&] {
        manager->fetchPlayAsset(
            AssetInfo{}, [&](std::expected<PlayAsset, foundation::Error> r) { results.push_back(std::move(r)); });
    };

    ask();
    service->answer(apiModel(response("vod-clear").dump()));
    ask();
    service->answer(std::unexpected(PlayServiceError::server(401, "1006", "Invalid authentication")));
    ask();
    service->answer(std::unexpected(PlayServiceError::server(403, "3003", "Not in your plan")));
    ask();
    service->answer(std::unexpected(PlayServiceError::server(500, std::nullopt, std::nullopt)));
    ask();
    service->answer(apiModel(response("no-stream").dump()));
    ASSERT_EQ(results.size(), 5u);

    ASSERT_TRUE(results[0]);
    EXPECT_EQ(results[0]->assetId, "vod-clear");
    const auto* invalidAuth = results[1].error().as<PlayableAssetManagerError>();
    ASSERT_NE(invalidAuth, nullptr);
    EXPECT_TRUE(invalidAuth->isInvalidAuthentication());
    const auto* unauthorized = results[2].error().as<PlayableAssetManagerError>();
    ASSERT_TRUE(unauthorized && unauthorized->isUnauthorizedAccess());
    EXPECT_EQ(unauthorized->message(), "Not in your plan");
    const auto* generic = results[3].error().as<PlayableAssetManagerError>();
    ASSERT_TRUE(generic && generic->isGeneric());
    const auto* serviceError = generic->genericError()->as<PlayServiceError>();
    ASSERT_NE(serviceError, nullptr);
    EXPECT_EQ(serviceError->serverCase()->httpCode, 500);
    const auto* mapError = results[4].error().as<PlayableAssetManagerError>();
    ASSERT_TRUE(mapError && mapError->isGeneric());
    ASSERT_TRUE(mapError->genericError()->is<MapError>());
    EXPECT_EQ(*mapError->genericError()->as<MapError>(), MapError::missingStreamData);
}

TEST(PlayableAssetProvider, AProviderReleasedBeforeTheAnswerCallsNothing) {
    auto service = std::make_shared<FakePlayService>();
    bool called = false;
    {
        auto provider = PlayableAssetProvider::create(service);
        auto manager = PlayableAssetManager::create(provider);
        manager->fetchPlayAsset(AssetInfo{}, [&](auto) { called = true; });
        provider->fetchPlayAsset(AssetInfo{}, [&](auto) { called = true; });
    }
    ASSERT_EQ(service->pending.size(), 2u);
    service->answer(apiModel(response("vod-clear").dump()));
    service->answer(std::unexpected(PlayServiceError::server(500, std::nullopt, std::nullopt)));
    EXPECT_FALSE(called);
}
