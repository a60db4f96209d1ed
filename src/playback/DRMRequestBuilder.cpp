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

std::optional<foundation::Data> DRMRequestBuilder::keyRequestData(
    const avfoundation::AVAssetResourceLoadingRequest& request, const std::string& contentId,
    const std::string& certificateURL) const {
    const auto url = foundation::URL::fromString(certificateURL);
    if (!url) return std::nullopt;
    auto certificate = certificateData(*url);
    if (!certificate) return std::nullopt;
    auto spc = request.streamingContentKeyRequestData(*certificate, foundation::dataFromString(contentId));
    if (!spc) return std::nullopt;
    return std::move(*spc);
}

}  // namespace lumora
