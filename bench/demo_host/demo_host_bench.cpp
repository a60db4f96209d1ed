// The example host's start-up as the viewer feels it: from the tap on "Login" to the first playing moment of
// the player, through the whole host (sign-in and its keychain item, entitlement token, play request,
// playlists, certificate and licences, the first segments, analytics and the first player event), against
// bare libcurl making the same requests, in the order the back end received them, one after the other on one
// easy handle, and the same durable write (the keychain item: a new file, fsync, rename, fsync of its folder).
// What happens before the tap (the window, the login screen, the typing) is outside the measure on both sides.
//
// The back end runs in a process of its own; the sides take turns in rotating rounds; wall time per round,
// and instructions per run counted by callgrind between the tap and the first playing moment (every thread of
// the measured process). The whole program runs inside a temporary data folder (TMPDIR, HOME and the XDG
// folders point into it), removed when it ends: no keychain item, device id or host bundle is left behind.
//
// Run: build/release/bench/demo_host/demo_host_bench [--rounds N] [--instruction-rounds N] [--trace 1]
//      (--trace: one run's timeline in real milliseconds and the requests the bare side repeats)
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BenchSupport.h"
#include "demo_harness/DemoHarness.h"
#include "devserver/LicenceService.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDefaultRounds = 21;
constexpr int kDefaultInstructionRounds = 3;

// ---- The data folder the whole program runs in ----

// Made at start-up and removed at exit (also after std::exit), after every run of the kit has ended.
const bench::DataFolder& dataFolder() {
    static bench::DataFolder folder("demo-host-bench");
    return folder;
}

// ---- The kit's side: the example host, driven by the harness ----

// A host property list naming the back end at `base`, as a host application's Info.plist would.
std::string writeHostPlist(const std::string& base) {
    const fs::path plist = dataFolder().path() / "Host.plist";
    std::ofstream(plist) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
                         << "<key>CFBundleIdentifier</key><string>dev.lumora.demo-host-bench</string>\n"
                         << "<key>SDK_PlayServiceURL</key><string>" << base << "</string>\n"
                         << "<key>SDK_Auth0Domain</key><string>" << base << "</string>\n"
                         << "<key>SDK_EntitlementServiceURL</key><string>" << base << "/entitlement/</string>\n"
                         << "<key>SDK_YouboraCollectorURL</key><string>" << base << "/analytics/beacons</string>\n"
                         << "</dict></plist>\n";
    return plist.string();
}

// Hears the tap on "Login" and the first playing moment, in real seconds since the run began.
class Stopwatch final : public demoharness::TimelineSink {
  public:
    std::function<void()> onTap;
    std::function<void()> onPlaying;
    bool print = false;

    void record(const demoharness::TimelineEvent& event) override {
        if (print) std::printf("  %9.3f ms  %s\n", event.realSeconds * 1000, event.text.c_str());
        using Kind = demoharness::TimelineEvent::Kind;
        if (event.kind == Kind::viewer && event.text == "viewer: tapped \"Login\"") {
            tap = event.realSeconds;
            if (onTap) onTap();
        } else if (event.kind == Kind::playbackStarted) {
            playing = event.realSeconds;
            if (onPlaying) onPlaying();
        } else if (event.kind == Kind::failed) {
            failure = event.text;
        }
    }
    std::optional<double> tap;
    std::optional<double> playing;
    std::string failure;
};

// One run of the host up to the first playing moment; the seconds from the tap to it, or nothing.
std::optional<double> kitOnce(const std::string& plist, Stopwatch& watch) {
    demoharness::Options options;
    options.speed = 1;
    options.timeoutSeconds = 120;
    options.stopAtFirstPlayingTick = true;
    options.backendPlist = plist;
    const auto status = demoharness::runDemoHost(options, watch);
    if (status != demoharness::ExitStatus::success || !watch.tap || !watch.playing) {
        std::fprintf(stderr, "demo_host_bench: the host's run failed: %s\n",
                     watch.failure.empty() ? "no tap or no playing moment" : watch.failure.c_str());
        return std::nullopt;
    }
    return *watch.playing - *watch.tap;
}

