#include "auth0/Credentials.h"

#include <cmath>

namespace auth0 {

namespace {

struct TokenAnswer {
    std::string accessToken;
    std::optional<std::string> tokenType;
    std::optional<std::string> idToken;
    std::optional<std::string> refreshToken;
    double expiresIn = 0;
    std::optional<std::string> scope;

    static TokenAnswer decode(const foundation::KeyedDecodingContainer& c) {
        TokenAnswer a;
        a.accessToken = c.decode<std::string>("accessToken");
        a.tokenType = c.decodeIfPresent<std::string>("tokenType");
        a.idToken = c.decodeIfPresent<std::string>("idToken");
        a.refreshToken = c.decodeIfPresent<std::string>("refreshToken");
        a.expiresIn = c.decode<double>("expiresIn");
        a.scope = c.decodeIfPresent<std::string>("scope");
        if (!c.failed() && a.accessToken.empty()) c.dataCorrupted("accessToken", "The access token is empty.");
        if (!c.failed() && (!std::isfinite(a.expiresIn) || a.expiresIn < 0)) {
            c.dataCorrupted("expiresIn", "The lifetime is not a non-negative number of seconds.");
        }
        return a;
    }
};

foundation::JSONDecoder snakeCaseDecoder() {
    foundation::JSONDecoder decoder;
    decoder.keyDecodingStrategy = foundation::KeyDecodingStrategy::convertFromSnakeCase;
    return decoder;
}

}  // namespace

std::string describeDecodingFailure(const foundation::Error& error) {
    const auto* failure = error.as<foundation::DecodingError>();
    if (!failure) return error.localizedDescription();
    const std::string where = failure->keyPath();
    if (failure->isKeyNotFound()) return "the value \"" + where + "\" is missing";
    if (failure->isValueNotFound()) return "the value \"" + where + "\" is null";
    if (failure->isTypeMismatch())
        return "the value \"" + where + "\" is not a " + failure->expectedType().value_or("value");
    if (where.empty()) {
        if (auto offset = failure->context().byteOffset) return "malformed JSON at byte " + std::to_string(*offset);
        return "malformed JSON";
    }
    // Failures the models report themselves describe the rule, never the value.
    return "the value \"" + where + "\" is invalid: " + failure->context().debugDescription;
}

Credentials Credentials::decode(const foundation::KeyedDecodingContainer& c) {
    Credentials credentials;
    credentials.accessToken = c.decode<std::string>("accessToken");
    credentials.tokenType = c.decode<std::string>("tokenType");
    credentials.idToken = c.decode<std::string>("idToken");
    credentials.refreshToken = c.decodeIfPresent<std::string>("refreshToken");
    credentials.expiresAt = foundation::Date(c.decode<double>("expiresAt"));
    credentials.scope = c.decodeIfPresent<std::string>("scope");
    if (!c.failed() && credentials.accessToken.empty()) c.dataCorrupted("accessToken", "The access token is empty.");
    return credentials;
}

void Credentials::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("accessToken", accessToken);
    c.encode("tokenType", tokenType);
    c.encode("idToken", idToken);
    c.encodeIfPresent("refreshToken", refreshToken);
    c.encode("expiresAt", expiresAt.timeIntervalSince1970());
    c.encodeIfPresent("scope", scope);
}

std::expected<Credentials, foundation::Error> credentialsFromTokenAnswer(const foundation::Data& body,
                                                                         foundation::Date receivedAt) {
    auto answer = snakeCaseDecoder().decode<TokenAnswer>(body);
    if (!answer) return std::unexpected(answer.error());
    Credentials credentials;
    credentials.accessToken = std::move(answer->accessToken);
    credentials.tokenType = answer->tokenType.value_or("Bearer");
    credentials.idToken = answer->idToken.value_or("");
    credentials.refreshToken = std::move(answer->refreshToken);
    credentials.expiresAt = receivedAt + answer->expiresIn;
    credentials.scope = std::move(answer->scope);
    return credentials;
}

std::expected<foundation::Data, foundation::Error> encodeStoredCredentials(const Credentials& credentials) {
    foundation::JSONEncoder encoder;
    encoder.keyEncodingStrategy = foundation::KeyEncodingStrategy::convertToSnakeCase;
    return encoder.encode(credentials);
}

std::expected<Credentials, foundation::Error> decodeStoredCredentials(const foundation::Data& data) {
    return snakeCaseDecoder().decode<Credentials>(data);
}

}  // namespace auth0
