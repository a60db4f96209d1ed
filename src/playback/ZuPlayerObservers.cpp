// The player view's observers of its media player, its end-of-item and failure handlers, its background
// handling and its stream reload.
#include <utility>

#include "dispatch/DispatchQueue.h"
#include "playback/ZuPlayer.h"

namespace lumora {

using avfoundation::AVPlayerItem;
using coremedia::CMTime;
using coremedia::CMTimeRange;
using coremedia::kCMTimeZero;
using coremedia::kPreferredTimescale;
using foundation::NSKeyValueObservation;
using Options = foundation::NSKeyValueObservingOptions;

namespace {

// The published times follow the playhead ten times a second.
const CMTime kTimeObserverInterval(0.1, kPreferredTimescale);

}  // namespace

void ZuPlayer::didMoveToSuperview() {
    uikit::UIView::didMoveToSuperview();
    if (superview()) {
        installObservers();
    } else {
        removeObservers();
    }
}

void ZuPlayer::installObservers() {
    const auto& player = avplayer();
    // One periodic observer at a time: moving straight to another superview replaces it.
    if (timeObserverToken_.has_value()) player->removeTimeObserver(std::exchange(timeObserverToken_, std::any()));

    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    timeObserverToken_ = player->addPeriodicTimeObserver(kTimeObserverInterval, &dispatch::DispatchQueue::main(),
                                                         [weakSelf](CMTime time) {
                                                             auto self = weakSelf.lock();
                                                             if (!self || !time.isValid()) return;
                                                             self->setCurrentTime(time);
                                                             if (time.seconds() > 0)
                                                                 self->previousNonZeroPlayheadTime_ = time;
                                                         });

    constexpr auto both = Options::initial | Options::new_;
    std::vector<NSKeyValueObservation> observations;
    observations.reserve(6);
    // The seekable window gives the duration (its end) and, for a live stream, where the window starts.
    observations.push_back(foundation::observePath(
        player->currentItemProperty(), &AVPlayerItem::seekableTimeRangesProperty, both, [weakSelf](const auto& change) {
            auto self = weakSelf.lock();
            if (!self) return;
            std::optional<CMTimeRange> last;
            if (change.newValue && *change.newValue && !(*change.newValue)->empty()) last = (*change.newValue)->back();
            const CMTime end = last ? last->end() : kCMTimeZero;
            if (!end.isValid()) return;
            self->setDVRStartTime(last ? last->start : kCMTimeZero);
            self->setDuration(end);
        }));
    observations.push_back(player->timeControlStatusProperty().observe(both, [weakSelf](const auto&) {
        if (auto self = weakSelf.lock()) self->setTimeControlStatus(self->avplayer()->timeControlStatus());
    }));
    // The sound follows the speed: every rate but exactly 1 (pause included) mutes, 1 unmutes.
    observations.push_back(player->rateProperty().observe(Options::new_, [weakSelf](const auto& change) {
        auto self = weakSelf.lock();
        if (!self || !change.newValue) return;
        const float rate = *change.newValue;
        self->avplayer()->setIsMuted(rate != 1.0f);
        self->setRate(rate);
        self->tellDelegate([&](ZuPlayerDelegate& d) { d.playerRateDidChange(*self); });
    }));
    observations.push_back(foundation::observePath(
        player->currentItemProperty(), &AVPlayerItem::loadedTimeRangesProperty, both, [weakSelf](const auto& change) {
            auto self = weakSelf.lock();
            if (!self || !change.newValue || !*change.newValue) return;
            LoadedTimeRanges wrapped;
            for (const auto& range : **change.newValue) {
                if (range.isValid()) wrapped.push_back(CMTimeRangeWrapper::create(range));
            }
            self->setLoadedTimeRanges(std::move(wrapped));
        }));
    observations.push_back(foundation::observePath(
        player->currentItemProperty(), &AVPlayerItem::statusProperty, both, [weakSelf](const auto&) {
            auto self = weakSelf.lock();
            if (!self) return;
            auto item = self->avplayer()->currentItem();
            if (!item) return;
            self->tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidChangeStatus(*self, item->status(), item); });
        }));
    observations.push_back(foundation::observePath(
        player->currentItemProperty(), &AVPlayerItem::isPlaybackBufferEmptyProperty, both,
        [weakSelf](const auto& change) {
            auto self = weakSelf.lock();
            if (!self) return;
            self->setIsPlaybackBufferEmpty(change.newValue && *change.newValue ? **change.newValue : true);
        }));
    observers_ = std::move(observations);
}

