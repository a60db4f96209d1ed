#include "devserver/PlayerEventService.h"

#include <cmath>

namespace devserver {

namespace {

using Json = nlohmann::ordered_json;

// The text under `key` of an object, "" when the value is missing or not text.
std::string text(const Json& object, std::string_view key) {
    if (!object.is_object()) return "";
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

const Json& member(const Json& object, std::string_view key) {
    static const Json none;
    if (!object.is_object()) return none;
    auto it = object.find(key);
    return it != object.end() ? *it : none;
}

std::optional<std::int64_t> integer(const Json& value) {
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_number_unsigned() && value.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX)) {
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    return std::nullopt;
}

// The body echoed back in the shape the kit decodes strictly: every field present with its JSON type,
// missing or mistyped values replaced by empty ones.
Json echoedBody(const Json& body) {
    const auto& progress = member(body, "progress");
    const auto& client = member(body, "client");
    Json versions = Json::array();
    for (const auto& v : member(body, "versions")) {
        if (v.is_string()) versions.push_back(v.get<std::string>());
    }
    Json p{
        {"assetId", text(progress, "assetId")},
        {"categoryId", text(progress, "categoryId")},
        {"title", text(progress, "title")},
        {"playbackType", text(progress, "playbackType")},
        {"eventNumber", integer(member(progress, "eventNumber")).value_or(0)},
    };
    if (const auto& vod = member(progress, "vod"); vod.is_object()) {
        const auto& duration = member(vod, "duration");
        p["vod"] = Json{{"duration", duration.is_number() ? duration.get<double>() : 0.0},
                        {"position", text(vod, "position")}};
    }
    if (const auto& live = member(progress, "live"); live.is_object()) {
        p["live"] = Json{{"onLiveEdge", text(live, "onLiveEdge")},
                         {"liveResumePossible", text(live, "liveResumePossible")},
                         {"position", text(live, "position")}};
    }
    Json c = Json::object();
    for (const char* key :
         {"buildName", "buildVersion", "deviceId", "drm", "envPlatform", "envVersion", "pageUrl", "platform",
          "playerEvent", "playerState", "streamUrl", "userAgent", "videoFormat", "videoProtocol", "viewingSession"}) {
        c[key] = text(client, key);
    }
    return Json{
        {"eventName", text(body, "eventName")},
        {"originatorId", text(body, "originatorId")},
        {"subProfileId", text(body, "subProfileId")},
        {"versions", std::move(versions)},
        {"tenant", text(body, "tenant")},
        {"logData", text(body, "logData")},
        {"progress", std::move(p)},
        {"originator", text(body, "originator")},
        {"client", std::move(c)},
        {"timestamp", text(body, "timestamp")},
    };
}

}  // namespace

std::shared_ptr<PlayerEventService> PlayerEventService::create(PlayerEventOptions options) {
    return std::shared_ptr<PlayerEventService>(new PlayerEventService(std::move(options)));
}

std::function<std::optional<std::string>(std::string_view)> PlayerEventService::viewersOf(
    std::shared_ptr<IdentityService> identity) {
    return [identity = std::move(identity)](std::string_view token) -> std::optional<std::string> {
        auto user = identity->userForAccessToken(token);
        if (!user) return std::nullopt;
        return user->accountId;
    };
}

void PlayerEventService::registerRoutes(Router& router) {
    std::string path;
    {
        std::lock_guard lock(mutex_);
        path = options_.path;
    }
    router.add("POST", path,
               [self = shared_from_this()](const RecordedRequest& request) { return self->handle(request); });
}

std::chrono::nanoseconds PlayerEventService::now() const {
    if (options_.clock) return options_.clock();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

Reply PlayerEventService::handle(const RecordedRequest& request) {
    PlayerEventRecord record;
    record.rawBody = request.body;
    record.authorization = request.header("Authorization");
    auto parsed = Json::parse(request.body, nullptr, false);
    if (!parsed.is_discarded()) record.body = parsed;
    if (parsed.is_object()) {
        record.playerEvent = text(member(parsed, "client"), "playerEvent");
        record.eventNumber = integer(member(member(parsed, "progress"), "eventNumber"));
    }

    std::lock_guard lock(mutex_);
    record.receivedAt = now();
    auto finish = [&](Reply reply) {
        record.status = reply.status;
        events_.push_back(std::move(record));
        return reply;
    };

    const auto token = request.bearerToken();
    std::optional<std::string> viewer;
    if (token) viewer = options_.viewerForToken ? options_.viewerForToken(*token) : std::optional<std::string>(*token);
    if (!viewer) return finish(Reply::apiError(401, "1006", "Missing or invalid access token"));
    record.viewer = *viewer;

    if (!parsed.is_object()) return finish(Reply::apiError(400, "4001", "The body must be a JSON object"));
    const auto& client = member(parsed, "client");
    std::string device = text(client, "viewingSession");
    if (device.empty()) device = text(client, "deviceId");
    record.session = device + "|" + text(member(parsed, "progress"), "assetId");

    // Sessions silent for more than two intervals have ended.
    const auto window =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(2 * options_.eventInterval));
    auto& active = sessions_[record.viewer];
    std::erase_if(active, [&](const auto& entry) { return record.receivedAt - entry.second > window; });
    // An end closes its session (when it is active) and never opens one, so it is never refused.
    const bool ends = record.playerEvent == "end";
    if (ends) active.erase(record.session);
    if (!ends && !active.contains(record.session) && options_.maxConcurrentStreams > 0 &&
        active.size() >= static_cast<std::size_t>(options_.maxConcurrentStreams)) {
        return finish(Reply::apiError(403, "4030", "Max number of active streams for this subscription is reached"));
    }
    if (!ends) active[record.session] = record.receivedAt;

    std::string base = options_.baseURL;
    if (base.empty()) base = "http://" + request.header("Host").value_or("127.0.0.1");
    return finish(Reply::json(200, assetPlays(parsed, base, options_.path, options_.eventInterval).dump()));
}

std::vector<PlayerEventRecord> PlayerEventService::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void PlayerEventService::clearEvents() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

std::vector<std::string> PlayerEventService::activeSessions(std::string_view viewer) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    auto it = sessions_.find(viewer);
    if (it == sessions_.end()) return out;
    const auto window =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(2 * options_.eventInterval));
    const auto at = now();
    for (const auto& [session, lastSeen] : it->second) {
        if (at - lastSeen <= window) out.push_back(session);
    }
    return out;
}

