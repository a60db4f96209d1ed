#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devserver/Server.h"

// The identity provider of the local back end (service "identity"): users with passwords and account
// states, the OAuth 2.0 password grant and refresh-token grant, token revocation and the password-change
// request. The JSON shapes are in tools/devserver/README.md.
//
//   auto identity = devserver::IdentityService::create();           // with the demo users
//   auto entitlement = devserver::EntitlementService::create(identity);
//   auto server = devserver::Server::start({.services = {identity, entitlement}});
namespace devserver {

enum class AccountState { active, inactive, incomplete };
// "active", "inactive", "incomplete".
std::string accountStateName(AccountState state);

struct IdentityUser {
    std::string email;
    std::string password;
    AccountState state = AccountState::active;
    // The account id the entitlement tokens carry ("sub").
    std::string accountId;
};

struct IdentityOptions {
    // The only client id the provider accepts.
    std::string clientId = "lumora-player-kit";
    // The database connection ("realm") of the password-realm grant and of password changes.
    std::string connection = "Username-Password-Authentication";
    // Lifetime of access and id tokens, in seconds ("expires_in").
    int accessTokenLifetime = 86400;
    // Secret that signs the id tokens (HS256).
    std::string idTokenSecret = "lumora-devserver-identity-secret";
    // Adds "demo@lumora.dev" (active), "inactive@lumora.dev" and "incomplete@lumora.dev", all with the
    // password "lumora-demo".
    bool demoUsers = true;
};

class IdentityService final : public Service {
  public:
    static std::shared_ptr<IdentityService> create(IdentityOptions options = {});

    std::string name() const override { return "identity"; }
    void registerRoutes(Router& router) override;

    const IdentityOptions& options() const { return options_; }

    // Adds or replaces the user with that e-mail address (compared without regard to case).
    void addUser(IdentityUser user);
    // Changes the state of a user; false when there is no such user.
    bool setAccountState(std::string_view email, AccountState state);
    // Applies to tokens issued from now on.
    void setAccessTokenLifetime(int seconds);

    // The user an access token was issued to, while the token is unexpired and not revoked.
    std::optional<IdentityUser> userForAccessToken(std::string_view accessToken) const;
    // The e-mail addresses of the password-change requests received, in order.
    std::vector<std::string> passwordResetRequests() const;
    // Refresh tokens issued and not revoked.
    std::size_t liveRefreshTokenCount() const;

  private:
    explicit IdentityService(IdentityOptions options);

    struct AccessToken {
        std::string email;
        std::string refreshToken;  // the grant it came from ("" when none)
        std::chrono::system_clock::time_point expiresAt;
    };
    struct RefreshToken {
        std::string email;
        std::string scope;
        bool revoked = false;
    };

    Reply token(const RecordedRequest& request);
    Reply revoke(const RecordedRequest& request);
    Reply changePassword(const RecordedRequest& request);
    // The token answer for a user (mutex held).
    std::string issue(const IdentityUser& user, const std::string& scope, const std::string& refreshToken,
                      bool withRefreshToken);

    IdentityOptions options_;
    mutable std::mutex mutex_;  // guards everything below, and options_ (a test changes its token lifetime)
    std::map<std::string, IdentityUser> users_;  // by lower-case e-mail
    std::map<std::string, AccessToken, std::less<>> accessTokens_;
    std::map<std::string, RefreshToken, std::less<>> refreshTokens_;
    std::vector<std::string> resetRequests_;
};

}  // namespace devserver
