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

// Whether `text` quotes a part of the token that could be a credential: a run of 16 or more base64url
// characters between dots (the fixed words of the messages are all shorter).
bool showsAPart(const std::string& text, const std::string& token) {
    std::size_t start = 0;
    while (start <= token.size()) {
        std::size_t end = token.find('.', start);
        if (end == std::string::npos) end = token.size();
        const std::string part = token.substr(start, end - start);
        const bool encoded =
            part.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") ==
            std::string::npos;
        if (encoded && part.size() >= 16 && text.find(part) != std::string::npos) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string token(reinterpret_cast<const char*>(data), size);
    const auto jwt = jwtdecode::decode(token);
    if (!jwt) {
        check(jwt.error().is<jwtdecode::JWTDecodeError>(), "a failure is a JWTDecodeError");
        const std::string description = jwt.error().localizedDescription();
        check(!description.empty(), "a failure has a description");
        check(!showsAPart(description, token), "a failure never shows a part of the token");
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
