#include "keymoments/ZuKeyMomentsCollectionViewCell.h"

#include "keymoments/ZuKeyMomentsGroupLayout.h"
#include "ui/KitColors.h"
#include "ui/KitFonts.h"
#include "uikit/UIFont.h"

namespace lumora {

namespace {

// The group title's look: aluminium at 0.6 alpha normally, white at full alpha when selected; centred,
// clear background, the kit's face at 16 points, regular.
void styleTitle(uikit::UILabel& label, bool selected) {
    label.setBackgroundColor(uikit::UIColor::clear());
    label.setTextColor(selected ? uikit::UIColor::white() : colors::aluminium());
    label.setTextAlignment(uikit::NSTextAlignment::center);
    label.setAlpha(selected ? 1.0 : 0.6);
    label.setFont(gibsonFont(16, uikit::UIFont::Weight::regular));
}

}  // namespace

ZuKeyMomentsCollectionViewCell::ZuKeyMomentsCollectionViewCell(const uikit::CGRect& frame)
    : uikit::UICollectionViewCell(frame),
      stackView_(uikit::UIStackView::create()),
      separatorView_(uikit::UIView::create()) {
    stackView_->setSpacing(16);
    stackView_->setAxis(uikit::UILayoutConstraintAxis::horizontal);
    separatorView_->setBackgroundColor(uikit::UIColor::white());
    separatorView_->setIsHidden(true);
}

std::shared_ptr<ZuKeyMomentsCollectionViewCell> ZuKeyMomentsCollectionViewCell::create(const uikit::CGRect& frame) {
    auto cell = std::shared_ptr<ZuKeyMomentsCollectionViewCell>(new ZuKeyMomentsCollectionViewCell(frame));
    // The cell is sized by these margins: the safe area must not add to them, or a cell reaching past the
    // safe area would grow with every measurement and the row would never settle.
    cell->contentView()->setInsetsLayoutMarginsFromSafeArea(false);
    cell->contentView()->setLayoutMargins(uikit::UIEdgeInsets{0, 15, 0, 15});
    cell->contentView()->setTranslatesAutoresizingMaskIntoConstraints(false);
    cell->contentView()->addSubview(cell->separatorView_);
    cell->contentView()->addSubview(cell->titleLabel());
    return cell;
}

const std::shared_ptr<uikit::UILabel>& ZuKeyMomentsCollectionViewCell::titleLabel() {
    if (!titleLabel_) {
        titleLabel_ = uikit::UILabel::create();
        titleLabel_->setTextAlignment(uikit::NSTextAlignment::center);
        titleLabel_->setTranslatesAutoresizingMaskIntoConstraints(false);
        styleTitle(*titleLabel_, false);
    }
    return titleLabel_;
}

void ZuKeyMomentsCollectionViewCell::configure(const ZuKeyMomentEvent& event) {
    titleLabel()->setText(event.contestant.empty() ? event.happening : event.happening + ", " + event.contestant);
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

void ZuKeyMomentsCollectionViewCell::setIsSelected(bool selected) {
    uikit::UICollectionViewCell::setIsSelected(selected);
    styleTitle(*titleLabel(), selected);
}

uikit::CGSize ZuKeyMomentsCollectionViewCell::intrinsicContentSize() const {
    const uikit::UIEdgeInsets margins =
        const_cast<ZuKeyMomentsCollectionViewCell*>(this)->contentView()->layoutMargins();
    const uikit::CGSize text = titleLabel_ ? titleLabel_->intrinsicContentSize() : uikit::CGSize{0, 0};
    return uikit::CGSize{text.width + margins.left + margins.right, text.height + margins.top + margins.bottom};
}

std::shared_ptr<uikit::UICollectionViewLayoutAttributes>
ZuKeyMomentsCollectionViewCell::preferredLayoutAttributesFitting(
    const std::shared_ptr<uikit::UICollectionViewLayoutAttributes>& layoutAttributes) {
    if (layoutAttributes) layoutAttributes->setSize(intrinsicContentSize());
    return layoutAttributes;
}

void ZuKeyMomentsCollectionViewCell::apply(const uikit::UICollectionViewLayoutAttributes& layoutAttributes) {
    uikit::UICollectionViewCell::apply(layoutAttributes);
    if (const auto* group = dynamic_cast<const ZuKeyMomentsGroupLayout*>(&layoutAttributes)) {
        separatorView_->setIsHidden(group->hideSeparator);
    }
}

void ZuKeyMomentsCollectionViewCell::layoutSubviews() {
    uikit::UICollectionViewCell::layoutSubviews();
    const auto& content = contentView();
    const uikit::CGRect bounds = content->bounds();
    titleLabel()->setFrame(bounds.inset(content->layoutMargins()));
    separatorView_->setFrame(uikit::CGRect(bounds.minX(), bounds.minY(), 1.0, bounds.height()));
}

}  // namespace lumora
