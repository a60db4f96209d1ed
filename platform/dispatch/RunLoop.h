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

private:
    RunLoop();
    // Takes one runnable item: a ready block, or a timer due at or before `now`.
    bool runOne(Nanoseconds now);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Block> ready_;
    // (due, id) ordering keeps timers due at the same time in the order they were scheduled.
    std::map<std::pair<Nanoseconds, TimerId>, Block> timers_;
    std::map<TimerId, Nanoseconds> timerDue_;
    TimerId nextId_ = 1;
    bool stopRequested_ = false;
    std::atomic<std::thread::id> mainThread_;
};

}  // namespace dispatch
