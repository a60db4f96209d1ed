#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "authentication/UseCases.h"
#include "foundation/Error.h"
#include "rx/Observable.h"

namespace lumora {

// The public authentication facade, over the authentication manager of LumoraAuthManager::shared().
//
// Account status and sign-in outcomes map to AuthenticationError: a failure of the manager becomes
// `unknown` carrying its AuthManagerError; a signed-in account whose status does not allow playback (any
// status but "active", "incomplete" included) ends login and autoLogin with `inactiveAccount`.
class ZuAuthManager {
  public:
    using AuthManagerProvider = std::function<std::shared_ptr<AuthManagerType>()>;

    // Made on first use, over LumoraAuthManager::shared(); kept for the life of the process.
    static ZuAuthManager& shared();

    // Over LumoraAuthManager::shared().
    ZuAuthManager();
    // Over the manager `provider` gives at each call (a test's own stack).
    explicit ZuAuthManager(AuthManagerProvider provider);

    // Stored credentials can still be used (no request is made).
    bool isAuthenticated() const;
    // With `shouldRefresh`, a token due within 30 seconds is refreshed first. The handler runs on the main
    // queue with true (signed in), false (nobody is), or the refresh's error.
    void authenticationStatus(bool shouldRefresh,
                              std::function<void(std::expected<bool, foundation::Error>)> completionHandler) const;
    // Signs out (see LogoutUseCaseType); the handler runs on the main queue.
    void logout(std::function<void(std::expected<void, foundation::Error>)> completionHandler) const;

    // A profile name for analytics; nothing in the kit sets it, so it is always absent.
    const std::optional<std::string>& currentProfile() const { return currentProfile_; }

    // Signs in on subscription: true then completion when the account is active; otherwise an
    // AuthenticationError (see above). Disposing does not cancel the sign-in. Events come on the thread
    // where the manager answered.
    rx::Observable<bool> login(std::string email, std::string password) const;
    // Asks for a password-reset e-mail on subscription: one element then completion, or the use case's
    // error (an AuthManagerError), delivered on the main queue. Nothing is retried.
    rx::Observable<rx::Void> resetPassword(std::string email) const;
    // Confirms a signed-in viewer on subscription (refreshing the token first when due): one element then
    // completion for an active account, otherwise an AuthenticationError; delivered on the main queue.
    rx::Observable<rx::Void> autoLogin() const;

  private:
    AuthManagerProvider provider_;
    std::optional<std::string> currentProfile_;
};

}  // namespace lumora
