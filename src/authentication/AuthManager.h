#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "auth0/Authentication.h"
#include "auth0/CredentialsManager.h"
#include "authentication/UseCases.h"
#include "authentication/detail/RefreshOnce.h"
#include "dispatch/DispatchQueue.h"

namespace lumora {

// The authentication manager: the identity provider's credentials. Signs in with the password grant,
// keeps the credentials in the keychain through the credentials manager, refreshes them when they expire
// within 30 seconds of now (one refresh at a time, shared by every caller that asks meanwhile), signs
// out by clearing the store and revoking the refresh token, and forwards password-reset requests. Its
// accounts are `Auth0Account`s.
//
// Its state (the credentials read from the store, the refresh under way) is guarded by its own serial
// queue, entered synchronously, labelled `queueLabelPrefix` + ".OrvAuth.AuthManager". A refresh that
// finishes after a sign-out or a new sign-in is dropped, so it never brings old credentials back.
class AuthManager final : public AuthManagerType, public std::enable_shared_from_this<AuthManager> {
  public:
    struct Dependencies {
        std::shared_ptr<auth0::AuthenticationType> authentication;
        std::shared_ptr<const auth0::CredentialsManager> credentialsManager;
        // The database connection of the password grant and of password resets.
        std::string connection = "Username-Password-Authentication";
        // "offline_access" makes the provider hand out a refresh token.
        std::string scope = "openid profile email offline_access";
        std::optional<std::string> audience;
        std::string queueLabelPrefix = "dev.lumora";
        // The wall clock the expiry is compared with (the one clock's by default).
        std::function<foundation::Date()> now;
    };

    static std::shared_ptr<AuthManager> create(Dependencies dependencies);

    const dispatch::DispatchQueue& queue() const { return queue_; }

    bool isAuthenticated() const override;
    void login(std::string email, std::string password, AccountCompletion completion) override;
    void logout(VoidCompletion completion) override;
    void request(std::string email, VoidCompletion completion) override;
    void autoLogin(AccountCompletion completion) override;
    void refreshIfNeeded(AccountCompletion completion) override;
    std::shared_ptr<const Account> currentAccount() const override;

  private:
    explicit AuthManager(Dependencies dependencies);

    // Reads the store once (queue held). An error when the keychain cannot be read.
    std::optional<foundation::Error> loadLocked() const;
    void finishRefresh(const std::shared_ptr<detail::RefreshOnce::Flight>& flight, std::string usedRefreshToken,
                       std::expected<auth0::Credentials, foundation::Error> result);

    Dependencies dependencies_;
    mutable dispatch::DispatchQueue queue_;
    // Guarded by queue_.
    mutable bool loaded_ = false;
    mutable std::optional<auth0::Credentials> credentials_;
    detail::RefreshOnce refresh_;
};

}  // namespace lumora
