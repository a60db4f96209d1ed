#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/DispatchQueue.h"
#include "dispatch/RunLoop.h"
#include "dispatch/Timer.h"
#include "dispatch/testing/ManualClockScope.h"

using namespace dispatch;
using namespace std::chrono_literals;

namespace {

double nowSeconds() {
    return secondsFromNanoseconds(Clock::current()->now());
}

// A one-time signal between threads that a test waits for within a bound of its own.
class Signal {
  public:
    void raise() {
        {
            std::lock_guard lock(mutex_);
            raised_ = true;
        }
        cv_.notify_all();
    }
    bool waitFor(std::chrono::milliseconds bound) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, bound, [&] { return raised_; });
    }

  private:
    std::mutex mutex_;  // guards raised_
    std::condition_variable cv_;
    bool raised_ = false;
};

// Stops the main loop should it still run after `bound`: a test that runs the loop until something happens
// fails in seconds when it never does, instead of hanging.
class StopLoopAfter {
  public:
    explicit StopLoopAfter(std::chrono::milliseconds bound)
        : thread_([this, bound] {
              if (done_.waitFor(bound)) return;
              fired_ = true;
              RunLoop::main().stop();
          }) {}
    ~StopLoopAfter() {
        done_.raise();
        thread_.join();
    }
    bool fired() const { return fired_; }

