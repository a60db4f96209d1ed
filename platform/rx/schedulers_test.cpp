#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"

using namespace std::chrono_literals;

namespace {

class RxSchedulersTest : public ::testing::Test {
  protected:
    double nowSeconds() const { return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now()); }
    std::size_t pendingTimers() const { return dispatch::RunLoop::main().pendingTimerCount(); }

    dispatch::testing::ManualClockScope clock;
    rx::DisposeBag bag;
};

TEST_F(RxSchedulersTest, InstanceRunsInlineOnTheMainThreadAndPostsFromElsewhere) {
    auto main = rx::MainScheduler::instance();
    std::vector<std::string> order;
    main->schedule([&] { order.push_back("inline"); });
    order.push_back("after call");
    EXPECT_EQ(order, (std::vector<std::string>{"inline", "after call"}));

    std::thread::id ranOn;
    std::thread worker([&] { main->schedule([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    EXPECT_EQ(ranOn, std::thread::id()) << "from a worker thread the work waits for the main loop";
    clock.runUntilIdle();
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // While earlier work of the scheduler waits, work scheduled on the main thread queues behind it.
    order.clear();
    std::thread([&] { main->schedule([&] { order.push_back("posted first"); }); }).join();
    main->schedule([&] { order.push_back("scheduled second"); });
    EXPECT_TRUE(order.empty());
    clock.runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"posted first", "scheduled second"}));

    // Dropped work (a reset run loop) does not leave the scheduler believing work is still waiting.
    std::thread([&] { main->schedule([] {}); }).join();
    dispatch::RunLoop::main().resetForTesting();
    bool inlineAgain = false;
    main->schedule([&] { inlineAgain = true; });
    EXPECT_TRUE(inlineAgain);
}

TEST_F(RxSchedulersTest, AsyncInstanceNeverRunsInsideTheCaller) {
    auto async = rx::MainScheduler::asyncInstance();
    std::vector<std::string> order;
    async->schedule([&] { order.push_back("a"); });
    order.push_back("caller returned");
    auto cancelled = async->schedule([&] { order.push_back("cancelled"); });
    async->schedule([&] { order.push_back("b"); });
    cancelled.dispose();
    EXPECT_EQ(order, (std::vector<std::string>{"caller returned"}));
    clock.runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"caller returned", "a", "b"}));

    // observeOn(asyncInstance): a synchronous source is seen on a later turn, and a subscription disposed
    // before that turn sees nothing.
    std::vector<int> seen;
    auto subscription =
        rx::Observable<int>::of({1, 2}).observeOn(rx::MainScheduler::asyncInstance()).subscribe([&](int v) {
            seen.push_back(v);
        });
    EXPECT_TRUE(seen.empty());
    clock.runUntilIdle();
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));

    seen.clear();
    subscription = rx::Observable<int>::just(3).observeOn(rx::MainScheduler::asyncInstance()).subscribe([&](int v) {
        seen.push_back(v);
    });
    subscription.dispose();
    clock.runUntilIdle();
    EXPECT_TRUE(seen.empty());
}

TEST_F(RxSchedulersTest, CurrentThreadSchedulerTrampolinesNestedWork) {
    auto trampoline = rx::CurrentThreadScheduler::instance();
    std::vector<std::string> order;
    EXPECT_TRUE(rx::CurrentThreadScheduler::isScheduleRequired());
    trampoline->schedule([&] {
        order.push_back("outer begins");
        EXPECT_FALSE(rx::CurrentThreadScheduler::isScheduleRequired());
        trampoline->schedule([&] {
            order.push_back("first nested");
            trampoline->schedule([&] { order.push_back("nested in nested"); });
        });
        trampoline->schedule([&] { order.push_back("second nested"); }).dispose();
        order.push_back("outer ends");
    });
    order.push_back("returned");
    EXPECT_EQ(order,
              (std::vector<std::string>{"outer begins", "outer ends", "first nested", "nested in nested", "returned"}));
}

TEST_F(RxSchedulersTest, DebounceFiresOnce320MillisecondsAfterTheLastOfABurst) {
    rx::PublishSubject<int> idleEvents;
    std::vector<std::pair<int, double>> fired;
    idleEvents.debounce(320ms, rx::MainScheduler::asyncInstance())
        .subscribe([&](int v) { fired.emplace_back(v, nowSeconds()); })
        .disposed(bag);

    idleEvents.onNext(1);
    clock.advance(0.1);
    idleEvents.onNext(2);
    clock.advance(0.3);
    idleEvents.onNext(3);  // at 0.4 s: the last of the burst
    clock.advance(0.319);
    EXPECT_TRUE(fired.empty());
    clock.advance(0.001);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].first, 3);
    EXPECT_NEAR(fired[0].second, 0.72, 1e-9);
    clock.advance(5.0);
    EXPECT_EQ(fired.size(), 1u) << "a burst gives one element";

    // Repeats dropped before the debounce: a repeat does not restart the countdown.
    std::vector<double> hidden;
    rx::PublishRelay<double> published;
    published.distinctUntilChanged()
        .debounce(320ms, rx::MainScheduler::asyncInstance())
        .subscribe([&](double interval) { hidden.push_back(interval); })
        .disposed(bag);
    published.accept(0);
    clock.advance(0.2);
    published.accept(0);  // a repeat does not restart the countdown
    clock.advance(0.12);
    EXPECT_EQ(hidden, (std::vector<double>{0}));
}

