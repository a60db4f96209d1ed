#pragma once

#include <compare>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "uikit/NSParagraphStyle.h"
#include "uikit/UIColor.h"
#include "uikit/UIFont.h"
#include "uikit/UIGeometry.h"

namespace uikit {

// A range of characters. Text positions and lengths count Unicode characters (code points), not bytes.
struct NSRange {
    std::size_t location = 0;
    std::size_t length = 0;
    constexpr std::size_t upperBound() const { return location + length; }
    friend constexpr bool operator==(const NSRange&, const NSRange&) = default;
};

// Attribute names, with the platform's raw values.
struct NSAttributedStringKey {
    std::string rawValue;
    static const NSAttributedStringKey font;             // "NSFont": UIFont
    static const NSAttributedStringKey foregroundColor;  // "NSColor": UIColor
    static const NSAttributedStringKey backgroundColor;  // "NSBackgroundColor": UIColor
    static const NSAttributedStringKey kern;             // "NSKern": CGFloat, extra advance after each character
    static const NSAttributedStringKey paragraphStyle;   // "NSParagraphStyle": NSParagraphStyle
    friend auto operator<=>(const NSAttributedStringKey&, const NSAttributedStringKey&) = default;
    friend bool operator==(const NSAttributedStringKey&, const NSAttributedStringKey&) = default;
};

// An attribute value. Numbers are CGFloat (write 2.0, not 2).
using NSAttributeValue = std::variant<UIFont, UIColor, CGFloat, NSParagraphStyle, std::string>;
using NSAttributes = std::map<NSAttributedStringKey, NSAttributeValue>;

// Typed reads of an attribute table: nullptr / nullopt when absent or of another type.
const UIFont* fontAttribute(const NSAttributes& attributes);
const UIColor* foregroundColorAttribute(const NSAttributes& attributes);
std::optional<CGFloat> kernAttribute(const NSAttributes& attributes);
const NSParagraphStyle* paragraphStyleAttribute(const NSAttributes& attributes);

// Text with attributes over ranges of characters. A value: copies are independent.
class NSAttributedString {
  public:
    using Key = NSAttributedStringKey;

    // A maximal range of characters sharing the same attributes.
    struct Run {
        NSRange range;
        NSAttributes attributes;
        friend bool operator==(const Run&, const Run&) = default;
    };

    NSAttributedString() = default;
    explicit NSAttributedString(const std::string& string, const NSAttributes& attributes = {});

    // The text as UTF-8.
    std::string string() const;
    // Number of characters.
    std::size_t length() const { return chars_.size(); }

    // The attributes of one character (empty past the end); `effectiveRange` gets its run.
    NSAttributes attributes(std::size_t at, NSRange* effectiveRange = nullptr) const;
    std::optional<NSAttributeValue> attribute(const Key& key, std::size_t at) const;
    // The runs in order, covering the whole text (none for empty text).
    std::vector<Run> runs() const;
    // The characters of a range (clamped to the text) with their attributes.
    NSAttributedString attributedSubstring(NSRange from) const;

    // Size of the text on one line per paragraph, and the bounding box when laid out in `size` (see
    // uikit/NSStringDrawing.h). Measured with the first character's font (the platform's default font,
    // system 12, when none), its kern and paragraph style.
    CGSize size() const;
    CGRect boundingRect(CGSize with, unsigned options) const;
    // Draws the text into the current graphics context as NSString::draw does, with those same attributes.
    void draw(const CGRect& in) const;
    void draw(CGPoint at) const;

    friend bool operator==(const NSAttributedString&, const NSAttributedString&) = default;

  protected:
    // Clamp a range to the text; out-of-range parts are ignored rather than trapping.
    NSRange clamp(NSRange range) const;

    std::u32string chars_;
    std::vector<NSAttributes> attributes_;  // one table per character
};

// Attributed text that can be changed. Ranges reaching past the end are clamped to the text (out-of-range
// edits change nothing) instead of stopping the program.
class NSMutableAttributedString : public NSAttributedString {
  public:
    using NSAttributedString::NSAttributedString;
    NSMutableAttributedString(const NSAttributedString& other) : NSAttributedString(other) {}  // NOLINT

    void addAttribute(const Key& name, const NSAttributeValue& value, NSRange range);
    void addAttributes(const NSAttributes& attributes, NSRange range);
    void setAttributes(const NSAttributes& attributes, NSRange range);
    void removeAttribute(const Key& name, NSRange range);
    void append(const NSAttributedString& other);
    // Replaces the characters of the range with plain text taking the attributes of the range's first
    // character (or of the character before it when the range is empty).
    void replaceCharacters(NSRange in, const std::string& with);
};

}  // namespace uikit
