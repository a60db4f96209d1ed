#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "foundation/Error.h"

namespace lumora {

// How every failure of the play road reaches the player screen (a missing token excepted), with what
// happened underneath when it is known.
class VideoError {
  public:
    enum Case { noAvailableStreamError };

    VideoError(Case value = noAvailableStreamError) : value_(value) {}  // NOLINT(google-explicit-constructor)
    // The case with what made the stream unavailable (`underlyingError()`).
    VideoError(Case value, foundation::Error underlying) : value_(value), underlying_(std::move(underlying)) {}
    operator Case() const { return value_; }  // NOLINT(google-explicit-constructor)

    // "Stream not available", followed by what happened when the cause is known:
    //   "Stream not available: the play request timed out"
    //   "Stream not available: the play request failed (<the transfer's error>)"
    //   "Stream not available: the play service refused the request (HTTP 404)"
    //   "Stream not available: the play service's answer could not be read"
    //   "Stream not available: the play service's answer is incomplete (Missing stream data)"
    //   "Stream not available: <the cause's description>" for any other cause.
    // The answer's own bytes are never quoted (an unreadable answer's reason is in the underlying error).
    std::string localizedDescription() const;

    // What made the stream unavailable, unwrapped to the error that says it (nothing when unknown):
    //  - the transfer failed: the URL-loading error (domain "NSURLErrorDomain"; `foundation::URLError::timedOut`
    //    for a time-out, `cannotConnectToHost`, `networkConnectionLost`, `dataLengthExceedsMaximum`...);
    //  - the service refused the request: the `PlayServiceError` (`serverCase()`: HTTP status, API code, message);
    //  - the answer could not be read (malformed or hostile JSON, a value of the wrong type):
    //    the `foundation::DecodingError`;
    //  - the answer was read but names no usable stream or event address: the `MapError`;
    //  - anything else: the error as the play road reported it.
    const std::optional<foundation::Error>& underlyingError() const { return underlying_; }

    // The cause worth telling of a failure of the play road: the wrappers of the play service, the
    // playable-asset manager and the HTTP session layer are taken off (see `underlyingError()`).
    static foundation::Error causeOf(const foundation::Error& playFailure);

  private:
    Case value_;
    std::optional<foundation::Error> underlying_;
};

}  // namespace lumora

template <>
struct std::hash<lumora::VideoError> {
    std::size_t operator()(const lumora::VideoError& e) const noexcept { return std::hash<int>{}(static_cast<int>(e)); }
};