TEST_F(RxSchedulersTest, DebounceFlushesOnCompletionDropsOnErrorAndStopsOnDispose) {
    rx::PublishSubject<int> source;
    std::vector<std::string> log;
    source.debounce(1s, rx::MainScheduler::instance())
        .subscribe([&](int v) { log.push_back(std::to_string(v)); }, {}, [&] { log.push_back("completed"); })
        .disposed(bag);
    source.onNext(1);
    source.onCompleted();
    EXPECT_EQ(log, (std::vector<std::string>{"1", "completed"})) << "completion passes the waiting element on first";
    EXPECT_EQ(pendingTimers(), 0u);

    struct Failure {
        std::string localizedDescription() const { return "failed"; }
    };
    rx::PublishSubject<int> failing;
    log.clear();
    failing.debounce(1s, rx::MainScheduler::instance())
        .subscribe([&](int v) { log.push_back(std::to_string(v)); },
                   [&](const foundation::Error&) { log.push_back("error"); })
        .disposed(bag);
    failing.onNext(1);
    failing.onError(Failure{});
    clock.advance(2.0);
    EXPECT_EQ(log, (std::vector<std::string>{"error"}));

    rx::PublishSubject<int> disposed;
    log.clear();
    auto subscription = disposed.debounce(1s, rx::MainScheduler::instance()).subscribe([&](int v) {
        log.push_back(std::to_string(v));
    });
    disposed.onNext(1);
    subscription.dispose();
    EXPECT_EQ(pendingTimers(), 0u) << "dispose cancels the waiting timer";
    clock.advance(2.0);
    EXPECT_TRUE(log.empty());
}

TEST_F(RxSchedulersTest, IntervalTicksAtItsOwnTimesUntilDisposed) {
    std::vector<std::pair<int, double>> ticks;
    auto subscription = rx::Observable<int>::interval(1s, rx::MainScheduler::instance()).subscribe([&](int n) {
        ticks.emplace_back(n, nowSeconds());
    });
    clock.advance(3.5);
    EXPECT_EQ(ticks, (std::vector<std::pair<int, double>>{{0, 1.0}, {1, 2.0}, {2, 3.0}}));
    subscription.dispose();
    EXPECT_EQ(pendingTimers(), 0u);
    clock.advance(3.0);
    EXPECT_EQ(ticks.size(), 3u);

    // A hold: a 300 ms interval from touch-down until touch-up.
    rx::PublishSubject<rx::Unit> touchDown, touchUp;
    int holdTicks = 0;
    touchDown
        .flatMapLatest([&](rx::Unit) {
            return rx::Observable<int>::interval(300ms, rx::MainScheduler::asyncInstance()).takeUntil(touchUp);
        })
        .subscribe([&](int) { ++holdTicks; })
        .disposed(bag);
    touchDown.onNext({});
    clock.advance(1.0);
    touchUp.onNext({});
    clock.advance(1.0);
    EXPECT_EQ(holdTicks, 3);
}

TEST_F(RxSchedulersTest, TimerFiresOnceAndBadPeriodsFailCleanly) {
    std::vector<std::string> log;
    rx::Observable<int>::timer(1234ms, rx::MainScheduler::asyncInstance())
        .subscribe([&](int n) { log.push_back(std::to_string(n) + "@" + std::to_string(nowSeconds())); }, {},
                   [&] { log.push_back("completed"); })
        .disposed(bag);
    clock.advance(1.233);
    EXPECT_TRUE(log.empty());
    clock.advance(0.001);
    EXPECT_EQ(log, (std::vector<std::string>{"0@1.234000", "completed"}));

    // A zero-length timer still waits for a turn of the main loop.
    bool fired = false;
    rx::Observable<int>::timer(0ms, rx::MainScheduler::asyncInstance())
        .subscribe([&](int) { fired = true; })
        .disposed(bag);
    EXPECT_FALSE(fired);
    clock.runUntilIdle();
    EXPECT_TRUE(fired);

    // A repeating timer with no period would fire forever at one instant: it fails instead.
    std::string error;
    rx::Observable<int>::interval(0s, rx::MainScheduler::instance())
        .subscribe({}, [&](const foundation::Error& e) { error = e.localizedDescription(); })
        .disposed(bag);
    EXPECT_NE(error.find("positive period"), std::string::npos) << error;
    EXPECT_EQ(pendingTimers(), 0u);

    // Delays too long for the clock saturate (they never come) instead of overflowing.
    int farFuture = 0;
    rx::Observable<int>::interval(dispatch::Nanoseconds::max(), rx::MainScheduler::instance())
        .subscribe([&](int) { ++farFuture; })
        .disposed(bag);
    rx::PublishSubject<int> burst;
    burst.debounce(dispatch::Nanoseconds::max(), rx::MainScheduler::instance())
        .subscribe([&](int) { ++farFuture; })
        .disposed(bag);
    burst.onNext(1);
    clock.advance(1e6);
    EXPECT_EQ(farFuture, 0);
}

TEST_F(RxSchedulersTest, OfOnASchedulerEmitsOneElementPerAction) {
    std::vector<int> seen;
    bool completed = false;
    rx::Observable<int>::of({1, 2, 3}, rx::MainScheduler::asyncInstance())
        .subscribe([&](int v) { seen.push_back(v); }, {}, [&] { completed = true; })
        .disposed(bag);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(clock.runUntilIdle(), 4u) << "three elements and the completion, one turn each";
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(completed);

    // On the inline main scheduler the first element comes at once and the rest keep their order.
    seen.clear();
    rx::Observable<int>::of({1, 2, 3}, rx::MainScheduler::instance())
        .subscribe([&](int v) { seen.push_back(v); })
        .disposed(bag);
    clock.runUntilIdle();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

}  // namespace
