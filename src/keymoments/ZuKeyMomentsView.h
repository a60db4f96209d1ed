#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "keymoments/ZuKeyMomentEvent.h"
#include "keymoments/ZuKeyMomentItem.h"
#include "keymoments/ZuKeyMomentsGroupView.h"
#include "ui/ZuStyleManager.h"
#include "ui/ZuView.h"
#include "uikit/UIGestureRecognizer.h"

namespace lumora {

class ZuKeyMomentsView;

// What the key-moments strip tells, and asks, the slider controls. Every requirement is optional: the
// defaults do what "not implemented" does.
class ZuKeyMomentsViewDelegate {
  public:
    virtual ~ZuKeyMomentsViewDelegate() = default;
    // Which marker to highlight when the strip gains focus with nothing highlighted or selected;
    // nothing (the default) means the first.
    virtual std::optional<int> indexForPreferredFocusedItem(ZuKeyMomentsView& keyMomentsView) {
        (void)keyMomentsView;
        return std::nullopt;
    }
    // The viewer selected a marker: `index` is its position among the markers in event order.
    virtual void keyMomentsViewDidSelectItemAt(ZuKeyMomentsView& keyMomentsView, int index) {
        (void)keyMomentsView;
        (void)index;
    }
    // The highlight moved to the marker at `index` (its position among the strip's markers).
    virtual void keyMomentsViewDidFocusedOnItemAt(ZuKeyMomentsView& keyMomentsView, int index) {
        (void)keyMomentsView;
        (void)index;
    }
    // Declared for adopters; the strip never sends it.
    virtual void didDismissKeyMomentsView(ZuKeyMomentsView& keyMomentsView) { (void)keyMomentsView; }
    // The event whose marker `setNeedsUpdateSelectedKeyMomentItem()` selects; nothing leaves the selection.
    virtual std::optional<ZuKeyMomentEvent> selectedKeyMoment(ZuKeyMomentsView& keyMomentsView) {
        (void)keyMomentsView;
        return std::nullopt;
    }
};

// The strip of key-moment markers along the scrubber's timeline: one `ZuKeyMomentItem` per event, placed at
// the event's time over `duration` across the layout margins, its dot on the strip's bottom edge. Markers
// whose labels overlap around the selected one form a group, listed in the group row along the top. The
// viewer selects a marker by tapping its bubble, a row of the group, or (remote) with the tap recogniser
// after moving the highlight with arrow presses or swipes. Touches anywhere else fall through to the
// views behind (the strip is a transparent `ZuView`). Main thread only.
//
// Markers are tied to their events by their view tag, a per-run number per distinct event (code and
// time); events equal in both are one event to the strip, and a list holding one twice shows it once.
class ZuKeyMomentsView : public ZuView, public ZuKeyMomentsGroupViewDelegate {
  public:
    static std::shared_ptr<ZuKeyMomentsView> create(const uikit::CGRect& frame = uikit::CGRect());

    std::shared_ptr<ZuKeyMomentsViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuKeyMomentsViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // The events shown, sorted by start time (stable), each once.
    const std::vector<ZuKeyMomentEvent>& events() const { return events_; }
    // Seconds of timeline the markers are placed against.
    double duration() const { return duration_; }
    // The events of the current group, by start time.
    const std::vector<ZuKeyMomentEvent>& groupedEvents() const { return groupedEvents_; }
    // Every marker made and not yet removed, in order of creation.
    const std::vector<std::shared_ptr<ZuKeyMomentItem>>& keyMomentGroups() const { return keyMomentGroups_; }
    // A grouping waits for the strip to have a size.
    bool needsGroupCalculation() const { return needsGroupCalculation_; }
    const std::shared_ptr<ZuKeyMomentsGroupView>& keyMomentsGroupView() const { return keyMomentsGroupView_; }

