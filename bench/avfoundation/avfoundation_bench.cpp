// Reading the playlists of a long video on demand, and the cost of one second of simulated playback
// with the observers the player view installs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "avfoundation/AVPlayer.h"
#include "avfoundation/HLS.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"

namespace {

namespace hls = avfoundation::hls;

const foundation::URL kBase = *foundation::URL::fromString("https://cdn.example.com/vod/asset-1/v3/media.m3u8");

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

// One second of playback at rate 1 on the manual clock, with a 0.1 s and a 0.5 s periodic observer
// (what the player view and the ad proxy install): the engine's and the observers' timers for a second.
void OneSecondOfPlaybackWithTwoObservers(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    auto service = std::make_shared<devserver::testing::HlsTestService>();
    auto server = devserver::Server::start({.services = {service}, .echo = false});
    if (!server) {
        state.SkipWithError("no server");
        return;
    }
    service->setPlaylist("/long/media.m3u8", devserver::testing::mediaPlaylist(1200, 6.0));
    auto item =
        avfoundation::AVPlayerItem::create(*foundation::URL::fromString((*server)->baseURL() + "/long/media.m3u8"));
    item->setPreferredForwardBufferDuration(7200);
    auto player = avfoundation::AVPlayer::create(item);
    const bool ready = devserver::testing::runUntil(
        [&] {
            auto ranges = item->loadedTimeRanges();
            return !ranges.empty() && ranges.back().end().seconds() >= 7200;
        },
        std::chrono::seconds(60));
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
    service->shutdown();
    (*server)->stop();
}
BENCHMARK(OneSecondOfPlaybackWithTwoObservers)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
