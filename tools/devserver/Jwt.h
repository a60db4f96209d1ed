#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// Signed JSON Web Tokens for the local back end: HS256 (HMAC-SHA-256 over "<header>.<payload>", both
// base64url without padding) with a server secret.
namespace devserver::jwt {

std::string base64URLEncode(std::string_view bytes);
// Nothing for a character outside the alphabet, padding, an impossible length, or unused bits that are
// not zero (only the one canonical text of each byte string is read).
std::optional<std::string> base64URLDecode(std::string_view text);

// A token with the header {"alg":"HS256","typ":"JWT"} and `claims` as its payload.
std::string signHS256(const nlohmann::json& claims, std::string_view secret);

// The claims of a token signed with `secret` (signature compared in constant time); nothing for a
// malformed token, another algorithm or a wrong signature. Expiry is not checked here.
std::optional<nlohmann::json> verifyHS256(std::string_view token, std::string_view secret);

// `bytes` random bytes as lower-case hexadecimal (token identifiers, opaque tokens).
std::string randomHex(std::size_t bytes);

}  // namespace devserver::jwt
