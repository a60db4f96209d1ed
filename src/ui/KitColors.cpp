#include "ui/KitColors.h"

#include <algorithm>
#include <cmath>

namespace lumora::colors {

namespace {

constexpr uikit::UIColor rgb255(int red, int green, int blue) {
    return {red / 255.0, green / 255.0, blue / 255.0, 1.0};
}

}  // namespace

const uikit::UIColor& lightGrey() {
    static const uikit::UIColor color = rgb255(210, 210, 219);
    return color;
}

const uikit::UIColor& ironStone() {
    static const uikit::UIColor color = rgb255(42, 44, 55);
    return color;
}

const uikit::UIColor& primary() {
    static const uikit::UIColor color = rgb255(6, 226, 119);
    return color;
}

const uikit::UIColor& aluminium() {
    static const uikit::UIColor color = rgb255(170, 175, 184);
    return color;
}

const uikit::UIColor& woodsmoke() {
    static const uikit::UIColor color = rgb255(18, 21, 25);
    return color;
}

std::optional<uikit::UIColor> adjusted(const uikit::UIColor& color, uikit::CGFloat by) {
    if (!std::isfinite(by)) return std::nullopt;
    uikit::CGFloat red = 0, green = 0, blue = 0, alpha = 0;
    if (!color.getRedGreen(&red, &green, &blue, &alpha)) return std::nullopt;
    const auto shift = [by](uikit::CGFloat component) { return std::clamp(component + by, 0.0, 1.0); };
    return uikit::UIColor(shift(red), shift(green), shift(blue), alpha);
}

}  // namespace lumora::colors
