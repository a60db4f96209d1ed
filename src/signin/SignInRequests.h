#pragma once

#include <functional>
#include <string>

#include "rx/Observable.h"

namespace lumora {

// The two requests the sign-in screens make of the sign-in stack. By default (`facade()`) they are the
// public facade's, `ZuAuthManager::shared()`, looked up when each request is made; a test gives a screen
// its own.
struct SignInRequests {
    // True then completion for an active account; an AuthenticationError otherwise. Events may come on any
    // thread.
    std::function<rx::Observable<bool>(const std::string& email, const std::string& password)> login;
    // One element then completion when the reset e-mail is on its way; an error otherwise.
    std::function<rx::Observable<rx::Void>(const std::string& email)> resetPassword;

    static SignInRequests facade();
};

}  // namespace lumora
