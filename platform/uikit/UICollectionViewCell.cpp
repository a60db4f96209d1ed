#include "uikit/UICollectionViewCell.h"

namespace uikit {

UICollectionReusableView::UICollectionReusableView(const CGRect& frame) : UIView(frame) {}

std::shared_ptr<UICollectionReusableView> UICollectionReusableView::create(const CGRect& frame) {
    return std::shared_ptr<UICollectionReusableView>(new UICollectionReusableView(frame));
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionReusableView::preferredLayoutAttributesFitting(
    const std::shared_ptr<UICollectionViewLayoutAttributes>& layoutAttributes) {
    if (!layoutAttributes) return layoutAttributes;
    CGSize intrinsic = intrinsicContentSize();
    if (intrinsic.width >= 0 && intrinsic.height >= 0) layoutAttributes->setSize(intrinsic);
    return layoutAttributes;
}

UICollectionViewCell::UICollectionViewCell(const CGRect& frame)
    : UICollectionReusableView(frame), contentView_(UIView::create(CGRect(CGPoint(), frame.size))) {}

std::shared_ptr<UICollectionViewCell> UICollectionViewCell::create(const CGRect& frame) {
    auto cell = std::shared_ptr<UICollectionViewCell>(new UICollectionViewCell(frame));
    cell->contentView();
    return cell;
}

const std::shared_ptr<UIView>& UICollectionViewCell::contentView() {
    if (!contentView_->superview() && sharedView()) {
        if (backgroundView_ && backgroundView_->superview().get() == this) {
            insertSubviewAboveSubview(contentView_, backgroundView_);
        } else {
            insertSubviewAt(contentView_, 0);
        }
    }
    return contentView_;
}

void UICollectionViewCell::setBackgroundView(std::shared_ptr<UIView> view) {
    if (backgroundView_) backgroundView_->removeFromSuperview();
    backgroundView_ = std::move(view);
    if (backgroundView_) {
        backgroundView_->setFrame(bounds());
        insertSubviewAt(backgroundView_, 0);
    }
}

void UICollectionViewCell::layoutSubviews() {
    UICollectionReusableView::layoutSubviews();
    contentView();
    contentView_->setFrame(bounds());
    if (backgroundView_) backgroundView_->setFrame(bounds());
}

std::string UICollectionViewCell::snapshotAttributes() const {
    std::string text;
    if (isSelected()) text += "selected";
    if (isHighlighted()) text += text.empty() ? "highlighted" : " highlighted";
    return text;
}

}  // namespace uikit
