// Start-up of the example host on loopback: from "play asset" (the viewer's sign-in) to the first tick of
// the playing player, through the kit (sign-in, entitlement token, play request, playlists, certificate and
// licences through the key loader, first segment, player), against the bare sequence of the same HTTP
// requests made by plain libcurl on one easy handle: identity token, entitlement token, play, master and
// media playlist, certificate, one licence per key, first segment (same bodies, same Accept-Encoding).
// Both against the same back end, which runs in a process of its own; wall time in interleaved rounds and
// instructions (callgrind).
// The kit's side is the whole host starting: the window laid out, the login screen presented, the
// credentials typed and the login screen dismissed at the real clock's pace, then the play. It is a figure
// to watch, not a like-for-like comparison, so it has no goal; the kit's start-up against the same requests
// alone is bench/screen's (`play` to playing through the player screen, goal within 1.10x).
//
// Run: build/release/bench/demo_host/demo_host_bench [--rounds N] [--trace 1 (one run's timeline and request log)]
#include <curl/curl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BenchSupport.h"
#include "demo_harness/DemoHarness.h"
#include "devserver/LicenceService.h"
#include "kitfoundation/Log.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRunsPerRound = 5;

std::string& backendPlist() {
    static std::string path;
    return path;
}

// Records the real time from the start of the run (the sign-in) to the first playing tick.
class FirstTick final : public demoharness::TimelineSink {
  public:
    bool print = false;
    void record(const demoharness::TimelineEvent& event) override {
        if (print) std::printf("  %8.3f ms  %s\n", event.realSeconds * 1000, event.text.c_str());
        if (event.kind == demoharness::TimelineEvent::Kind::playbackStarted) seconds = event.realSeconds;
        if (event.kind == demoharness::TimelineEvent::Kind::failed) failure = event.text;
    }
    std::optional<double> seconds;
    std::string failure;
};

bool kitOnce(double timeoutSeconds = 10, bool print = false) {
    demoharness::Options options;
    options.speed = 1;
    options.timeoutSeconds = timeoutSeconds;
    options.stopAtFirstPlayingTick = true;
    options.backendPlist = backendPlist();
    FirstTick sink;
    sink.print = print;
    const auto status = demoharness::runDemoHost(options, sink);
    if (status != demoharness::ExitStatus::success || !sink.seconds) {
        std::fprintf(stderr, "demo_host_bench: the kit's run failed: %s\n",
                     sink.failure.empty() ? "no playing tick" : sink.failure.c_str());
        return false;
    }
    return true;
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
                                       const std::vector<std::string>& headers, const char* method = nullptr) {
        std::string answer;
        curl_slist* list = nullptr;
        for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
        curl_easy_reset(handle_);
        curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &answer);
        curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
        // Every encoding libcurl can decode, as the kit's URL session asks: the back end then treats the
        // answers of both sides alike.
        curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, "");
        if (body) {
            curl_easy_setopt(handle_, CURLOPT_POST, 1L);
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, body->c_str());
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        }
        if (method) curl_easy_setopt(handle_, CURLOPT_CUSTOMREQUEST, method);
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

// The bodies the kit sent in its first run (the same credentials, client ids and asset-info body), read back
// from the back end's request log.
struct Captured {
    std::string identityBody;
    std::string entitlementBody;
    std::string playBody;
};

Captured capture(Curl& curl, const std::string& base) {
    Captured c;
    const auto log = curl.request(base + "/_devserver/requests", nullptr, {});
    if (!log) return c;
    for (const auto& entry : nlohmann::json::parse(*log)) {
        const std::string path = entry.value("path", "");
        const std::string body = entry.value("body", "");
        if (path == "/oauth/token" && body.find("password") != std::string::npos) c.identityBody = body;
        if (path == "/entitlement/oauth/token") c.entitlementBody = body;
        if (path == "/api/v3/play") c.playBody = body;
    }
    return c;
}

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
bool bareOnce(Curl& curl, const std::string& base, const Captured& captured) {
    const std::vector<std::string> json{"Content-Type: application/json"};
    auto identity = curl.request(base + "/oauth/token", &captured.identityBody, json);
    if (!identity) return false;
    const std::string identityToken = nlohmann::json::parse(*identity).value("access_token", "");
    auto entitlement = curl.request(base + "/entitlement/oauth/token", &captured.entitlementBody,
                                    {"Content-Type: application/json", "Authorization: Bearer " + identityToken});
    if (!entitlement) return false;
    const std::string bearer = "Authorization: Bearer " + nlohmann::json::parse(*entitlement).value("access_token", "");
    auto play = curl.request(base + "/api/v3/play", &captured.playBody,
                             {"Content-Type: application/json", "X-Vimond-Subprofile: ", bearer});
    if (!play) return false;
    const auto answer = nlohmann::json::parse(*play);
    const std::string manifest = answer["stream"]["manifestUrl"];
    const std::string certificateURL = answer["stream"]["protection"]["certificateUrl"];
    auto master = curl.request(manifest, nullptr, {});
    if (!master) return false;
    std::string variant;
    std::istringstream masterLines(*master);
    for (std::string line; std::getline(masterLines, line);) {
        if (!line.empty() && line[0] != '#') {
            variant = resolve(manifest, line);
            break;
        }
    }
    auto media = curl.request(variant, nullptr, {});
    if (!media) return false;
    std::vector<std::pair<std::string, std::string>> keys;  // content id, key id
    std::string firstSegment;
    std::istringstream mediaLines(*media);
    for (std::string line; std::getline(mediaLines, line);) {
        if (line.starts_with("#EXT-X-KEY")) keys.emplace_back(queryValue(line, "contentId"), queryValue(line, "keyId"));
        if (firstSegment.empty() && !line.empty() && line[0] != '#') firstSegment = resolve(variant, line);
    }
    auto certificate = curl.request(certificateURL, nullptr, {});
    if (!certificate) return false;
    for (const auto& [contentId, keyId] : keys) {
        const std::string spc = devserver::licence::serverPlaybackContext(*certificate, contentId);
        if (!curl.request(base + "/fairplay/license?contentId=" + contentId + "&keyId=" + keyId, &spc, {bearer})) {
            return false;
        }
    }
    return curl.request(firstSegment, nullptr, {}).has_value();
}

