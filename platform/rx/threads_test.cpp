// Subjects, relays and subscriptions used from several threads at once. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"

namespace {

class RxThreadsTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
};

TEST_F(RxThreadsTest, PublishSubjectUnderConcurrentEmittersAndSubscribers) {
    constexpr int kEmitters = 4;
    constexpr int kPerEmitter = 5000;
    rx::PublishSubject<int> subject;

    std::atomic<long> steadyCount{0};
    std::atomic<long> steadySum{0};
    auto steady = subject.map([](int v) { return v * 2; }).filter([](int) { return true; }).subscribe([&](int v) {
        steadyCount.fetch_add(1);
        steadySum.fetch_add(v);
    });

    std::atomic<bool> stop{false};
    std::atomic<long> churned{0};
    std::vector<std::thread> churners;
    for (int i = 0; i < 2; ++i) {
        churners.emplace_back([&] {
            while (!stop.load()) {
                auto d = subject.distinctUntilChanged().take(3).subscribe([&](int) { churned.fetch_add(1); });
                d.dispose();
            }
        });
    }
    std::vector<std::thread> emitters;
    for (int e = 0; e < kEmitters; ++e) {
        emitters.emplace_back([&, e] {
            for (int i = 0; i < kPerEmitter; ++i) subject.onNext(e * kPerEmitter + i);
        });
    }
    for (auto& t : emitters) t.join();
    stop.store(true);
    for (auto& t : churners) t.join();

    const long n = kEmitters * kPerEmitter;
    EXPECT_EQ(steadyCount.load(), n) << "a subscriber that stays gets every element exactly once";
    EXPECT_EQ(steadySum.load(), n * (n - 1));
    steady.dispose();
    EXPECT_FALSE(subject.hasObservers());
}

TEST_F(RxThreadsTest, NoElementArrivesAfterDisposeReturnsOnAnotherThread) {
    for (int round = 0; round < 50; ++round) {
        rx::PublishRelay<int> relay;
        std::atomic<bool> disposed{false};
        std::atomic<int> lateDeliveries{0};
        std::atomic<int> delivered{0};
        auto subscription = relay.map([](int v) { return v + 1; }).subscribe([&](int) {
            if (disposed.load()) lateDeliveries.fetch_add(1);
            delivered.fetch_add(1);
        });
        std::atomic<bool> stop{false};
        std::thread emitter([&] {
            int i = 0;
            while (!stop.load()) relay.accept(i++);
        });
        while (delivered.load() < 10) std::this_thread::yield();
        subscription.dispose();
        disposed.store(true);
        stop.store(true);
        emitter.join();
        EXPECT_EQ(lateDeliveries.load(), 0) << "round " << round;
    }
}

TEST_F(RxThreadsTest, BehaviorRelayAndSharedStreamsFromManyThreads) {
    rx::BehaviorRelay<int> relay(0);
    auto shared = relay.share(1);
    std::atomic<int> subscribersWithoutValue{0};
    std::atomic<int> outOfRange{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 1; i <= 500; ++i) {
                if (t % 2 == 0) {
                    relay.accept(i);
                    if (relay.value() < 1) outOfRange.fetch_add(1);
                } else {
                    std::atomic<int> got{0};
                    auto d = shared.subscribe([&](int v) {
                        if (v < 0 || v > 500) outOfRange.fetch_add(1);
                        got.fetch_add(1);
                    });
                    // Connecting or joining: either way a value is there at once.
                    if (got.load() == 0) subscribersWithoutValue.fetch_add(1);
                    d.dispose();
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(subscribersWithoutValue.load(), 0);
    EXPECT_EQ(outOfRange.load(), 0);
    EXPECT_EQ(relay.value(), 500) << "both writers end on 500";
    EXPECT_FALSE(relay.hasObservers());
}

TEST_F(RxThreadsTest, MainSchedulerKeepsEachThreadsOrder) {
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    std::vector<std::vector<int>> seen(kThreads);
    std::vector<rx::PublishSubject<int>> subjects(kThreads);
    rx::DisposeBag bag;
    for (int t = 0; t < kThreads; ++t) {
        subjects[t]
            .observeOn(rx::MainScheduler::instance())
            .subscribe([&seen, t](int v) { seen[t].push_back(v); })
            .disposed(bag);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) subjects[t].onNext(i);
        });
    }
    for (auto& t : threads) t.join();
    clock.runUntilIdle();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kEach));
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(seen[t][i], i);
    }
}

}  // namespace