// ---- The bare side: the same requests and the same durable write ----

struct Request {
    std::string method;
    std::string target;  // path and query
    std::vector<std::string> headers;
    std::string body;
};

// What the bare side repeats: the kit's requests between the tap and the first playing moment, as the back end
// received them, and the size of the keychain item the kit wrote.
struct Plan {
    std::vector<Request> requests;
    std::size_t keychainItemBytes = 0;

    nlohmann::json toJSON() const {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& r : requests) {
            list.push_back({{"method", r.method}, {"target", r.target}, {"headers", r.headers}, {"body", r.body}});
        }
        return {{"requests", list}, {"keychainItemBytes", keychainItemBytes}};
    }
    static Plan fromJSON(const nlohmann::json& json) {
        Plan plan;
        for (const auto& r : json.at("requests")) {
            plan.requests.push_back({r.at("method"), r.at("target"), r.at("headers"), r.at("body")});
        }
        plan.keychainItemBytes = json.at("keychainItemBytes");
        return plan;
    }
};

class Curl {
  public:
    Curl() : handle_(curl_easy_init()) {}
    ~Curl() { curl_easy_cleanup(handle_); }
    Curl(const Curl&) = delete;
    Curl& operator=(const Curl&) = delete;

    // One request on the reused handle; the body of a 2xx answer, nothing otherwise.
    std::optional<std::string> request(const std::string& method, const std::string& url,
                                       const std::vector<std::string>& headers, const std::string* body) {
        std::string answer;
        curl_slist* list = nullptr;
        for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
        curl_easy_reset(handle_);
        curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &bench::appendToString);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &answer);
        curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
        // Every encoding libcurl can decode, as the kit's URL session asks.
        curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, "");
        if (body) {
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, body->data());
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        }
        if (method != "GET" && method != "POST") curl_easy_setopt(handle_, CURLOPT_CUSTOMREQUEST, method.c_str());
        if (method == "GET") curl_easy_setopt(handle_, CURLOPT_HTTPGET, 1L);
        const CURLcode code = curl_easy_perform(handle_);
        long status = 0;
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
        curl_slist_free_all(list);
        if (code != CURLE_OK || status < 200 || status > 299) return std::nullopt;
        return answer;
    }
    std::optional<std::string> get(const std::string& url) { return request("GET", url, {}, nullptr); }

  private:
    CURL* handle_;
};

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
}

std::string bearerOf(const Request& request) {
    for (const auto& header : request.headers) {
        if (header.rfind("Authorization: Bearer ", 0) == 0) return header.substr(22);
    }
    return {};
}

std::string queryValue(const std::string& target, const std::string& name) {
    const auto query = target.find('?');
    if (query == std::string::npos) return {};
    for (std::size_t at = query + 1; at < target.size();) {
        const auto end = std::min(target.find('&', at), target.size());
        const std::string pair = target.substr(at, end - at);
        if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return {};
}

// The keychain's durable write, as it makes it: a new file of the item's size, flushed to disk, renamed over
// the item, and the folder flushed for the rename.
bool writeKeychainItem(const fs::path& folder, std::size_t bytes) {
    static unsigned long counter = 0;
    const fs::path item = folder / "bench_credentials.item";
    const fs::path temporary = folder / ("bench_credentials.item.tmp." + std::to_string(counter++));
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    const std::string contents(bytes, 'c');
    bool ok = ::fchmod(fd, 0600) == 0 && ::write(fd, contents.data(), contents.size()) == ssize_t(contents.size()) &&
              ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), item.c_str()) == 0;
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return ok;
}

