// Fuzz target for the identity provider's answers: any body read as a token answer gives credentials or a
// decoding error, never a crash, and the error's account of what was wrong never quotes the body (it may
// hold a token); credentials read keep their promises (an access token, an expiry no earlier than the
// answer, written and read back unchanged). Read as the error body of a refusal, any body gives an error
// with a code.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "auth0/Authentication.h"
#include "auth0/Credentials.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "identity answer invariant broken: %s\n", what);
        std::abort();
    }
}

bool isTokenCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// Whether `text` repeats a run of 20 or more token characters of `body` (the messages' own words are
// shorter).
bool quotesARun(const std::string& text, std::string_view body) {
    for (std::size_t i = 0; i < body.size();) {
        std::size_t end = i;
        while (end < body.size() && isTokenCharacter(body[end])) ++end;
        if (end - i >= 20 && text.find(body.substr(i, end - i)) != std::string::npos) return true;
        i = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const foundation::Data body(data, data + size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const foundation::Date receivedAt(1.7e9);

    const auto credentials = auth0::credentialsFromTokenAnswer(body, receivedAt);
    if (!credentials) {
        const std::string reason = auth0::describeDecodingFailure(credentials.error());
        check(!reason.empty(), "a failure says why");
        check(!quotesARun(reason, text), "the reason never quotes the answer");
        const auto error = auth0::AuthenticationError::invalidResponse(200, reason);
        check(!quotesARun(error.localizedDescription(), text), "the error never quotes the answer");
    } else {
        check(!credentials->accessToken.empty(), "credentials hold an access token");
        const double expiry = credentials->expiresAt.timeIntervalSince1970();
        check(std::isfinite(expiry) && expiry >= receivedAt.timeIntervalSince1970(), "the expiry is not before now");
        const auto stored = auth0::encodeStoredCredentials(*credentials);
        check(stored.has_value(), "credentials can be stored");
        const auto restored = auth0::decodeStoredCredentials(*stored);
        check(restored && *restored == *credentials, "stored credentials read back unchanged");
    }

    const auto refusal = auth0::AuthenticationError::fromAnswer(401, body);
    check(refusal.statusCode() == 401, "a refusal keeps its status");
    check(!refusal.code().empty(), "a refusal has a code");
    check(!refusal.localizedDescription().empty(), "a refusal has a description");
    return 0;
}
