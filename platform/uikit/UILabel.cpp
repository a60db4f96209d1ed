#include "uikit/UILabel.h"

#include <cmath>
#include <limits>

#include "coregraphics/CGContext.h"
#include "uikit/NSStringDrawing.h"

namespace uikit {

namespace {

constexpr CGFloat kUnbounded = std::numeric_limits<CGFloat>::infinity();

bool wrapsAtWidth(const UILabel& label) {
    return label.numberOfLines() != 1 && label.preferredMaxLayoutWidth() <= 0;
}

}  // namespace

UILabel::UILabel(const CGRect& frame) : UIView(frame) {
    setIsUserInteractionEnabled(false);
    setIsOpaque(false);
    setContentMode(ContentMode::redraw);
}

std::shared_ptr<UILabel> UILabel::create(const CGRect& frame) {
    return std::shared_ptr<UILabel>(new UILabel(frame));
}

std::optional<std::string> UILabel::text() const {
    return text_;
}

void UILabel::setText(std::optional<std::string> text) {
    text_ = std::move(text);
    attributedText_.reset();
    textDidChange();
}

std::optional<NSAttributedString> UILabel::attributedText() const {
    if (attributedText_) return attributedText_;
    if (!text_) return std::nullopt;
    NSParagraphStyle paragraph;
    paragraph.alignment = textAlignment_;
    paragraph.lineBreakMode = lineBreakMode_;
    return NSAttributedString(*text_, {{NSAttributedStringKey::font, font_},
                                       {NSAttributedStringKey::foregroundColor, textColor_},
                                       {NSAttributedStringKey::paragraphStyle, paragraph}});
}

void UILabel::setAttributedText(std::optional<NSAttributedString> text) {
    attributedText_ = std::move(text);
    text_ = attributedText_ ? std::optional<std::string>(attributedText_->string()) : std::nullopt;
    textDidChange();
}

void UILabel::setFont(const UIFont& font) {
    font_ = font;
    textDidChange();
}

void UILabel::setTextColor(const UIColor& color) {
    textColor_ = color;
    setNeedsDisplay();
}

void UILabel::setTextAlignment(NSTextAlignment alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

void UILabel::setNumberOfLines(int lines) {
    numberOfLines_ = std::max(0, lines);
    textDidChange();
}

void UILabel::setLineBreakMode(NSLineBreakMode mode) {
    lineBreakMode_ = mode;
    textDidChange();
}

void UILabel::setAdjustsFontSizeToFitWidth(bool flag) {
    adjustsFontSizeToFitWidth_ = flag;
    setNeedsDisplay();
}

void UILabel::setMinimumScaleFactor(CGFloat factor) {
    minimumScaleFactor_ = std::isfinite(factor) ? std::clamp(factor, CGFloat(0), CGFloat(1)) : 0;
    setNeedsDisplay();
}

void UILabel::setPreferredMaxLayoutWidth(CGFloat width) {
    preferredMaxLayoutWidth_ = std::isfinite(width) ? std::max(CGFloat(0), width) : 0;
    textDidChange();
}

void UILabel::setIsEnabled(bool enabled) {
    isEnabled_ = enabled;
    setNeedsDisplay();
}

void UILabel::textDidChange() {
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

UILabel::Style UILabel::style() const {
    Style s{text_.value_or(""), font_, textColor_, 0, {}};
    s.paragraph.alignment = textAlignment_;
    s.paragraph.lineBreakMode = lineBreakMode_;
    if (attributedText_ && attributedText_->length() > 0) {
        NSAttributes first = attributedText_->attributes(0);
        if (const UIFont* f = fontAttribute(first)) s.font = *f;
        if (const UIColor* c = foregroundColorAttribute(first)) s.color = *c;
        if (auto k = kernAttribute(first)) s.kern = *k;
        if (const NSParagraphStyle* p = paragraphStyleAttribute(first)) s.paragraph = *p;
    }
    return s;
}

CGRect UILabel::textRect(const CGRect& forBounds, int limitedToNumberOfLines) const {
    Style s = style();
    if (s.string.empty()) return CGRect(forBounds.origin, CGSize());
    TextLayout layout = TextMetrics::layout(s.string, s.font, forBounds.size.width, limitedToNumberOfLines,
                                            s.paragraph.lineBreakMode, s.kern, s.paragraph.lineSpacing);
    CGSize size{std::ceil(layout.size.width), std::ceil(layout.size.height)};
    if (std::isfinite(forBounds.size.width) && forBounds.size.width > 0) {
        size.width = std::min(size.width, forBounds.size.width);
    }
    if (std::isfinite(forBounds.size.height) && forBounds.size.height > 0) {
        size.height = std::min(size.height, forBounds.size.height);
    }
    return CGRect(forBounds.origin, size);
}

CGSize UILabel::intrinsicContentSize() const {
    CGFloat width = kUnbounded;
    if (preferredMaxLayoutWidth_ > 0) {
        width = preferredMaxLayoutWidth_;
    } else if (wrapsAtWidth(*this) && bounds().size.width > 0) {
        width = bounds().size.width;
    }
    measuredWidth_ = bounds().size.width;
    return textRect(CGRect(0, 0, width, kUnbounded), numberOfLines_).size;
}

CGSize UILabel::sizeThatFits(CGSize size) const {
    CGFloat width = size.width > 0 ? size.width : kUnbounded;
    CGFloat height = size.height > 0 ? size.height : kUnbounded;
    return textRect(CGRect(0, 0, width, height), numberOfLines_).size;
}

void UILabel::layoutSubviews() {
    UIView::layoutSubviews();
    // Wrapping labels measure at the width they were given: after a width change, measure again.
    if (wrapsAtWidth(*this) && bounds().size.width > 0 && std::fabs(bounds().size.width - measuredWidth_) > 1e-9) {
        invalidateIntrinsicContentSize();
    }
}

void UILabel::draw(const CGRect& rect) {
    drawText(rect);
}

// A label of several lines shrinks its font until the text fits its rectangle without breaking a word,
// in steps of 5 %, not below `minimumScaleFactor` (or a twentieth of the font without one).
UIFont UILabel::fittingFont(const Style& s, const UIFont& font, CGSize room) const {
    std::vector<std::string> words;
    std::string word;
    for (char c : s.string + " ") {
        if (c == ' ' || c == '\n') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    const CGFloat smallest = minimumScaleFactor_ > 0 ? minimumScaleFactor_ : 0.05;
    CGFloat scale = 1;
    for (;;) {
        const UIFont candidate = font.withSize(font.pointSize() * scale);
        bool fits = true;
        for (const auto& w : words) fits = fits && TextMetrics::width(w, candidate, s.kern) <= room.width + 1e-9;
        if (fits) {
            const TextLayout layout = TextMetrics::layout(s.string, candidate, room.width, numberOfLines_,
                                                          s.paragraph.lineBreakMode, s.kern, s.paragraph.lineSpacing);
            fits = !layout.truncated && layout.size.height <= room.height + 1e-9;
        }
        if (fits || scale * 0.95 < smallest) return candidate;
        scale *= 0.95;
    }
}

void UILabel::drawText(const CGRect& in) {
    auto context = coregraphics::currentContext();
    if (!context) return;
    Style s = style();
    if (s.string.empty()) return;
    UIFont font = s.font;
    if (adjustsFontSizeToFitWidth_ && numberOfLines_ == 1 && in.size.width > 0) {
        CGFloat natural = TextMetrics::width(s.string, font, s.kern);
        if (natural > in.size.width) {
            CGFloat scale = in.size.width / natural;
            if (minimumScaleFactor_ > 0) scale = std::max(scale, minimumScaleFactor_);
            font = font.withSize(font.pointSize() * scale);
        }
    } else if (adjustsFontSizeToFitWidth_ && in.size.width > 0 && in.size.height > 0) {
        font = fittingFont(s, font, in.size);
    }
    TextLayout layout = TextMetrics::layout(s.string, font, in.size.width, numberOfLines_, s.paragraph.lineBreakMode,
                                            s.kern, s.paragraph.lineSpacing);
    CGFloat lineHeight = font.lineHeight();
    CGFloat y = in.origin.y + (in.size.height - layout.size.height) / 2;
    UIColor color = isEnabled_ ? s.color : s.color.withAlphaComponent(s.color.alpha() * 0.5);
    for (const TextLine& line : layout.lines) {
        CGFloat x = in.origin.x;
        if (s.paragraph.alignment == NSTextAlignment::center) {
            x = in.origin.x + (in.size.width - line.width) / 2;
        } else if (s.paragraph.alignment == NSTextAlignment::right) {
            x = in.origin.x + in.size.width - line.width;
        }
        context->drawText(line.text, CGRect(x, y, line.width, lineHeight), font.cgFont(), color.cgColor(), s.kern);
        y += lineHeight + s.paragraph.lineSpacing;
    }
}

std::string UILabel::snapshotAttributes() const {
    if (!text_) return {};
    return "text=\"" + *text_ + "\"";
}

}  // namespace uikit
