#pragma once

#include <compare>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "uikit/UIGeometry.h"

namespace uikit {

class UICollectionView;

// A position in a collection: an item of a section. Made as on the platform, item first:
// `IndexPath(item, section)`. Ordered by section, then item.
struct IndexPath {
    int item = 0;
    int section = 0;

    constexpr IndexPath() = default;
    constexpr IndexPath(int item_, int section_) : item(item_), section(section_) {}
    constexpr int row() const { return item; }

    friend constexpr bool operator==(const IndexPath&, const IndexPath&) = default;
    friend constexpr std::strong_ordering operator<=>(const IndexPath& a, const IndexPath& b) {
        if (auto c = a.section <=> b.section; c != 0) return c;
        return a.item <=> b.item;
    }
};

std::ostream& operator<<(std::ostream& os, const IndexPath& indexPath);

// Where and how one item is shown. A shared, mutable object as on the platform; layouts hand out copies,
// so changing attributes a layout returned changes nothing in the layout.
//
// Subclasses add fields and override `copy()` to copy them (the protected copy constructor copies the
// base's fields): `return std::shared_ptr<Mine>(new Mine(*this));`.
class UICollectionViewLayoutAttributes : public std::enable_shared_from_this<UICollectionViewLayoutAttributes> {
  public:
    enum class UICollectionElementCategory { cell = 0, supplementaryView = 1, decorationView = 2 };

    // The platform's `init(forCellWith:)`.
    static std::shared_ptr<UICollectionViewLayoutAttributes> create(const IndexPath& forCellWith);
    virtual ~UICollectionViewLayoutAttributes() = default;

    virtual std::shared_ptr<UICollectionViewLayoutAttributes> copy() const;

    IndexPath indexPath() const { return indexPath_; }
    void setIndexPath(const IndexPath& indexPath) { indexPath_ = indexPath; }
    UICollectionElementCategory representedElementCategory() const { return UICollectionElementCategory::cell; }

    // The frame is kept as a centre and a size.
    CGRect frame() const;
    void setFrame(const CGRect& frame);
    CGPoint center() const { return center_; }
    void setCenter(CGPoint center) { center_ = center; }
    CGSize size() const { return size_; }
    void setSize(CGSize size) { size_ = size; }
    CGRect bounds() const { return CGRect(CGPoint(), size_); }
    CGAffineTransform transform() const { return transform_; }
    void setTransform(const CGAffineTransform& transform) { transform_ = transform; }
    CGFloat alpha() const { return alpha_; }
    void setAlpha(CGFloat alpha) { alpha_ = alpha; }
    int zIndex() const { return zIndex_; }
    void setZIndex(int zIndex) { zIndex_ = zIndex; }
    bool isHidden() const { return isHidden_; }
    void setIsHidden(bool hidden) { isHidden_ = hidden; }

  protected:
    explicit UICollectionViewLayoutAttributes(const IndexPath& indexPath) : indexPath_(indexPath) {}
    UICollectionViewLayoutAttributes(const UICollectionViewLayoutAttributes&) = default;
    UICollectionViewLayoutAttributes& operator=(const UICollectionViewLayoutAttributes&) = default;

  private:
    IndexPath indexPath_;
    CGPoint center_;
    CGSize size_;
    CGAffineTransform transform_ = CGAffineTransform::identity();
    CGFloat alpha_ = 1;
    int zIndex_ = 0;
    bool isHidden_ = false;
};

// One change of a batch update, as handed to the layout.
struct UICollectionViewUpdateItem {
    enum class Action { insert = 0, delete_ = 1, reload = 2, move = 3, none = 4 };
    std::optional<IndexPath> indexPathBeforeUpdate;
    std::optional<IndexPath> indexPathAfterUpdate;
    Action updateAction = Action::none;
};

// Places a collection view's items. The collection view calls `prepare()` whenever the layout has been
// invalidated (and first), then asks for the content size and the attributes of the items in the visible
// rectangle.
class UICollectionViewLayout : public std::enable_shared_from_this<UICollectionViewLayout> {
  public:
    static std::shared_ptr<UICollectionViewLayout> create();
    virtual ~UICollectionViewLayout() = default;

    std::shared_ptr<UICollectionView> collectionView() const { return collectionView_.lock(); }

    virtual void prepare() {}
    virtual CGSize collectionViewContentSize() const { return CGSize(); }
    virtual std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> layoutAttributesForElements(
        const CGRect& in) const;
    virtual std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForItem(const IndexPath& at) const;

