#include "AssetExtras.h"

#include <mutex>

#include "dispatch/DispatchQueue.h"
#include "foundation/JSON.h"
#include "foundation/URLSession.h"

namespace demohost {

namespace {

std::optional<double> number(const foundation::JSONValue& object, const char* key) {
    if (!object.contains(key) || !object[key].is_number()) return std::nullopt;
    return object[key].get<double>();
}

std::optional<std::string> text(const foundation::JSONValue& object, const char* key) {
    if (!object.contains(key) || !object[key].is_string()) return std::nullopt;
    return object[key].get<std::string>();
}

// Seconds on the clock a request of the host's may take.
constexpr double kTimeout = 600;

// GETs `url` and gives the body of a 2xx answer, or what went wrong; on the session's queue.
void get(const std::string& url, std::function<void(std::expected<foundation::Data, std::string>)> completion) {
    auto parsed = foundation::URL::fromString(url);
    if (!parsed) {
        completion(std::unexpected("\"" + url + "\" is not a URL"));
        return;
    }
    foundation::URLSession::shared()
        ->dataTask(
            *parsed,
            [completion](std::optional<foundation::Data> data, std::optional<foundation::HTTPURLResponse> response,
                         std::optional<foundation::Error> error) {
                if (error) return completion(std::unexpected(error->localizedDescription()));
                if (!response || response->statusCode < 200 || response->statusCode > 299) {
                    return completion(std::unexpected("HTTP " + std::to_string(response ? response->statusCode : 0)));
                }
                completion(data.value_or(foundation::Data()));
            })
        ->resume();
}

}  // namespace

std::expected<lumora::AdGroups, std::string> AssetExtras::parseAdBreaks(const std::string& json) {
    auto value = foundation::JSONDecoder::parse(json);
    if (!value) return std::unexpected("the ad breaks are not JSON: " + value.error().localizedDescription());
    if (!value->is_object() || !value->contains("breaks") || !(*value)["breaks"].is_array()) {
        return std::unexpected("the ad breaks have no \"breaks\" list");
    }
    lumora::AdGroups groups;
    for (const auto& entry : (*value)["breaks"]) {
        if (!entry.is_object() || !entry.contains("ads") || !entry["ads"].is_array()) continue;
        std::vector<lumora::AdInfo> ads;
        for (const auto& ad : entry["ads"]) {
            if (!ad.is_object()) continue;
            auto start = number(ad, "startTime");
            auto duration = number(ad, "duration");
            if (!start || !duration) continue;
            ads.emplace_back(text(ad, "id").value_or("ad"), *start, *duration);
        }
        if (!ads.empty()) groups.push_back(std::move(ads));
    }
    return groups;
}

std::expected<std::vector<lumora::ZuKeyMomentEvent>, std::string> AssetExtras::parseKeyMoments(
    const std::string& json) {
    auto value = foundation::JSONDecoder::parse(json);
    if (!value) return std::unexpected("the key moments are not JSON: " + value.error().localizedDescription());
    if (!value->is_object() || !value->contains("keyMoments") || !(*value)["keyMoments"].is_array()) {
        return std::unexpected("the key moments have no \"keyMoments\" list");
    }
    std::vector<lumora::ZuKeyMomentEvent> events;
    for (const auto& m : (*value)["keyMoments"]) {
        if (!m.is_object()) continue;
        auto code = text(m, "code");
        auto videoTime = number(m, "videoTime");
        if (!code || !videoTime) continue;
        events.emplace_back(*code, *videoTime, number(m, "eventTime").value_or(0), text(m, "displayName").value_or(""),
                            text(m, "displayTime"), text(m, "player"), text(m, "team"));
    }
    return events;
}

std::string AssetExtras::describe() const {
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (!adGroups.empty()) {
        std::size_t ads = 0;
        for (const auto& group : adGroups) ads += group.size();
        add(std::to_string(adGroups.size()) + " ad breaks (" + std::to_string(ads) + " ads)");
    }
    if (!keyMoments.empty()) add(std::to_string(keyMoments.size()) + " key moments");
    if (thumbnails) add(std::to_string(thumbnails->thumbnails.size()) + " scrubbing thumbnails");
    // An asset without ads or key moments is no problem; anything else is said.
    for (const auto& problem : problems) {
        if (!problem.ends_with("HTTP 404")) add("no " + problem);
    }
    return text;
}

void AssetExtras::fetch(const std::string& adsURL, const std::string& thumbnailsBase,
                        std::function<void(AssetExtras)> completion) {
    struct Gathering {
        std::mutex mutex;
        AssetExtras extras;  // guarded by mutex
        int outstanding = 3;
        std::function<void(AssetExtras)> completion;

        void done(const std::function<void(AssetExtras&)>& apply) {
            std::lock_guard lock(mutex);
            apply(extras);
            if (--outstanding > 0) return;
            dispatch::DispatchQueue::main().async(
                [extras = std::move(extras), completion = completion]() mutable { completion(std::move(extras)); });
        }
    };
    auto gathering = std::make_shared<Gathering>();
    gathering->completion = std::move(completion);

    if (adsURL.empty()) {
        gathering->done([](AssetExtras&) {});
    } else {
        get(adsURL, [gathering](std::expected<foundation::Data, std::string> body) {
            gathering->done([&](AssetExtras& extras) {
                if (!body) return extras.problems.push_back("ad breaks: " + body.error());
                auto groups = parseAdBreaks(foundation::stringFromData(*body));
                if (!groups) return extras.problems.push_back(groups.error());
                extras.adGroups = std::move(*groups);
            });
        });
    }
    get(thumbnailsBase + "/key-moments.json", [gathering](std::expected<foundation::Data, std::string> body) {
        gathering->done([&](AssetExtras& extras) {
            if (!body) return extras.problems.push_back("key moments: " + body.error());
            auto events = parseKeyMoments(foundation::stringFromData(*body));
            if (!events) return extras.problems.push_back(events.error());
            extras.keyMoments = std::move(*events);
        });
    });
    get(thumbnailsBase + "/index.bif", [gathering](std::expected<foundation::Data, std::string> body) {
        // Decoded here, off the main queue: every frame is a JPEG.
        std::optional<std::expected<lumora::BIF, foundation::Error>> bif;
        if (body) bif = lumora::BIF::from(*body, lumora::BIFResolution::standard);
        gathering->done([&](AssetExtras& extras) {
            if (!body) return extras.problems.push_back("thumbnails: " + body.error());
            if (!*bif) return extras.problems.push_back("thumbnails: " + bif->error().localizedDescription());
            extras.thumbnails = std::move(**bif);
        });
    });
}

}  // namespace demohost