// A host property list naming the back end at `base` (as a host application's Info.plist would).
std::string writeHostPlist(const std::string& base) {
    const fs::path folder = fs::temp_directory_path() / ("lumora-demo-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path plist = folder / "Host.plist";
    std::ofstream(plist) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
                         << "<key>CFBundleIdentifier</key><string>dev.lumora.demo-host-bench-" << ::getpid()
                         << "</string>\n"
                         << "<key>SDK_PlayServiceURL</key><string>" << base << "</string>\n"
                         << "<key>SDK_Auth0Domain</key><string>" << base << "</string>\n"
                         << "<key>SDK_EntitlementServiceURL</key><string>" << base << "/entitlement/</string>\n"
                         << "</dict></plist>\n";
    return plist.string();
}

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (bench::instructionMode(argc, argv)) {
        const std::string base = *bench::option(argc, argv, "--server");
        backendPlist() = writeHostPlist(base);
        Curl curl;
        if (!kitOnce(120)) return 1;
        const Captured captured = capture(curl, base);
        if (!bareOnce(curl, base, captured)) return 1;
        bench::countInstructions("kit", [] {
            if (!kitOnce(120)) std::exit(1);
        });
        bench::countInstructions("bare libcurl sequence", [&] {
            if (!bareOnce(curl, base, captured)) std::exit(1);
        });
        fs::remove_all(fs::path(backendPlist()).parent_path());
        return 0;
    }

    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("11"));
    bench::ServerProcess server("backend");
    const std::string base = server.baseURL();
    backendPlist() = writeHostPlist(base);
    Curl curl;
    // A first kit run sets the process up (the kit's settings point at the back end) and shows which
    // requests the bare sequence must repeat.
    curl.request(base + "/_devserver/requests", nullptr, {}, "DELETE");
    if (!kitOnce()) return 1;
    const Captured captured = capture(curl, base);
    if (!bareOnce(curl, base, captured)) {
        std::fprintf(stderr, "demo_host_bench: the bare sequence failed\n");
        return 1;
    }
    if (bench::option(argc, argv, "--trace")) {
        // One run with its timeline and the kit's request log (real times), to see where the time goes.
        lumora::debugLogEnabled = true;
        kitOnce(10, true);
        lumora::debugLogEnabled = false;
        curl.request(base + "/_devserver/requests", nullptr, {}, "DELETE");
        std::printf("A second run:\n");
        kitOnce(10, true);
        if (const auto log = curl.request(base + "/_devserver/requests", nullptr, {})) {
            std::printf("Its requests:\n");
            for (const auto& entry : nlohmann::json::parse(*log)) {
                std::printf("  %s %s\n", entry.value("method", "").c_str(), entry.value("path", "").c_str());
            }
        }
        return 0;
    }
    const std::vector<bench::Side> sides{{"kit: host start to first playing tick",
                                          [](int n) {
                                              for (int i = 0; i < n; ++i) {
                                                  if (!kitOnce()) std::exit(1);
                                              }
                                          }},
                                         {"bare libcurl sequence of the same requests", [&](int n) {
                                              for (int i = 0; i < n; ++i) {
                                                  if (!bareOnce(curl, base, captured)) std::exit(1);
                                              }
                                          }}};
    const auto perOp = bench::interleave(sides, rounds, kRunsPerRound);
    bench::printWall("Play asset -> first playing tick", sides, perOp, 0, 1, 0, "ms", 1e3);
    if (auto counts = bench::runUnderCallgrind({"--instructions", "--server", base})) {
        bench::printInstructions("Play asset -> first playing tick, instructions", *counts, "kit",
                                 "bare libcurl sequence", 1, 0);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    fs::remove_all(fs::path(backendPlist()).parent_path());
    return 0;
}
