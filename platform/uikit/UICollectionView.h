#pragma once

#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "foundation/Error.h"
#include "rx/Cocoa.h"
#include "uikit/UICollectionViewCell.h"
#include "uikit/UICollectionViewLayout.h"
#include "uikit/UIScrollView.h"

namespace uikit {

class UICollectionView;

// Supplies the items. Required: the item count of a section and the cell of an item.
class UICollectionViewDataSource {
  public:
    virtual ~UICollectionViewDataSource() = default;
    virtual int numberOfSections(UICollectionView& collectionView) {
        (void)collectionView;
        return 1;
    }
    virtual int collectionViewNumberOfItemsInSection(UICollectionView& collectionView, int section) = 0;
    // The cell for an item, dequeued from the collection view.
    virtual std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAt(UICollectionView& collectionView,
                                                                              const IndexPath& indexPath) = 0;
};

// Told about selection and display. Every requirement is optional.
class UICollectionViewDelegate : public UIScrollViewDelegate {
  public:
    virtual bool collectionViewShouldHighlightItemAt(UICollectionView& collectionView, const IndexPath& indexPath) {
        (void)collectionView;
        (void)indexPath;
        return true;
    }
    virtual bool collectionViewShouldSelectItemAt(UICollectionView& collectionView, const IndexPath& indexPath) {
        (void)collectionView;
        (void)indexPath;
        return true;
    }
    virtual void collectionViewDidSelectItemAt(UICollectionView& collectionView, const IndexPath& indexPath) {
        (void)collectionView;
        (void)indexPath;
    }
    virtual bool collectionViewShouldDeselectItemAt(UICollectionView& collectionView, const IndexPath& indexPath) {
        (void)collectionView;
        (void)indexPath;
        return true;
    }
    virtual void collectionViewDidDeselectItemAt(UICollectionView& collectionView, const IndexPath& indexPath) {
        (void)collectionView;
        (void)indexPath;
    }
    virtual void collectionViewWillDisplay(UICollectionView& collectionView, UICollectionViewCell& cell,
                                           const IndexPath& forItemAt) {
        (void)collectionView;
        (void)cell;
        (void)forItemAt;
    }
    virtual void collectionViewDidEndDisplaying(UICollectionView& collectionView, UICollectionViewCell& cell,
                                                const IndexPath& forItemAt) {
        (void)collectionView;
        (void)cell;
        (void)forItemAt;
    }
};

// The flow layout's questions to the delegate; nothing (the default) means "not answered": the layout's own
// property is used.
class UICollectionViewDelegateFlowLayout : public UICollectionViewDelegate {
  public:
    virtual std::optional<CGSize> collectionViewLayoutSizeForItemAt(UICollectionView& collectionView,
                                                                    UICollectionViewLayout& layout,
                                                                    const IndexPath& indexPath) {
        (void)collectionView;
        (void)layout;
        (void)indexPath;
        return std::nullopt;
    }
    virtual std::optional<UIEdgeInsets> collectionViewLayoutInsetForSectionAt(UICollectionView& collectionView,
                                                                              UICollectionViewLayout& layout,
                                                                              int section) {
        (void)collectionView;
        (void)layout;
        (void)section;
        return std::nullopt;
    }
    virtual std::optional<CGFloat> collectionViewLayoutMinimumLineSpacingForSectionAt(UICollectionView& collectionView,
                                                                                      UICollectionViewLayout& layout,
                                                                                      int section) {
        (void)collectionView;
        (void)layout;
        (void)section;
        return std::nullopt;
    }
    virtual std::optional<CGFloat> collectionViewLayoutMinimumInteritemSpacingForSectionAt(
        UICollectionView& collectionView, UICollectionViewLayout& layout, int section) {
        (void)collectionView;
        (void)layout;
        (void)section;
        return std::nullopt;
    }
};

// A batch update that does not add up, or another refused change of the items. The message says which
// section and which counts.
struct UICollectionViewUpdateError {
    std::string message;
    std::string localizedDescription() const { return message; }
};

// The Rx face of a collection view: an items binding.
class UICollectionViewReactive {
  public:
    explicit UICollectionViewReactive(std::weak_ptr<UICollectionView> base) : base_(std::move(base)) {}

