#include "uikit/UIActivityIndicatorView.h"

namespace uikit {

namespace {

bool isLarge(UIActivityIndicatorView::Style style) {
    return style == UIActivityIndicatorView::Style::large || style == UIActivityIndicatorView::Style::whiteLarge;
}

CGSize sizeFor(UIActivityIndicatorView::Style style) {
    return isLarge(style) ? CGSize{37, 37} : CGSize{20, 20};
}

}  // namespace

UIActivityIndicatorView::UIActivityIndicatorView(Style style, const CGRect& frame) : UIView(frame), style_(style) {
    setIsOpaque(false);
    setIsHidden(true);
}

std::shared_ptr<UIActivityIndicatorView> UIActivityIndicatorView::create(Style style) {
    CGSize size = sizeFor(style);
    return std::shared_ptr<UIActivityIndicatorView>(
        new UIActivityIndicatorView(style, CGRect(0, 0, size.width, size.height)));
}

std::shared_ptr<UIActivityIndicatorView> UIActivityIndicatorView::create(const CGRect& frame) {
    return std::shared_ptr<UIActivityIndicatorView>(new UIActivityIndicatorView(Style::medium, frame));
}

void UIActivityIndicatorView::setStyle(Style style) {
    style_ = style;
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

UIColor UIActivityIndicatorView::color() const {
    if (color_) return *color_;
    return style_ == Style::white || style_ == Style::whiteLarge ? UIColor::white() : UIColor::gray();
}

void UIActivityIndicatorView::setColor(std::optional<UIColor> color) {
    color_ = color;
    setNeedsDisplay();
}

void UIActivityIndicatorView::setHidesWhenStopped(bool flag) {
    hidesWhenStopped_ = flag;
    if (!isAnimating_) setIsHidden(flag);
}

void UIActivityIndicatorView::startAnimating() {
    isAnimating_ = true;
    setIsHidden(false);
}

void UIActivityIndicatorView::stopAnimating() {
    isAnimating_ = false;
    if (hidesWhenStopped_) setIsHidden(true);
}

CGSize UIActivityIndicatorView::intrinsicContentSize() const {
    return sizeFor(style_);
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize size) const {
    (void)size;
    return sizeFor(style_);
}

std::string UIActivityIndicatorView::snapshotAttributes() const {
    return isAnimating_ ? "animating" : "";
}

}  // namespace uikit
