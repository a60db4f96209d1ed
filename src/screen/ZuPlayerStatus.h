#pragma once

#include <cstddef>
#include <functional>
#include <optional>

namespace lumora {

// What the player screen tells its host about playback: playing, paused, or at the end of the item.
// Raw values 0, 1 and 2.
class ZuPlayerStatus {
  public:
    enum Case : int { playing = 0, paused = 1, ended = 2 };

    constexpr ZuPlayerStatus(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }       // NOLINT(google-explicit-constructor)

    constexpr int rawValue() const { return static_cast<int>(value_); }
    // The status of raw value 0, 1 or 2; nothing for any other value.
    static constexpr std::optional<ZuPlayerStatus> fromRawValue(int rawValue) {
        if (rawValue < playing || rawValue > ended) return std::nullopt;
        return ZuPlayerStatus(static_cast<Case>(rawValue));
    }

  private:
    Case value_;
};

}  // namespace lumora

template <>
struct std::hash<lumora::ZuPlayerStatus> {
    std::size_t operator()(const lumora::ZuPlayerStatus& s) const noexcept { return std::hash<int>{}(s.rawValue()); }
};
