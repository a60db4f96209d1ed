#pragma once

#include <functional>
#include <memory>

#include "dispatch/RunLoop.h"

namespace dispatch {

using TimeInterval = double;

// A main-queue timer on the one clock. A scheduled timer is kept alive by the run loop until it is
// invalidated or, for a one-shot timer, has fired. A repeating timer fires at start + n × interval
// (no drift), catching up missed firings one by one, each at its own time under a manual clock.
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Handler = std::function<void(Timer&)>;

    static std::shared_ptr<Timer> scheduledTimer(TimeInterval interval, bool repeats, Handler block);

    ~Timer();
    void invalidate();
    bool isValid() const { return valid_; }
    // Runs the handler now; a one-shot timer is then invalidated.
    void fire();
    TimeInterval timeInterval() const { return interval_; }
    bool repeats() const { return repeats_; }

private:
    Timer(TimeInterval interval, bool repeats, Handler block);
    void scheduleNext();

    TimeInterval interval_;
    bool repeats_;
    Handler block_;
    bool valid_ = true;
    Nanoseconds nextDue_{0};
    RunLoop::TimerId timerId_ = 0;
    std::shared_ptr<Timer> selfWhileScheduled_;
};

}  // namespace dispatch