  private:
    Signal done_;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

TEST(ManualClockTest, TimersAndDelayedBlocksFireInTimeOrderEachAtItsOwnTime) {
    dispatch::testing::ManualClockScope scope;
    std::vector<std::pair<std::string, double>> fired;
    auto& main = DispatchQueue::main();
    main.asyncAfter(DispatchTime::now() + 2.0, [&] { fired.emplace_back("b2", nowSeconds()); });
    main.asyncAfter(DispatchTime::now() + 0.5, [&] { fired.emplace_back("a0.5", nowSeconds()); });
    auto timer = Timer::scheduledTimer(1.0, true, [&](Timer&) { fired.emplace_back("t", nowSeconds()); });
    // A block scheduled from inside a firing lands at its own time within the same advance.
    main.asyncAfter(DispatchTime::now() + 1.2, [&] {
        main.asyncAfter(DispatchTime::now() + 0.3, [&] { fired.emplace_back("nested1.5", nowSeconds()); });
    });

    scope.advance(2.5);

    std::vector<std::pair<std::string, double>> expected = {
        {"a0.5", 0.5}, {"t", 1.0}, {"nested1.5", 1.5}, {"t", 2.0}, {"b2", 2.0}};
    // Equal due times keep scheduling order: the timer's second firing was scheduled after b2 was.
    ASSERT_EQ(fired.size(), expected.size());
    EXPECT_EQ(fired[0], expected[0]);
    EXPECT_EQ(fired[1], expected[1]);
    EXPECT_EQ(fired[2], expected[2]);
    EXPECT_EQ(fired[3].second, 2.0);
    EXPECT_EQ(fired[4].second, 2.0);
    EXPECT_DOUBLE_EQ(nowSeconds(), 2.5);
    timer->invalidate();
}

TEST(ManualClockTest, RepeatingTimerCatchesUpWithoutDriftAndStopsWhenInvalidated) {
    dispatch::testing::ManualClockScope scope;
    int count = 0;
    std::weak_ptr<Timer> weak;
    {
        auto timer = Timer::scheduledTimer(0.1, true, [&](Timer& t) {
            if (++count == 300) t.invalidate();
        });
        weak = timer;
        EXPECT_TRUE(timer->isValid());
    }
    // The run loop keeps a scheduled timer alive.
    EXPECT_FALSE(weak.expired());
    scope.advance(30.0);
    EXPECT_EQ(count, 300);
    EXPECT_TRUE(weak.expired());
    scope.advance(10.0);
    EXPECT_EQ(count, 300);
}

TEST(ManualClockTest, OneShotTimerFiresOnceAndWorkItemsCanBeCancelled) {
    dispatch::testing::ManualClockScope scope;
    int shots = 0, items = 0;
    auto timer = Timer::scheduledTimer(1.0, false, [&](Timer&) { ++shots; });
    auto item = std::make_shared<DispatchWorkItem>([&] { ++items; });
    auto kept = std::make_shared<DispatchWorkItem>([&] { items += 10; });
    DispatchQueue::main().asyncAfter(DispatchTime::now() + 0.5, item);
    DispatchQueue::main().asyncAfter(DispatchTime::now() + 0.5, kept);
    item->cancel();
    scope.advance(5.0);
    EXPECT_EQ(shots, 1);
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(items, 10);
}

TEST(ManualClockTest, WallClockMovesWithTheMonotonicClock) {
    dispatch::testing::ManualClockScope scope;
    auto start = Clock::current()->wallNow();
    scope.advance(90.0);
    EXPECT_EQ(Clock::current()->wallNow() - start, 90s);
}

TEST(MainQueueTest, BlocksFromAnyThreadRunInFifoOrderOnTheMainThread) {
    dispatch::testing::ManualClockScope scope;
    std::vector<int> order;
    std::atomic<bool> offMain{false};
    for (int i = 0; i < 3; ++i) DispatchQueue::main().async([&, i] { order.push_back(i); });
    std::thread worker([&] {
        offMain = !DispatchQueue::isMainThread();
        DispatchQueue::main().async([&] {
            order.push_back(3);
            EXPECT_TRUE(DispatchQueue::main().isCurrent());
        });
    });
    worker.join();
    EXPECT_TRUE(offMain);
    EXPECT_TRUE(DispatchQueue::isMainThread());
    EXPECT_EQ(RunLoop::main().runUntilIdle(), 4u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(MainQueueTest, RunUntilWaitsForWorkerPostsWithinItsBound) {
    dispatch::testing::ManualClockScope scope;
    bool done = false;
    DispatchQueue worker("worker");
    worker.async([&] {
        std::this_thread::sleep_for(5ms);
        DispatchQueue::main().async([&] { done = true; });
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return done; }, 5s));
    EXPECT_FALSE(RunLoop::main().runUntil([] { return false; }, 20ms));
}

// Workers that enter the main queue synchronously, many times in a row and side by side with blocks they post
// to it, each get their own value back, and nothing of the main queue runs while a worker holds it. Each
// hand-over wakes the worker once the main thread has parked for it and the main thread once the worker is
// done: a lost wake-up deadlocks the hand-over. The main loop runs on a thread of the test's own, so the test
// then fails within its bound, leaving that thread stuck, instead of hanging.
TEST(MainQueueTest, SyncFromWorkersHandsOverAndBackManyTimesEachGettingItsValue) {
    dispatch::testing::ManualClockScope scope;
    constexpr int kWorkers = 4;
    constexpr int kRounds = 250;
    struct Shared {
        int mainCounter = 0;  // main queue only
        std::atomic<int> workersDone{0};
        std::atomic<int> wrongValues{0};
        Signal allDone;
        Signal loopStopped;
    };
    auto shared = std::make_shared<Shared>();
    std::thread loop([shared] {
        RunLoop::main().adoptCurrentThread();
        RunLoop::main().run();
        shared->loopStopped.raise();
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([shared, w] {
            for (int i = 0; i < kRounds; ++i) {
                DispatchQueue::main().async([shared] { ++shared->mainCounter; });
                const int mine = w * kRounds + i;
                const int got = DispatchQueue::main().sync([shared, mine] {
                    ++shared->mainCounter;
                    return mine;
                });
                if (got != mine) ++shared->wrongValues;
            }
            if (++shared->workersDone == kWorkers) shared->allDone.raise();
        });
    }
    const bool finished = shared->allDone.waitFor(10s);
    EXPECT_TRUE(finished) << shared->workersDone << " of " << kWorkers << " workers finished their hand-overs";
    if (finished) DispatchQueue::main().async([] { RunLoop::main().stop(); });
    const bool stopped = finished && shared->loopStopped.waitFor(10s);
    if (stopped) {
        loop.join();
        for (auto& worker : workers) worker.join();
        EXPECT_EQ(shared->mainCounter, 2 * kWorkers * kRounds);
    } else {
        // Stuck in a hand-over: left behind, holding only what they share.
        loop.detach();
        for (auto& worker : workers) worker.detach();
    }
    EXPECT_EQ(shared->wrongValues, 0);
    RunLoop::main().adoptCurrentThread();
}

// A call of runUntilIdle or advance that runs past its real-time limit ends the process, naming the call: a
// main loop that never settles fails its test in seconds instead of hanging it.
TEST(MainQueueTest, ALoopThatNeverSettlesEndsTheProcessWithinItsLimit) {
    // The process that dies is started afresh, not forked from this one, which may have threads already.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            dispatch::testing::ManualClockScope scope;
            RunLoop::main().setSettleLimitForTesting(200ms);
            std::function<void()> again = [&again] { DispatchQueue::main().async(again); };
            again();
            scope.runUntilIdle();
        },
        "runUntilIdle has run for 0\\.2 s of real time: the main loop never settles");
    EXPECT_DEATH(
        {
            dispatch::testing::ManualClockScope scope;
            RunLoop::main().setSettleLimitForTesting(200ms);
            // A timer that schedules itself again for the time it fell due: the clock never gets past it.
            std::function<void()> again = [&again] { RunLoop::main().schedule(Clock::current()->now(), again); };
            RunLoop::main().schedule(Clock::current()->now() + 1s, again);
            scope.advance(2.0);
        },
        "advance\\(2\\.0+ s\\) has run for 0\\.2 s of real time");
}

TEST(MainQueueTest, RunReturnsAfterStopAndFiresRealTimers) {
    dispatch::testing::ClockScope scope(std::make_shared<RealClock>());
    int ticks = 0;
    auto timer = Timer::scheduledTimer(0.005, true, [&](Timer& t) {
        if (++ticks == 3) {
            t.invalidate();
            RunLoop::main().stop();
        }
    });
    {
        const StopLoopAfter bound(10s);
        RunLoop::main().run();
        EXPECT_FALSE(bound.fired()) << "the loop ran on after its timer stopped it";
    }
    EXPECT_EQ(ticks, 3);
}

// A real clock that runs a million times faster than real time.
class FastClock final : public Clock {
  public:
    Nanoseconds now() const override { return (std::chrono::steady_clock::now() - start_) * kSpeed; }
    WallTime wallNow() const override { return std::chrono::system_clock::now(); }
    Nanoseconds realDuration(Nanoseconds clockDuration) const override { return clockDuration / kSpeed + 1ns; }

