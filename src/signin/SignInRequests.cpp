#include "signin/SignInRequests.h"

#include "authentication/ZuAuthManager.h"

namespace lumora {

SignInRequests SignInRequests::facade() {
    return SignInRequests{
        .login = [](const std::string& email,
                    const std::string& password) { return ZuAuthManager::shared().login(email, password); },
        .resetPassword = [](const std::string& email) { return ZuAuthManager::shared().resetPassword(email); },
    };
}

}  // namespace lumora
