#include "playservice/AccessTokenSource.h"

#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"

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
