#include "keymoments/ZuScrubberChainedThumbnailsView.h"

#include <algorithm>

#include "ui/KitColors.h"
#include "ui/Reusable.h"

namespace lumora {

// ---- The cell -------------------------------------------------------------------------------------------------

ZuScrubberChainedThumbnailsCollectionViewCell::ZuScrubberChainedThumbnailsCollectionViewCell(const uikit::CGRect& frame)
    : uikit::UICollectionViewCell(frame),
      styles_(ZuStyleManager::Thumbnails::default_()),
      thumbnailView_(uikit::UIView::create()),
      imageView_(uikit::UIImageView::create()) {}

std::shared_ptr<ZuScrubberChainedThumbnailsCollectionViewCell> ZuScrubberChainedThumbnailsCollectionViewCell::create(
    const uikit::CGRect& frame) {
    auto cell = std::shared_ptr<ZuScrubberChainedThumbnailsCollectionViewCell>(
        new ZuScrubberChainedThumbnailsCollectionViewCell(frame));
    const auto& content = cell->contentView();
    content->setInsetsLayoutMarginsFromSafeArea(false);
    content->setLayoutMargins(ZuStyleManager::Thumbnails::shared().chainedThumbnailsCellLayoutMargins);
    content->addSubview(cell->imageView_);
    cell->imageView_->setContentMode(uikit::UIViewContentMode::scaleAspectFit);
    cell->imageView_->setBackgroundColor(colors::adjusted(colors::woodsmoke(), 0.16));
    const auto guide = content->layoutMarginsGuide();
    cell->imageView_->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.edges().equalTo(guide).priority(uikit::ConstraintPriority::required() - 1);
    });
    return cell;
}

// ---- The strip ------------------------------------------------------------------------------------------------

ZuScrubberChainedThumbnailsView::ZuScrubberChainedThumbnailsView(const uikit::CGRect& frame)
    : uikit::UIView(frame),
      styles_(ZuStyleManager::Thumbnails::shared()),
      singleThumbnailView_(ZuScrubberSingleThumbnailView::create()),
      shadowLayer_(quartzcore::CAGradientLayer::create()),
      thumbnailsCollection_(std::vector<std::shared_ptr<uikit::UIImage>>{}) {
    auto layout = uikit::UICollectionViewFlowLayout::create();
    layout->setMinimumLineSpacing(0);
    layout->setScrollDirection(uikit::UICollectionViewFlowLayout::ScrollDirection::horizontal);
    collectionView_ = uikit::UICollectionView::create(uikit::CGRect(), layout);
    collectionView_->setIsUserInteractionEnabled(false);

    shadowLayer_->setShadowRadius(10.0);
    shadowLayer_->setShadowOpacity(0.6);
    shadowLayer_->setShadowColor(coregraphics::CGColor::black());
    shadowLayer_->setShadowOffset(uikit::CGSize{0, -16.0});
    shadowLayer_->setLocations(std::vector<uikit::CGFloat>{0, 1});
    shadowLayer_->setColors({uikit::UIColor(0.0, 0.32).cgColor(), uikit::UIColor(0.0, 0.0).cgColor()});
}

std::shared_ptr<ZuScrubberChainedThumbnailsView> ZuScrubberChainedThumbnailsView::create(const uikit::CGRect& frame) {
    auto view = std::shared_ptr<ZuScrubberChainedThumbnailsView>(new ZuScrubberChainedThumbnailsView(frame));
    view->setLayoutMargins(view->styles_.chainedThumbnailsLayoutMargins);
    view->setInsetsLayoutMarginsFromSafeArea(false);
    view->layer()->addSublayer(view->shadowLayer_);

    const auto& collectionView = view->collectionView_;
    view->addSubview(collectionView);
    collectionView->setDelegate(std::static_pointer_cast<uikit::UICollectionViewDelegate>(view));
    register_<ZuScrubberChainedThumbnailsCollectionViewCell>(*collectionView);
    const auto guide = view->layoutMarginsGuide();
    collectionView->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.edges().equalTo(guide).priority(uikit::ConstraintPriority::required() - 1);
    });

    const auto& single = view->singleThumbnailView_;
    view->addSubview(single);
    const uikit::CGFloat height = view->styles_.chainedThumbnailsCollectionViewHeight;
    single->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.centerY().equalTo(guide);
        make.leading().trailing().equalToSuperview();
        make.top().bottom().equalTo(guide).priority(uikit::ConstraintPriority::required() - 1);
        make.height().equalTo(height);
    });

    collectionView->rx()
        .items<ZuScrubberChainedThumbnailsCollectionViewCell, std::shared_ptr<uikit::UIImage>>(
            view->thumbnailsCollection_, reuseIdentifier<ZuScrubberChainedThumbnailsCollectionViewCell>(),
            [](int, const std::shared_ptr<uikit::UIImage>& image, ZuScrubberChainedThumbnailsCollectionViewCell& cell) {
                cell.imageView()->setImage(image);
            })
        .disposed(view->disposeBag_);
    return view;
}

void ZuScrubberChainedThumbnailsView::layoutSubviews() {
    uikit::UIView::layoutSubviews();
    shadowLayer_->setFrame(bounds());
}

std::optional<uikit::UIEdgeInsets> ZuScrubberChainedThumbnailsView::collectionViewLayoutInsetForSectionAt(
    uikit::UICollectionView& collectionView, uikit::UICollectionViewLayout& layout, int section) {
    (void)collectionView;
    (void)layout;
    (void)section;
    const uikit::UIEdgeInsets margins = layoutMargins();
    return uikit::UIEdgeInsets{10.0, margins.left, 10.0, margins.right};
}

std::optional<uikit::CGSize> ZuScrubberChainedThumbnailsView::collectionViewLayoutSizeForItemAt(
    uikit::UICollectionView& collectionView, uikit::UICollectionViewLayout& layout, const uikit::IndexPath& indexPath) {
    uikit::UIEdgeInsets inset;
    auto delegate =
        std::dynamic_pointer_cast<uikit::UICollectionViewDelegateFlowLayout>(collectionView.delegate().lock());
    if (delegate) {
        if (auto answer = delegate->collectionViewLayoutInsetForSectionAt(collectionView, layout, indexPath.section)) {
            inset = *answer;
        }
    }
    // A collection view lower than the insets has no room: the items are empty rather than negative.
    // (Computed from the size itself: a rectangle's height() is never negative.)
    const uikit::CGFloat height =
        std::max(uikit::CGFloat(0), collectionView.bounds().size.height - inset.top - inset.bottom);
    return uikit::CGSize{styles_.aspectRatio * height, height};
}

}  // namespace lumora
