#include "uikit/UIColor.h"

#include <cstdio>
#include <ostream>

#include "coregraphics/CGContext.h"

namespace uikit {

bool UIColor::getRedGreen(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const {
    if (red) *red = red_;
    if (green) *green = green_;
    if (blue) *blue = blue_;
    if (alpha) *alpha = alpha_;
    return true;
}

bool UIColor::getWhiteAlpha(CGFloat* white, CGFloat* alpha) const {
    if (red_ != green_ || green_ != blue_) return false;
    if (white) *white = red_;
    if (alpha) *alpha = alpha_;
    return true;
}

void UIColor::setFill() const {
    if (const auto ctx = coregraphics::currentContext()) ctx->setFillColor(cgColor());
}

void UIColor::setStroke() const {
    if (const auto ctx = coregraphics::currentContext()) ctx->setStrokeColor(cgColor());
}

void UIColor::set() const {
    setFill();
    setStroke();
}

std::ostream& operator<<(std::ostream& os, const UIColor& c) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "UIColor(%.3f %.3f %.3f %.3f)", c.components().red, c.components().green,
                  c.components().blue, c.components().alpha);
    return os << buf;
}

}  // namespace uikit
