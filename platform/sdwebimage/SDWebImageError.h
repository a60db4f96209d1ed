#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/Error.h"

namespace sdwebimage {

// Why a load gave no image.
class SDWebImageError {
  public:
    enum class Kind {
        // No URL, or one that is not http or https.
        invalidURL,
        // The bytes are not an image this loader decodes (JPEG, PNG), or the image is too large.
        badImageData,
        // The server answered with a status outside 200...299.
        invalidDownloadStatusCode,
        // The load was cancelled before it finished.
        cancelled,
        // The transfer failed (no connection, time-out, body too large...).
        downloadFailed,
    };

    static SDWebImageError invalidURL(std::string url);
    static SDWebImageError badImageData(const std::string& url, const foundation::Error& reason);
    static SDWebImageError invalidDownloadStatusCode(const std::string& url, int statusCode);
    static SDWebImageError cancelled(const std::string& url);
    static SDWebImageError downloadFailed(const std::string& url, const foundation::Error& reason);

    Kind kind() const { return kind_; }
    // The HTTP status of `invalidDownloadStatusCode`, else nothing.
    std::optional<int> statusCode() const { return statusCode_; }
    // The decoding or transfer error underneath, when there is one.
    const foundation::Error* underlyingError() const { return underlying_.get(); }

    std::string localizedDescription() const { return description_; }
    static constexpr const char* domain() { return "SDWebImageErrorDomain"; }
    int code() const { return static_cast<int>(kind_); }

  private:
    SDWebImageError(Kind kind, std::string description) : kind_(kind), description_(std::move(description)) {}
    Kind kind_;
    std::string description_;
    std::optional<int> statusCode_;
    std::shared_ptr<const foundation::Error> underlying_;
};

}  // namespace sdwebimage
