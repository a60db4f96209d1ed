#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "keymoments/ZuKeyMomentEvent.h"
#include "keymoments/ZuKeyMomentItem.h"
#include "keymoments/ZuKeyMomentsGroupView.h"
#include "keymoments/detail/KeyMomentTags.h"
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
    // Which marker to highlight when the strip gains focus with nothing highlighted or selected: the place of
    // its event in the strip's `events()`; nothing (the default), or an event whose marker is still to be made,
    // means the first marker.
    virtual std::optional<int> indexForPreferredFocusedItem(ZuKeyMomentsView& keyMomentsView) {
        (void)keyMomentsView;
        return std::nullopt;
    }
    // The viewer selected a marker: `index` is the place of its event in the strip's `events()` (also while a
    // long update is still making markers).
    virtual void keyMomentsViewDidSelectItemAt(ZuKeyMomentsView& keyMomentsView, int index) {
        (void)keyMomentsView;
        (void)index;
    }
    // The highlight moved to a marker: `index` is the place of its event in the strip's `events()`.
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
// Markers are tied to their events by their view tag, a number per distinct event (code and time) that the strip
// holds while it shows the event or still has a marker of it (`detail::KeyMomentTags`); events equal in both are
// one event to the strip, and a list holding one twice shows it once.
//
// An event keeps its marker for as long as it is listed, wherever it moves in the list. The markers of events
// that went are hidden at once (and no longer counted among the markers); they show new events in their stead
// or, once the new list has its markers, are taken away. A long list never holds the main queue for long: in
// each turn an update makes at most `markersPerFrame` markers, shows at most `markersShownAgainPerFrame` hidden
// ones again and moves at most `markersMovedPerFrame`, in event order, and then takes away at most
// `markersTakenAwayPerFrame`; the rest carries on over the display frames that follow.
class ZuKeyMomentsView : public ZuView, public ZuKeyMomentsGroupViewDelegate {
  public:
    // The markers made, those of gone events shown again for new ones, and those taken away, in one turn of the
    // main queue: about a third of a frame's time each on a desktop processor (making, laying out and drawing a
    // marker costs some 50 microseconds; giving one another event, laying out and drawing its label, or taking
    // one away and freeing it, some 15).
    static constexpr std::size_t markersPerFrame = 100;
    static constexpr std::size_t markersShownAgainPerFrame = 400;
    static constexpr std::size_t markersTakenAwayPerFrame = 400;
    // The markers moved to new places among the subviews in one turn, when their events only moved: a move
    // costs the distance it goes (a few places, among moments at the same time), some microseconds.
    static constexpr std::size_t markersMovedPerFrame = 1000;

    static std::shared_ptr<ZuKeyMomentsView> create(const uikit::CGRect& frame = uikit::CGRect());

    std::shared_ptr<ZuKeyMomentsViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuKeyMomentsViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // The events shown, sorted by start time (stable), each once.
    const std::vector<ZuKeyMomentEvent>& events() const { return events_; }
    // Seconds of timeline the markers are placed against.
    double duration() const { return duration_; }
    // The events of the current group, by start time.
    const std::vector<ZuKeyMomentEvent>& groupedEvents() const { return groupedEvents_; }
    // Every marker that shows an event, in the order in which they came to show it.
    const std::vector<std::shared_ptr<ZuKeyMomentItem>>& keyMomentGroups() const { return keyMomentGroups_; }
    // A grouping waits for the strip to have a size.
    bool needsGroupCalculation() const { return needsGroupCalculation_; }
    const std::shared_ptr<ZuKeyMomentsGroupView>& keyMomentsGroupView() const { return keyMomentsGroupView_; }

    // The subviews that are markers, in subview order: the order of their events (but for markers of moved
    // events that a long update has not reached yet).
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

    // Shows `events` over a timeline of `duration` seconds: new events get markers (those of gone events, or
    // new ones), the markers of moved events move with them, and the group is worked out again on a later turn
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
    struct Retired {
        std::shared_ptr<ZuKeyMomentItem> marker;
        int tag = 0;  // the tag it showed its event with, held until it goes or shows another event
    };

