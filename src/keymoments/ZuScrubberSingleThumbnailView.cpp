#include "keymoments/ZuScrubberSingleThumbnailView.h"

#include <algorithm>

#include "ui/KitColors.h"

namespace lumora {

ZuScrubberSingleThumbnailView::ZuScrubberSingleThumbnailView(const uikit::CGRect& frame)
    : uikit::UIView(frame),
      styles_(ZuStyleManager::Thumbnails::shared()),
      imageView_(uikit::UIImageView::create()),
      shadowLayer_(quartzcore::CALayer::create()) {
    imageView_->setClipsToBounds(true);
    imageView_->setBackgroundColor(colors::woodsmoke());
    imageView_->setContentMode(uikit::UIViewContentMode::scaleAspectFill);
    shadowLayer_->setBackgroundColor(coregraphics::CGColor::black());
    shadowLayer_->setCornerRadius(4.0);
    shadowLayer_->setShadowRadius(20.0);
    shadowLayer_->setShadowOpacity(0.5);
    shadowLayer_->setShadowColor(coregraphics::CGColor::black());
    shadowLayer_->setShadowOffset(uikit::CGSize{0, 3.0});
    shadowLayer_->setActions({{"position", nullptr}, {"bounds", nullptr}});
}

std::shared_ptr<ZuScrubberSingleThumbnailView> ZuScrubberSingleThumbnailView::create(const uikit::CGRect& frame) {
    auto view = std::shared_ptr<ZuScrubberSingleThumbnailView>(new ZuScrubberSingleThumbnailView(frame));
    view->layer()->addSublayer(view->shadowLayer_);
    view->addSubview(view->imageView_);
    const auto guide = view->layoutMarginsGuide();
    const auto imageView = view->imageView_;
    const uikit::CGFloat aspectRatio = view->styles_.aspectRatio;
    const uikit::CGFloat height = view->styles_.minimumSingleThumbnailSize.height;
    imageView->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.top().bottom().equalTo(guide);
        make.width().equalTo(imageView->snp().height()).multipliedBy(aspectRatio);
        make.height().equalTo(height).priority(uikit::ConstraintPriority::required() - 2);
    });
    // The border from the start, in the tint the view has: the toolkit tells of a tint only when it changes,
    // so an owner that sets the tint the view already inherits would otherwise leave it without one.
    lumora::apply(*view->imageView_, view->styles_.thumbnailImageView);
    return view;
}

void ZuScrubberSingleThumbnailView::followValue(double value, double minimumValue, double maximumValue,
                                                const BIF* bif) {
    const double range = maximumValue - minimumValue;
    const double p = range == 0 ? 0.0 : (value - minimumValue) / range;
    if (p >= 0 && p <= 1) {
        const uikit::CGRect guide = bounds().inset(layoutMargins());
        centerXPoint_ = guide.minX() + guide.width() * p;
        setNeedsLayout();
    }
    imageView_->setImage(bif ? bif->image(value) : nullptr);
}

uikit::CGSize ZuScrubberSingleThumbnailView::intrinsicContentSize() const {
    return styles_.minimumSingleThumbnailSize;
}

void ZuScrubberSingleThumbnailView::layoutSubviews() {
    uikit::UIView::layoutSubviews();
    const uikit::CGRect b = bounds();
    const uikit::CGFloat halfWidth = imageView_->bounds().midX();
    const uikit::CGFloat lower = b.minX() + halfWidth;
    const uikit::CGFloat upper = b.maxX() - halfWidth;
    // A wanted centre that is not a number falls to the lower limit, as any value below it.
    uikit::CGFloat x = centerXPoint_ > lower ? centerXPoint_ : lower;
    x = std::min(x, upper);
    imageView_->setCenter(uikit::CGPoint{x, imageView_->center().y});
    shadowLayer_->setFrame(imageView_->frame());
    if (didUpdateThumbnailViewCenter_) didUpdateThumbnailViewCenter_(imageView_->center());
}

void ZuScrubberSingleThumbnailView::tintColorDidChange() {
    uikit::UIView::tintColorDidChange();
    lumora::apply(*imageView_, styles_.thumbnailImageView);
}

}  // namespace lumora
