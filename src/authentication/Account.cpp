#include "authentication/Account.h"

#include "authentication/AuthenticationError.h"
#include "jwtdecode/JWTDecode.h"

namespace lumora {

std::string AccountStatus::rawValue() const {
    switch (value_) {
        case active:
            return "active";
        case inactive:
            return "inactive";
        case incomplete:
            return "incomplete";
    }
    return "active";
}

std::optional<AccountStatus> AccountStatus::fromRawValue(std::string_view text) {
    if (text == "active") return AccountStatus(active);
    if (text == "inactive") return AccountStatus(inactive);
    if (text == "incomplete") return AccountStatus(incomplete);
    return std::nullopt;
}

std::expected<OrvAccount, foundation::Error> OrvAccount::make(EntitlementToken token, std::string tokenType,
                                                              std::optional<std::string> scope,
                                                              std::optional<std::string> refreshToken) {
    auto jwt = jwtdecode::decode(token.token);
    if (!jwt)
        return std::unexpected(
            foundation::Error(AuthManagerError::invalidEntitlementToken(jwt.error().localizedDescription())));
    auto id = jwt->claim(OrvAccountClaimKey::accountId).string();
    if (!id || id->empty()) {
        return std::unexpected(foundation::Error(AuthManagerError::invalidEntitlementToken(
            "The claim \"" + std::string(OrvAccountClaimKey::accountId) + "\" is missing.")));
    }
    auto statusText = jwt->claim(OrvAccountClaimKey::status).string();
    if (!statusText) {
        return std::unexpected(foundation::Error(AuthManagerError::invalidEntitlementToken(
            "The claim \"" + std::string(OrvAccountClaimKey::status) + "\" is missing.")));
    }
    auto status = AccountStatus::fromRawValue(*statusText);
    if (!status) return std::unexpected(foundation::Error(AuthManagerError::unknownAccountStatus(*statusText)));
    return OrvAccount(std::move(*id), *status, std::move(token), std::move(tokenType), std::move(scope),
                      std::move(refreshToken));
}

Auth0Account::Auth0Account(auth0::Credentials credentials) : credentials_(std::move(credentials)) {
    if (auto jwt = jwtdecode::decode(credentials_.idToken)) id_ = jwt->subject().value_or("");
}

}  // namespace lumora