void ZuPlayer::removeObservers() {
    if (timeObserverToken_.has_value()) avplayer()->removeTimeObserver(std::exchange(timeObserverToken_, std::any()));
    if (observers_) {
        for (auto& observation : *observers_) observation.invalidate();
        observers_.reset();
    }
}

void ZuPlayer::playerItemDidPlayToEnd() {
    // A live stream that caught up with its edge at a faster rate steps back and goes on at normal speed.
    if (shouldResetPlaybackRateToNormal(false)) {
        seek(duration().seconds() - 1.0, true, true);
        changeVideoRate(1.0f);
        return;
    }
    tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidPlayToEndTime(*this); });
}

void ZuPlayer::playerItemDidFailToPlayToEnd(const foundation::Notification& notification) {
    auto item = avplayer()->currentItem();
    if (!item) return;
    auto entry = notification.userInfo.find(avfoundation::AVPlayerItemFailedToPlayToEndTimeErrorKey);
    if (entry == notification.userInfo.end() || !std::any_cast<foundation::Error>(&entry->second)) return;
    tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidChangeStatus(*this, AVPlayerItem::Status::failed, item); });
}

void ZuPlayer::applicationWillResignActive() {
    if (castManager_ && castManager_->isConnected()) {
        // The receiver plays on: this departure is not one to measure a return from.
        autoplayWhenActive_ = false;
        didResignActiveDate_.reset();
        return;
    }
    const auto& player = avplayer();
    didResignActiveDate_ = foundation::Date::now();
    wasMutedWhenDidResignActive_ = player->isMuted();
    autoplayWhenActive_ = player->rate() != 0.0f;
    pause(true);
}

void ZuPlayer::applicationDidBecomeActive() {
    // A departure is measured once: a later return must not be measured from it.
    const auto departure = std::exchange(didResignActiveDate_, std::nullopt);
    if (castManager_ && castManager_->isConnected()) return;
    const auto now = foundation::Date::now();
    // Without a recorded departure the time away is unknown: treated as none.
    const double away = departure ? now.timeIntervalSince(*departure) : 0.0;

    // Keys that fell due while away are fetched again by reloading the stream.
    if (assetResourceLoader_ && !assetResourceLoader_->isRequestingResource()) {
        const auto renewal = assetResourceLoader_->nextExpectedRenewalDate();
        if (!renewal || *renewal < now) {
            CMTime position = currentTime();
            if (isLive()) {
                // The live window moved on while away; keep the same distance behind its start.
                const double seconds = currentTime().seconds() - (DVRStartTime().seconds() + away);
                position = seconds > 0 ? CMTime(seconds, kPreferredTimescale) : kCMTimeZero;
            }
            reloadCurrentStream(position, wasMutedWhenDidResignActive_, autoplayWhenActive_);
            return;
        }
    }

    if (!departure) return;
    if (away >= backgroundThreshold()) {
        avplayer()->replaceCurrentItem(nullptr);
        tellDelegate([&](ZuPlayerDelegate& d) { d.playerWillForceReloadStream(*this); });
    } else if (autoplayWhenActive_) {
        play(wasMutedWhenDidResignActive_);
    }
}

double ZuPlayer::backgroundThreshold() const {
    return metrics().backgroundThreshold;
}

void ZuPlayer::reloadCurrentStream(CMTime from, bool muted, bool playWhenReady) {
    auto item = avplayer()->currentItem();
    if (!item) return;
    auto asset = std::dynamic_pointer_cast<avfoundation::AVURLAsset>(item->asset());
    if (!asset) return;
    tellDelegate([&](ZuPlayerDelegate& d) { d.playerWillReloadStream(*this); });

    std::optional<StreamDRMSettings> drm;
    if (assetResourceLoader_) drm = assetResourceLoader_->settings();
    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    load(asset->url(), std::move(drm),
         [weakSelf, from, muted, playWhenReady](ZuPlayer& player, std::optional<foundation::Error> error) {
             if (error) {
                 player.tellDelegate([&](ZuPlayerDelegate& d) {
                     d.playerDidProduceError(player, ZuPlayerError::reloadFailed(*error));
                 });
                 return;
             }
             player.seek(from.seconds(), true, true, [weakSelf, muted, playWhenReady](bool) {
                 auto self = weakSelf.lock();
                 if (!self) return;
                 self->tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidReloadStream(*self); });
                 if (playWhenReady) self->play(muted);
             });
         });
}

}  // namespace lumora
