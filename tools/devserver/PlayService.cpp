#include "devserver/PlayService.h"

#include <cmath>
#include <span>

namespace devserver {

namespace play {

namespace {

using Json = nlohmann::ordered_json;

struct Asset {
    std::string_view id;
    std::string_view title;
    bool isLive = false;
    bool isProtected = false;
    bool hasAds = false;
    double duration = 0;  // seconds; 0 for live
};

constexpr Asset kAssets[] = {
    {vodClear, "Harbour Derby: Full Match", false, false, false, 120},
    {vodProtected, "Grand Final: Extended Highlights", false, true, false, 120},
    {live, "Coastal League Live", true, true, false, 0},
    {vodAds, "Season Review with Ads", false, false, true, 120},
    {noStream, "Archive Match (no stream)", false, false, false, 120},
    {vodProtectedAds, "Grand Final: Extended Highlights with Ads", false, true, true, 120},
};

struct Ad {
    const char* id;
    double startTime;
    double duration;
};
// Two breaks: two ads back to back early on, a lone one in the second half.
constexpr Ad kBreakOne[] = {{"ad-1a", 30, 5}, {"ad-1b", 35, 5}};
constexpr Ad kBreakTwo[] = {{"ad-2a", 80, 6}};

const Asset* findAsset(std::string_view id) {
    for (const auto& asset : kAssets) {
        if (asset.id == id) return &asset;
    }
    return nullptr;
}

Json youbora(const Asset& asset) {
    const std::string id(asset.id);
    return Json{
        {"accountCode", "lumoradev"},
        {"appName", "Lumora Demo"},
        {"appReleaseVersion", "1.0.0"},
        {"contentCustomDimension1", asset.isLive ? "live" : "vod"},
        {"contentCustomDimension2", "football"},
        {"contentCustomDimension4", "coastal-league"},
        {"contentCustomDimension5", "2024"},
        {"contentCustomDimension6", "round-12"},
        {"contentCustomDimension7", "harbour-fc"},
        {"contentCustomDimension8", "bay-united"},
        {"contentCustomDimension10", "premium"},
        {"contentId", id},
        {"contentTitle", std::string(asset.title)},
        {"contentTransactionCode", "txn-" + id},
        {"contentType", asset.isLive ? "live" : "vod"},
        {"contentChannel", "Lumora Sport 1"},
        {"contentGenre", "Sport"},
        {"contentLanguage", "en"},
        {"contentSeason", "2024"},
        {"contentTvShow", "Coastal League"},
        {"contentEpisodeTitle", std::string(asset.title)},
        {"contentProgram", "Match Day"},
        {"contentPlaybackType", asset.isLive ? "Live" : "VoD"},
        {"contentSubtitles", "en"},
        {"contentPackage", "premium"},
        {"contentSaga", "Coastal League"},
        {"userName", "demo-viewer"},
        {"userType", "subscriber"},
    };
}

Json playerEventTemplate(const Asset& asset) {
    const std::string id(asset.id);
    Json progress{
        {"assetId", id},
        {"categoryId", "football"},
        {"title", std::string(asset.title)},
        {"playbackType", asset.isLive ? "live" : "vod"},
        {"eventNumber", 0},
    };
    if (!asset.isLive) progress["vod"] = Json{{"duration", asset.duration}, {"position", "0.0"}};
    return Json{
        {"eventName", "playerEvent"},
        {"originatorId", "lumora-devserver"},
        {"subProfileId", "profile-1"},
        {"versions", Json::array({"1.0"})},
        {"tenant", "lumora"},
        {"logData", "asset=" + id},
        {"progress", std::move(progress)},
        {"originator", "server"},
        {"client",
         Json{
             {"buildName", ""},
             {"buildVersion", ""},
             {"deviceId", ""},
             {"drm", asset.isProtected ? "fairplay" : ""},
             {"envPlatform", ""},
             {"envVersion", ""},
             {"pageUrl", ""},
             {"platform", "ios"},
             {"playerEvent", ""},
             {"playerState", ""},
             {"streamUrl", ""},
             {"userAgent", "Lumora/1.0"},
             {"videoFormat", ""},
             {"videoProtocol", ""},
             {"viewingSession", ""},
         }},
        {"timestamp", "2024-01-01T00:00:00.000"},
    };
}

}  // namespace

std::vector<std::string> catalogueIds() {
    return {std::string(vodClear),        std::string(vodProtected), std::string(live),      std::string(vodAds),
            std::string(vodProtectedAds), std::string(noStream),     std::string(error1006), std::string(error3003)};
}

std::string adBreaksPath(std::string_view assetId) {
    return "/ads/" + std::string(assetId) + "/breaks.json";
}

std::optional<nlohmann::ordered_json> adBreaks(std::string_view assetId) {
    const Asset* asset = findAsset(assetId);
    if (!asset || !asset->hasAds) return std::nullopt;
    Json breaks = Json::array();
    for (const auto& group : {std::span<const Ad>(kBreakOne), std::span<const Ad>(kBreakTwo)}) {
        Json ads = Json::array();
        for (const auto& ad : group) {
            ads.push_back(Json{{"id", ad.id}, {"startTime", ad.startTime}, {"duration", ad.duration}});
        }
        breaks.push_back(Json{{"ads", std::move(ads)}});
    }
    return Json{{"assetId", std::string(asset->id)}, {"breaks", std::move(breaks)}};
}

std::string manifestPath(std::string_view assetId) {
    return "/hls/" + std::string(assetId) + "/master.m3u8";
}

std::optional<nlohmann::ordered_json> playResponse(std::string_view assetId, std::string_view baseURL,
                                                   double eventInterval) {
    const Asset* asset = findAsset(assetId);
    if (!asset) return std::nullopt;
    const std::string base(baseURL);
    const std::string id(asset->id);

    Json answer{{"assetId", id}, {"assetTitle", std::string(asset->title)}};
    if (asset->id != noStream) {
        std::string mediaFormat = asset->isProtected ? "drm-hls-ts" : "hls-ts";
        if (asset->hasAds) mediaFormat = "ssai-" + mediaFormat;
        Json stream{
            {"manifestUrl", base + manifestPath(id)},
            {"mediaFormat", mediaFormat},
            {"provider", "lumora-devserver"},
            {"protection", nullptr},
            {"isSsai", asset->hasAds},
            {"streamingFormat", "hls"},
            {"codec", "avc"},
        };
        if (asset->isProtected) {
            stream["protection"] = Json{
                {"drm", "fairplay"},
                {"certificateUrl", base + std::string(certificatePath)},
                {"licenseUrl", base + std::string(licencePath)},
            };
        }
        if (asset->hasAds) stream["adsUrl"] = base + adBreaksPath(id);
        answer["stream"] = std::move(stream);
    }
    Json markers = Json::array();
    if (!asset->isLive) {
        markers.push_back(Json{{"type", "intro-titles"}, {"startTime", 0.0}, {"endTime", 8.0}});
        markers.push_back(Json{{"type", "re-cap"}, {"startTime", 8.0}, {"endTime", 20.0}});
        markers.push_back(Json{{"type", "credits"}, {"startTime", asset->duration - 10}, {"endTime", asset->duration}});
    }
    answer["markers"] = std::move(markers);
    answer["ozTam"] = Json{
        {"publisherId", "lumora-pub"},
        {"mediaId", id},
        {"mediaType", asset->isLive ? "live" : "vod"},
        {"seriesName", "Coastal League"},
        {"episodeName", std::string(asset->title)},
        {"channel", "Lumora Sport 1"},
    };
    answer["youbora"] = youbora(*asset);
    answer["playerEventRequest"] = Json{
        {"uri", base + std::string(playerEventPath)},
        {"eventInterval", eventInterval},
        {"subProfileId", "profile-1"},
        {"body", playerEventTemplate(*asset)},
    };
    return answer;
}

}  // namespace play

std::shared_ptr<PlayService> PlayService::create(PlayServiceOptions options) {
    return std::shared_ptr<PlayService>(new PlayService(std::move(options)));
}

void PlayService::registerRoutes(Router& router) {
    // The handler keeps its own copy of the options: it never refers back to the service object.
    router.add("POST", std::string(play::playPath),
               [options = options_](const RecordedRequest& request) { return answer(options, request); });
    router.add("GET", "/ads/*", [](const RecordedRequest& request) {
        // "/ads/<id>/breaks.json"
        const std::string_view rest = std::string_view(request.path).substr(5);
        const auto slash = rest.find('/');
        if (slash != std::string_view::npos && rest.substr(slash) == "/breaks.json") {
            if (auto breaks = play::adBreaks(rest.substr(0, slash))) return Reply::json(200, breaks->dump());
        }
        return Reply::apiError(404, "4004", "No ad breaks for this address");
    });
}

Reply PlayService::play(const RecordedRequest& request) const {
    return answer(options_, request);
}

Reply PlayService::answer(const PlayServiceOptions& options, const RecordedRequest& request) {
    const auto token = request.bearerToken();
    const bool accepted = token && (!options.verifyToken || options.verifyToken(*token));
    if (!accepted) return Reply::apiError(401, "1006", "Missing or invalid access token");

    const auto body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("assetId") || !body["assetId"].is_string()) {
        return Reply::apiError(400, "4001", "The body must be a JSON object with a text \"assetId\"");
    }
    const std::string assetId = body["assetId"].get<std::string>();
    if (assetId == play::error1006) return Reply::apiError(401, "1006", "Invalid authentication");
    if (assetId == play::error3003) {
        return Reply::apiError(403, "3003", "This asset is not part of your subscription");
    }

    std::string base = options.baseURL;
    if (base.empty()) base = "http://" + request.header("Host").value_or("127.0.0.1");
    auto answer = play::playResponse(assetId, base, options.eventInterval);
    if (!answer) return Reply::apiError(404, "4004", "Asset not found");
    return Reply::json(200, answer->dump());
}

}  // namespace devserver
