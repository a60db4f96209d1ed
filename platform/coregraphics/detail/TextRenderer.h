#pragma once

#include <cairo.h>

#include <string_view>

#include "coregraphics/CGColor.h"
#include "coregraphics/CGFont.h"

namespace coregraphics::detail {

// How the bitmap context paints text: one line, its baseline starting at (x, y) in the user space of `cr`,
// shaped exactly as FontEngine measured it.
struct TextRenderer {
    static void drawLine(cairo_t* cr, std::string_view text, const CGFont& font, CGFloat kern, CGFloat x, CGFloat y,
                         const CGColor& color, CGFloat alpha);
};

}  // namespace coregraphics::detail
