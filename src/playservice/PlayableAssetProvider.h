#pragma once

#include <expected>
#include <functional>
#include <memory>

#include "foundation/Error.h"
#include "playservice/AssetInfo.h"
#include "playservice/PlayAsset.h"
#include "playservice/PlayService.h"
#include "playservice/PlayableAssetManagerError.h"

namespace lumora {

class PlayableAssetProviderInterface {
  public:
    using Completion = std::function<void(std::expected<PlayAsset, PlayableAssetManagerError>)>;
    virtual ~PlayableAssetProviderInterface() = default;
    virtual void fetchPlayAsset(const AssetInfo& assetInfo, Completion completion) = 0;
};

// Sends the play request through the play service, maps a good answer to the player's asset model and a
// failed one to a PlayableAssetManagerError. The completion runs once, on the queue the play service
// answers on (the main queue) — unless the provider has been released by then, in which case nothing runs.
class PlayableAssetProvider final : public PlayableAssetProviderInterface,
                                    public std::enable_shared_from_this<PlayableAssetProvider> {
  public:
    using ErrorMapper = std::function<PlayableAssetManagerError(const PlayServiceError&)>;

    static std::shared_ptr<PlayableAssetProvider> create(std::shared_ptr<PlayServiceType> playService,
                                                         ErrorMapper errorMapper = playErrorMapper);

    // API error "1006" → invalidAuthentication; "3003" → unauthorizedAccess(the service's message); each
    // keeps the PlayServiceError as its refusal; anything else → generic(the PlayServiceError).
    static PlayableAssetManagerError playErrorMapper(const PlayServiceError& error);

    const std::shared_ptr<PlayServiceType>& playService() const { return playService_; }
    const ErrorMapper& errorMapper() const { return errorMapper_; }

    void fetchPlayAsset(const AssetInfo& assetInfo, Completion completion) override;

  private:
    PlayableAssetProvider(std::shared_ptr<PlayServiceType> playService, ErrorMapper errorMapper)
        : playService_(std::move(playService)), errorMapper_(std::move(errorMapper)) {}

    std::shared_ptr<PlayServiceType> playService_;
    ErrorMapper errorMapper_;
};

class PlayableAssetManagerInterface {
  public:
    using Completion = std::function<void(std::expected<PlayAsset, foundation::Error>)>;
    virtual ~PlayableAssetManagerInterface() = default;
    virtual void fetchPlayAsset(const AssetInfo& assetInfo, Completion completion) = 0;
};

// Passes the provider's result on unchanged: the same asset, or the same PlayableAssetManagerError.
class PlayableAssetManager final : public PlayableAssetManagerInterface {
  public:
    static std::shared_ptr<PlayableAssetManager> create(
        std::shared_ptr<PlayableAssetProviderInterface> playAssetProvider);

    const std::shared_ptr<PlayableAssetProviderInterface>& playAssetProvider() const { return playAssetProvider_; }

    void fetchPlayAsset(const AssetInfo& assetInfo, Completion completion) override;

  private:
    explicit PlayableAssetManager(std::shared_ptr<PlayableAssetProviderInterface> provider)
        : playAssetProvider_(std::move(provider)) {}
    std::shared_ptr<PlayableAssetProviderInterface> playAssetProvider_;
};

}  // namespace lumora
