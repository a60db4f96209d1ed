#include "signin/ErrorDisplayModel.h"

#include "kitfoundation/Configuration.h"

namespace lumora {

ErrorDisplayModel::ErrorDisplayModel(std::string title, std::string message)
    : title(std::move(title)), message(std::move(message)) {}

namespace {

ErrorDisplayModel builtIn(const AuthenticationError& error) {
    const auto address = [] { return ConfigurationKey(ConfigurationKey::serviceWebAddress).value(); };
    switch (error.kind()) {
        case AuthenticationError::Kind::incompleteAccount:
            return {"Account Setup Required", "Your account setup is not complete yet. Please head to " + address() +
                                                  " to finish your account setup"};
        case AuthenticationError::Kind::inactiveAccount:
            return {"Inactive Account",
                    "Your account is inactive. Please head to " + address() + " to re-activate your account"};
        default:
            return {"Login Error", "There was an error logging you in. Please check your credentials and try again."};
    }
}

}  // namespace

ErrorDisplayModel::ErrorDisplayModel(const AuthenticationError& error) : ErrorDisplayModel(builtIn(error)) {}

}  // namespace lumora
