#include "playservice/PlayAssetDependencies.h"

#include "kitfoundation/Configuration.h"
#include "kitfoundation/DeviceInfo.h"
#include "playservice/PlayService.h"
#include "uikit/UIDevice.h"

namespace lumora {

PlayAssetDependencies PlayAssetDependencies::make(std::string playServiceURL, AccessTokenSource tokenSource) {
    PlayAssetDependencies d;
    d.hevcCapability = [] { return HEVCCapability::create(videotoolbox::VTIsHardwareDecodeSupported); };
    d.playableAssetManager = [url = std::move(playServiceURL), tokenSource = std::move(tokenSource)] {
        auto provider = PlayableAssetProvider::create(PlayService::create(url, tokenSource),
                                                      PlayableAssetProvider::playErrorMapper);
        return PlayableAssetManager::create(std::move(provider));
    };
    d.assetInfoFactory = [](bool hasHEVCCapability) {
        return AssetInfoFactory::create(DeviceInfo::current(), hasHEVCCapability,
                                        uikit::UIDevice::current().userInterfaceIdiom());
    };
    return d;
}

const PlayAssetDependencies& PlayAssetDependencies::shared() {
    // Never destroyed: read from any thread until the process exits.
    static const PlayAssetDependencies& dependencies = *new PlayAssetDependencies(
        make(ConfigurationKey(ConfigurationKey::playServiceURL).value(), defaultAccessTokenSource()));
    return dependencies;
}

}  // namespace lumora
