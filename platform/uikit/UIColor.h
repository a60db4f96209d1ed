#pragma once

#include <iosfwd>

#include "coregraphics/CGColor.h"
#include "uikit/UIGeometry.h"

namespace uikit {

// A colour as a cheap value: red, green, blue and alpha doubles in device RGB. Components are kept as
// given (not clamped). A grey made with `UIColor(white, alpha)` is stored as equal red, green and blue.
// Equality compares the four components exactly.
class UIColor {
  public:
    // Opaque black.
    constexpr UIColor() = default;
    constexpr UIColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
        : red_(red), green_(green), blue_(blue), alpha_(alpha) {}
    constexpr UIColor(CGFloat white, CGFloat alpha) : red_(white), green_(white), blue_(white), alpha_(alpha) {}
    explicit constexpr UIColor(const coregraphics::CGColor& cgColor)
        : red_(cgColor.red), green_(cgColor.green), blue_(cgColor.blue), alpha_(cgColor.alpha) {}

    // Named colours. The plain ones are greys or pure primaries as on the platform:
    // clear (black at alpha 0), black 0, darkGray 1/3, gray 0.5, lightGray 2/3, white 1; red, green,
    // blue, cyan, yellow, magenta; orange (1, 0.5, 0), purple (0.5, 0, 0.5), brown (0.6, 0.4, 0.2).
    static constexpr UIColor clear() { return {0.0, 0.0}; }
    static constexpr UIColor black() { return {0.0, 1.0}; }
    static constexpr UIColor darkGray() { return {1.0 / 3.0, 1.0}; }
    static constexpr UIColor gray() { return {0.5, 1.0}; }
    static constexpr UIColor lightGray() { return {2.0 / 3.0, 1.0}; }
    static constexpr UIColor white() { return {1.0, 1.0}; }
    static constexpr UIColor red() { return {1, 0, 0, 1}; }
    static constexpr UIColor green() { return {0, 1, 0, 1}; }
    static constexpr UIColor blue() { return {0, 0, 1, 1}; }
    static constexpr UIColor cyan() { return {0, 1, 1, 1}; }
    static constexpr UIColor yellow() { return {1, 1, 0, 1}; }
    static constexpr UIColor magenta() { return {1, 0, 1, 1}; }
    static constexpr UIColor orange() { return {1, 0.5, 0, 1}; }
    static constexpr UIColor purple() { return {0.5, 0, 0.5, 1}; }
    static constexpr UIColor brown() { return {0.6, 0.4, 0.2, 1}; }
    // System colours (light appearance), components out of 255.
    static constexpr UIColor systemBlue() { return {0, 122 / 255.0, 1, 1}; }
    static constexpr UIColor systemRed() { return {1, 59 / 255.0, 48 / 255.0, 1}; }
    static constexpr UIColor systemGreen() { return {52 / 255.0, 199 / 255.0, 89 / 255.0, 1}; }
    static constexpr UIColor systemOrange() { return {1, 149 / 255.0, 0, 1}; }
    static constexpr UIColor systemYellow() { return {1, 204 / 255.0, 0, 1}; }
    static constexpr UIColor systemGray() { return {142 / 255.0, 142 / 255.0, 147 / 255.0, 1}; }
    // The default text colour (black) and the default tint of a window (systemBlue).
    static constexpr UIColor label() { return black(); }
    static constexpr UIColor tintColorDefault() { return systemBlue(); }

    constexpr UIColor withAlphaComponent(CGFloat alpha) const { return {red_, green_, blue_, alpha}; }

    struct Components {
        CGFloat red = 0, green = 0, blue = 0, alpha = 0;
        friend constexpr bool operator==(const Components&, const Components&) = default;
    };
    constexpr Components components() const { return {red_, green_, blue_, alpha_}; }
    constexpr CGFloat alpha() const { return alpha_; }

    // The platform's `getRed(_:green:blue:alpha:)`: writes each non-null pointer; true when the colour
    // can be read in RGB form (always, for the colours of this toolkit).
    bool getRedGreen(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const;
    // `getWhite(_:alpha:)`: true (and the values written) only for a grey (equal red, green and blue).
    bool getWhiteAlpha(CGFloat* white, CGFloat* alpha) const;

    constexpr coregraphics::CGColor cgColor() const { return {red_, green_, blue_, alpha_}; }

    // Set the fill / stroke colour (or both) of the current graphics context; nothing outside a draw pass.
    void setFill() const;
    void setStroke() const;
    void set() const;

    friend constexpr bool operator==(const UIColor&, const UIColor&) = default;

  private:
    CGFloat red_ = 0;
    CGFloat green_ = 0;
    CGFloat blue_ = 0;
    CGFloat alpha_ = 1;
};

// "UIColor(r g b a)" with three decimals, for test messages.
std::ostream& operator<<(std::ostream& os, const UIColor& c);

}  // namespace uikit
