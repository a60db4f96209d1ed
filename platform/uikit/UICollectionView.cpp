#include "uikit/UICollectionView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dispatch/RunLoop.h"
#include "uikit/UIEvent.h"

namespace uikit {

namespace {

void logLine(const std::string& text) {
    std::fprintf(stderr, "[uikit] %s\n", text.c_str());
}

std::string describe(const IndexPath& ip) {
    return "item " + std::to_string(ip.item) + " of section " + std::to_string(ip.section);
}

constexpr CGFloat tapSlop = 10;

}  // namespace

UICollectionView::UICollectionView(const CGRect& frame, std::shared_ptr<UICollectionViewLayout> layout)
    : UIScrollView(frame), layout_(layout ? std::move(layout) : UICollectionViewFlowLayout::create()) {}

std::shared_ptr<UICollectionView> UICollectionView::create(const CGRect& frame,
                                                           std::shared_ptr<UICollectionViewLayout> layout) {
    auto cv = std::shared_ptr<UICollectionView>(new UICollectionView(frame, std::move(layout)));
    cv->layout_->collectionView_ = cv;
    cv->layout_->invalidateLayout();
    return cv;
}

UICollectionView::~UICollectionView() = default;

void UICollectionView::setCollectionViewLayout(std::shared_ptr<UICollectionViewLayout> layout) {
    if (!layout || layout == layout_) return;
    layout_->collectionView_.reset();
    layout_ = std::move(layout);
    layout_->collectionView_ = std::static_pointer_cast<UICollectionView>(sharedView());
    layout_->invalidateLayout();
}

void UICollectionView::setDataSource(std::weak_ptr<UICollectionViewDataSource> dataSource) {
    dataSource_ = std::move(dataSource);
    reloadData();
}

void UICollectionView::setDelegate(std::weak_ptr<UICollectionViewDelegate> delegate) {
    delegate_ = delegate;
    UIScrollView::setDelegate(std::weak_ptr<UIScrollViewDelegate>(delegate.lock()));
    layout_->invalidateLayout();
}

// ---- Cells ------------------------------------------------------------------------------------------------

void UICollectionView::registerForCellWithReuseIdentifier(CellFactory factory, const std::string& reuseIdentifier) {
    if (!factory) {
        factories_.erase(reuseIdentifier);
        return;
    }
    factories_[reuseIdentifier] = std::move(factory);
    reusePool_.erase(reuseIdentifier);
}

std::shared_ptr<UICollectionViewCell> UICollectionView::dequeueReusableCell(const std::string& withReuseIdentifier,
                                                                            const IndexPath& for_) {
    (void)for_;
    auto& pool = reusePool_[withReuseIdentifier];
    if (!pool.empty()) {
        auto cell = pool.back();
        pool.pop_back();
        cell->prepareForReuse();
        return cell;
    }
    auto factory = factories_.find(withReuseIdentifier);
    if (factory == factories_.end()) {
        logLine("Could not dequeue a cell with identifier \"" + withReuseIdentifier +
                "\": no class or factory is registered for it");
        return nullptr;
    }
    auto cell = factory->second(CGRect());
    if (!cell) return nullptr;
    cell->reuseIdentifier_ = withReuseIdentifier;
    return cell;
}

std::shared_ptr<UICollectionViewCell> UICollectionView::cellForItem(const IndexPath& at) const {
    auto it = visible_.find(at);
    return it == visible_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<UICollectionViewCell>> UICollectionView::visibleCells() const {
    std::vector<std::shared_ptr<UICollectionViewCell>> cells;
    for (const auto& [ip, cell] : visible_) cells.push_back(cell);
    return cells;
}

std::vector<IndexPath> UICollectionView::indexPathsForVisibleItems() const {
    std::vector<IndexPath> paths;
    for (const auto& [ip, cell] : visible_) paths.push_back(ip);
    return paths;
}

std::optional<IndexPath> UICollectionView::indexPath(const UICollectionViewCell& forCell) const {
    for (const auto& [ip, cell] : visible_) {
        if (cell.get() == &forCell) return ip;
    }
    return std::nullopt;
}

std::optional<IndexPath> UICollectionView::indexPathForItem(CGPoint at) const {
    for (const auto& attributes : layout_->layoutAttributesForElements(CGRect(at.x - 0.5, at.y - 0.5, 1, 1))) {
        if (attributes->frame().contains(at)) return attributes->indexPath();
    }
    return std::nullopt;
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionView::layoutAttributesForItem(const IndexPath& at) {
    ensureCounts();
    if (layout_->invalid_) {
        layout_->invalid_ = false;
        layout_->prepare();
    }
    return layout_->layoutAttributesForItem(at);
}

// ---- Counts -----------------------------------------------------------------------------------------------

std::vector<int> UICollectionView::readCounts() {
    std::vector<int> counts;
    auto dataSource = dataSource_.lock();
    if (!dataSource) return counts;
    int sections = dataSource->numberOfSections(*this);
    if (sections < 0) {
        logLine("The data source reported " + std::to_string(sections) + " sections; using none");
        sections = 0;
    }
    for (int s = 0; s < sections; ++s) {
        int items = dataSource->collectionViewNumberOfItemsInSection(*this, s);
        if (items < 0) {
            logLine("The data source reported " + std::to_string(items) + " items in section " + std::to_string(s) +
                    "; using none");
            items = 0;
        }
        counts.push_back(items);
    }
    return counts;
}

void UICollectionView::ensureCounts() {
    if (!counts_) counts_ = readCounts();
}

int UICollectionView::numberOfSections() {
    ensureCounts();
    return static_cast<int>(counts_->size());
}

int UICollectionView::numberOfItems(int inSection) {
    ensureCounts();
    if (inSection < 0 || static_cast<std::size_t>(inSection) >= counts_->size()) return 0;
    return (*counts_)[static_cast<std::size_t>(inSection)];
}

void UICollectionView::recycle(const IndexPath& indexPath, const std::shared_ptr<UICollectionViewCell>& cell) {
    if (!cell) return;
    if (auto d = delegate_.lock()) d->collectionViewDidEndDisplaying(*this, *cell, indexPath);
    cell->removeFromSuperview();
    cell->setIsSelected(false);
    cell->setIsHighlighted(false);
    if (cell->reuseIdentifier()) reusePool_[*cell->reuseIdentifier()].push_back(cell);
}

void UICollectionView::dropAllCells() {
    auto cells = std::move(visible_);
    visible_.clear();
    for (const auto& [ip, cell] : cells) recycle(ip, cell);
}

void UICollectionView::reloadData() {
    counts_.reset();
    selected_.clear();
    trackedItem_.reset();
    dropAllCells();
    layout_->dataDidReload();
    layout_->invalidateLayout();
    setNeedsLayout();
}

// ---- Layout -----------------------------------------------------------------------------------------------

void UICollectionView::layoutSubviews() {
    UIScrollView::layoutSubviews();
    layoutItems();
}

void UICollectionView::layoutItems() {
    if (inLayout_) return;
    inLayout_ = true;
    auto keepAlive = sharedView();
    ensureCounts();
    if (layout_->shouldInvalidateLayout(bounds())) layout_->invalid_ = true;
    for (int round = 0; round < 8; ++round) {
        if (layout_->invalid_) {
            layout_->invalid_ = false;
            layout_->prepare();
        }
        setContentSize(layout_->collectionViewContentSize());
        auto attributes = layout_->layoutAttributesForElements(bounds());
        std::erase_if(attributes, [this](const auto& a) {
            const IndexPath ip = a->indexPath();
            return ip.section < 0 || ip.item < 0 || ip.item >= numberOfItems(ip.section);
        });
        // Cells that left the visible rectangle go back to their pools.
        std::vector<IndexPath> gone;
        for (const auto& [ip, cell] : visible_) {
            bool stays =
                std::any_of(attributes.begin(), attributes.end(), [&](const auto& a) { return a->indexPath() == ip; });
            if (!stays) gone.push_back(ip);
        }
        for (const auto& ip : gone) {
            auto cell = visible_[ip];
            visible_.erase(ip);
            recycle(ip, cell);
        }
        bool invalidated = false;
        for (const auto& a : attributes) {
            const IndexPath ip = a->indexPath();
            auto cell = cellForItem(ip);
            bool fresh = false;
            if (!cell) {
                auto dataSource = dataSource_.lock();
                if (!dataSource) break;
                cell = dataSource->collectionViewCellForItemAt(*this, ip);
                if (!cell) {
                    logLine("The data source gave no cell for " + describe(ip));
                    continue;
                }
                visible_[ip] = cell;
                fresh = true;
            }
            UIView::performWithoutAnimation([&] {
                if (fresh) cell->setFrame(a->frame());
            });
            cell->setFrame(a->frame());
            cell->setAlpha(a->alpha());
            cell->setIsHidden(a->isHidden());
            cell->setTransform(a->transform());
            cell->contentView()->setFrame(cell->bounds());
            cell->setIsSelected(selected_.count(ip) > 0);
            cell->apply(*a);
            if (fresh) {
                if (auto d = delegate_.lock()) d->collectionViewWillDisplay(*this, *cell, ip);
                if (cell->superview().get() != this) insertSubviewAt(cell, 0);
            }
            auto preferred = cell->preferredLayoutAttributesFitting(a->copy());
            if (preferred && layout_->shouldInvalidateLayout(*preferred, *a)) {
                preferred->setIndexPath(ip);
                layout_->invalidateLayoutWithPreferred(*preferred);
                invalidated = true;
            }
        }
        if (!invalidated) break;
    }
    inLayout_ = false;
}

// ---- Batch updates ----------------------------------------------------------------------------------------

void UICollectionView::record(Operation operation) {
    if (batchDepth_ > 0) {
        pending_.push_back(operation);
        return;
    }
    auto result = performBatchUpdatesCompletion([this, operation] { pending_.push_back(operation); }, nullptr);
    (void)result;  // refused batches are logged
}

void UICollectionView::insertItems(const std::vector<IndexPath>& at) {
    if (batchDepth_ == 0) {
        auto result = performBatchUpdatesCompletion([this, at] { insertItems(at); }, nullptr);
        (void)result;
        return;
    }
    for (const auto& ip : at) pending_.push_back({Operation::Kind::insert, ip, ip});
}

void UICollectionView::deleteItems(const std::vector<IndexPath>& at) {
    if (batchDepth_ == 0) {
        auto result = performBatchUpdatesCompletion([this, at] { deleteItems(at); }, nullptr);
        (void)result;
        return;
    }
    for (const auto& ip : at) pending_.push_back({Operation::Kind::delete_, ip, ip});
}

void UICollectionView::moveItem(const IndexPath& at, const IndexPath& to) {
    record({Operation::Kind::move, at, to});
}

void UICollectionView::reloadItems(const std::vector<IndexPath>& at) {
    if (batchDepth_ == 0) {
        auto result = performBatchUpdatesCompletion([this, at] { reloadItems(at); }, nullptr);
        (void)result;
        return;
    }
    for (const auto& ip : at) pending_.push_back({Operation::Kind::reload, ip, ip});
}

std::optional<std::string> UICollectionView::validate(const std::vector<int>& before, const std::vector<int>& after,
                                                      const std::vector<Operation>& operations) const {
    auto countIn = [](const std::vector<int>& counts, int section) {
        return section >= 0 && static_cast<std::size_t>(section) < counts.size()
                   ? counts[static_cast<std::size_t>(section)]
                   : -1;
    };
    auto validIn = [&](const std::vector<int>& counts, const IndexPath& ip) {
        return ip.item >= 0 && ip.item < countIn(counts, ip.section);
    };
    if (after.size() != before.size()) {
        return "Invalid update: invalid number of sections. The number of sections after the update (" +
               std::to_string(after.size()) + ") must be equal to the number of sections before the update (" +
               std::to_string(before.size()) + ")";
    }
    std::set<IndexPath> deleted, movedFrom, reloaded, inserted, movedTo;
    for (const auto& op : operations) {
        switch (op.kind) {
            case Operation::Kind::delete_:
                if (!validIn(before, op.at)) {
                    return "Invalid update: attempt to delete " + describe(op.at) + ", which only contains " +
                           std::to_string(std::max(0, countIn(before, op.at.section))) + " items before the update";
                }
                if (!deleted.insert(op.at).second)
                    return "Invalid update: attempt to delete " + describe(op.at) + " twice";
                break;
            case Operation::Kind::insert:
                if (!validIn(after, op.at)) {
                    return "Invalid update: attempt to insert " + describe(op.at) + ", but there are only " +
                           std::to_string(std::max(0, countIn(after, op.at.section))) +
                           " items in that section after the update";
                }
                if (!inserted.insert(op.at).second)
                    return "Invalid update: attempt to insert " + describe(op.at) + " twice";
                break;
            case Operation::Kind::move:
                if (!validIn(before, op.at)) {
                    return "Invalid update: attempt to move " + describe(op.at) +
                           ", which does not exist before the update";
                }
                if (!validIn(after, op.to)) {
                    return "Invalid update: attempt to move an item to " + describe(op.to) +
                           ", which does not exist after the update";
                }
                if (!movedFrom.insert(op.at).second)
                    return "Invalid update: attempt to move " + describe(op.at) + " twice";
                if (!movedTo.insert(op.to).second) {
                    return "Invalid update: attempt to move two items to " + describe(op.to);
                }
                break;
            case Operation::Kind::reload:
                if (!validIn(before, op.at)) {
                    return "Invalid update: attempt to reload " + describe(op.at) +
                           ", which does not exist before the update";
                }
                reloaded.insert(op.at);
                break;
        }
    }
    for (const auto& ip : deleted) {
        if (movedFrom.count(ip)) return "Invalid update: attempt to delete and move " + describe(ip);
        if (reloaded.count(ip)) return "Invalid update: attempt to delete and reload " + describe(ip);
    }
    for (const auto& ip : movedFrom) {
        if (reloaded.count(ip)) return "Invalid update: attempt to move and reload " + describe(ip);
    }
    for (const auto& ip : inserted) {
        if (movedTo.count(ip)) return "Invalid update: attempt to insert and move an item to " + describe(ip);
    }
    for (std::size_t s = 0; s < before.size(); ++s) {
        int section = static_cast<int>(s);
        auto inSection = [section](const std::set<IndexPath>& set) {
            return static_cast<int>(std::count_if(set.begin(), set.end(),
                                                  [section](const IndexPath& ip) { return ip.section == section; }));
        };
        int ins = inSection(inserted), del = inSection(deleted);
        int movedIn = 0, movedOut = 0;
        for (const auto& op : operations) {
            if (op.kind != Operation::Kind::move || op.at.section == op.to.section) continue;
            if (op.to.section == section) ++movedIn;
            if (op.at.section == section) ++movedOut;
        }
        int expected = before[s] + ins - del + movedIn - movedOut;
        if (after[s] != expected) {
            return "Invalid update: invalid number of items in section " + std::to_string(section) +
                   ". The number of items after the update (" + std::to_string(after[s]) +
                   ") must be equal to the number of items before the update (" + std::to_string(before[s]) +
                   "), plus or minus the number of items inserted or deleted (" + std::to_string(ins) + " inserted, " +
                   std::to_string(del) +
                   " deleted) and plus or minus the number of items moved into or out of the section (" +
                   std::to_string(movedIn) + " moved in, " + std::to_string(movedOut) + " moved out)";
        }
    }
    return std::nullopt;
}

std::map<IndexPath, IndexPath> UICollectionView::survivorMap(const std::vector<int>& before,
                                                             const std::vector<int>& after,
                                                             const std::vector<Operation>& operations) const {
    std::map<IndexPath, IndexPath> result;
    std::set<IndexPath> gone, taken;
    std::map<IndexPath, IndexPath> moves;  // to → from
    for (const auto& op : operations) {
        if (op.kind == Operation::Kind::delete_) gone.insert(op.at);
        if (op.kind == Operation::Kind::insert) taken.insert(op.at);
        if (op.kind == Operation::Kind::move) {
            gone.insert(op.at);
            taken.insert(op.to);
            moves[op.to] = op.at;
        }
    }
    for (const auto& [to, from] : moves) result[from] = to;
    for (std::size_t s = 0; s < before.size() && s < after.size(); ++s) {
        int section = static_cast<int>(s);
        std::vector<IndexPath> remaining;
        for (int i = 0; i < before[s]; ++i) {
            IndexPath ip(i, section);
            if (!gone.count(ip)) remaining.push_back(ip);
        }
        std::size_t next = 0;
        for (int j = 0; j < after[s] && next < remaining.size(); ++j) {
            IndexPath slot(j, section);
            if (taken.count(slot)) continue;
            result[remaining[next++]] = slot;
        }
    }
    return result;
}

std::expected<void, foundation::Error> UICollectionView::performBatchUpdatesCompletion(
    std::function<void()> updates, std::function<void(bool finished)> completion) {
    if (batchDepth_ > 0) {
        // Part of the batch being built.
        if (updates) updates();
        if (completion) dispatch::RunLoop::main().post([completion] { completion(true); });
        return {};
    }
    auto keepAlive = sharedView();
    ensureCounts();
    std::vector<int> before = *counts_;
    pending_.clear();
    ++batchDepth_;
    if (updates) updates();
    --batchDepth_;
    auto operations = std::move(pending_);
    pending_.clear();
    std::vector<int> after = readCounts();

    if (auto problem = validate(before, after, operations)) {
        logLine(*problem + ". The update was not applied; the collection view reloaded its data instead");
        reloadData();
        counts_ = after;
        if (completion) dispatch::RunLoop::main().post([completion] { completion(false); });
        return std::unexpected(foundation::Error(UICollectionViewUpdateError{*problem}));
    }

    auto survivors = survivorMap(before, after, operations);
    std::set<IndexPath> reloaded;
    std::vector<UICollectionViewUpdateItem> items;
    for (const auto& op : operations) {
        switch (op.kind) {
            case Operation::Kind::insert:
                items.push_back({std::nullopt, op.at, UICollectionViewUpdateItem::Action::insert});
                break;
            case Operation::Kind::delete_:
                items.push_back({op.at, std::nullopt, UICollectionViewUpdateItem::Action::delete_});
                break;
            case Operation::Kind::move:
                items.push_back({op.at, op.to, UICollectionViewUpdateItem::Action::move});
                break;
            case Operation::Kind::reload:
                reloaded.insert(op.at);
                items.push_back({op.at, op.at, UICollectionViewUpdateItem::Action::reload});
                break;
        }
    }
    // Cells and selection follow their items.
    auto cells = std::move(visible_);
    visible_.clear();
    for (const auto& [ip, cell] : cells) {
        auto it = survivors.find(ip);
        if (it == survivors.end() || reloaded.count(ip)) {
            recycle(ip, cell);
        } else {
            visible_[it->second] = cell;
        }
    }
    std::set<IndexPath> selection;
    for (const auto& ip : selected_) {
        if (auto it = survivors.find(ip); it != survivors.end()) selection.insert(it->second);
    }
    selected_ = std::move(selection);
    counts_ = after;
    layout_->prepareForCollectionViewUpdates(items);
    layout_->invalidateLayout();
    std::weak_ptr<UICollectionView> weak = std::static_pointer_cast<UICollectionView>(sharedView());
    UIView::animate(
        0.3,
        [weak] {
            if (auto cv = weak.lock()) cv->layoutItems();
        },
        [completion](bool finished) {
            if (completion) completion(finished);
        });
    return {};
}

// ---- Selection and scrolling ------------------------------------------------------------------------------

void UICollectionView::setCellSelected(const IndexPath& indexPath, bool selected) {
    if (auto cell = cellForItem(indexPath)) cell->setIsSelected(selected);
}

void UICollectionView::selectItem(std::optional<IndexPath> at, bool animated, ScrollPosition scrollPosition) {
    if (!at) {
        auto previous = selected_;
        selected_.clear();
        for (const auto& ip : previous) setCellSelected(ip, false);
        return;
    }
    if (at->item < 0 || at->item >= numberOfItems(at->section)) return;
    if (!allowsMultipleSelection_) {
        auto previous = selected_;
        for (const auto& ip : previous) {
            if (ip == *at) continue;
            selected_.erase(ip);
            setCellSelected(ip, false);
        }
    }
    selected_.insert(*at);
    setCellSelected(*at, true);
    if (scrollPosition != ScrollPosition::none()) scrollToItem(*at, scrollPosition, animated);
}

void UICollectionView::deselectItem(const IndexPath& at, bool animated) {
    (void)animated;
    selected_.erase(at);
    setCellSelected(at, false);
}

std::vector<IndexPath> UICollectionView::indexPathsForSelectedItems() const {
    return std::vector<IndexPath>(selected_.begin(), selected_.end());
}

std::optional<CGPoint> UICollectionView::offsetFor(const IndexPath& at, ScrollPosition position) {
    auto attributes = layoutAttributesForItem(at);
    if (!attributes) return std::nullopt;
    CGRect frame = attributes->frame();
    CGRect b = bounds();
    UIEdgeInsets inset = adjustedContentInset();
    CGPoint offset = contentOffset();
    if (position.contains(ScrollPosition::left())) offset.x = frame.minX() - inset.left;
    if (position.contains(ScrollPosition::centeredHorizontally())) offset.x = frame.midX() - b.width() / 2;
    if (position.contains(ScrollPosition::right())) offset.x = frame.maxX() - b.width() + inset.right;
    if (position.contains(ScrollPosition::top())) offset.y = frame.minY() - inset.top;
    if (position.contains(ScrollPosition::centeredVertically())) offset.y = frame.midY() - b.height() / 2;
    if (position.contains(ScrollPosition::bottom())) offset.y = frame.maxY() - b.height() + inset.bottom;
    CGSize content = contentSize();
    CGFloat maxX = std::max(-inset.left, content.width + inset.right - b.width());
    CGFloat maxY = std::max(-inset.top, content.height + inset.bottom - b.height());
    offset.x = std::clamp(offset.x, -inset.left, maxX);
    offset.y = std::clamp(offset.y, -inset.top, maxY);
    return offset;
}

void UICollectionView::scrollToItem(const IndexPath& at, ScrollPosition scrollPosition, bool animated) {
    if (auto offset = offsetFor(at, scrollPosition)) setContentOffsetAnimated(*offset, animated);
}

// ---- Touches ----------------------------------------------------------------------------------------------

void UICollectionView::touchesBegan(const UITouchSet& touches, const UIEvent* event) {
    (void)event;
    if (touches.empty() || !trackedTouch_.expired() || !allowsSelection_) return;
    auto touch = touches.front();
    CGPoint p = touch->location(sharedView());
    auto ip = indexPathForItem(p);
    if (!ip) return;
    trackedTouch_ = touch;
    trackedItem_ = ip;
    trackedStart_ = p;
    auto d = delegate_.lock();
    if (!d || d->collectionViewShouldHighlightItemAt(*this, *ip)) {
        if (auto cell = cellForItem(*ip)) cell->setIsHighlighted(true);
    }
}

void UICollectionView::touchesMoved(const UITouchSet& touches, const UIEvent* event) {
    (void)event;
    auto touch = trackedTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end() || !trackedItem_) return;
    CGPoint p = touch->location(sharedView());
    if (std::hypot(p.x - trackedStart_.x, p.y - trackedStart_.y) > tapSlop) {
        if (auto cell = cellForItem(*trackedItem_)) cell->setIsHighlighted(false);
        trackedItem_.reset();
    }
}

void UICollectionView::touchesEnded(const UITouchSet& touches, const UIEvent* event) {
    (void)event;
    auto touch = trackedTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    auto keepAlive = sharedView();
    trackedTouch_.reset();
    auto ip = trackedItem_;
    trackedItem_.reset();
    if (!ip) return;
    if (auto cell = cellForItem(*ip)) cell->setIsHighlighted(false);
    auto under = indexPathForItem(touch->location(sharedView()));
    if (!under || *under != *ip || !allowsSelection_) return;
    auto d = delegate_.lock();
    if (allowsMultipleSelection_ && selected_.count(*ip)) {
        if (d && !d->collectionViewShouldDeselectItemAt(*this, *ip)) return;
        deselectItem(*ip, true);
        if (d) d->collectionViewDidDeselectItemAt(*this, *ip);
        return;
    }
    if (d && !d->collectionViewShouldSelectItemAt(*this, *ip)) return;
    if (!allowsMultipleSelection_) {
        auto previous = selected_;
        for (const auto& other : previous) {
            if (other == *ip) continue;
            deselectItem(other, true);
            if (d) d->collectionViewDidDeselectItemAt(*this, other);
        }
    }
    selected_.insert(*ip);
    setCellSelected(*ip, true);
    if (d) d->collectionViewDidSelectItemAt(*this, *ip);
}

void UICollectionView::touchesCancelled(const UITouchSet& touches, const UIEvent* event) {
    (void)event;
    auto touch = trackedTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    trackedTouch_.reset();
    if (trackedItem_) {
        if (auto cell = cellForItem(*trackedItem_)) cell->setIsHighlighted(false);
    }
    trackedItem_.reset();
}

}  // namespace uikit
