#include "authentication/EntitlementTokenService.h"

#include <cmath>

#include "authentication/AuthenticationError.h"
#include "jwtdecode/JWTDecode.h"
#include "kitfoundation/networking/NetworkRequest.h"

namespace lumora {

EntitlementTokenResponse EntitlementTokenResponse::decode(const foundation::KeyedDecodingContainer& c) {
    EntitlementTokenResponse r;
    r.accessToken = c.decode<std::string>("accessToken");
    r.scope = c.decodeIfPresent<std::string>("scope");
    r.tokenType = c.decodeIfPresent<std::string>("tokenType");
    r.expiresIn = c.decodeIfPresent<double>("expiresIn");
    if (!c.failed() && r.accessToken.empty()) c.dataCorrupted("accessToken", "The entitlement token is empty.");
    if (!c.failed() && r.expiresIn && (!std::isfinite(*r.expiresIn) || *r.expiresIn < 0)) {
        c.dataCorrupted("expiresIn", "The lifetime is not a non-negative number of seconds.");
    }
    return r;
}

std::shared_ptr<EntitlementTokenService> EntitlementTokenService::create(
    std::shared_ptr<NetworkServiceType> networkService, std::string serviceURL, std::string clientId, std::string scope,
    std::function<foundation::Date()> now) {
    if (!now) now = [] { return foundation::Date::now(); };
    return std::shared_ptr<EntitlementTokenService>(new EntitlementTokenService(
        std::move(networkService), std::move(serviceURL), std::move(clientId), std::move(scope), std::move(now)));
}

void EntitlementTokenService::fetchToken(std::string identityAccessToken, Completion completion) {
    NetworkHeaders headers;
    headers["Authorization"] = "Bearer " + identityAccessToken;
    auto request = std::make_shared<NetworkRequest>(HTTPMethod::post, serviceURL_, "oauth/token", std::move(headers),
                                                    NetworkParameters{{"client_id", clientId_}, {"scope", scope_}},
                                                    NetworkParameterEncoding::json);
    networkService_->request<EntitlementTokenResponse>(
        std::move(request), [now = now_, completion = std::move(completion)](
                                std::expected<EntitlementTokenResponse, foundation::Error> response) {
            if (!response) {
                completion(std::unexpected(response.error()));
                return;
            }
            IssuedEntitlementToken issued;
            issued.token.token = std::move(response->accessToken);
            issued.tokenType = response->tokenType.value_or("Bearer");
            issued.scope = std::move(response->scope);
            if (response->expiresIn) {
                issued.token.expiresAt = now().timeIntervalSince1970() + *response->expiresIn;
            } else if (auto jwt = jwtdecode::decode(issued.token.token); jwt && jwt->expiresAt()) {
                issued.token.expiresAt = jwt->expiresAt()->timeIntervalSince1970();
            } else {
                completion(std::unexpected(foundation::Error(AuthManagerError::invalidEntitlementToken(
                    "The answer gives no expiry (\"expires_in\" or \"exp\")."))));
                return;
            }
            completion(std::move(issued));
        });
}

}  // namespace lumora
