#include "playservice/ConcurrencyError.h"
#include "playservice/PlayServiceError.h"
#include "playservice/PlayableAssetManagerError.h"
#include "playservice/VideoError.h"

namespace lumora {

std::string VideoError::localizedDescription() const {
    return "Stream not available";
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

PlayableAssetManagerError PlayableAssetManagerError::unauthorizedAccess(std::optional<std::string> message) {
    PlayableAssetManagerError e(Kind::unauthorizedAccess);
    e.message_ = std::move(message);
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

PlayableAssetManagerError PlayableAssetManagerError::invalidAuthentication() {
    return PlayableAssetManagerError(Kind::invalidAuthentication);
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