// The plan's requests once, with this round's own tokens (the identity provider's and the entitlement
// service's answers) in place of the kit's, and the keychain item written once the identity token is in.
// False when a step failed.
bool bareOnce(Curl& curl, const std::string& base, const Plan& plan) {
    const fs::path keychain = dataFolder().path() / "bare-keychain";
    fs::create_directories(keychain);
    std::map<std::string, std::string> tokens;  // the kit's token -> this round's
    std::string certificate;
    for (const auto& captured : plan.requests) {
        Request request = captured;
        for (const auto& [from, to] : tokens) {
            for (auto& header : request.headers) replaceAll(header, from, to);
            replaceAll(request.body, from, to);
        }
        // The licence request's body is made from the certificate, as the kit's key loader makes it.
        if (request.target.rfind("/fairplay/license", 0) == 0) {
            request.body =
                devserver::licence::serverPlaybackContext(certificate, queryValue(request.target, "contentId"));
        }
        const bool hasBody = request.method != "GET" && request.method != "HEAD";
        auto answer =
            curl.request(request.method, base + request.target, request.headers, hasBody ? &request.body : nullptr);
        if (!answer) {
            std::fprintf(stderr, "demo_host_bench: the bare %s %s failed\n", request.method.c_str(),
                         request.target.c_str());
            return false;
        }
        if (request.target.rfind("/fairplay/certificate", 0) == 0) certificate = *answer;
        const bool identity = request.target == "/oauth/token";
        if (identity || request.target == "/entitlement/oauth/token") {
            // The next request that carries a token carries this one: the kit's is known from its capture.
            const auto json = nlohmann::json::parse(*answer, nullptr, false);
            if (!json.is_object() || !json.contains("access_token")) return false;
            const auto next = std::find_if(&captured + 1, plan.requests.data() + plan.requests.size(),
                                           [](const Request& r) { return !bearerOf(r).empty(); });
            if (next != plan.requests.data() + plan.requests.size()) tokens[bearerOf(*next)] = json["access_token"];
        }
        if (identity && !writeKeychainItem(keychain, plan.keychainItemBytes)) return false;
    }
    return true;
}

// The headers the bare side sends again: the connection's own are libcurl's to make.
std::vector<std::string> replayedHeaders(const nlohmann::json& headers) {
    std::vector<std::string> out;
    for (const auto& header : headers) {
        std::string name = header.at(0);
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower == "host" || lower == "content-length" || lower == "connection" || lower == "accept-encoding" ||
            lower == "transfer-encoding" || lower == "expect") {
            continue;
        }
        out.push_back(name + ": " + header.at(1).get<std::string>());
    }
    return out;
}

// One run of the host whose requests from the tap to the first playing moment become the bare side's plan.
std::optional<Plan> capture(const std::string& base, const std::string& plist, bool print) {
    Curl control;
    std::optional<std::string> log;
    Stopwatch watch;
    watch.print = print;
    watch.onTap = [&] { control.request("DELETE", base + "/_devserver/requests", {}, nullptr); };
    watch.onPlaying = [&] { log = control.get(base + "/_devserver/requests"); };
    if (!kitOnce(plist, watch) || !log) return std::nullopt;
    Plan plan;
    for (const auto& entry : nlohmann::json::parse(*log)) {
        std::string target = entry.value("path", "");
        if (const std::string query = entry.value("query", ""); !query.empty()) target += "?" + query;
        plan.requests.push_back(
            {entry.value("method", "GET"), target, replayedHeaders(entry.at("headers")), entry.value("body", "")});
    }
    // The keychain item the sign-in wrote, in the run's folder.
    for (const auto& folder : fs::directory_iterator(fs::temp_directory_path())) {
        if (!fs::is_directory(folder.path() / "keychain")) continue;
        for (const auto& item : fs::directory_iterator(folder.path() / "keychain")) {
            if (item.path().extension() == ".item") plan.keychainItemBytes = fs::file_size(item.path());
        }
    }
    if (plan.requests.empty() || plan.keychainItemBytes == 0) return std::nullopt;
    return plan;
}

// ---- Instructions: one side, under callgrind, collected from the tap to the first playing moment ----

