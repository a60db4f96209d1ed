#include "avfoundation/AVError.h"

#include <memory>

namespace avfoundation::AVError {

std::string description(int code) {
    switch (code) {
        case unsupportedKey:
            return "The property key is not supported.";
        case unsupportedURL:
            return "The media address is not supported.";
        case playlistUnavailable:
            return "The playlist could not be loaded.";
        case malformedPlaylist:
            return "The playlist is malformed.";
        case notPlayable:
            return "The media is not playable.";
        case segmentUnavailable:
            return "A media segment could not be loaded.";
        case contentKeyRequestFailed:
            return "The content key request failed.";
        case invalidContentKey:
            return "The content key is not valid.";
        case unsupportedKeyMethod:
            return "The key method is not supported.";
        case invalidKeyRequestInput:
            return "The content key request data could not be made.";
        case cancelled:
            return "The operation was cancelled.";
        default:
            return "The operation could not be completed.";
    }
}

foundation::NSError make(int code, std::string text, std::optional<foundation::Error> underlying) {
    foundation::NSError error{domain, code, text.empty() ? description(code) : std::move(text), nullptr};
    if (underlying) error.underlying = std::make_shared<const foundation::Error>(std::move(*underlying));
    return error;
}

bool is(const foundation::Error& error, int code) {
    return error.domain() == domain && error.code() == code;
}

}  // namespace avfoundation::AVError
