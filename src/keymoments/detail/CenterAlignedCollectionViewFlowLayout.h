#pragma once

#include <memory>
#include <vector>

#include "uikit/UICollectionViewLayout.h"

namespace lumora::detail {

// The group row's layout: a horizontal flow whose content insets let the first and the last cell scroll to
// the middle of the row, and whose attributes say which cell hides its separator (the first).
class CenterAlignedCollectionViewFlowLayout final : public uikit::UICollectionViewFlowLayout {
  public:
    static std::shared_ptr<CenterAlignedCollectionViewFlowLayout> create() {
        return std::shared_ptr<CenterAlignedCollectionViewFlowLayout>(new CenterAlignedCollectionViewFlowLayout());
    }

    void prepare() override;
    std::shared_ptr<uikit::UICollectionViewLayoutAttributes> layoutAttributesForItem(
        const uikit::IndexPath& at) const override;
    std::vector<std::shared_ptr<uikit::UICollectionViewLayoutAttributes>> layoutAttributesForElements(
        const uikit::CGRect& in) const override;
    std::shared_ptr<uikit::UICollectionViewLayoutAttributes> makeLayoutAttributes(
        const uikit::IndexPath& forCellWith) const override;

  private:
    CenterAlignedCollectionViewFlowLayout() = default;
};

}  // namespace lumora::detail