    void insertItem(const ZuKeyMomentEvent& for_, int tag, std::size_t at);
    // One turn's share of an update: the walk puts markers in event order (its shares: `markersPerFrame` made,
    // `markersShownAgainPerFrame` retired ones shown again, `markersMovedPerFrame` moved), and once it is over up
    // to `markersTakenAwayPerFrame` retired markers leave; the display frames carry on until nothing is left.
    void continueUpdate();
    void place(std::size_t make, std::size_t showAgain, std::size_t moves);
    // The walk passes the retired markers where it stands, keeping the places of those it may show again; with
    // `stopAtReusable` it stops at one of those instead (true).
    bool passRetired(bool stopAtReusable);
    // The retired marker at `at` shows `for_` from the place `to`.
    void reuse(std::size_t at, std::size_t to, const ZuKeyMomentEvent& for_, int tag);
    void takeAway(std::size_t count);
    // The marker of the event with `tag` no longer shows it: hidden, it waits to be shown again or taken away.
    // The marker is added to `gone` when it was the strip's.
    void retire(int tag, std::unordered_set<const uikit::UIView*>& gone);
    void calculateGroup(const std::shared_ptr<ZuKeyMomentItem>& for_);
    void calculateGroupLater(const std::shared_ptr<ZuKeyMomentItem>& for_);
    // The index in `events_` of the event with `tag`; nothing when none is listed.
    std::optional<std::size_t> listed(int tag) const;
    // The marker the strip made for the event with `tag`, or null.
    const std::shared_ptr<ZuKeyMomentItem>& markerOf(int tag) const;
    // The first of `keyMomentItems()` (the first selected one).
    std::shared_ptr<ZuKeyMomentItem> firstMarker(bool selected) const;
    // The markers in event order (one per event that has one).
    std::vector<std::shared_ptr<ZuKeyMomentItem>> markersInEventOrder() const;
    // The place in `events()` of the event a marker of this strip shows; nothing for any other view.
    std::optional<int> eventIndex(const ZuKeyMomentItem& marker) const;
    // Highlights `marker` (one of `keyMomentItems()`) and tells the delegate.
    void highlight(const std::shared_ptr<ZuKeyMomentItem>& marker);
    // The label of `item` in the strip's coordinates (through the marker's transform).
    uikit::CGRect labelRect(const ZuKeyMomentItem& item) const;
    std::vector<std::shared_ptr<ZuKeyMomentItem>> collidingItems(
        const std::vector<std::shared_ptr<ZuKeyMomentItem>>& in, uikit::CGRect around) const;
    void clearGroup();

    std::weak_ptr<ZuKeyMomentsViewDelegate> delegate_;
    std::vector<ZuKeyMomentEvent> groupedEvents_;
    std::vector<std::shared_ptr<ZuKeyMomentItem>> keyMomentGroups_;
    std::vector<ZuKeyMomentEvent> events_;
    detail::KeyMomentTags tagTable_;  // the tags of what the strip shows
    std::vector<int> tags_;           // the tag of each event of `events_`
    // By tag (the tags are small numbers): the event's index in `events_` (`noEvent` for none), and the marker the
    // strip made for it (none when it has none).
    static constexpr std::size_t noEvent = static_cast<std::size_t>(-1);
    std::vector<std::size_t> eventAt_;
    std::vector<std::shared_ptr<ZuKeyMomentItem>> markers_;
    // Putting the markers in event order, made where missing: the walk goes on from this event of `events_`,
    // which has this index among the subviews (the markers of the events before it come first, in order, with
    // retired markers the walk passed between them).
    bool placing_ = false;
    std::size_t placeFrom_ = 0;
    std::size_t placeAt_ = 0;
    // Markers whose events are gone, by view: hidden, and no longer counted among the markers.
    std::unordered_map<const uikit::UIView*, Retired> retired_;
    // Retired markers the walk passed (before `placeAt_`), with their places, nearest last.
    std::vector<std::pair<std::size_t, const uikit::UIView*>> reusable_;
    std::vector<std::shared_ptr<ZuKeyMomentItem>> leaving_;  // retired markers to take away, the last subview first
    std::size_t leavingFrom_ = 0;                            // those before this index of `leaving_` are gone
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
