#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keymoments/ZuScrubberSingleThumbnailView.h"
#include "quartzcore/CAGradientLayer.h"
#include "rx/Disposables.h"
#include "rx/Relays.h"
#include "ui/ZuStyleManager.h"
#include "uikit/UICollectionView.h"
#include "uikit/UIImageView.h"

namespace lumora {

// One thumbnail of the chained strip: the image, fitted, on a slightly lighter dark ground.
class ZuScrubberChainedThumbnailsCollectionViewCell : public uikit::UICollectionViewCell {
  public:
    static std::shared_ptr<ZuScrubberChainedThumbnailsCollectionViewCell> create(
        const uikit::CGRect& frame = uikit::CGRect());
    const ZuStyleManager::Thumbnails& styles() const { return styles_; }
    // Made with the cell, never placed in the view tree.
    const std::shared_ptr<uikit::UIView>& thumbnailView() const { return thumbnailView_; }
    const std::shared_ptr<uikit::UIImageView>& imageView() const { return imageView_; }

  protected:
    explicit ZuScrubberChainedThumbnailsCollectionViewCell(const uikit::CGRect& frame);

  private:
    ZuStyleManager::Thumbnails styles_;
    std::shared_ptr<uikit::UIView> thumbnailView_;
    std::shared_ptr<uikit::UIImageView> imageView_;
};

// A strip of thumbnails (one cell per image of `thumbnailsCollection`) under a gradient shadow, with a
// single floating thumbnail over it. Offered to the host: put a list of images into the relay (a BIF's
// `allImages()`, for instance) and move `singleThumbnailView()` with the scrubber. The strip takes no
// touches. Main thread only.
class ZuScrubberChainedThumbnailsView : public uikit::UIView, public uikit::UICollectionViewDelegateFlowLayout {
  public:
    static std::shared_ptr<ZuScrubberChainedThumbnailsView> create(const uikit::CGRect& frame = uikit::CGRect());

    const ZuStyleManager::Thumbnails& styles() const { return styles_; }
    const std::shared_ptr<ZuScrubberSingleThumbnailView>& singleThumbnailView() const { return singleThumbnailView_; }
    const std::shared_ptr<uikit::UICollectionView>& collectionView() const { return collectionView_; }
    const std::shared_ptr<quartzcore::CAGradientLayer>& shadowLayer() const { return shadowLayer_; }
    // The images shown, one cell each; a new list replaces every cell. Absent images show an empty cell.
    const rx::BehaviorRelay<std::vector<std::shared_ptr<uikit::UIImage>>>& thumbnailsCollection() const {
        return thumbnailsCollection_;
    }

    void layoutSubviews() override;

    // Sections are inset 10 points at the top and bottom and by the view's own side margins.
    std::optional<uikit::UIEdgeInsets> collectionViewLayoutInsetForSectionAt(uikit::UICollectionView& collectionView,
                                                                             uikit::UICollectionViewLayout& layout,
                                                                             int section) override;
    // As high as the collection view less the section's insets (never below 0), `aspectRatio` times as wide.
    std::optional<uikit::CGSize> collectionViewLayoutSizeForItemAt(uikit::UICollectionView& collectionView,
                                                                   uikit::UICollectionViewLayout& layout,
                                                                   const uikit::IndexPath& indexPath) override;

  protected:
    explicit ZuScrubberChainedThumbnailsView(const uikit::CGRect& frame);

  private:
    ZuStyleManager::Thumbnails styles_;
    std::shared_ptr<ZuScrubberSingleThumbnailView> singleThumbnailView_;
    std::shared_ptr<uikit::UICollectionView> collectionView_;
    std::shared_ptr<quartzcore::CAGradientLayer> shadowLayer_;
    rx::BehaviorRelay<std::vector<std::shared_ptr<uikit::UIImage>>> thumbnailsCollection_;
    rx::DisposeBag disposeBag_;
};

}  // namespace lumora
