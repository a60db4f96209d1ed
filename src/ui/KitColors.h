#pragma once

#include <optional>

#include "uikit/UIColor.h"

// The kit's own colours. Each is made once, on first use, and shared.
namespace lumora::colors {

// The light grey of the player's texts: red and green 210/255, blue 219/255, alpha 1.
const uikit::UIColor& lightGrey();
// Red 42, green 44, blue 55 out of 255: the sign-in screens' background.
const uikit::UIColor& ironStone();
// Red 6, green 226, blue 119 out of 255: the border of the primary button.
const uikit::UIColor& primary();
// Red 170, green 175, blue 184 out of 255.
const uikit::UIColor& aluminium();
// Red 18, green 21, blue 25 out of 255: behind thumbnails.
const uikit::UIColor& woodsmoke();

// `color` with `amount` added to its red, green and blue, each kept within 0…1, and its alpha unchanged.
// Nothing when the colour cannot be read in red, green and blue, or the amount is not a finite number.
std::optional<uikit::UIColor> adjusted(const uikit::UIColor& color, uikit::CGFloat by);

}  // namespace lumora::colors
