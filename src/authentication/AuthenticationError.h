#pragma once

#include <optional>
#include <string>

#include "foundation/Error.h"

namespace lumora {

// The failures of the authentication managers, each with a fixed message: a fixed prefix naming the
// operation, then the reason ("Failed to login user. Reason: Wrong email or password.").
class AuthManagerError {
  public:
    enum class Kind {
        // The identity provider refused or could not answer the password grant.
        loginFailed,
        // The identity provider refused the e-mail address and password.
        invalidCredentials,
        // Nobody is signed in (no stored credentials).
        notLoggedIn,
        // The credentials could not be written to the keychain.
        credentialsStoreFailed,
        // The keychain could not be read (a damaged record is not this: it reads as "not signed in").
        credentialsReadFailed,
        // The credentials are due for refresh but carry no refresh token.
        refreshTokenMissing,
        // The refresh request failed (network, server, unreadable answer); the credentials are kept.
        refreshFailed,
        // The identity provider no longer accepts the refresh token; the viewer is signed out.
        sessionExpired,
        // Signing out: the stored credentials or the revocation failed (the viewer is signed out locally).
        logoutFailed,
        // The password-reset request failed.
        resetPasswordFailed,
        // The entitlement-token service refused or could not answer.
        entitlementTokenFailed,
        // The entitlement token is not a readable JWT or lacks the account id or status.
        invalidEntitlementToken,
        // The entitlement token names a status other than "active", "inactive" and "incomplete".
        unknownAccountStatus,
        // The configuration cannot reach a service (an address that is not a URL...).
        invalidConfiguration,
        // The manager was released before the operation completed.
        managerReleased,
    };
    static constexpr int caseCount = 15;

    static AuthManagerError loginFailed(std::string reason) { return {Kind::loginFailed, std::move(reason)}; }
    static AuthManagerError invalidCredentials() { return {Kind::invalidCredentials, {}}; }
    static AuthManagerError notLoggedIn() { return {Kind::notLoggedIn, {}}; }
    static AuthManagerError credentialsStoreFailed(std::string reason) {
        return {Kind::credentialsStoreFailed, std::move(reason)};
    }
    static AuthManagerError credentialsReadFailed(std::string reason) {
        return {Kind::credentialsReadFailed, std::move(reason)};
    }
    static AuthManagerError refreshTokenMissing() { return {Kind::refreshTokenMissing, {}}; }
    static AuthManagerError refreshFailed(std::string reason) { return {Kind::refreshFailed, std::move(reason)}; }
    static AuthManagerError sessionExpired() { return {Kind::sessionExpired, {}}; }
    static AuthManagerError logoutFailed(std::string reason) { return {Kind::logoutFailed, std::move(reason)}; }
    static AuthManagerError resetPasswordFailed(std::string reason) {
        return {Kind::resetPasswordFailed, std::move(reason)};
    }
    static AuthManagerError entitlementTokenFailed(std::string reason) {
        return {Kind::entitlementTokenFailed, std::move(reason)};
    }
    static AuthManagerError invalidEntitlementToken(std::string reason) {
        return {Kind::invalidEntitlementToken, std::move(reason)};
    }
    static AuthManagerError unknownAccountStatus(std::string status) {
        return {Kind::unknownAccountStatus, std::move(status)};
    }
    static AuthManagerError invalidConfiguration(std::string reason) {
        return {Kind::invalidConfiguration, std::move(reason)};
    }
    static AuthManagerError managerReleased() { return {Kind::managerReleased, {}}; }

    Kind kind() const { return kind_; }
    // The reason text of the cases that carry one (the status text of unknownAccountStatus).
    const std::string& reason() const { return reason_; }

    std::string localizedDescription() const;
    std::string domain() const { return "Lumora.AuthManagerError"; }
    int code() const { return static_cast<int>(kind_); }

    friend bool operator==(const AuthManagerError&, const AuthManagerError&) = default;

  private:
    AuthManagerError(Kind kind, std::string reason) : kind_(kind), reason_(std::move(reason)) {}
    Kind kind_;
    std::string reason_;
};

// The sign-in failures the player screen and the sign-in screens act on.
class AuthenticationError {
  public:
    enum class Kind { unknown, noAccessToken, noRefreshToken, inactiveAccount, incompleteAccount };

    static AuthenticationError unknown(std::optional<foundation::Error> underlying = std::nullopt) {
        return AuthenticationError(Kind::unknown, std::move(underlying));
    }
    static AuthenticationError noAccessToken() { return AuthenticationError(Kind::noAccessToken, std::nullopt); }
    static AuthenticationError noRefreshToken() { return AuthenticationError(Kind::noRefreshToken, std::nullopt); }
    static AuthenticationError inactiveAccount() { return AuthenticationError(Kind::inactiveAccount, std::nullopt); }
    static AuthenticationError incompleteAccount() {
        return AuthenticationError(Kind::incompleteAccount, std::nullopt);
    }

    Kind kind() const { return kind_; }
    bool isUnknown() const { return kind_ == Kind::unknown; }
    bool isNoAccessToken() const { return kind_ == Kind::noAccessToken; }
    bool isNoRefreshToken() const { return kind_ == Kind::noRefreshToken; }
    bool isInactiveAccount() const { return kind_ == Kind::inactiveAccount; }
    bool isIncompleteAccount() const { return kind_ == Kind::incompleteAccount; }

    // The error `unknown` carries, when it carries one.
    const std::optional<foundation::Error>& underlyingError() const { return underlying_; }
    // The underlying error when it is an AuthManagerError (the case that sends the viewer to sign in).
    const AuthManagerError* authManagerError() const {
        return underlying_ ? underlying_->as<AuthManagerError>() : nullptr;
    }

    // unknown: the underlying error's description, or "An unknown authentication error occurred.";
    // "No access token is available.", "No refresh token is available.", "The account is inactive.",
    // "The account setup is not complete."
    std::string localizedDescription() const;
    std::string domain() const { return "Lumora.AuthenticationError"; }
    int code() const { return static_cast<int>(kind_); }

  private:
    AuthenticationError(Kind kind, std::optional<foundation::Error> underlying)
        : kind_(kind), underlying_(std::move(underlying)) {}
    Kind kind_;
    std::optional<foundation::Error> underlying_;
};

}  // namespace lumora
