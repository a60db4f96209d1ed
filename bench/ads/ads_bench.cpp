// One tick of the ad-aware player proxy with 200 ads in 50 breaks: the signalling check with its event
// delivery, and the conversions the player and the controls make on every time update.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"

namespace {

using coremedia::CMTime;
using coremedia::CMTimeRange;
using coremedia::kPreferredTimescale;
using lumora::AdGroups;
using lumora::AdInfo;

// Keeps the proxy's observer block so the benchmark can fire it directly.
class CapturingPlayer final : public lumora::PlayerInterface {
  public:
    std::any addPeriodicTimeObserver(CMTime, dispatch::DispatchQueue*, TimeObserverBlock block) override {
        this->block = std::move(block);
        return 1;
    }
    void removeTimeObserver(const std::any&) override { block = nullptr; }
    TimeObserverBlock block;
};

// 50 breaks, one every 300 s, each of 4 ads of 15 s back to back.
AdGroups fiftyBreaksOfFour() {
    AdGroups groups;
    for (int g = 0; g < 50; ++g) {
        std::vector<AdInfo> group;
        for (int a = 0; a < 4; ++a) {
            group.emplace_back("ad-" + std::to_string(g) + "-" + std::to_string(a), 120.0 + g * 300.0 + a * 15.0, 15.0);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

struct Fixture {
    Fixture() {
        proxy = lumora::VideoPlayerProxy::create(lumora::AdSignallingService::create());
        proxy->update(fiftyBreaksOfFour());
        player = std::make_shared<CapturingPlayer>();
        proxy->set(player);
        subscription = std::make_unique<combine::AnyCancellable>(
            proxy->adEventsPublisher().sink([this](const lumora::AdEvent&) { ++events; }));
    }
    std::shared_ptr<lumora::VideoPlayerProxy> proxy;
    std::shared_ptr<CapturingPlayer> player;
    std::unique_ptr<combine::AnyCancellable> subscription;
    long events = 0;
};

constexpr double kTimelineEnd = 50 * 300.0 + 120.0;

void BM_ProxyTick(benchmark::State& state) {
    Fixture f;
    const std::vector<CMTimeRange> loaded{
        {CMTime(0.0, kPreferredTimescale), CMTime(30.0, kPreferredTimescale)},
        {CMTime(100.0, kPreferredTimescale), CMTime(60.0, kPreferredTimescale)},
    };
    std::int64_t playheadNs = 0;
    const std::int64_t step = 100'000'000, end = static_cast<std::int64_t>(kTimelineEnd * 1e9);
    for (auto _ : state) {
        const CMTime now(playheadNs, kPreferredTimescale);
        f.player->block(now);
        const double p = now.seconds();
        benchmark::DoNotOptimize(f.proxy->currentTimeWithoutAds(p));
        benchmark::DoNotOptimize(f.proxy->durationWithoutAds(kTimelineEnd));
        benchmark::DoNotOptimize(f.proxy->timeRangeForAdAt(p));
        benchmark::DoNotOptimize(f.proxy->loadedTimeRangesWithoutAds(loaded));
        playheadNs = (playheadNs + step) % end;
    }
    state.counters["events"] = static_cast<double>(f.events);
}
BENCHMARK(BM_ProxyTick);

void BM_SignallingCheckOnly(benchmark::State& state) {
    Fixture f;
    std::int64_t playheadNs = 0;
    const std::int64_t step = 100'000'000, end = static_cast<std::int64_t>(kTimelineEnd * 1e9);
    for (auto _ : state) {
        f.player->block(CMTime(playheadNs, kPreferredTimescale));
        playheadNs = (playheadNs + step) % end;
    }
}
BENCHMARK(BM_SignallingCheckOnly);

void BM_ContentToStreamTime(benchmark::State& state) {
    Fixture f;
    double t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.proxy->currentTimeWithAds(t));
        t = t >= 12000 ? 0 : t + 0.1;
    }
}
BENCHMARK(BM_ContentToStreamTime);

}  // namespace

BENCHMARK_MAIN();
