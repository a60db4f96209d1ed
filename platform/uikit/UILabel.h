#pragma once

#include <memory>
#include <optional>
#include <string>

#include "uikit/NSAttributedString.h"
#include "uikit/NSParagraphStyle.h"
#include "uikit/UIColor.h"
#include "uikit/UIFont.h"
#include "uikit/UIView.h"

namespace uikit {

// A read-only text view. Text is measured with the toolkit's text metrics (uikit/NSStringDrawing.h), by the
// same font engine that draws it, so the intrinsic size is the size of the lines drawn.
//
// Plain `text` is drawn with `font`, `textColor`, `textAlignment` and `lineBreakMode`; `attributedText`,
// when set, supplies its own font, colour, kern and paragraph style (those of its first character). A label
// with a line limit other than 1 and no `preferredMaxLayoutWidth` wraps at the width it is given: its
// intrinsic height follows its width after each layout pass.
class UILabel : public UIView {
  public:
    static std::shared_ptr<UILabel> create(const CGRect& frame = CGRect());

    std::optional<std::string> text() const;
    void setText(std::optional<std::string> text);
    // The text with its attributes: what was set, or the plain text with the label's attributes.
    std::optional<NSAttributedString> attributedText() const;
    void setAttributedText(std::optional<NSAttributedString> text);

    UIFont font() const { return font_; }
    void setFont(const UIFont& font);
    UIColor textColor() const { return textColor_; }
    void setTextColor(const UIColor& color);
    NSTextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(NSTextAlignment alignment);
    // 1 by default; 0 means no limit.
    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int lines);
    NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(NSLineBreakMode mode);
    // Single-line labels shrink their font (down to `minimumScaleFactor` of it, when set) to fit the width;
    // labels of several lines shrink it until the text fits the bounds without breaking a word.
    bool adjustsFontSizeToFitWidth() const { return adjustsFontSizeToFitWidth_; }
    void setAdjustsFontSizeToFitWidth(bool flag);
    CGFloat minimumScaleFactor() const { return minimumScaleFactor_; }
    void setMinimumScaleFactor(CGFloat factor);
    CGFloat preferredMaxLayoutWidth() const { return preferredMaxLayoutWidth_; }
    void setPreferredMaxLayoutWidth(CGFloat width);
    bool isEnabled() const { return isEnabled_; }
    void setIsEnabled(bool enabled);

    // The rectangle the text occupies when laid out in `forBounds` with at most `limitedToNumberOfLines`
    // lines (0: no limit): at the bounds' origin, its size rounded up and at most the bounds' size.
    virtual CGRect textRect(const CGRect& forBounds, int limitedToNumberOfLines) const;
    // Draws the text into the current context, centred vertically in `in` and aligned horizontally.
    virtual void drawText(const CGRect& in);

    CGSize intrinsicContentSize() const override;
    CGSize sizeThatFits(CGSize size) const override;
    void draw(const CGRect& rect) override;
    void layoutSubviews() override;
    std::string snapshotAttributes() const override;

  protected:
    explicit UILabel(const CGRect& frame);

  private:
    struct Style {
        std::string string;
        UIFont font;
        UIColor color;
        CGFloat kern = 0;
        NSParagraphStyle paragraph;
    };
    Style style() const;
    UIFont fittingFont(const Style& style, const UIFont& font, CGSize room) const;
    CGFloat fittingScale(const Style& style, const UIFont& font, CGSize room, CGFloat smallest) const;
    void textDidChange();

    std::optional<std::string> text_;
    std::optional<NSAttributedString> attributedText_;
    UIFont font_ = UIFont::systemFont(17);
    UIColor textColor_ = UIColor::label();
    NSTextAlignment textAlignment_ = NSTextAlignment::natural;
    int numberOfLines_ = 1;
    NSLineBreakMode lineBreakMode_ = NSLineBreakMode::byTruncatingTail;
    bool adjustsFontSizeToFitWidth_ = false;
    CGFloat minimumScaleFactor_ = 0;
    CGFloat preferredMaxLayoutWidth_ = 0;
    bool isEnabled_ = true;
    mutable CGFloat measuredWidth_ = -1;
};

}  // namespace uikit
