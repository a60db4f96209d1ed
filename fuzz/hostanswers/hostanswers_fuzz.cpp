// Fuzz target for the host's answers beside the play answer: any text read as key moments and as ad
// breaks gives the events or a clear error, never a crash; the ads kept are ones the kit's player holds
// (finite, starting in the stream, of no negative length, ending by its end give or take the kit's
// tolerance); the kit then takes what was read as a host hands it
// over: key-moment events (times that may be anything a JSON number holds) and ad breaks turned into the
// player's ad-aware times.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "AssetExtras.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "host answer invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto moments = demohost::AssetExtras::parseKeyMoments(text);
    if (!moments) {
        check(!moments.error().empty(), "a refusal of the key moments says why");
    } else {
        check(moments->size() <= size / 8, "no more events than the text can hold");
        for (const auto& event : *moments) {
            check(event.startTime.isValid() == std::isfinite(event.videoTime), "a start time is valid when finite");
            (void)event.hashValue();
            check(event == event, "an event equals itself");
        }
    }

    const auto breaks = demohost::AssetExtras::parseAdBreaks(text);
    if (!breaks) {
        check(!breaks.error().empty(), "a refusal of the ad breaks says why");
        return 0;
    }
    std::size_t ads = 0;
    for (const auto& group : breaks->groups) {
        check(!group.empty(), "no empty break");
        ads += group.size();
        for (const auto& ad : group) {
            check(
                std::isfinite(ad.startTime) && std::isfinite(ad.duration) && std::isfinite(ad.startTime + ad.duration),
                "an ad kept has finite times");
            check(ad.startTime >= 0 && ad.duration >= 0, "an ad kept starts in the stream and lasts no negative time");
        }
    }
    check(ads + breaks->refused <= size / 8, "no more ads than the text can hold");
    check((breaks->refused == 0) == breaks->firstRefusal.empty(), "a refusal is said");
    // Within a two-minute stream every ad kept ends by its end, give or take the kit's tolerance.
    const auto kept = demohost::AssetExtras::withinStream(*breaks, 120);
    for (const auto& group : kept.groups) {
        check(!group.empty(), "no empty break in the stream");
        for (const auto& ad : group) {
            check(ad.startTime + ad.duration <= 120 + lumora::VideoPlayerProxy::streamEndTolerance,
                  "an ad kept ends within the stream");
        }
    }

    // The player's conversions between the stream's and the content's timelines, at awkward times.
    auto proxy = lumora::VideoPlayerProxy::create(lumora::AdSignallingService::create());
    proxy->update(kept.groups);
    for (double t : {0.0, -1.0, 12.5, 1e9, 1e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        (void)proxy->currentTimeWithoutAds(t);
        (void)proxy->currentTimeWithAds(t);
        (void)proxy->durationWithoutAds(t);
        (void)proxy->timeRangeForAdAt(t);
    }
    (void)proxy->loadedTimeRangesWithoutAds({coremedia::CMTimeRange(coremedia::CMTime(0, 1), coremedia::CMTime(60, 1)),
                                             coremedia::CMTimeRange(coremedia::CMTime(5, 1), coremedia::CMTime(1, 1))});
    return 0;
}
