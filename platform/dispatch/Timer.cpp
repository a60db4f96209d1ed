#include "dispatch/Timer.h"

namespace dispatch {

std::shared_ptr<Timer> Timer::scheduledTimer(TimeInterval interval, bool repeats, Handler block) {
    auto timer = std::shared_ptr<Timer>(new Timer(interval, repeats, std::move(block)));
    timer->nextDue_ = saturatingAdd(Clock::current()->now(), timer->interval_);
    timer->selfWhileScheduled_ = timer;
    timer->scheduleNext();
    return timer;
}

Timer::Timer(TimeInterval interval, bool repeats, Handler block)
    // A repeating timer needs a positive period, or it would fire in a tight loop.
    : interval_(repeats && !(interval > 0.0001) ? 0.0001 : interval), repeats_(repeats), block_(std::move(block)) {}

Timer::~Timer() {
    if (timerId_ != 0) RunLoop::main().cancel(timerId_);
}

void Timer::scheduleNext() {
    std::weak_ptr<Timer> weak = weak_from_this();
    timerId_ = RunLoop::main().schedule(nextDue_, [weak] {
        auto self = weak.lock();
        if (!self || !self->valid_) return;
        self->timerId_ = 0;
        if (self->repeats_) {
            self->nextDue_ = saturatingAdd(self->nextDue_, self->interval_);
            self->scheduleNext();
        }
        self->fire();
    });
}

void Timer::fire() {
    if (!valid_) return;
    auto keepAlive = shared_from_this();
    // A copy: the handler may invalidate the timer, which drops block_ while it runs.
    auto handler = block_;
    if (handler) handler(*this);
    if (!repeats_) invalidate();
}

void Timer::invalidate() {
    if (!valid_) return;
    valid_ = false;
    if (timerId_ != 0) {
        RunLoop::main().cancel(timerId_);
        timerId_ = 0;
    }
    block_ = nullptr;
    // Dropped last: this may release the timer.
    auto self = std::move(selfWhileScheduled_);
}

}  // namespace dispatch
