#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devserver/Server.h"

// The HLS origin of the local back end (service "hls"): the playlists and segments of the play
// catalogue (see PlayService.h), served under "/hls/<assetId>/". The shapes are in
// tools/devserver/README.md.
//
//   /hls/<id>/master.m3u8               multivariant playlist: three variants, subtitles where the asset has them
//   /hls/<id>/v<n>/media.m3u8            media playlist of variant n (0, 1, 2)
//   /hls/<id>/v<n>/seg<k>.ts             segment k: bandwidth × duration / 8 bytes of a synthetic pattern
//   /hls/<id>/subs/<lang>.m3u8           subtitle playlist; /hls/<id>/subs/<lang>/seg<k>.vtt a WebVTT cue
//
// Video on demand: 120 s of 6-second segments with the end tag. Live ("live-1"): a window of the ten
// newest 6-second segments at the live clock's time t, i.e. segments floor(t / 6) ... floor(t / 6) + 9,
// without an end tag. Protected assets ("vod-protected", "vod-protected-ads", "live-1") carry SAMPLE-AES keys with the
// addresses "skd://<keyHost>/fairplay/license?contentId=<id>&keyId=<key>".
namespace devserver {

namespace hls {

struct VariantInfo {
    long long bandwidth = 0;
    int width = 0;
    int height = 0;
};

// The three variants every asset has, lowest first.
const std::vector<VariantInfo>& variants();
inline constexpr double segmentDuration = 6.0;
inline constexpr int vodSegmentCount = 20;
inline constexpr int liveWindow = 10;
// The subtitle languages of the assets with subtitles ("vod-clear", "vod-protected-ads").
inline constexpr std::string_view subtitleLanguages[] = {"en", "sv"};

// The key ids of a protected asset, in the order they come into force.
std::vector<std::string> keyIds(std::string_view assetId);

}  // namespace hls

struct HlsOptions {
    std::string pathPrefix = "/hls";
    // The host named by the skd:// key addresses.
    std::string keyHost = "127.0.0.1";
    // The path of the licence server named by the key addresses.
    std::string licencePath = "/fairplay/license";
    // Seconds since the live stream began; by default the real time since the service was made. Tests
    // pass the one clock of their process so the window moves with their manual clock.
    std::function<double()> liveClock;
};

class HlsService final : public Service {
  public:
    static std::shared_ptr<HlsService> create(HlsOptions options = {});

    std::string name() const override { return "hls"; }
    void registerRoutes(Router& router) override;

    // The texts served (also for tests and benchmarks); nothing for an unknown asset or variant.
    std::optional<std::string> multivariantPlaylist(std::string_view assetId) const;
    std::optional<std::string> mediaPlaylist(std::string_view assetId, int variant) const;

  private:
    explicit HlsService(HlsOptions options);
    Reply answer(const RecordedRequest& request) const;
    double liveNow() const;

    HlsOptions options_;
};

}  // namespace devserver
