#include "uikit/UIScrollView.h"

#include <cmath>
#include <cstdio>

namespace uikit {

UIScrollView::UIScrollView(const CGRect& frame) : UIView(frame) {
    isScrollContainer_ = true;
    setClipsToBounds(true);
}

std::shared_ptr<UIScrollView> UIScrollView::create(const CGRect& frame) {
    return std::shared_ptr<UIScrollView>(new UIScrollView(frame));
}

void UIScrollView::setContentSize(CGSize size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return;
    contentSize_ = size;
}

void UIScrollView::setContentOffset(CGPoint offset) {
    if (!std::isfinite(offset.x) || !std::isfinite(offset.y)) return;
    CGRect b = bounds();
    if (b.origin == offset) return;
    setBounds(CGRect(offset, b.size));
    // Scrolling lays the content out again (scroll views that tile their content do it then).
    setNeedsLayout();
    if (auto d = delegate_.lock()) d->scrollViewDidScroll(*this);
}

void UIScrollView::setContentOffsetAnimated(CGPoint offset, bool animated) {
    if (!animated) {
        setContentOffset(offset);
        return;
    }
    auto weak = std::weak_ptr<UIView>(sharedView());
    UIView::animate(0.3, [this, weak, offset] {
        if (weak.lock()) setContentOffset(offset);
    });
}

void UIScrollView::setContentInset(const UIEdgeInsets& insets) {
    contentInset_ = insets;
}

UIEdgeInsets UIScrollView::adjustedContentInset() const {
    if (adjustmentBehavior_ == ContentInsetAdjustmentBehavior::never) return contentInset_;
    UIEdgeInsets safe = safeAreaInsets();
    return {contentInset_.top + safe.top, contentInset_.left + safe.left, contentInset_.bottom + safe.bottom,
            contentInset_.right + safe.right};
}

void UIScrollView::setContentInsetAdjustmentBehavior(ContentInsetAdjustmentBehavior behavior) {
    adjustmentBehavior_ = behavior;
}

void UIScrollView::applySolvedContentSize(std::optional<CGFloat> width, std::optional<CGFloat> height) {
    CGSize size = contentSize_;
    if (width) size.width = std::max(CGFloat(0), *width);
    if (height) size.height = std::max(CGFloat(0), *height);
    contentSize_ = size;
}

std::string UIScrollView::snapshotAttributes() const {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "contentSize=%gx%g", contentSize_.width, contentSize_.height);
    std::string text = buffer;
    CGPoint offset = contentOffset();
    if (offset.x != 0 || offset.y != 0) {
        std::snprintf(buffer, sizeof buffer, " offset=%g,%g", offset.x, offset.y);
        text += buffer;
    }
    return text;
}

}  // namespace uikit
