#include "dispatch/RunLoop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace dispatch {

namespace {
// A block that posts itself forever would keep runUntilIdle from returning; past this many blocks in one
// call we stop and say so rather than hang the program.
constexpr std::size_t kIdleRunLimit = 10'000'000;

// One call of runUntilIdle or advance ran past its real-time limit: the loop never settles.
[[noreturn]] void neverSettles(const char* call, std::optional<Nanoseconds> amount, std::chrono::nanoseconds limit) {
    std::string what = call;
    if (amount) what += "(" + std::to_string(secondsFromNanoseconds(*amount)) + " s)";
    std::fprintf(stderr,
                 "[dispatch] %s has run for %.1f s of real time: the main loop never settles (a block that keeps "
                 "posting itself, or a timer that keeps falling due); ending the process\n",
                 what.c_str(), std::chrono::duration<double>(limit).count());
    std::fflush(stderr);
    std::abort();
}

// The thread that runs static initialisation is the process's first thread: the main thread unless a
// program says otherwise. Recording it here keeps a worker that happens to touch the loop first from
// becoming the main thread.
const std::thread::id kInitialThread = std::this_thread::get_id();

// The real time to sleep for `clockDuration` of `clock`: at least a microsecond (a timer that is not due yet
// must not be spun on) and at most a day (a timer in the far future must not overflow the deadline).
std::chrono::nanoseconds realWait(const Clock& clock, Nanoseconds clockDuration) {
    const Nanoseconds real = clock.realDuration(clockDuration);
    return std::clamp(real, Nanoseconds{std::chrono::microseconds(1)}, Nanoseconds{std::chrono::hours(24)});
}
}  // namespace

RunLoop& RunLoop::main() {
    // Never destroyed: worker threads may still post to it while the process exits.
    static RunLoop* loop = new RunLoop();
    return *loop;
}

RunLoop::RunLoop() {
    // Touched from another unit's static initialiser, before ours ran: that too is the first thread.
    mainThread_.store(kInitialThread == std::thread::id() ? std::this_thread::get_id() : kInitialThread);
}

void RunLoop::adoptCurrentThread() {
    mainThread_.store(std::this_thread::get_id());
}

void RunLoop::post(Block block) {
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(block));
    }
    cv_.notify_all();
}

RunLoop::TimerId RunLoop::schedule(Nanoseconds due, Block block) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        timers_.emplace(std::make_pair(due, id), std::move(block));
        timerDue_.emplace(id, due);
    }
    cv_.notify_all();
    return id;
}

void RunLoop::cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    auto it = timerDue_.find(id);
    if (it == timerDue_.end()) return;
    timers_.erase(std::make_pair(it->second, id));
    timerDue_.erase(it);
}

std::optional<Nanoseconds> RunLoop::nextTimerDue() const {
    std::lock_guard lock(mutex_);
    if (timers_.empty()) return std::nullopt;
    return timers_.begin()->first.first;
}

std::size_t RunLoop::pendingBlockCount() const {
    std::lock_guard lock(mutex_);
    return ready_.size();
}

std::size_t RunLoop::pendingTimerCount() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

bool RunLoop::runOne(Nanoseconds now) {
    Block block;
    {
        std::lock_guard lock(mutex_);
        // Posted blocks run first, in FIFO order; then timers due by now, in due-time order.
        if (!ready_.empty()) {
            block = std::move(ready_.front());
            ready_.pop_front();
        } else if (!timers_.empty() && timers_.begin()->first.first <= now) {
            auto it = timers_.begin();
            block = std::move(it->second);
            timerDue_.erase(it->first.second);
            timers_.erase(it);
        } else {
            return false;
        }
    }
    if (block) block();
    return true;
}

std::size_t RunLoop::runUntilIdle() {
    return runReady(std::chrono::steady_clock::now() + settleLimit_, "runUntilIdle", std::nullopt);
}

