// Two costs of the key-moment views, per operation:
//  - updating the key-moments strip from 500 events to the same 500 reshuffled, with 50 of them replaced
//    (the array diff, the markers made and removed, the layout and display pass of the window), against
//    the array diff of the same two lists alone;
//  - one step of scrubbing: the single thumbnail following a slider value across a 600-frame BIF index
//    (the position rule, the index lookup, the layout and display pass).
// Wall time comes from Google Benchmark; instructions from callgrind, which this program runs on itself
// (`--count-instructions=<update|diff|scrub>` runs a fixed amount of work with collection switched on
// around it only) when valgrind is installed. `--no-callgrind` skips that part.
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "devserver/ThumbnailArt.h"
#include "dispatch/RunLoop.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentsView.h"
#include "keymoments/ZuScrubberSingleThumbnailView.h"
#include "kitfoundation/PHDiff.h"
#include "uikit/UIWindow.h"

namespace {

using lumora::ZuKeyMomentEvent;

constexpr int kEvents = 500;
constexpr int kReplaced = 50;
constexpr int kFrames = 600;
constexpr int kScrubSteps = 1000;
constexpr std::int32_t kSeparation = 10'000;  // ms: 600 frames cover 6,000 s
constexpr double kDuration = kFrames * kSeparation / 1000.0;

ZuKeyMomentEvent event(const std::string& code, double time) {
    return ZuKeyMomentEvent(code, time, time, "Goal", "12'", "J. Smith", "Harbour FC");
}

// 500 events on 100 distinct times (five share each time, so that reordering them moves markers), and the
// same events shuffled with 50 replaced by new ones.
struct Lists {
    std::vector<ZuKeyMomentEvent> first;
    std::vector<ZuKeyMomentEvent> second;
};

const Lists& lists() {
    static const Lists made = [] {
        Lists l;
        for (int i = 0; i < kEvents; ++i) l.first.push_back(event("E" + std::to_string(i), (i / 5) * 60.0));
        l.second = l.first;
        std::mt19937 random(20240607);
        std::shuffle(l.second.begin(), l.second.end(), random);
        for (int i = 0; i < kReplaced; ++i)
            l.second[static_cast<std::size_t>(i) * 10] = event("F" + std::to_string(i), i * 120.0 + 30);
        return l;
    }();
    return made;
}

struct Strip {
    std::shared_ptr<uikit::UIWindow> window = uikit::UIWindow::create(uikit::CGRect(0, 0, 1920, 300));
    std::shared_ptr<lumora::ZuKeyMomentsView> view = lumora::ZuKeyMomentsView::create(uikit::CGRect(0, 200, 1920, 83));
    Strip() {
        window->makeKeyAndVisible();
        window->addSubview(view);
        view->update(lists().first, kDuration);
        dispatch::RunLoop::main().runUntilIdle();
    }
    // One update and the main loop's turn that lays out and displays it.
    void update(const std::vector<ZuKeyMomentEvent>& events) {
        view->update(events, kDuration);
        dispatch::RunLoop::main().runUntilIdle();
    }
};

struct Scrubber {
    lumora::BIF bif;
    std::shared_ptr<uikit::UIWindow> window = uikit::UIWindow::create(uikit::CGRect(0, 0, 1920, 300));
    std::shared_ptr<lumora::ZuScrubberSingleThumbnailView> view =
        lumora::ZuScrubberSingleThumbnailView::create(uikit::CGRect(0, 0, 1920, 126));
    Scrubber() : bif(makeIndex()) {
        window->makeKeyAndVisible();
        window->addSubview(view);
        view->setTintColor(uikit::UIColor::white());
        dispatch::RunLoop::main().runUntilIdle();
    }
    static lumora::BIF makeIndex() {
        devserver::thumbnails::FrameStyle style;
        style.framewiseSeparation = kSeparation;
        std::vector<std::vector<std::uint8_t>> jpegs;
        for (int n = 0; n < kFrames; ++n) {
            jpegs.push_back(*imageio::encodeJPEG(devserver::thumbnails::drawFrame("vod-clear", n, style), 80));
        }
        return *lumora::BIF::from(devserver::thumbnails::encodeBIF(jpegs, kSeparation),
                                  lumora::BIFResolution::standard);
    }
    // Step `i` of a sweep across the whole timeline.
    void step(int i) {
        const double value = kDuration * (i % kScrubSteps) / (kScrubSteps - 1);
        view->followValue(value, 0, kDuration, &bif);
        dispatch::RunLoop::main().runUntilIdle();
    }
};

void BM_UpdateStrip500(benchmark::State& state) {
    Strip strip;
    bool toSecond = true;
    for (auto _ : state) {
        strip.update(toSecond ? lists().second : lists().first);
        toSecond = !toSecond;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["markers"] = static_cast<double>(strip.view->keyMomentItems().size());
}

void BM_DiffOnly500(benchmark::State& state) {
    // The strip's own preparation of a list too: sorted by start time.
    auto sorted = [](std::vector<ZuKeyMomentEvent> events) {
        std::stable_sort(events.begin(), events.end(),
                         [](const auto& a, const auto& b) { return a.startTime < b.startTime; });
        return events;
    };
    const auto first = sorted(lists().first);
    const auto second = sorted(lists().second);
    std::size_t steps = 0;
    bool toSecond = true;
    for (auto _ : state) {
        auto diff = toSecond ? lumora::PHDiff::steps(first, second) : lumora::PHDiff::steps(second, first);
        steps = diff.size();
        benchmark::DoNotOptimize(diff);
        toSecond = !toSecond;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["steps"] = static_cast<double>(steps);
}

void BM_ScrubStep600Frames(benchmark::State& state) {
    static Scrubber* scrubber = new Scrubber();  // the index is costly to build: once per process
    int i = 0;
    for (auto _ : state) scrubber->step(i++);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_UpdateStrip500)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DiffOnly500)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ScrubStep600Frames)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// ---- Instructions ----------------------------------------------------------------------------------------------

constexpr int kCountedUpdates = 20;

// Runs the counted work of `mode` with collection on only around it; returns the number of operations.
int countedWork(const std::string& mode) {
    if (mode == "update") {
        Strip strip;
        strip.update(lists().second);  // warm: both lists seen once
        strip.update(lists().first);
        CALLGRIND_TOGGLE_COLLECT;
        for (int i = 0; i < kCountedUpdates; ++i) strip.update(i % 2 == 0 ? lists().second : lists().first);
        CALLGRIND_TOGGLE_COLLECT;
        return kCountedUpdates;
    }
    if (mode == "diff") {
        auto first = lists().first, second = lists().second;
        auto byTime = [](const auto& a, const auto& b) { return a.startTime < b.startTime; };
        std::stable_sort(first.begin(), first.end(), byTime);
        std::stable_sort(second.begin(), second.end(), byTime);
        CALLGRIND_TOGGLE_COLLECT;
        for (int i = 0; i < kCountedUpdates; ++i) {
            auto diff = i % 2 == 0 ? lumora::PHDiff::steps(first, second) : lumora::PHDiff::steps(second, first);
            benchmark::DoNotOptimize(diff);
        }
        CALLGRIND_TOGGLE_COLLECT;
        return kCountedUpdates;
    }
    Scrubber scrubber;
    scrubber.step(0);
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < kScrubSteps; ++i) scrubber.step(i);
    CALLGRIND_TOGGLE_COLLECT;
    return kScrubSteps;
}

}  // namespace

