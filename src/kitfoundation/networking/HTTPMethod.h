#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumora {

// The request methods of the kit's own network stack, written in upper case on the wire.
// Cases read as `HTTPMethod::post`; a value converts to its case for `switch`.
class HTTPMethod {
  public:
    enum Case { options, get, head, post, put, patch, delete_, trace, connect, query };

    constexpr HTTPMethod(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }   // NOLINT(google-explicit-constructor)

    // "OPTIONS", "GET", "HEAD", "POST", "PUT", "PATCH", "DELETE", "TRACE", "CONNECT", "QUERY".
    std::string rawValue() const;
    // The method whose raw value is exactly `text` (upper case); nothing for any other text.
    static std::optional<HTTPMethod> fromRawValue(std::string_view text);

  private:
    Case value_;
};

}  // namespace lumora
