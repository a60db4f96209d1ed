#include "TimelineWatch.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "avfoundation/AVPlayer.h"
#include "devserver/Backend.h"
#include "playservice/ConcurrencyError.h"
#include "screen/ZuPlayerViewController.h"

namespace demoharness::detail {

namespace {

using Kind = TimelineEvent::Kind;

double seconds(const coremedia::CMTime& time) {
    return time.isNumeric() ? time.seconds() : 0;
}

}  // namespace

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string clockText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const long long total = static_cast<long long>(seconds);
    char buffer[32];
    if (total >= 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", total / 3600, (total / 60) % 60, total % 60);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld", total / 60, total % 60);
    }
    return buffer;
}

std::string join(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

double playheadOf(const lumora::ZuPlayerViewController* screen) {
    return screen && screen->player() ? seconds(screen->player()->avplayer()->currentTime()) : 0;
}

double streamDurationOf(const lumora::ZuPlayerViewController* screen) {
    if (!screen || !screen->player()) return 0;
    auto item = screen->player()->avplayer()->currentItem();
    return item ? seconds(item->duration()) : 0;
}

TimelineWatch::TimelineWatch(std::shared_ptr<EmbeddedBackend> backend, Record record)
    : backend_(std::move(backend)), record_(std::move(record)), requests_(std::make_shared<RequestWatch>()) {}

void TimelineWatch::report(Kind kind, std::string text) {
    record_(TimelineEvent{.kind = kind, .text = std::move(text)});
}

bool TimelineWatch::noticeStreamContent(const lumora::ZuPlayerViewController& screen) {
    auto content = screen.streamContent();
    if (!content || content_) return false;
    content_ = content;
    std::string text = "stream chosen: \"" + content->title + "\" (" + content->id + "), " +
                       content->contentMediaFormat + ", " +
                       (content->isDRMProtected ? std::string("FairPlay-protected") : std::string("clear"));
    if (content->playerEventParameter) {
        text += ", player events every " + std::to_string(content->playerEventParameter->playerEventInterval) + " s";
    } else {
        text += ", no player events";
    }
    report(Kind::streamChosen, std::move(text));
    return true;
}

void TimelineWatch::reportKeys() {
    auto requests = requests_->takeLicenceRequests();
    if (requests.empty()) return;
    std::vector<std::string> fetched, renewed;
    for (const auto& r : requests) {
        if (keysSeen_.insert(r.keyId).second) {
            fetched.push_back(r.keyId);
            ++keysFetched_;
        } else {
            renewed.push_back(r.keyId);
            ++keysRenewed_;
        }
    }
    // Each key is renewed when the duration its answer carried has passed.
    std::string due;
    if (backend_) {
        const std::string& duration = backend_->options().keyRenewalDuration;
        char* end = nullptr;
        const double seconds = std::strtod(duration.c_str(), &end);
        if (end && *end == '\0' && std::isfinite(seconds) && seconds > 0) {
            due = " (renewal due in " + fixed(seconds, 0) + " s)";
        }
    }
    if (!fetched.empty()) {
        report(Kind::keyFetched,
               std::string(fetched.size() == 1 ? "key fetched: " : "keys fetched: ") + join(fetched) + due);
    }
    if (!renewed.empty()) {
        report(Kind::keyRenewed,
               std::string(renewed.size() == 1 ? "key renewed: " : "keys renewed: ") + join(renewed) + due);
    }
}

void TimelineWatch::notePostedEvents(double playhead) {
    for (auto number : requests_->takeNewEventPosts()) eventPositions_[number] = playhead;
}

void TimelineWatch::reportEventAnswers() {
    for (const auto& answer : requests_->takeEventAnswers()) {
        const auto& post = answer.post;
        const std::string what = post.kind + " #" + std::to_string(post.number);
        const auto at = eventPositions_.find(post.number);
        const std::string detail = " at " + clockText(at != eventPositions_.end() ? at->second : post.position) + " (" +
                                   post.state + ", " +
                                   (post.kind == "str_start" ? "the play request's token" : "fresh token");
        TimelineEvent event{.kind = Kind::eventSent, .playerEvent = post.kind, .eventNumber = post.number};
        if (answer.status && *answer.status >= 200 && *answer.status <= 299) {
            ++eventsSent_;
            event.text = "event sent: " + what + detail + "; answered " + std::to_string(*answer.status) + ")";
        } else if (answer.status && *answer.status == 403) {
            event.kind = Kind::eventRefused;
            event.text = "event refused: " + what + " (" + lumora::ConcurrencyError().localizedDescription() + ")";
        } else if (answer.status) {
            ++eventsSent_;
            event.text =
                "event answered " + std::to_string(*answer.status) + ": " + what + detail + "; counted as delivered)";
        } else {
            ++eventsSent_;
            event.text = "event not answered: " + what + detail + "; " + answer.failure + "; counted as delivered)";
        }
        if (post.kind == "end") endAnswered_ = post.number;
        record_(std::move(event));
    }
}

void TimelineWatch::reportBeacons() {
    if (!backend_) return;
    const auto beacons = backend_->analytics().beacons();
    for (; beaconsSeen_ < beacons.size(); ++beaconsSeen_) {
        const auto& beacon = beacons[beaconsSeen_];
        if (beacon.status < 200 || beacon.status > 299) continue;
        ++beaconsTaken_;
        // The periodic pings are counted, not listed.
        if (beacon.event == "ping") continue;
        report(Kind::analytics, "analytics beacon: " + beacon.event + " (view " + beacon.view + ")");
    }
}

void TimelineWatch::reportAd(const lumora::AdEvent& event, double playhead) {
    if (event.isStart()) {
        ++adsStarted_;
        report(Kind::adStarted, "ad started: " + event.ad().title + " (" + event.ad().id + ", " +
                                    fixed(event.ad().duration, 0) + " s) at " + clockText(playhead));
    } else {
        report(Kind::adFinished,
               "ad finished: " + event.ad().title + (event.hasAdCompleted() ? ", end of the break" : ""));
    }
}

bool TimelineWatch::eventsAnswered() const {
    const bool reports = content_ && content_->playerEventParameter;
    return !reports || (endAnswered_ && requests_->eventsInFlightBefore(*endAnswered_) == 0);
}

std::string TimelineWatch::counts() const {
    std::string text;
    if (content_ && content_->isDRMProtected) {
        text += std::to_string(keysFetched_) + (keysFetched_ == 1 ? " key" : " keys") + " fetched, " +
                std::to_string(keysRenewed_) + (keysRenewed_ == 1 ? " renewal" : " renewals") + ", ";
    }
    text += std::to_string(eventsSent_) + " player " + (eventsSent_ == 1 ? "event" : "events") + " sent";
    if (adsStarted_ > 0) text += ", " + std::to_string(adsStarted_) + (adsStarted_ == 1 ? " ad" : " ads") + " shown";
    if (backend_) text += ", " + std::to_string(beaconsTaken_) + " analytics beacons";
    return text;
}

}  // namespace demoharness::detail