void PlayerEventService::setMaxConcurrentStreams(int count) {
    std::lock_guard lock(mutex_);
    options_.maxConcurrentStreams = count;
}

void PlayerEventService::setEventInterval(double seconds) {
    std::lock_guard lock(mutex_);
    options_.eventInterval = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

Json PlayerEventService::assetPlays(const Json& body, std::string_view baseURL, std::string_view eventPath,
                                    double eventInterval) {
    const std::string base(baseURL);
    const auto& progress = member(body, "progress");
    const std::string assetId = text(progress, "assetId");
    const bool live = text(progress, "playbackType") == "live" || member(progress, "live").is_object();
    const auto& duration = member(member(progress, "vod"), "duration");
    const double seconds =
        !live && duration.is_number() && std::isfinite(duration.get<double>()) ? duration.get<double>() : 0.0;

    // A catalogue asset keeps the format and protection of its play answer.
    std::string mediaFormat = text(member(body, "client"), "drm").empty() ? "hls-ts" : "drm-hls-ts";
    bool protectedStream = mediaFormat != "hls-ts";
    std::string title = text(progress, "title");
    if (auto play = play::playResponse(assetId, base)) {
        const auto& stream = member(*play, "stream");
        if (auto format = text(stream, "mediaFormat"); !format.empty()) mediaFormat = format;
        protectedStream = stream.is_object() && member(stream, "protection").is_object();
        if (auto name = text(*play, "assetTitle"); !name.empty()) title = name;
    }
    auto stream = [&](std::string_view suffix, std::int64_t bitrate) {
        return Json{{"id", assetId + "-" + std::string(suffix)},
                    {"bitrate", bitrate},
                    {"mediaFormat", mediaFormat},
                    {"mimeType", "application/vnd.apple.mpegurl"},
                    {"provider", "lumora-devserver"},
                    {"manifest", Json{{"uri", base + play::manifestPath(assetId)}}}};
    };
    const double startTime =
        live ? std::floor(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count())
             : 0.0;
    return Json{{"data", Json::array({Json{
                             {"assetId", assetId},
                             {"assetTitle", title},
                             {"categoryId", text(progress, "categoryId")},
                             {"startTime", startTime},
                             {"endTime", live ? 0.0 : seconds},
                             {"duration", seconds},
                             {"isDrmProtected", protectedStream},
                             {"isLive", live},
                             {"recommendedStream", stream("hd", 5'000'000)},
                             {"alternativeStreams", Json::array({stream("sd", 1'500'000)})},
                             {"playerEventRequest", Json{{"body", echoedBody(body)},
                                                         {"eventInterval", eventInterval},
                                                         {"uri", base + std::string(eventPath)}}},
                             {"assetType", live ? "live" : "vod"},
                         }})}};
}

}  // namespace devserver
