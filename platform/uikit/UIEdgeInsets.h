#pragma once

// The toolkit's edge insets are the geometry layer's: one type, so `CGRect::inset(by)` and the views
// share it without the geometry layer depending on the toolkit.
#include "coregraphics/CGGeometry.h"

namespace uikit {

using coregraphics::UIEdgeInsets;

// Insets whose left / right follow the layout direction (leading / trailing). The toolkit lays out
// left-to-right only, so leading is left.
struct NSDirectionalEdgeInsets {
    coregraphics::CGFloat top = 0;
    coregraphics::CGFloat leading = 0;
    coregraphics::CGFloat bottom = 0;
    coregraphics::CGFloat trailing = 0;

    static constexpr NSDirectionalEdgeInsets zero() { return {}; }
    constexpr UIEdgeInsets leftToRight() const { return {top, leading, bottom, trailing}; }
    friend constexpr bool operator==(const NSDirectionalEdgeInsets&, const NSDirectionalEdgeInsets&) = default;
};

}  // namespace uikit
