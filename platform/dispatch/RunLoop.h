#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "dispatch/Clock.h"
#include "dispatch/DispatchQueue.h"

namespace dispatch {

// The main run loop: the FIFO of blocks posted to the main queue and the timers, all on the one clock.
// Programs call `run()`; tests drive it with `runUntilIdle()`, `advance(d)` and `runUntil(...)`.
class RunLoop {
  public:
    static RunLoop& main();

    // Runs blocks and timers as they fall due on the real clock until `stop()` is called.
    void run();
    // Makes `run()` return after the block running now (callable from any thread).
    void stop();

    // Runs every block that is ready now, and every timer due at the current time, including those the
    // blocks post; returns how many ran.
    std::size_t runUntilIdle();

    // Manual clock only: moves time forward by `d`, running every timer and delayed block that falls due,
    // in time order, with the clock set to each one's own time; then runs what is ready at the end.
    void advance(Nanoseconds d);
    void advance(double seconds) { advance(nanosecondsFromSeconds(seconds)); }
    // `runUntilIdle` and `advance` drive the loop for tests and the demo harness. One call that has run for
    // this long in real time is a loop that never settles (a block that keeps posting itself, a timer that
    // keeps falling due without the clock moving): the process ends, saying so, so that a test fails in
    // seconds instead of hanging until its time-out. Far above what any call costs.
    static constexpr std::chrono::seconds kSettleLimit{20};

    // For tests that wait on real input and output from worker threads: runs ready blocks (and, on the
    // real clock, due timers) until `predicate` holds or `realTimeBound` of real time has passed.
    // Returns the predicate's last value.
    bool runUntil(const std::function<bool()>& predicate,
                  std::chrono::milliseconds realTimeBound = std::chrono::seconds(10));

    // Timers are scheduled with an id that can cancel them. Due times are on the one clock.
    using TimerId = std::uint64_t;
    TimerId schedule(Nanoseconds due, Block block);
    void cancel(TimerId id);

    // Posts a block to the main queue's FIFO (any thread).
    void post(Block block);

    // The earliest pending timer's due time, if any.
    std::optional<Nanoseconds> nextTimerDue() const;
    std::size_t pendingBlockCount() const;
    std::size_t pendingTimerCount() const;

    // Makes the calling thread the main thread (by default, the thread that started the process).
    void adoptCurrentThread();
    bool isMainThread() const { return std::this_thread::get_id() == mainThread_.load(); }

    // Drops every pending block and timer: for test isolation only.
    void resetForTesting();
    // Replaces kSettleLimit (main thread; for a test of the limit itself); returns the previous limit.
    std::chrono::nanoseconds setSettleLimitForTesting(std::chrono::nanoseconds limit) {
        return std::exchange(settleLimit_, limit);
    }

  private:
    RunLoop();
    // Takes one runnable item: a ready block, or a timer due at or before `now`.
    bool runOne(Nanoseconds now);
    // runUntilIdle, for `call` (advance of `amount`, or runUntilIdle), ending the process past `deadline`.
    std::size_t runReady(std::chrono::steady_clock::time_point deadline, const char* call,
                         std::optional<Nanoseconds> amount);

    mutable std::mutex mutex_;  // guards ready_, timers_, timerDue_, nextId_ and stopRequested_
    std::condition_variable cv_;
    std::deque<Block> ready_;
    // (due, id) ordering keeps timers due at the same time in the order they were scheduled.
    std::map<std::pair<Nanoseconds, TimerId>, Block> timers_;
    std::map<TimerId, Nanoseconds> timerDue_;
    TimerId nextId_ = 1;
    bool stopRequested_ = false;
    std::atomic<std::thread::id> mainThread_;
    std::chrono::nanoseconds settleLimit_ = kSettleLimit;  // main thread only
};

}  // namespace dispatch
