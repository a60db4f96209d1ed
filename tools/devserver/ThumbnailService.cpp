#include "devserver/ThumbnailService.h"

#include <charconv>
#include <functional>

namespace devserver {

namespace {

Reply notFound(std::string_view what) {
    return Reply::apiError(404, "4004", what);
}

// "<digits>.jpg" → the frame number; nothing for anything else (signs, spaces, empty, too large).
std::optional<int> frameNumber(std::string_view name) {
    if (!name.ends_with(".jpg")) return std::nullopt;
    name.remove_suffix(4);
    if (name.empty() || name.size() > 6) return std::nullopt;
    int value = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), value);
    if (error != std::errc() || end != name.data() + name.size() || name.front() == '-' || name.front() == '+') {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::shared_ptr<ThumbnailService> ThumbnailService::create(ThumbnailOptions options) {
    return std::shared_ptr<ThumbnailService>(new ThumbnailService(std::move(options)));
}

void ThumbnailService::registerRoutes(Router& router) {
    // The server holds its services for as long as it answers.
    router.add("GET", options_.pathPrefix + "/*", [this](const RecordedRequest& request) { return answer(request); });
}

std::string ThumbnailService::bifPath(std::string_view assetId) const {
    return options_.pathPrefix + "/" + std::string(assetId) + "/index.bif";
}

std::string ThumbnailService::framePath(std::string_view assetId, int frame) const {
    return options_.pathPrefix + "/" + std::string(assetId) + "/" + std::to_string(frame) + ".jpg";
}

std::string ThumbnailService::keyMomentsPath(std::string_view assetId) const {
    return options_.pathPrefix + "/" + std::string(assetId) + "/key-moments.json";
}

std::shared_ptr<const std::string> ThumbnailService::cached(const std::string& key,
                                                            const std::function<std::string()>& make) {
    {
        std::lock_guard lock(mutex_);
        if (auto found = cache_.find(key); found != cache_.end()) return found->second;
    }
    // Made outside the lock: two first requests may both make it; the first one stored wins.
    auto made = std::make_shared<const std::string>(make());
    std::lock_guard lock(mutex_);
    return cache_.emplace(key, std::move(made)).first->second;
}

Reply ThumbnailService::answer(const RecordedRequest& request) {
    // "<prefix>/<id>/<name>"
    std::string_view rest(request.path);
    rest.remove_prefix(std::min(rest.size(), options_.pathPrefix.size() + 1));
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos) return notFound("No such thumbnail resource");
    const std::string assetId(rest.substr(0, slash));
    const std::string_view name = rest.substr(slash + 1);
    if (!thumbnails::hasThumbnails(assetId)) return notFound("The asset has no thumbnails");
    const auto& style = options_.style;

    if (name == "index.bif") {
        auto body = cached(assetId + "/bif", [&] {
            auto data = thumbnails::bifData(assetId, style);
            return data ? std::string(data->begin(), data->end()) : std::string();
        });
        if (body->empty()) return Reply::apiError(500, "5000", "The BIF data could not be made");
        return Reply{.status = 200, .body = *body, .contentType = "application/octet-stream"};
    }
    if (name == "key-moments.json") {
        return Reply::json(200, thumbnails::keyMoments(assetId)->dump());
    }
    if (auto frame = frameNumber(name)) {
        if (*frame >= thumbnails::frameCount(assetId, style)) return notFound("No such frame");
        auto body = cached(assetId + "/" + std::to_string(*frame), [&] {
            auto jpeg = thumbnails::frameJPEG(assetId, *frame, style);
            return jpeg ? std::string(jpeg->begin(), jpeg->end()) : std::string();
        });
        if (body->empty()) return Reply::apiError(500, "5000", "The frame could not be made");
        return Reply{.status = 200, .body = *body, .contentType = "image/jpeg"};
    }
    return notFound("No such thumbnail resource");
}

}  // namespace devserver
