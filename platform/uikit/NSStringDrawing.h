#pragma once

#include <string>
#include <vector>

#include "uikit/NSAttributedString.h"
#include "uikit/NSParagraphStyle.h"
#include "uikit/UIFont.h"
#include "uikit/UIGeometry.h"

namespace uikit {

// Options of `boundingRect(with:options:…)` (bit set).
struct NSStringDrawingOptions {
    static constexpr unsigned usesLineFragmentOrigin = 1u << 0;  // lay out in lines, wrapping at the width
    static constexpr unsigned usesFontLeading = 1u << 1;         // accepted; the leading is 0
    static constexpr unsigned usesDeviceMetrics = 1u << 3;       // accepted; no effect
    static constexpr unsigned truncatesLastVisibleLine = 1u << 5;
};

// The text metrics of the toolkit, measured by the font engine that also draws the text
// (coregraphics/FontEngine.h), so a line measured here is exactly the line drawn:
//  - Text is UTF-8; malformed bytes count as one replacement character each.
//  - A line's width is its advance without its trailing spaces; a kern adds its value after every character.
//  - Line height is the font's lineHeight; a paragraph style's lineSpacing is added between lines.
//    "\n", "\r\n" and a lone "\r" end a paragraph; empty text measures 0 × 0.
//  - Wrapping (in a width that is positive and finite): lines break between words by the Unicode
//    line-breaking rules, inside a word only when it alone is wider than the line (byCharWrapping: anywhere);
//    at least one character goes on each line. The spaces at a break vanish. Every mode wraps; without a
//    usable width each paragraph is one line.
//  - With a line limit, the last visible line of text that does not fit ends in "…" for the truncating
//    modes (byTruncatingTail at the end, byTruncatingHead at the start, byTruncatingMiddle in the middle,
//    keeping as much text as fits with the ellipsis); the other modes just stop there.
// Layouts are cached (thread-safe), so measuring the same text again is cheap.
struct TextLine {
    std::string text;  // UTF-8, trailing spaces removed
    CGFloat width = 0;
    friend bool operator==(const TextLine&, const TextLine&) = default;
};

struct TextLayout {
    std::vector<TextLine> lines;
    // Widest line by (number of lines × line height + spacing between lines).
    CGSize size;
    bool truncated = false;
};

struct TextMetrics {
    // The advance of one character.
    static CGFloat advance(char32_t character, const UIFont& font, CGFloat kern = 0);
    // Width of one line (trailing spaces excluded).
    static CGFloat width(const std::string& text, const UIFont& font, CGFloat kern = 0);
    // Lines of `text` in `maxWidth` (see the rule); `numberOfLines` 0 means no limit.
    static TextLayout layout(const std::string& text, const UIFont& font, CGFloat maxWidth, int numberOfLines = 0,
                             NSLineBreakMode lineBreakMode = NSLineBreakMode::byWordWrapping, CGFloat kern = 0,
                             CGFloat lineSpacing = 0);
};

// The platform's string-drawing additions, over a UTF-8 text.
class NSString {
  public:
    explicit NSString(std::string text) : text_(std::move(text)) {}
    const std::string& string() const { return text_; }

    // Unwrapped size: widest paragraph × lines. The font comes from the attributes (system font 12,
    // the platform's default, when absent); kern and paragraph style apply.
    CGSize size(const NSAttributes& withAttributes) const;
    // Without usesLineFragmentOrigin: as `size`, one line per paragraph. With it: wrapped at `with.width`
    // and with `truncatesLastVisibleLine` limited to the lines that fit in `with.height`. The origin is zero;
    // the size is not rounded (callers ceil it, as on the platform).
    CGRect boundingRect(CGSize with, unsigned options, const NSAttributes& attributes) const;
    // Draws the text into the current graphics context (nothing outside a draw pass): one drawText per
    // laid-out line, in the line's rectangle within `in` (wrapped at its width, horizontally placed by the
    // paragraph alignment, top-aligned; lines starting below `in` are left out), with the font, kern and
    // foreground colour (black by default).
    void draw(const CGRect& in, const NSAttributes& withAttributes) const;
    void draw(CGPoint at, const NSAttributes& withAttributes) const;

  private:
    std::string text_;
};

// UTF-8 helpers shared by the text code.
std::u32string decodeUTF8(const std::string& text);
std::string encodeUTF8(const std::u32string& text);

}  // namespace uikit