int main(int argc, char** argv) {
    bool callgrind = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--count-instructions=", 0) == 0) {
            countedWork(arg.substr(arg.find('=') + 1));
            return 0;
        }
        if (arg == "--no-callgrind") callgrind = false;
    }
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) != "--no-callgrind") rest.push_back(argv[i]);
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
    std::printf(
        "Strip: %d events on 100 times, then the same reshuffled with %d replaced (and back); "
        "scrubbing: %d values across %d frames of 320 x 180\n\n",
        kEvents, kReplaced, kScrubSteps, kFrames);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!callgrind) return 0;

    std::printf("\nInstructions (callgrind, collection only around the work):\n");
    const struct {
        const char* mode;
        const char* what;
        int operations;
    } modes[] = {{"update", "strip update of 500 events", kCountedUpdates},
                 {"diff", "array diff of the same lists", kCountedUpdates},
                 {"scrub", "scrub step", kScrubSteps}};
    for (const auto& m : modes) {
        if (auto total = bench::collectedInstructions({std::string("--count-instructions=") + m.mode})) {
            std::printf("  %-32s %12.0f instructions per operation\n", m.what, *total / m.operations);
        } else {
            std::printf("  %-32s (valgrind did not run)\n", m.what);
        }
    }
    return 0;
}
