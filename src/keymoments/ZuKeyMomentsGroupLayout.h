#pragma once

#include <memory>

#include "uikit/UICollectionViewLayout.h"

namespace lumora {

// The layout attributes of a cell of the key-moments group row: whether its separator line is hidden
// (true for the first cell only, so lines show only between cells).
class ZuKeyMomentsGroupLayout final : public uikit::UICollectionViewLayoutAttributes {
  public:
    static std::shared_ptr<ZuKeyMomentsGroupLayout> create(const uikit::IndexPath& forCellWith) {
        return std::shared_ptr<ZuKeyMomentsGroupLayout>(new ZuKeyMomentsGroupLayout(forCellWith));
    }
    std::shared_ptr<uikit::UICollectionViewLayoutAttributes> copy() const override {
        return std::shared_ptr<ZuKeyMomentsGroupLayout>(new ZuKeyMomentsGroupLayout(*this));
    }

    bool hideSeparator = false;

  private:
    explicit ZuKeyMomentsGroupLayout(const uikit::IndexPath& indexPath)
        : uikit::UICollectionViewLayoutAttributes(indexPath) {}
    ZuKeyMomentsGroupLayout(const ZuKeyMomentsGroupLayout&) = default;
};

}  // namespace lumora
