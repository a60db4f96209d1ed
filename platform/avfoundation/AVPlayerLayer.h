#pragma once

#include <memory>
#include <optional>
#include <string>

#include "avfoundation/AVPlayer.h"
#include "quartzcore/CALayer.h"

namespace avfoundation {

// How the picture fills the layer's bounds.
enum class AVLayerVideoGravity { resizeAspect, resizeAspectFill, resize };
// "AVLayerVideoGravityResizeAspect", "AVLayerVideoGravityResizeAspectFill", "AVLayerVideoGravityResize".
std::string rawValue(AVLayerVideoGravity gravity);
std::optional<AVLayerVideoGravity> videoGravityFromRawValue(const std::string& rawValue);

// The layer that shows a player's picture. It holds its player strongly.
//
// The simulated player decodes no video, so the picture is a synthetic frame of the current item, drawn
// inside `videoRect()` whenever the layer draws: a sky-and-pitch scene at the item's proportions, a ball
// that crosses the pitch every ten seconds and the playhead time printed above it. It depends only on the
// item's presentation size and the player's current time, so a rendering is the same for the same time.
class AVPlayerLayer : public quartzcore::CALayer {
  public:
    static std::shared_ptr<AVPlayerLayer> create(std::shared_ptr<AVPlayer> player = nullptr);

    const std::shared_ptr<AVPlayer>& player() const { return player_; }
    void setPlayer(std::shared_ptr<AVPlayer> player) { player_ = std::move(player); }
    AVLayerVideoGravity videoGravity() const { return videoGravity_; }
    void setVideoGravity(AVLayerVideoGravity gravity) { videoGravity_ = gravity; }

    // True while the player's current item is ready to play.
    bool isReadyForDisplay() const;
    // Where the picture lies in the bounds: the current item's presentation size placed by the video
    // gravity; the zero rectangle while there is no picture.
    quartzcore::CGRect videoRect() const;

    // What the layer's delegate draws, then the picture of the current item (nothing while there is none).
    void draw(quartzcore::CGContext& in) override;

  protected:
    AVPlayerLayer() = default;

  private:
    std::shared_ptr<AVPlayer> player_;
    AVLayerVideoGravity videoGravity_ = AVLayerVideoGravity::resizeAspect;
};

}  // namespace avfoundation
