#include "keymoments/detail/CenterAlignedCollectionViewFlowLayout.h"

#include "keymoments/ZuKeyMomentsGroupLayout.h"
#include "uikit/UICollectionView.h"

namespace lumora::detail {

void CenterAlignedCollectionViewFlowLayout::prepare() {
    uikit::UICollectionViewFlowLayout::prepare();
    auto collectionView = this->collectionView();
    if (!collectionView || collectionView->numberOfItems(0) < 1) return;
    const int count = collectionView->numberOfItems(0);
    auto first = layoutAttributesForItem(uikit::IndexPath(0, 0));
    auto last = layoutAttributesForItem(uikit::IndexPath(count - 1, 0));
    const uikit::CGFloat width = collectionView->bounds().width();
    const uikit::CGFloat firstWidth = first ? first->bounds().width() : 0;
    const uikit::CGFloat lastWidth = last ? last->bounds().width() : 0;
    collectionView->setContentInset(uikit::UIEdgeInsets{0, (width - firstWidth) * 0.5, 0, (width - lastWidth) * 0.5});
}

std::shared_ptr<uikit::UICollectionViewLayoutAttributes> CenterAlignedCollectionViewFlowLayout::makeLayoutAttributes(
    const uikit::IndexPath& forCellWith) const {
    return ZuKeyMomentsGroupLayout::create(forCellWith);
}

std::shared_ptr<uikit::UICollectionViewLayoutAttributes> CenterAlignedCollectionViewFlowLayout::layoutAttributesForItem(
    const uikit::IndexPath& at) const {
    auto attributes = std::dynamic_pointer_cast<ZuKeyMomentsGroupLayout>(
        uikit::UICollectionViewFlowLayout::layoutAttributesForItem(at));
    if (!attributes) return nullptr;
    attributes->hideSeparator = at.item == 0;
    return attributes;
}

std::vector<std::shared_ptr<uikit::UICollectionViewLayoutAttributes>>
CenterAlignedCollectionViewFlowLayout::layoutAttributesForElements(const uikit::CGRect& in) const {
    std::vector<std::shared_ptr<uikit::UICollectionViewLayoutAttributes>> result;
    for (const auto& attributes : uikit::UICollectionViewFlowLayout::layoutAttributesForElements(in)) {
        if (auto mine = layoutAttributesForItem(attributes->indexPath())) result.push_back(std::move(mine));
    }
    return result;
}

}  // namespace lumora::detail
