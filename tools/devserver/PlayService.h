#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "devserver/Server.h"

// The play service of the local back end (service "play"): POST /api/v3/play with an asset-info body and
// "Authorization: Bearer <token>" answers the play response of an asset of a small catalogue shared by
// the tests and the demo host. Every address in an answer (manifest, certificate, licence, player events,
// ads) points back at the same server. The JSON shapes are in tools/devserver/README.md.
namespace devserver {

namespace play {

inline constexpr std::string_view playPath = "/api/v3/play";
inline constexpr std::string_view playerEventPath = "/api/v1/player-events";
inline constexpr std::string_view certificatePath = "/fairplay/certificate";
inline constexpr std::string_view licencePath = "/fairplay/license";

// The catalogue.
inline constexpr std::string_view vodClear = "vod-clear";          // clear VOD
inline constexpr std::string_view vodProtected = "vod-protected";  // FairPlay-protected VOD
inline constexpr std::string_view live = "live-1";                 // live stream
inline constexpr std::string_view vodAds = "vod-ads";              // VOD with server-side inserted ads
// FairPlay-protected VOD with server-side inserted ads and subtitles: the demo host's asset
inline constexpr std::string_view vodProtectedAds = "vod-protected-ads";
inline constexpr std::string_view noStream = "no-stream";  // 200, but the answer has no stream
inline constexpr std::string_view error1006 = "err-1006";  // 401, API error "1006"
inline constexpr std::string_view error3003 = "err-3003";  // 403, API error "3003" with a message

// Every catalogue id, in the order above (the failing ones after the playable ones).
std::vector<std::string> catalogueIds();

// "/ads/<id>/breaks.json": where the ad breaks of an asset with inserted ads are served (the play
// answer's "adsUrl").
std::string adBreaksPath(std::string_view assetId);
// The ad breaks of an asset with inserted ads: {"assetId","breaks":[{"ads":[{"id","startTime","duration"}]}]},
// times in seconds on the stream's timeline (ads counted); nothing for any other id.
std::optional<nlohmann::ordered_json> adBreaks(std::string_view assetId);

// "/hls/<id>/master.m3u8": where an asset's manifest is served.
std::string manifestPath(std::string_view assetId);

// The 2xx play answer of a catalogue asset with its addresses under `baseURL` ("http://127.0.0.1:N"),
// events every `eventInterval` seconds; nothing for an unknown id or an asset that fails.
std::optional<nlohmann::ordered_json> playResponse(std::string_view assetId, std::string_view baseURL,
                                                   double eventInterval = 30);

}  // namespace play

struct PlayServiceOptions {
    // Decides whether a bearer token is good; nothing accepts any non-empty token (an entitlement
    // service's `verify` can be plugged in here).
    std::function<bool(std::string_view token)> verifyToken;
    // The player-event interval of the answers, in seconds.
    double eventInterval = 30;
    // The address the answers point at; empty: "http://" + the request's Host header.
    std::string baseURL;
};

class PlayService final : public Service {
  public:
    static std::shared_ptr<PlayService> create(PlayServiceOptions options = {});

    std::string name() const override { return "play"; }
    void registerRoutes(Router& router) override;

    Reply play(const RecordedRequest& request) const;

    // The answer to a play request under `options`.
    static Reply answer(const PlayServiceOptions& options, const RecordedRequest& request);

  private:
    explicit PlayService(PlayServiceOptions options) : options_(std::move(options)) {}
    PlayServiceOptions options_;
};

}  // namespace devserver
