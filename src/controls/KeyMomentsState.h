#pragma once

#include <functional>
#include <memory>

#include "uikit/UIButton.h"
#include "uikit/UIImage.h"

namespace lumora {

// How much of the asset's key moments the viewer asked to see, as the functional row's key-moments button
// shows it: none, a slow reveal, or all of them. Equatable and hashable.
class KeyMomentsState {
  public:
    enum Case : int { off, slowReveal, revealAll };

    constexpr KeyMomentsState(Case value = off) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }              // NOLINT(google-explicit-constructor)

    // The state's image from the live icon catalogue ("keyMomentsOff", "keyMomentsSlowReveal",
    // "keyMomentsRevealAll" of the bottom controls), read at the moment of the call; none when the catalogue's
    // bundle has no such image.
    std::shared_ptr<uikit::UIImage> image() const;

    // Moves on (off → slow reveal → reveal all → off) and shows the new state's image on `button` for the
    // normal state.
    void next(uikit::UIButton& forButton);

  private:
    Case value_;
};

}  // namespace lumora

template <>
struct std::hash<lumora::KeyMomentsState> {
    std::size_t operator()(const lumora::KeyMomentsState& state) const noexcept {
        return std::hash<int>{}(static_cast<int>(static_cast<lumora::KeyMomentsState::Case>(state)));
    }
};
