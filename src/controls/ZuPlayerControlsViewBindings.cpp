// The controls view's bindings to its player and, while a cast player is under control, to the Chromecast
// plug-in. Made when the view enters a view hierarchy, ended when it leaves. No throttling: every value that
// arrives is applied, on the main thread. A binding that targets a row drops the value while that row is not
// shown (rows come and go with the density), so the bindings survive density changes.

#include <cmath>
#include <string>
#include <vector>

#include "casting/CastManager.h"
#include "controls/ZuLoadedRangesView.h"
#include "controls/ZuPlayerControlsView.h"
#include "kitfoundation/Utilities.h"
#include "playback/ZuPlayer.h"
#include "playback/ZuPlayerReactive.h"
#include "rx/Foundation.h"
#include "rx/Rx.h"

namespace lumora {

namespace {

using coremedia::CMTime;

constexpr double kLiveEdgeTolerance = 10.0;  // seconds behind the end that still count as live

CMTime timeFromSeconds(double seconds) {
    return CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

// A cast-side time in the form of the player's: the seconds when they make a valid time, zero otherwise.
CMTime castTime(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds)) return coremedia::kCMTimeZero;
    const CMTime time = timeFromSeconds(*seconds);
    return time.isValid() ? time : coremedia::kCMTimeZero;
}

}  // namespace

void ZuPlayerControlsView::bind() {
    auto player = this->player();
    std::shared_ptr<CastManager> manager = player ? player->castManager() : nullptr;
    boundCastManager_ = manager;
    // The Chromecast plug-in of this moment; each stream below is built from it once.
    auto plugin = [&manager] { return manager ? manager->chromecastPlugin() : nullptr; };
    std::weak_ptr<ZuPlayerControlsView> weak = sharedAs<ZuPlayerControlsView>();
    auto apply = [weak](auto body) {
        return [weak, body](const auto& value) {
            if (auto self = weak.lock()) body(*self, value);
        };
    };

    // The rate, local and cast.
    std::vector<rx::Observable<float>> rates;
    if (player) rates.push_back(player->rx().rate());
    if (auto p = plugin()) rates.push_back(p->playbackRate());
    auto rate = rx::Observable<float>::merge(std::move(rates));

    // 1. Playing: a positive rate, or the cast player's own word; under cast control, its stream's state.
    std::vector<rx::Observable<bool>> playing{rate.map([](float r) { return r > 0; })};
    if (auto p = plugin()) playing.push_back(p->isPlaying());
    rx::Observable<bool>::merge(std::move(playing))
        .subscribe(apply([](ZuPlayerControlsView& self, bool value) { self.applyPlaying(value); }))
        .disposed(disposeBag_);

    // 2. Speed: rates the speed button knows; others (1.25, a paused 0) leave it as it is.
    rate.subscribe(apply([](ZuPlayerControlsView& self, float value) {
            if (!self.showsFunctionals()) return;
            if (auto speed = VideoPlaybackSpeed::fromRawValue(value)) self.functionals_->updateSpeed(*speed);
        }))
        .disposed(disposeBag_);

    if (!player) return;
    auto reactive = player->rx();

    // 3. The playhead; under cast control the cast stream's position.
    std::vector<rx::Observable<CMTime>> times{reactive.currentTime()};
    std::vector<rx::Observable<CMTime>> durations{reactive.duration()};
    if (auto p = plugin()) {
        times.push_back(p->playerCurrentTime());
        durations.push_back(p->playerDuration());
    }
    rx::Observable<CMTime>::merge(std::move(times))
        .subscribe(apply([](ZuPlayerControlsView& self, const CMTime& time) {
            if (self.controllableCastPlugin()) {
                const auto stream = self.currentCastStream();
                self.applyCurrentTime(castTime(stream ? stream->position : std::nullopt));
            } else {
                self.applyCurrentTime(time);
            }
        }))
        .disposed(disposeBag_);

    // 4. The duration: whether the stream is live (the live button), then the time label.
    rx::Observable<CMTime>::merge(std::move(durations))
        .subscribe(apply([](ZuPlayerControlsView& self, const CMTime&) { self.applyDuration(); }))
        .disposed(disposeBag_);

    // 6. The slider's range: the duration without ads.
    reactive.durationWithouAds()
        .subscribe(apply([](ZuPlayerControlsView& self, const CMTime& time) { self.applyDurationWithoutAds(time); }))
        .disposed(disposeBag_);

    // 7. The loaded ranges, in content time.
    reactive.loadedTimeRanges()
        .subscribe(apply([](ZuPlayerControlsView& self, const ZuPlayer::LoadedTimeRanges& wrappers) {
            self.applyLoadedTimeRanges(timeRanges(wrappers));
        }))
        .disposed(disposeBag_);

    // 8. Full screen, as the host sets it on the player.
    rx::Reactive(player)
        .observeWeakly<bool>("isFullScreen")
        .subscribe(apply([](ZuPlayerControlsView& self, const std::optional<bool>& fullScreen) {
            if (fullScreen && self.showsFunctionals()) self.functionals_->setIsFullScreen(*fullScreen);
        }))
        .disposed(disposeBag_);
}

