#include "playback/ZuPlayerTypes.h"

namespace lumora {

std::optional<bool> ZuPlayerEvent::isVisible() const {
    if (const auto* changed = std::get_if<BifVisibilityChanged>(&value_)) return changed->isVisible;
    return std::nullopt;
}

std::optional<DRMError> ZuPlayerError::drmError() const {
    if (const auto* error = std::get_if<DRMError>(&value_)) return *error;
    return std::nullopt;
}

std::optional<foundation::Error> ZuPlayerError::reloadError() const {
    if (const auto* error = std::get_if<foundation::Error>(&value_)) return *error;
    return std::nullopt;
}

std::string ZuPlayerError::localizedDescription() const {
    return "The operation couldn’t be completed. (" + domain() + " error " + std::to_string(code()) + ".)";
}

std::optional<VideoPlaybackSpeed> VideoPlaybackSpeed::fromRawValue(float rawValue) {
    for (Case c : {paused, slowMo, normal, oneHalf, double_, triple}) {
        if (VideoPlaybackSpeed(c).rawValue() == rawValue) return VideoPlaybackSpeed(c);
    }
    return std::nullopt;
}

}  // namespace lumora
