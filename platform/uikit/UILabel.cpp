#include "uikit/UILabel.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <string_view>

#include "coregraphics/CGContext.h"
#include "coregraphics/RecentlyUsed.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/detail/TextKey.h"

namespace uikit {

namespace {

constexpr CGFloat kUnbounded = std::numeric_limits<CGFloat>::infinity();

bool wrapsAtWidth(const UILabel& label) {
    return label.numberOfLines() != 1 && label.preferredMaxLayoutWidth() <= 0;
}

// Everything the step a shrinking label of several lines takes depends on, and the text.
struct FitParameters {
    std::string family;
    int weight = 400;
    bool monospacedDigits = false;
    CGFloat pointSize = 0;
    CGSize room;
    int numberOfLines = 0;
    NSLineBreakMode lineBreakMode = NSLineBreakMode::byWordWrapping;
    CGFloat kern = 0;
    CGFloat lineSpacing = 0;
    CGFloat smallest = 0;
    friend bool operator==(const FitParameters&, const FitParameters&) = default;
};

using FitKey = detail::TextKey<FitParameters>;
using FitKeyView = detail::TextKeyView<FitParameters>;

std::size_t hashOf(const FitParameters& p) {
    std::size_t h = std::hash<std::string>{}(p.family);
    h = detail::hashMix(h, std::hash<int>{}(p.weight * 2 + (p.monospacedDigits ? 1 : 0)));
    for (CGFloat v : {p.pointSize, p.room.width, p.room.height, p.kern, p.lineSpacing, p.smallest}) {
        h = detail::hashMix(h, std::hash<CGFloat>{}(v));
    }
    return detail::hashMix(h, std::hash<int>{}(p.numberOfLines * 16 + static_cast<int>(p.lineBreakMode)));
}

// The scales shrinking labels took, by what they depend on: a label drawn again, or another label with the
// same text in the same room (a list of markers made again), takes its step without measuring a size. The
// least recently used go first.
class FitCache {
  public:
    static FitCache& shared() {
        static FitCache* cache = new FitCache();  // never destroyed: labels may draw during exit
        return *cache;
    }
    std::optional<CGFloat> find(const FitKeyView& key) {
        std::lock_guard lock(mutex_);
        if (const CGFloat* scale = scales_.find(key)) return *scale;
        return std::nullopt;
    }
    void insert(FitKey key, CGFloat scale) {
        std::lock_guard lock(mutex_);
        scales_.insert(std::move(key), scale);
    }

  private:
    std::mutex mutex_;  // guards scales_
    coregraphics::RecentlyUsed<FitKey, CGFloat, detail::TextKeyHash<FitParameters>, detail::TextKeyEqual<FitParameters>>
        scales_{20'000};
};

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
    // Wrapping labels measure at the width they were given: after a width change, measure again, once. A label
    // whose size nobody asked for (one placed by its frame) has nothing to measure again: asking for it on every
    // pass would lay the label and its superview out again and again, until the pass gives up.
    if (wrapsAtWidth(*this) && measuredWidth_ >= 0 && bounds().size.width > 0 &&
        std::fabs(bounds().size.width - measuredWidth_) > 1e-9) {
        measuredWidth_ = bounds().size.width;
        invalidateIntrinsicContentSize();
    }
}

void UILabel::draw(const CGRect& rect) {
    drawText(rect);
}

// A label of several lines shrinks its font until the text fits its rectangle without breaking a word, in steps
// of 5 %, not below `minimumScaleFactor` (or a twentieth of the font without one): the first step at which the
// text fits, or the last step. Text that fits at a size fits at every smaller one (widths and line heights
// scale with the size), so after the full size the steps are searched by halves instead of one by one: a
// handful of measurements instead of up to sixty, and the same step. The step taken is kept (`FitCache`).
UIFont UILabel::fittingFont(const Style& s, const UIFont& font, CGSize room) const {
    const CGFloat smallest = minimumScaleFactor_ > 0 ? minimumScaleFactor_ : 0.05;
    auto candidate = [&](CGFloat scale) { return font.withSize(font.pointSize() * scale); };
    const coregraphics::CGFont f = font.cgFont();
    FitParameters parameters{f.family,
                             f.weight,
                             f.monospacedDigits,
                             f.pointSize,
                             room,
                             numberOfLines_,
                             s.paragraph.lineBreakMode,
                             s.kern,
                             s.paragraph.lineSpacing,
                             smallest};
    if (auto scale = FitCache::shared().find(FitKeyView{parameters, s.string})) return candidate(*scale);
    const CGFloat scale = fittingScale(s, font, room, smallest);
    FitCache::shared().insert(FitKey{std::move(parameters), s.string}, scale);
    return candidate(scale);
}

CGFloat UILabel::fittingScale(const Style& s, const UIFont& font, CGSize room, CGFloat smallest) const {
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
    auto candidate = [&](CGFloat scale) { return font.withSize(font.pointSize() * scale); };
    auto fits = [&](const UIFont& f) {
        for (const auto& w : words) {
            if (TextMetrics::width(w, f, s.kern) > room.width + 1e-9) return false;
        }
        const TextLayout layout = TextMetrics::layout(s.string, f, room.width, numberOfLines_,
                                                      s.paragraph.lineBreakMode, s.kern, s.paragraph.lineSpacing);
        return !layout.truncated && layout.size.height <= room.height + 1e-9;
    };
    // The steps, each 0.95 of the one before (multiplied as a walk would), down to the last one allowed.
    std::vector<CGFloat> scales{1};
    while (scales.back() * 0.95 >= smallest) scales.push_back(scales.back() * 0.95);
    if (scales.size() == 1 || fits(candidate(1))) return 1;
    std::size_t lo = 1, hi = scales.size() - 1;  // the last step is taken when none fits
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (fits(candidate(scales[mid]))) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return scales[lo];
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