void ZuPlayerControlsView::applyPlaying(bool playing) {
    if (controllableCastPlugin()) {
        const auto stream = currentCastStream();
        playing = stream && (stream->state == CastPlayerState::playing || stream->state == CastPlayerState::buffering);
    }
    if (hasSubview(playbacks_)) playbacks_->setIsPlaying(playing);
}

void ZuPlayerControlsView::applyCurrentTime(const CMTime& time) {
    auto player = this->player();
    if (!showsSliders() || !player || player->hasPendingSeek()) return;
    const double seconds = player->playerProxy()->currentTimeWithoutAds(time.seconds());
    // A held or settling slider, or a running fast jump, ignores it.
    sliders_->setSliderValue(static_cast<float>(seconds), false);
}

void ZuPlayerControlsView::applyDuration() {
    if (!showsFunctionals()) return;
    auto player = this->player();
    bool live = player && player->isLive();
    auto manager = boundCastManager_.lock();
    if (const auto stream = currentCastStream(); stream && manager) {
        const bool atLive = manager->isPlaybackLive(stream->position.value_or(0));
        live = stream->isLive;
        // Back to normal speed at the cast player's live edge: nothing lies ahead to run faster into.
        if (live && atLive && stream->rate > 1.0f) {
            if (auto plugin = manager->chromecastPlugin()) plugin->setPlaybackRate(1.0f);
        }
    }
    functionals_->liveButton()->setIsHidden(!live);
    updateTimeLabel();
}

void ZuPlayerControlsView::applyDurationWithoutAds(const CMTime& time) {
    if (!showsSliders()) return;
    sliders_->setMaximumValue(static_cast<float>(time.seconds()));
}

void ZuPlayerControlsView::applyLoadedTimeRanges(const std::vector<coremedia::CMTimeRange>& ranges) {
    if (!showsSliders()) return;
    auto player = this->player();
    sliders_->setSliderLoadedTimeRanges(player ? player->playerProxy()->loadedTimeRangesWithoutAds(ranges) : ranges);
    sliders_->slider()->loadedRangesView()->setNeedsLayout();
}

void ZuPlayerControlsView::updateTimeLabel() {
    const auto& row = functionals();
    const auto& liveButton = row->liveButton();
    const double elapsed = sliders()->value();
    std::vector<std::string> parts{timeFormatted(elapsed)};
    auto appendDuration = [&parts](double seconds) {
        // An unknown duration shows nothing rather than a dangling " / ".
        if (std::isfinite(seconds)) parts.push_back(timeFormatted(std::max(seconds, 0.0)));
    };

    auto player = this->player();
    if (controllableCastPlugin()) {
        const auto stream = currentCastStream();
        if (!stream) {
            liveButton->setIsEnabled(false);
        } else if (!stream->isLive) {
            if (stream->duration) appendDuration(*stream->duration);
            liveButton->setIsEnabled(false);
        } else {
            liveButton->setIsEnabled(true);
        }
    } else if (player) {
        const double duration = player->duration().seconds();
        // Both sides in content time: the slider shows the position without ads.
        const double contentDuration = player->playerProxy()->durationWithoutAds(duration);
        const bool live = player->isLive();
        const bool atLiveEdge = live && elapsed - contentDuration >= -kLiveEdgeTolerance;
        if (!atLiveEdge) appendDuration(duration > 0 ? contentDuration : duration);
        // While a seek is in flight the button keeps its state: the position it would judge is not there yet.
        if (!player->hasPendingSeek()) liveButton->setIsEnabled(live && !atLiveEdge);
    }

    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += " / ";
        text += part;
    }
    row->timeLabel()->setText(text);
}

}  // namespace lumora
