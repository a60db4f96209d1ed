#include "playback/AVPlayerInterfaceAdapter.h"

#include <cmath>

#include "avfoundation/AVPlayerItem.h"

namespace lumora {

std::shared_ptr<AVPlayerInterfaceAdapter> AVPlayerInterfaceAdapter::create(
    const std::shared_ptr<avfoundation::AVPlayer>& player) {
    return std::shared_ptr<AVPlayerInterfaceAdapter>(new AVPlayerInterfaceAdapter(player));
}

std::any AVPlayerInterfaceAdapter::addPeriodicTimeObserver(coremedia::CMTime interval, dispatch::DispatchQueue* queue,
                                                           TimeObserverBlock block) {
    auto player = player_.lock();
    if (!player) return {};
    return player->addPeriodicTimeObserver(interval, queue, std::move(block));
}

void AVPlayerInterfaceAdapter::removeTimeObserver(const std::any& observer) {
    if (auto player = player_.lock()) player->removeTimeObserver(observer);
}

std::optional<double> AVPlayerInterfaceAdapter::streamDuration() const {
    auto player = player_.lock();
    auto item = player ? player->currentItem() : nullptr;
    if (!item) return std::nullopt;
    const auto duration = item->duration();
    if (!duration.isNumeric()) return std::nullopt;
    const double seconds = duration.seconds();
    if (!std::isfinite(seconds) || seconds <= 0) return std::nullopt;
    return seconds;
}

}  // namespace lumora
