#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "devserver/IdentityService.h"
#include "devserver/Server.h"

// The entitlement-token service of the local back end (service "entitlement"): exchanges an identity
// provider's access token for a signed entitlement token (a JWT, HS256) whose claims carry the account id
// and status. The JSON shapes are in tools/devserver/README.md.
namespace devserver {

struct EntitlementOptions {
    // The token-service address is the server's base URL + this prefix + "/"; the route is
    // prefix + "/oauth/token" (the identity provider has its own "/oauth/token" at the root).
    std::string pathPrefix = "/entitlement";
    // Signs the entitlement tokens.
    std::string secret = "lumora-devserver-entitlement-secret";
    // Lifetime of an entitlement token in seconds ("expires_in" and the "exp" claim).
    int tokenLifetime = 3600;
    // The only "client_id" accepted; empty accepts any non-empty one.
    std::string clientId = "lumora-player-kit";
};

class EntitlementService final : public Service {
  public:
    static std::shared_ptr<EntitlementService> create(std::shared_ptr<IdentityService> identity,
                                                      EntitlementOptions options = {});

    std::string name() const override { return "entitlement"; }
    void registerRoutes(Router& router) override;

    const EntitlementOptions& options() const { return options_; }
    // Applies to tokens issued from now on.
    void setTokenLifetime(int seconds);

    // The claims of an entitlement token this service signed and that has not expired (for other
    // services of the back end that accept it as a bearer token).
    std::optional<nlohmann::json> verify(std::string_view token) const;

  private:
    EntitlementService(std::shared_ptr<IdentityService> identity, EntitlementOptions options)
        : identity_(std::move(identity)), options_(std::move(options)) {}
    Reply token(const RecordedRequest& request);

    std::shared_ptr<IdentityService> identity_;
    mutable std::mutex mutex_;  // guards options_
    EntitlementOptions options_;
};

}  // namespace devserver
