#include "AssetExtras.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "dispatch/DispatchQueue.h"
#include "foundation/JSON.h"
#include "foundation/URLError.h"
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

std::string mebibytes(std::size_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

// The host's own session, with the host's time-out. Never destroyed: a completion may still run on a worker
// while the process exits.
foundation::URLSession& hostSession() {
    static auto* session = [] {
        auto configuration = foundation::URLSessionConfiguration::default_();
        configuration.timeoutIntervalForRequest = AssetExtras::requestTimeout;
        return new std::shared_ptr<foundation::URLSession>(foundation::URLSession::create(configuration));
    }();
    return **session;
}

// GETs `url` and gives the body of a 2xx answer, or what went wrong; on the session's queue. Every request
// of the host's goes through here: the host's session, and a bound on the body that the transfer stops at.
void get(const std::string& url, std::size_t maxBytes,
         std::function<void(std::expected<foundation::Data, std::string>)> completion) {
    auto parsed = foundation::URL::fromString(url);
    if (!parsed) {
        completion(std::unexpected("\"" + url + "\" is not a URL"));
        return;
    }
    foundation::URLRequest request(*parsed, AssetExtras::requestTimeout);
    request.maximumResponseSize = maxBytes;
    hostSession()
        .dataTask(
            std::move(request),
            [completion, maxBytes](std::optional<foundation::Data> data,
                                   std::optional<foundation::HTTPURLResponse> response,
                                   std::optional<foundation::Error> error) {
                if (error && foundation::URLError::is(*error, foundation::URLError::dataLengthExceedsMaximum)) {
                    return completion(
                        std::unexpected("the answer is larger than the " + mebibytes(maxBytes) + " read"));
                }
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
    if (!value) return std::unexpected("not JSON: " + value.error().localizedDescription());
    if (!value->is_object() || !value->contains("breaks") || !(*value)["breaks"].is_array()) {
        return std::unexpected("no \"breaks\" list");
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
    if (!value) return std::unexpected("not JSON: " + value.error().localizedDescription());
    if (!value->is_object() || !value->contains("keyMoments") || !(*value)["keyMoments"].is_array()) {
        return std::unexpected("no \"keyMoments\" list");
    }
    // Refused before anything is made of it: the strip lays every moment out on the main thread.
    const auto& list = (*value)["keyMoments"];
    if (list.size() > maxKeyMoments) {
        return std::unexpected(std::to_string(list.size()) + " of them, more than the " +
                               std::to_string(maxKeyMoments) + " this host shows");
    }
    std::vector<lumora::ZuKeyMomentEvent> events;
    for (const auto& m : list) {
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
    auto count = [](std::size_t n, const std::string& one, const std::string& many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (!adGroups.empty()) {
        std::size_t ads = 0;
        for (const auto& group : adGroups) ads += group.size();
        add(count(adGroups.size(), "ad break", "ad breaks") + " (" + count(ads, "ad", "ads") + ")");
    }
    if (!keyMoments.empty()) add(count(keyMoments.size(), "key moment", "key moments"));
    if (thumbnails) {
        std::string part = count(thumbnailsDecoded, "scrubbing thumbnail", "scrubbing thumbnails");
        if (thumbnailsDecoded < thumbnailFrames) {
            part += " (" + std::to_string(thumbnailFrames - thumbnailsDecoded) + " of " +
                    std::to_string(thumbnailFrames) + " frames did not decode)";
        }
        add(part);
    }
    // An asset without ads or key moments is no problem; anything else is said, in the order of the parts
    // whatever the order the answers came in.
    auto rank = [](const std::string& problem) {
        return problem.starts_with("ad breaks") ? 0 : problem.starts_with("key moments") ? 1 : 2;
    };
    auto ordered = problems;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    for (const auto& problem : ordered) {
        if (!problem.ends_with("HTTP 404")) add("no " + problem);
    }
    return text;
}

lumora::BIF::Limits AssetExtras::thumbnailLimits() {
    return {.maxPixelsPerImage = std::uint64_t{1280} * 720, .maxTotalPixels = std::uint64_t{1} << 26};
}

dispatch::DispatchQueue& AssetExtras::decodingQueue() {
    // Never destroyed: a decode may still run while the process exits.
    static auto* queue = new dispatch::DispatchQueue("dev.lumora.demo-host.thumbnails");
    return *queue;
}

void AssetExtras::fetch(const std::string& adsURL, const std::string& thumbnailsBase,
                        std::function<void(AssetExtras)> completion) {
    struct Gathering {
        std::mutex mutex;    // guards extras and outstanding
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
        get(adsURL, maxListBytes, [gathering](std::expected<foundation::Data, std::string> body) {
            gathering->done([&](AssetExtras& extras) {
                if (!body) return extras.problems.push_back("ad breaks: " + body.error());
                auto groups = parseAdBreaks(foundation::stringFromData(*body));
                if (!groups) return extras.problems.push_back("ad breaks: " + groups.error());
                extras.adGroups = std::move(*groups);
            });
        });
    }
    get(thumbnailsBase + "/key-moments.json", maxListBytes,
        [gathering](std::expected<foundation::Data, std::string> body) {
            gathering->done([&](AssetExtras& extras) {
                if (!body) return extras.problems.push_back("key moments: " + body.error());
                auto events = parseKeyMoments(foundation::stringFromData(*body));
                if (!events) return extras.problems.push_back("key moments: " + events.error());
                extras.keyMoments = std::move(*events);
            });
        });
    get(thumbnailsBase + "/index.bif", maxThumbnailBytes,
        [gathering](std::expected<foundation::Data, std::string> body) {
            gathering->done([&](AssetExtras& extras) {
                if (!body) return extras.problems.push_back("thumbnails: " + body.error());
                extras.thumbnailData = std::move(*body);
            });
        });
}

void AssetExtras::decodeThumbnails(AssetExtras extras, std::function<void(AssetExtras)> completion,
                                   dispatch::DispatchQueue& decoding) {
    if (!extras.thumbnailData) {
        dispatch::DispatchQueue::main().async(
            [extras = std::move(extras), completion = std::move(completion)]() mutable {
                completion(std::move(extras));
            });
        return;
    }
    // Every frame is a JPEG to decode: that waits for the decoding queue, never a session's or the main one.
    decoding.async([extras = std::move(extras), completion = std::move(completion)]() mutable {
        const foundation::Data data = std::move(*extras.thumbnailData);
        extras.thumbnailData.reset();
        auto bif = lumora::BIF::from(data, lumora::BIFResolution::standard, thumbnailLimits());
        if (!bif) {
            extras.problems.push_back("thumbnails: " + bif.error().localizedDescription());
        } else {
            extras.thumbnailFrames = bif->thumbnails.size();
            for (const auto& thumbnail : bif->thumbnails) extras.thumbnailsDecoded += thumbnail.value ? 1 : 0;
            if (extras.thumbnailFrames == 0) {
                extras.problems.push_back("thumbnails: the index holds no frames");
            } else if (extras.thumbnailsDecoded == 0) {
                extras.problems.push_back("thumbnails: none of the " + std::to_string(extras.thumbnailFrames) +
                                          " frames decoded");
            } else {
                extras.thumbnails = std::move(*bif);
            }
        }
        dispatch::DispatchQueue::main().async(
            [extras = std::move(extras), completion = std::move(completion)]() mutable {
                completion(std::move(extras));
            });
    });
}

}  // namespace demohost
