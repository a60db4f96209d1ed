#pragma once

// The vocabulary that the cast manager, the host's casting plug-ins and the host exchange: which kind of target
// is meant, the connection state of a target, the state of the remote player, how playback resumes after a seek,
// the description of a stream played on a receiver with its artwork and caption tracks, the custom actions a
// receiver offers, and the two texts of a cast drawer. Every value is immutable once built and may be handed
// between threads; the kit never encodes, decodes or stores any of them.

#include <any>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "coregraphics/CGGeometry.h"
#include "foundation/URL.h"

namespace lumora {

// The kind of cast target; the manager picks one of its two plug-ins by it.
enum class CastType { chromecast, airplay };

// The connection state of a cast target. `connected`: the plug-in is connected to a device;
// `canControlCastPlayer`: in addition, the remote player accepts commands.
enum class CastConnectionState : int {
    disconnected = 0,
    connecting = 1,
    connected = 2,
    canControlCastPlayer = 3,
    disconnecting = 4,
};

constexpr int rawValue(CastConnectionState state) {
    return static_cast<int>(state);
}
// The state with that raw value; none outside 0...4.
std::optional<CastConnectionState> castConnectionStateFromRawValue(int rawValue);

// The state of the remote player.
enum class CastPlayerState { unknown, idle, playing, paused, buffering, loading };

// What the remote player does once a seek has landed: keep its state, play, or pause.
enum class CastResumeState : int {
    unchanged = 0,
    play = 1,
    paused = 2,
};

constexpr int rawValue(CastResumeState state) {
    return static_cast<int>(state);
}
// The resume state with that raw value; none outside 0...2.
std::optional<CastResumeState> castResumeStateFromRawValue(int rawValue);

// The artwork of a cast stream. Shared, never copied.
class CastImage {
  public:
    // No image without an address; the size is kept as the host states it, unchecked.
    static std::shared_ptr<CastImage> create(std::optional<foundation::URL> imageURL, coregraphics::CGSize size);

    const foundation::URL& imageURL() const { return imageURL_; }
    coregraphics::CGSize imageSize() const { return imageSize_; }

  private:
    CastImage(foundation::URL imageURL, coregraphics::CGSize size) : imageURL_(std::move(imageURL)), imageSize_(size) {}

    const foundation::URL imageURL_;
    const coregraphics::CGSize imageSize_;
};

// One closed-caption track of a cast stream.
struct MediaTrack {
    int id = 0;
    std::string languageCode;
};

// A custom action that the Chromecast plug-in offers, handed back to it when the action's button is tapped.
struct CastCustomMessage {
    std::string title;
    std::string actionType;
};

// The description of a stream to be played on a cast receiver. Nothing is validated or normalised.
struct CastStream {
    // Extra data for the plug-in; the kit carries it through unread.
    using CustomData = std::map<std::string, std::any>;

    CastStream(std::string assetID, std::string title, std::optional<std::string> subtitle,
               std::shared_ptr<const CastImage> image, bool isLive, std::string contentType,
               std::optional<double> position, std::optional<double> duration, float rate, CastPlayerState state,
               std::vector<MediaTrack> closedCaptions, std::optional<CustomData> customData);

    std::string assetID;
    std::string title;
    std::optional<std::string> subtitle;
    std::shared_ptr<const CastImage> image;
    bool isLive;
    std::string contentType;
    // Seconds.
    std::optional<double> position;
    // Seconds; the manager's live test measures positions against it.
    std::optional<double> duration;
    float rate;
    CastPlayerState state;
    // In the order in which they are offered.
    std::vector<MediaTrack> closedCaptions;
    // Empty when the stream was built without any.
    CustomData customData;
};

// The two texts of a cast drawer: an asset being cast, or a device ready to be cast to. Offered to the host;
// the kit never builds one.
class DrawerStatus {
  public:
    static DrawerStatus playing(std::string assetName) { return DrawerStatus(Playing{std::move(assetName)}); }
    static DrawerStatus ready(std::string deviceName) { return DrawerStatus(Ready{std::move(deviceName)}); }

    bool isPlaying() const { return std::holds_alternative<Playing>(value_); }
    bool isReady() const { return std::holds_alternative<Ready>(value_); }
    // The case's text: none for the other case.
    std::optional<std::string> assetName() const;
    std::optional<std::string> deviceName() const;

    // "Casting" or "Ready to Cast".
    std::string status() const;
    // The asset or device name, unchanged.
    std::string detail() const;

  private:
    struct Playing {
        std::string assetName;
    };
    struct Ready {
        std::string deviceName;
    };
    explicit DrawerStatus(std::variant<Playing, Ready> value) : value_(std::move(value)) {}

    std::variant<Playing, Ready> value_;
};

}  // namespace lumora
