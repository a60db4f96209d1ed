#pragma once

#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/Error.h"
#include "playservice/AccessTokenSource.h"
#include "playservice/AssetStreamContent.h"
#include "playservice/PlayAssetDependencies.h"
#include "rx/Observable.h"

namespace lumora {

// The one entry through which the player screen turns an asset id into stream content: it takes the
// viewer's access token, builds the play request body, sends it through the playable-asset manager and
// turns the answer into one AssetStreamContent.
class VideoAPI : public std::enable_shared_from_this<VideoAPI> {
  public:
    // The shared instance: made once (thread-safe) from the shared dependencies and the default token
    // source, never released.
    static std::shared_ptr<VideoAPI> shared();
    // A video API over other collaborators (tests, hosts with a back end of their own). The HEVC check is
    // made now; the manager and the factory on first use.
    static std::shared_ptr<VideoAPI> create(PlayAssetDependencies dependencies, AccessTokenSource tokenSource);

    virtual ~VideoAPI() = default;

    // Cold: each subscription asks the token source once and, when a token comes, sends one play request.
    // It emits one AssetStreamContent and completes, or fails with one error:
    //  - the token source gives nothing: AuthenticationError::noAccessToken;
    //  - the token source fails: that error;
    //  - any failure of the play request, the answer or its mapping: VideoError::noAvailableStreamError,
    //    whose underlying error says what happened (timed out, refused with its status, unreadable).
    // The result arrives on the main queue (except the token errors, which arrive where the token source
    // answers). Disposing the subscription before the token has come sends no play request; a request
    // already sent is not cancelled, its answer is dropped. The API keeps nothing of a subscription.
    rx::Observable<AssetStreamContent> fetchStreamContent(const std::string& assetId);

    // The step after the token: builds the body and calls the manager. Without a token it fails the
    // observer with LumoraNetworkError::unauthorised.
    virtual void fetch(const std::string& assetId, const std::optional<std::string>& accessToken,
                       const rx::AnyObserver<AssetStreamContent>& observer);

    // Turns the manager's result into events: any failure → VideoError::noAvailableStreamError with
    // `VideoError::causeOf(the failure)` as its underlying error; success → the content, then completion.
    static void handlePlayAssetResult(const std::expected<PlayAsset, foundation::Error>& result,
                                      const std::string& accessToken,
                                      const rx::AnyObserver<AssetStreamContent>& observer);

    const std::shared_ptr<HEVCCapabilityProvider>& hevcCapability() const { return hevcCapability_; }
    // Made on first use, then kept.
    std::shared_ptr<PlayableAssetManagerInterface> playAssetManager();
    std::shared_ptr<AssetInfoFactoryInterface> assetInfoFactory();

  protected:
    VideoAPI(PlayAssetDependencies dependencies, AccessTokenSource tokenSource);

  private:
    PlayAssetDependencies dependencies_;
    AccessTokenSource tokenSource_;
    std::shared_ptr<HEVCCapabilityProvider> hevcCapability_;
    std::mutex mutex_;  // guards playAssetManager_ and assetInfoFactory_, made on first use
    std::shared_ptr<PlayableAssetManagerInterface> playAssetManager_;
    std::shared_ptr<AssetInfoFactoryInterface> assetInfoFactory_;
};

}  // namespace lumora
