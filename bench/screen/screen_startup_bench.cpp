// The player screen's start-up: from `play(withAssetId:)` for a protected asset to the media player playing
// (a signed-in viewer, the keys fetched, the first media buffered), through the whole screen, beside the same
// HTTP requests made one after the other by bare libcurl on one connection. The back end runs in a process of
// its own; the rounds of the two sides alternate. Reports the median wall time of each side and their ratio
// (goal: the screen within 1.2× of bare libcurl), the times a thread of the bench process went to sleep
// waiting in a round (each a wake-up: what a hand-over between threads costs on a busy machine), and, when
// valgrind is installed, the instructions of each side per round counted by callgrind from `play` to playing
// (every thread of the bench process; the back end is not counted; the median of three runs of each side in
// turn; goal: within 1.5× of bare libcurl).
//
//   screen_startup_bench                       both measurements
//   screen_startup_bench --rounds N            N alternating rounds (default 25)
//   screen_startup_bench --serve               (internal) the back end: prints its address, serves until its
//                                              input closes
//   screen_startup_bench --measure SIDE N      (internal) N rounds of SIDE ("screen" or "curl") with
//                                              callgrind's instrumentation switched on
#include <valgrind/callgrind.h>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BenchSupport.h"
#include "authentication/AuthConfiguration.h"
#include "authentication/LumoraAuthManager.h"
#include "authentication/ZuAuthManager.h"
#include "devserver/Backend.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"
#include "foundation/URLSession.h"
#include "kitfoundation/Configuration.h"
#include "playback/LicenceRedirect.h"
#include "playservice/PlayAssetDependencies.h"
#include "playservice/VideoAPI.h"
#include "screen/ZuPlayerViewController.h"
#include "telemetry/YouboraManager.h"
#include "uikit/UIWindow.h"

namespace {

using Clock = std::chrono::steady_clock;
using devserver::testing::runUntil;

constexpr const char* kAsset = "vod-protected";
constexpr int kDefaultRounds = 25;
constexpr int kCallgrindRounds = 5;
// Callgrind runs of each side, the sides taking turns: how libcurl hands over a body (in how many pieces, so how
// often a growing buffer is copied) differs from run to run, on both sides alike.
constexpr int kCallgrindRuns = 3;
constexpr double kGoal = 1.2;             // screen / bare libcurl, wall time
constexpr double kInstructionGoal = 1.5;  // screen / bare libcurl, instructions per round

// ---- The back end, in its own process ----

int serve() {
    // No stream limit: every round of the screen is a new viewing session of the same device.
    auto backend = devserver::Backend::start({.maxConcurrentStreams = 0, .keyRenewalDuration = "600"});
    if (!backend) {
        std::fprintf(stderr, "screen_startup_bench: the back end did not start: %s\n", backend.error().c_str());
        return 1;
    }
    bench::serveUntilInputCloses((*backend)->baseURL());
    (*backend)->stop();
    return 0;
}

// ---- bare libcurl ----

// One request as the back end received it.
struct Request {
    std::string method;
    std::string url;
    std::vector<std::string> headers;
    std::string body;
};

class Curl {
  public:
    Curl() : handle_(curl_easy_init()) {}
    ~Curl() { curl_easy_cleanup(handle_); }
    Curl(const Curl&) = delete;
    Curl& operator=(const Curl&) = delete;

    // The answer's status (0: no answer) and body.
    std::pair<long, std::string> perform(const Request& request) {
        std::string answer;
        curl_slist* list = nullptr;
        for (const auto& h : request.headers) list = curl_slist_append(list, h.c_str());
        curl_easy_reset(handle_);
        curl_easy_setopt(handle_, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, bench::appendToString);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &answer);
        // Every encoding libcurl decodes, as the kit's session asks: the back end compresses both sides alike.
        curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(handle_, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (request.method != "GET") {
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, request.body.c_str());
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
        }
        long status = 0;
        if (curl_easy_perform(handle_) == CURLE_OK) curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
        curl_slist_free_all(list);
        return {status, std::move(answer)};
    }

  private:
    CURL* handle_;
};

