#pragma once

#include <functional>
#include <memory>
#include <string>

#include "playservice/AccessTokenSource.h"
#include "playservice/AssetInfoFactory.h"
#include "playservice/HEVCCapability.h"
#include "playservice/PlayableAssetProvider.h"

namespace lumora {

// The play road's collaborators, made by factory closures: the HEVC check, the playable-asset manager
// (over a provider over a new play service) and the asset-info factory. The video API calls the first
// when it is made and the other two on first use, once each.
struct PlayAssetDependencies {
    std::function<std::shared_ptr<HEVCCapabilityProvider>()> hevcCapability;
    std::function<std::shared_ptr<PlayableAssetManagerInterface>()> playableAssetManager;
    std::function<std::shared_ptr<AssetInfoFactoryInterface>(bool hasHEVCCapability)> assetInfoFactory;

    // The kit's wiring against one play-service address and token source:
    //  - HEVCCapability over the platform's hardware-decode check;
    //  - PlayableAssetManager over PlayableAssetProvider(new PlayService(playServiceURL, tokenSource),
    //    the play-error mapper);
    //  - AssetInfoFactory(hasHEVCCapability, DeviceInfo::current(), the device's interface idiom).
    static PlayAssetDependencies make(std::string playServiceURL, AccessTokenSource tokenSource);

    // The process-wide container: made once, on first use, from "SDK_PlayServiceURL" (or the built-in
    // address) and the default token source.
    static const PlayAssetDependencies& shared();
};

}  // namespace lumora
