#include "uikit/UIImageView.h"

#include <cstdio>

#include "coregraphics/CGContext.h"

namespace uikit {

UIImageView::UIImageView(const CGRect& frame) : UIView(frame) {
    setIsUserInteractionEnabled(false);
    setIsOpaque(false);
}

std::shared_ptr<UIImageView> UIImageView::create(const CGRect& frame) {
    return std::shared_ptr<UIImageView>(new UIImageView(frame));
}

std::shared_ptr<UIImageView> UIImageView::create(std::shared_ptr<UIImage> image) {
    CGSize size = image ? image->size() : CGSize();
    auto view = create(CGRect(0, 0, size.width, size.height));
    view->setImage(std::move(image));
    return view;
}

void UIImageView::setImage(std::shared_ptr<UIImage> image) {
    if (image == image_) return;
    image_ = std::move(image);
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

CGRect UIImageView::imageRect() const {
    if (!image_) return bounds();
    return rectForContentMode(contentMode(), image_->size(), bounds());
}

CGSize UIImageView::intrinsicContentSize() const {
    if (!image_) return CGSize{noIntrinsicMetric, noIntrinsicMetric};
    return image_->size();
}

CGSize UIImageView::sizeThatFits(CGSize size) const {
    (void)size;
    return image_ ? image_->size() : CGSize();
}

void UIImageView::draw(const CGRect& rect) {
    (void)rect;
    auto context = coregraphics::currentContext();
    if (!context || !image_) return;
    if (image_->renderingMode() == UIImage::RenderingMode::alwaysTemplate) {
        // A template image shows only its shape, in the tint colour.
        context->setFillColor(tintColor().cgColor());
        context->fillMask(image_->cgImage(), imageRect());
    } else {
        context->draw(image_->cgImage(), imageRect());
    }
}

void UIImageView::tintColorDidChange() {
    if (image_ && image_->renderingMode() == UIImage::RenderingMode::alwaysTemplate) setNeedsDisplay();
}

std::string UIImageView::snapshotAttributes() const {
    if (!image_) return {};
    CGSize size = image_->size();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "image=%gx%g", size.width, size.height);
    return buffer;
}

}  // namespace uikit