// The requests of the back end's log, in arrival order.
std::vector<Request> requestLog(const std::string& base) {
    Curl curl;
    auto [status, body] = curl.perform({"GET", base + "/_devserver/requests", {}, {}});
    std::vector<Request> requests;
    if (status != 200) return requests;
    for (const auto& entry : nlohmann::json::parse(body)) {
        Request r;
        r.method = entry.value("method", "GET");
        r.url = base + entry.value("path", "");
        const std::string query = entry.value("query", "");
        if (!query.empty()) r.url += "?" + query;
        for (const auto& pair : entry["headers"]) {
            const std::string name = pair[0];
            std::string lower = name;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            // What libcurl sets itself on the same connection.
            if (lower == "host" || lower == "content-length" || lower == "accept-encoding" || lower == "connection" ||
                lower == "user-agent" || lower == "accept") {
                continue;
            }
            r.headers.push_back(name + ": " + pair[1].get<std::string>());
        }
        r.body = entry.value("body", "");
        requests.push_back(std::move(r));
    }
    return requests;
}

void clearRequestLog(const std::string& base) {
    Curl curl;
    curl.perform({"DELETE", base + "/_devserver/requests", {}, {}});
}

// ---- The two sides ----

// Notes when the host is told that playback started (the load has completed).
class StepClock final : public lumora::ZuPlayerViewControllerDelegate {
  public:
    void playerControllerDidChangeStatus(lumora::ZuPlayerViewController&, lumora::ZuPlayerStatus status) override {
        if (status == lumora::ZuPlayerStatus::playing && !loaded) loaded = Clock::now();
    }
    std::optional<Clock::time_point> loaded;
};

class Bench {
  public:
    explicit Bench(std::string base) : base_(std::move(base)), redirect_("127.0.0.1", base_) {
        lumora::ConfigurationKey::setSourceForTesting([](std::string_view) { return std::nullopt; });
        keychain_ = std::filesystem::temp_directory_path() / ("screen_startup_bench." + std::to_string(getpid()));
        std::filesystem::remove_all(keychain_);
        auto configuration = lumora::AuthConfiguration::resolve({}, std::nullopt, "com.example.host");
        configuration.domain = base_;
        configuration.entitlementServiceURL = base_ + "/entitlement/";
        configuration.keychainDirectory = keychain_.string();
        lumora::LumoraAuthManager::shared().setAuthManager(lumora::LumoraAuthFactory::makeAuthManager(configuration));

        auto tokens = [] { return lumora::LumoraAuthManager::shared().accessToken(); };
        videoAPI_ = lumora::VideoAPI::create(lumora::PlayAssetDependencies::make(base_, tokens), tokens);
        analytics_ = lumora::YouboraManager::create({
            .pluginConfig =
                [collector = base_ + "/analytics/beacons"] {
                    youboralib::YBPluginConfig config;
                    config.collectorURL = collector;
                    return config;
                },
        });
        window_ = uikit::UIWindow::create(uikit::CGRect{0, 0, 640, 360});
        window_->makeKeyAndVisible();
    }
    ~Bench() { std::filesystem::remove_all(keychain_); }

    bool signIn() {
        std::optional<bool> done;
        rx::DisposeBag bag;
        lumora::ZuAuthManager::shared()
            .login("demo@lumora.dev", "lumora-demo")
            .subscribe([&](const bool& ok) { done = ok; }, [&](const foundation::Error&) { done = false; })
            .disposed(bag);
        return runUntil([&] { return done.has_value(); }, std::chrono::seconds(60)) && *done;
    }

