#include "playservice/PlayableAssetProvider.h"

#include "playservice/PlayAssetModelMapper.h"

namespace lumora {

std::shared_ptr<PlayableAssetProvider> PlayableAssetProvider::create(std::shared_ptr<PlayServiceType> playService,
                                                                     ErrorMapper errorMapper) {
    return std::shared_ptr<PlayableAssetProvider>(
        new PlayableAssetProvider(std::move(playService), std::move(errorMapper)));
}

PlayableAssetManagerError PlayableAssetProvider::playErrorMapper(const PlayServiceError& error) {
    if (const auto* server = error.serverCase()) {
        if (server->apiError == "1006") return PlayableAssetManagerError::invalidAuthentication(error);
        if (server->apiError == "3003") return PlayableAssetManagerError::unauthorizedAccess(server->message, error);
    }
    return PlayableAssetManagerError::generic(error);
}

void PlayableAssetProvider::fetchPlayAsset(const AssetInfo& assetInfo, Completion completion) {
    std::weak_ptr<PlayableAssetProvider> weakSelf = weak_from_this();
    playService_->fetch(assetInfo, [weakSelf, completion = std::move(completion)](
                                       std::expected<PlayAssetAPIModel, PlayServiceError> result) {
        auto self = weakSelf.lock();
        if (!self) return;
        if (!result) {
            const auto& mapper = self->errorMapper_;
            completion(std::unexpected(mapper ? mapper(result.error()) : playErrorMapper(result.error())));
            return;
        }
        auto asset = PlayAssetModelMapper::map(std::move(*result));
        if (!asset) {
            completion(std::unexpected(PlayableAssetManagerError::generic(asset.error())));
            return;
        }
        completion(std::move(*asset));
    });
}

std::shared_ptr<PlayableAssetManager> PlayableAssetManager::create(
    std::shared_ptr<PlayableAssetProviderInterface> playAssetProvider) {
    return std::shared_ptr<PlayableAssetManager>(new PlayableAssetManager(std::move(playAssetProvider)));
}

void PlayableAssetManager::fetchPlayAsset(const AssetInfo& assetInfo, Completion completion) {
    playAssetProvider_->fetchPlayAsset(
        assetInfo, [completion = std::move(completion)](std::expected<PlayAsset, PlayableAssetManagerError> result) {
            if (result) {
                completion(std::move(*result));
            } else {
                completion(std::unexpected(foundation::Error(result.error())));
            }
        });
}

}  // namespace lumora
