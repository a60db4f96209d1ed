#pragma once

#include <optional>

#include "ui/ZuViewStyle.h"
#include "uikit/UIButton.h"

namespace lumora {

// The default look of the player's controls. A value: the live one is `shared()` (what `ZuPlayer::style()`
// gives), which starts without a button style; a change affects only the buttons made after it.
// Main thread only.
struct ZuPlayerStyle {
    // When set, every control button is passed through it as the last step of its making.
    std::optional<ZuViewStyle<uikit::UIButton>> defaultButtonStyle;

    // The live style; modifiable in place.
    static ZuPlayerStyle& shared();
    static void setShared(ZuPlayerStyle style);
};

}  // namespace lumora