    // RxCocoa's `items(cellIdentifier:cellType:)`: every list from `source` becomes the collection view's
    // items (one section, one cell per element, dequeued with `cellIdentifier` and configured with
    // `configureCell(row, element, cell)`), replacing the previous list with `reloadData()`. While bound,
    // the binding is the data source; disposing the subscription removes it.
    template <class Cell, class T>
    rx::Disposable items(rx::Observable<std::vector<T>> source, const std::string& cellIdentifier,
                         std::function<void(int row, const T& element, Cell& cell)> configureCell) const;

  private:
    std::weak_ptr<UICollectionView> base_;
};

// A scroll view that shows items (cells) placed by a layout, and reuses their cells.
//
// Cells are registered by reuse identifier and dequeued by the data source; the collection view keeps
// cells only for the items in its visible rectangle (its bounds), making them when items come into view and
// putting them aside for reuse when they leave. Layout happens in the layout pass (`layoutIfNeeded()`):
// the layout is prepared when invalidated, the visible cells are placed, and each is asked for its
// `preferredLayoutAttributesFitting`; a layout that wants the preferred size (a self-sizing flow layout) is
// invalidated and the pass repeats until the sizes settle.
//
// Batch updates are checked as on the platform: after the updates, the data source's count of every section
// must equal the count before, plus insertions, minus deletions, plus moves in, minus moves out; the index
// paths must be valid (deleted, moved-from and reloaded items in the counts before, inserted and moved-to
// items in the counts after), and no item may be both deleted and moved, reloaded, or moved twice. A batch
// that fails the check is refused with a `UICollectionViewUpdateError` (and a log line) instead of stopping
// the program: the collection view reloads everything from the data source to stay consistent, and the
// completion gets false. A valid batch animates the items to their new places over 0.3 s; its completion
// (true) runs when that ends.
//
// A tap on a cell selects its item (the delegate may refuse) and tells the delegate; `selectItem` in code
// tells nobody.
class UICollectionView : public UIScrollView {
  public:
    // Where `selectItem` / `scrollToItem` put the item (a bit set with the platform's raw values).
    struct ScrollPosition {
        unsigned rawValue = 0;
        static constexpr ScrollPosition none() { return {0}; }
        static constexpr ScrollPosition top() { return {1u << 0}; }
        static constexpr ScrollPosition centeredVertically() { return {1u << 1}; }
        static constexpr ScrollPosition bottom() { return {1u << 2}; }
        static constexpr ScrollPosition left() { return {1u << 3}; }
        static constexpr ScrollPosition centeredHorizontally() { return {1u << 4}; }
        static constexpr ScrollPosition right() { return {1u << 5}; }
        constexpr bool contains(ScrollPosition other) const { return (rawValue & other.rawValue) == other.rawValue; }
        friend constexpr ScrollPosition operator|(ScrollPosition a, ScrollPosition b) {
            return {a.rawValue | b.rawValue};
        }
        friend constexpr bool operator==(const ScrollPosition&, const ScrollPosition&) = default;
    };

    using CellFactory = std::function<std::shared_ptr<UICollectionViewCell>(const CGRect& frame)>;

    // The platform's `init(frame:collectionViewLayout:)`.
    static std::shared_ptr<UICollectionView> create(const CGRect& frame,
                                                    std::shared_ptr<UICollectionViewLayout> layout);
    ~UICollectionView() override;

    const std::shared_ptr<UICollectionViewLayout>& collectionViewLayout() const { return layout_; }
    void setCollectionViewLayout(std::shared_ptr<UICollectionViewLayout> layout);

