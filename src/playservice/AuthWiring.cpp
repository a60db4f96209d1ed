// The play road's two ties to the sign-in stack: where the access token comes from, and the error of a
// request made while nobody is signed in.
#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"
#include "playservice/AccessTokenSource.h"

namespace lumora {

AccessTokenSource defaultAccessTokenSource() {
    // The shared manager is reached at each request, so a manager replaced later (a host's own stack)
    // is the one asked.
    return [] { return LumoraAuthManager::shared().accessToken(); };
}

foundation::Error noAccessTokenError() {
    return AuthenticationError::noAccessToken();
}

}  // namespace lumora
