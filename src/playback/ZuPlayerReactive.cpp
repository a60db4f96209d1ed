#include "playback/ZuPlayerReactive.h"

#include "rx/Foundation.h"
#include "rx/Schedulers.h"
#include "ui/ObserveValue.h"

namespace lumora {

using avfoundation::AVPlayer;
using avfoundation::AVPlayerItem;
using coremedia::CMTime;
using coremedia::CMTimeRange;

namespace {

constexpr auto kBoth = foundation::NSKeyValueObservingOptions::new_ | foundation::NSKeyValueObservingOptions::initial;

rx::Disposable keep(foundation::NSKeyValueObservation observation) {
    auto held = std::make_shared<foundation::NSKeyValueObservation>(std::move(observation));
    return rx::Disposables::create([held] { held->invalidate(); });
}

// A published value of the player as a stream; empty once the player has gone.
template <class KeyPath>
auto published(const std::weak_ptr<ZuPlayer>& base, KeyPath keyPath) {
    using Value = typename detail::ObservedProperty<ZuPlayer, KeyPath>::ValueType;
    auto player = base.lock();
    if (!player) return rx::Observable<Value>::empty();
    return observeValue(player, keyPath, kBoth);
}

}  // namespace

// ---- AVPlayerItem ----

rx::Observable<bool> AVPlayerItemReactive::isLiveBroadcast() const {
    auto weak = base_;
    return rx::Observable<bool>::deferred([weak] {
        auto item = weak.lock();
        if (!item) return rx::Observable<bool>::empty();
        return rx::Reactive(item)
            .observeWeakly<AVPlayerItem::Status>("status")
            .compactMap([](const std::optional<AVPlayerItem::Status>& status) { return status; })
            .map([weak](AVPlayerItem::Status status) {
                auto current = weak.lock();
                return status == AVPlayerItem::Status::readyToPlay && current && current->duration().isIndefinite();
            });
    });
}

rx::Observable<std::vector<CMTimeRange>> AVPlayerItemReactive::loadedTimeRanges() const {
    auto weak = base_;
    return rx::Observable<std::vector<CMTimeRange>>::deferred([weak] {
        auto item = weak.lock();
        if (!item) return rx::Observable<std::vector<CMTimeRange>>::empty();
        return rx::Reactive(item)
            .observeWeakly<std::vector<CMTimeRange>>("loadedTimeRanges")
            .compactMap([](const std::optional<std::vector<CMTimeRange>>& ranges) { return ranges; });
    });
}

rx::Observable<CMTime> AVPlayerItemReactive::duration() const {
    auto weak = base_;
    return rx::Observable<CMTime>::deferred([weak] {
        auto item = weak.lock();
        if (!item) return rx::Observable<CMTime>::empty();
        return rx::Reactive(item)
            .observeWeakly<std::vector<CMTimeRange>>("seekableTimeRanges")
            .compactMap([](const std::optional<std::vector<CMTimeRange>>& ranges) -> std::optional<CMTime> {
                if (!ranges || ranges->empty()) return std::nullopt;
                return ranges->back().end();
            });
    });
}

// ---- AVPlayer ----

rx::Observable<std::shared_ptr<AVPlayerItem>> AVPlayerReactive::currentItem() const {
    auto weak = base_;
    return rx::Observable<std::shared_ptr<AVPlayerItem>>::deferred([weak] {
        auto player = weak.lock();
        if (!player) return rx::Observable<std::shared_ptr<AVPlayerItem>>::empty();
        return rx::Reactive(player)
            .observeWeakly<std::shared_ptr<AVPlayerItem>>("currentItem")
            .map([](const std::optional<std::shared_ptr<AVPlayerItem>>& item) { return item.value_or(nullptr); });
    });
}

rx::Observable<CMTime> AVPlayerReactive::addPeriodicTimeObserver(CMTime forInterval,
                                                                 dispatch::DispatchQueue* queue) const {
    auto weak = base_;
    return rx::Observable<CMTime>::create([weak, forInterval, queue](const rx::AnyObserver<CMTime>& observer) {
        auto player = weak.lock();
        if (!player) {
            observer.onCompleted();
            return rx::Disposable();
        }
        auto token = player->addPeriodicTimeObserver(forInterval, queue ? queue : &dispatch::DispatchQueue::main(),
                                                     [observer](CMTime time) { observer.onNext(time); });
        auto removal = rx::Disposables::create([weak, token] {
            if (auto p = weak.lock()) p->removeTimeObserver(token);
        });
        return rx::Disposables::create(removal,
                                       keep(player->observeDeallocation([observer] { observer.onCompleted(); })));
    });
}

// ---- ZuPlayer ----

rx::ControlProperty<float> ZuPlayerReactive::rate() const {
    auto player = base_.lock();
    std::shared_ptr<AVPlayer> target = player ? player->avplayer() : nullptr;
    rx::Binder<float> sink(
        target, [](AVPlayer& avplayer, const float& rate) { avplayer.setRate(rate); }, rx::MainScheduler::instance());
    return rx::ControlProperty<float>(
        published(base_, &ZuPlayer::rateProperty).observeOn(rx::MainScheduler::asyncInstance()), sink);
}

rx::Observable<rx::Unit> ZuPlayerReactive::load(foundation::URL url, std::optional<StreamDRMSettings> drm) const {
    auto weak = base_;
    return rx::Observable<rx::Unit>::create([weak, url, drm](const rx::AnyObserver<rx::Unit>& observer) {
        auto player = weak.lock();
        if (!player) {
            observer.onCompleted();
            return rx::Disposable();
        }
        // A player released before its load completes ends the stream quietly.
        auto ended = keep(player->observeDeallocation([observer] { observer.onCompleted(); }));
        player->load(url, drm, [observer](ZuPlayer&, std::optional<foundation::Error> error) {
            if (error) {
                observer.onError(*error);
                return;
            }
            observer.onNext(rx::Unit{});
            observer.onCompleted();
        });
        return ended;
    });
}

rx::Observable<CMTime> ZuPlayerReactive::currentTime() const {
    return published(base_, &ZuPlayer::currentTimeProperty).observeOn(rx::MainScheduler::asyncInstance());
}

rx::Observable<CMTime> ZuPlayerReactive::duration() const {
    return published(base_, &ZuPlayer::durationProperty).observeOn(rx::MainScheduler::asyncInstance());
}

rx::Observable<CMTime> ZuPlayerReactive::durationWithouAds() const {
    return published(base_, &ZuPlayer::durationWithoutAdsProperty).observeOn(rx::MainScheduler::asyncInstance());
}

rx::Observable<ZuPlayer::LoadedTimeRanges> ZuPlayerReactive::loadedTimeRanges() const {
    return published(base_, &ZuPlayer::loadedTimeRangesProperty).observeOn(rx::MainScheduler::asyncInstance());
}

rx::Observable<ZuPlayer::TimeControlStatus> ZuPlayerReactive::timeControlStatus() const {
    return published(base_, &ZuPlayer::timeControlStatusProperty);
}

rx::Observable<bool> ZuPlayerReactive::isPlaybackBufferEmpty() const {
    return published(base_, &ZuPlayer::isPlaybackBufferEmptyProperty);
}

}  // namespace lumora
