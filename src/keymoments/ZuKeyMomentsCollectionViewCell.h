#pragma once

#include <memory>
#include <string>

#include "keymoments/ZuKeyMomentEvent.h"
#include "uikit/UICollectionViewCell.h"
#include "uikit/UILabel.h"
#include "uikit/UIStackView.h"

namespace lumora {

// One event of the key-moments group row: its "<happening>, <contestant>" text (the happening alone when
// there is no contestant), brighter while selected, with a thin white line at its left edge that the
// row's layout hides on the first cell. As wide as its text plus 15 points each side, as high as its text,
// so the row sizes its cells by their content.
class ZuKeyMomentsCollectionViewCell : public uikit::UICollectionViewCell {
  public:
    static std::shared_ptr<ZuKeyMomentsCollectionViewCell> create(const uikit::CGRect& frame = uikit::CGRect());
    void configure(const ZuKeyMomentEvent& event);

    // Made with the cell, never placed in the view tree (kept for hosts that lay cells out themselves).
    const std::shared_ptr<uikit::UIStackView>& stackView() const { return stackView_; }
    const std::shared_ptr<uikit::UIView>& separatorView() const { return separatorView_; }
    // Made on first use.
    const std::shared_ptr<uikit::UILabel>& titleLabel();

    void setIsSelected(bool selected) override;
    uikit::CGSize intrinsicContentSize() const override;
    std::shared_ptr<uikit::UICollectionViewLayoutAttributes> preferredLayoutAttributesFitting(
        const std::shared_ptr<uikit::UICollectionViewLayoutAttributes>& layoutAttributes) override;
    void apply(const uikit::UICollectionViewLayoutAttributes& layoutAttributes) override;
    void layoutSubviews() override;

  protected:
    explicit ZuKeyMomentsCollectionViewCell(const uikit::CGRect& frame);

  private:
    std::shared_ptr<uikit::UIStackView> stackView_;
    std::shared_ptr<uikit::UIView> separatorView_;
    std::shared_ptr<uikit::UILabel> titleLabel_;
};

}  // namespace lumora
