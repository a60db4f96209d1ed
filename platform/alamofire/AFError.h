#pragma once

#include <optional>
#include <string>

#include "foundation/Error.h"

namespace alamofire {

// The failures of the HTTP session layer.
class AFError {
  public:
    enum class Kind {
        invalidURL,
        parameterEncodingFailed,
        requestAdaptationFailed,
        requestRetryFailed,
        responseValidationFailed,
        responseSerializationFailed,
        sessionTaskFailed,
        explicitlyCancelled,
    };

    // The URL text is not a valid absolute http(s) URL.
    static AFError invalidURL(std::string url);
    // The parameters could not be written (a number that is not finite, a value that has no form).
    static AFError parameterEncodingFailed(std::string reason);
    // An adapter failed the request before it was sent.
    static AFError requestAdaptationFailed(foundation::Error underlying);
    // A retrier failed while deciding on a retry; `original` is the failure it was asked about.
    static AFError requestRetryFailed(foundation::Error retryError, foundation::Error original);
    // The status code is outside the accepted range.
    static AFError responseValidationFailed(int statusCode);
    // The body could not be turned into the wanted value (an empty body, a decoding error).
    static AFError responseSerializationFailed(std::string reason,
                                               std::optional<foundation::Error> underlying = std::nullopt);
    // The transfer failed (time-out, refused connection, ...); `underlying` is the platform error.
    static AFError sessionTaskFailed(foundation::Error underlying);
    // `cancel()` was called.
    static AFError explicitlyCancelled();

    Kind kind() const { return kind_; }
    bool isInvalidURLError() const { return kind_ == Kind::invalidURL; }
    bool isParameterEncodingError() const { return kind_ == Kind::parameterEncodingFailed; }
    bool isRequestAdaptationError() const { return kind_ == Kind::requestAdaptationFailed; }
    bool isRequestRetryError() const { return kind_ == Kind::requestRetryFailed; }
    bool isResponseValidationError() const { return kind_ == Kind::responseValidationFailed; }
    bool isResponseSerializationError() const { return kind_ == Kind::responseSerializationFailed; }
    bool isSessionTaskError() const { return kind_ == Kind::sessionTaskFailed; }
    bool isExplicitlyCancelledError() const { return kind_ == Kind::explicitlyCancelled; }

    // The unacceptable status of a validation failure.
    std::optional<int> responseCode() const { return statusCode_; }
    // The error underneath: the platform error, the adapter's or retrier's error, the decoding error.
    const std::optional<foundation::Error>& underlyingError() const { return underlying_; }
    // The URL of invalidURL, the reason of an encoding or serialization failure.
    const std::string& detail() const { return detail_; }

    std::string localizedDescription() const;

  private:
    explicit AFError(Kind kind) : kind_(kind) {}
    Kind kind_;
    std::optional<int> statusCode_;
    std::optional<foundation::Error> underlying_;
    std::optional<foundation::Error> original_;
    std::string detail_;
};

}  // namespace alamofire
