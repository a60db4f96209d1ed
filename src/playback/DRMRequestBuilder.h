#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>

#include "avfoundation/AVAssetResourceLoader.h"
#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URL.h"
#include "playback/DRMError.h"

namespace lumora {

// Downloads the FairPlay application certificate and makes the request data (SPC) of a key request.
// No state: the certificate is downloaded again for every key request and every renewal.
class DRMRequestBuilder {
  public:
    // The certificate download's bounds: a certificate is a few kilobytes.
    static constexpr double certificateTimeout = 30.0;
    static constexpr std::size_t maximumCertificateSize = 1024 * 1024;

    // The whole certificate, downloaded synchronously on the calling queue. Only http and https
    // addresses are fetched (anything else fails with NSURLErrorDomain -1002), within
    // `certificateTimeout` seconds of real time; a status outside 200...299 or a body over
    // `maximumCertificateSize` fails.
    std::expected<foundation::Data, foundation::Error> certificateData(const foundation::URL& from) const;

    // The SPC for the key request, the content id and the certificate address; a DRMError
    // `keyExchangeFailed` saying which step failed (with its cause) when the address is not a URL, the
    // certificate cannot be downloaded or the platform refuses to make the request data.
    std::expected<foundation::Data, DRMError> keyRequestData(const avfoundation::AVAssetResourceLoadingRequest& request,
                                                             const std::string& contentId,
                                                             const std::string& certificateURL) const;
};

}  // namespace lumora