std::size_t RunLoop::runReady(std::chrono::steady_clock::time_point deadline, const char* call,
                              std::optional<Nanoseconds> amount) {
    std::size_t count = 0;
    auto clock = Clock::current();
    while (runOne(clock->now())) {
        if (++count >= kIdleRunLimit) {
            std::fprintf(stderr, "[dispatch] runUntilIdle stopped after %zu blocks: a block keeps re-posting itself\n",
                         count);
            break;
        }
        // The time is looked at every 64 blocks: a short call costs no clock reading.
        if (count % 64 == 0 && std::chrono::steady_clock::now() > deadline) neverSettles(call, amount, settleLimit_);
    }
    return count;
}

void RunLoop::advance(Nanoseconds d) {
    auto clock = std::dynamic_pointer_cast<ManualClock>(Clock::current());
    if (!clock) {
        std::fprintf(stderr, "[dispatch] advance() needs a manual clock; ignored\n");
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + settleLimit_;
    const Nanoseconds target = clock->now() + d;
    runReady(deadline, "advance", d);
    for (;;) {
        auto due = nextTimerDue();
        if (!due || *due > target) break;
        if (std::chrono::steady_clock::now() > deadline) neverSettles("advance", d, settleLimit_);
        clock->set(*due);
        runReady(deadline, "advance", d);
    }
    clock->set(target);
    runReady(deadline, "advance", d);
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, std::chrono::milliseconds realTimeBound) {
    const auto deadline = std::chrono::steady_clock::now() + realTimeBound;
    for (;;) {
        auto clock = Clock::current();
        while (runOne(clock->now())) {
            if (predicate()) return true;
        }
        if (predicate()) return true;
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline) break;
        auto wakeAt = deadline;
        std::optional<Nanoseconds> due;
        if (!clock->isManual() && !timers_.empty()) {
            due = timers_.begin()->first.first;
            wakeAt = std::min(wakeAt, std::chrono::steady_clock::now() + realWait(*clock, *due - clock->now()));
        }
        cv_.wait_until(lock, wakeAt, [&] {
            if (!ready_.empty()) return true;
            if (clock->isManual() || timers_.empty()) return false;
            // A first timer, a timer due now, or one scheduled for before the one waited for.
            const Nanoseconds next = timers_.begin()->first.first;
            return !due || next < *due || next <= clock->now();
        });
    }
    return predicate();
}

void RunLoop::run() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
    }
    for (;;) {
        auto clock = Clock::current();
        while (runOne(clock->now())) {
            std::lock_guard lock(mutex_);
            if (stopRequested_) break;
        }
        std::unique_lock lock(mutex_);
        if (stopRequested_) {
            stopRequested_ = false;
            return;
        }
        if (!ready_.empty()) continue;
        if (clock->isManual()) {
            // The time moves only when a test advances it.
            cv_.wait(lock, [&] {
                return stopRequested_ || !ready_.empty() ||
                       (!timers_.empty() && timers_.begin()->first.first <= clock->now());
            });
        } else if (timers_.empty()) {
            cv_.wait(lock, [&] { return stopRequested_ || !ready_.empty() || !timers_.empty(); });
        } else {
            // Sleeps until the next timer falls due on the clock (however fast it runs), and wakes early for
            // a block, a stop, or a timer scheduled for before that one.
            const Nanoseconds due = timers_.begin()->first.first;
            const Nanoseconds dueIn = due - clock->now();
            if (dueIn <= Nanoseconds{0}) continue;
            cv_.wait_for(lock, realWait(*clock, dueIn), [&] {
                return stopRequested_ || !ready_.empty() || timers_.empty() || timers_.begin()->first.first < due;
            });
        }
    }
}

void RunLoop::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    cv_.notify_all();
}

void RunLoop::resetForTesting() {
    std::deque<Block> blocks;
    std::map<std::pair<Nanoseconds, TimerId>, Block> timers;
    {
        std::lock_guard lock(mutex_);
        blocks.swap(ready_);
        timers.swap(timers_);
        timerDue_.clear();
        stopRequested_ = false;
    }
    // Destroyed outside the lock: a block's captures may post or cancel while they go.
}

}  // namespace dispatch
