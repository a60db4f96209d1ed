#pragma once

#include <iosfwd>

#include "uikit/UIGeometry.h"

namespace uikit {

// Raw values as on the platform.
enum class UIUserInterfaceSizeClass { unspecified = 0, compact = 1, regular = 2 };
enum class UIUserInterfaceIdiom { unspecified = -1, phone = 0, pad = 1, tv = 2, carPlay = 3, mac = 5 };

// The environment a view is laid out for. A value: a window derives it from its size and screen (or has
// it set by a test), and every view in the window reports the window's.
struct UITraitCollection {
    UIUserInterfaceSizeClass horizontalSizeClass = UIUserInterfaceSizeClass::unspecified;
    UIUserInterfaceSizeClass verticalSizeClass = UIUserInterfaceSizeClass::unspecified;
    UIUserInterfaceIdiom userInterfaceIdiom = UIUserInterfaceIdiom::unspecified;
    CGFloat displayScale = 0;  // 0 = unspecified

    // The traits of a window of `size` on a device of `idiom`: a tablet, television or computer is regular
    // both ways; a phone is compact horizontally unless it is in landscape and at least 736 points wide,
    // and compact vertically in landscape.
    static UITraitCollection forWindow(CGSize size, UIUserInterfaceIdiom idiom, CGFloat scale);

    friend constexpr bool operator==(const UITraitCollection&, const UITraitCollection&) = default;
};

std::ostream& operator<<(std::ostream& os, const UITraitCollection& traits);

}  // namespace uikit
