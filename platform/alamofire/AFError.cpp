#include "alamofire/AFError.h"

namespace alamofire {

AFError AFError::invalidURL(std::string url) {
    AFError e(Kind::invalidURL);
    e.detail_ = std::move(url);
    return e;
}
AFError AFError::parameterEncodingFailed(std::string reason) {
    AFError e(Kind::parameterEncodingFailed);
    e.detail_ = std::move(reason);
    return e;
}
AFError AFError::requestAdaptationFailed(foundation::Error underlying) {
    AFError e(Kind::requestAdaptationFailed);
    e.underlying_ = std::move(underlying);
    return e;
}
AFError AFError::requestRetryFailed(foundation::Error retryError, foundation::Error original) {
    AFError e(Kind::requestRetryFailed);
    e.underlying_ = std::move(retryError);
    e.original_ = std::move(original);
    return e;
}
AFError AFError::responseValidationFailed(int statusCode) {
    AFError e(Kind::responseValidationFailed);
    e.statusCode_ = statusCode;
    return e;
}
AFError AFError::responseSerializationFailed(std::string reason, std::optional<foundation::Error> underlying) {
    AFError e(Kind::responseSerializationFailed);
    e.detail_ = std::move(reason);
    e.underlying_ = std::move(underlying);
    return e;
}
AFError AFError::sessionTaskFailed(foundation::Error underlying) {
    AFError e(Kind::sessionTaskFailed);
    e.underlying_ = std::move(underlying);
    return e;
}
AFError AFError::explicitlyCancelled() {
    return AFError(Kind::explicitlyCancelled);
}

std::string AFError::localizedDescription() const {
    const std::string reason = underlying_ ? underlying_->localizedDescription() : detail_;
    switch (kind_) {
        case Kind::invalidURL:
            return "The URL is not valid: " + detail_;
        case Kind::parameterEncodingFailed:
            return "The parameters could not be encoded. Reason: " + detail_;
        case Kind::requestAdaptationFailed:
            return "The request could not be adapted. Reason: " + reason;
        case Kind::requestRetryFailed:
            return "The request could not be retried. Reason: " + reason +
                   (original_ ? " (after: " + original_->localizedDescription() + ")" : std::string());
        case Kind::responseValidationFailed:
            return "The response status code was not acceptable: " + std::to_string(statusCode_.value_or(0)) + ".";
        case Kind::responseSerializationFailed:
            return "The response could not be serialized. Reason: " + reason;
        case Kind::sessionTaskFailed:
            return "The request failed. Reason: " + reason;
        case Kind::explicitlyCancelled:
            return "The request was explicitly cancelled.";
    }
    return "The request failed.";
}

}  // namespace alamofire
