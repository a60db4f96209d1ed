#pragma once

// The kit's own image bundle. (Kept here until the kit's foundation offers it to every screen.)

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/Bundle.h"
#include "uikit/UIImage.h"

namespace lumora {

namespace signin_detail {

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
