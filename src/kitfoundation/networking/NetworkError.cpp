#include "kitfoundation/networking/NetworkError.h"

#include "foundation/URLError.h"

namespace lumora {

// ---- OrvNetworkError ----

std::string OrvNetworkError::localizedDescription() const {
    return "Network Error. Code: " + code + " - Message: " + message;
}

OrvNetworkError OrvNetworkError::decode(const foundation::KeyedDecodingContainer& container) {
    OrvNetworkError error;
    const foundation::JSONValue* code = container.rawValue("code");
    if (code && code->is_number_integer()) {
        error.code = code->dump();
    } else {
        error.code = container.decode<std::string>("code");
    }
    error.message = container.decodeIfPresent<std::string>("message").value_or("");
    return error;
}

std::optional<OrvNetworkError> OrvNetworkError::fromBody(const foundation::Data& body) {
    if (body.empty()) return std::nullopt;
    auto decoded = foundation::JSONDecoder().decode<OrvNetworkError>(body);
    if (!decoded) return std::nullopt;
    return *decoded;
}

// ---- NetworkError ----

NetworkError NetworkError::invalidRequest(std::string reason) {
    return NetworkError(Fields{Kind::invalidRequest, std::nullopt, std::nullopt, std::move(reason), std::nullopt});
}
NetworkError NetworkError::client(int statusCode, std::optional<OrvNetworkError> apiError) {
    return NetworkError(Fields{Kind::client, statusCode, std::move(apiError), {}, std::nullopt});
}
NetworkError NetworkError::server(int statusCode, std::optional<OrvNetworkError> apiError) {
    return NetworkError(Fields{Kind::server, statusCode, std::move(apiError), {}, std::nullopt});
}
NetworkError NetworkError::conflict(std::optional<OrvNetworkError> apiError) {
    return NetworkError(Fields{Kind::conflict, 409, std::move(apiError), {}, std::nullopt});
}
NetworkError NetworkError::parse(std::string reason) {
    return NetworkError(Fields{Kind::parse, std::nullopt, std::nullopt, std::move(reason), std::nullopt});
}
NetworkError NetworkError::unknown(std::optional<foundation::Error> underlying) {
    return NetworkError(Fields{Kind::unknown, std::nullopt, std::nullopt, {}, std::move(underlying)});
}
NetworkError NetworkError::custom(std::string message) {
    return NetworkError(Fields{Kind::custom, std::nullopt, std::nullopt, std::move(message), std::nullopt});
}
NetworkError NetworkError::invalidResponse(std::optional<int> statusCode, std::optional<foundation::Error> cause) {
    return NetworkError(Fields{Kind::invalidResponse, statusCode, std::nullopt, {}, std::move(cause)});
}
NetworkError NetworkError::timeout() {
    return NetworkError(Fields{Kind::timeout, {}, {}, {}, {}});
}
NetworkError NetworkError::cancelled() {
    return NetworkError(Fields{Kind::cancelled, {}, {}, {}, {}});
}
NetworkError NetworkError::noConnection() {
    return NetworkError(Fields{Kind::noConnection, {}, {}, {}, {}});
}

NetworkError NetworkError::fromTransport(const foundation::Error& error) {
    if (error.domain() != foundation::URLError::domain) return unknown(error);
    switch (error.code()) {
        case foundation::URLError::timedOut:
            return timeout();
        case foundation::URLError::cancelled:
            return cancelled();
        case foundation::URLError::cannotFindHost:
        case foundation::URLError::cannotConnectToHost:
        case -1009:  // not connected to the Internet
            return noConnection();
        // A connection that was made and then lost (an answer cut mid-body) is not a missing connection:
        // the cause is kept and says so.
        case foundation::URLError::badURL:
        case foundation::URLError::unsupportedURL:
            return invalidRequest(error.localizedDescription());
        case foundation::URLError::badServerResponse:
        case foundation::URLError::cannotParseResponse:
        case foundation::URLError::dataLengthExceedsMaximum:
            return invalidResponse(std::nullopt, error);
        default:
            return unknown(error);
    }
}

std::optional<NetworkError> NetworkError::fromStatus(int statusCode, const foundation::Data& body) {
    if (statusCode >= 200 && statusCode <= 299) return std::nullopt;
    if (statusCode == 409) return conflict(OrvNetworkError::fromBody(body));
    if (statusCode >= 400 && statusCode <= 499) return client(statusCode, OrvNetworkError::fromBody(body));
    if (statusCode >= 500 && statusCode <= 599) return server(statusCode, OrvNetworkError::fromBody(body));
    return invalidResponse(statusCode);
}

NetworkError::Kind NetworkError::kind() const {
    return fields_.kind;
}
std::optional<int> NetworkError::statusCode() const {
    return fields_.statusCode;
}
const std::optional<OrvNetworkError>& NetworkError::apiError() const {
    return fields_.apiError;
}
std::string NetworkError::reason() const {
    return fields_.text;
}
const std::optional<foundation::Error>& NetworkError::underlying() const {
    return fields_.underlying;
}

std::string NetworkError::localizedDescription() const {
    const std::string status = fields_.statusCode ? std::to_string(*fields_.statusCode) : std::string("none");
    switch (fields_.kind) {
        case Kind::invalidRequest:
            return fields_.text.empty() ? "Invalid request." : "Invalid request. Reason: " + fields_.text;
        case Kind::client:
            if (fields_.apiError) return fields_.apiError->localizedDescription();
            return "Client error. Status code: " + status;
        case Kind::server:
            if (fields_.apiError) return fields_.apiError->localizedDescription();
            return "Server error. Status code: " + status;
        case Kind::conflict:
            if (fields_.apiError) return fields_.apiError->localizedDescription();
            return "Conflict. Status code: 409";
        case Kind::parse:
            return "Failed to parse the response. Reason: " + fields_.text;
        case Kind::unknown:
            if (fields_.underlying)
                return "Unknown network error. Reason: " + fields_.underlying->localizedDescription();
            return "Unknown network error.";
        case Kind::custom:
            return fields_.text;
        case Kind::invalidResponse:
            if (fields_.statusCode) return "Invalid response. Status code: " + status;
            if (fields_.underlying) return "Invalid response. Reason: " + fields_.underlying->localizedDescription();
            return "Invalid response.";
        case Kind::timeout:
            return "The request timed out.";
        case Kind::cancelled:
            return "The request was cancelled.";
        case Kind::noConnection:
            return "No network connection.";
    }
    return "Unknown network error.";
}

// ---- LumoraNetworkError ----

std::string LumoraNetworkError::localizedDescription() const {
    switch (kind_) {
        case Kind::server:
            return "Server error";
        case Kind::url:
            return "Invalid URL";
        case Kind::unauthorised:
            return "Unauthorised";
    }
    return "Server error";
}

}  // namespace lumora
