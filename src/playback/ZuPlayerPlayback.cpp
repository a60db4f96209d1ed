// The player view's stream loading and playback control.
#include <cmath>
#include <utility>

#include "dispatch/DispatchQueue.h"
#include "foundation/URLError.h"
#include "playback/ZuPlayer.h"
#include "rx/Schedulers.h"

namespace lumora {

void ZuPlayer::load(const foundation::URL& url, std::optional<StreamDRMSettings> drm, LoadCompletion completion) {
    const std::uint64_t generation = ++loadGeneration_;
    // The new stream's key loader is pending until its load succeeds: the stream playing meanwhile (and
    // after a failed load) keeps its own loader, which answers its key renewals. The video view hands the
    // pending loader to the new asset only.
    std::shared_ptr<DRMAssetResourceLoader> pending = drm ? DRMAssetResourceLoader::create(std::move(*drm)) : nullptr;
    videoView_->setResourceLoaderDelegate(pending);

    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    videoView_->load(url, [weakSelf, generation, pending,
                           completion = std::move(completion)](std::optional<foundation::Error> error) {
        auto player = weakSelf.lock();
        if (!player) return;
        if (generation != player->loadGeneration_) {
            // A later load owns the player now; this one changes nothing.
            if (completion)
                completion(*player, foundation::Error(foundation::URLError::make(foundation::URLError::cancelled)));
            return;
        }
        if (error) {
            if (completion) completion(*player, std::move(error));
            return;
        }
        // A clear stream must not be reloaded later with the previous stream's keys: its loader goes.
        player->assetResourceLoader_ = pending;
        player->videoView_->setResourceLoaderDelegate(pending);
        player->reportLoaderFailures();
        player->registerItemObservers();
        if (completion) completion(*player, std::nullopt);
    });
    // Later loads of the view start from the loader of the stream in the player.
    videoView_->setResourceLoaderDelegate(assetResourceLoader_);
}

void ZuPlayer::reportLoaderFailures() {
    if (!assetResourceLoader_) {
        loaderStateSubscription_.setDisposable(rx::Disposable());
        return;
    }
    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    loaderStateSubscription_.setDisposable(assetResourceLoader_->statePublisher()
                                               .asObservable()
                                               .share(1)
                                               .observeOn(rx::MainScheduler::instance())
                                               .subscribe([weakSelf](const std::optional<DRMError>& failure) {
                                                   if (!failure) return;
                                                   auto player = weakSelf.lock();
                                                   if (!player) return;
                                                   player->tellDelegate([&](ZuPlayerDelegate& d) {
                                                       d.playerDidProduceError(*player, ZuPlayerError::drm(*failure));
                                                   });
                                               }));
}

void ZuPlayer::registerItemObservers() {
    // One item is listened to at a time: the registrations of the previous one go first.
    removeItemObservers();
    // Without an item there is nothing to hear from (no sender would mean every item in the process).
    auto item = avplayer()->currentItem();
    if (!item) return;
    auto& center = foundation::NotificationCenter::defaultCenter();
    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    finishPlaybackToken_ = center.addObserver(avfoundation::AVPlayerItemDidPlayToEndTimeNotification, item,
                                              &dispatch::DispatchQueue::main(), [weakSelf](const auto&) {
                                                  if (auto player = weakSelf.lock()) player->playerItemDidPlayToEnd();
                                              });
    playerStatusObserver_ =
        center.addObserver(avfoundation::AVPlayerItemFailedToPlayToEndTimeNotification, item,
                           &dispatch::DispatchQueue::main(), [weakSelf](const foundation::Notification& notification) {
                               if (auto player = weakSelf.lock()) player->playerItemDidFailToPlayToEnd(notification);
                           });
}

void ZuPlayer::removeItemObservers() {
    auto& center = foundation::NotificationCenter::defaultCenter();
    if (finishPlaybackToken_) center.removeObserver(std::exchange(finishPlaybackToken_, nullptr));
    if (playerStatusObserver_) center.removeObserver(std::exchange(playerStatusObserver_, nullptr));
}

void ZuPlayer::play(bool muted) {
    const auto& player = avplayer();
    if (player->rate() != 0.0f) return;  // NaN too: only a paused player starts
    tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidProduceEvent(*this, ZuPlayerEvent::play()); });
    const float speed = std::isfinite(playbackSpeed_) && playbackSpeed_ > 0 ? playbackSpeed_ : 1.0f;
    player->setRate(speed);
    player->setIsMuted(player->isMuted() || muted);
}

void ZuPlayer::pause(bool force) {
    const auto& player = avplayer();
    if (player->rate() == 0.0f && !force) return;
    player->pause();
    tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidProduceEvent(*this, ZuPlayerEvent::pause()); });
}

void ZuPlayer::togglePlayback() {
    if (avplayer()->rate() != 0.0f) {
        pause(false);
    } else {
        play(false);
    }
    tellDelegate([&](ZuPlayerDelegate& d) { d.playerDidTogglePlayback(*this); });
}

void ZuPlayer::changeVideoRate(float speed) {
    playbackSpeed_ = speed;
    const auto& player = avplayer();
    if (player->rate() == 0.0f) return;  // applied at the next start
    player->setRate(VideoPlaybackSpeed::fromRawValue(speed) ? speed : 1.0f);
}

bool ZuPlayer::shouldResetPlaybackRateToNormal(bool isDefinitelyLive) const {
    if (isLive() &&
        currentTime().seconds() - duration().seconds() >= -ZuVideoPlayerConstant::playbackTimeDifferenceToBeLive) {
        return rate() > 1.0f;
    }
    return isDefinitelyLive && rate() > 1.0f;
}

void ZuPlayer::resetPlayerItem() {
    avplayer()->replaceCurrentItem(nullptr);
}

}  // namespace lumora
