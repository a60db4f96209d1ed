#include "casting/CastModel.h"

#include <utility>

namespace lumora {

std::optional<CastConnectionState> castConnectionStateFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 4) return std::nullopt;
    return static_cast<CastConnectionState>(rawValue);
}

std::optional<CastResumeState> castResumeStateFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 2) return std::nullopt;
    return static_cast<CastResumeState>(rawValue);
}

std::shared_ptr<CastImage> CastImage::create(std::optional<foundation::URL> imageURL, coregraphics::CGSize size) {
    if (!imageURL) return nullptr;
    return std::shared_ptr<CastImage>(new CastImage(std::move(*imageURL), size));
}

CastStream::CastStream(std::string assetID, std::string title, std::optional<std::string> subtitle,
                       std::shared_ptr<const CastImage> image, bool isLive, std::string contentType,
                       std::optional<double> position, std::optional<double> duration, float rate,
                       CastPlayerState state, std::vector<MediaTrack> closedCaptions,
                       std::optional<CustomData> customData)
    : assetID(std::move(assetID)),
      title(std::move(title)),
      subtitle(std::move(subtitle)),
      image(std::move(image)),
      isLive(isLive),
      contentType(std::move(contentType)),
      position(position),
      duration(duration),
      rate(rate),
      state(state),
      closedCaptions(std::move(closedCaptions)),
      customData(customData ? std::move(*customData) : CustomData{}) {}

std::optional<std::string> DrawerStatus::assetName() const {
    if (const auto* playing = std::get_if<Playing>(&value_)) return playing->assetName;
    return std::nullopt;
}

std::optional<std::string> DrawerStatus::deviceName() const {
    if (const auto* ready = std::get_if<Ready>(&value_)) return ready->deviceName;
    return std::nullopt;
}

std::string DrawerStatus::status() const {
    return isPlaying() ? "Casting" : "Ready to Cast";
}

std::string DrawerStatus::detail() const {
    if (const auto* playing = std::get_if<Playing>(&value_)) return playing->assetName;
    return std::get<Ready>(value_).deviceName;
}

}  // namespace lumora
