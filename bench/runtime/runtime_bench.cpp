// Costs of the runtime's hot paths, as baselines for the player tick benchmarks.
#include <benchmark/benchmark.h>

#include <memory>

#include "dispatch/RunLoop.h"
#include "dispatch/Timer.h"
#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"

namespace {

// One element from a subject through map → filter → observeOn(MainScheduler::instance()) to a subscriber, on the
// main thread (where the main scheduler delivers at once).
void BM_ElementThroughMapFilterObserveOn(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    rx::PublishSubject<long> source;
    long received = 0;
    auto subscription = source.map([](long v) { return v * 2; })
                            .filter([](long v) { return v >= 0; })
                            .observeOn(rx::MainScheduler::instance())
                            .subscribe([&](long v) { received += v; });
    long i = 0;
    for (auto _ : state) {
        source.onNext(i++);
    }
    benchmark::DoNotOptimize(received);
    subscription.dispose();
    if (received != i * (i - 1)) state.SkipWithError("elements were lost");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ElementThroughMapFilterObserveOn);

// One firing of a repeating 0.1 s main-loop timer: advancing a manual clock by 0.1 s runs it once.
void BM_TimerFiringUnderManualClock(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    long firings = 0;
    auto timer = dispatch::Timer::scheduledTimer(0.1, true, [&](dispatch::Timer&) { ++firings; });
    long advances = 0;
    for (auto _ : state) {
        dispatch::RunLoop::main().advance(0.1);
        ++advances;
    }
    timer->invalidate();
    benchmark::DoNotOptimize(firings);
    if (firings != advances) state.SkipWithError("the timer did not fire once per 0.1 s");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimerFiringUnderManualClock);

}  // namespace

BENCHMARK_MAIN();
