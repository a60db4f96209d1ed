#pragma once

#include <functional>
#include <string>
#include <vector>

#include "coregraphics/CGContext.h"

// The kit's icons and artwork, drawn in code: white glyphs on a clear background for the player's controls
// (the buttons add their own shadow), the sign-in screens' logo, background, close cross and tick.
namespace lumora::kitbundle {

struct KitIcon {
    std::string name;           // the resource name ("icon_middle_play")
    coregraphics::CGSize size;  // points
    // Draws the icon into a context whose user space is `size` points, y down.
    std::function<void(coregraphics::CGContext&)> draw;
};

// Every image of the kit's bundle, in catalogue order.
const std::vector<KitIcon>& kitIcons();

}  // namespace lumora::kitbundle
