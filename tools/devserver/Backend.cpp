#include "devserver/Backend.h"

namespace devserver {

std::expected<std::shared_ptr<Backend>, std::string> Backend::start(BackendOptions options) {
    std::shared_ptr<Backend> backend(new Backend());
    backend->options_ = options;

    backend->identity_ = devserver::IdentityService::create();
    backend->entitlement_ = devserver::EntitlementService::create(backend->identity_);
    // The services below hold the entitlement service weakly: the back end owns them all.
    std::weak_ptr<devserver::EntitlementService> entitlement = backend->entitlement_;
    auto claims = [entitlement](std::string_view token) -> std::optional<nlohmann::json> {
        auto service = entitlement.lock();
        if (!service) return std::nullopt;
        return service->verify(token);
    };

    backend->play_ = devserver::PlayService::create({
        .verifyToken = [claims](std::string_view token) { return claims(token).has_value(); },
        .eventInterval = options.eventInterval,
    });
    devserver::HlsOptions hlsOptions;
    if (options.liveClockSeconds) hlsOptions.liveClock = options.liveClockSeconds;
    backend->hls_ = devserver::HlsService::create(std::move(hlsOptions));
    backend->licence_ = devserver::LicenceService::create({
        .verifyToken = claims,
        .renewalDuration = options.keyRenewalDuration,
    });
    backend->playerEvents_ = devserver::PlayerEventService::create({
        .maxConcurrentStreams = options.maxConcurrentStreams,
        .eventInterval = options.eventInterval,
        .viewerForToken = [claims](std::string_view token) -> std::optional<std::string> {
            auto c = claims(token);
            if (!c || !c->contains("sub") || !(*c)["sub"].is_string()) return std::nullopt;
            return (*c)["sub"].get<std::string>();
        },
    });
    backend->thumbnails_ = devserver::ThumbnailService::create();
    // The analytics collector: where the kit's analytics plug-ins post their beacons.
    backend->analytics_ = devserver::AnalyticsCollector::create({.logToStderr = options.logToStderr});

    auto server = devserver::Server::start({
        .port = options.port,
        .services = {backend->identity_, backend->entitlement_, backend->play_, backend->hls_, backend->licence_,
                     backend->playerEvents_, backend->analytics_, backend->thumbnails_},
        .echo = false,
        .logToStderr = options.logToStderr,
    });
    if (!server) return std::unexpected("the local back end could not start: " + server.error());
    backend->server_ = *server;
    return backend;
}

Backend::~Backend() {
    stop();
}

void Backend::stop() {
    if (server_) server_->stop();
}

}  // namespace devserver
