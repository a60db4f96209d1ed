#pragma once

#include "uikit/UIGeometry.h"

namespace uikit {

// Raw values as on the platform.
enum class NSTextAlignment { left = 0, center = 1, right = 2, justified = 3, natural = 4 };

enum class NSLineBreakMode {
    byWordWrapping = 0,
    byCharWrapping = 1,
    byClipping = 2,
    byTruncatingHead = 3,
    byTruncatingTail = 4,
    byTruncatingMiddle = 5,
};

// Paragraph attributes of attributed text. A value; `NSMutableParagraphStyle` is the same type.
struct NSParagraphStyle {
    NSTextAlignment alignment = NSTextAlignment::natural;
    NSLineBreakMode lineBreakMode = NSLineBreakMode::byWordWrapping;
    // Extra space added between lines (not after the last one).
    CGFloat lineSpacing = 0;

    static NSParagraphStyle defaultStyle() { return {}; }
    friend bool operator==(const NSParagraphStyle&, const NSParagraphStyle&) = default;
};

using NSMutableParagraphStyle = NSParagraphStyle;

}  // namespace uikit
