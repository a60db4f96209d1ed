#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "avfoundation/AVAssetResourceLoader.h"
#include "avfoundation/AVPlayer.h"
#include "avfoundation/AVPlayerLayer.h"
#include "foundation/Error.h"
#include "foundation/URL.h"
#include "uikit/UIView.h"

namespace lumora {

// The view that shows the picture: its backing layer is an AVPlayerLayer bound to the view's own
// player. It loads a stream address into a new asset, lets the resource-loader delegate serve the
// asset's key requests, and puts a new item into the player only once the asset is known to be playable.
// Main thread only.
class ZuVideoView : public uikit::UIView {
  public:
    using LoadCompletion = std::function<void(std::optional<foundation::Error>)>;

    // A black view with a player that has no item.
    static std::shared_ptr<ZuVideoView> create(const coregraphics::CGRect& frame = coregraphics::CGRect());

    // Given to each new asset's resource loader; held weakly.
    std::weak_ptr<avfoundation::AVAssetResourceLoaderDelegate> resourceLoaderDelegate() const {
        return resourceLoaderDelegate_;
    }
    void setResourceLoaderDelegate(std::weak_ptr<avfoundation::AVAssetResourceLoaderDelegate> delegate) {
        resourceLoaderDelegate_ = std::move(delegate);
    }

    // Made once, never replaced.
    const std::shared_ptr<avfoundation::AVPlayer>& player() const { return player_; }
    std::shared_ptr<avfoundation::AVPlayerLayer> playerLayer() const;

    // Loads `url` on a serial queue of its own (labelled "queue", also the resource loader's delegate
    // queue) and calls `completion` once, on the main queue: nothing when the new item is in the player;
    // otherwise the asset's loading error, or the reactive library's "unknown" error when it gave none.
    // A failed load leaves the previous item in place. Without an address the completion gets the
    // reactive library's "no elements" error at once, on the calling thread. Only the latest load may
    // install its item: a load overtaken by a later one installs nothing, whichever finishes first, and
    // its completion gets a cancelled error (NSURLErrorDomain -999); so does a load whose player is gone by
    // the time the asset is ready (the view was released).
    void load(std::optional<foundation::URL> url, LoadCompletion completion = nullptr);

    // True when the player has a current item that is ready to play with an indefinite duration.
    bool isLive() const;

  protected:
    explicit ZuVideoView(const coregraphics::CGRect& frame);

  private:
    std::weak_ptr<avfoundation::AVAssetResourceLoaderDelegate> resourceLoaderDelegate_;
    std::shared_ptr<avfoundation::AVPlayer> player_;
    // The number of the latest load; a load answering with another number was overtaken. Main queue only.
    std::uint64_t loadGeneration_ = 0;
};

}  // namespace lumora
