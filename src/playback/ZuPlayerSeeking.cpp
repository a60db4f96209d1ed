// The player view's seeks, jumps and live-edge tests.
#include <cmath>

#include "playback/ZuPlayer.h"

namespace lumora {

using coremedia::CMTime;
using coremedia::kCMTimeZero;
using coremedia::kPreferredTimescale;

// One seek's callbacks: the platform's completion and the item-status fallback, whichever comes first.
struct ZuPlayer::SeekState {
    std::uint64_t generation = 0;
    bool reportToDelegate = false;
    SeekCompletion completion;
    bool done = false;
};

void ZuPlayer::seek(double to, bool isWithAds, bool reportToDelegate, SeekCompletion completion) {
    if (!isWithAds && playerProxy_) to = playerProxy_->currentTimeWithAds(to);
    const CMTime target(to, kPreferredTimescale);
    if (!target.isValid()) return;

    auto seek = std::make_shared<SeekState>();
    seek->generation = ++seekGeneration_;
    seek->reportToDelegate = reportToDelegate;
    seek->completion = std::move(completion);
    pendingSeekTime_ = target;

    if (castManager_ && castManager_->isConnected()) {
        if (auto chromecast = castManager_->chromecastPlugin()) {
            chromecast->seek(target.seconds(), false, CastResumeState::unchanged);
        }
    }
    if (reportToDelegate) tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidBeginMediaSeek(*this); });

    const auto& player = avplayer();
    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    // A NaN on either side counts as elsewhere.
    if (!(player->currentTime().seconds() == to)) {
        player->seek(target, kCMTimeZero, kCMTimeZero, [weakSelf, seek](bool finished) {
            if (seek->done) return;
            if (auto self = weakSelf.lock()) {
                self->finishSeek(seek, finished);
            } else if (seek->completion) {
                seek->completion(finished);
            }
        });
        // A seek made before the item is ready may never be answered: it finishes when the item becomes ready.
        if (auto item = player->currentItem()) {
            seekFallbackObservation_ = item->statusProperty().observe(
                foundation::NSKeyValueObservingOptions::new_, [weakSelf, seek](const auto&) {
                    if (seek->done) return;
                    auto self = weakSelf.lock();
                    if (!self) return;
                    auto current = self->avplayer()->currentItem();
                    if (current && current->status() == avfoundation::AVPlayerItem::Status::readyToPlay) {
                        self->finishSeek(seek, true);
                    }
                });
        } else {
            seekFallbackObservation_.reset();
        }
        return;
    }
    player->seek(target, kCMTimeZero, kCMTimeZero, [](bool) {});
    finishSeek(seek, true);
}

void ZuPlayer::finishSeek(const std::shared_ptr<SeekState>& seek, bool finished) {
    // Only the newest seek owns the pending target and the fallback; an older one only closes its bracket.
    if (seek->generation == seekGeneration_) {
        seekFallbackObservation_.reset();
        pendingSeekTime_.reset();
    }
    seek->done = true;
    if (seek->completion) seek->completion(finished);
    if (seek->reportToDelegate) tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidCompleteMediaSeek(*this); });
}

void ZuPlayer::jump(double seconds) {
    seek(calculateSeekPositionWithAds(avplayer()->currentTime().seconds(), seconds), true, true);
}

double ZuPlayer::calculateSeekPositionWithAds(double currentPlayerTime, double jumpSeconds) const {
    if (!playerProxy_) return currentPlayerTime + jumpSeconds;
    // The offset is added in content time, so a jump never lands inside an ad nor counts the ads it passes.
    return playerProxy_->currentTimeWithAds(playerProxy_->currentTimeWithoutAds(currentPlayerTime) + jumpSeconds);
}

bool ZuPlayer::isPlaybackLive(double on) const {
    return isLive() && on - duration().seconds() >= -ZuVideoPlayerConstant::playbackTimeDifferenceToBeLive;
}

}  // namespace lumora
