#include "devserver/AnalyticsCollector.h"

#include <cstdio>

namespace devserver {

namespace {

using Json = nlohmann::ordered_json;

std::string text(const Json& object, const char* key) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<std::int64_t> integer(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) return std::nullopt;
    if (it->is_number_integer()) return it->get<std::int64_t>();
    if (it->is_number_unsigned() && it->get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX)) {
        return static_cast<std::int64_t>(it->get<std::uint64_t>());
    }
    return std::nullopt;
}

}  // namespace

std::shared_ptr<AnalyticsCollector> AnalyticsCollector::create(AnalyticsCollectorOptions options) {
    return std::shared_ptr<AnalyticsCollector>(new AnalyticsCollector(std::move(options)));
}

void AnalyticsCollector::registerRoutes(Router& router) {
    std::weak_ptr<AnalyticsCollector> weak = weak_from_this();
    router.add("POST", options_.path, [weak](const RecordedRequest& request) {
        auto self = weak.lock();
        return self ? self->handle(request) : Reply::apiError(503, "5030", "The collector has stopped");
    });
    router.add("GET", options_.path, [weak](const RecordedRequest&) {
        auto self = weak.lock();
        Json list = Json::array();
        if (self) {
            for (const auto& beacon : self->beacons()) {
                if (beacon.status == 200) list.push_back(beacon.body);
            }
        }
        return Reply::json(200,
                           Json{{"beacons", std::move(list)}}.dump(-1, ' ', false, Json::error_handler_t::replace));
    });
    router.add("DELETE", options_.path, [weak](const RecordedRequest&) {
        if (auto self = weak.lock()) self->clear();
        return Reply{.status = 204};
    });
}

Reply AnalyticsCollector::handle(const RecordedRequest& request) {
    AnalyticsBeacon beacon;
    beacon.rawBody = request.body;
    auto parsed = Json::parse(request.body, nullptr, false);
    if (!parsed.is_discarded()) beacon.body = parsed;
    if (parsed.is_object()) {
        beacon.event = text(parsed, "event");
        beacon.view = text(parsed, "view");
        beacon.sequence = integer(parsed, "sequence");
    }
    const bool taken = parsed.is_object() && !beacon.event.empty();
    beacon.status = taken ? 200 : 400;
    if (taken && options_.logToStderr) {
        std::fprintf(stderr, "analytics: %s view %s #%lld\n", beacon.event.c_str(),
                     beacon.view.empty() ? "-" : beacon.view.c_str(),
                     static_cast<long long>(beacon.sequence.value_or(0)));
    }
    {
        std::lock_guard lock(mutex_);
        beacons_.push_back(std::move(beacon));
    }
    if (!taken) return Reply::apiError(400, "4001", "A beacon must be a JSON object with a text \"event\"");
    return Reply::json(200, R"({"status":"ok"})");
}

std::vector<AnalyticsBeacon> AnalyticsCollector::beacons() const {
    std::lock_guard lock(mutex_);
    return beacons_;
}

std::vector<AnalyticsBeacon> AnalyticsCollector::beacons(std::string_view event) const {
    std::lock_guard lock(mutex_);
    std::vector<AnalyticsBeacon> out;
    for (const auto& beacon : beacons_) {
        if (beacon.status == 200 && beacon.event == event) out.push_back(beacon);
    }
    return out;
}

std::vector<AnalyticsBeacon> AnalyticsCollector::beaconsOfView(std::string_view view) const {
    std::lock_guard lock(mutex_);
    std::vector<AnalyticsBeacon> out;
    for (const auto& beacon : beacons_) {
        if (beacon.status == 200 && beacon.view == view) out.push_back(beacon);
    }
    return out;
}

void AnalyticsCollector::clear() {
    std::lock_guard lock(mutex_);
    beacons_.clear();
}

}  // namespace devserver
