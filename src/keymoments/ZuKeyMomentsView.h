#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "keymoments/ZuKeyMomentEvent.h"
#include "keymoments/ZuKeyMomentItem.h"
#include "keymoments/ZuKeyMomentsGroupView.h"
#include "ui/ZuStyleManager.h"
#include "ui/ZuView.h"
#include "uikit/CADisplayLink.h"
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
//
// A long list never holds the main queue for long: an update takes away at most `markersTakenAwayPerFrame`
// markers at once and the rest on the display frames that follow (hidden meanwhile, and no longer counted
// among the markers), then makes `markersPerFrame` markers per turn, in event order, until every event has
// its marker.
class ZuKeyMomentsView : public ZuView, public ZuKeyMomentsGroupViewDelegate {
  public:
    // The markers made, and taken away, in one turn of the main queue: about a third of a frame's time each on
    // a desktop processor (making, laying out and drawing a marker costs some 50 microseconds; taking one away
    // and freeing it, some 15).
    static constexpr std::size_t markersPerFrame = 100;
    static constexpr std::size_t markersTakenAwayPerFrame = 400;

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
    // of the main queue when a marker is selected. Non-finite times never move a marker. Small updates happen
    // at once; long ones carry on over the display frames that follow (see above).
    void update(const std::vector<ZuKeyMomentEvent>& events, double duration);
    // Selects the marker of the delegate's `selectedKeyMoment` (without telling the delegate) and groups
    // around it — at once, or once the strip has a size, or once a marker still to make is made.
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
    // One turn's share of an update: up to `markersTakenAwayPerFrame` markers leave, then (once none is left
    // to leave) up to `markersPerFrame` are made; the display frames carry on until nothing is left to do.
    void continueUpdate();
    // Forgets the marker of `for_` (or that it is still to make); the marker, if in the strip, joins `leaving`.
    void removeItems(const ZuKeyMomentEvent& for_, std::vector<std::shared_ptr<ZuKeyMomentItem>>& leaving);
    // `leaving` are no longer among the markers made; they leave the strip in turn, hidden until then.
    void retire(std::vector<std::shared_ptr<ZuKeyMomentItem>> leaving);
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
    std::vector<int> tags_;                                              // the tag of each event of `events_`
    std::unordered_map<int, std::size_t> eventAt_;                       // by tag: the event's index in `events_`
    std::unordered_map<int, std::shared_ptr<ZuKeyMomentItem>> markers_;  // by tag: the marker the strip made
    std::unordered_set<int> waiting_;                        // tags of the events whose marker is still to make
    std::size_t waitingFrom_ = 0;                            // no waiting event lies before this index of `events_`
    std::vector<std::shared_ptr<ZuKeyMomentItem>> leaving_;  // markers still to take away, the last subview first
    std::size_t leavingFrom_ = 0;                            // those before this index of `leaving_` are gone
    std::unordered_set<const ZuKeyMomentItem*> leavingSet_;  // those of `leaving_` hidden until they go
    std::shared_ptr<quartzcore::CADisplayLink> frames_;      // while markers wait
    int selectionWaitsFor_ = 0;  // the tag of a waiting marker the delegate's selection is for, or 0
    // Placement: every marker after an update or a change of the margins or bounds; otherwise only those made
    // since the last layout (the frames of a long update).
    bool placeAll_ = true;
    uikit::CGRect placedIn_;       // the margins' rectangle of the last placement of every marker
    uikit::CGFloat placedOn_ = 0;  // and its baseline
    std::vector<std::weak_ptr<ZuKeyMomentItem>> madeSincePlacement_;
    bool needsGroupCalculation_ = false;
    std::shared_ptr<ZuKeyMomentsGroupView> keyMomentsGroupView_;
    double duration_ = 0;
    ZuStyleManager::KeyMoments styles_;
};

}  // namespace lumora
