// The media framework's costs on ordinary and on hostile streams:
//  - reading playlists: a long video on demand, eight variants, and media playlists with many content keys
//    (40,000 and 200,000 distinct keys, and 200,000 key lines over 1,000 keys);
//  - resolving one segment reference against its playlist's address, beside the same resolution done with
//    three libcurl URL parses and a reformat (how it was done before);
//  - one arriving segment at the media player while its item loads, on a playlist of 1,000 and one of
//    1,000,000 segments (the loaded ranges must cost the same per segment whatever the length), and the
//    peak memory of making that long item ready;
//  - one second of simulated playback with the observers the player view installs;
//  - three hours of a live stream that rotates its content key every two minutes, beside one that keeps a
//    single key: licence requests, renewals and keys held in each hour, and what each hour costs.
// Wall times come from Google Benchmark or from interleaved rounds; instructions from callgrind, which this
// program runs on itself around a fixed amount of work when valgrind is installed (`--no-callgrind` skips it).
//
//   avfoundation_bench                        everything
//   avfoundation_bench --part=P               one part: benchmarks (Google Benchmark, parsing and playback),
//                                             resolve, arrivals, live
//   avfoundation_bench --serve                (internal) the HLS origin: prints its address, serves until its
//                                             input closes
//   avfoundation_bench --count-instructions=M (internal) the work M with callgrind's collection on around it
//   avfoundation_bench --peak-memory N        (internal) makes the item of N segments ready, prints its peak RSS
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/resource.h>
#include <valgrind/callgrind.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "avfoundation/AVPlayer.h"
#include "avfoundation/HLS.h"
#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"

namespace {

namespace hls = avfoundation::hls;
using devserver::testing::runUntil;

const foundation::URL kBase = *foundation::URL::fromString("https://cdn.example.com/vod/asset-1/v3/media.m3u8");

// ---- Playlists ----

// Two hours in 1,800 segments of 4 s, with a FairPlay key, as a packager writes it.
std::string twoHourPlaylist() {
    std::string text =
        "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:4\n#EXT-X-MEDIA-SEQUENCE:0\n#EXT-X-PLAYLIST-TYPE:VOD\n"
        "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://keys.example.com/fairplay/license?contentId=asset-1&keyId=k1\","
        "KEYFORMAT=\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n";
    char line[96];
    for (int i = 0; i < 1800; ++i) {
        std::snprintf(line, sizeof line,
                      "#EXTINF:4.000,\n#EXT-X-PROGRAM-DATE-TIME:2026-01-01T00:00:00Z\nsegment_%05d.ts\n", i);
        text += line;
    }
    return text + "#EXT-X-ENDLIST\n";
}

std::string eightVariants() {
    std::string text = "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-INDEPENDENT-SEGMENTS\n";
    for (const char* language : {"en", "sv", "de", "fr"}) {
        text += std::string("#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"") + language + "\",LANGUAGE=\"" +
                language + "\",AUTOSELECT=YES,URI=\"subs/" + language + ".m3u8\"\n";
    }
    const int heights[] = {180, 270, 360, 432, 540, 720, 900, 1080};
    for (int i = 0; i < 8; ++i) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "#EXT-X-STREAM-INF:BANDWIDTH=%d,AVERAGE-BANDWIDTH=%d,CODECS=\"avc1.64001f,mp4a.40.2\","
                      "RESOLUTION=%dx%d,FRAME-RATE=25.000,SUBTITLES=\"subs\"\nv%d/media.m3u8\n",
                      (i + 1) * 750000, (i + 1) * 700000, heights[i] * 16 / 9, heights[i], i);
        text += line;
    }
    return text;
}

// `lines` key lines naming `distinct` different keys in turn, each followed by one 4-second segment
// (about 220 bytes a key: 40,000 distinct keys make 8.7 MB, 200,000 make 44 MB).
std::string keyedPlaylist(int lines, int distinct) {
    std::string text = "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:4\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    text.reserve(static_cast<std::size_t>(lines) * 224);
    char line[320];
    for (int i = 0; i < lines; ++i) {
        std::snprintf(line, sizeof line,
                      "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://keys.example.com/fairplay/license?contentId=asset-1&"
                      "keyId=key-%08d\",KEYFORMAT=\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n"
                      "#EXTINF:4.000,\nsegment_%07d.ts\n",
                      i % distinct, i);
        text += line;
    }
    return text + "#EXT-X-ENDLIST\n";
}

