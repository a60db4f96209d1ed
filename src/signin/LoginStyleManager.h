#pragma once

#include <optional>

#include "signin/ZuStateButton.h"
#include "ui/ZuViewStyle.h"
#include "uikit/UIColor.h"
#include "uikit/UIEdgeInsets.h"
#include "uikit/UIFont.h"

namespace lumora {

// The look of the sign-in screens: fonts, a colour, margins, spacing and the primary button's style. A
// plain value that never changes once made; copies share the font values and the style closure.
struct LoginStyleManager {
    // Opacity of a disabled login button.
    uikit::CGFloat alphaWhenDisabled;
    // Factor of the screens' vertical spacings.
    int scaleFactor;
    // The kit's Gibson faces (registered by the host with the kit's fonts); none when a face is not
    // registered, and the screens then use the system font of the same size and weight.
    std::optional<uikit::UIFont> lightFont;           // "Gibson-Light" 16
    std::optional<uikit::UIFont> regularFont;         // "Gibson-Regular" 16
    std::optional<uikit::UIFont> semiboldFont;        // "Gibson-SemiBold" 16
    std::optional<uikit::UIFont> mediumRegularFont;   // "Gibson-Regular" 18
    std::optional<uikit::UIFont> mediumSemiboldFont;  // "Gibson-SemiBold" 18
    std::optional<uikit::UIFont> largeSemiboldFont;   // "Gibson-SemiBold" 26
    std::optional<uikit::UIFont> largeRegularFont;    // "Gibson-Regular" 26
    uikit::UIColor fieldTitleLabelColor;
    uikit::UIEdgeInsets contentViewLayoutMargins;
    uikit::CGFloat topImageHeight;
    // White title and tint, clear background, corner radius 3, a 2-point border in the kit's primary green,
    // the title font `regularFont` of `standard()`, and the title "Login".
    ZuViewStyle<ZuStateButton> primaryButtonStyle;

    // The shared value, made once on first read (safe against concurrent first reads) and kept for the life
    // of the process. Fonts registered after that first read are not seen.
    static const LoginStyleManager& standard();
};

// `font`, or the system font of its size and weight when the kit's face is not registered.
uikit::UIFont fontOrSystem(const std::optional<uikit::UIFont>& font, uikit::CGFloat size, uikit::UIFont::Weight weight);

}  // namespace lumora
