#pragma once

#include <memory>
#include <optional>
#include <string>

#include "uikit/UICollectionViewLayout.h"
#include "uikit/UIView.h"

namespace uikit {

// A view a collection view shows for an element and reuses.
class UICollectionReusableView : public UIView {
  public:
    static std::shared_ptr<UICollectionReusableView> create(const CGRect& frame = CGRect());

    // The identifier it was dequeued with.
    std::optional<std::string> reuseIdentifier() const { return reuseIdentifier_; }
    // Before the collection view hands the view out again.
    virtual void prepareForReuse() {}
    // After the collection view applied the attributes' geometry, alpha and visibility.
    virtual void apply(const UICollectionViewLayoutAttributes& layoutAttributes) { (void)layoutAttributes; }
    // The attributes the view would like for its content (self-sizing). By default: `layoutAttributes` with
    // the view's intrinsic content size when it has one on both axes, else `layoutAttributes` unchanged.
    virtual std::shared_ptr<UICollectionViewLayoutAttributes> preferredLayoutAttributesFitting(
        const std::shared_ptr<UICollectionViewLayoutAttributes>& layoutAttributes);

  protected:
    explicit UICollectionReusableView(const CGRect& frame);

  private:
    friend class UICollectionView;
    std::optional<std::string> reuseIdentifier_;
};

// A collection view item's view. Content goes into `contentView()`, which fills the cell.
class UICollectionViewCell : public UICollectionReusableView {
  public:
    static std::shared_ptr<UICollectionViewCell> create(const CGRect& frame = CGRect());

    // Added to the cell on first use after construction.
    const std::shared_ptr<UIView>& contentView();
    std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
    void setBackgroundView(std::shared_ptr<UIView> view);

    virtual bool isSelected() const { return isSelected_; }
    virtual void setIsSelected(bool selected) { isSelected_ = selected; }
    virtual bool isHighlighted() const { return isHighlighted_; }
    virtual void setIsHighlighted(bool highlighted) { isHighlighted_ = highlighted; }

    void layoutSubviews() override;
    std::string snapshotAttributes() const override;

  protected:
    explicit UICollectionViewCell(const CGRect& frame);

  private:
    std::shared_ptr<UIView> contentView_;
    std::shared_ptr<UIView> backgroundView_;
    bool isSelected_ = false;
    bool isHighlighted_ = false;
};

}  // namespace uikit
