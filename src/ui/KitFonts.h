#pragma once

#include <string>
#include <vector>

#include "foundation/Bundle.h"
#include "uikit/UIFont.h"

namespace lumora {

// The kit's face ("Gibson-Light", "Gibson-Regular", "Gibson-Medium", "Gibson-SemiBold", "Gibson-Bold", by
// the nearest weight) of `ofSize` points when it is registered; otherwise the system font of that size and
// weight. Register the kit's faces with `loadAllFonts()`.
uikit::UIFont gibsonFont(uikit::CGFloat ofSize, uikit::UIFont::Weight weight);

// The face name `gibsonFont` looks for at a weight ("Gibson-SemiBold" for semibold).
std::string gibsonFaceName(uikit::UIFont::Weight weight);

// Registers every font file (.ttf, .otf, .ttc) of the kit's bundle (`KitBundle::shared()`, its "Fonts" folder
// and its top folder) with the toolkit, so that `UIFont::named` finds their faces. Called by the host at
// start-up; may be called again. Never fails: a file that cannot be registered is skipped (and named in the
// debug log), a face already registered stays. Returns the faces of the bundle's files that are registered
// afterwards, sorted; none when the bundle holds no font files (as the kit ships).
std::vector<std::string> loadAllFonts();
// The same for the font files of `bundle`.
std::vector<std::string> loadAllFonts(const foundation::Bundle& bundle);

}  // namespace lumora
