#include "RequestWatch.h"

#include "foundation/JSON.h"
#include "foundation/URL.h"

#include <cstdlib>
#include <iterator>
#include <utility>

namespace demoharness {

namespace {

std::optional<std::string> queryValue(const foundation::URL& url, const std::string& name) {
    foundation::URLComponents components(url);
    if (!components.queryItems) return std::nullopt;
    for (const auto& item : *components.queryItems) {
        if (item.name == name) return item.value;
    }
    return std::nullopt;
}

}  // namespace

// Registered once per class in the shared registry; forwards to the watch while it lives.
class RequestWatch::Protocol final : public foundation::URLProtocol {
  public:
    explicit Protocol(std::weak_ptr<RequestWatch> watch) : watch_(std::move(watch)) {}
    bool canInit(const foundation::URLRequest& request) const override {
        if (auto watch = watch_.lock()) watch->noteRequest(request);
        return false;
    }

  private:
    std::weak_ptr<RequestWatch> watch_;
};

void RequestWatch::install() {
    // The registry keeps one protocol per class: a later watch replaces an earlier one.
    auto registry = foundation::URLProtocolRegistry::shared();
    registry->unregisterClass<Protocol>();
    protocol_ = std::make_shared<Protocol>(weak_from_this());
    registry->registerClass(protocol_);
}

void RequestWatch::uninstall() {
    if (!protocol_) return;
    foundation::URLProtocolRegistry::shared()->unregisterClass<Protocol>();
    protocol_.reset();
}

std::optional<RequestWatch::PlayerEventPost> RequestWatch::parseEventBody(const std::string& body) {
    // Most bodies are not player events (sign-in, the play request, licences): they are passed over unparsed,
    // so that watching costs the road to the first picture next to nothing.
    if (body.find("\"eventNumber\"") == std::string::npos) return std::nullopt;
    auto json = foundation::JSONDecoder::parse(body);
    if (!json || !json->is_object() || !json->contains("progress") || !json->contains("client")) return std::nullopt;
    const auto& progress = (*json)["progress"];
    const auto& client = (*json)["client"];
    if (!progress.is_object() || !client.is_object()) return std::nullopt;
    if (!progress.contains("eventNumber") || !progress["eventNumber"].is_number_integer()) return std::nullopt;
    PlayerEventPost post;
    post.number = progress["eventNumber"].get<std::int64_t>();
    if (client.contains("playerEvent") && client["playerEvent"].is_string()) post.kind = client["playerEvent"];
    if (client.contains("playerState") && client["playerState"].is_string()) post.state = client["playerState"];
    if (progress.contains("vod") && progress["vod"].is_object() && progress["vod"].contains("position")) {
        const auto& position = progress["vod"]["position"];
        if (position.is_number()) {
            post.position = position.get<double>();
        } else if (position.is_string()) {
            post.position = std::strtod(position.get<std::string>().c_str(), nullptr);
        }
    }
    return post;
}

void RequestWatch::noteRequest(const foundation::URLRequest& request) {
    if (auto keyId = queryValue(request.url, "keyId"); keyId && request.httpMethod == "POST") {
        std::lock_guard lock(mutex_);
        licenceRequests_.push_back({queryValue(request.url, "contentId").value_or(""), *keyId});
        anyLicenceRequest_ = true;
        return;
    }
    if (request.httpMethod == "POST" && request.httpBody) {
        if (auto post = parseEventBody(foundation::stringFromData(*request.httpBody))) {
            std::lock_guard lock(mutex_);
            if (inFlight_.insert(post->number).second) newPosts_.push_back(post->number);
        }
    }
}

void RequestWatch::requestDidFinish(const std::optional<foundation::URLRequest>& request,
                                    const std::optional<foundation::HTTPURLResponse>& response,
                                    const std::optional<alamofire::AFError>& error) {
    if (!request || !request->httpBody) return;
    auto post = parseEventBody(foundation::stringFromData(*request->httpBody));
    if (!post) return;
    PlayerEventAnswer answer{.post = *post};
    if (response) {
        answer.status = response->statusCode;
    } else {
        answer.failure = error ? error->localizedDescription() : std::string("no answer");
    }
    std::lock_guard lock(mutex_);
    if (answer.status == 403) anyEventRefused_ = true;
    inFlight_.erase(post->number);
    answers_.push_back(std::move(answer));
}

std::vector<RequestWatch::LicenceRequest> RequestWatch::takeLicenceRequests() {
    std::lock_guard lock(mutex_);
    return std::exchange(licenceRequests_, {});
}

bool RequestWatch::anyEventRefused() const {
    std::lock_guard lock(mutex_);
    return anyEventRefused_;
}

bool RequestWatch::anyLicenceRequest() const {
    std::lock_guard lock(mutex_);
    return anyLicenceRequest_;
}

std::vector<RequestWatch::PlayerEventAnswer> RequestWatch::takeEventAnswers() {
    std::lock_guard lock(mutex_);
    return std::exchange(answers_, {});
}

std::vector<std::int64_t> RequestWatch::takeNewEventPosts() {
    std::lock_guard lock(mutex_);
    return std::exchange(newPosts_, {});
}

std::size_t RequestWatch::eventsInFlightBefore(std::int64_t number) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::distance(inFlight_.begin(), inFlight_.lower_bound(number)));
}

}  // namespace demoharness
