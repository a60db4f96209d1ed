#pragma once

#include <string>

#include "authentication/AuthenticationError.h"

namespace lumora {

// The title and message of the alert the login screen shows when a sign-in fails.
struct ErrorDisplayModel {
    std::string title;
    std::string message;

    ErrorDisplayModel(std::string title, std::string message);
    // The kit's own texts for `error`: "Account Setup Required" for an incomplete account, "Inactive
    // Account" for an inactive one (both quoting the service's web address, "SDK_ServiceWebAddress"), and
    // "Login Error" for every other case.
    explicit ErrorDisplayModel(const AuthenticationError& error);

    friend bool operator==(const ErrorDisplayModel&, const ErrorDisplayModel&) = default;
};

}  // namespace lumora
