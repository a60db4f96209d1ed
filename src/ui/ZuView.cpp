#include "ui/ZuView.h"

#include <cmath>

namespace lumora {

ZuView::ZuView(const uikit::CGRect& frame) : uikit::UIView(frame) {}

std::shared_ptr<ZuView> ZuView::create(const uikit::CGRect& frame) {
    return std::shared_ptr<ZuView>(new ZuView(frame));
}

void ZuView::setIsFocusable(bool focusable) {
    isFocusable_ = focusable;
    setNeedsFocusUpdate();
}

void ZuView::setPreferredContentSize(std::optional<uikit::CGSize> size) {
    preferredContentSize_ = size;
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

uikit::CGSize ZuView::intrinsicContentSize() const {
    uikit::CGSize size = uikit::UIView::intrinsicContentSize();
    if (preferredContentSize_ && std::isfinite(preferredContentSize_->height)) {
        size.height = preferredContentSize_->height;
    }
    return size;
}

bool ZuView::point(uikit::CGPoint inside, const uikit::UIEvent* event) {
    if (isOpaque()) return uikit::UIView::point(inside, event);
    auto self = sharedView();
    for (const auto& subview : subviews()) {
        if (subview->isHidden() || !subview->isUserInteractionEnabled()) continue;
        if (subview->point(subview->convertFrom(inside, self), event)) return true;
    }
    return false;
}

}  // namespace lumora
