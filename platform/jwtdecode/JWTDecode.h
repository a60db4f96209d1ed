#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Date.h"
#include "foundation/Error.h"
#include "foundation/JSON.h"

// Reading JSON Web Tokens: "<header>.<payload>.<signature>", each part base64url-encoded, header and
// payload JSON objects. The signature is kept as text and never checked here.
//
//   auto jwt = jwtdecode::decode(token);
//   if (!jwt) ...;                                    // jwt.error().localizedDescription() says why
//   std::optional<std::string> id = jwt->claim("sub").string();
//   std::optional<foundation::Date> exp = jwt->expiresAt();
//
// Error texts never contain the token or any of its parts: tokens are credentials.
namespace jwtdecode {

class JWTDecodeError {
  public:
    enum class Kind {
        // The text is not three parts separated by ".".
        invalidPartCount,
        // A part is not base64url (characters outside A-Z a-z 0-9 - _, or an impossible length).
        invalidBase64URL,
        // A part decodes but is not a JSON object.
        invalidJSON,
    };

    static JWTDecodeError invalidPartCount(std::size_t parts);
    // `part` is "header" or "payload".
    static JWTDecodeError invalidBase64URL(std::string part);
    static JWTDecodeError invalidJSON(std::string part, std::string reason);

    Kind kind() const { return kind_; }
    // "Malformed JWT: expected 3 parts separated by \".\" but found 2", "Malformed JWT: the payload is not
    // valid base64url", "Malformed JWT: the header is not a JSON object (...)".
    std::string localizedDescription() const;
    std::string domain() const { return "jwtdecode.JWTDecodeError"; }
    int code() const { return static_cast<int>(kind_); }

  private:
    JWTDecodeError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}
    Kind kind_;
    std::string detail_;
};

// One claim of the payload, read as the type asked for; nothing when the claim is absent or of
// another type (no conversions between text and numbers).
class Claim {
  public:
    explicit Claim(std::optional<foundation::JSONValue> value) : value_(std::move(value)) {}

    std::optional<std::string> string() const;
    // Any JSON number.
    std::optional<double> double_() const;
    // An integral number that fits 64 bits.
    std::optional<std::int64_t> integer() const;
    std::optional<bool> boolean() const;
    // A number of seconds since 1970 ("exp", "iat", "nbf").
    std::optional<foundation::Date> date() const;
    // An array of texts, or a single text as a one-element array ("aud" may be either).
    std::optional<std::vector<std::string>> array() const;
    const std::optional<foundation::JSONValue>& rawValue() const { return value_; }

  private:
    std::optional<foundation::JSONValue> value_;
};

// A decoded token.
struct JWT {
    foundation::JSONValue header;
    foundation::JSONValue body;
    // The third part as it was written (base64url), possibly empty for an unsigned token.
    std::string signature;
    // The whole token text.
    std::string string;

    Claim claim(std::string_view name) const;

    std::optional<std::string> subject() const { return claim("sub").string(); }
    std::optional<std::string> issuer() const { return claim("iss").string(); }
    std::optional<foundation::Date> expiresAt() const { return claim("exp").date(); }
    std::optional<foundation::Date> issuedAt() const { return claim("iat").date(); }
    std::optional<foundation::Date> notBefore() const { return claim("nbf").date(); }
    // True when "exp" lies at or before `now` (`foundation::Date::now()` by default); false without "exp".
    bool expired(std::optional<foundation::Date> now = std::nullopt) const;
};

// Decodes a token; a malformed one is a JWTDecodeError.
std::expected<JWT, foundation::Error> decode(std::string_view jwt);

// base64url (RFC 4648 section 5) without padding; trailing "=" padding is accepted. Nothing for
// characters outside the alphabet or a length no encoding produces.
std::optional<std::string> base64URLDecode(std::string_view text);
std::string base64URLEncode(std::string_view bytes);

}  // namespace jwtdecode
