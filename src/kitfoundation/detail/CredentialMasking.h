#pragma once

#include <string>
#include <string_view>

namespace lumora::detail {

// The text with every value shaped like a credential replaced by "<masked>", wherever it stands (a field
// of any name, a header, an error page, a message):
// - a JSON Web Token: "eyJ" (the encoded start of its JSON header) and at least seven more base64url
//   characters, a dot and more of them, with all its further dot-separated parts;
// - the credential after an authorization scheme, "Bearer" or "Basic" in any case and then blanks: a run
//   of at least 8 token characters (letters, digits, "-._~+/", trailing "=") that holds a digit, one of
//   "-._~+/=" or a capital letter after its first character, so that words ("Basic authentication") stay;
// - the value of an "Authorization" or "Proxy-Authorization" field written as text ("Authorization:
//   Token abc", "authorization=..."), up to the end of its line, a quote, "&" or ",".
// Ordinary text is left as it is, and masking masked text changes nothing.
std::string maskCredentials(std::string_view text);

}  // namespace lumora::detail