    std::weak_ptr<UICollectionViewDataSource> dataSource() const { return dataSource_; }
    void setDataSource(std::weak_ptr<UICollectionViewDataSource> dataSource);
    std::weak_ptr<UICollectionViewDelegate> delegate() const { return delegate_; }
    // Also the scroll view's delegate.
    void setDelegate(std::weak_ptr<UICollectionViewDelegate> delegate);

    // ---- Cells ----------------------------------------------------------------------------------------
    void registerForCellWithReuseIdentifier(CellFactory factory, const std::string& reuseIdentifier);
    // For a cell class with a `create(frame)`.
    template <class Cell>
    void registerForCellWithReuseIdentifier(const std::string& reuseIdentifier) {
        registerForCellWithReuseIdentifier([](const CGRect& frame) { return Cell::create(frame); }, reuseIdentifier);
    }
    // A reused cell (after `prepareForReuse`) or a new one. An identifier that was never registered gives
    // nothing and a log line.
    std::shared_ptr<UICollectionViewCell> dequeueReusableCell(const std::string& withReuseIdentifier,
                                                              const IndexPath& for_);
    template <class Cell>
    std::shared_ptr<Cell> dequeueReusableCell(const std::string& withReuseIdentifier, const IndexPath& for_) {
        return std::dynamic_pointer_cast<Cell>(dequeueReusableCell(withReuseIdentifier, for_));
    }

    std::shared_ptr<UICollectionViewCell> cellForItem(const IndexPath& at) const;
    std::vector<std::shared_ptr<UICollectionViewCell>> visibleCells() const;
    std::vector<IndexPath> indexPathsForVisibleItems() const;
    std::optional<IndexPath> indexPath(const UICollectionViewCell& forCell) const;
    std::optional<IndexPath> indexPathForItem(CGPoint at) const;
    std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForItem(const IndexPath& at);

    // ---- Data ---------------------------------------------------------------------------------------
    // The counts as the collection view knows them (read from the data source when it has none).
    int numberOfSections();
    int numberOfItems(int inSection);
    // Forgets the counts and every cell; everything is asked again at the next layout. Clears the selection.
    void reloadData();
    std::expected<void, foundation::Error> performBatchUpdatesCompletion(std::function<void()> updates,
                                                                         std::function<void(bool finished)> completion);
    // Inside `performBatchUpdatesCompletion`, these are part of its batch; outside, each is a batch of its own.
    void insertItems(const std::vector<IndexPath>& at);
    void deleteItems(const std::vector<IndexPath>& at);
    void moveItem(const IndexPath& at, const IndexPath& to);
    void reloadItems(const std::vector<IndexPath>& at);

    // ---- Selection and scrolling ------------------------------------------------------------------------
    bool allowsSelection() const { return allowsSelection_; }
    void setAllowsSelection(bool flag) { allowsSelection_ = flag; }
    bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
    void setAllowsMultipleSelection(bool flag) { allowsMultipleSelection_ = flag; }
    // Selects the item (deselecting the others unless multiple selection is allowed; nothing deselects
    // everything) and scrolls as asked. The delegate is not told.
    void selectItem(std::optional<IndexPath> at, bool animated, ScrollPosition scrollPosition);
    void deselectItem(const IndexPath& at, bool animated);
    std::vector<IndexPath> indexPathsForSelectedItems() const;
    // Moves the content offset so the item sits where asked (clamped to the scrollable range).
    void scrollToItem(const IndexPath& at, ScrollPosition scrollPosition, bool animated);

    void layoutSubviews() override;
    void touchesBegan(const UITouchSet& touches, const UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent* event) override;

    UICollectionViewReactive rx() {
        return UICollectionViewReactive(std::static_pointer_cast<UICollectionView>(sharedView()));
    }

  protected:
    UICollectionView(const CGRect& frame, std::shared_ptr<UICollectionViewLayout> layout);

