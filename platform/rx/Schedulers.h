#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "dispatch/Clock.h"
#include "rx/Disposables.h"

namespace rx {

using Action = std::function<void()>;

namespace detail {
// A period times a tick count, saturating at the ends of the clock's range instead of overflowing (added to
// a time with `dispatch::saturatingAdd`): a tick too far away to represent means "never" in practice, not
// undefined behaviour.
inline dispatch::Nanoseconds saturatingMultiply(dispatch::Nanoseconds a, std::uint64_t n) {
    dispatch::Nanoseconds::rep product;
    if (n > static_cast<std::uint64_t>(dispatch::Nanoseconds::max().count()) ||
        __builtin_mul_overflow(a.count(), static_cast<dispatch::Nanoseconds::rep>(n), &product)) {
        return a.count() >= 0 ? dispatch::Nanoseconds::max() : dispatch::Nanoseconds::min();
    }
    return dispatch::Nanoseconds(product);
}
}  // namespace detail

// Runs work now or on a later turn, and can cancel work not yet run.
class ImmediateSchedulerType {
  public:
    virtual ~ImmediateSchedulerType() = default;
    // Runs `action` as this scheduler does; disposing the result before it runs cancels it.
    virtual Disposable schedule(Action action) = 0;
};

// A scheduler that also runs work after a delay. Time is the one clock's (`dispatch::Clock::current()`),
// and delayed work of every scheduler is a timer of the main run loop: it runs on the main thread when
// the clock reaches it, so a test under a manual clock sees it fire inside `RunLoop::main().advance(d)`.
class SchedulerType : public ImmediateSchedulerType {
  public:
    dispatch::Nanoseconds now() const;
    // Runs `action` on the main run loop once `dueTime` has passed (a negative delay counts as none).
    virtual Disposable scheduleRelative(dispatch::Nanoseconds dueTime, Action action);
};

// The main queue as a scheduler.
//  - `instance()` runs work at once when called on the main thread and nothing it scheduled earlier is still
//    waiting; otherwise it posts the work to the main queue (so work keeps its order).
//  - `asyncInstance()` always posts: the work runs on a later turn of the main run loop, never inside the caller.
class MainScheduler final : public SchedulerType {
  public:
    static std::shared_ptr<MainScheduler> instance();
    static std::shared_ptr<MainScheduler> asyncInstance();

    Disposable schedule(Action action) override;

  private:
    explicit MainScheduler(bool runsInlineOnMain) : runsInlineOnMain_(runsInlineOnMain) {}

    const bool runsInlineOnMain_;
    // Work this scheduler has posted that has not run (or been dropped) yet.
    std::shared_ptr<std::atomic<long>> pending_ = std::make_shared<std::atomic<long>>(0);
};

// Runs work at once on the calling thread. Work scheduled while such work is running is queued and run,
// in order, when the outer work returns (a trampoline), so nested scheduling never recurses.
class CurrentThreadScheduler final : public SchedulerType {
  public:
    static std::shared_ptr<CurrentThreadScheduler> instance();
    // True when no work of this scheduler is running on the calling thread.
    static bool isScheduleRequired();

    Disposable schedule(Action action) override;

  private:
    CurrentThreadScheduler() = default;
};

}  // namespace rx
