#include "avfoundation/AVPlayerItem.h"

#include <algorithm>

#include "avfoundation/detail/PlayerItemEngine.h"

namespace avfoundation {

AVPlayerItem::AVPlayerItem(std::shared_ptr<AVAsset> asset)
    : asset_(std::move(asset)), engine_(detail::PlayerItemEngine::create(asset_)) {
    const auto& p = engine_->properties();
    registerKey("status", p.status);
    registerKey("duration", p.duration);
    registerKey("seekableTimeRanges", p.seekableTimeRanges);
    registerKey("loadedTimeRanges", p.loadedTimeRanges);
    registerKey("isPlaybackBufferEmpty", p.isPlaybackBufferEmpty);
    registerKey("presentationSize", p.presentationSize);
}

std::shared_ptr<AVPlayerItem> AVPlayerItem::create(std::shared_ptr<AVAsset> asset) {
    auto item = std::shared_ptr<AVPlayerItem>(new AVPlayerItem(std::move(asset)));
    item->engine_->setItem(item);
    return item;
}

std::shared_ptr<AVPlayerItem> AVPlayerItem::create(foundation::URL url) {
    return create(AVURLAsset::create(std::move(url)));
}

AVPlayerItem::~AVPlayerItem() = default;

// ---- Observable properties ----

AVPlayerItem::Status AVPlayerItem::status() const {
    return engine_->properties().status.value();
}
const foundation::KVOProperty<AVPlayerItem::Status>& AVPlayerItem::statusProperty() const {
    return engine_->properties().status;
}
coremedia::CMTime AVPlayerItem::duration() const {
    return engine_->properties().duration.value();
}
const foundation::KVOProperty<coremedia::CMTime>& AVPlayerItem::durationProperty() const {
    return engine_->properties().duration;
}
std::vector<coremedia::CMTimeRange> AVPlayerItem::seekableTimeRanges() const {
    return engine_->properties().seekableTimeRanges.value();
}
const foundation::KVOProperty<std::vector<coremedia::CMTimeRange>>& AVPlayerItem::seekableTimeRangesProperty() const {
    return engine_->properties().seekableTimeRanges;
}
std::vector<coremedia::CMTimeRange> AVPlayerItem::loadedTimeRanges() const {
    return engine_->properties().loadedTimeRanges.value();
}
const foundation::KVOProperty<std::vector<coremedia::CMTimeRange>>& AVPlayerItem::loadedTimeRangesProperty() const {
    return engine_->properties().loadedTimeRanges;
}
bool AVPlayerItem::isPlaybackBufferEmpty() const {
    return engine_->properties().isPlaybackBufferEmpty.value();
}
const foundation::KVOProperty<bool>& AVPlayerItem::isPlaybackBufferEmptyProperty() const {
    return engine_->properties().isPlaybackBufferEmpty;
}
coregraphics::CGSize AVPlayerItem::presentationSize() const {
    return engine_->properties().presentationSize.value();
}
const foundation::KVOProperty<coregraphics::CGSize>& AVPlayerItem::presentationSizeProperty() const {
    return engine_->properties().presentationSize;
}

std::optional<foundation::Error> AVPlayerItem::error() const {
    return engine_->error();
}

coremedia::CMTime AVPlayerItem::currentTime() const {
    return engine_->currentTime();
}

double AVPlayerItem::preferredForwardBufferDuration() const {
    return engine_->preferredForwardBufferDuration();
}

void AVPlayerItem::setPreferredForwardBufferDuration(double seconds) {
    engine_->setPreferredForwardBufferDuration(seconds);
}

// ---- Media selection ----

std::shared_ptr<AVMediaSelection> AVPlayerItem::currentMediaSelection() const {
    AVMediaSelection::Choices choices;
    if (asset_) {
        if (auto group = asset_->mediaSelectionGroup(AVMediaCharacteristicLegible)) {
            auto chosen =
                std::find_if(selection_.begin(), selection_.end(), [&](const auto& c) { return c.first == group; });
            choices.emplace_back(group, chosen != selection_.end() ? chosen->second : group->defaultOption());
        }
    }
    return std::make_shared<AVMediaSelection>(std::move(choices));
}

void AVPlayerItem::select(std::shared_ptr<AVMediaSelectionOption> option,
                          const std::shared_ptr<AVMediaSelectionGroup>& group) {
    if (!group) return;
    if (option && !group->contains(option)) return;
    if (!option && !group->allowsEmptySelection()) return;
    auto chosen = std::find_if(selection_.begin(), selection_.end(), [&](const auto& c) { return c.first == group; });
    if (chosen != selection_.end()) {
        chosen->second = std::move(option);
    } else {
        selection_.emplace_back(group, std::move(option));
    }
}

void AVPlayerItem::selectMediaOptionAutomatically(const std::shared_ptr<AVMediaSelectionGroup>& group) {
    std::erase_if(selection_, [&](const auto& c) { return c.first == group; });
}

// ---- Logs ----

std::shared_ptr<const AVPlayerItemAccessLog> AVPlayerItem::accessLog() const {
    return engine_->logs().accessLog();
}

std::shared_ptr<const AVPlayerItemErrorLog> AVPlayerItem::errorLog() const {
    return engine_->logs().errorLog();
}

}  // namespace avfoundation
