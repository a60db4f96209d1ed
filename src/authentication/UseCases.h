#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "authentication/Account.h"
#include "foundation/Error.h"

// The sign-in stack's use cases. Both authentication managers implement all of them: the identity
// provider's (`AuthManager`, accounts are `Auth0Account`) and the kit's account manager (`OrvAuthManager`,
// accounts are `OrvAccount`). Completions run once, on whatever thread the work finished on (a network
// worker, or the caller's thread when no request was needed). Failures carry an AuthManagerError.
namespace lumora {

// A signed-in account, or nullptr where the operation says "nobody is signed in".
using AccountResult = std::expected<std::shared_ptr<const Account>, foundation::Error>;
using AccountCompletion = std::function<void(AccountResult)>;
using VoidResult = std::expected<void, foundation::Error>;
using VoidCompletion = std::function<void(VoidResult)>;
using StatusCompletion = std::function<void(std::expected<bool, foundation::Error>)>;

class AuthenticationStatusUseCaseType {
  public:
    virtual ~AuthenticationStatusUseCaseType() = default;
    // Stored credentials exist that can still be used (a refresh token, or a token not yet expired).
    // Reads the store; makes no request.
    virtual bool isAuthenticated() const = 0;
    // Without `shouldRefresh`: isAuthenticated(). With it: the account's token is refreshed first when
    // it expires within the refresh margin; true when an account results, false when nobody is signed in,
    // an error when the refresh failed.
    virtual void authenticationStatus(bool shouldRefresh, StatusCompletion completion) = 0;
};

class LoginWithCredentialsUseCaseType {
  public:
    virtual ~LoginWithCredentialsUseCaseType() = default;
    // Signs in with an e-mail address and a password; the account on success (never nullptr).
    virtual void login(std::string email, std::string password, AccountCompletion completion) = 0;
};

class LogoutUseCaseType {
  public:
    virtual ~LogoutUseCaseType() = default;
    // Signs out at once (the stored credentials are removed first), then revokes the refresh token.
    // An error says what could not be done; the viewer is signed out locally in every case.
    virtual void logout(VoidCompletion completion) = 0;
};

class ResetPasswordUseCaseType {
  public:
    virtual ~ResetPasswordUseCaseType() = default;
    // Asks the identity provider to e-mail a password-reset link.
    virtual void request(std::string email, VoidCompletion completion) = 0;
};

class AutoLoginUseCaseType {
  public:
    virtual ~AutoLoginUseCaseType() = default;
    // The signed-in account from the stored credentials, refreshed first when due;
    // AuthManagerError::notLoggedIn when nobody is signed in.
    virtual void autoLogin(AccountCompletion completion) = 0;
};

class RefreshAccountUseCaseType {
  public:
    virtual ~RefreshAccountUseCaseType() = default;
    // The signed-in account, its token refreshed first when it expires within the refresh margin;
    // nullptr when nobody is signed in; an error when a due refresh failed. Concurrent calls share one
    // refresh.
    virtual void refreshIfNeeded(AccountCompletion completion) = 0;
};

// Everything an authentication manager offers.
class AuthManagerType : public AuthenticationStatusUseCaseType,
                        public LoginWithCredentialsUseCaseType,
                        public LogoutUseCaseType,
                        public ResetPasswordUseCaseType,
                        public AutoLoginUseCaseType,
                        public RefreshAccountUseCaseType {
  public:
    // The account held in memory now (nullptr when none has been made since start-up or sign-out).
    virtual std::shared_ptr<const Account> currentAccount() const = 0;

    // The status both managers give: the in-memory answer, or whether an account remains after a refresh.
    void authenticationStatus(bool shouldRefresh, StatusCompletion completion) override {
        if (!shouldRefresh) {
            completion(isAuthenticated());
            return;
        }
        refreshIfNeeded([completion = std::move(completion)](AccountResult result) {
            if (!result) {
                completion(std::unexpected(result.error()));
                return;
            }
            completion(*result != nullptr);
        });
    }
};

// Tokens are refreshed when they expire within this many seconds of now.
inline constexpr double kTokenRefreshMargin = 30.0;

}  // namespace lumora
