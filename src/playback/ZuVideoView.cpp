#include "playback/ZuVideoView.h"

#include "avfoundation/AVAsset.h"
#include "dispatch/DispatchQueue.h"
#include "foundation/URLError.h"
#include "rx/Event.h"

namespace lumora {

namespace {

// The key whose loading tells whether the asset can be played.
constexpr const char* kPlayableKey = "playable";

foundation::Error noElementsError() {
    return rx::RxError::noElements();
}
foundation::Error unknownError() {
    return rx::RxError::unknown();
}
foundation::Error cancelledError() {
    return foundation::Error(foundation::URLError::make(foundation::URLError::cancelled));
}

}  // namespace

ZuVideoView::ZuVideoView(const coregraphics::CGRect& frame)
    : uikit::UIView(frame, avfoundation::AVPlayerLayer::create()) {
    player_ = avfoundation::AVPlayer::create();
}

std::shared_ptr<ZuVideoView> ZuVideoView::create(const coregraphics::CGRect& frame) {
    auto view = std::shared_ptr<ZuVideoView>(new ZuVideoView(frame));
    view->setBackgroundColor(uikit::UIColor::black());
    view->playerLayer()->setPlayer(view->player_);
    return view;
}

std::shared_ptr<avfoundation::AVPlayerLayer> ZuVideoView::playerLayer() const {
    return std::static_pointer_cast<avfoundation::AVPlayerLayer>(layer());
}

void ZuVideoView::load(std::optional<foundation::URL> url, LoadCompletion completion) {
    if (!url) {
        if (completion) completion(noElementsError());
        return;
    }
    auto asset = avfoundation::AVURLAsset::create(std::move(*url));
    // Every load gets its own queue; the asset's resource loader keeps it for as long as the asset lives.
    auto queue = std::make_shared<dispatch::DispatchQueue>("queue");
    asset->resourceLoader()->setDelegate(resourceLoaderDelegate_, queue);
    const std::uint64_t generation = ++loadGeneration_;
    std::weak_ptr<ZuVideoView> weakView = sharedAs<ZuVideoView>();
    std::weak_ptr<avfoundation::AVPlayer> weakPlayer = player_;
    asset->loadValuesAsynchronously(
        {kPlayableKey}, [asset, weakView, weakPlayer, generation, completion = std::move(completion)] {
            std::optional<foundation::Error> error;
            const auto status = asset->statusOfValue(kPlayableKey, &error);
            dispatch::DispatchQueue::main().async([asset, weakView, weakPlayer, generation, completion, status, error] {
                // A later load owns the player's item now: this one must not replace it, whenever it answers.
                auto view = weakView.lock();
                if (view && view->loadGeneration_ != generation) {
                    if (completion) completion(cancelledError());
                    return;
                }
                if (status == avfoundation::AVKeyValueStatus::loaded && asset->isPlayable()) {
                    auto player = weakPlayer.lock();
                    if (!player) {
                        if (completion) completion(cancelledError());
                        return;
                    }
                    player->replaceCurrentItem(avfoundation::AVPlayerItem::create(asset));
                    if (completion) completion(std::nullopt);
                    return;
                }
                if (completion) completion(error ? *error : unknownError());
            });
        });
}

bool ZuVideoView::isLive() const {
    auto item = player_->currentItem();
    return item && item->status() == avfoundation::AVPlayerItem::Status::readyToPlay && item->duration().isIndefinite();
}

}  // namespace lumora
