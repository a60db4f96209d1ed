#include "youboralib/detail/BeaconChannel.h"

#include "youboralib/YBLog.h"

namespace youboralib::detail {

namespace {

// An absolute http(s) URL with a host, or nothing.
std::optional<foundation::URL> collectorAddress(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    auto url = foundation::URL::fromString(*text);
    if (url) {
        const std::string scheme = url->scheme();
        if ((scheme == "http" || scheme == "https") && url->host() && !url->host()->empty()) return url;
    }
    YBLog::log(YBLogLevel::warning,
               "The collector address \"" + *text + "\" is not an http(s) URL; beacons are only recorded.");
    return std::nullopt;
}

}  // namespace

std::shared_ptr<BeaconChannel> BeaconChannel::create(const YBPluginConfig& config) {
    auto collector = collectorAddress(config.collectorURL);
    auto session = config.session;
    if (collector && !session) session = foundation::URLSession::shared();
    return std::shared_ptr<BeaconChannel>(
        new BeaconChannel(std::move(collector), std::move(session), config.timeoutInterval));
}

void BeaconChannel::submit(const std::string& event, foundation::JSONValue body) {
    {
        std::lock_guard lock(mutex_);
        body["sequence"] = beacons_.size() + 1;
        YBBeacon beacon;
        beacon.event = event;
        beacon.body = std::move(body);
        beacon.delivery = collector_ ? YBBeacon::Delivery::sending : YBBeacon::Delivery::recorded;
        beacons_.push_back(std::move(beacon));
        if (!collector_) next_ = beacons_.size();
    }
    pump();
}

std::vector<YBBeacon> BeaconChannel::beacons() const {
    std::lock_guard lock(mutex_);
    return beacons_;
}

void BeaconChannel::pump() {
    std::size_t index = 0;
    std::optional<foundation::URLRequest> request;
    {
        std::lock_guard lock(mutex_);
        if (!collector_ || inFlight_ || next_ >= beacons_.size()) return;
        index = next_++;
        inFlight_ = true;
        // Texts that are not valid UTF-8 (a title from elsewhere) go out with U+FFFD, never as a failure.
        const std::string json =
            beacons_[index].body.dump(-1, ' ', false, foundation::JSONValue::error_handler_t::replace);
        request.emplace(*collector_, timeoutInterval_);
        request->httpMethod = "POST";
        request->setValue("application/json", "Content-Type");
        request->httpBody = foundation::dataFromString(json);
    }
    auto self = shared_from_this();
    auto task =
        session_->dataTask(std::move(*request), [self, index](std::optional<foundation::Data>,
                                                              std::optional<foundation::HTTPURLResponse> response,
                                                              std::optional<foundation::Error> error) {
            self->finished(index, std::move(response), std::move(error));
        });
    task->resume();
}

void BeaconChannel::finished(std::size_t index, std::optional<foundation::HTTPURLResponse> response,
                             std::optional<foundation::Error> error) {
    std::string event;
    std::optional<std::string> failure;
    {
        std::lock_guard lock(mutex_);
        YBBeacon& beacon = beacons_[index];
        event = beacon.event;
        if (response) beacon.statusCode = response->statusCode;
        if (error) {
            failure = error->localizedDescription();
        } else if (!response) {
            failure = "no answer";
        } else if (response->statusCode < 200 || response->statusCode > 299) {
            failure = "HTTP " + std::to_string(response->statusCode);
        }
        beacon.delivery = failure ? YBBeacon::Delivery::failed : YBBeacon::Delivery::delivered;
        beacon.failure = failure;
        inFlight_ = false;
    }
    if (failure) {
        YBLog::log(YBLogLevel::warning,
                   "The " + event + " beacon was not taken by " + collector_->absoluteString() + ": " + *failure);
    } else {
        YBLog::log(YBLogLevel::debug, "The " + event + " beacon was delivered.");
    }
    pump();
}

}  // namespace youboralib::detail
