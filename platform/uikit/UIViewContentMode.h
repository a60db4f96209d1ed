#pragma once

#include "uikit/UIGeometry.h"

namespace uikit {

// How a view places content of its own size (an image) in its bounds. Raw values as on the platform.
// `UIView::ContentMode` is this type.
enum class UIViewContentMode {
    scaleToFill = 0,
    scaleAspectFit = 1,
    scaleAspectFill = 2,
    redraw = 3,
    center = 4,
    top = 5,
    bottom = 6,
    left = 7,
    right = 8,
    topLeft = 9,
    topRight = 10,
    bottomLeft = 11,
    bottomRight = 12,
};

// The rectangle content of `contentSize` occupies in `bounds` under `mode`:
// scaleToFill and redraw stretch it over the bounds; aspect fit / fill scale it uniformly (fit: the
// whole content visible, fill: the bounds covered) and centre it; the other modes keep the content's
// size and pin it to the named side or corner (centred along the free axes). Empty content (a zero or
// negative width or height) gives the bounds for the scaling modes and a zero-size rectangle at the
// anchored spot for the others.
CGRect rectForContentMode(UIViewContentMode mode, CGSize contentSize, const CGRect& bounds);

}  // namespace uikit
