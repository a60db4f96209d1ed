// The player screen's start-up: from `play(withAssetId:)` for a protected asset to the media player playing
// (a signed-in viewer, the keys fetched, the first media buffered), through the whole screen, beside the same
// HTTP requests made one after the other by bare libcurl on one connection. The back end runs in a process of
// its own; the rounds of the two sides alternate. Reports the median wall time of each side and their ratio
// (goal: the screen within 1.10× of bare libcurl), and, when valgrind is installed, the instructions of each
// side per round counted by callgrind from `play` to playing (every thread of the bench process; the back end
// is not counted).
//
//   screen_startup_bench                       both measurements
//   screen_startup_bench --rounds N            N alternating rounds (default 25)
//   screen_startup_bench --serve               (internal) the back end: prints its address, serves until its
//                                              input closes
//   screen_startup_bench --measure SIDE N      (internal) N rounds of SIDE ("screen" or "curl") with
//                                              callgrind's instrumentation switched on
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "authentication/AuthConfiguration.h"
#include "authentication/LumoraAuthManager.h"
#include "authentication/ZuAuthManager.h"
#include "avfoundation/testing/HlsTestService.h"
#include "devserver/Backend.h"
#include "dispatch/RunLoop.h"
#include "foundation/URLSession.h"
#include "kitfoundation/Configuration.h"
#include "playback/LicenceRedirect.h"
#include "playservice/PlayAssetDependencies.h"
#include "playservice/VideoAPI.h"
#include "screen/ZuPlayerViewController.h"
#include "telemetry/YouboraManager.h"
#include "uikit/UIWindow.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using avfoundation::testing::runUntil;

constexpr const char* kAsset = "vod-protected";
constexpr int kDefaultRounds = 25;
constexpr int kCallgrindRounds = 5;

// ---- The back end, in its own process ----

int serve() {
    // No stream limit: every round of the screen is a new viewing session of the same device.
    auto backend = devserver::Backend::start({.maxConcurrentStreams = 0, .keyRenewalDuration = "600"});
    if (!backend) {
        std::fprintf(stderr, "screen_startup_bench: the back end did not start: %s\n", backend.error().c_str());
        return 1;
    }
    std::printf("%s\n", (*backend)->baseURL().c_str());
    std::fflush(stdout);
    char c;
    while (read(STDIN_FILENO, &c, 1) > 0) {
    }
    (*backend)->stop();
    return 0;
}

std::string selfPath(const char* argv0) {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(argv0) : path.string();
}

// Runs `arguments` with its standard input and output on pipes; waits for it when released.
class Child {
  public:
    explicit Child(const std::vector<std::string>& arguments) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = fdopen(out[0], "r");
    }
    ~Child() { wait(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0 && output_; }
    std::optional<std::string> readLine() {
        char line[512];
        if (!output_ || !std::fgets(line, sizeof line, output_)) return std::nullopt;
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }
    // Closes its input and waits for it to end (reading what it still writes); its exit status.
    int wait() {
        if (input_ >= 0) close(std::exchange(input_, -1));
        if (output_) {
            while (readLine()) {
            }
            std::fclose(std::exchange(output_, nullptr));
        }
        int status = 0;
        if (pid_ > 0 && waitpid(std::exchange(pid_, -1), &status, 0) > 0 && WIFEXITED(status)) {
            return WEXITSTATUS(status);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    FILE* output_ = nullptr;
};

// ---- bare libcurl ----

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

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
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, appendBody);
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
        const auto start = Clock::now();
        screen->play(kAsset);
        const bool playing = runUntil(
            [&] {
                if (!content && screen->streamContent()) content = Clock::now();
                return player->timeControlStatus() == avfoundation::AVPlayer::TimeControlStatus::playing;
            },
            std::chrono::seconds(60));
        const auto end = Clock::now();
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

    // The screen's requests from `play` to playing, as the back end received them.
    bool captureScreenRequests() {
        clearRequestLog(base_);
        afterPlaying_ = [this] { requests_ = requestLog(base_); };
        const bool ok = screenRound().has_value();
        afterPlaying_ = nullptr;
        return ok && !requests_.empty();
    }
    const std::vector<Request>& requests() const { return requests_; }

    // One round of bare libcurl: the screen's requests, one after the other, on one connection.
    __attribute__((noinline)) std::optional<double> curlRound() {
        if (counting_) CALLGRIND_START_INSTRUMENTATION;
        const auto start = Clock::now();
        bool answered = true;
        for (const auto& request : requests_) {
            if (curl_.perform(request).first == 0) {
                answered = false;
                break;
            }
        }
        const auto end = Clock::now();
        if (counting_) CALLGRIND_STOP_INSTRUMENTATION;
        if (!answered) return std::nullopt;
        return std::chrono::duration<double>(end - start).count();
    }

    // Under callgrind: count the instructions of the measured stretch of each round (every thread of the
    // process), and only those.
    void setCounting(bool counting) { counting_ = counting; }
    // Prints when each step of the screen's rounds was reached.
    void setPrintSteps(bool print) { printSteps_ = print; }

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
};

