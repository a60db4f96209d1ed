#include "alamofire/AFError.h"
#include "foundation/JSON.h"
#include "foundation/URLError.h"
#include "kitfoundation/networking/NetworkError.h"
#include "playservice/ConcurrencyError.h"
#include "playservice/PlayAssetModelMapper.h"
#include "playservice/PlayServiceError.h"
#include "playservice/PlayableAssetManagerError.h"
#include "playservice/VideoError.h"

namespace lumora {

namespace {

// The error a wrapper of the play road holds, or nothing when `error` is no wrapper (or wraps nothing).
const foundation::Error* wrapped(const foundation::Error& error) {
    if (const auto* manager = error.as<PlayableAssetManagerError>()) {
        return manager->underlyingError() ? &*manager->underlyingError() : nullptr;
    }
    if (const auto* service = error.as<PlayServiceError>()) return service->genericError();
    if (const auto* session = error.as<alamofire::AFError>()) {
        return session->underlyingError() ? &*session->underlyingError() : nullptr;
    }
    if (const auto* network = error.as<NetworkError>()) {
        return network->underlying() ? &*network->underlying() : nullptr;
    }
    return nullptr;
}

// What happened, in the host's words; never a byte of the answer.
std::string whatHappened(const foundation::Error& cause) {
    if (cause.domain() == foundation::URLError::domain) {
        if (cause.code() == foundation::URLError::timedOut) return "the play request timed out";
        return "the play request failed (" + cause.localizedDescription() + ")";
    }
    if (const auto* service = cause.as<PlayServiceError>(); service && service->serverCase()) {
        return "the play service refused the request (HTTP " + std::to_string(service->serverCase()->httpCode) + ")";
    }
    if (cause.is<foundation::DecodingError>()) return "the play service's answer could not be read";
    if (const auto* mapping = cause.as<MapError>()) {
        return "the play service's answer is incomplete (" + mapping->localizedDescription() + ")";
    }
    return cause.localizedDescription();
}

}  // namespace

std::string VideoError::localizedDescription() const {
    std::string text = "Stream not available";
    if (underlying_) text += ": " + whatHappened(*underlying_);
    return text;
}

foundation::Error VideoError::causeOf(const foundation::Error& playFailure) {
    // A handful of wrappers at most; the bound only guards against a chain that never ends.
    const foundation::Error* cause = &playFailure;
    for (int depth = 0; depth < 16; ++depth) {
        const foundation::Error* inner = wrapped(*cause);
        if (!inner) break;
        cause = inner;
    }
    return *cause;
}

std::string ConcurrencyError::localizedDescription() const {
    return "Max number of active streams for this subscription is reached";
}

PlayServiceError PlayServiceError::server(int httpCode, std::optional<std::string> apiError,
                                          std::optional<std::string> message) {
    return PlayServiceError(Make{}, Server{httpCode, std::move(apiError), std::move(message)});
}

PlayServiceError PlayServiceError::generic(foundation::Error error) {
    return PlayServiceError(Make{}, Generic{std::move(error)});
}

const foundation::Error* PlayServiceError::genericError() const {
    const auto* g = std::get_if<Generic>(&value_);
    return g ? &g->error : nullptr;
}

std::string PlayServiceError::localizedDescription() const {
    if (const auto* s = serverCase()) {
        std::string text = "Play service error. HTTP " + std::to_string(s->httpCode);
        if (s->apiError) text += " - Code: " + *s->apiError;
        if (s->message) text += " - Message: " + *s->message;
        return text;
    }
    return genericError()->localizedDescription();
}

PlayableAssetManagerError PlayableAssetManagerError::unauthorizedAccess(std::optional<std::string> message,
                                                                        std::optional<foundation::Error> refusal) {
    PlayableAssetManagerError e(Kind::unauthorizedAccess);
    e.message_ = std::move(message);
    e.refusal_ = std::move(refusal);
    return e;
}

PlayableAssetManagerError PlayableAssetManagerError::generic(foundation::Error error) {
    PlayableAssetManagerError e(Kind::generic);
    e.error_ = std::move(error);
    return e;
}

PlayableAssetManagerError PlayableAssetManagerError::invalidAssetID() {
    return PlayableAssetManagerError(Kind::invalidAssetID);
}

PlayableAssetManagerError PlayableAssetManagerError::invalidAuthentication(std::optional<foundation::Error> refusal) {
    PlayableAssetManagerError e(Kind::invalidAuthentication);
    e.refusal_ = std::move(refusal);
    return e;
}

std::string PlayableAssetManagerError::localizedDescription() const {
    switch (kind_) {
        case Kind::unauthorizedAccess:
            return message_ ? "Unauthorized access: " + *message_ : std::string("Unauthorized access");
        case Kind::generic:
            return error_->localizedDescription();
        case Kind::invalidAssetID:
            return "Invalid asset ID";
        case Kind::invalidAuthentication:
            return "Invalid authentication";
    }
    return {};
}

}  // namespace lumora
