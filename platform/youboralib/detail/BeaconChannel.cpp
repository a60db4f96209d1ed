#include "youboralib/detail/BeaconChannel.h"

#include <deque>

#include "youboralib/YBLog.h"
#include "youboralib/testing/Deliveries.h"

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

// The process's one line of beacons waiting for their collector: one post at a time, first made first sent.
class DeliveryLine {
  public:
    static DeliveryLine& shared() {
        static auto* line = new DeliveryLine();  // deliveries may still finish while the process exits
        return *line;
    }

    // Call with the channel's lock held, so that a channel's beacons join the line in their order.
    void enqueue(std::shared_ptr<BeaconChannel> channel, std::size_t index) {
        std::lock_guard lock(mutex_);
        waiting_.push_back({std::move(channel), index});
    }

    // Posts the next beacon unless one is under way. Call without any channel's lock.
    void pump() {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (inFlight_ || waiting_.empty()) return;
            job = std::move(waiting_.front());
            waiting_.pop_front();
            inFlight_ = true;
        }
        auto task = job.channel->session_->dataTask(
            job.channel->request(job.index),
            [this, channel = job.channel, index = job.index](std::optional<foundation::Data>,
                                                             std::optional<foundation::HTTPURLResponse> response,
                                                             std::optional<foundation::Error> error) mutable {
                channel->finished(index, std::move(response), std::move(error));
                channel.reset();  // the task may keep this closure; the channel is not its to keep
                {
                    std::lock_guard lock(mutex_);
                    inFlight_ = false;
                }
                pump();
            });
        task->resume();
    }

    bool isIdle() {
        std::lock_guard lock(mutex_);
        return !inFlight_ && waiting_.empty();
    }

  private:
    struct Job {
        std::shared_ptr<BeaconChannel> channel;
        std::size_t index = 0;
    };

    DeliveryLine() = default;

    std::mutex mutex_;  // guards the two below
    std::deque<Job> waiting_;
    bool inFlight_ = false;
};

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
        if (!collector_) return;
        DeliveryLine::shared().enqueue(shared_from_this(), beacons_.size() - 1);
    }
    DeliveryLine::shared().pump();
}

std::vector<YBBeacon> BeaconChannel::beacons() const {
    std::lock_guard lock(mutex_);
    return beacons_;
}

foundation::URLRequest BeaconChannel::request(std::size_t index) const {
    foundation::URLRequest request(*collector_, timeoutInterval_);
    request.httpMethod = "POST";
    request.setValue("application/json", "Content-Type");
    std::lock_guard lock(mutex_);
    const foundation::JSONValue& body = beacons_[index].body;
    // Texts that are not valid UTF-8 (a title from elsewhere) go out with U+FFFD, never as a failure: the
    // rare body that the strict writer refuses is written by the lenient one.
    auto text = foundation::JSONSerialization::data(body);
    request.httpBody =
        text ? std::move(*text)
             : foundation::dataFromString(body.dump(-1, ' ', false, foundation::JSONValue::error_handler_t::replace));
    return request;
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
    }
    if (failure) {
        YBLog::log(YBLogLevel::warning,
                   "The " + event + " beacon was not taken by " + collector_->absoluteString() + ": " + *failure);
    } else {
        YBLog::log(YBLogLevel::debug, "The " + event + " beacon was delivered.");
    }
}

}  // namespace youboralib::detail

namespace youboralib::testing {

bool deliveriesIdle() {
    return detail::DeliveryLine::shared().isIdle();
}

}  // namespace youboralib::testing