    // The subviews that are markers, in subview order.
    std::vector<std::shared_ptr<ZuKeyMomentItem>> keyMomentItems() const;
    // The first selected marker's index in `keyMomentItems()`.
    std::optional<int> selectedIndex() const;
    // The first highlighted marker's index, else `selectedIndex()`.
    std::optional<int> highlightedIndex() const;
    // The marker at an index of `keyMomentItems()`; nothing outside it.
    std::shared_ptr<ZuKeyMomentItem> item(std::optional<int> at) const;
    // The marker that shows `event` (or an equal one); nothing when the strip does not show it.
    std::shared_ptr<ZuKeyMomentItem> item(const ZuKeyMomentEvent& for_) const;
    // The event a marker shows.
    std::optional<ZuKeyMomentEvent> event(const ZuKeyMomentItem& for_) const;

    // Shows `events` over a timeline of `duration` seconds: markers are made for new events and removed
    // for gone ones (a moved event gets a new marker), and the group is worked out again on a later turn
    // of the main queue when a marker is selected. Non-finite times never move a marker.
    void update(const std::vector<ZuKeyMomentEvent>& events, double duration);
    // Selects the marker of the delegate's `selectedKeyMoment` (without telling the delegate) and groups
    // around it — at once, or once the strip has a size.
    void setNeedsUpdateSelectedKeyMomentItem();
    // Makes `item` the selected marker, groups around it on a later turn, and tells the delegate.
    void selectItem(const std::shared_ptr<ZuKeyMomentItem>& item);
    // Moves the highlight to the marker at `at` and tells the delegate; nothing outside the markers.
    void highlightItem(std::optional<int> at);

    // Targets: every marker's touch-up-inside; recognisers that a host adds to the strip.
    void selectKeyMomentItem(ZuKeyMomentItem& sender);
    void handleSwipeGestureRecognizer(uikit::UISwipeGestureRecognizer& recognizer);
    void handleTapGestureRecognizer(uikit::UITapGestureRecognizer& recognizer);

    // Left and right arrows move the highlight (no wrap-around).
    void pressesEnded(const uikit::UIPressSet& presses, const uikit::UIPressesEvent* event) override;
    // Fades to 0.6 without focus; on gaining focus highlights the delegate's preferred marker when none is
    // highlighted or selected; on losing it deselects and unhighlights.
    void didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                        uikit::UIFocusAnimationCoordinator& coordinator) override;

    uikit::CGSize intrinsicContentSize() const override;
    void layoutSubviews() override;
    void layoutSublayers(quartzcore::CALayer& layer) override;
    void layoutMarginsDidChange() override;

    // ZuKeyMomentsGroupViewDelegate: a tapped row selects its marker.
    void keyMomentsGroupViewDidSelect(ZuKeyMomentsGroupView& groupView, const ZuKeyMomentEvent& event) override;

  protected:
    explicit ZuKeyMomentsView(const uikit::CGRect& frame);

  private:
    void insertItem(const ZuKeyMomentEvent& for_, std::size_t at);
    void removeItems(const ZuKeyMomentEvent& for_);
    void calculateGroup(const std::shared_ptr<ZuKeyMomentItem>& for_);
    void calculateGroupLater(const std::shared_ptr<ZuKeyMomentItem>& for_);
    // The markers in event order (one per event that has one).
    std::vector<std::shared_ptr<ZuKeyMomentItem>> markersInEventOrder() const;
    // The label of `item` in the strip's coordinates (through the marker's transform).
    uikit::CGRect labelRect(const ZuKeyMomentItem& item) const;
    std::vector<std::shared_ptr<ZuKeyMomentItem>> collidingItems(
        const std::vector<std::shared_ptr<ZuKeyMomentItem>>& in, uikit::CGRect around) const;
    void clearGroup();

    std::weak_ptr<ZuKeyMomentsViewDelegate> delegate_;
    std::vector<ZuKeyMomentEvent> groupedEvents_;
    std::vector<std::shared_ptr<ZuKeyMomentItem>> keyMomentGroups_;
    std::vector<ZuKeyMomentEvent> events_;
    bool needsGroupCalculation_ = false;
    std::shared_ptr<ZuKeyMomentsGroupView> keyMomentsGroupView_;
    double duration_ = 0;
    ZuStyleManager::KeyMoments styles_;
};

}  // namespace lumora
