#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "keymoments/ZuKeyMomentEvent.h"
#include "uikit/UICollectionView.h"

namespace lumora {

class ZuKeyMomentsGroupView;

// Told when the viewer taps an event of the group row (the key-moments strip, which then selects its marker).
class ZuKeyMomentsGroupViewDelegate {
  public:
    virtual ~ZuKeyMomentsGroupViewDelegate() = default;
    virtual void keyMomentsGroupViewDidSelect(ZuKeyMomentsGroupView& groupView, const ZuKeyMomentEvent& event) = 0;
};

// The row of the events of one group of key moments, along the top of the key-moments strip: one text cell
// per event, scrolling horizontally, the selected event's cell centred and brighter, thin lines between
// cells. Main thread only.
class ZuKeyMomentsGroupView : public uikit::UIView,
                              public uikit::UICollectionViewDataSource,
                              public uikit::UICollectionViewDelegateFlowLayout {
  public:
    static std::shared_ptr<ZuKeyMomentsGroupView> create(const uikit::CGRect& frame = uikit::CGRect());

    std::shared_ptr<ZuKeyMomentsGroupViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuKeyMomentsGroupViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // The events shown, one cell each, in this order.
    const std::vector<ZuKeyMomentEvent>& keyMomentEvents() const { return keyMomentEvents_; }
    // The event last selected by `select`.
    const std::optional<ZuKeyMomentEvent>& selectedKeyMomentEvent() const { return selectedKeyMomentEvent_; }
    const std::shared_ptr<uikit::UICollectionView>& collectionView() const { return collectionView_; }

    // Shows `events` and then selects `selectedEvent`. The change of list is animated as the inserts and
    // deletes of the array diff (a move as a delete and an insert) in one batch update, and the selection
    // follows on a later turn of the main queue once the batch has ended. An unchanged list selects at once.
    // A row that has not loaded its cells yet, or shows another number of cells than the old list has,
    // reloads instead of animating (a batch that does not add up would be refused).
    void update(const std::vector<ZuKeyMomentEvent>& events, const std::optional<ZuKeyMomentEvent>& selectedEvent);
    // Scrolls the event's cell (the first equal one) to the middle of the row and selects it. Nothing for no
    // event, an event not in the list, or one the row has no cell for.
    void select(const std::optional<ZuKeyMomentEvent>& event);

    // UICollectionViewDataSource
    int collectionViewNumberOfItemsInSection(uikit::UICollectionView& collectionView, int section) override;
    std::shared_ptr<uikit::UICollectionViewCell> collectionViewCellForItemAt(
        uikit::UICollectionView& collectionView, const uikit::IndexPath& indexPath) override;
    // UICollectionViewDelegate
    void collectionViewDidSelectItemAt(uikit::UICollectionView& collectionView,
                                       const uikit::IndexPath& indexPath) override;

  protected:
    explicit ZuKeyMomentsGroupView(const uikit::CGRect& frame);

  private:
    void reload();

    std::weak_ptr<ZuKeyMomentsGroupViewDelegate> delegate_;
    std::vector<ZuKeyMomentEvent> keyMomentEvents_;
    std::optional<ZuKeyMomentEvent> selectedKeyMomentEvent_;
    std::shared_ptr<uikit::UICollectionView> collectionView_;
    // How many items the collection view last read from this data source; nothing while it has read none
    // since it was made or last reloaded.
    std::optional<std::size_t> loadedCount_;
};

}  // namespace lumora
