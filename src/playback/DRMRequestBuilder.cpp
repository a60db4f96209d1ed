#include "playback/DRMRequestBuilder.h"

#include "foundation/URLError.h"
#include "foundation/URLSession.h"

namespace lumora {

std::expected<foundation::Data, foundation::Error> DRMRequestBuilder::certificateData(
    const foundation::URL& from) const {
    const std::string scheme = from.scheme();
    if (scheme != "http" && scheme != "https") {
        return std::unexpected(foundation::Error(foundation::URLError::make(foundation::URLError::unsupportedURL)));
    }
    return foundation::downloadSynchronously(from, certificateTimeout, maximumCertificateSize);
}

std::expected<foundation::Data, DRMError> DRMRequestBuilder::keyRequestData(
    const avfoundation::AVAssetResourceLoadingRequest& request, const std::string& contentId,
    const std::string& certificateURL) const {
    const auto url = foundation::URL::fromString(certificateURL);
    if (!url) {
        return std::unexpected(DRMError(DRMError::keyExchangeFailed,
                                        "the FairPlay certificate address is not a URL; no licence was requested"));
    }
    auto certificate = certificateData(*url);
    if (!certificate) {
        return std::unexpected(DRMError(DRMError::keyExchangeFailed,
                                        "the FairPlay certificate could not be downloaded (" +
                                            certificate.error().localizedDescription() + "); no licence was requested",
                                        certificate.error()));
    }
    auto spc = request.streamingContentKeyRequestData(*certificate, foundation::dataFromString(contentId));
    if (!spc) {
        return std::unexpected(DRMError(
            DRMError::keyExchangeFailed,
            "the request data could not be made (" + spc.error().localizedDescription() + "); no licence was requested",
            spc.error()));
    }
    return std::move(*spc);
}

}  // namespace lumora
