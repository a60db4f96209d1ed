#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "devserver/IdentityService.h"
#include "devserver/PlayService.h"
#include "devserver/Server.h"

// The player-event back end of the local server (service "player-events"): POST <path> with a player-event
// body and "Authorization: Bearer <token>". It records every event, answers the plays of the asset and
// enforces a limit of concurrent viewing sessions per viewer. The JSON shapes are in tools/devserver/README.md.
//
//   auto events = devserver::PlayerEventService::create({.maxConcurrentStreams = 1, .eventInterval = 30});
//   auto server = devserver::Server::start({.services = {events}});
//   ... the kit posts events ...
//   auto seen = events->events();          // every event, refused ones included
//
// A viewer is who the bearer token belongs to: `viewerForToken` decides (for tokens of an identity service,
// `viewersOf(identity)` gives the account id); without it the token text itself is the viewer.
// A viewing session is the body's `client.viewingSession` (the device, `client.deviceId` when that is
// missing) together with its `progress.assetId`: one device watching one asset. A session is active while
// its events keep arriving at most two intervals apart. An event of a new session whose viewer already has
// `maxConcurrentStreams` active sessions is refused with 403 and opens no session; the sessions already
// running go on. A session that stops reporting for more than two intervals frees its slot, and an "end"
// event frees it at once (an end opens nothing and is never refused for the limit).
namespace devserver {

struct PlayerEventOptions {
    // The route; the play service's answers point here.
    std::string path = std::string(play::playerEventPath);
    // Active sessions allowed per viewer; 0 or less: no limit.
    int maxConcurrentStreams = 2;
    // Seconds between a session's events; a session is active while its events arrive within two of them.
    double eventInterval = 30;
    // Monotonic time of the limit (any origin); nothing: the steady clock.
    std::function<std::chrono::nanoseconds()> clock;
    // The viewer a token belongs to, nothing for a token that is refused (401); nothing: the token text.
    std::function<std::optional<std::string>(std::string_view token)> viewerForToken;
    // The address the answers point at; empty: "http://" + the request's Host header.
    std::string baseURL;
};

// One event as received, with the verdict.
struct PlayerEventRecord {
    int status = 200;
    // The viewer and session it was counted for ("" when it was refused before that).
    std::string viewer;
    std::string session;
    // `client.playerEvent` ("str_start", "period", "end"...) and `progress.eventNumber`, when present.
    std::string playerEvent;
    std::optional<std::int64_t> eventNumber;
    // The body parsed (null when it is not JSON) and as received.
    nlohmann::ordered_json body;
    std::string rawBody;
    // The "Authorization" field as received.
    std::optional<std::string> authorization;
    // The limit clock's time of arrival.
    std::chrono::nanoseconds receivedAt{0};
};

class PlayerEventService final : public Service, public std::enable_shared_from_this<PlayerEventService> {
  public:
    static std::shared_ptr<PlayerEventService> create(PlayerEventOptions options = {});

    // Tokens issued by `identity`, as long as they are valid, belong to the user's account id.
    static std::function<std::optional<std::string>(std::string_view)> viewersOf(
        std::shared_ptr<IdentityService> identity);

    std::string name() const override { return "player-events"; }
    void registerRoutes(Router& router) override;

    // The answer to one request (also what the route runs).
    Reply handle(const RecordedRequest& request);

    // Every event received, in arrival order.
    std::vector<PlayerEventRecord> events() const;
    void clearEvents();
    // The sessions of `viewer` active now, in key order.
    std::vector<std::string> activeSessions(std::string_view viewer) const;

    void setMaxConcurrentStreams(int count);
    void setEventInterval(double seconds);

    // The plays answer for an accepted event body, with addresses under `baseURL`: the asset of the body's
    // progress block with its streams and a player-event object echoing the body in full.
    static nlohmann::ordered_json assetPlays(const nlohmann::ordered_json& body, std::string_view baseURL,
                                             std::string_view eventPath, double eventInterval);

  private:
    explicit PlayerEventService(PlayerEventOptions options) : options_(std::move(options)) {}
    std::chrono::nanoseconds now() const;

    mutable std::mutex mutex_;  // guards everything below
    PlayerEventOptions options_;
    std::vector<PlayerEventRecord> events_;
    // viewer -> session -> time of its last accepted event.
    std::map<std::string, std::map<std::string, std::chrono::nanoseconds>, std::less<>> sessions_;
};

}  // namespace devserver
