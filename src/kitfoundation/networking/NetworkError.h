#pragma once

#include <optional>
#include <string>
#include <variant>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/JSON.h"

namespace lumora {

// The error body of the maker's back ends: {"code": "1006" or 1006, "message": "..."}.
struct OrvNetworkError {
    std::string code;
    std::string message;

    // "Network Error. Code: " + code + " - Message: " + message.
    std::string localizedDescription() const;

    // `code` may be text or an integer; `message` may be absent or null (then "").
    static OrvNetworkError decode(const foundation::KeyedDecodingContainer& container);
    // The error body of an answer, when it is one.
    static std::optional<OrvNetworkError> fromBody(const foundation::Data& body);

    friend bool operator==(const OrvNetworkError&, const OrvNetworkError&) = default;
};

// The failures of the kit's own request stack.
class NetworkError {
  public:
    enum class Kind {
        invalidRequest,
        client,
        server,
        conflict,
        parse,
        unknown,
        custom,
        invalidResponse,
        timeout,
        cancelled,
        noConnection
    };

    // The request could not be made (an invalid URL, parameters that cannot be encoded...).
    static NetworkError invalidRequest(std::string reason = {});
    // A 4xx answer other than 409, with the back end's error body when it sent one.
    static NetworkError client(int statusCode, std::optional<OrvNetworkError> apiError = std::nullopt);
    // A 5xx answer.
    static NetworkError server(int statusCode, std::optional<OrvNetworkError> apiError = std::nullopt);
    // A 409 answer.
    static NetworkError conflict(std::optional<OrvNetworkError> apiError = std::nullopt);
    // A good answer whose body does not decode into the expected model.
    static NetworkError parse(std::string reason);
    static NetworkError unknown(std::optional<foundation::Error> underlying = std::nullopt);
    static NetworkError custom(std::string message);
    // An answer that is not a usable HTTP answer (status outside 2xx to 5xx, body or headers too large,
    // garbled); `cause` is the platform's error when there was one, and its text says what was wrong.
    static NetworkError invalidResponse(std::optional<int> statusCode = std::nullopt,
                                        std::optional<foundation::Error> cause = std::nullopt);
    static NetworkError timeout();
    static NetworkError cancelled();
    static NetworkError noConnection();

    // The error of a transport failure of the platform session (NSURLErrorDomain codes).
    static NetworkError fromTransport(const foundation::Error& error);
    // The error of an HTTP status outside 200...299; nothing for a success status.
    static std::optional<NetworkError> fromStatus(int statusCode, const foundation::Data& body);

    Kind kind() const;
    bool isInvalidRequest() const { return kind() == Kind::invalidRequest; }
    bool isClient() const { return kind() == Kind::client; }
    bool isServer() const { return kind() == Kind::server; }
    bool isConflict() const { return kind() == Kind::conflict; }
    bool isParse() const { return kind() == Kind::parse; }
    bool isUnknown() const { return kind() == Kind::unknown; }
    bool isCustom() const { return kind() == Kind::custom; }
    bool isInvalidResponse() const { return kind() == Kind::invalidResponse; }
    bool isTimeout() const { return kind() == Kind::timeout; }
    bool isCancelled() const { return kind() == Kind::cancelled; }
    bool isNoConnection() const { return kind() == Kind::noConnection; }

    // The HTTP status of client, server (and 409 for conflict, or invalidResponse when known).
    std::optional<int> statusCode() const;
    // The back end's error body of client, server and conflict, when it sent one.
    const std::optional<OrvNetworkError>& apiError() const;
    // The reason of invalidRequest or parse, the message of custom.
    std::string reason() const;
    const std::optional<foundation::Error>& underlying() const;

    std::string localizedDescription() const;

  private:
    struct Fields {
        Kind kind = Kind::unknown;
        std::optional<int> statusCode;
        std::optional<OrvNetworkError> apiError;
        std::string text;
        std::optional<foundation::Error> underlying;
    };
    explicit NetworkError(Fields f) : fields_(std::move(f)) {}
    Fields fields_;
};

// The small error set of the kit's own requests: a server failure, an invalid address, a missing token.
class LumoraNetworkError {
  public:
    enum class Kind { server, url, unauthorised };

    static LumoraNetworkError server() { return LumoraNetworkError(Kind::server); }
    static LumoraNetworkError url() { return LumoraNetworkError(Kind::url); }
    static LumoraNetworkError unauthorised() { return LumoraNetworkError(Kind::unauthorised); }

    Kind kind() const { return kind_; }
    bool isServer() const { return kind_ == Kind::server; }
    bool isURL() const { return kind_ == Kind::url; }
    bool isUnauthorised() const { return kind_ == Kind::unauthorised; }

    // "Server error", "Invalid URL", "Unauthorised".
    std::string localizedDescription() const;

    friend bool operator==(const LumoraNetworkError&, const LumoraNetworkError&) = default;

  private:
    explicit LumoraNetworkError(Kind k) : kind_(k) {}
    Kind kind_;
};

}  // namespace lumora
