#include "avfoundation/AVPlayerLayer.h"

#include <algorithm>

namespace avfoundation {

std::string rawValue(AVLayerVideoGravity gravity) {
    switch (gravity) {
        case AVLayerVideoGravity::resizeAspect:
            return "AVLayerVideoGravityResizeAspect";
        case AVLayerVideoGravity::resizeAspectFill:
            return "AVLayerVideoGravityResizeAspectFill";
        case AVLayerVideoGravity::resize:
            return "AVLayerVideoGravityResize";
    }
    return {};
}

std::optional<AVLayerVideoGravity> videoGravityFromRawValue(const std::string& value) {
    for (auto g :
         {AVLayerVideoGravity::resizeAspect, AVLayerVideoGravity::resizeAspectFill, AVLayerVideoGravity::resize}) {
        if (rawValue(g) == value) return g;
    }
    return std::nullopt;
}

std::shared_ptr<AVPlayerLayer> AVPlayerLayer::create(std::shared_ptr<AVPlayer> player) {
    auto layer = std::shared_ptr<AVPlayerLayer>(new AVPlayerLayer());
    layer->player_ = std::move(player);
    return layer;
}

bool AVPlayerLayer::isReadyForDisplay() const {
    auto item = player_ ? player_->currentItem() : nullptr;
    return item && item->status() == AVPlayerItem::Status::readyToPlay;
}

quartzcore::CGRect AVPlayerLayer::videoRect() const {
    if (!isReadyForDisplay()) return {};
    const auto size = player_->currentItem()->presentationSize();
    const auto b = bounds();
    if (size.width <= 0 || size.height <= 0 || b.size.width <= 0 || b.size.height <= 0) return {};
    if (videoGravity_ == AVLayerVideoGravity::resize) return b;
    const double sx = b.size.width / size.width;
    const double sy = b.size.height / size.height;
    const double scale = videoGravity_ == AVLayerVideoGravity::resizeAspect ? std::min(sx, sy) : std::max(sx, sy);
    const double w = size.width * scale;
    const double h = size.height * scale;
    return quartzcore::CGRect{{b.origin.x + (b.size.width - w) / 2, b.origin.y + (b.size.height - h) / 2}, {w, h}};
}

}  // namespace avfoundation
