// Fuzz target for the play service's answer: any body, with a success status or an error status, gives
// a model or a PlayServiceError, never a crash; a mapped asset has a valid manifest address (and a valid
// certificate address when it is protected), and the stream content made from it is complete.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "foundation/URL.h"
#include "playservice/AssetStreamContent.h"
#include "playservice/PlayAssetModelMapper.h"
#include "playservice/PlayService.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "play answer invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const foundation::Data body(data, data + size);
    // The first byte picks the status class, so that error bodies are read as well as answers.
    const int status = size > 0 && data[0] % 4 == 0 ? 403 : 200;
    const auto decoded = lumora::PlayService::handleResponse(status, body);
    if (!decoded) {
        check(!decoded.error().localizedDescription().empty(), "a failure has a description");
        if (status != 200) check(decoded.error().isServer(), "an error status is a server error");
        return 0;
    }
    check(status == 200, "only a success status gives a model");
    const auto asset = lumora::PlayAssetModelMapper::map(*decoded);
    if (!asset) return 0;
    check(foundation::URL::fromString(asset->stream.manifestURL.absoluteString()).has_value(), "manifest address");
    if (const auto* drm = asset->stream.protection.drmCase()) {
        check(foundation::URL::fromString(drm->url.absoluteString()).has_value(), "certificate address");
    }
    const auto content = lumora::AssetStreamContent::make(*asset, "token");
    check(content.resource == asset->stream.manifestURL.absoluteString(), "the content plays the manifest");
    check(content.isDRMProtected == asset->stream.protection.isDRM(), "protection carried over");
    check(content.playerEventParameter.has_value(), "event parameters present");
    return 0;
}
