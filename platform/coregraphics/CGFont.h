#pragma once

#include <string>

#include "coregraphics/CGGeometry.h"

namespace coregraphics {

// A font at a size, as the font engine (coregraphics/FontEngine.h) measures and draws it. A value.
struct CGFont {
    // The face name the toolkit knows the font by ("System-Regular", "Gibson-SemiBold"): what recordings show.
    std::string name = "System-Regular";
    // The family the engine looks up; empty means the system family.
    std::string family;
    // OpenType weight class: 100 (thin) … 400 (regular) … 700 (bold) … 900 (black).
    int weight = 400;
    // Digits of equal advance (tabular figures).
    bool monospacedDigits = false;
    CGFloat pointSize = 12;

    friend bool operator==(const CGFont&, const CGFont&) = default;
};

// Vertical metrics of a font, in points. The line box of a line of text is `lineHeight` high, with the
// baseline `ascent` below its top.
struct CGFontMetrics {
    CGFloat ascent = 0;   // from the baseline up to the top of the line box
    CGFloat descent = 0;  // from the baseline down to the bottom of the line box (positive)
    CGFloat lineHeight = 0;
    CGFloat capHeight = 0;  // height of a capital letter above the baseline
    CGFloat xHeight = 0;    // height of a lower-case x above the baseline

    friend bool operator==(const CGFontMetrics&, const CGFontMetrics&) = default;
};

}  // namespace coregraphics
