#include "authentication/AuthenticationError.h"

namespace lumora {

std::string AuthManagerError::localizedDescription() const {
    switch (kind_) {
        case Kind::loginFailed:
            return "Failed to login user. Reason: " + reason_;
        case Kind::invalidCredentials:
            return "Failed to login user. Reason: Wrong email or password.";
        case Kind::notLoggedIn:
            return "Failed to find a signed-in user. Reason: No credentials are stored.";
        case Kind::credentialsStoreFailed:
            return "Failed to store credentials. Reason: " + reason_;
        case Kind::credentialsReadFailed:
            return "Failed to read credentials. Reason: " + reason_;
        case Kind::refreshTokenMissing:
            return "Failed to refresh credentials. Reason: No refresh token is stored.";
        case Kind::refreshFailed:
            return "Failed to refresh credentials. Reason: " + reason_;
        case Kind::sessionExpired:
            return "Failed to refresh credentials. Reason: The session has expired, please login again.";
        case Kind::logoutFailed:
            return "Failed to logout user. Reason: " + reason_;
        case Kind::resetPasswordFailed:
            return "Failed to reset password. Reason: " + reason_;
        case Kind::entitlementTokenFailed:
            return "Failed to fetch entitlement token. Reason: " + reason_;
        case Kind::invalidEntitlementToken:
            return "Failed to decode entitlement token. Reason: " + reason_;
        case Kind::unknownAccountStatus:
            return "Failed to read account status. Reason: Unknown status \"" + reason_ + "\".";
        case Kind::invalidConfiguration:
            return "Failed to configure authentication. Reason: " + reason_;
        case Kind::managerReleased:
            return "Failed to complete the request. Reason: The authentication manager was released.";
    }
    return "Failed to authenticate. Reason: " + reason_;
}

std::string AuthenticationError::localizedDescription() const {
    switch (kind_) {
        case Kind::unknown:
            return underlying_ ? underlying_->localizedDescription() : "An unknown authentication error occurred.";
        case Kind::noAccessToken:
            return "No access token is available.";
        case Kind::noRefreshToken:
            return "No refresh token is available.";
        case Kind::inactiveAccount:
            return "The account is inactive.";
        case Kind::incompleteAccount:
            return "The account setup is not complete.";
    }
    return "An unknown authentication error occurred.";
}

}  // namespace lumora
