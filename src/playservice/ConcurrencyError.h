#pragma once

#include <string>

namespace lumora {

// The viewer's subscription has reached its limit of concurrent streams (the player-event back end
// answered 403).
class ConcurrencyError {
  public:
    enum Case { defaultError };

    constexpr ConcurrencyError(Case value = defaultError) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }                        // NOLINT(google-explicit-constructor)

    // "Max number of active streams for this subscription is reached".
    std::string localizedDescription() const;

  private:
    Case value_;
};

}  // namespace lumora
