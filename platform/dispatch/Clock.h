#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

namespace dispatch {

// Monotonic time since the clock's start, in nanoseconds. Timers, delayed blocks, animations,
// the reactive library's timers and the simulated media playhead all read it.
using Nanoseconds = std::chrono::nanoseconds;
using WallTime = std::chrono::system_clock::time_point;

// Seconds as a floating-point value converted to nanoseconds, saturating instead of overflowing
// (NaN and negative values give 0).
Nanoseconds nanosecondsFromSeconds(double seconds);
double secondsFromNanoseconds(Nanoseconds ns);

// A point on the clock plus a duration, saturating at the ends of the clock's range instead of
// overflowing: a due time too far away to represent is "never", not a time in the past.
Nanoseconds saturatingAdd(Nanoseconds time, Nanoseconds duration);
// The point `seconds` after `time` (NaN and negative values: `time`), saturating as above.
Nanoseconds saturatingAdd(Nanoseconds time, double seconds);

// The one clock of the process. Programs use the real clock; tests install a ManualClock.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual Nanoseconds now() const = 0;
    virtual WallTime wallNow() const = 0;
    virtual bool isManual() const { return false; }
    // The real time this clock takes to move by `clockDuration` (a real clock: the same; a clock that runs
    // faster than real time: less). What the run loop sleeps before its next timer.
    virtual Nanoseconds realDuration(Nanoseconds clockDuration) const { return clockDuration; }

    // The clock in force. Installing another clock is for program start-up and tests.
    static std::shared_ptr<Clock> current();
    static void setCurrent(std::shared_ptr<Clock> clock);
    // A count that changes each time another clock is installed: a reader that keeps the clock it got from
    // `current()` checks this (without a lock) to know whether that is still the clock in force.
    static std::uint64_t generation();
};

class RealClock final : public Clock {
  public:
    RealClock();
    Nanoseconds now() const override;
    WallTime wallNow() const override;

  private:
    std::chrono::steady_clock::time_point start_;
};

// A clock that moves only when told. Advance it through `RunLoop::main().advance(d)`, which fires every
// timer and delayed block that falls due in time order, each with the clock set to its own time.
class ManualClock final : public Clock {
  public:
    // The wall clock starts at `wallStart` (by default 2026-01-01T00:00:00Z) and moves with the monotonic time.
    explicit ManualClock(WallTime wallStart = defaultWallStart());
    Nanoseconds now() const override;
    WallTime wallNow() const override;
    bool isManual() const override { return true; }

    // Moves the time forward without running anything; the run loop uses it. Never moves backwards.
    void set(Nanoseconds now);
    // Changes the wall clock reading (the monotonic time is untouched).
    void setWallNow(WallTime wall);

    static WallTime defaultWallStart();

  private:
    mutable std::mutex mutex_;  // guards now_ and wallAtZero_
    Nanoseconds now_{0};
    WallTime wallAtZero_;
};

}  // namespace dispatch
