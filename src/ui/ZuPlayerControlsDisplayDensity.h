#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <iosfwd>
#include <optional>

namespace lumora {

// How much of the controls the player shows for the space it has: twelve densities, 0 to 11, without
// names; the controls view, its rows and the ad controls key their layout on it.
//
// A value always holds one of the twelve, so a table of twelve entries can be indexed by it safely. A
// literal is checked when compiling (`ZuPlayerControlsDisplayDensity density = 9;`, while `= 12` does not
// compile); an integer known only when running goes through `fromRawValue`, which says when it is out of
// range or falls back to a density given.
class ZuPlayerControlsDisplayDensity {
  public:
    static constexpr int minimumRawValue = 0;
    static constexpr int maximumRawValue = 11;
    static constexpr std::size_t count = 12;

    // Density 2, the one the kit starts with.
    constexpr ZuPlayerControlsDisplayDensity() = default;
    // A density from a constant; out of range does not compile.
    consteval ZuPlayerControlsDisplayDensity(int rawValue)  // NOLINT(google-explicit-constructor)
        : rawValue_(rawValue) {
        if (rawValue < minimumRawValue || rawValue > maximumRawValue) {
            throw "a display density is 0 to 11";  // not a constant expression: the literal does not compile
        }
    }

    // The density of an integer, nothing when it is not 0 to 11.
    static constexpr std::optional<ZuPlayerControlsDisplayDensity> fromRawValue(int rawValue) {
        if (rawValue < minimumRawValue || rawValue > maximumRawValue) return std::nullopt;
        ZuPlayerControlsDisplayDensity density;
        density.rawValue_ = rawValue;
        return density;
    }
    // The density of an integer, or `fallback` when it is not 0 to 11.
    static constexpr ZuPlayerControlsDisplayDensity fromRawValue(int rawValue,
                                                                 ZuPlayerControlsDisplayDensity fallback) {
        return fromRawValue(rawValue).value_or(fallback);
    }

    constexpr int rawValue() const { return rawValue_; }

    // The entry of a table with one entry per density.
    template <class T>
    constexpr const T& in(const std::array<T, count>& table) const {
        return table[static_cast<std::size_t>(rawValue_)];
    }

    friend constexpr auto operator<=>(const ZuPlayerControlsDisplayDensity&,
                                      const ZuPlayerControlsDisplayDensity&) = default;

  private:
    int rawValue_ = 2;
};

// "ZuPlayerControlsDisplayDensity(2)", for test messages.
std::ostream& operator<<(std::ostream& os, ZuPlayerControlsDisplayDensity density);

}  // namespace lumora
