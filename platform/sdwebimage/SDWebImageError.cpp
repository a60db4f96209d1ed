#include "sdwebimage/SDWebImageError.h"

namespace sdwebimage {

SDWebImageError SDWebImageError::invalidURL(std::string url) {
    if (url.empty()) return {Kind::invalidURL, "The image URL is missing."};
    return {Kind::invalidURL, "The image URL \"" + url + "\" is not an http or https address."};
}

SDWebImageError SDWebImageError::badImageData(const std::string& url, const foundation::Error& reason) {
    SDWebImageError error(Kind::badImageData, "The data of " + url + " is not an image that can be shown: " +
                                                  reason.localizedDescription());
    error.underlying_ = std::make_shared<const foundation::Error>(reason);
    return error;
}

SDWebImageError SDWebImageError::invalidDownloadStatusCode(const std::string& url, int statusCode) {
    SDWebImageError error(Kind::invalidDownloadStatusCode,
                          "The server answered " + std::to_string(statusCode) + " for the image " + url + ".");
    error.statusCode_ = statusCode;
    return error;
}

SDWebImageError SDWebImageError::cancelled(const std::string& url) {
    return {Kind::cancelled, "The load of the image " + url + " was cancelled."};
}

SDWebImageError SDWebImageError::downloadFailed(const std::string& url, const foundation::Error& reason) {
    SDWebImageError error(Kind::downloadFailed,
                          "The image " + url + " could not be downloaded: " + reason.localizedDescription());
    error.underlying_ = std::make_shared<const foundation::Error>(reason);
    return error;
}

}  // namespace sdwebimage
