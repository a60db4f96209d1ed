#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "dispatch/Clock.h"

namespace demoharness {

// A real clock that runs `speed` times faster than real time: both the monotonic time and the wall time
// move by speed × the real time elapsed since the clock was made. It continues from the readings it is
// given, so installing it in place of another clock never moves time backwards.
class ScaledClock final : public dispatch::Clock {
  public:
    // `speed` must be a finite number above 0 (anything else runs at 1×).
    explicit ScaledClock(double speed, dispatch::Nanoseconds startAt = dispatch::Nanoseconds{0},
                         dispatch::WallTime wallStart = std::chrono::system_clock::now());
    // A clock that takes over from `previous`: it starts at that clock's readings.
    static std::shared_ptr<ScaledClock> continuing(const dispatch::Clock& previous, double speed);

    dispatch::Nanoseconds now() const override;
    dispatch::WallTime wallNow() const override;
    // `clockDuration` / speed, rounded up: the run loop sleeps that long before its next timer.
    dispatch::Nanoseconds realDuration(dispatch::Nanoseconds clockDuration) const override;

    double speed() const { return speed_; }
    // Real time until the clock reads `time` (zero when it already does).
    std::chrono::nanoseconds realDurationUntil(dispatch::Nanoseconds time) const;
    // Clock time elapsed since the clock was made, in seconds.
    double elapsedSeconds() const;

    // Holds the clock still until `resume()` (calls nest): the host holds it while its main thread does
    // slow work of its own (a picture of the window), so the stream does not run on meanwhile.
    void pause();
    void resume();

  private:
    std::chrono::nanoseconds scaled(std::chrono::steady_clock::duration real) const;
    // Real time that counts: since the clock was made, less the time it was held.
    std::chrono::steady_clock::duration counted() const;

    double speed_;
    std::chrono::steady_clock::time_point realStart_;
    dispatch::Nanoseconds startAt_;
    dispatch::WallTime wallStart_;
    mutable std::mutex holdMutex_;
    int holds_ = 0;                                    // guarded by holdMutex_
    std::chrono::steady_clock::time_point heldSince_;  // guarded by holdMutex_
    std::chrono::steady_clock::duration heldFor_{};    // guarded by holdMutex_
};

// Calls `onDeadline` on a thread of its own, once, when a real-time deadline passes (`setDeadline`): the
// watchdog of a run whose main loop may be stuck. It sleeps until the deadline or until it is moved,
// cleared or stopped; it never polls. (The main loop itself sleeps on the scaled clock until its next timer.)
class DeadlineWatch {
  public:
    explicit DeadlineWatch(std::function<void()> onDeadline);
    ~DeadlineWatch();
    DeadlineWatch(const DeadlineWatch&) = delete;
    DeadlineWatch& operator=(const DeadlineWatch&) = delete;

    // Arms (or moves) the real-time deadline.
    void setDeadline(std::chrono::steady_clock::time_point deadline);
    void clearDeadline();
    void stop();

  private:
    void loop();

    std::function<void()> onDeadline_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stopping_ = false;                                          // guarded by mutex_
    std::optional<std::chrono::steady_clock::time_point> deadline_;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace demoharness
