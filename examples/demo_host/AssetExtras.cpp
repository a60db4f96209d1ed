#include "AssetExtras.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "dispatch/DispatchQueue.h"
#include "foundation/JSON.h"
#include "foundation/URLError.h"
#include "foundation/URLSession.h"
#include "playback/VideoPlayerProxy.h"

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

// "-50 s", "1e+308 s", "nan s".
std::string secondsText(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g s", seconds);
    return buffer;
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

std::string AssetExtras::name(Part part) {
    switch (part) {
        case Part::adBreaks:
            return "ad breaks";
        case Part::keyMoments:
            return "key moments";
        case Part::thumbnails:
            return "thumbnails";
    }
    return "extras";
}

void AssetExtras::AdBreaks::refuse(const std::string& id, const std::string& reason) {
    if (refused++ > 0) return;
    // The id is the answer's own text: a few characters name the ad.
    constexpr std::size_t kShownId = 40;
    const std::string shown = id.size() > kShownId ? id.substr(0, kShownId) + "..." : id;
    firstRefusal = "ad \"" + shown + "\": " + reason;
}

std::expected<AssetExtras::AdBreaks, std::string> AssetExtras::parseAdBreaks(const std::string& json) {
    auto value = foundation::JSONDecoder::parse(json);
    if (!value) return std::unexpected("not JSON: " + value.error().localizedDescription());
    if (!value->is_object() || !value->contains("breaks") || !(*value)["breaks"].is_array()) {
        return std::unexpected("no \"breaks\" list");
    }
    AdBreaks breaks;
    for (const auto& entry : (*value)["breaks"]) {
        if (!entry.is_object() || !entry.contains("ads") || !entry["ads"].is_array()) continue;
        std::vector<lumora::AdInfo> ads;
        for (const auto& ad : entry["ads"]) {
            if (!ad.is_object()) continue;
            auto start = number(ad, "startTime");
            auto duration = number(ad, "duration");
            if (!start || !duration) continue;
            const std::string id = text(ad, "id").value_or("ad");
            // The kit's own rule: the player would hold such an ad over the whole programme, or count it
            // backwards. An ad of no length is kept, as the kit keeps it. The reader refuses numbers past
            // the doubles, so only an end can fail to be finite.
            if (!std::isfinite(*start + *duration)) {
                breaks.refuse(id, "starts at " + secondsText(*start) + " and lasts " + secondsText(*duration) +
                                      ", ending at no finite time");
            } else if (*start < 0) {
                breaks.refuse(id, "starts at " + secondsText(*start) + ", before the stream");
            } else if (*duration < 0) {
                breaks.refuse(id, "lasts " + secondsText(*duration) + ", no time at all");
            } else {
                ads.emplace_back(id, *start, *duration);
            }
        }
        if (!ads.empty()) breaks.groups.push_back(std::move(ads));
    }
    return breaks;
}

AssetExtras::AdBreaks AssetExtras::withinStream(AdBreaks breaks, std::optional<double> duration) {
    if (!duration) return breaks;
    AdBreaks kept;
    kept.refused = breaks.refused;
    kept.firstRefusal = breaks.firstRefusal;
    for (auto& group : breaks.groups) {
        std::vector<lumora::AdInfo> ads;
        for (auto& ad : group) {
            // The kit's tolerance: an end a little past the stream's is the stream's end, rounded.
            if (ad.startTime + ad.duration > *duration + lumora::VideoPlayerProxy::streamEndTolerance) {
                kept.refuse(ad.id, "ends at " + secondsText(ad.startTime + ad.duration) + ", after the stream's " +
                                       secondsText(*duration));
            } else {
                ads.push_back(std::move(ad));
            }
        }
        if (!ads.empty()) kept.groups.push_back(std::move(ads));
    }
    return kept;
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
    if (!adBreaks.groups.empty()) {
        std::size_t ads = 0;
        for (const auto& group : adBreaks.groups) ads += group.size();
        add(count(adBreaks.groups.size(), "ad break", "ad breaks") + " (" + count(ads, "ad", "ads") + ")");
    }
    if (adBreaks.refused > 0) {
        add(count(adBreaks.refused, "ad refused", "ads refused") + " (" + adBreaks.firstRefusal +
            (adBreaks.refused > 1 ? ", and " + std::to_string(adBreaks.refused - 1) + " more" : std::string()) + ")");
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
                        std::function<void(Part, AssetExtras)> each) {
    // Each part on its own: a request that is slow to answer holds back none of the others.
    auto answer = [each = std::move(each)](Part part, AssetExtras extras) {
        dispatch::DispatchQueue::main().async(
            [each, part, extras = std::move(extras)]() mutable { each(part, std::move(extras)); });
    };
    // GETs the part's answer and reads its body into the extras with `read`; what fails is said under the
    // part's name.
    auto request = [answer](Part part, const std::string& url, std::size_t maxBytes, auto read) {
        get(url, maxBytes, [answer, part, read](std::expected<foundation::Data, std::string> body) {
            AssetExtras extras;
            if (!body) {
                extras.problems.push_back(name(part) + ": " + body.error());
            } else if (std::expected<void, std::string> kept = read(std::move(*body), extras); !kept) {
                extras.problems.push_back(name(part) + ": " + kept.error());
            }
            answer(part, std::move(extras));
        });
    };
    if (adsURL.empty()) {
        answer(Part::adBreaks, AssetExtras());
    } else {
        request(Part::adBreaks, adsURL, maxListBytes,
                [](foundation::Data body, AssetExtras& extras) -> std::expected<void, std::string> {
                    auto breaks = parseAdBreaks(foundation::stringFromData(body));
                    if (!breaks) return std::unexpected(breaks.error());
                    extras.adBreaks = std::move(*breaks);
                    return {};
                });
    }
    request(Part::keyMoments, thumbnailsBase + "/key-moments.json", maxListBytes,
            [](foundation::Data body, AssetExtras& extras) -> std::expected<void, std::string> {
                auto events = parseKeyMoments(foundation::stringFromData(body));
                if (!events) return std::unexpected(events.error());
                extras.keyMoments = std::move(*events);
                return {};
            });
    request(Part::thumbnails, thumbnailsBase + "/index.bif", maxThumbnailBytes,
            [](foundation::Data body, AssetExtras& extras) -> std::expected<void, std::string> {
                extras.thumbnailData = std::move(body);
                return {};
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
