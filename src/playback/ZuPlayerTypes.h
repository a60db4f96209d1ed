#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "foundation/Error.h"
#include "playback/DRMError.h"

namespace lumora {

// What the player and its controls report through `ZuPlayerDelegate::playerDidProduceEvent`.
class ZuPlayerEvent {
  public:
    struct BifVisibilityChanged {
        bool isVisible = false;
        bool operator==(const BifVisibilityChanged&) const = default;
    };
    struct UpNextPressed {
        bool operator==(const UpNextPressed&) const = default;
    };
    struct Play {
        bool operator==(const Play&) const = default;
    };
    struct Pause {
        bool operator==(const Pause&) const = default;
    };

    // The scrubbing thumbnails were shown or hidden (sent by the controls).
    static ZuPlayerEvent bifVisibilityChanged(bool isVisible) { return ZuPlayerEvent(BifVisibilityChanged{isVisible}); }
    // The viewer asked for the next asset (sent by the controls).
    static ZuPlayerEvent upNextPressed() { return ZuPlayerEvent(UpNextPressed{}); }
    // `play(muted:)` started playback.
    static ZuPlayerEvent play() { return ZuPlayerEvent(Play{}); }
    // `pause(force:)` paused.
    static ZuPlayerEvent pause() { return ZuPlayerEvent(Pause{}); }

    bool isBifVisibilityChanged() const { return std::holds_alternative<BifVisibilityChanged>(value_); }
    bool isUpNextPressed() const { return std::holds_alternative<UpNextPressed>(value_); }
    bool isPlay() const { return std::holds_alternative<Play>(value_); }
    bool isPause() const { return std::holds_alternative<Pause>(value_); }
    // The payload of `bifVisibilityChanged`; nothing for the other cases.
    std::optional<bool> isVisible() const;

    const std::variant<BifVisibilityChanged, UpNextPressed, Play, Pause>& value() const { return value_; }
    bool operator==(const ZuPlayerEvent&) const = default;

  private:
    explicit ZuPlayerEvent(std::variant<BifVisibilityChanged, UpNextPressed, Play, Pause> value) : value_(value) {}
    std::variant<BifVisibilityChanged, UpNextPressed, Play, Pause> value_;
};

// The player's failures, bridged to the domain "Lumora.ZuPlayerError" with the case's position as code.
class ZuPlayerError {
  public:
    static constexpr const char* errorDomain = "Lumora.ZuPlayerError";

    // The FairPlay loader of the current stream published a failure.
    static ZuPlayerError drm(DRMError error) { return ZuPlayerError(error); }
    // The stream load of a reload failed with `error`.
    static ZuPlayerError reloadFailed(foundation::Error error) { return ZuPlayerError(std::move(error), Reload{}); }

    bool isDrm() const { return std::holds_alternative<DRMError>(value_); }
    bool isReloadFailed() const { return std::holds_alternative<foundation::Error>(value_); }
    // The payloads; nothing for the other case.
    std::optional<DRMError> drmError() const;
    std::optional<foundation::Error> reloadError() const;

    std::string domain() const { return errorDomain; }
    int code() const { return static_cast<int>(value_.index()); }
    // "The operation couldn’t be completed. (Lumora.ZuPlayerError error N.)", as the bridged error reads.
    std::string localizedDescription() const;

  private:
    // Separate constructors (not one from the variant): asking whether this type copies must never ask
    // whether it converts to the `foundation::Error` it may hold.
    struct Reload {};
    explicit ZuPlayerError(DRMError error) : value_(std::in_place_index<0>, error) {}
    ZuPlayerError(foundation::Error error, Reload) : value_(std::in_place_index<1>, std::move(error)) {}
    std::variant<DRMError, foundation::Error> value_;
};

// The playback rates the controls offer. Raw values are the rates.
class VideoPlaybackSpeed {
  public:
    enum Case : int { paused, slowMo, normal, oneHalf, double_, triple };

    constexpr VideoPlaybackSpeed(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }           // NOLINT(google-explicit-constructor)

    // 0, 0.5, 1, 1.5, 2, 3.
    constexpr float rawValue() const {
        constexpr float rates[] = {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f};
        return rates[static_cast<int>(value_)];
    }
    // The case whose rate is exactly `rawValue`; nothing for any other value (NaN included).
    static std::optional<VideoPlaybackSpeed> fromRawValue(float rawValue);

  private:
    Case value_;
};

struct ZuVideoPlayerConstant {
    // Seconds a jump moves by.
    static constexpr double jumpVideoDuration = 15.0;
    // Milliseconds between repeats of a held control.
    static constexpr int intervalToRepeatEventWhenHeldDown = 300;
    // The asset key whose loading tells whether a stream can be played.
    inline static const std::string playerPlayableKey = "playable";
    // How close to the live edge (seconds) a position counts as live.
    static constexpr double playbackTimeDifferenceToBeLive = 10.0;
    // How far the remote's pad must be pushed to count.
    static constexpr float remotePadThreshold = 0.7f;
};

}  // namespace lumora

template <>
struct std::hash<lumora::VideoPlaybackSpeed> {
    std::size_t operator()(const lumora::VideoPlaybackSpeed& s) const noexcept {
        return std::hash<int>{}(static_cast<int>(static_cast<lumora::VideoPlaybackSpeed::Case>(s)));
    }
};
