#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "authentication/Account.h"
#include "foundation/Error.h"
#include "foundation/JSON.h"
#include "kitfoundation/networking/NetworkService.h"

namespace lumora {

// The entitlement-token service's answer, decoded with snake-case key conversion from
// {"access_token", "scope", "token_type", "expires_in"}. Only "access_token" is required; "expires_in"
// must be a non-negative number of seconds when present.
struct EntitlementTokenResponse {
    std::string accessToken;
    std::optional<std::string> scope;
    std::optional<std::string> tokenType;
    std::optional<double> expiresIn;

    static EntitlementTokenResponse decode(const foundation::KeyedDecodingContainer& container);
};

// An entitlement token as the service issued it, its expiry made absolute.
struct IssuedEntitlementToken {
    EntitlementToken token;
    std::string tokenType;
    std::optional<std::string> scope;
};

class EntitlementTokenServiceType {
  public:
    using Completion = std::function<void(std::expected<IssuedEntitlementToken, foundation::Error>)>;
    virtual ~EntitlementTokenServiceType() = default;
    // Exchanges the identity provider's access token for an entitlement token.
    virtual void fetchToken(std::string identityAccessToken, Completion completion) = 0;
};

// POST <token-service address>/oauth/token with {"client_id", "scope"} as JSON and
// "Authorization: Bearer " + the identity provider's access token, through the kit's network service
// (which decodes with snake-case conversion). The expiry is now + "expires_in", or the token's own "exp"
// claim when the answer has no "expires_in"; an answer with neither is AuthManagerError
// invalidEntitlementToken. Other failures are the network service's NetworkError. The completion runs on
// the network service's queue.
class EntitlementTokenService final : public EntitlementTokenServiceType {
  public:
    static std::shared_ptr<EntitlementTokenService> create(std::shared_ptr<NetworkServiceType> networkService,
                                                           std::string serviceURL, std::string clientId,
                                                           std::string scope,
                                                           std::function<foundation::Date()> now = {});

    void fetchToken(std::string identityAccessToken, Completion completion) override;

    const std::string& serviceURL() const { return serviceURL_; }

  private:
    EntitlementTokenService(std::shared_ptr<NetworkServiceType> networkService, std::string serviceURL,
                            std::string clientId, std::string scope, std::function<foundation::Date()> now)
        : networkService_(std::move(networkService)),
          serviceURL_(std::move(serviceURL)),
          clientId_(std::move(clientId)),
          scope_(std::move(scope)),
          now_(std::move(now)) {}

    std::shared_ptr<NetworkServiceType> networkService_;
    std::string serviceURL_;
    std::string clientId_;
    std::string scope_;
    std::function<foundation::Date()> now_;
};

}  // namespace lumora
