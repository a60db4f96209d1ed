// Start-up of the example host on loopback: from "play asset" (the viewer's sign-in) to the first tick of
// the playing player, through the kit (sign-in, entitlement token, play request, playlists, certificate and
// licence through the key loader, first segment, player), against the bare sequence of the same HTTP
// requests made by plain libcurl on one easy handle: identity token, entitlement token, play, master and
// media playlist, certificate, one licence per key, first segment (same bodies, same Accept-Encoding).
// Both against the same embedded back end, side by side in one run. Goal: the kit within 1.10x of the
// bare sequence (medians).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DemoHost.h"
#include "EmbeddedBackend.h"
#include "devserver/LicenceService.h"

namespace {

std::shared_ptr<demohost::EmbeddedBackend>& backend() {
    static std::shared_ptr<demohost::EmbeddedBackend> b = [] {
        auto started = demohost::startEmbeddedBackend();
        if (!started) {
            std::fprintf(stderr, "demo_host_bench: %s\n", started.error().c_str());
            std::exit(1);
        }
        return *started;
    }();
    return b;
}

// Records the real time from the start of the run (the sign-in) to the first playing tick.
class FirstTick final : public demohost::TimelineSink {
  public:
    explicit FirstTick(bool print = false) : print_(print) {}
    void record(const demohost::TimelineEvent& event) override {
        if (print_) std::printf("  %8.3f ms  %s\n", event.realSeconds * 1000, event.text.c_str());
        if (event.kind == demohost::TimelineEvent::Kind::playbackStarted) seconds = event.realSeconds;
        if (event.kind == demohost::TimelineEvent::Kind::failed) failure = event.text;
    }
    std::optional<double> seconds;
    std::string failure;

  private:
    bool print_;
};

std::optional<double> kitOnce(std::string* failure = nullptr, bool print = false) {
    demohost::Options options;
    options.speed = 1;
    options.timeoutSeconds = 10;
    options.stopAtFirstPlayingTick = true;
    options.backend = backend();
    FirstTick sink(print);
    const auto status = demohost::runDemoHost(options, sink);
    if (status != demohost::ExitStatus::success || !sink.seconds) {
        if (failure) *failure = sink.failure.empty() ? "no playing tick" : sink.failure;
        return std::nullopt;
    }
    return sink.seconds;
}

// ---- The bare sequence ----

struct Captured {
    std::string identityBody;
    std::string entitlementBody;
    std::string playBody;
};

// The bodies the kit sent in its first run (the same credentials, client ids and asset-info body).
Captured& captured() {
    static Captured c;
    return c;
}

void captureKitRequests() {
    auto& log = backend()->server().requestLog();
    for (const auto& r : log.entries("/oauth/token")) {
        if (r.body.find("password") != std::string::npos) captured().identityBody = r.body;
    }
    if (auto e = log.entries("/entitlement/oauth/token"); !e.empty()) captured().entitlementBody = e.back().body;
    if (auto p = log.entries("/api/v3/play"); !p.empty()) captured().playBody = p.back().body;
}

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

class Curl {
  public:
    Curl() : handle_(curl_easy_init()) {}
    ~Curl() { curl_easy_cleanup(handle_); }

    // One request; the body of a 2xx answer, nothing otherwise.
    std::optional<std::string> request(const std::string& url, const std::string* body,
                                       const std::vector<std::string>& headers) {
        std::string answer;
        curl_slist* list = nullptr;
        for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
        curl_easy_reset(handle_);
        curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &answer);
        // Every encoding libcurl can decode, as the kit's URL session asks ("deflate, gzip, br, zstd"): the
        // back end then compresses the answers of both sides alike.
        curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, "");
        if (body) {
            curl_easy_setopt(handle_, CURLOPT_POST, 1L);
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, body->c_str());
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        }
        const CURLcode code = curl_easy_perform(handle_);
        long status = 0;
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
        curl_slist_free_all(list);
        if (code != CURLE_OK || status < 200 || status > 299) return std::nullopt;
        return answer;
    }

  private:
    CURL* handle_;
};

std::string resolve(const std::string& base, const std::string& reference) {
    if (reference.find("://") != std::string::npos) return reference;
    return base.substr(0, base.rfind('/') + 1) + reference;
}

std::string queryValue(const std::string& uri, const std::string& name) {
    const auto at = uri.find(name + "=");
    if (at == std::string::npos) return {};
    const auto start = at + name.size() + 1;
    return uri.substr(start, uri.find_first_of("&\"", start) - start);
}

