#pragma once

#include <expected>
#include <optional>
#include <string>

#include "foundation/Data.h"
#include "foundation/Date.h"
#include "foundation/Error.h"
#include "foundation/JSON.h"

namespace auth0 {

// What the identity provider hands out at sign-in and refresh. Holds secrets: nothing here prints them.
struct Credentials {
    std::string accessToken;
    std::string tokenType;
    std::string idToken;
    std::optional<std::string> refreshToken;
    // When the access token expires.
    foundation::Date expiresAt;
    std::optional<std::string> scope;

    // Seconds from `now` until the access token expires (negative once it has).
    foundation::TimeInterval expiresIn(foundation::Date now) const { return expiresAt.timeIntervalSince(now); }
    // True when the access token expires at or before `now` + `ttl`.
    bool expiresWithin(foundation::TimeInterval ttl, foundation::Date now) const { return expiresIn(now) <= ttl; }

    // The stored form: {"access_token","token_type","id_token","refresh_token","expires_at","scope"}, the
    // expiry as seconds since 1970 (written by a JSONEncoder converting to snake case).
    static Credentials decode(const foundation::KeyedDecodingContainer& container);
    void encode(foundation::KeyedEncodingContainer& container) const;

    friend bool operator==(const Credentials&, const Credentials&) = default;
};

// The identity provider's token answer: {"access_token", "token_type", "id_token", "refresh_token",
// "expires_in", "scope"}; only "access_token" and "expires_in" (a non-negative number of seconds) are
// required. `receivedAt` turns "expires_in" into the expiry.
std::expected<Credentials, foundation::Error> credentialsFromTokenAnswer(const foundation::Data& body,
                                                                         foundation::Date receivedAt);

// Why a body could not be decoded, without quoting any of it (parse errors of the JSON reader echo the
// text around the failure, which may hold a token): the key path and what was wrong there.
std::string describeDecodingFailure(const foundation::Error& error);

// The stored form, written and read back.
std::expected<foundation::Data, foundation::Error> encodeStoredCredentials(const Credentials& credentials);
std::expected<Credentials, foundation::Error> decodeStoredCredentials(const foundation::Data& data);

}  // namespace auth0
