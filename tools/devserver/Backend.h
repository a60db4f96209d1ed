#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "devserver/AnalyticsCollector.h"
#include "devserver/EntitlementService.h"
#include "devserver/HlsService.h"
#include "devserver/IdentityService.h"
#include "devserver/LicenceService.h"
#include "devserver/PlayService.h"
#include "devserver/PlayerEventService.h"
#include "devserver/Server.h"
#include "devserver/ThumbnailService.h"

namespace devserver {

// How the whole local back end is set up.
struct BackendOptions {
    // 0: a free port.
    int port = 0;
    // Viewing sessions one viewer may have at once: one stream per subscription, so a second device
    // watching at the same time is refused.
    int maxConcurrentStreams = 1;
    // Seconds between player events (the play answers' interval).
    double eventInterval = 30;
    // "x-irdeto-renewal-duration" of every key: a two-minute asset renews its keys during playback.
    std::string keyRenewalDuration = "30";
    // Seconds on the clock that moves the live window; by default the real monotonic clock. A host on an
    // accelerated clock passes its own so that live streams move with it.
    std::function<double()> liveClockSeconds;
    // Prints one line per request on stderr.
    bool logToStderr = false;
};

// The whole local back end on 127.0.0.1 in this process (the demo host embeds it; lumora-devserver runs it): identity
// provider (with the demo users), entitlement tokens, play service, HLS content, FairPlay certificate and licence,
// player events. Tokens are checked across services as a real back end would: the play, licence and player-event
// services accept only the entitlement service's tokens. The live window follows `liveClockSeconds`. Player-event
// sessions end after two intervals of silence in real time: at 600x two intervals of the clock are a
// tenth of a second, less than a busy machine may take to answer one request, and a second device's
// session must not end while the first device is still starting up. The VOD assets' scrubbing thumbnails,
// BIF files and key moments come from the thumbnail service.
class Backend {
  public:
    static std::expected<std::shared_ptr<Backend>, std::string> start(BackendOptions options = {});
    ~Backend();
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    // "http://127.0.0.1:<port>".
    std::string baseURL() const { return server_->baseURL(); }
    int port() const { return server_->port(); }
    const BackendOptions& options() const { return options_; }

    devserver::Server& server() { return *server_; }
    devserver::IdentityService& identity() { return *identity_; }
    devserver::EntitlementService& entitlement() { return *entitlement_; }
    devserver::LicenceService& licence() { return *licence_; }
    devserver::PlayerEventService& playerEvents() { return *playerEvents_; }
    devserver::AnalyticsCollector& analytics() { return *analytics_; }
    devserver::ThumbnailService& thumbnails() { return *thumbnails_; }

    void stop();

  private:
    Backend() = default;

    BackendOptions options_;
    std::shared_ptr<devserver::IdentityService> identity_;
    std::shared_ptr<devserver::EntitlementService> entitlement_;
    std::shared_ptr<devserver::PlayService> play_;
    std::shared_ptr<devserver::HlsService> hls_;
    std::shared_ptr<devserver::LicenceService> licence_;
    std::shared_ptr<devserver::PlayerEventService> playerEvents_;
    std::shared_ptr<devserver::AnalyticsCollector> analytics_;
    std::shared_ptr<devserver::ThumbnailService> thumbnails_;
    std::shared_ptr<devserver::Server> server_;
};

}  // namespace devserver
