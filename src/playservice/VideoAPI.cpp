#include "playservice/VideoAPI.h"

#include <atomic>

#include "kitfoundation/Log.h"
#include "kitfoundation/Utilities.h"
#include "kitfoundation/networking/NetworkError.h"
#include "playservice/VideoError.h"

namespace lumora {

AssetStreamContent AssetStreamContent::make(const PlayAsset& asset, const std::string& accessToken) {
    AssetStreamContent content;
    content.title = asset.assetTitle;
    content.id = asset.assetId;
    content.resource = asset.stream.manifestURL.absoluteString();
    content.contentProvider = asset.stream.provider;
    content.contentMediaFormat = asset.stream.mediaFormat;
    content.assetType = "";
    // An interval that is not a finite number within range never reaches an unchecked conversion: it
    // gives 0, which the player screen treats as "no periodic events".
    content.playerEventParameter = AssetStreamContentPlayerEventParameter{
        .playerEventInterval = checkedInt64(asset.playerEventRequest.eventInterval).value_or(0),
        .playerEventUrl = asset.playerEventRequest.url.absoluteString(),
        .playerEventBody = asset.playerEventRequest.body,
    };
    if (const auto* drm = asset.stream.protection.drmCase()) {
        content.isDRMProtected = true;
        content.drmCertificateURLString = drm->url.absoluteString();
    }
    content.accessToken = accessToken;
    content.youbora = asset.youbora;
    return content;
}

VideoAPI::VideoAPI(PlayAssetDependencies dependencies, AccessTokenSource tokenSource)
    : dependencies_(std::move(dependencies)), tokenSource_(std::move(tokenSource)) {
    if (dependencies_.hevcCapability) hevcCapability_ = dependencies_.hevcCapability();
}

std::shared_ptr<VideoAPI> VideoAPI::create(PlayAssetDependencies dependencies, AccessTokenSource tokenSource) {
    return std::shared_ptr<VideoAPI>(new VideoAPI(std::move(dependencies), std::move(tokenSource)));
}

std::shared_ptr<VideoAPI> VideoAPI::shared() {
    static const std::shared_ptr<VideoAPI> instance =
        create(PlayAssetDependencies::shared(), defaultAccessTokenSource());
    return instance;
}

std::shared_ptr<PlayableAssetManagerInterface> VideoAPI::playAssetManager() {
    std::lock_guard lock(mutex_);
    if (!playAssetManager_ && dependencies_.playableAssetManager)
        playAssetManager_ = dependencies_.playableAssetManager();
    return playAssetManager_;
}

std::shared_ptr<AssetInfoFactoryInterface> VideoAPI::assetInfoFactory() {
    std::lock_guard lock(mutex_);
    if (!assetInfoFactory_ && dependencies_.assetInfoFactory) {
        // The hardware check is asked once, here, so the codecs in the body are fixed for the process.
        const bool hasHEVC =
            hevcCapability_ && hevcCapability_->isHardwareDecodeSupported(videotoolbox::kCMVideoCodecType_HEVC);
        assetInfoFactory_ = dependencies_.assetInfoFactory(hasHEVC);
    }
    return assetInfoFactory_;
}

rx::Observable<AssetStreamContent> VideoAPI::fetchStreamContent(const std::string& assetId) {
    std::weak_ptr<VideoAPI> weakSelf = weak_from_this();
    return rx::Observable<AssetStreamContent>::create(
        [weakSelf, assetId](const rx::AnyObserver<AssetStreamContent>& observer) -> rx::Disposable {
            auto self = weakSelf.lock();
            if (!self) {
                observer.onError(VideoError(VideoError::noAvailableStreamError));
                return rx::Disposables::create();
            }
            if (!self->tokenSource_) {
                observer.onError(noAccessTokenError());
                return rx::Disposables::create();
            }
            auto tokenSeen = std::make_shared<std::atomic<bool>>(false);
            // The token subscription belongs to this subscription and ends with it (after its content or
            // error, or when the subscriber lets go): nothing of a request is kept once it is over.
            return self->tokenSource_().subscribe(
                [weakSelf, assetId, observer, tokenSeen](const std::optional<std::string>& token) {
                    tokenSeen->store(true);
                    if (!token) {
                        observer.onError(noAccessTokenError());
                    } else if (auto api = weakSelf.lock()) {
                        api->fetch(assetId, token, observer);
                    } else {
                        observer.onError(VideoError(VideoError::noAvailableStreamError));
                    }
                },
                // A failing token source (a refresh that failed) ends the stream with its error, and one
                // that ends without a token counts as no token, so the player screen never waits for ever.
                [observer](const foundation::Error& error) { observer.onError(error); },
                [observer, tokenSeen] {
                    if (!tokenSeen->load()) observer.onError(noAccessTokenError());
                });
        });
}

void VideoAPI::fetch(const std::string& assetId, const std::optional<std::string>& accessToken,
                     const rx::AnyObserver<AssetStreamContent>& observer) {
    if (!accessToken) {
        observer.onError(LumoraNetworkError::unauthorised());
        return;
    }
    auto factory = assetInfoFactory();
    auto manager = playAssetManager();
    if (!factory || !manager) {
        observer.onError(VideoError(VideoError::noAvailableStreamError));
        return;
    }
    debugLog("☣️ Fetching stream content for asset:", assetId);
    const AssetInfo assetInfo = factory->makeAssetInfo(assetId);
    manager->fetchPlayAsset(assetInfo,
                            [token = *accessToken, observer](std::expected<PlayAsset, foundation::Error> result) {
                                handlePlayAssetResult(result, token, observer);
                            });
}

void VideoAPI::handlePlayAssetResult(const std::expected<PlayAsset, foundation::Error>& result,
                                     const std::string& accessToken,
                                     const rx::AnyObserver<AssetStreamContent>& observer) {
    if (!result) {
        debugLog("☣️ Play request failed:", result.error().localizedDescription());
        observer.onError(VideoError(VideoError::noAvailableStreamError, VideoError::causeOf(result.error())));
        return;
    }
    observer.onNext(AssetStreamContent::make(*result, accessToken));
    observer.onCompleted();
}

}  // namespace lumora