int countOneSide(const std::string& side, const std::string& base, const std::string& planPath) {
    const std::string plist = writeHostPlist(base);
    if (side == "kit") {
        Stopwatch warmUp;
        if (!kitOnce(plist, warmUp)) return 1;  // sets the process up, as the wall-time rounds are
        Stopwatch watch;
        watch.onTap = [] { CALLGRIND_TOGGLE_COLLECT; };
        watch.onPlaying = [] { CALLGRIND_TOGGLE_COLLECT; };
        return kitOnce(plist, watch) ? 0 : 1;
    }
    std::ifstream in(planPath);
    const Plan plan = Plan::fromJSON(nlohmann::json::parse(in));
    Curl curl;
    if (!bareOnce(curl, base, plan)) return 1;
    CALLGRIND_TOGGLE_COLLECT;
    const bool ok = bareOnce(curl, base, plan);
    CALLGRIND_TOGGLE_COLLECT;
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    dataFolder();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (bench::instructionMode(argc, argv)) {
        return countOneSide(bench::option(argc, argv, "--side").value_or(""),
                            bench::option(argc, argv, "--server").value_or(""),
                            bench::option(argc, argv, "--plan").value_or(""));
    }

    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or(std::to_string(kDefaultRounds)));
    const int instructionRounds = std::stoi(
        bench::option(argc, argv, "--instruction-rounds").value_or(std::to_string(kDefaultInstructionRounds)));
    const bool trace = bench::option(argc, argv, "--trace").has_value();

    bench::ServerProcess server("backend");
    const std::string base = server.baseURL();
    const std::string plist = writeHostPlist(base);
    // The first run sets the process up (the kit reads its settings once) and shows what the bare side repeats.
    const auto plan = capture(base, plist, trace);
    if (!plan) {
        std::fprintf(stderr, "demo_host_bench: no plan: the host's run failed or wrote no keychain item\n");
        return 1;
    }
    Curl curl;
    if (!bareOnce(curl, base, *plan)) return 1;
    if (trace) {
        std::printf("The bare side's requests (and one keychain item of %zu bytes):\n", plan->keychainItemBytes);
        for (const auto& r : plan->requests) std::printf("  %s %s\n", r.method.c_str(), r.target.c_str());
        return 0;
    }

    // Wall time: rotating rounds, each side once a round (one unmeasured round first).
    std::vector<std::vector<double>> wall(2);
    const bool ran = bench::rotatingRounds(rounds + 1, 2, [&](std::size_t side, int round) {
        std::optional<double> seconds;
        if (side == 0) {
            Stopwatch watch;
            seconds = kitOnce(plist, watch);
        } else {
            const auto start = std::chrono::steady_clock::now();
            if (bareOnce(curl, base, *plan)) {
                seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            }
        }
        if (!seconds) return false;
        if (round > 0) wall[side].push_back(*seconds * 1e3);
        return true;
    });
    if (!ran) return 1;

    const fs::path planPath = dataFolder().path() / "plan.json";
    std::ofstream(planPath) << plan->toJSON().dump();
    const auto instructions = bench::instructionsInRounds(instructionRounds, 2, [&](std::size_t side) {
        return bench::collectedInstructions(
            {"--instructions", "--side", side == 0 ? "kit" : "bare", "--server", base, "--plan", planPath.string()});
    });

    std::printf(
        "Tap on \"Login\" -> first playing moment, the example host against bare libcurl (%zu requests and "
        "one keychain write; %d rounds, back end in its own process):\n",
        plan->requests.size(), rounds);
    bench::printTable({44, "median ms", "least ms", "instructions"},
                      {"example host (kit, whole host)", "bare libcurl, same requests and write"}, wall, instructions);
    std::printf("  ratio, median of the rounds' ratios: %.2fx wall", bench::pairedRatio(wall[0], wall[1]));
    if (!instructions[0].empty() && !instructions[1].empty()) {
        std::printf(", %.2fx instructions", bench::median(instructions[0]) / bench::median(instructions[1]));
    }
    std::printf(" (goal 1.5x)\n");
    return 0;
}