// ---- Resolving a reference: the playlist reader, and three libcurl parses as it was done before ----

struct CurlUrlDeleter {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};

std::optional<foundation::URL> resolveWithCurl(std::string_view reference, const foundation::URL& base) {
    std::unique_ptr<CURLU, CurlUrlDeleter> h(curl_url());
    constexpr unsigned flags = CURLU_NON_SUPPORT_SCHEME;
    if (curl_url_set(h.get(), CURLUPART_URL, base.absoluteString().c_str(), flags) != CURLUE_OK) return std::nullopt;
    const std::string ref(reference);
    if (curl_url_set(h.get(), CURLUPART_URL, ref.c_str(), flags) != CURLUE_OK) return std::nullopt;
    char* out = nullptr;
    if (curl_url_get(h.get(), CURLUPART_URL, &out, 0) != CURLUE_OK || !out) return std::nullopt;
    std::string resolved(out);
    curl_free(out);
    return foundation::URL::fromString(resolved);
}

// The references of a media playlist: mostly names beside the playlist, some up a folder or from the root.
const std::vector<std::string>& references() {
    static const std::vector<std::string> made = [] {
        std::vector<std::string> r;
        for (int i = 0; i < 64; ++i) {
            const std::string name = "segment_" + std::to_string(10000 + i) + ".ts";
            r.push_back(i % 8 == 6 ? "../v2/" + name : i % 8 == 7 ? "/vod/asset-1/v3/" + name : name);
        }
        return r;
    }();
    return made;
}

constexpr int kResolvesPerRound = 20000;
constexpr int kResolveRounds = 15;

void resolveMany(int n, bool withCurl) {
    const auto& refs = references();
    for (int i = 0; i < n; ++i) {
        const auto& ref = refs[static_cast<std::size_t>(i) % refs.size()];
        auto url = withCurl ? resolveWithCurl(ref, kBase) : hls::resolve(ref, kBase);
        benchmark::DoNotOptimize(url);
        if (!url) std::abort();
    }
}

// ---- Google Benchmark: parsing ----

