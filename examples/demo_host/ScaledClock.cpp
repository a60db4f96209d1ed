#include "ScaledClock.h"

#include <cmath>

#include "dispatch/RunLoop.h"

namespace demohost {

namespace {
// The pacer never sleeps longer than this, so a timer scheduled meanwhile for an earlier time is late by
// at most this much real time.
constexpr auto kMaxPacerSleep = std::chrono::milliseconds(1);
// How soon the pacer looks again while its wake-up block waits in the main queue.
constexpr auto kPendingRecheck = std::chrono::microseconds(100);
}  // namespace

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

std::chrono::nanoseconds ScaledClock::realDurationUntil(dispatch::Nanoseconds time) const {
    const auto ahead = time - now();
    if (ahead <= dispatch::Nanoseconds{0}) return std::chrono::nanoseconds{0};
    return std::chrono::nanoseconds{static_cast<std::int64_t>(static_cast<double>(ahead.count()) / speed_) + 1};
}

double ScaledClock::elapsedSeconds() const {
    return dispatch::secondsFromNanoseconds(now() - startAt_);
}

RunLoopPacer::RunLoopPacer(std::shared_ptr<ScaledClock> clock, std::function<void()> onDeadline)
    : clock_(std::move(clock)), onDeadline_(std::move(onDeadline)) {
    thread_ = std::thread([this] { loop(); });
}

RunLoopPacer::~RunLoopPacer() {
    stop();
}

void RunLoopPacer::setDeadline(std::chrono::steady_clock::time_point deadline) {
    {
        std::lock_guard lock(mutex_);
        deadline_ = deadline;
    }
    cv_.notify_all();
}

void RunLoopPacer::clearDeadline() {
    std::lock_guard lock(mutex_);
    deadline_.reset();
}

void RunLoopPacer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RunLoopPacer::loop() {
    auto& loop = dispatch::RunLoop::main();
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const auto realNow = std::chrono::steady_clock::now();
        if (deadline_ && realNow >= *deadline_) {
            deadline_.reset();
            auto callback = onDeadline_;
            lock.unlock();
            if (callback) callback();
            lock.lock();
            continue;
        }
        auto sleep = std::chrono::duration_cast<std::chrono::nanoseconds>(kMaxPacerSleep);
        if (auto due = loop.nextTimerDue()) {
            const auto untilDue = clock_->realDurationUntil(*due);
            if (untilDue <= std::chrono::nanoseconds{0}) {
                // Due now: one wake-up block makes the sleeping loop look at its timers again.
                if (!wakePending_->exchange(true)) {
                    loop.post([pending = wakePending_] { pending->store(false); });
                }
                sleep = kPendingRecheck;
            } else {
                sleep = std::min(sleep, untilDue);
            }
        }
        if (deadline_) {
            sleep = std::min(sleep, std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline_ - realNow));
        }
        cv_.wait_for(lock, std::max(sleep, std::chrono::nanoseconds{20'000}), [this] { return stopping_; });
    }
}

}  // namespace demohost
