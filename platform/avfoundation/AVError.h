#pragma once

#include <optional>
#include <string>

#include "foundation/Error.h"

namespace avfoundation {

// The errors of the media framework, bridged as NSError values of the domain "AVFoundationErrorDomain".
// `error.domain()` and `error.code()` of a foundation::Error holding one read them back; where a
// failure has a cause (an HTTP error, the resource-loader delegate's error), it is the `underlying`
// error of the NSError.
namespace AVError {
inline constexpr const char* domain = "AVFoundationErrorDomain";

enum Code : int {
    // Nothing more specific is known.
    unknown = -11800,
    // A property key other than "playable" was asked of an asset.
    unsupportedKey = -11801,
    // The asset is not a URL asset over http or https.
    unsupportedURL = -11802,
    // A playlist could not be fetched: transport failure or an HTTP status outside 200...299.
    playlistUnavailable = -11850,
    // A playlist's text is not a valid HLS playlist (the description names the line).
    malformedPlaylist = -11851,
    // The asset's playlist names nothing to play (no variant, no segment).
    notPlayable = -11852,
    // A media segment could not be fetched after its retries.
    segmentUnavailable = -11853,
    // A content key request was failed, declined or could not be asked (no resource-loader delegate).
    contentKeyRequestFailed = -11854,
    // The answer to a content key request is not a content key context.
    invalidContentKey = -11855,
    // A key method or key address the player cannot use.
    unsupportedKeyMethod = -11856,
    // `streamingContentKeyRequestData` was asked with unusable input.
    invalidKeyRequestInput = -11857,
    // The loading was cancelled (the item or its request is no longer needed).
    cancelled = -11858,
};

// The fixed description of each code.
std::string description(int code);
// An NSError of the domain with `description` (or the code's fixed description) and the cause.
foundation::NSError make(int code, std::string description = {},
                         std::optional<foundation::Error> underlying = std::nullopt);
// True when `error` is an error of this domain with that code.
bool is(const foundation::Error& error, int code);
}  // namespace AVError

}  // namespace avfoundation