void ParseTwoHourMediaPlaylist(benchmark::State& state) {
    const std::string text = twoHourPlaylist();
    for (auto _ : state) {
        auto playlist = hls::parseMedia(text, kBase);
        benchmark::DoNotOptimize(playlist);
        if (!playlist || playlist->segments.size() != 1800) state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ParseTwoHourMediaPlaylist)->Unit(benchmark::kMicrosecond);

void ParseMultivariantWithEightVariants(benchmark::State& state) {
    const std::string text = eightVariants();
    for (auto _ : state) {
        auto playlist = hls::parseMultivariant(text, kBase);
        benchmark::DoNotOptimize(playlist);
        if (!playlist || playlist->variants.size() != 8) state.SkipWithError("parse failed");
    }
}
BENCHMARK(ParseMultivariantWithEightVariants)->Unit(benchmark::kMicrosecond);

// A playlist of N distinct keys: read, or refused (a bound on keys), never a parse that grows with N².
void ParseDistinctKeys(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    const std::string text = keyedPlaylist(keys, keys);
    for (auto _ : state) {
        auto playlist = hls::parseMedia(text, kBase);
        benchmark::DoNotOptimize(playlist);
    }
    state.SetLabel(std::to_string(text.size() / 1000) + " kB");
}
BENCHMARK(ParseDistinctKeys)->Arg(40000)->Arg(200000)->Iterations(1)->Unit(benchmark::kMillisecond);

// 200,000 key lines cycling over 1,000 keys, each line before one segment: read whole.
void ParseRepeatedKeys(benchmark::State& state) {
    const std::string text = keyedPlaylist(200000, 1000);
    for (auto _ : state) {
        auto playlist = hls::parseMedia(text, kBase);
        benchmark::DoNotOptimize(playlist);
        if (!playlist || playlist->keys.size() != 1000) state.SkipWithError("parse failed");
    }
    state.SetLabel(std::to_string(text.size() / 1000) + " kB");
}
BENCHMARK(ParseRepeatedKeys)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- A live session ----

// 6-second segments in a one-minute window; the rotating stream takes a new key every two minutes, the other
// keeps one. Licences are renewed after 120 s (what the kit asks when a licence answer names no interval).
constexpr int kLiveWindow = 10;
constexpr int kSegmentsPerKey = 20;
constexpr double kLiveRenewal = 120;
constexpr int kLiveHours = 3;
constexpr int kReloadsPerHour = 600;
constexpr int kLiveRounds = 3;
const char* const kLiveSides[] = {"rotating", "single"};

std::string liveKey(bool rotating, long long segment) {
    return "skd://keys.example.com/fairplay/license?contentId=live-1&keyId=k" +
           std::to_string(rotating ? segment / kSegmentsPerKey : 0);
}

// The window from segment `first`, with a key line wherever the key changes.
std::string liveWindow(bool rotating, long long first) {
    std::map<int, std::string> keys;
    for (int i = 0; i < kLiveWindow; ++i) {
        if (i == 0 || liveKey(rotating, first + i) != liveKey(rotating, first + i - 1)) {
            keys[i] = liveKey(rotating, first + i);
        }
    }
    return devserver::testing::mediaPlaylist(kLiveWindow, 6.0, /*endList=*/false, first, keys);
}

// The stream of one session: a fresh path for each (the origin moves its window one segment on with each
// request of the media playlist, the item reloading once a target duration of its clock).
std::string livePath(std::size_t side, int session) {
    return "/live-" + std::string(kLiveSides[side]) + "-" + std::to_string(session) + "/";
}
constexpr int kLiveSessions = kLiveRounds + 1;  // a warm-up round, then the measured ones

// ---- The origin, in its own process ----

constexpr double kTinySegment = 0.01;  // seconds: a million of them is under three hours
constexpr int kArrivals = 100;         // segments measured after the item is ready
const long long kLengths[] = {1000, 1000000};

// The stream of `segments` segments: a multivariant playlist naming its media playlist, as a packager
// serves it (the asset reads the small one, the item the long one).
std::string lengthPath(long long segments) {
    return "/n" + std::to_string(segments) + "/master.m3u8";
}

int serve() {
    auto service = std::make_shared<devserver::testing::HlsTestService>();
    service->setSegmentSize(188);
    service->setPlaylist("/long/media.m3u8", devserver::testing::mediaPlaylist(1200, 6.0));
    for (long long n : kLengths) {
        const std::string folder = "/n" + std::to_string(n) + "/";
        service->setPlaylist(folder + "master.m3u8",
                             devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
        service->setPlaylist(folder + "media.m3u8",
                             devserver::testing::mediaPlaylist(static_cast<int>(n), kTinySegment));
    }
    for (std::size_t side = 0; side < 2; ++side) {
        for (int session = 0; session < kLiveSessions; ++session) {
            const std::string folder = livePath(side, session);
            service->setPlaylist(folder + "master.m3u8",
                                 devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
            service->setDynamicPlaylist(folder + "media.m3u8",
                                        [rotating = side == 0, next = std::make_shared<std::atomic<long long>>(0)] {
                                            return liveWindow(rotating, (*next)++);
                                        });
        }
    }
    auto server = devserver::Server::start({.services = {service}, .echo = false});
    if (!server) {
        std::fprintf(stderr, "avfoundation_bench: the origin did not start: %s\n", server.error().c_str());
        return 1;
    }
    bench::serveUntilInputCloses((*server)->baseURL());
    service->shutdown();
    (*server)->stop();
    return 0;
}

// ---- Segments arriving at a paused player ----

double loadedEnd(const avfoundation::AVPlayerItem& item) {
    const auto ranges = item.loadedTimeRanges();
    return ranges.empty() ? 0.0 : ranges.back().end().seconds();
}

// The item of `segments` segments in a paused player, ready, with the forward buffer set so that loading
// stops after `kArrivals` more segments.
struct LoadingItem {
    std::shared_ptr<avfoundation::AVPlayerItem> item;
    std::shared_ptr<avfoundation::AVPlayer> player;

    static std::optional<LoadingItem> make(const std::string& base, long long segments) {
        LoadingItem l;
        l.item = avfoundation::AVPlayerItem::create(*foundation::URL::fromString(base + lengthPath(segments)));
        l.item->setPreferredForwardBufferDuration((kArrivals + 0.5) * kTinySegment);
        l.player = avfoundation::AVPlayer::create(l.item);
        const bool ready = runUntil([&] { return l.item->status() != avfoundation::AVPlayerItem::Status::unknown; },
                                    std::chrono::minutes(10));
        if (!ready || l.item->status() != avfoundation::AVPlayerItem::Status::readyToPlay) return std::nullopt;
        return l;
    }
    // Runs the main loop until the buffer is full.
    bool fill() const {
        return runUntil([&] { return loadedEnd(*item) >= (kArrivals + 0.5) * kTinySegment - 1e-9; },
                        std::chrono::minutes(10));
    }
};

// Answers every content key request at once, as the licence server would (a renewal after two minutes),
// counting first requests and renewals.
class CountingLicences final : public avfoundation::AVAssetResourceLoaderDelegate {
  public:
    bool resourceLoaderShouldWaitForLoadingOfRequestedResource(
        const std::shared_ptr<avfoundation::AVAssetResourceLoader>&,
        const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request) override {
        ++asked;
        return answer(request);
    }
    bool resourceLoaderShouldWaitForRenewalOfRequestedResource(
        const std::shared_ptr<avfoundation::AVAssetResourceLoader>&,
        const std::shared_ptr<avfoundation::AVAssetResourceRenewalRequest>& request) override {
        ++renewed;
        return answer(request);
    }
    std::atomic<long long> asked{0};
    std::atomic<long long> renewed{0};

  private:
    static bool answer(const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request) {
        request->dataRequest()->respond(foundation::dataFromString("CKC1:licence"));
        request->contentInformationRequest()->setRenewalDate(foundation::Date::now() + kLiveRenewal);
        request->finishLoading();
        return true;
    }
};

// What one hour of a live session asked and held.
struct LiveHour {
    long long asked = 0;
    long long renewed = 0;
    std::size_t keysHeld = 0;  // at the end of the hour
    double wallMs = 0;
};

// A paused player on a live stream of the origin, its keys answered on a queue of their own, moved on by a
// manual clock a target duration at a time.
class LiveSession {
  public:
    static std::unique_ptr<LiveSession> make(const std::string& base, std::size_t side, int session) {
        auto live = std::unique_ptr<LiveSession>(new LiveSession());
        auto asset = avfoundation::AVURLAsset::create(
            *foundation::URL::fromString(base + livePath(side, session) + "master.m3u8"));
        asset->resourceLoader()->setDelegate(live->licences_, live->queue_);
        live->item_ = avfoundation::AVPlayerItem::create(asset);
        live->player_ = avfoundation::AVPlayer::create(live->item_);
        const bool ready =
            runUntil([&] { return live->item_->status() != avfoundation::AVPlayerItem::Status::unknown; });
        if (!ready || live->item_->status() != avfoundation::AVPlayerItem::Status::readyToPlay) return nullptr;
        live->settle();
        return live;
    }

    // One hour of the session: a reload every 6 s, each waited for, with the licences it asked for.
    std::optional<LiveHour> playHour(dispatch::testing::ManualClockScope& clock) {
        using avfoundation::testing::AVPlayerItemTesting;
        const long long asked = licences_->asked;
        const long long renewed = licences_->renewed;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kReloadsPerHour; ++i) {
            clock.advance(6);
            if (!runUntil([&] { return !AVPlayerItemTesting::isLoadingPlaylist(*item_); })) return std::nullopt;
            settle();
        }
        const auto end = std::chrono::steady_clock::now();
        if (item_->status() != avfoundation::AVPlayerItem::Status::readyToPlay) return std::nullopt;
        return LiveHour{.asked = licences_->asked - asked,
                        .renewed = licences_->renewed - renewed,
                        .keysHeld = AVPlayerItemTesting::contentKeyCount(*item_),
                        .wallMs = std::chrono::duration<double, std::milli>(end - start).count()};
    }

  private:
    LiveSession() = default;
    // The licences asked so far answered, and their answers (renewal dates) handled on the main queue.
    void settle() {
        queue_->sync([] {});
        dispatch::RunLoop::main().runUntilIdle();
    }

    std::shared_ptr<dispatch::DispatchQueue> queue_ = std::make_shared<dispatch::DispatchQueue>("licences");
    std::shared_ptr<CountingLicences> licences_ = std::make_shared<CountingLicences>();
    std::shared_ptr<avfoundation::AVPlayerItem> item_;
    std::shared_ptr<avfoundation::AVPlayer> player_;
};

// ---- Under callgrind ----

constexpr int kCountedResolves = 2000;

int countedWork(const std::string& mode) {
    if (mode == "resolve" || mode == "resolve-curl") {
        resolveMany(100, mode == "resolve-curl");
        CALLGRIND_TOGGLE_COLLECT;
        resolveMany(kCountedResolves, mode == "resolve-curl");
        CALLGRIND_TOGGLE_COLLECT;
        return 0;
    }
    if (mode == "parse-two-hours") {
        const std::string text = twoHourPlaylist();
        CALLGRIND_TOGGLE_COLLECT;
        auto playlist = hls::parseMedia(text, kBase);
        CALLGRIND_TOGGLE_COLLECT;
        return playlist ? 0 : 3;
    }
    if (mode.rfind("arrivals-", 0) == 0) {
        const long long segments = std::stoll(mode.substr(9));
        bench::ServerProcess origin({bench::selfPath(), "--serve"});
        dispatch::testing::ManualClockScope clock;
        auto loading = LoadingItem::make(origin.baseURL(), segments);
        if (!loading) return 3;
        CALLGRIND_TOGGLE_COLLECT;
        const bool filled = loading->fill();
        CALLGRIND_TOGGLE_COLLECT;
        return filled ? 0 : 4;
    }
    if (mode.rfind("live-", 0) == 0) {  // live-<side>-<hour>: that hour of a session
        const std::size_t side = mode.compare(5, 8, "rotating") == 0 ? 0 : 1;
        const int hour = std::stoi(mode.substr(mode.rfind('-') + 1));
        bench::ServerProcess origin({bench::selfPath(), "--serve"});
        dispatch::testing::ManualClockScope clock;
        auto live = LiveSession::make(origin.baseURL(), side, 0);
        if (!live) return 3;
        for (int h = 1; h < hour; ++h) {
            if (!live->playHour(clock)) return 4;
        }
        CALLGRIND_TOGGLE_COLLECT;
        const bool played = live->playHour(clock).has_value();
        CALLGRIND_TOGGLE_COLLECT;
        return played ? 0 : 4;
    }
    return 2;
}

int peakMemory(long long segments) {
    bench::ServerProcess origin({bench::selfPath(), "--serve"});
    dispatch::testing::ManualClockScope clock;
    auto loading = LoadingItem::make(origin.baseURL(), segments);
    if (!loading) return 3;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
}

// Runs `--peak-memory N` in a process of its own; its peak resident size in MB, or nothing.
std::optional<double> peakMemoryOf(long long segments) {
    const std::string command = bench::selfPath() + " --peak-memory " + std::to_string(segments);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    long kilobytes = 0;
    const bool read = std::fscanf(pipe, "%ld", &kilobytes) == 1;
    const int status = ::pclose(pipe);
    if (!read || status != 0) return std::nullopt;
    return kilobytes / 1024.0;
}

// ---- Side by side ----

void compareResolves(bool callgrind) {
    std::vector<bench::Side> sides{
        {"hls::resolve", [](int n) { resolveMany(n, false); }},
        {"libcurl: two parses, a reformat, a third parse", [](int n) { resolveMany(n, true); }}};
    const auto perOp = bench::interleave(sides, kResolveRounds, kResolvesPerRound);
    bench::printWall("Resolving a segment reference against its playlist", sides, perOp, 0, 1, 0, "ns", 1e9);
    if (!callgrind) return;
    const auto own = bench::collectedInstructions({"--count-instructions=resolve"});
    const auto curl = bench::collectedInstructions({"--count-instructions=resolve-curl"});
    if (own && curl) {
        std::printf("  instructions per reference (callgrind): hls::resolve %.0f, libcurl %.0f (%.2fx)\n",
                    *own / kCountedResolves, *curl / kCountedResolves, *own / *curl);
    }
    std::fflush(stdout);
}

void compareArrivals(bool callgrind) {
    constexpr int kRounds = 3;
    std::vector<std::vector<double>> wall(2);
    {
        bench::ServerProcess origin({bench::selfPath(), "--serve"});
        dispatch::testing::ManualClockScope clock;
        const bool ran = bench::rotatingRounds(kRounds, 2, [&](std::size_t i, int) {
            auto loading = LoadingItem::make(origin.baseURL(), kLengths[i]);
            if (!loading) {
                std::fprintf(stderr, "avfoundation_bench: the item of %lld segments did not become ready\n",
                             kLengths[i]);
                return false;
            }
            const auto start = std::chrono::steady_clock::now();
            if (!loading->fill()) return false;
            const auto end = std::chrono::steady_clock::now();
            wall[i].push_back(std::chrono::duration<double, std::micro>(end - start).count() / kArrivals);
            return true;
        });
        if (!ran) return;
    }
    const auto instructions = bench::instructionsInRounds(callgrind ? 1 : 0, 2, [&](std::size_t i) {
        auto total = bench::collectedInstructions({"--count-instructions=arrivals-" + std::to_string(kLengths[i])});
        return total ? std::optional(*total / kArrivals) : std::nullopt;
    });
    std::printf(
        "\nOne segment arriving at a paused player while its item loads (%d segments after ready, "
        "HTTP from the origin's own process included), %d rotating rounds\n",
        kArrivals, kRounds);
    bench::printTable({32, "wall µs med", "wall µs min", "instructions/segment"},
                      {"playlist of 1,000 segments", "playlist of 1,000,000 segments"}, wall, instructions);
    if (auto peak = peakMemoryOf(kLengths[1])) {
        std::printf("peak resident memory of the process once the 1,000,000-segment item is ready: %.0f MB\n", *peak);
    }
    std::fflush(stdout);
}

// Sessions of each side in rotating rounds after a warm-up round, every hour of each timed. The licences are
// the same in every round (the clock is the manual one): the last round's are printed.
void compareLiveSessions(bool callgrind) {
    const char* names[] = {"a key every two minutes", "one key"};
    std::vector<std::vector<LiveHour>> hours(2);            // the last round's, by side
    std::vector<std::vector<double>> wall(2 * kLiveHours);  // by side and hour
    {
        bench::ServerProcess origin({bench::selfPath(), "--serve"});
        dispatch::testing::ManualClockScope clock;
        const bool ran = bench::rotatingRounds(kLiveSessions, 2, [&](std::size_t side, int round) {
            auto live = LiveSession::make(origin.baseURL(), side, round);
            if (!live) {
                std::fprintf(stderr, "avfoundation_bench: the %s live item did not become ready\n", kLiveSides[side]);
                return false;
            }
            hours[side].clear();
            for (std::size_t h = 0; h < kLiveHours; ++h) {
                auto hour = live->playHour(clock);
                if (!hour) {
                    std::fprintf(stderr, "avfoundation_bench: the %s live item stopped reloading\n", kLiveSides[side]);
                    return false;
                }
                hours[side].push_back(*hour);
                if (round > 0) wall[side * kLiveHours + h].push_back(hour->wallMs);
            }
            return true;
        });
        if (!ran) return;
    }
    std::printf(
        "\nThree hours of live: 6-second segments in a one-minute window, licences renewed after %.0f s, a new key "
        "every two minutes beside one key (a paused player reloading every 6 s of its clock)\n",
        kLiveRenewal);
    std::printf("%-32s %16s %10s %20s\n", "", "licence requests", "renewals", "keys held at its end");
    for (std::size_t side = 0; side < 2; ++side) {
        for (std::size_t h = 0; h < kLiveHours; ++h) {
            const LiveHour& hour = hours[side][h];
            const std::string name = std::string(names[side]) + ", hour " + std::to_string(h + 1);
            std::printf("%-32s %16lld %10lld %20zu\n", name.c_str(), hour.asked, hour.renewed, hour.keysHeld);
        }
    }
    // The first and the last hour of each side: wall time, and instructions from a session of their own.
    std::vector<std::string> rowNames;
    std::vector<std::vector<double>> rowWall;
    std::vector<std::string> modes;
    for (std::size_t side = 0; side < 2; ++side) {
        for (std::size_t h : {std::size_t{0}, std::size_t{kLiveHours - 1}}) {
            rowNames.push_back(std::string(names[side]) + ", hour " + std::to_string(h + 1));
            rowWall.push_back(wall[side * kLiveHours + h]);
            modes.push_back("--count-instructions=live-" + std::string(kLiveSides[side]) + "-" + std::to_string(h + 1));
        }
    }
    auto instructions = bench::instructionsInRounds(
        callgrind ? 1 : 0, modes.size(), [&](std::size_t i) { return bench::collectedInstructions({modes[i]}); });
    instructions.resize(modes.size());
    std::printf("\nWhat an hour of that session costs (%d rotating rounds of wall time; instructions of one session)\n",
                kLiveRounds);
    bench::printTable({32, "wall ms med", "wall ms min", "instructions"}, rowNames, rowWall, instructions);
}

// ---- Simulated playback ----

// One second of playback at rate 1 on the manual clock, with a 0.1 s and a 0.5 s periodic observer
// (what the player view and the ad proxy install): the engine's and the observers' timers for a second.
void OneSecondOfPlaybackWithTwoObservers(benchmark::State& state) {
    bench::ServerProcess origin({bench::selfPath(), "--serve"});
    dispatch::testing::ManualClockScope clock;
    auto item = avfoundation::AVPlayerItem::create(*foundation::URL::fromString(origin.baseURL() + "/long/media.m3u8"));
    item->setPreferredForwardBufferDuration(7200);
    auto player = avfoundation::AVPlayer::create(item);
    const bool ready = runUntil([&] { return loadedEnd(*item) >= 7200; }, std::chrono::seconds(60));
    if (!ready) {
        state.SkipWithError("the item did not load");
        return;
    }
    long long ticks = 0;
    auto fast = player->addPeriodicTimeObserver(coremedia::CMTime(0.1, coremedia::kPreferredTimescale), nullptr,
                                                [&](coremedia::CMTime) { ++ticks; });
    auto slow = player->addPeriodicTimeObserver(coremedia::CMTime(0.5, coremedia::kPreferredTimescale), nullptr,
                                                [&](coremedia::CMTime) { ++ticks; });
    player->play();
    for (auto _ : state) {
        clock.advance(1.0);
        if (player->currentTime().seconds() > 7000) {
            state.PauseTiming();
            player->seek(coremedia::kCMTimeZero, nullptr);
            clock.runUntilIdle();
            state.ResumeTiming();
        }
    }
    state.counters["observerCallsPerSecond"] =
        benchmark::Counter(static_cast<double>(ticks) / static_cast<double>(state.iterations()));
    player->removeTimeObserver(fast);
    player->removeTimeObserver(slow);
    player->pause();
}
BENCHMARK(OneSecondOfPlaybackWithTwoObservers)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--serve") return serve();
    if (argc >= 3 && std::string(argv[1]) == "--peak-memory") return peakMemory(std::stoll(argv[2]));
    bool callgrind = true;
    std::string part;  // empty: every part
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--count-instructions=", 0) == 0) return countedWork(arg.substr(arg.find('=') + 1));
        if (arg == "--no-callgrind") {
            callgrind = false;
            continue;
        }
        if (arg.rfind("--part=", 0) == 0) {
            part = arg.substr(7);
            continue;
        }
        rest.push_back(argv[i]);
    }
    auto runs = [&](const char* name) { return part.empty() || part == name; };
    callgrind = callgrind && bench::hasValgrind();
    if (runs("benchmarks")) {
        int count = static_cast<int>(rest.size());
        benchmark::Initialize(&count, rest.data());
        if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        if (callgrind) {
            if (auto parse = bench::collectedInstructions({"--count-instructions=parse-two-hours"})) {
                std::printf("\nReading the two-hour media playlist (1,800 segments): %.0f instructions (callgrind)\n",
                            *parse);
            }
        }
    }
    if (runs("resolve")) {
        std::printf("\n");
        compareResolves(callgrind);
    }
    if (runs("arrivals")) compareArrivals(callgrind);
    if (runs("live")) compareLiveSessions(callgrind);
    return 0;
}
