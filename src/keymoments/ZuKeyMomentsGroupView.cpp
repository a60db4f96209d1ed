#include "keymoments/ZuKeyMomentsGroupView.h"

#include <algorithm>

#include "dispatch/DispatchQueue.h"
#include "keymoments/ZuKeyMomentsCollectionViewCell.h"
#include "keymoments/detail/CenterAlignedCollectionViewFlowLayout.h"
#include "kitfoundation/PHDiff.h"
#include "ui/Reusable.h"

namespace lumora {

ZuKeyMomentsGroupView::ZuKeyMomentsGroupView(const uikit::CGRect& frame) : uikit::UIView(frame) {}

std::shared_ptr<ZuKeyMomentsGroupView> ZuKeyMomentsGroupView::create(const uikit::CGRect& frame) {
    auto view = std::shared_ptr<ZuKeyMomentsGroupView>(new ZuKeyMomentsGroupView(frame));
    auto layout = detail::CenterAlignedCollectionViewFlowLayout::create();
    layout->setScrollDirection(uikit::UICollectionViewFlowLayout::ScrollDirection::horizontal);
    layout->setMinimumLineSpacing(0);
    layout->setEstimatedItemSize(uikit::CGSize{20, 26});
    auto collectionView = uikit::UICollectionView::create(uikit::CGRect(), layout);
    collectionView->setShowsHorizontalScrollIndicator(false);
    collectionView->setBackgroundColor(uikit::UIColor::clear());
    register_<ZuKeyMomentsCollectionViewCell>(*collectionView);
    view->collectionView_ = collectionView;

    view->setBackgroundColor(uikit::UIColor::clear());
    view->addSubview(collectionView);
    collectionView->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
    collectionView->setDataSource(std::static_pointer_cast<uikit::UICollectionViewDataSource>(view));
    collectionView->setDelegate(std::static_pointer_cast<uikit::UICollectionViewDelegate>(view));
    return view;
}

void ZuKeyMomentsGroupView::reload() {
    loadedCount_.reset();
    collectionView_->reloadData();
}

void ZuKeyMomentsGroupView::update(const std::vector<ZuKeyMomentEvent>& events,
                                   const std::optional<ZuKeyMomentEvent>& selectedEvent) {
    const auto steps = PHDiff::steps(keyMomentEvents_, events);
    const bool consistent = loadedCount_ && *loadedCount_ == keyMomentEvents_.size();
    keyMomentEvents_ = events;
    if (steps.empty()) {
        select(selectedEvent);
        return;
    }

    std::weak_ptr<ZuKeyMomentsGroupView> weak = sharedAs<ZuKeyMomentsGroupView>();
    auto selectLater = [weak, selectedEvent] {
        dispatch::DispatchQueue::main().async([weak, selectedEvent] {
            if (auto view = weak.lock()) view->select(selectedEvent);
        });
    };
    if (!consistent) {
        reload();
        selectLater();
        return;
    }
    auto result = collectionView_->performBatchUpdatesCompletion(
        [&] {
            for (const auto& step : steps) {
                switch (step.kind()) {
                    case DiffStep<ZuKeyMomentEvent>::Kind::insert:
                        collectionView_->insertItems({uikit::IndexPath(static_cast<int>(step.index()), 0)});
                        break;
                    case DiffStep<ZuKeyMomentEvent>::Kind::delete_:
                        collectionView_->deleteItems({uikit::IndexPath(static_cast<int>(step.index()), 0)});
                        break;
                    case DiffStep<ZuKeyMomentEvent>::Kind::move:
                        collectionView_->deleteItems({uikit::IndexPath(static_cast<int>(step.fromIndex()), 0)});
                        collectionView_->insertItems({uikit::IndexPath(static_cast<int>(step.toIndex()), 0)});
                        break;
                    case DiffStep<ZuKeyMomentEvent>::Kind::update:
                        break;  // equal events are the same event: the diff never updates one
                }
            }
        },
        [selectLater](bool) { selectLater(); });
    (void)result;  // a refused batch reloads by itself and still completes
}

void ZuKeyMomentsGroupView::select(const std::optional<ZuKeyMomentEvent>& event) {
    if (!event || keyMomentEvents_.empty()) return;
    const auto found = std::find(keyMomentEvents_.begin(), keyMomentEvents_.end(), *event);
    if (found == keyMomentEvents_.end()) return;
    const int row = static_cast<int>(found - keyMomentEvents_.begin());
    if (row >= collectionView_->numberOfItems(0)) return;
    const uikit::IndexPath indexPath(row, 0);
    auto attributes = collectionView_->layoutAttributesForItem(indexPath);
    const uikit::CGRect frame = attributes ? attributes->frame() : uikit::CGRect();
    const uikit::CGFloat width = collectionView_->bounds().width();
    collectionView_->setContentOffsetAnimated(
        uikit::CGPoint{frame.minX() - (width - frame.width()) * 0.5, collectionView_->contentOffset().y}, true);
    collectionView_->selectItem(indexPath, false, uikit::UICollectionView::ScrollPosition::none());
    selectedKeyMomentEvent_ = *event;
}

int ZuKeyMomentsGroupView::collectionViewNumberOfItemsInSection(uikit::UICollectionView& collectionView, int section) {
    (void)collectionView;
    if (section != 0) return 0;
    loadedCount_ = keyMomentEvents_.size();
    return static_cast<int>(keyMomentEvents_.size());
}

std::shared_ptr<uikit::UICollectionViewCell> ZuKeyMomentsGroupView::collectionViewCellForItemAt(
    uikit::UICollectionView& collectionView, const uikit::IndexPath& indexPath) {
    // The cell class is registered when the row is made: a failed dequeue (logged by the collection view)
    // leaves the item without a cell rather than stopping the program.
    auto cell = dequeueReusableCell<ZuKeyMomentsCollectionViewCell>(collectionView, indexPath);
    if (!cell) return nullptr;
    if (indexPath.item >= 0 && static_cast<std::size_t>(indexPath.item) < keyMomentEvents_.size()) {
        (*cell)->configure(keyMomentEvents_[static_cast<std::size_t>(indexPath.item)]);
    }
    return *cell;
}

void ZuKeyMomentsGroupView::collectionViewDidSelectItemAt(uikit::UICollectionView& collectionView,
                                                          const uikit::IndexPath& indexPath) {
    (void)collectionView;
    auto delegate = delegate_.lock();
    if (!delegate || indexPath.item < 0 || static_cast<std::size_t>(indexPath.item) >= keyMomentEvents_.size()) {
        return;
    }
    const ZuKeyMomentEvent event = keyMomentEvents_[static_cast<std::size_t>(indexPath.item)];
    delegate->keyMomentsGroupViewDidSelect(*this, event);
}

}  // namespace lumora