    // Makes the collection view prepare the layout again before its next use of it.
    virtual void invalidateLayout();
    bool isInvalidated() const { return invalid_; }
    // Asked when the collection view's bounds change; true invalidates the layout. False by default.
    virtual bool shouldInvalidateLayout(const CGRect& forBoundsChange) const;
    // Asked after a cell answered `preferredLayoutAttributesFitting` for `original`; true makes the collection
    // view call `invalidateLayoutWithPreferred(preferred)`. False by default.
    virtual bool shouldInvalidateLayout(const UICollectionViewLayoutAttributes& forPreferredLayoutAttributes,
                                        const UICollectionViewLayoutAttributes& withOriginalAttributes) const;
    virtual void invalidateLayoutWithPreferred(const UICollectionViewLayoutAttributes& preferredAttributes);
    // Before the layout of a valid batch update.
    virtual void prepareForCollectionViewUpdates(const std::vector<UICollectionViewUpdateItem>& updateItems) {
        (void)updateItems;
    }

    // The stand-in for the platform's `layoutAttributesClass`: makes the attributes for a cell. Layouts that
    // use an attributes subclass override it.
    virtual std::shared_ptr<UICollectionViewLayoutAttributes> makeLayoutAttributes(const IndexPath& forCellWith) const;

  protected:
    UICollectionViewLayout() = default;
    // The data was reloaded: cached per-item knowledge is stale.
    virtual void dataDidReload() {}

  private:
    friend class UICollectionView;
    std::weak_ptr<UICollectionView> collectionView_;
    bool invalid_ = true;
};

// Flows items in lines across the collection view, lines following each other in the scroll direction.
//
// Item sizes: the size a self-sizing cell asked for (with an `estimatedItemSize`), else the flow delegate's
// `collectionViewLayoutSizeForItemAt`, else the estimated size when one is set, else `itemSize`. Section
// insets and spacings come from the delegate when it answers, else from the properties.
//
// Lines: items go into a line while they fit the room across (collection view bounds less the adjusted
// content insets and the section insets) with at least `minimumInteritemSpacing` between them; a new line
// starts `minimumLineSpacing` after the thickest item of the previous one. Within a line, items are centred
// in its thickness; across, a line with one item centres it, a full line (not the section's last) spreads
// its items so that they touch both edges, and the section's last line packs them from the start.
class UICollectionViewFlowLayout : public UICollectionViewLayout {
  public:
    enum class ScrollDirection { vertical = 0, horizontal = 1 };

    static std::shared_ptr<UICollectionViewFlowLayout> create();

    ScrollDirection scrollDirection() const { return scrollDirection_; }
    void setScrollDirection(ScrollDirection direction);
    CGFloat minimumLineSpacing() const { return minimumLineSpacing_; }
    void setMinimumLineSpacing(CGFloat spacing);
    CGFloat minimumInteritemSpacing() const { return minimumInteritemSpacing_; }
    void setMinimumInteritemSpacing(CGFloat spacing);
    // 50 × 50 by default.
    CGSize itemSize() const { return itemSize_; }
    void setItemSize(CGSize size);
    // Zero (no self-sizing) by default.
    CGSize estimatedItemSize() const { return estimatedItemSize_; }
    void setEstimatedItemSize(CGSize size);
    UIEdgeInsets sectionInset() const { return sectionInset_; }
    void setSectionInset(const UIEdgeInsets& inset);

    void prepare() override;
    CGSize collectionViewContentSize() const override { return contentSize_; }
    std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> layoutAttributesForElements(
        const CGRect& in) const override;
    std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForItem(const IndexPath& at) const override;
    bool shouldInvalidateLayout(const CGRect& forBoundsChange) const override;
    bool shouldInvalidateLayout(const UICollectionViewLayoutAttributes& forPreferredLayoutAttributes,
                                const UICollectionViewLayoutAttributes& withOriginalAttributes) const override;
    void invalidateLayoutWithPreferred(const UICollectionViewLayoutAttributes& preferredAttributes) override;
    void prepareForCollectionViewUpdates(const std::vector<UICollectionViewUpdateItem>& updateItems) override;

  protected:
    UICollectionViewFlowLayout() = default;
    void dataDidReload() override { preferredSizes_.clear(); }

  private:
    bool selfSizing() const { return estimatedItemSize_.width > 0 && estimatedItemSize_.height > 0; }
    CGSize sizeForItem(const IndexPath& indexPath) const;

    ScrollDirection scrollDirection_ = ScrollDirection::vertical;
    CGFloat minimumLineSpacing_ = 10;
    CGFloat minimumInteritemSpacing_ = 10;
    CGSize itemSize_{50, 50};
    CGSize estimatedItemSize_;
    UIEdgeInsets sectionInset_;

    std::vector<std::vector<CGRect>> frames_;
    CGSize contentSize_;
    CGSize preparedBoundsSize_;
    std::map<IndexPath, CGSize> preferredSizes_;
};

}  // namespace uikit
