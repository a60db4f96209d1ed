#include "ScaledClock.h"

#include <cmath>

namespace demoharness {

ScaledClock::ScaledClock(double speed, dispatch::Nanoseconds startAt, dispatch::WallTime wallStart)
    : speed_(std::isfinite(speed) && speed > 0 ? speed : 1.0),
      realStart_(std::chrono::steady_clock::now()),
      startAt_(startAt),
      wallStart_(wallStart) {}

std::shared_ptr<ScaledClock> ScaledClock::continuing(const dispatch::Clock& previous, double speed) {
    return std::make_shared<ScaledClock>(speed, previous.now(), previous.wallNow());
}

std::chrono::nanoseconds ScaledClock::scaled(std::chrono::steady_clock::duration real) const {
    const double ns = static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(real).count()) * speed_;
    return std::chrono::nanoseconds{static_cast<std::int64_t>(ns)};
}

std::chrono::steady_clock::duration ScaledClock::counted() const {
    std::lock_guard lock(holdMutex_);
    const auto until = holds_ > 0 ? heldSince_ : std::chrono::steady_clock::now();
    return until - realStart_ - heldFor_;
}

void ScaledClock::pause() {
    std::lock_guard lock(holdMutex_);
    if (holds_++ == 0) heldSince_ = std::chrono::steady_clock::now();
}

void ScaledClock::resume() {
    std::lock_guard lock(holdMutex_);
    if (holds_ == 0) return;
    if (--holds_ == 0) heldFor_ += std::chrono::steady_clock::now() - heldSince_;
}

dispatch::Nanoseconds ScaledClock::now() const {
    return startAt_ + scaled(counted());
}

dispatch::WallTime ScaledClock::wallNow() const {
    return wallStart_ + std::chrono::duration_cast<dispatch::WallTime::duration>(scaled(counted()));
}

dispatch::Nanoseconds ScaledClock::realDuration(dispatch::Nanoseconds clockDuration) const {
    if (clockDuration <= dispatch::Nanoseconds{0}) return dispatch::Nanoseconds{0};
    const double real = std::ceil(static_cast<double>(clockDuration.count()) / speed_);
    if (real >= 9.2e18) return dispatch::Nanoseconds::max();
    return dispatch::Nanoseconds{static_cast<std::int64_t>(real)};
}

std::chrono::nanoseconds ScaledClock::realDurationUntil(dispatch::Nanoseconds time) const {
    const auto ahead = time - now();
    if (ahead <= dispatch::Nanoseconds{0}) return std::chrono::nanoseconds{0};
    return std::chrono::nanoseconds{static_cast<std::int64_t>(static_cast<double>(ahead.count()) / speed_) + 1};
}

double ScaledClock::elapsedSeconds() const {
    return dispatch::secondsFromNanoseconds(now() - startAt_);
}

DeadlineWatch::DeadlineWatch(std::function<void()> onDeadline) : onDeadline_(std::move(onDeadline)) {
    thread_ = std::thread([this] { loop(); });
}

DeadlineWatch::~DeadlineWatch() {
    stop();
}

void DeadlineWatch::setDeadline(std::chrono::steady_clock::time_point deadline) {
    {
        std::lock_guard lock(mutex_);
        deadline_ = deadline;
    }
    cv_.notify_all();
}

void DeadlineWatch::clearDeadline() {
    {
        std::lock_guard lock(mutex_);
        deadline_.reset();
    }
    cv_.notify_all();
}

void DeadlineWatch::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void DeadlineWatch::loop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!deadline_) {
            cv_.wait(lock, [this] { return stopping_ || deadline_.has_value(); });
            continue;
        }
        const auto deadline = *deadline_;
        if (std::chrono::steady_clock::now() < deadline) {
            // Wakes when the deadline passes, or earlier when it is moved, cleared or the watch stops.
            cv_.wait_until(lock, deadline, [&] { return stopping_ || deadline_ != deadline; });
            continue;
        }
        deadline_.reset();
        auto callback = onDeadline_;
        lock.unlock();
        if (callback) callback();
        lock.lock();
    }
}

}  // namespace demoharness
