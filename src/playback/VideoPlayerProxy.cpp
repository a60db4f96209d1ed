#include "playback/VideoPlayerProxy.h"

#include <cmath>
#include <utility>

#include "dispatch/DispatchQueue.h"
#include "kitfoundation/Log.h"

namespace lumora {

namespace {

using coremedia::CMTime;
using coremedia::CMTimeRange;
using coremedia::kPreferredTimescale;

// The observer reports the playhead ten times a second.
constexpr double kTimeObserverInterval = 0.1;

double endOf(const AdInfo& ad) {
    return ad.startTime + ad.duration;
}

// Why an ad cannot take part in the calculations whatever the stream: nothing when it can. A span must be
// finite and lie on the stream's timeline, which starts at 0.
const char* flawOf(const AdInfo& ad) {
    if (!std::isfinite(ad.startTime)) return "a start that is not a number of seconds";
    if (!std::isfinite(ad.duration)) return "a duration that is not a number of seconds";
    if (ad.startTime < 0) return "a negative start";
    if (ad.duration < 0) return "a negative duration";
    if (!std::isfinite(endOf(ad))) return "an end that is not a number of seconds";
    return nullptr;
}

// The host's ad list is told by position, never by its texts.
void logIgnored(std::size_t group, std::size_t index, const AdInfo& ad, const char* why) {
    debugLog("☣️ Ad ignored: break", group + 1, "ad", index + 1, "(start", ad.startTime, "s, duration", ad.duration,
             "s) has", why);
}

}  // namespace

std::shared_ptr<VideoPlayerProxy> VideoPlayerProxy::create(
    std::shared_ptr<AdSignallingServiceInterface> adSignallingService) {
    return std::shared_ptr<VideoPlayerProxy>(new VideoPlayerProxy(std::move(adSignallingService)));
}

VideoPlayerProxy::VideoPlayerProxy(std::shared_ptr<AdSignallingServiceInterface> adSignallingService)
    : adSignallingService_(std::move(adSignallingService)), adGroups_(std::make_shared<const AdGroups>()) {}

VideoPlayerProxy::~VideoPlayerProxy() {
    removeTimeObserver();
}

void VideoPlayerProxy::update(AdGroups adGroups) {
    for (std::size_t g = 0; g < adGroups.size(); ++g) {
        auto& group = adGroups[g];
        std::size_t index = 0;
        std::erase_if(group, [&](const AdInfo& ad) {
            const char* flaw = flawOf(ad);
            if (flaw) logIgnored(g, index, ad, flaw);
            ++index;
            return flaw != nullptr;
        });
    }
    stored_ = std::move(adGroups);
    checkedAgainst_.reset();
    adGroups_.reset();
    refresh();
    signalledVersion_ = adsVersion_;
    if (adSignallingService_) adSignallingService_->reset();
}

void VideoPlayerProxy::refresh() const {
    const std::optional<double> length = player_ ? player_->streamDuration() : std::nullopt;
    if (adGroups_ && length == checkedAgainst_) return;
    checkedAgainst_ = length;
    AdGroups groups = stored_;
    if (length) {
        for (std::size_t g = 0; g < groups.size(); ++g) {
            std::size_t index = 0;
            std::erase_if(groups[g], [&](const AdInfo& ad) {
                const bool outside = endOf(ad) > *length + streamEndTolerance;
                if (outside) logIgnored(g, index, ad, "an end past the end of the stream");
                ++index;
                return outside;
            });
        }
    }
    std::vector<AdInfo> ads;
    for (const auto& group : groups) ads.insert(ads.end(), group.begin(), group.end());
    const bool changed = !adGroups_ || *adGroups_ != groups;
    adGroups_ = std::make_shared<const AdGroups>(std::move(groups));
    ads_ = std::move(ads);
    if (changed) ++adsVersion_;
}

const AdGroups& VideoPlayerProxy::adGroups() const {
    refresh();
    return *adGroups_;
}

const std::vector<AdInfo>& VideoPlayerProxy::ads() const {
    refresh();
    return ads_;
}

void VideoPlayerProxy::removeTimeObserver() {
    if (player_ && timeObserverToken_.has_value()) player_->removeTimeObserver(timeObserverToken_);
    timeObserverToken_.reset();
}

void VideoPlayerProxy::set(std::shared_ptr<PlayerInterface> player) {
    removeTimeObserver();
    player_ = std::move(player);
    if (!player_) return;

    std::weak_ptr<VideoPlayerProxy> weakSelf = weak_from_this();
    timeObserverToken_ = player_->addPeriodicTimeObserver(CMTime(kTimeObserverInterval, kPreferredTimescale),
                                                          &dispatch::DispatchQueue::main(), [weakSelf](CMTime time) {
                                                              if (auto self = weakSelf.lock()) self->tick(time);
                                                          });
}

void VideoPlayerProxy::tick(CMTime time) {
    if (!time.isValid() || !adSignallingService_) return;
    // Ads that turn out to lie outside the stream drop whatever ad was being shown, as new groups do.
    refresh();
    if (adsVersion_ != signalledVersion_) {
        signalledVersion_ = adsVersion_;
        adSignallingService_->reset();
    }

    // Callbacks hold the proxy weakly: a subscriber may release it while an event is delivered.
    std::weak_ptr<VideoPlayerProxy> weakSelf = weak_from_this();
    const auto groups = adGroups_;
    adSignallingService_->check(
        time.seconds(), *groups,
        [weakSelf](const AdDisplayInfo& ad, int indexInGroup) {
            if (auto self = weakSelf.lock()) self->adEventSubject_.send(AdEvent::start(ad, indexInGroup));
        },
        [weakSelf](const AdDisplayInfo& ad, int indexInGroup, bool hasAdCompleted) {
            if (auto self = weakSelf.lock()) {
                self->adEventSubject_.send(AdEvent::finish(ad, indexInGroup, hasAdCompleted));
            }
        });
}

combine::AnyPublisher<AdEvent> VideoPlayerProxy::adEventsPublisher() const {
    return adEventSubject_.eraseToAnyPublisher();
}

const AdInfo* VideoPlayerProxy::adContaining(double time) const {
    refresh();
    for (const auto& ad : ads_) {
        if (ad.startTime <= time && time < endOf(ad)) return &ad;
    }
    return nullptr;
}

double VideoPlayerProxy::currentTimeWithoutAds(double playheadTime) const {
    refresh();
    const double p = playheadTime;
    // Ads wholly behind the playhead; a zero-length ad starting exactly at p is not behind it.
    double passed = 0;
    for (const auto& ad : ads_) {
        if (endOf(ad) <= p && ad.startTime < p) passed += ad.duration;
    }
    double r = p - passed;
    // Inside an ad the content time stays where the ad begins.
    if (const AdInfo* ad = adContaining(p)) r = r - (p - ad->startTime);
    return r;
}

double VideoPlayerProxy::durationWithoutAds(double duration) const {
    refresh();
    double total = 0;
    for (const auto& ad : ads_) total += ad.duration;
    return duration - total;
}

double VideoPlayerProxy::currentTimeWithAds(double time) const {
    // Compared with the running value, so an ad reached only once earlier ads are added counts too, and a
    // content time exactly on an ad's start maps past that ad.
    refresh();
    double r = time;
    for (const auto& ad : ads_) {
        if (ad.startTime <= r) r = r + ad.duration;
    }
    return r;
}

std::vector<CMTimeRange> VideoPlayerProxy::loadedTimeRangesWithoutAds(
    const std::vector<CMTimeRange>& timeRanges) const {
    std::vector<CMTimeRange> result;
    result.reserve(timeRanges.size());
    for (const auto& range : timeRanges) {
        const double s = currentTimeWithoutAds(range.start.seconds());
        if (std::isnan(s)) continue;
        const CMTime start(s, kPreferredTimescale);
        if (!start.isValid()) continue;

        const double e = currentTimeWithoutAds(range.end().seconds());
        if (std::isnan(e)) continue;
        const CMTime end(e, kPreferredTimescale);
        if (!end.isValid()) continue;

        result.push_back(coremedia::CMTimeRangeFromTimeToTime(start, end));
    }
    return result;
}

CMTimeRange VideoPlayerProxy::timeRangeForAdAt(double time) const {
    const AdInfo* ad = adContaining(time);
    if (!ad || std::isnan(ad->startTime) || std::isnan(ad->duration)) return coremedia::kCMTimeRangeZero;
    const CMTime start(ad->startTime, kPreferredTimescale);
    const CMTime duration(ad->duration, kPreferredTimescale);
    if (!start.isValid() || !duration.isValid()) return coremedia::kCMTimeRangeZero;
    return CMTimeRange(start, duration);
}

}  // namespace lumora
