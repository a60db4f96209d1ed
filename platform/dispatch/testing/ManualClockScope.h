#pragma once

#include <memory>
#include <utility>

#include "dispatch/Clock.h"
#include "dispatch/RunLoop.h"

namespace dispatch::testing {

// Installs `clock` (a real clock, or one that runs faster than real time) and an empty main loop for one
// test; puts the previous clock back, with an empty loop, after.
class ClockScope {
  public:
    explicit ClockScope(std::shared_ptr<Clock> clock) : previous_(Clock::current()) {
        RunLoop::main().adoptCurrentThread();
        RunLoop::main().resetForTesting();
        Clock::setCurrent(std::move(clock));
    }
    ~ClockScope() {
        RunLoop::main().resetForTesting();
        Clock::setCurrent(previous_);
    }
    ClockScope(const ClockScope&) = delete;
    ClockScope& operator=(const ClockScope&) = delete;

  private:
    std::shared_ptr<Clock> previous_;
};

// Installs a fresh manual clock and an empty main loop for one test; puts the previous clock back after.
class ManualClockScope {
  public:
    explicit ManualClockScope(WallTime wallStart = ManualClock::defaultWallStart())
        : previous_(Clock::current()), clock_(std::make_shared<ManualClock>(wallStart)) {
        RunLoop::main().adoptCurrentThread();
        RunLoop::main().resetForTesting();
        Clock::setCurrent(clock_);
    }
    ~ManualClockScope() {
        RunLoop::main().resetForTesting();
        Clock::setCurrent(previous_);
    }
    ManualClockScope(const ManualClockScope&) = delete;
    ManualClockScope& operator=(const ManualClockScope&) = delete;

    ManualClock& clock() { return *clock_; }
    void advance(double seconds) { RunLoop::main().advance(seconds); }
    void advance(Nanoseconds d) { RunLoop::main().advance(d); }
    std::size_t runUntilIdle() { return RunLoop::main().runUntilIdle(); }

  private:
    std::shared_ptr<Clock> previous_;
    std::shared_ptr<ManualClock> clock_;
};

}  // namespace dispatch::testing
