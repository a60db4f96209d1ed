#pragma once

#include <array>
#include <iosfwd>

#include "coregraphics/CGGeometry.h"

namespace coregraphics {

// A device RGB colour with alpha, each component in [0, 1] as given (not clamped). A plain value:
// layers and the recording context store copies.
struct CGColor {
    CGFloat red = 0;
    CGFloat green = 0;
    CGFloat blue = 0;
    CGFloat alpha = 1;

    // {red, green, blue, alpha}.
    std::array<CGFloat, 4> components() const { return {red, green, blue, alpha}; }
    std::size_t numberOfComponents() const { return 4; }
    CGColor copyWithAlpha(CGFloat a) const { return {red, green, blue, a}; }

    static constexpr CGColor black() { return {0, 0, 0, 1}; }
    static constexpr CGColor white() { return {1, 1, 1, 1}; }
    static constexpr CGColor clear() { return {0, 0, 0, 0}; }

    friend constexpr bool operator==(const CGColor&, const CGColor&) = default;
};

std::ostream& operator<<(std::ostream& os, const CGColor& c);

}  // namespace coregraphics
