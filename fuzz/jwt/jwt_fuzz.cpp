// Fuzz target for reading JSON Web Tokens: any text gives the token's claims or a JWTDecodeError whose
// text never repeats the token (tokens are credentials), never a crash; every claim getter answers with
// a value of its type or nothing, and the kit's account made from the token is one or a clear error.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "authentication/Account.h"
#include "jwtdecode/JWTDecode.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "token invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string token(reinterpret_cast<const char*>(data), size);
    const auto jwt = jwtdecode::decode(token);
    if (!jwt) {
        check(jwt.error().is<jwtdecode::JWTDecodeError>(), "a failure is a JWTDecodeError");
        const std::string description = jwt.error().localizedDescription();
        check(!description.empty(), "a failure has a description");
        check(token.size() < 12 || description.find(token) == std::string::npos, "a failure never shows the token");
        return 0;
    }
    for (const char* name : {"sub", "exp", "iat", "nbf", "aud", "account_status", "scope", ""}) {
        const auto claim = jwt->claim(name);
        (void)claim.string();
        (void)claim.boolean();
        (void)claim.integer();
        (void)claim.array();
        if (auto number = claim.double_()) (void)*number;
        if (auto date = claim.date()) check(std::isfinite(date->timeIntervalSince1970()), "dates are finite");
    }
    (void)jwt->subject();
    (void)jwt->expiresAt();
    (void)lumora::OrvAccount::make(lumora::EntitlementToken{token, 2e9}, "Bearer", std::nullopt, std::nullopt);
    return 0;
}
