#pragma once

// The kit's look shared with the player screen: its colours, its per-view styles and its own image bundle.
// (Kept here until the kit's foundation offers them to every screen.)

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/Bundle.h"
#include "uikit/UIColor.h"
#include "uikit/UIImage.h"
#include "uikit/UIView.h"

namespace lumora {

// A look for views of one type: `styling` sets it on a view.
template <class View>
struct ZuViewStyle {
    std::function<void(View&)> styling;

    void apply(View& view) const {
        if (styling) styling(view);
    }
};

// Applies `style` to `view`, which must be of the style's view type: anything else is a programming error
// and stops the program.
template <class View>
void apply(uikit::UIView& view, const ZuViewStyle<View>& style) {
    auto* typed = dynamic_cast<View*>(&view);
    if (!typed) {
        std::fputs("The type of style is not compatible with the type of UIView.\n", stderr);
        std::abort();
    }
    style.apply(*typed);
}

namespace signin_detail {

// Red 42, green 44, blue 55: the sign-in screens' background and their secondary buttons' tint.
inline uikit::UIColor ironStone() {
    return uikit::UIColor(42 / 255.0, 44 / 255.0, 55 / 255.0, 1.0);
}
// Red 6, green 226, blue 119: the border of the primary button.
inline uikit::UIColor primary() {
    return uikit::UIColor(6 / 255.0, 226 / 255.0, 119 / 255.0, 1.0);
}

// The kit's own resource bundle: the folder named by LUMORA_KIT_BUNDLE, else the main bundle.
inline const foundation::Bundle& kitBundle() {
    static const foundation::Bundle bundle = [] {
        const char* path = std::getenv("LUMORA_KIT_BUNDLE");
        if (path && *path) return foundation::Bundle(std::string(path));
        return foundation::Bundle::main();
    }();
    return bundle;
}

// An image of the kit's bundle; none when the bundle has no such image.
inline std::shared_ptr<uikit::UIImage> kitImage(std::string_view name) {
    return uikit::UIImage::named(name, kitBundle());
}

}  // namespace signin_detail
}  // namespace lumora
