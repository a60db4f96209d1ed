#include "avfoundation/AVPlayer.h"

#include "avfoundation/detail/PlayerItemEngine.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace avfoundation {

namespace {

AVPlayer::TimeControlStatus statusOf(detail::PlayheadStep::Status status) {
    switch (status) {
        case detail::PlayheadStep::Status::playing:
            return AVPlayer::TimeControlStatus::playing;
        case detail::PlayheadStep::Status::waiting:
            return AVPlayer::TimeControlStatus::waitingToPlayAtSpecifiedRate;
        case detail::PlayheadStep::Status::paused:
            break;
    }
    return AVPlayer::TimeControlStatus::paused;
}

// What `addPeriodicTimeObserver` hands out.
struct TimeObserverToken {
    std::uint64_t id = 0;
    const AVPlayer* owner = nullptr;
};

}  // namespace

struct AVPlayer::TimeObserver {
    std::uint64_t id = 0;
    dispatch::Nanoseconds interval{0};
    dispatch::DispatchQueue* queue = nullptr;
    TimeObserverBlock block;
    std::shared_ptr<std::atomic<bool>> active = std::make_shared<std::atomic<bool>>(true);
    dispatch::RunLoop::TimerId timer = 0;
};

AVPlayer::AVPlayer() {
    registerKey("rate", rate_);
    registerKey("isMuted", isMuted_);
    registerKey("volume", volume_);
    registerKey("timeControlStatus", timeControlStatus_);
    registerKey("currentItem", currentItem_);
}

std::shared_ptr<AVPlayer> AVPlayer::create(std::shared_ptr<AVPlayerItem> playerItem) {
    auto player = std::shared_ptr<AVPlayer>(new AVPlayer());
    if (playerItem) player->replaceCurrentItem(std::move(playerItem));
    return player;
}

std::shared_ptr<AVPlayer> AVPlayer::create(foundation::URL url) {
    return create(AVPlayerItem::create(std::move(url)));
}

AVPlayer::~AVPlayer() {
    if (engineTimer_) dispatch::RunLoop::main().cancel(engineTimer_);
    for (auto& observer : timeObservers_) {
        observer->active->store(false);
        if (observer->timer) dispatch::RunLoop::main().cancel(observer->timer);
    }
    if (pendingSeek_ && pendingSeek_->completion) {
        dispatch::DispatchQueue::main().async(
            [completion = std::move(pendingSeek_->completion)] { completion(false); });
    }
    if (auto item = currentItem_.value()) item->engine().detach();
}

dispatch::Nanoseconds AVPlayer::now() const {
    return dispatch::Clock::current()->now();
}

void AVPlayer::setRate(float rate) {
    if (auto item = currentItem()) item->engine().reanchor(now());
    rate_.set(rate);
    update();
}

void AVPlayer::setVolume(float volume) {
    volume_.set(std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f));
}

void AVPlayer::play() {
    setRate(1.0f);
}

void AVPlayer::pause() {
    setRate(0.0f);
}

bool AVPlayer::replaceCurrentItem(std::shared_ptr<AVPlayerItem> item) {
    auto old = currentItem();
    if (item == old) return true;
    const detail::PlayerItemHost* self = this;
    if (item) {
        auto owner = item->engine().host();
        if (owner && owner.get() != self) return false;
    }
    finishPendingSeek(false);
    if (old) old->engine().detach();
    if (item) item->engine().attach(std::shared_ptr<detail::PlayerItemHost>(shared_from_this(), this));
    currentItem_.set(item);
    update();
    if (item) rearmTimeObservers(true);
    return true;
}

coremedia::CMTime AVPlayer::currentTime() const {
    if (auto item = currentItem()) return item->currentTime();
    return coremedia::kCMTimeZero;
}

void AVPlayer::seek(coremedia::CMTime to, coremedia::CMTime toleranceBefore, coremedia::CMTime toleranceAfter,
                    std::function<void(bool)> completion) {
    (void)toleranceBefore;
    (void)toleranceAfter;
    finishPendingSeek(false);
    auto item = currentItem();
    if (!item || !to.isNumeric() || item->engine().isFailed()) {
        if (completion)
            dispatch::DispatchQueue::main().async([completion = std::move(completion)] { completion(false); });
        return;
    }
    pendingSeek_ = PendingSeek{nextSeekId_++, std::move(completion)};
    item->engine().seek(to.seconds(), now());
    update();
}

void AVPlayer::seek(coremedia::CMTime to, std::function<void(bool)> completion) {
    seek(to, coremedia::kCMTimePositiveInfinity, coremedia::kCMTimePositiveInfinity, std::move(completion));
}

void AVPlayer::finishPendingSeek(bool finished) {
    if (!pendingSeek_) return;
    auto completion = std::move(pendingSeek_->completion);
    pendingSeek_.reset();
    if (completion)
        dispatch::DispatchQueue::main().async([completion = std::move(completion), finished] { completion(finished); });
    if (finished) rearmTimeObservers(true);
}

void AVPlayer::itemDidChange() {
    update();
}

void AVPlayer::itemDidFail() {
    finishPendingSeek(false);
    if (rate_.value() != 0.0f) rate_.set(0.0f);
    update();
}

void AVPlayer::update() {
    if (updating_) {
        updateAgain_ = true;
        return;
    }
    updating_ = true;
    do {
        updateAgain_ = false;
        updateOnce();
    } while (updateAgain_);
    updating_ = false;
}

