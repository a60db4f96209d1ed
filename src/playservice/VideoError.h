#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace lumora {

// How every failure of the play road reaches the player screen (a missing token excepted).
class VideoError {
  public:
    enum Case { noAvailableStreamError };

    constexpr VideoError(Case value = noAvailableStreamError) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }                            // NOLINT(google-explicit-constructor)

    // "Stream not available".
    std::string localizedDescription() const;

  private:
    Case value_;
};

}  // namespace lumora

template <>
struct std::hash<lumora::VideoError> {
    std::size_t operator()(const lumora::VideoError& e) const noexcept { return std::hash<int>{}(static_cast<int>(e)); }
};
