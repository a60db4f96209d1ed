#pragma once

#include <functional>
#include <optional>
#include <string>

namespace lumora {

// The FairPlay settings of a protected stream: the certificate address, and a token source that the key
// loader calls each time it authorises a licence request (the completion gets the current token, or
// nothing when there is none).
struct StreamDRMSettings {
    using TokenCompletion = std::function<void(std::optional<std::string>)>;
    using TokenProvider = std::function<void(TokenCompletion)>;

    StreamDRMSettings(std::string certificateURL, TokenProvider jwt)
        : certificateURL(std::move(certificateURL)), jwt(std::move(jwt)) {}

    std::string certificateURL;
    TokenProvider jwt;
};

}  // namespace lumora
