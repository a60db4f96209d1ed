#pragma once

#include <optional>
#include <string>
#include <variant>

#include "foundation/Error.h"

namespace lumora {

// A failed play request: the service answered outside 200...299 (with the API error code and message of
// its error body, when it sent one), or the request failed otherwise (transport, no token, an answer
// that does not decode).
class PlayServiceError {
  public:
    struct Server {
        int httpCode = 0;
        std::optional<std::string> apiError;
        std::optional<std::string> message;
    };
    struct Generic {
        foundation::Error error;
    };

    static PlayServiceError server(int httpCode, std::optional<std::string> apiError,
                                   std::optional<std::string> message);
    static PlayServiceError generic(foundation::Error error);

    bool isServer() const { return std::holds_alternative<Server>(value_); }
    bool isGeneric() const { return std::holds_alternative<Generic>(value_); }
    const Server* serverCase() const { return std::get_if<Server>(&value_); }
    // The underlying error of generic.
    const foundation::Error* genericError() const;

    // server: "Play service error. HTTP " + code, then " - Code: " + apiError and " - Message: " + message
    // when present; generic: the underlying error's description.
    std::string localizedDescription() const;

  private:
    struct Make {};
    PlayServiceError(Make, std::variant<Server, Generic> value) : value_(std::move(value)) {}
    std::variant<Server, Generic> value_;
};

}  // namespace lumora