    // One round of the screen: a new screen in the window plays the asset until the media player plays; the
    // real seconds from `play` to playing, nothing when it did not get there.
    __attribute__((noinline)) std::optional<double> screenRound() {
        auto screen = lumora::ZuPlayerViewController::create({.videoAPI = videoAPI_, .analytics = analytics_});
        auto steps = std::make_shared<StepClock>();
        screen->setDelegate(steps);
        window_->setRootViewController(screen);
        // The screen is on screen (laid out and drawn) when the host asks it to play.
        dispatch::RunLoop::main().runUntilIdle();
        const auto& player = screen->player()->avplayer();
        std::optional<Clock::time_point> content;
        if (counting_) CALLGRIND_START_INSTRUMENTATION;
        const long waits = bench::threadWaits();
        const auto start = Clock::now();
        screen->play(kAsset);
        const bool playing = runUntil(
            [&] {
                if (!content && screen->streamContent()) content = Clock::now();
                return player->timeControlStatus() == avfoundation::AVPlayer::TimeControlStatus::playing;
            },
            std::chrono::seconds(60));
        const auto end = Clock::now();
        lastWaits_ = bench::threadWaits() - waits;
        if (counting_) CALLGRIND_STOP_INSTRUMENTATION;
        if (printSteps_ && content && steps->loaded) {
            auto ms = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - start).count(); };
            std::printf("  %8.3f ms  stream content (sign-in checked, play request answered)\n", ms(*content));
            std::printf("  %8.3f ms  loaded (playlists read, item in the player; analytics, start event, play)\n",
                        ms(*steps->loaded));
            std::printf("  %8.3f ms  playing (keys fetched, first media buffered)\n", ms(end));
        }
        if (afterPlaying_) afterPlaying_();
        window_->setRootViewController(nullptr);
        screen.reset();
        // What the screen left under way (buffering ahead, its start event, analytics) finishes outside
        // the measured time.
        dispatch::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(50));
        if (!playing) return std::nullopt;
        return std::chrono::duration<double>(end - start).count();
    }

    // The screen's requests from `play` to playing, as the back end received them. The log is read the moment
    // the screen plays, when a request the screen has just sent may not have arrived yet (the second segment,
    // which the screen mostly asks for before it plays): the longest list of three rounds is kept, so that the
    // bare side makes the same requests in every run.
    bool captureScreenRequests() {
        std::vector<Request> longest;
        for (int round = 0; round < 3; ++round) {
            clearRequestLog(base_);
            afterPlaying_ = [this] { requests_ = requestLog(base_); };
            const bool ok = screenRound().has_value();
            afterPlaying_ = nullptr;
            if (!ok) return false;
            if (requests_.size() > longest.size()) longest = std::move(requests_);
        }
        requests_ = std::move(longest);
        return !requests_.empty();
    }
    const std::vector<Request>& requests() const { return requests_; }

    // One round of bare libcurl: the screen's requests, one after the other, on one connection.
    __attribute__((noinline)) std::optional<double> curlRound() {
        if (counting_) CALLGRIND_START_INSTRUMENTATION;
        const long waits = bench::threadWaits();
        const auto start = Clock::now();
        bool answered = true;
        for (const auto& request : requests_) {
            if (curl_.perform(request).first == 0) {
                answered = false;
                break;
            }
        }
        const auto end = Clock::now();
        lastWaits_ = bench::threadWaits() - waits;
        if (counting_) CALLGRIND_STOP_INSTRUMENTATION;
        if (!answered) return std::nullopt;
        return std::chrono::duration<double>(end - start).count();
    }

    // Under callgrind: count the instructions of the measured stretch of each round (every thread of the
    // process), and only those.
    void setCounting(bool counting) { counting_ = counting; }
    // Prints when each step of the screen's rounds was reached.
    void setPrintSteps(bool print) { printSteps_ = print; }
    // The threads' waits of the last round's measured stretch.
    long lastWaits() const { return lastWaits_; }

  private:
    std::string base_;
    lumora::LicenceRedirect redirect_;
    std::filesystem::path keychain_;
    std::shared_ptr<lumora::VideoAPI> videoAPI_;
    std::shared_ptr<lumora::YouboraManager> analytics_;
    std::shared_ptr<uikit::UIWindow> window_;
    std::vector<Request> requests_;
    std::function<void()> afterPlaying_;
    Curl curl_;
    bool counting_ = false;
    bool printSteps_ = false;
    long lastWaits_ = 0;
};

// ---- Under callgrind: N rounds of one side ----

int measure(const std::string& side, int rounds) {
    bench::ServerProcess backend({bench::selfPath(), "--serve"});
    Bench bench(backend.baseURL());
    if (!bench.signIn() || !bench.captureScreenRequests()) return 3;
    // A round of the side first, so that what is made once is not counted.
    const bool screen = side == "screen";
    if (!(screen ? bench.screenRound() : bench.curlRound())) return 4;
    CALLGRIND_ZERO_STATS;
    bench.setCounting(true);
    for (int i = 0; i < rounds; ++i) {
        if (!(screen ? bench.screenRound() : bench.curlRound())) return 5;
    }
    bench.setCounting(false);
    CALLGRIND_DUMP_STATS_AT("measured rounds");
    return 0;
}

