#pragma once

#include <memory>
#include <optional>

#include "uikit/UIButton.h"

namespace lumora {

// The button of every player control. Its intrinsic size includes its image and title edge insets (a
// plain button's leaves them out), so a titled button with an inset title asks for the room it draws in.
// Main thread only.
class ZuPlayerButton : public uikit::UIButton {
  public:
    // A namespace for the buttons' metrics; it has none of its own yet.
    enum class Metrics {};

    // init(frame:): a custom button, nothing added.
    static std::shared_ptr<ZuPlayerButton> create(const uikit::CGRect& frame = uikit::CGRect());

    // The one look of the control buttons: a custom button with the kit's regular font of the live metrics'
    // `defaultFontSize` (taken once, at the first call, and kept), a clear background, a size constraint
    // when a size is given, a soft black shadow (offset 0 × 1, opacity 0.68, radius 2) and alpha 0.6; then
    // the live style's `defaultButtonStyle`, when set.
    static std::shared_ptr<ZuPlayerButton> controlButton(std::optional<uikit::CGSize> size);

    // The base size, plus the left and right image and title edge insets in width and their top and
    // bottom insets in height.
    uikit::CGSize intrinsicContentSize() const override;

  protected:
    explicit ZuPlayerButton(const uikit::CGRect& frame) : UIButton(ButtonType::custom, frame) {}
};

}  // namespace lumora
