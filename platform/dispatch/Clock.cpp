#include "dispatch/Clock.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <utility>

namespace dispatch {

Nanoseconds nanosecondsFromSeconds(double seconds) {
    if (std::isnan(seconds) || seconds <= 0) return Nanoseconds{0};
    constexpr double maxSeconds = static_cast<double>(std::numeric_limits<std::int64_t>::max()) / 1e9;
    if (seconds >= maxSeconds) return Nanoseconds{std::numeric_limits<std::int64_t>::max()};
    return Nanoseconds{static_cast<std::int64_t>(std::llround(seconds * 1e9))};
}

double secondsFromNanoseconds(Nanoseconds ns) {
    return static_cast<double>(ns.count()) / 1e9;
}

Nanoseconds saturatingAdd(Nanoseconds time, Nanoseconds duration) {
    Nanoseconds::rep sum = 0;
    if (__builtin_add_overflow(time.count(), duration.count(), &sum)) {
        return duration.count() > 0 ? Nanoseconds::max() : Nanoseconds::min();
    }
    return Nanoseconds{sum};
}

Nanoseconds saturatingAdd(Nanoseconds time, double seconds) {
    return saturatingAdd(time, nanosecondsFromSeconds(seconds));
}

namespace {
// The slot and its lock are never destroyed: worker threads (the HTTP engine's, the queues') read the clock
// until the very end of the process, after exit has run the destructors of static objects.
std::mutex& clockMutex() {
    static auto* m = new std::mutex();
    return *m;
}
std::shared_ptr<Clock>& clockSlot() {
    static auto* clock = new std::shared_ptr<Clock>(std::make_shared<RealClock>());
    return *clock;
}
std::atomic<std::uint64_t> clockGeneration{0};
}  // namespace

std::shared_ptr<Clock> Clock::current() {
    std::lock_guard lock(clockMutex());
    return clockSlot();
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
    if (!clock) clock = std::make_shared<RealClock>();
    std::shared_ptr<Clock> previous;
    {
        std::lock_guard lock(clockMutex());
        previous = std::exchange(clockSlot(), std::move(clock));
        clockGeneration.fetch_add(1, std::memory_order_release);
    }
}

std::uint64_t Clock::generation() {
    return clockGeneration.load(std::memory_order_acquire);
}

RealClock::RealClock() : start_(std::chrono::steady_clock::now()) {}

Nanoseconds RealClock::now() const {
    return std::chrono::duration_cast<Nanoseconds>(std::chrono::steady_clock::now() - start_);
}

WallTime RealClock::wallNow() const {
    return std::chrono::system_clock::now();
}

ManualClock::ManualClock(WallTime wallStart) : wallAtZero_(wallStart) {}

Nanoseconds ManualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

WallTime ManualClock::wallNow() const {
    std::lock_guard lock(mutex_);
    return wallAtZero_ + std::chrono::duration_cast<WallTime::duration>(now_);
}

void ManualClock::set(Nanoseconds now) {
    std::lock_guard lock(mutex_);
    if (now > now_) now_ = now;
}

void ManualClock::setWallNow(WallTime wall) {
    std::lock_guard lock(mutex_);
    wallAtZero_ = wall - std::chrono::duration_cast<WallTime::duration>(now_);
}

WallTime ManualClock::defaultWallStart() {
    // 2026-01-01T00:00:00Z
    return WallTime{std::chrono::seconds{1767225600}};
}

}  // namespace dispatch
