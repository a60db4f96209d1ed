// The player view's captions and subtitles: every operation goes to the current item and its asset's legible
// group, so the media player's own selection is the only record of the choice.
#include "playback/ZuPlayer.h"

namespace lumora {

using avfoundation::AVMediaSelectionGroup;

std::shared_ptr<AVMediaSelectionGroup> ZuPlayer::legibleGroup() const {
    auto item = avplayer()->currentItem();
    if (!item || !item->asset()) return nullptr;
    return item->asset()->mediaSelectionGroup(avfoundation::AVMediaCharacteristicLegible);
}

std::optional<AVMediaSelectionGroup::Options> ZuPlayer::captionsAndSubtitles() const {
    auto group = legibleGroup();
    if (!group) return std::nullopt;
    return group->options();
}

std::shared_ptr<avfoundation::AVMediaSelectionOption> ZuPlayer::selectedCaptionAndSubtitle() const {
    auto item = avplayer()->currentItem();
    auto group = legibleGroup();
    if (!item || !group) return nullptr;
    auto selection = item->currentMediaSelection();
    return selection ? selection->selectedMediaOption(group) : nullptr;
}

void ZuPlayer::setCaptionAndSubtitle(const std::optional<foundation::Locale>& to) {
    // No locale is not "off": `turnOffCaptionAndSubtitles()` is.
    if (!to) return;
    auto item = avplayer()->currentItem();
    auto group = legibleGroup();
    if (!item || !group) return;
    const auto matching = AVMediaSelectionGroup::mediaSelectionOptions(group->options(), *to);
    if (matching.empty()) return;
    item->select(matching.front(), group);
}

void ZuPlayer::turnOffCaptionAndSubtitles() {
    auto item = avplayer()->currentItem();
    auto group = legibleGroup();
    if (item && group) item->select(nullptr, group);
}

void ZuPlayer::setCaptionAndSubtitleToAutomatic() {
    auto item = avplayer()->currentItem();
    auto group = legibleGroup();
    if (item && group) item->selectMediaOptionAutomatically(group);
}

}  // namespace lumora