// The instructions per round of the measured rounds of `side`, counted in a callgrind run of their own.
std::optional<double> instructionsPerRound(const std::string& side) {
    const auto counts =
        bench::runUnderCallgrind({"--measure", side, std::to_string(kCallgrindRounds)}, {"--instr-atstart=no"});
    if (!counts || !counts->contains("measured rounds")) return std::nullopt;
    return counts->at("measured rounds") / kCallgrindRounds;
}

int compare(int rounds) {
    std::vector<double> screenSeconds, curlSeconds, screenWaits, curlWaits;
    std::size_t requestCount = 0;
    {
        bench::ServerProcess backend({bench::selfPath(), "--serve"});
        Bench bench(backend.baseURL());
        if (!bench.signIn()) {
            std::fprintf(stderr, "screen_startup_bench: the viewer could not sign in\n");
            return 1;
        }
        // A first round warms both sides and shows which requests the bare side repeats.
        if (!bench.captureScreenRequests() || !bench.curlRound()) {
            std::fprintf(stderr, "screen_startup_bench: the warm-up round failed\n");
            return 1;
        }
        requestCount = bench.requests().size();
        std::printf("The screen's requests from play to playing (the bare side repeats them in this order):\n");
        for (const auto& r : bench.requests()) std::printf("  %s %s\n", r.method.c_str(), r.url.c_str());
        std::printf("One round of the screen, real time of each step:\n");
        bench.setPrintSteps(true);
        bench.screenRound();
        bench.setPrintSteps(false);
        const bool ran = bench::rotatingRounds(rounds, 2, [&](std::size_t side, int) {
            const bool screen = side == 0;
            auto seconds = screen ? bench.screenRound() : bench.curlRound();
            if (!seconds) {
                std::fprintf(stderr, "screen_startup_bench: a %s round failed\n", screen ? "screen" : "curl");
                return false;
            }
            (screen ? screenSeconds : curlSeconds).push_back(*seconds * 1000);
            (screen ? screenWaits : curlWaits).push_back(static_cast<double>(bench.lastWaits()));
            return true;
        });
        if (!ran) return 1;
    }

    // Each side's instructions per round in runs of their own, taking turns; the median of each side and of the
    // runs' ratios.
    const auto counted = bench::instructionsInRounds(
        kCallgrindRuns, 2, [](std::size_t side) { return instructionsPerRound(side == 0 ? "screen" : "curl"); });
    std::optional<double> screenInstructions, curlInstructions;
    if (!counted[0].empty() && !counted[1].empty()) {
        screenInstructions = bench::median(counted[0]);
        curlInstructions = bench::median(counted[1]);
    }

    std::printf("\nplay(withAssetId:) -> playing, protected asset, %d alternating rounds, %zu requests\n", rounds,
                requestCount);
    std::printf("%-34s %12s %12s %14s %22s\n", "", "median ms", "min ms", "thread waits", "instructions/round");
    auto row = [](const char* name, const std::vector<double>& ms, const std::vector<double>& waits,
                  const std::optional<double>& instructions) {
        char counted[32] = "(no valgrind)";
        if (instructions) std::snprintf(counted, sizeof counted, "%.2f M", *instructions / 1e6);
        std::printf("%-34s %12.3f %12.3f %14.0f %22s\n", name, bench::median(ms),
                    *std::min_element(ms.begin(), ms.end()), bench::median(waits), counted);
    };
    row("player screen", screenSeconds, screenWaits, screenInstructions);
    row("bare libcurl, same requests", curlSeconds, curlWaits, curlInstructions);
    // The median of the ratios of the rounds taken one after the other (a screen round and a curl round), so
    // that a machine that speeds up or slows down moves both alike.
    std::printf("screen / bare libcurl: %s wall time",
                bench::verdict(bench::pairedRatio(screenSeconds, curlSeconds), kGoal).c_str());
    if (screenInstructions && curlInstructions) {
        std::printf(", %s instructions (%zu runs of %d rounds each)",
                    bench::verdict(bench::pairedRatio(counted[0], counted[1]), kInstructionGoal).c_str(),
                    counted[0].size(), kCallgrindRounds);
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--serve") return serve();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = 0;
    if (argc >= 4 && std::string(argv[1]) == "--measure") {
        status = measure(argv[2], std::atoi(argv[3]));
    } else {
        int rounds = kDefaultRounds;
        if (argc >= 3 && std::string(argv[1]) == "--rounds") rounds = std::max(1, std::atoi(argv[2]));
        status = compare(rounds);
    }
    curl_global_cleanup();
    return status;
}
