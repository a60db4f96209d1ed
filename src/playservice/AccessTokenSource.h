#pragma once

#include <functional>
#include <optional>
#include <string>

#include "foundation/Error.h"
#include "rx/Observable.h"

namespace lumora {

// The play road's two ties to the sign-in stack: where the access token comes from, and the error of a
// request made while nobody is signed in.

// Where the play road gets the viewer's access token: a function returning an observable that, per
// subscription, emits the signed-in viewer's token (nothing when nobody is signed in) and completes,
// refreshing the token first when it is due; a failed refresh ends it with an error.
using AccessTokenSource = std::function<rx::Observable<std::optional<std::string>>()>;

// The kit's default: the access-token observable of the shared authentication manager.
AccessTokenSource defaultAccessTokenSource();

// The error of a play request made while nobody is signed in: AuthenticationError::noAccessToken.
foundation::Error noAccessTokenError();

}  // namespace lumora