std::optional<std::string> startBackend(std::unique_ptr<Child>& backend, const std::string& self) {
    backend = std::make_unique<Child>(std::vector<std::string>{self, "--serve"});
    if (!backend->started()) return std::nullopt;
    return backend->readLine();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// ---- Under callgrind: N rounds of one side ----

int measure(const std::string& side, int rounds, const std::string& self) {
    std::unique_ptr<Child> backend;
    auto base = startBackend(backend, self);
    if (!base) return 2;
    Bench bench(*base);
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

// The instructions of the measured rounds, from the dump callgrind wrote for them.
std::optional<double> measuredInstructions(const std::filesystem::path& prefix) {
    std::optional<double> total;
    for (const auto& entry : std::filesystem::directory_iterator(prefix.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix.filename().string())) continue;
        std::ifstream in(entry.path());
        bool measured = false;
        std::optional<double> found;
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with("desc: Trigger:") && line.find("measured rounds") != std::string::npos)
                measured = true;
            if (line.starts_with("summary:") || line.starts_with("totals:"))
                found = std::stod(line.substr(line.find(':') + 1));
        }
        if (measured && found) total = found;
        std::filesystem::remove(entry.path());
    }
    return total;
}

std::optional<double> instructionsPerRound(const std::string& side, const std::string& self) {
    const auto prefix =
        std::filesystem::temp_directory_path() / ("screen_startup_bench." + std::to_string(getpid()) + "." + side);
    Child run({"valgrind", "--tool=callgrind", "--instr-atstart=no", "--callgrind-out-file=" + prefix.string(), "-q",
               self, "--measure", side, std::to_string(kCallgrindRounds)});
    if (!run.started() || run.wait() != 0) return std::nullopt;
    auto total = measuredInstructions(prefix);
    if (!total) return std::nullopt;
    return *total / kCallgrindRounds;
}

bool hasValgrind() {
    Child probe({"valgrind", "--version"});
    return probe.started() && probe.wait() == 0;
}

int compare(int rounds, const std::string& self) {
    std::unique_ptr<Child> backend;
    auto base = startBackend(backend, self);
    if (!base) {
        std::fprintf(stderr, "screen_startup_bench: the back end did not start\n");
        return 1;
    }
    std::vector<double> screenSeconds, curlSeconds;
    std::size_t requestCount = 0;
    {
        Bench bench(*base);
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
        for (int round = 0; round < rounds; ++round) {
            for (int k = 0; k < 2; ++k) {
                const bool screen = (round + k) % 2 == 0;
                auto seconds = screen ? bench.screenRound() : bench.curlRound();
                if (!seconds) {
                    std::fprintf(stderr, "screen_startup_bench: a %s round failed\n", screen ? "screen" : "curl");
                    return 1;
                }
                (screen ? screenSeconds : curlSeconds).push_back(*seconds * 1000);
            }
        }
    }
    backend.reset();

    std::optional<double> screenInstructions, curlInstructions;
    if (hasValgrind()) {
        screenInstructions = instructionsPerRound("screen", self);
        curlInstructions = instructionsPerRound("curl", self);
    }

    const double screenMedian = median(screenSeconds);
    const double curlMedian = median(curlSeconds);
    std::printf("\nplay(withAssetId:) -> playing, protected asset, %d alternating rounds, %zu requests\n", rounds,
                requestCount);
    std::printf("%-34s %12s %12s %22s\n", "", "median ms", "min ms", "instructions/round");
    auto row = [](const char* name, const std::vector<double>& ms, const std::optional<double>& instructions) {
        char counted[32] = "(no valgrind)";
        if (instructions) std::snprintf(counted, sizeof counted, "%.1f M", *instructions / 1e6);
        std::printf("%-34s %12.3f %12.3f %22s\n", name, median(ms), *std::min_element(ms.begin(), ms.end()), counted);
    };
    row("player screen", screenSeconds, screenInstructions);
    row("bare libcurl, same requests", curlSeconds, curlInstructions);
    const double ratio = curlMedian > 0 ? screenMedian / curlMedian : 0;
    std::printf("screen / bare libcurl: %.2fx wall time (goal within 1.10x: %s)", ratio,
                ratio <= 1.10 ? "met" : "NOT MET");
    if (screenInstructions && curlInstructions && *curlInstructions > 0) {
        std::printf(", %.2fx instructions", *screenInstructions / *curlInstructions);
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string self = selfPath(argv[0]);
    if (argc >= 2 && std::string(argv[1]) == "--serve") return serve();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = 0;
    if (argc >= 4 && std::string(argv[1]) == "--measure") {
        status = measure(argv[2], std::atoi(argv[3]), self);
    } else {
        int rounds = kDefaultRounds;
        if (argc >= 3 && std::string(argv[1]) == "--rounds") rounds = std::max(1, std::atoi(argv[2]));
        status = compare(rounds, self);
    }
    curl_global_cleanup();
    return status;
}
