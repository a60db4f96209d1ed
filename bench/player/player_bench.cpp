// One simulated second of playback (ten 0.1 s ticks) with the player view: its periodic observer and six
// observations of the media player, the ad proxy watching 200 ads in 50 breaks, and six reactive observers
// bound to the published state, side by side with the media player alone (one empty 0.1 s observer). The
// rounds of the two alternate; each reports wall time per simulated second, and, when valgrind is installed,
// instructions per tick counted by callgrind over one measured second (goal for the player view: fewer than
// 100,000). The HLS origin runs in a process of its own and the stream is fully buffered before measuring,
// so no network work falls inside a measured second.
//
//   player_bench                  both measurements
//   player_bench --serve          (internal) the origin: prints its address, serves until its input closes
//   player_bench --measure NAME   (internal) one second of NAME with callgrind's collection switched on
#include <valgrind/callgrind.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "avfoundation/AVPlayer.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"
#include "playback/ZuPlayer.h"
#include "playback/ZuPlayerReactive.h"
#include "uikit/UIWindow.h"

namespace {

using coremedia::CMTime;
using coremedia::kPreferredTimescale;
using devserver::testing::runUntil;

constexpr int kSegments = 60;  // six minutes of 6-second segments
constexpr double kStreamSeconds = kSegments * 6.0;
constexpr int kRounds = 15;
constexpr int kCallgrindRounds = 3;

// ---- The origin, in its own process ----

int serve() {
    auto service = std::make_shared<devserver::testing::HlsTestService>();
    service->setSegmentSize(188);
    service->setPlaylist("/long/master.m3u8",
                         devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
    service->setPlaylist("/long/media.m3u8", devserver::testing::mediaPlaylist(kSegments, 6.0));
    auto server = devserver::Server::start({.services = {service}, .echo = false});
    if (!server) {
        std::fprintf(stderr, "player_bench: the origin did not start: %s\n", server.error().c_str());
        return 1;
    }
    bench::serveUntilInputCloses((*server)->baseURL());
    service->shutdown();
    (*server)->stop();
    return 0;
}

// ---- What is measured ----

class Scenario {
  public:
    virtual ~Scenario() = default;
    virtual const char* name() const = 0;
    virtual std::shared_ptr<avfoundation::AVPlayer> mediaPlayer() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;

    // Ready for a measured second: playing from a buffered position, nothing pending on the main loop.
    void prepare(dispatch::testing::ManualClockScope& clock) {
        if (mediaPlayer()->currentTime().seconds() > kStreamSeconds - 30) {
            mediaPlayer()->seek(CMTime(0.0, kPreferredTimescale));
            runUntil([&] { return clock.runUntilIdle() == 0; });
        }
        play();
        clock.runUntilIdle();
    }
    void finish(dispatch::testing::ManualClockScope& clock) {
        pause();
        clock.runUntilIdle();
    }
};

// Waits until the whole stream is buffered.
bool bufferAll(const std::shared_ptr<avfoundation::AVPlayer>& player) {
    return runUntil(
        [&] {
            auto item = player->currentItem();
            if (!item) return false;
            auto ranges = item->loadedTimeRanges();
            return !ranges.empty() && ranges.back().end().seconds() >= kStreamSeconds;
        },
        std::chrono::seconds(120));
}

class MediaPlayerAlone final : public Scenario {
  public:
    static std::unique_ptr<MediaPlayerAlone> make(const std::string& base) {
        auto s = std::make_unique<MediaPlayerAlone>();
        auto item = avfoundation::AVPlayerItem::create(*foundation::URL::fromString(base + "/long/master.m3u8"));
        item->setPreferredForwardBufferDuration(kStreamSeconds + 60);
        s->player_ = avfoundation::AVPlayer::create(item);
        s->token_ = s->player_->addPeriodicTimeObserver(CMTime(0.1, kPreferredTimescale), nullptr, [](CMTime) {});
        if (!bufferAll(s->player_)) return nullptr;
        return s;
    }
    ~MediaPlayerAlone() override { player_->removeTimeObserver(token_); }
    const char* name() const override { return "media player alone"; }
    std::shared_ptr<avfoundation::AVPlayer> mediaPlayer() const override { return player_; }
    void play() override { player_->play(); }
    void pause() override { player_->pause(); }

  private:
    std::shared_ptr<avfoundation::AVPlayer> player_;
    std::any token_;
};

// 50 breaks, one every 300 s from 120 s, each of 4 ads of 15 s back to back.
lumora::AdGroups fiftyBreaksOfFour() {
    lumora::AdGroups groups;
    for (int g = 0; g < 50; ++g) {
        std::vector<lumora::AdInfo> group;
        for (int a = 0; a < 4; ++a) {
            group.emplace_back("ad-" + std::to_string(g) + "-" + std::to_string(a), 120.0 + g * 300.0 + a * 15.0, 15.0);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

class AdCounter final : public lumora::ZuPlayerAdDelegate {
  public:
    void didStartAdDisplay(const lumora::AdDisplayInfo&, int) override { ++events; }
    void didFinishAdDisplay(const lumora::AdDisplayInfo&, int, bool) override { ++events; }
    long events = 0;
};

class PlayerView final : public Scenario {
  public:
    static std::unique_ptr<PlayerView> make(const std::string& base) {
        auto s = std::make_unique<PlayerView>();
        s->window_ = uikit::UIWindow::create(uikit::CGRect{0, 0, 640, 360});
        s->window_->makeKeyAndVisible();
        auto proxy = lumora::VideoPlayerProxy::create(lumora::AdSignallingService::create());
        proxy->update(fiftyBreaksOfFour());
        s->player_ = lumora::ZuPlayer::create(5.0, proxy);
        s->player_->setAdDelegate(s->ads_);
        s->window_->addSubview(s->player_);
        bool loaded = false;
        s->player_->load(*foundation::URL::fromString(base + "/long/master.m3u8"), std::nullopt,
                         [&](lumora::ZuPlayer&, std::optional<foundation::Error> error) { loaded = !error; });
        if (!runUntil([&] { return loaded; })) return nullptr;
        s->player_->avplayer()->currentItem()->setPreferredForwardBufferDuration(kStreamSeconds + 60);
        if (!bufferAll(s->player_->avplayer())) return nullptr;

        // Six observers of the published state, as the controls bind them.
        auto face = s->player_->rx();
        face.currentTime().subscribe([](const CMTime&) {}).disposed(s->bag_);
        face.duration().subscribe([](const CMTime&) {}).disposed(s->bag_);
        face.durationWithouAds().subscribe([](const CMTime&) {}).disposed(s->bag_);
        face.loadedTimeRanges().subscribe([](const lumora::ZuPlayer::LoadedTimeRanges&) {}).disposed(s->bag_);
        face.rate().subscribe([](const float&) {}).disposed(s->bag_);
        face.timeControlStatus().subscribe([](const lumora::ZuPlayer::TimeControlStatus&) {}).disposed(s->bag_);
        return s;
    }
    const char* name() const override { return "player view, ad proxy (200 ads), 6 observers"; }
    std::shared_ptr<avfoundation::AVPlayer> mediaPlayer() const override { return player_->avplayer(); }
    void play() override { player_->play(false); }
    void pause() override { player_->pause(false); }

  private:
    std::shared_ptr<uikit::UIWindow> window_;
    std::shared_ptr<lumora::ZuPlayer> player_;
    std::shared_ptr<AdCounter> ads_ = std::make_shared<AdCounter>();
    rx::DisposeBag bag_;
};

std::unique_ptr<Scenario> makeScenario(const std::string& name, const std::string& base) {
    if (name == "media") return MediaPlayerAlone::make(base);
    if (name == "player") return PlayerView::make(base);
    return nullptr;
}

// ---- Under callgrind: one measured second ----

int measure(const std::string& name) {
    bench::ServerProcess origin({bench::selfPath(), "--serve"});
    dispatch::testing::ManualClockScope clock;
    auto scenario = makeScenario(name, origin.baseURL());
    if (!scenario) return 3;
    // A second first, so that what is made once is not counted.
    scenario->prepare(clock);
    clock.advance(1.0);
    scenario->prepare(clock);
    const double from = scenario->mediaPlayer()->currentTime().seconds();
    CALLGRIND_TOGGLE_COLLECT;
    clock.advance(1.0);
    CALLGRIND_TOGGLE_COLLECT;
    if (std::abs(scenario->mediaPlayer()->currentTime().seconds() - from - 1.0) > 1e-6) return 4;
    scenario->finish(clock);
    scenario.reset();
    return 0;
}

int compare() {
    const char* names[] = {"media", "player"};
    std::vector<std::vector<double>> wall(2);
    {
        bench::ServerProcess origin({bench::selfPath(), "--serve"});
        dispatch::testing::ManualClockScope clock;
        std::vector<std::unique_ptr<Scenario>> scenarios;
        for (const char* name : names) {
            scenarios.push_back(makeScenario(name, origin.baseURL()));
            if (!scenarios.back()) {
                std::fprintf(stderr, "player_bench: the %s scenario did not load its stream\n", name);
                return 1;
            }
        }
        // Each scenario plays alone while it is measured.
        const bool played = bench::rotatingRounds(kRounds, 2, [&](std::size_t i, int) {
            scenarios[i]->prepare(clock);
            const double from = scenarios[i]->mediaPlayer()->currentTime().seconds();
            const auto start = std::chrono::steady_clock::now();
            clock.advance(1.0);
            const auto end = std::chrono::steady_clock::now();
            const double moved = scenarios[i]->mediaPlayer()->currentTime().seconds() - from;
            scenarios[i]->finish(clock);
            if (std::abs(moved - 1.0) > 1e-6) {
                std::fprintf(stderr, "player_bench: %s played %.3f s instead of one second\n", scenarios[i]->name(),
                             moved);
                return false;
            }
            wall[i].push_back(std::chrono::duration<double, std::micro>(end - start).count());
            return true;
        });
        if (!played) return 1;
    }

    const auto instructions = bench::instructionsInRounds(kCallgrindRounds, 2, [&](std::size_t i) {
        auto total = bench::collectedInstructions({"--measure", names[i]});
        return total ? std::optional(*total / 10.0) : std::nullopt;
    });

    std::printf("One simulated second of playback (10 ticks of 0.1 s), %d alternating rounds\n", kRounds);
    bench::printTable({48, "wall µs/s med", "wall µs/s min", "instructions/tick"},
                      {"media player alone (one empty observer)", "player view, ad proxy (200 ads), 6 observers"}, wall,
                      instructions);
    if (!instructions[1].empty()) {
        const double perTick = bench::median(instructions[1]);
        std::printf("goal: player view below 100000 instructions per tick: %s (%.0f)\n",
                    perTick < 100000 ? "met" : "NOT MET", perTick);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--serve") return serve();
    if (argc >= 3 && std::string(argv[1]) == "--measure") return measure(argv[2]);
    return compare();
}