// One look at the current item: its playhead's state machine decides (detail::Playhead::step); the player
// publishes what it decided, completes a settled seek, re-arms its observers and its own timer.
void AVPlayer::updateOnce() {
    const dispatch::Nanoseconds t = now();
    if (engineTimer_) dispatch::RunLoop::main().cancel(engineTimer_);
    engineTimer_ = 0;
    auto item = currentItem();
    detail::PlayerItemEngine* engine = item ? &item->engine() : nullptr;
    if (engine && engine->failIfFaultDue(t)) {  // comes back here through itemDidFail
        updateAgain_ = true;
        return;
    }

    const float r = rate_.value();
    detail::PlayheadStep step;
    if (engine) {
        step = engine->step(r, actionAtItemEnd_ == ActionAtItemEnd::pause, t);
    } else if (r != 0.0f) {
        step.status = detail::PlayheadStep::Status::waiting;
    }
    const TimeControlStatus status = statusOf(step.status);
    if (timeControlStatus_.value() != status) timeControlStatus_.set(status);
    if (pendingSeek_ && engine && engine->isSettled()) finishPendingSeek(true);
    if (step.movingRate != lastMovingRate_) {
        lastMovingRate_ = step.movingRate;
        rearmTimeObservers(true);
    }
    if (step.wakeAt) {
        std::weak_ptr<AVPlayer> weak = weak_from_this();
        engineTimer_ = dispatch::RunLoop::main().schedule(*step.wakeAt, [weak] {
            if (auto self = weak.lock()) {
                self->engineTimer_ = 0;
                self->update();
            }
        });
    }
    if (engine) engine->pump();

    if (step.pauseAtEnd) {
        rate_.set(0.0f);
        updateAgain_ = true;
    }
    if (step.postStall)
        foundation::NotificationCenter::defaultCenter().post(AVPlayerItemPlaybackStalledNotification, item);
    if (step.postEnd)
        foundation::NotificationCenter::defaultCenter().post(AVPlayerItemDidPlayToEndTimeNotification, item);
}

// ---- Periodic time observers ----

std::any AVPlayer::addPeriodicTimeObserver(coremedia::CMTime interval, dispatch::DispatchQueue* queue,
                                           TimeObserverBlock block) {
    if (!interval.isNumeric() || !(interval.seconds() > 0) || !block) return {};
    auto observer = std::make_shared<TimeObserver>();
    observer->id = nextObserverId_++;
    observer->interval = std::max(dispatch::nanosecondsFromSeconds(interval.seconds()), dispatch::Nanoseconds(1));
    observer->queue = queue;
    observer->block = std::move(block);
    timeObservers_.push_back(observer);
    if (lastMovingRate_ > 0) armTimeObserver(observer, now());
    return TimeObserverToken{observer->id, this};
}

void AVPlayer::removeTimeObserver(const std::any& observer) {
    const auto* token = std::any_cast<TimeObserverToken>(&observer);
    if (!token || token->owner != this) return;
    auto it =
        std::find_if(timeObservers_.begin(), timeObservers_.end(), [&](const auto& o) { return o->id == token->id; });
    if (it == timeObservers_.end()) return;
    (*it)->active->store(false);
    if ((*it)->timer) dispatch::RunLoop::main().cancel((*it)->timer);
    timeObservers_.erase(it);
}

void AVPlayer::rearmTimeObservers(bool report) {
    const auto t = now();
    // A copy: a block may add or remove observers.
    const auto observers = timeObservers_;
    for (const auto& observer : observers) {
        if (observer->timer) dispatch::RunLoop::main().cancel(observer->timer);
        observer->timer = 0;
        if (lastMovingRate_ > 0) armTimeObserver(observer, t);
        if (report) {
            // Reported on a later turn, so that a block never runs inside the call that moved the playhead.
            const auto time = currentTime();
            dispatch::DispatchQueue& queue = observer->queue ? *observer->queue : dispatch::DispatchQueue::main();
            queue.async([active = observer->active, block = observer->block, time] {
                if (active->load()) block(time);
            });
        }
    }
}

void AVPlayer::armTimeObserver(const std::shared_ptr<TimeObserver>& observer, dispatch::Nanoseconds from) {
    const double period = static_cast<double>(observer->interval.count()) / lastMovingRate_;
    const auto step = dispatch::Nanoseconds(
        std::max<std::int64_t>(1, static_cast<std::int64_t>(std::llround(std::min(period, 1e18)))));
    std::weak_ptr<AVPlayer> weakPlayer = weak_from_this();
    std::weak_ptr<TimeObserver> weakObserver = observer;
    observer->timer =
        dispatch::RunLoop::main().schedule(dispatch::saturatingAdd(from, step), [weakPlayer, weakObserver] {
            auto self = weakPlayer.lock();
            auto o = weakObserver.lock();
            if (!self || !o || !o->active->load()) return;
            o->timer = 0;
            if (self->lastMovingRate_ > 0) self->armTimeObserver(o, self->now());
            self->deliver(o);
        });
}

void AVPlayer::deliver(const std::shared_ptr<TimeObserver>& observer) {
    const auto time = currentTime();
    if (!observer->queue || observer->queue == &dispatch::DispatchQueue::main()) {
        auto block = observer->block;  // the block may remove its own observer
        block(time);
        return;
    }
    observer->queue->async([active = observer->active, block = observer->block, time] {
        if (active->load()) block(time);
    });
}

}  // namespace avfoundation
