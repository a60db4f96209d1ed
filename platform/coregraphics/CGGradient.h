#pragma once

#include <utility>
#include <vector>

#include "coregraphics/CGColor.h"
#include "coregraphics/CGGeometry.h"

namespace coregraphics {

// Colours spread over [0, 1]. A value: the drawing calls copy what they need.
struct CGGradient {
    std::vector<CGColor> colors;
    // One location per colour; when they do not match the colours, the colours are spread evenly.
    std::vector<CGFloat> locations;

    struct Stop {
        CGFloat location = 0;
        CGColor color;
        friend bool operator==(const Stop&, const Stop&) = default;
    };
    // The stops in location order (ties keep the given order), each location clamped to [0, 1]; a
    // single colour gives two stops of that colour at 0 and 1. Empty without colours.
    std::vector<Stop> stops() const;

    friend bool operator==(const CGGradient&, const CGGradient&) = default;
};

// What a gradient paints beyond its ends (bit set): by default nothing before the start and nothing after
// the end; with these bits, the end colours extend outwards.
struct CGGradientDrawingOptions {
    static constexpr unsigned drawsBeforeStartLocation = 1u << 0;
    static constexpr unsigned drawsAfterEndLocation = 1u << 1;
};

}  // namespace coregraphics