  private:
    struct Operation {
        enum class Kind { insert, delete_, move, reload } kind;
        IndexPath at;
        IndexPath to;
    };

    void ensureCounts();
    std::vector<int> readCounts();
    void layoutItems();
    void recycle(const IndexPath& indexPath, const std::shared_ptr<UICollectionViewCell>& cell);
    void dropAllCells();
    void record(Operation operation);
    std::optional<std::string> validate(const std::vector<int>& before, const std::vector<int>& after,
                                        const std::vector<Operation>& operations) const;
    std::map<IndexPath, IndexPath> survivorMap(const std::vector<int>& before, const std::vector<int>& after,
                                               const std::vector<Operation>& operations) const;
    void setCellSelected(const IndexPath& indexPath, bool selected);
    std::optional<CGPoint> offsetFor(const IndexPath& at, ScrollPosition position);

    std::shared_ptr<UICollectionViewLayout> layout_;
    std::weak_ptr<UICollectionViewDataSource> dataSource_;
    std::weak_ptr<UICollectionViewDelegate> delegate_;
    std::map<std::string, CellFactory> factories_;
    std::map<std::string, std::vector<std::shared_ptr<UICollectionViewCell>>> reusePool_;
    std::map<IndexPath, std::shared_ptr<UICollectionViewCell>> visible_;
    std::optional<std::vector<int>> counts_;
    std::set<IndexPath> selected_;
    bool allowsSelection_ = true;
    bool allowsMultipleSelection_ = false;
    bool inLayout_ = false;
    int batchDepth_ = 0;
    std::vector<Operation> pending_;
    std::weak_ptr<UITouch> trackedTouch_;
    std::optional<IndexPath> trackedItem_;
    CGPoint trackedStart_;
};

namespace detail {

template <class Cell, class T>
class RxItemsDataSource final : public UICollectionViewDataSource {
  public:
    RxItemsDataSource(std::string identifier, std::function<void(int, const T&, Cell&)> configure)
        : identifier_(std::move(identifier)), configure_(std::move(configure)) {}

    int collectionViewNumberOfItemsInSection(UICollectionView&, int section) override {
        return section == 0 ? static_cast<int>(items.size()) : 0;
    }
    std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAt(UICollectionView& collectionView,
                                                                      const IndexPath& indexPath) override {
        auto cell = collectionView.dequeueReusableCell(identifier_, indexPath);
        auto typed = std::dynamic_pointer_cast<Cell>(cell);
        if (typed && indexPath.item >= 0 && static_cast<std::size_t>(indexPath.item) < items.size() && configure_) {
            configure_(indexPath.item, items[static_cast<std::size_t>(indexPath.item)], *typed);
        }
        return cell;
    }

    std::vector<T> items;

  private:
    std::string identifier_;
    std::function<void(int, const T&, Cell&)> configure_;
};

}  // namespace detail

template <class Cell, class T>
rx::Disposable UICollectionViewReactive::items(
    rx::Observable<std::vector<T>> source, const std::string& cellIdentifier,
    std::function<void(int row, const T& element, Cell& cell)> configureCell) const {
    auto collectionView = base_.lock();
    if (!collectionView) return rx::Disposable();
    auto dataSource = std::make_shared<detail::RxItemsDataSource<Cell, T>>(cellIdentifier, std::move(configureCell));
    collectionView->setDataSource(dataSource);
    std::weak_ptr<UICollectionView> weak = collectionView;
    auto subscription = source.subscribe(
        [weak, dataSource](const std::vector<T>& items) {
            dataSource->items = items;
            if (auto cv = weak.lock()) cv->reloadData();
        },
        rx::detail::reportBindingError);
    return rx::Disposables::create(subscription, rx::Disposables::create([weak, dataSource] {
                                       auto cv = weak.lock();
                                       if (cv && cv->dataSource().lock() == dataSource) {
                                           cv->setDataSource({});
                                           cv->reloadData();
                                       }
                                   }));
}

}  // namespace uikit
