#include "playback/AVPlayerInterfaceAdapter.h"

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

}  // namespace lumora