  private:
    static constexpr int kSpeed = 1'000'000;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The loop sleeps the real time the clock needs to reach its next timer (an hour of a fast clock is a few
// milliseconds), and a timer scheduled from another thread for before that one wakes it.
TEST(MainQueueTest, RunSleepsUntilTheNextTimerOnTheClockAndWakesForAnEarlierOne) {
    dispatch::testing::ClockScope scope(std::make_shared<FastClock>());
    std::vector<std::string> fired;
    auto& loop = RunLoop::main();
    loop.schedule(Clock::current()->now() + 3600s, [&] {
        fired.push_back("hour");
        // Far in the future: never fires, and is not waited for once the earlier one stops the loop.
        loop.schedule(Clock::current()->now() + std::chrono::hours(24 * 365 * 100), [&] { fired.push_back("late"); });
        std::thread([&loop] { loop.schedule(Clock::current()->now() + 60s, [&loop] { loop.stop(); }); }).detach();
    });
    {
        const StopLoopAfter bound(10s);
        loop.run();
        EXPECT_FALSE(bound.fired()) << "the loop slept through the earlier timer";
    }
    EXPECT_EQ(fired, (std::vector<std::string>{"hour"}));
}

TEST(SerialQueueTest, AsyncRunsInOrderOffTheMainThreadAndSyncIsExclusive) {
    DispatchQueue queue("queue");
    EXPECT_EQ(queue.label(), "queue");
    std::vector<int> seen;
    std::atomic<bool> onMain{true};
    for (int i = 0; i < 100; ++i) {
        queue.async([&, i] {
            onMain = onMain && DispatchQueue::isMainThread();
            seen.push_back(i);
        });
    }
    // sync waits for everything queued before it, then runs on the caller with the queue held.
    auto size = queue.sync([&] {
        EXPECT_TRUE(queue.isCurrent());
        return seen.size();
    });
    EXPECT_EQ(size, 100u);
    EXPECT_FALSE(onMain);
    EXPECT_FALSE(queue.isCurrent());
    // Re-entering from a block of the queue itself runs inline instead of deadlocking.
    std::atomic<bool> nested{false};
    queue.async([&] { queue.sync([&] { nested = true; }); });
    queue.sync([] {});
    EXPECT_TRUE(nested);
}

TEST(SerialQueueTest, ConcurrentSyncCallersNeverOverlap) {
    DispatchQueue queue("lock");
    int counter = 0;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                queue.sync([&] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                    ++counter;
                    inside.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 1600);
    EXPECT_FALSE(overlapped);
}

TEST(SerialQueueTest, SyncCallersAndQueuedBlocksTakeTurnsInOrder) {
    // Sync callers on other threads, blocks queued meanwhile: never two at once, and each sync caller sees
    // every block its own thread queued before it.
    DispatchQueue queue("turns");
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::vector<int>> ran(4);  // per thread, the blocks run so far (under the queue)
    bool missed = false;                   // under the queue
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                auto enter = [&] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                };
                queue.async([&, t, i, enter] {
                    enter();
                    ran[t].push_back(i);
                    inside.fetch_sub(1);
                });
                if (i % 3 == 0) {
                    queue.sync([&, t, i, enter] {
                        enter();
                        if (ran[t].empty() || ran[t].back() != i) missed = true;
                        inside.fetch_sub(1);
                    });
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(missed);
    for (const auto& blocks : ran) EXPECT_EQ(blocks.size(), 300u);
}

TEST(SerialQueueTest, SyncWaitsForTheBlockRunningNowThoughNothingElseIsQueued) {
    DispatchQueue queue("running");
    std::atomic<bool> running{false}, release{false}, finished{false}, entered{false};
    queue.async([&] {
        running = true;
        while (!release) std::this_thread::yield();
        finished = true;
    });
    while (!running) std::this_thread::yield();
    bool sawFinished = false;
    std::thread caller([&] {
        queue.sync([&] {
            sawFinished = finished;
            entered = true;
        });
    });
    // Time for the caller to enter wrongly while the block still runs (no wait when it does).
    for (int i = 0; i < 10000 && !entered; ++i) std::this_thread::yield();
    release = true;
    caller.join();
    EXPECT_TRUE(sawFinished);
}

TEST(SerialQueueTest, BlocksThatWaitOnEachOtherAcrossManyQueuesAllRun) {
    // Queues share their workers: a block that waits must not keep another queue's block from running,
    // however many queues wait at once.
    constexpr int kQueues = 40;
    std::vector<std::unique_ptr<DispatchQueue>> queues;
    std::mutex mutex;
    std::condition_variable cv;
    int started = 0;
    for (int i = 0; i < kQueues; ++i) {
        queues.push_back(std::make_unique<DispatchQueue>("waiting." + std::to_string(i)));
        queues.back()->async([&] {
            std::unique_lock lock(mutex);
            ++started;
            cv.notify_all();
            cv.wait(lock, [&] { return started == kQueues; });
        });
    }
    // Destroying a queue waits for its blocks: every one ran, each once all had started.
    queues.clear();
    EXPECT_EQ(started, kQueues);
}

TEST(SerialQueueTest, DelayedBlocksFollowTheClockAndDieWithTheQueue) {
    dispatch::testing::ManualClockScope scope;
    std::atomic<int> ran{0};
    {
        auto queue = std::make_unique<DispatchQueue>("delayed");
        queue->asyncAfter(DispatchTime::now() + 1.0, [&] { ++ran; });
        scope.advance(1.0);
        queue->sync([] {});
        EXPECT_EQ(ran, 1);
        queue->asyncAfter(DispatchTime::now() + 1.0, [&] { ++ran; });
    }
    // The queue is gone: its pending delayed block is dropped, not run on a dead queue.
    scope.advance(2.0);
    EXPECT_EQ(ran, 1);
}

TEST(SerialQueueTest, QueueReleasedFromItsOwnBlockDoesNotDeadlock) {
    // Shared with the block: should it never finish, the test still ends, and the block finds it later.
    auto done = std::make_shared<Signal>();
    auto queue = std::make_shared<DispatchQueue>("self-release");
    auto* raw = queue.get();
    raw->async([q = std::move(queue), done]() mutable {
        q.reset();
        done->raise();
    });
    EXPECT_TRUE(done->waitFor(10s));
}

TEST(ClockTest, SecondsConversionSaturates) {
    EXPECT_EQ(nanosecondsFromSeconds(std::nan("")), 0ns);
    EXPECT_EQ(nanosecondsFromSeconds(-1), 0ns);
    EXPECT_EQ(nanosecondsFromSeconds(1e300).count(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(nanosecondsFromSeconds(0.1), 100ms);
}

TEST(ClockTest, DueTimesSaturateSoThatADelayTooLongForTheClockNeverFallsDue) {
    constexpr auto max = Nanoseconds::max();
    EXPECT_EQ(saturatingAdd(Nanoseconds{5}, Nanoseconds{7}), Nanoseconds{12});
    EXPECT_EQ(saturatingAdd(max - Nanoseconds{1}, Nanoseconds{2}), max);
    EXPECT_EQ(saturatingAdd(Nanoseconds::min() + Nanoseconds{1}, Nanoseconds{-2}), Nanoseconds::min());
    EXPECT_EQ(saturatingAdd(Nanoseconds{1'000'000'000}, 1e10), max);  // about 317 years from a second in
    EXPECT_EQ(saturatingAdd(Nanoseconds{3}, std::nan("")), Nanoseconds{3});
    EXPECT_EQ(saturatingAdd(Nanoseconds{3}, -1.0), Nanoseconds{3});
    EXPECT_EQ((DispatchTime{max - Nanoseconds{1}} + 1.0).uptime, max);

    // Timers and delayed blocks a hostile or mistaken delay away neither fire at once nor ever.
    dispatch::testing::ManualClockScope scope;
    scope.advance(3600.0);
    int fired = 0;
    auto once = Timer::scheduledTimer(1e300, false, [&](Timer&) { ++fired; });
    auto repeating = Timer::scheduledTimer(1e10, true, [&](Timer&) { ++fired; });
    DispatchQueue::main().asyncAfter(DispatchTime::now() + 1e12, [&] { ++fired; });
    DispatchQueue::main().asyncAfter(DispatchTime::now() + max, [&] { ++fired; });
    scope.advance(1e9);
    EXPECT_EQ(fired, 0);
    once->invalidate();
    repeating->invalidate();
    RunLoop::main().resetForTesting();
}

}  // namespace
