#include "uikit/UIActivityIndicatorView.h"

#include <algorithm>
#include <cmath>

#include "coregraphics/CGContext.h"

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

void UIActivityIndicatorView::draw(const CGRect& rect) {
    (void)rect;
    auto context = coregraphics::currentContext();
    if (!context) return;
    const CGRect b = bounds().standardized();
    const CGFloat radius = std::min(b.width(), b.height()) / 2;
    if (!(radius > 0)) return;
    constexpr int spokes = 8;
    const CGPoint center{b.midX(), b.midY()};
    const UIColor base = color();
    context->saveGState();
    context->setLineCap(coregraphics::CGLineCap::round);
    context->setLineWidth(radius * 0.2);
    for (int i = 0; i < spokes; ++i) {
        // Clockwise from the top, the leading spoke strongest.
        const CGFloat angle = -M_PI / 2 + 2 * M_PI * i / spokes;
        const CGFloat fade = 1.0 - 0.75 * static_cast<CGFloat>(i) / spokes;
        context->setStrokeColor(base.withAlphaComponent(base.alpha() * fade).cgColor());
        context->move({center.x + std::cos(angle) * radius * 0.45, center.y + std::sin(angle) * radius * 0.45});
        context->addLine({center.x + std::cos(angle) * radius * 0.85, center.y + std::sin(angle) * radius * 0.85});
        context->strokePath();
    }
    context->restoreGState();
}

}  // namespace uikit
