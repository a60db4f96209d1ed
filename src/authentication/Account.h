#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "auth0/Credentials.h"
#include "foundation/Date.h"
#include "foundation/Error.h"

namespace lumora {

// Whether an account may play.
class AccountStatus {
  public:
    enum Case { active, inactive, incomplete };

    constexpr AccountStatus(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }      // NOLINT(google-explicit-constructor)

    // "active", "inactive", "incomplete".
    std::string rawValue() const;
    static std::optional<AccountStatus> fromRawValue(std::string_view text);

  private:
    Case value_;
};

// The entitlement token: the text the kit's back ends take as a bearer token, and its expiry.
struct EntitlementToken {
    std::string token;
    // Seconds since 1970.
    foundation::TimeInterval expiresAt = 0;

    // True when the token expires at or before `now` + `margin` (then it is refreshed before use).
    bool expiresWithin(foundation::TimeInterval margin, foundation::Date now) const {
        return expiresAt - now.timeIntervalSince1970() <= margin;
    }
    friend bool operator==(const EntitlementToken&, const EntitlementToken&) = default;
};

// The signed-in viewer.
class Account {
  public:
    virtual ~Account() = default;
    virtual std::string id() const = 0;
    virtual AccountStatus status() const = 0;
    // The status allows playback.
    bool isActive() const { return status() == AccountStatus::active; }
    // The bearer token of the account and when it expires.
    virtual std::string token() const = 0;
    virtual foundation::Date tokenExpiresAt() const = 0;
    virtual std::string tokenType() const = 0;
    // The identity provider's refresh token, when there is one.
    virtual std::optional<std::string> refreshToken() const = 0;

    // True when the token expires at or before `now` + `margin`.
    bool tokenExpiresWithin(foundation::TimeInterval margin, foundation::Date now) const {
        return tokenExpiresAt().timeIntervalSince(now) <= margin;
    }
};

// The claims of the entitlement token that make an account.
struct OrvAccountClaimKey {
    // The account id.
    static constexpr std::string_view accountId = "sub";
    // "active", "inactive" or "incomplete".
    static constexpr std::string_view status = "account_status";
};

// The kit's own account: made from the entitlement token, whose claims give the id and status.
class OrvAccount final : public Account {
  public:
    // Decodes the token's claims; a token that is not a JWT, or lacks the id or status claim, is
    // AuthManagerError::invalidEntitlementToken; an unknown status is unknownAccountStatus.
    static std::expected<OrvAccount, foundation::Error> make(EntitlementToken token, std::string tokenType,
                                                             std::optional<std::string> scope,
                                                             std::optional<std::string> refreshToken);

    std::string id() const override { return id_; }
    AccountStatus status() const override { return status_; }
    std::string token() const override { return entitlementToken_.token; }
    foundation::Date tokenExpiresAt() const override { return foundation::Date(entitlementToken_.expiresAt); }
    std::string tokenType() const override { return tokenType_; }
    std::optional<std::string> refreshToken() const override { return refreshToken_; }

    const EntitlementToken& entitlementToken() const { return entitlementToken_; }
    const std::optional<std::string>& scope() const { return scope_; }

  private:
    OrvAccount(std::string id, AccountStatus status, EntitlementToken token, std::string tokenType,
               std::optional<std::string> scope, std::optional<std::string> refreshToken)
        : id_(std::move(id)),
          status_(status),
          entitlementToken_(std::move(token)),
          tokenType_(std::move(tokenType)),
          scope_(std::move(scope)),
          refreshToken_(std::move(refreshToken)) {}

    std::string id_;
    AccountStatus status_;
    EntitlementToken entitlementToken_;
    std::string tokenType_;
    std::optional<std::string> scope_;
    std::optional<std::string> refreshToken_;
};

// The identity provider's account: its credentials. The id is the id token's "sub" claim (empty when the
// id token cannot be read); the provider only signs in accounts it considers active.
class Auth0Account final : public Account {
  public:
    explicit Auth0Account(auth0::Credentials credentials);

    std::string id() const override { return id_; }
    AccountStatus status() const override { return AccountStatus::active; }
    std::string token() const override { return credentials_.accessToken; }
    foundation::Date tokenExpiresAt() const override { return credentials_.expiresAt; }
    std::string tokenType() const override { return credentials_.tokenType; }
    std::optional<std::string> refreshToken() const override { return credentials_.refreshToken; }

    const auth0::Credentials& credentials() const { return credentials_; }

  private:
    auth0::Credentials credentials_;
    std::string id_;
};

}  // namespace lumora