// The bare sequence once; false when a step failed.
bool bareOnce(Curl& curl, std::string* failure = nullptr, bool print = false) {
    const std::string base = backend()->baseURL();
    const auto start = std::chrono::steady_clock::now();
    auto step = [&](const char* name) {
        if (print) {
            std::printf("  %8.3f ms  %s\n",
                        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                        name);
        }
    };
    auto fail = [&](const std::string& step) {
        if (failure) *failure = step;
        return false;
    };
    const std::vector<std::string> json{"Content-Type: application/json"};
    auto identity = curl.request(base + "/oauth/token", &captured().identityBody, json);
    if (!identity) return fail("identity token");
    step("identity token");
    const std::string identityToken = nlohmann::json::parse(*identity).value("access_token", "");
    auto entitlement = curl.request(base + "/entitlement/oauth/token", &captured().entitlementBody,
                                    {"Content-Type: application/json", "Authorization: Bearer " + identityToken});
    if (!entitlement) return fail("entitlement token");
    step("entitlement token");
    const std::string token = nlohmann::json::parse(*entitlement).value("access_token", "");
    const std::string bearer = "Authorization: Bearer " + token;
    auto play = curl.request(base + "/api/v3/play", &captured().playBody,
                             {"Content-Type: application/json", "X-Vimond-Subprofile: ", bearer});
    if (!play) return fail("play");
    step("play");
    const auto answer = nlohmann::json::parse(*play);
    const std::string manifest = answer["stream"]["manifestUrl"];
    const std::string certificateURL = answer["stream"]["protection"]["certificateUrl"];

    auto master = curl.request(manifest, nullptr, {});
    if (!master) return fail("master playlist");
    step("master playlist");
    std::string variant;
    std::istringstream masterLines(*master);
    for (std::string line; std::getline(masterLines, line);) {
        if (!line.empty() && line[0] != '#') {
            variant = resolve(manifest, line);
            break;
        }
    }
    auto media = curl.request(variant, nullptr, {});
    if (!media) return fail("media playlist");
    step("media playlist");
    std::vector<std::pair<std::string, std::string>> keys;  // content id, key id
    std::string firstSegment;
    std::istringstream mediaLines(*media);
    for (std::string line; std::getline(mediaLines, line);) {
        if (line.starts_with("#EXT-X-KEY")) keys.emplace_back(queryValue(line, "contentId"), queryValue(line, "keyId"));
        if (firstSegment.empty() && !line.empty() && line[0] != '#') firstSegment = resolve(variant, line);
    }
    auto certificate = curl.request(certificateURL, nullptr, {});
    if (!certificate) return fail("certificate");
    step("certificate");
    for (const auto& [contentId, keyId] : keys) {
        const std::string spc = devserver::licence::serverPlaybackContext(*certificate, contentId);
        if (!curl.request(base + "/fairplay/license?contentId=" + contentId + "&keyId=" + keyId, &spc, {bearer})) {
            return fail("licence");
        }
        step("licence");
    }
    if (!curl.request(firstSegment, nullptr, {})) return fail("first segment");
    step("first segment");
    return true;
}

// ---- The benchmarks ----

void BM_KitPlayAssetToFirstPlayingTick(benchmark::State& state) {
    for (auto _ : state) {
        std::string failure;
        auto seconds = kitOnce(&failure);
        if (!seconds) {
            state.SkipWithError(failure.c_str());
            break;
        }
        state.SetIterationTime(*seconds);
    }
}

void BM_BareCurlSequence(benchmark::State& state) {
    Curl curl;
    for (auto _ : state) {
        std::string failure;
        const auto start = std::chrono::steady_clock::now();
        if (!bareOnce(curl, &failure)) {
            state.SkipWithError(("bare sequence failed at " + failure).c_str());
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

BENCHMARK(BM_KitPlayAssetToFirstPlayingTick)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_BareCurlSequence)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

class MedianReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> medians;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    curl_global_init(CURL_GLOBAL_DEFAULT);

    // A first kit run sets the process up (the kit's settings point at the back end) and warms both
    // sides; its requests show what the bare sequence must repeat.
    std::string failure;
    if (!kitOnce(&failure)) {
        std::fprintf(stderr, "demo_host_bench: the kit's warm-up run failed: %s\n", failure.c_str());
        return 1;
    }
    captureKitRequests();
    auto& log = backend()->server().requestLog();
    log.clear();
    std::printf("One kit run, real time of each step:\n");
    kitOnce(nullptr, true);
    std::printf("Its requests up to the first playing tick:\n");
    for (const auto& r : log.entries()) std::printf("  %s %s\n", r.method.c_str(), r.path.c_str());
    {
        Curl curl;
        std::printf("One bare sequence, real time of each step:\n");
        if (!bareOnce(curl, &failure, true)) {
            std::fprintf(stderr, "demo_host_bench: the bare sequence failed at %s\n", failure.c_str());
            return 1;
        }
    }

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto kit = reporter.medians.find("BM_KitPlayAssetToFirstPlayingTick");
    const auto bare = reporter.medians.find("BM_BareCurlSequence");
    if (kit != reporter.medians.end() && bare != reporter.medians.end() && bare->second > 0) {
        const double ratio = kit->second / bare->second;
        std::printf("\nPlay asset -> first playing tick: kit %.3f ms, bare libcurl sequence %.3f ms (medians)\n",
                    kit->second, bare->second);
        std::printf("Kit / bare: %.3fx (goal within 1.10x): %s\n", ratio, ratio <= 1.10 ? "met" : "NOT met");
    }
    benchmark::Shutdown();
    backend()->stop();
    curl_global_cleanup();
    return 0;
}
