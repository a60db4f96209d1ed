#include "keymoments/ZuKeyMomentsView.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "dispatch/DispatchQueue.h"
#include "dispatch/RunLoop.h"
#include "keymoments/detail/KeyMomentTags.h"
#include "kitfoundation/PHDiff.h"
#include "uikit/UIEvent.h"
#include "uikit/UIFocus.h"

namespace lumora {

namespace {

bool byStartTime(const ZuKeyMomentEvent& a, const ZuKeyMomentEvent& b) {
    return a.startTime < b.startTime;
}

}  // namespace

ZuKeyMomentsView::ZuKeyMomentsView(const uikit::CGRect& frame)
    : ZuView(frame),
      keyMomentsGroupView_(ZuKeyMomentsGroupView::create()),
      styles_(ZuStyleManager::KeyMoments::default_()) {}

std::shared_ptr<ZuKeyMomentsView> ZuKeyMomentsView::create(const uikit::CGRect& frame) {
    auto view = std::shared_ptr<ZuKeyMomentsView>(new ZuKeyMomentsView(frame));
    view->setIsOpaque(false);
    view->setIsFocusable(true);
    view->setInsetsLayoutMarginsFromSafeArea(false);
    const auto& layer = view->layer();
    layer->setShadowRadius(14.0);
    layer->setShadowOpacity(0.72);
    layer->setShadowColor(coregraphics::CGColor::black());
    layer->setShadowOffset(uikit::CGSize{0, 4});
    view->addSubview(view->keyMomentsGroupView_);
    const uikit::CGFloat height = view->styles_.keyMomentsGroupViewHeight;
    view->keyMomentsGroupView_->snp().makeConstraints([height](uikit::ConstraintMaker& make) {
        make.top().leading().trailing().equalToSuperview();
        make.height().equalTo(height);
    });
    view->keyMomentsGroupView_->setDelegate(std::static_pointer_cast<ZuKeyMomentsGroupViewDelegate>(view));
    return view;
}

// ---- Lookups ------------------------------------------------------------------------------------------------

std::vector<std::shared_ptr<ZuKeyMomentItem>> ZuKeyMomentsView::keyMomentItems() const {
    std::vector<std::shared_ptr<ZuKeyMomentItem>> items;
    for (const auto& subview : subviews()) {
        auto item = std::dynamic_pointer_cast<ZuKeyMomentItem>(subview);
        if (item && !retired_.contains(item.get())) items.push_back(std::move(item));
    }
    return items;
}

std::shared_ptr<ZuKeyMomentItem> ZuKeyMomentsView::firstMarker(bool selected) const {
    // Without copying the list: a long strip is looked through on every update.
    for (const auto& subview : subviews()) {
        auto* marker = dynamic_cast<ZuKeyMomentItem*>(subview.get());
        if (!marker || (selected && !marker->isSelected()) || retired_.contains(marker)) continue;
        return std::static_pointer_cast<ZuKeyMomentItem>(subview);
    }
    return nullptr;
}

std::optional<int> ZuKeyMomentsView::selectedIndex() const {
    const auto items = keyMomentItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i]->isSelected()) return static_cast<int>(i);
    }
    return std::nullopt;
}

std::optional<int> ZuKeyMomentsView::highlightedIndex() const {
    const auto items = keyMomentItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i]->isHighlighted()) return static_cast<int>(i);
    }
    return selectedIndex();
}

std::shared_ptr<ZuKeyMomentItem> ZuKeyMomentsView::item(std::optional<int> at) const {
    if (!at || *at < 0) return nullptr;
    const auto items = keyMomentItems();
    return static_cast<std::size_t>(*at) < items.size() ? items[static_cast<std::size_t>(*at)] : nullptr;
}

std::shared_ptr<ZuKeyMomentItem> ZuKeyMomentsView::item(const ZuKeyMomentEvent& for_) const {
    const int tag = tagTable_.find(for_);
    if (tag == 0 || !listed(tag)) return nullptr;
    if (const auto& mine = markerOf(tag); mine && mine->superview().get() == this) return mine;
    // A marker someone else put here for the event.
    for (const auto& subview : subviews()) {
        if (subview->tag() != tag) continue;
        auto marker = std::dynamic_pointer_cast<ZuKeyMomentItem>(subview);
        if (marker && !retired_.contains(marker.get())) return marker;
    }
    return nullptr;
}

std::optional<ZuKeyMomentEvent> ZuKeyMomentsView::event(const ZuKeyMomentItem& for_) const {
    const auto at = eventIndex(for_);
    if (!at) return std::nullopt;
    return events_[static_cast<std::size_t>(*at)];
}

std::optional<int> ZuKeyMomentsView::eventIndex(const ZuKeyMomentItem& marker) const {
    if (retired_.contains(&marker)) return std::nullopt;
    const auto at = listed(marker.tag());
    if (!at) return std::nullopt;
    return static_cast<int>(*at);
}

std::optional<std::size_t> ZuKeyMomentsView::listed(int tag) const {
    if (tag <= 0 || static_cast<std::size_t>(tag) >= eventAt_.size()) return std::nullopt;
    const std::size_t at = eventAt_[static_cast<std::size_t>(tag)];
    if (at == noEvent) return std::nullopt;
    return at;
}

const std::shared_ptr<ZuKeyMomentItem>& ZuKeyMomentsView::markerOf(int tag) const {
    static const std::shared_ptr<ZuKeyMomentItem> none;
    if (tag <= 0 || static_cast<std::size_t>(tag) >= markers_.size()) return none;
    return markers_[static_cast<std::size_t>(tag)];
}

std::vector<std::shared_ptr<ZuKeyMomentItem>> ZuKeyMomentsView::markersInEventOrder() const {
    std::unordered_map<int, std::shared_ptr<ZuKeyMomentItem>> byTag;
    for (const auto& marker : keyMomentItems()) byTag.try_emplace(marker->tag(), marker);
    std::vector<std::shared_ptr<ZuKeyMomentItem>> markers;
    markers.reserve(events_.size());
    for (int tag : tags_) {
        if (auto found = byTag.find(tag); found != byTag.end()) markers.push_back(found->second);
    }
    return markers;
}

// ---- Events ---------------------------------------------------------------------------------------------------

void ZuKeyMomentsView::insertItem(const ZuKeyMomentEvent& for_, int tag, std::size_t at) {
    auto marker = ZuKeyMomentItem::create();
    marker->setTag(tag);
    tagTable_.hold(tag);  // until the marker is gone
    marker->textLabel()->setText(for_.code);
    marker->addTargetAction(sharedAs<ZuKeyMomentsView>(), &ZuKeyMomentsView::selectKeyMomentItem,
                            uikit::UIControl::Event::touchUpInside());
    insertSubviewAt(marker, std::min(at, subviews().size()));
    if (markers_.size() <= static_cast<std::size_t>(tag)) markers_.resize(static_cast<std::size_t>(tag) + 1);
    markers_[static_cast<std::size_t>(tag)] = marker;
    madeSincePlacement_.push_back(marker);
    keyMomentGroups_.push_back(std::move(marker));
}

void ZuKeyMomentsView::continueUpdate() {
    if (placing_) place(markersPerFrame, markersShownAgainPerFrame, markersMovedPerFrame);
    // Retired markers leave once the walk is over (it may show them again), the last of them first: a view
    // leaves at the cost of the views after it.
    if (!placing_ && !retired_.empty()) takeAway(markersTakenAwayPerFrame);
    const bool done = !placing_ && retired_.empty();
    if (done && frames_) {
        frames_->invalidate();
        frames_.reset();
    } else if (!done && !frames_) {
        frames_ = quartzcore::CADisplayLink::create(sharedAs<ZuKeyMomentsView>(), &ZuKeyMomentsView::continueUpdate);
        frames_->add(dispatch::RunLoop::main());
    }
    if (selectionWaitsFor_ != 0 && (!listed(selectionWaitsFor_) || markerOf(selectionWaitsFor_))) {
        selectionWaitsFor_ = 0;
        setNeedsUpdateSelectedKeyMomentItem();
    }
}

void ZuKeyMomentsView::place(std::size_t make, std::size_t showAgain, std::size_t moves) {
    // Walking the events in order, the markers of those before `placeFrom_` lie among the first `placeAt_`
    // subviews, in order, with the retired markers the walk passed between them; every other marker lies after.
    // Each next marker goes to the next place: moved there when its event only moved; for a new event, a
    // retired marker standing there shows it, or else one the walk passed is moved up to the end of those
    // placed (the nearest), or else a marker is made there. The turn ends where its share of any is used up.
    const auto& subviews = this->subviews();
    // A view put into the strip or taken from it since the last turn moves the places the walk passed: it
    // starts over rather than show a moment on whatever stands there now.
    for (const auto& [at, view] : reusable_) {
        if (at >= subviews.size() || subviews[at].get() != view || !retired_.contains(view)) {
            placeFrom_ = 0;
            placeAt_ = 0;
            reusable_.clear();
            break;
        }
    }
    for (; placeFrom_ < events_.size(); ++placeFrom_) {
        const int tag = tags_[placeFrom_];
        if (const auto& marker = markerOf(tag)) {
            // One taken away behind the strip's back has no place.
            if (marker->superview().get() != this) continue;
            passRetired(false);
            if (placeAt_ >= subviews.size() || subviews[placeAt_] != marker) {
                if (moves == 0) break;
                insertSubviewAt(marker, placeAt_);
                --moves;
            }
            ++placeAt_;
            continue;
        }
        const bool standing = passRetired(true);
        if (standing || !reusable_.empty()) {
            if (showAgain == 0) break;
            --showAgain;
            if (standing) {
                reuse(placeAt_, placeAt_, events_[placeFrom_], tag);
                ++placeAt_;
            } else {
                const std::size_t at = reusable_.back().first;
                reusable_.pop_back();
                reuse(at, placeAt_ - 1, events_[placeFrom_], tag);
            }
            continue;
        }
        if (make == 0) break;
        --make;
        insertItem(events_[placeFrom_], tag, placeAt_++);
    }
    if (placeFrom_ == events_.size()) {
        placing_ = false;
        reusable_.clear();
    }
}

bool ZuKeyMomentsView::passRetired(bool stopAtReusable) {
    const auto& subviews = this->subviews();
    for (; placeAt_ < subviews.size(); ++placeAt_) {
        auto found = retired_.find(subviews[placeAt_].get());
        if (found == retired_.end()) return false;
        // One being touched, highlighted or selected is not shown again as another moment.
        const auto& marker = *found->second.marker;
        if (marker.isTracking() || marker.isHighlighted() || marker.isSelected()) continue;
        if (stopAtReusable) return true;
        reusable_.emplace_back(placeAt_, subviews[placeAt_].get());
    }
    return false;
}

void ZuKeyMomentsView::reuse(std::size_t at, std::size_t to, const ZuKeyMomentEvent& for_, int tag) {
    auto found = retired_.find(subviews()[at].get());
    auto marker = std::move(found->second.marker);
    const int old = found->second.tag;
    retired_.erase(found);
    marker->setTag(tag);
    tagTable_.hold(tag);
    tagTable_.release(old);
    marker->textLabel()->setText(for_.code);
    // As a new marker would: at rest (an animation of its last moment's style ended, which would also keep
    // touches from it) and shown.
    marker->removeAllAnimations();
    marker->setIsHidden(false);
    // Only the views between the two places move.
    if (at != to) insertSubviewAt(marker, to);
    if (markers_.size() <= static_cast<std::size_t>(tag)) markers_.resize(static_cast<std::size_t>(tag) + 1);
    markers_[static_cast<std::size_t>(tag)] = marker;
    madeSincePlacement_.push_back(marker);
    keyMomentGroups_.push_back(std::move(marker));
}

void ZuKeyMomentsView::takeAway(std::size_t count) {
    const auto& subviews = this->subviews();
    if (leaving_.empty()) {
        leavingFrom_ = 0;
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
            auto found = retired_.find(it->get());
            if (found != retired_.end()) leaving_.push_back(found->second.marker);
        }
        // Those no longer among the subviews were taken away behind the strip's back.
        if (leaving_.size() != retired_.size()) {
            std::erase_if(retired_, [&](const auto& entry) {
                if (entry.second.marker->superview().get() == this) return false;
                tagTable_.release(entry.second.tag);
                return true;
            });
        }
    }
    for (; leavingFrom_ < leaving_.size() && count > 0; ++leavingFrom_, --count) {
        auto marker = std::move(leaving_[leavingFrom_]);
        auto found = retired_.find(marker.get());
        if (found == retired_.end()) continue;
        const int tag = found->second.tag;
        retired_.erase(found);
        if (marker->superview().get() == this) marker->removeFromSuperview();
        tagTable_.release(tag);
    }
    if (leavingFrom_ == leaving_.size()) {
        leaving_.clear();
        leavingFrom_ = 0;
    }
}

void ZuKeyMomentsView::retire(int tag, std::unordered_set<const uikit::UIView*>& gone) {
    if (!markerOf(tag)) return;
    auto marker = std::move(markers_[static_cast<std::size_t>(tag)]);
    // Only the strip's own marker goes: other subviews stay, whatever their tag. One taken away behind the
    // strip's back stays listed among those made.
    if (marker->superview().get() != this) {
        tagTable_.release(tag);
        return;
    }
    marker->setIsHidden(true);
    const uikit::UIView* view = marker.get();
    gone.insert(view);
    retired_.emplace(view, Retired{std::move(marker), tag});
}

void ZuKeyMomentsView::clearGroup() {
    keyMomentsGroupView_->update({}, std::nullopt);
    groupedEvents_.clear();
}

void ZuKeyMomentsView::update(const std::vector<ZuKeyMomentEvent>& events, double duration) {
    // Sorted by start time (stable) through their indices: events are large to move around.
    // The start times are copied beside their indices first: a long list is compared without reaching into the
    // events at random.
    std::vector<std::pair<coremedia::CMTime, std::size_t>> byTime(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) byTime[i] = {events[i].startTime, i};
    std::stable_sort(byTime.begin(), byTime.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::size_t> order(events.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = byTime[i].second;
    // One marker per event: later copies of an event are dropped, so no two markers share a tag. The new list
    // holds its tags before the old one lets go of its own, so an event in both keeps its tag.
    std::vector<ZuKeyMomentEvent> sorted;
    std::vector<int> sortedTags;
    sorted.reserve(events.size());
    sortedTags.reserve(events.size());
    std::vector<char> seen;  // by tag
    for (std::size_t i : order) {
        const int tag = tagTable_.hold(events[i]);
        const auto at = static_cast<std::size_t>(tag);
        if (seen.size() <= at) seen.resize(std::max(at + 1, seen.size() * 2), 0);
        if (!seen[at]) {
            seen[at] = 1;
            sorted.push_back(events[i]);
            sortedTags.push_back(tag);
        } else {
            tagTable_.release(tag);
        }
    }

    // Diffed by tag: while both lists hold their tags, equal events have one tag and different events two.
    const auto steps = PHDiff::steps(tags_, sortedTags);
    // The markers of deleted events retire; a walk in event order then moves the markers of moved events (an
    // event keeps its marker wherever it goes) and gives inserted events retired markers or new ones. An
    // update never comes: equal events are the same event.
    std::unordered_set<const uikit::UIView*> gone;
    bool reorders = false;
    for (const auto& step : steps) {
        if (step.isDelete()) {
            retire(step.value(), gone);
        } else if (step.isInsert() || step.isMove()) {
            reorders = true;
        }
    }
    if (!gone.empty()) std::erase_if(keyMomentGroups_, [&](const auto& m) { return gone.contains(m.get()); });
    // The new list is the one the strip shows from here: markers placed on coming frames take their places in it.
    for (int tag : tags_) {
        eventAt_[static_cast<std::size_t>(tag)] = noEvent;
        tagTable_.release(tag);
    }
    events_ = std::move(sorted);
    tags_ = std::move(sortedTags);
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const auto tag = static_cast<std::size_t>(tags_[i]);
        if (eventAt_.size() <= tag) eventAt_.resize(tag + 1, noEvent);
        eventAt_[tag] = i;
    }
    // A walk under way started from the old list: the new one is walked from its start. The retired markers
    // are listed for taking away afresh once the walk is over.
    if (reorders || placing_) {
        placing_ = true;
        placeFrom_ = 0;
        placeAt_ = 0;
        reusable_.clear();
    }
    leaving_.clear();
    leavingFrom_ = 0;
    continueUpdate();

    if (!firstMarker(false)) {
        clearGroup();
        keyMomentGroups_.clear();
    }
    if (!steps.empty()) {
        if (auto selected = firstMarker(true)) {
            calculateGroupLater(selected);
        } else {
            clearGroup();
        }
    }
    duration_ = duration;
    placeAll_ = true;
    setNeedsLayout();
}

// ---- Layout ---------------------------------------------------------------------------------------------------

uikit::CGSize ZuKeyMomentsView::intrinsicContentSize() const {
    return uikit::CGSize{ZuView::intrinsicContentSize().width,
                         styles_.itemSize.height + styles_.keyMomentsGroupViewHeight +
                             styles_.keyMomentsGroupViewBottomPadding - styles_.edgeInsets.top -
                             styles_.edgeInsets.bottom - styles_.anchorSize.height * 0.5};
}

void ZuKeyMomentsView::layoutSubviews() {
    ZuView::layoutSubviews();
    auto made = std::move(madeSincePlacement_);
    madeSincePlacement_.clear();
    if (!std::isfinite(duration_)) return;
    const uikit::CGRect guide = bounds().inset(layoutMargins());
    const uikit::CGFloat baseline = bounds().maxY();
    auto place = [&](ZuKeyMomentItem& marker, double time) {
        const double p = duration_ == 0 ? 0.0 : time / duration_;
        const uikit::CGFloat x = guide.minX() + guide.width() * p;
        if (!std::isfinite(time) || !std::isfinite(x) || !std::isfinite(baseline)) return;
        const uikit::CGPoint center{x, baseline};
        if (marker.center() != center) marker.setCenter(center);
    };
    // The frames of a long update add markers without changing where the others go: those alone are placed.
    if (!placeAll_ && placedIn_ == guide && placedOn_ == baseline) {
        for (const auto& weak : made) {
            auto marker = weak.lock();
            const auto found = marker ? listed(marker->tag()) : std::nullopt;
            if (found && marker->superview().get() == this) place(*marker, events_[*found].videoTime);
        }
        return;
    }
    placeAll_ = false;
    placedIn_ = guide;
    placedOn_ = baseline;
    for (const auto& subview : subviews()) {
        // The tag first (cheap), then whether the view is a marker at all.
        const auto found = listed(subview->tag());
        if (!found) continue;
        auto* marker = dynamic_cast<ZuKeyMomentItem*>(subview.get());
        if (marker && !retired_.contains(marker)) place(*marker, events_[*found].videoTime);
    }
}

void ZuKeyMomentsView::layoutSublayers(quartzcore::CALayer& layer) {
    ZuView::layoutSublayers(layer);
    if (!needsGroupCalculation_) return;  // before looking for the selected marker among them all
    auto selected = item(selectedIndex());
    if (!selected) return;
    const uikit::CGRect b = bounds();
    if (b.width() == 0 && b.height() == 0) return;
    // Any part of the marker in view will do: the origin alone is outside for a marker at the left edge.
    if (!selected->frame().intersects(b)) return;
    needsGroupCalculation_ = false;
    calculateGroup(selected);
}

void ZuKeyMomentsView::layoutMarginsDidChange() {
    ZuView::layoutMarginsDidChange();
    setNeedsLayout();
}

// ---- Grouping -------------------------------------------------------------------------------------------------

uikit::CGRect ZuKeyMomentsView::labelRect(const ZuKeyMomentItem& item) const {
    return item.convertTo(item.textLabel()->frame(), sharedView());
}

std::vector<std::shared_ptr<ZuKeyMomentItem>> ZuKeyMomentsView::collidingItems(
    const std::vector<std::shared_ptr<ZuKeyMomentItem>>& in, uikit::CGRect around) const {
    std::vector<std::shared_ptr<ZuKeyMomentItem>> result;
    for (const auto& marker : in) {
        const uikit::CGRect rect = labelRect(*marker);
        if (!rect.intersects(around)) break;
        around = around.union_(rect);
        result.push_back(marker);
    }
    return result;
}

void ZuKeyMomentsView::calculateGroupLater(const std::shared_ptr<ZuKeyMomentItem>& for_) {
    std::weak_ptr<ZuKeyMomentsView> weak = sharedAs<ZuKeyMomentsView>();
    dispatch::DispatchQueue::main().async([weak, marker = for_] {
        if (auto view = weak.lock()) view->calculateGroup(marker);
    });
}

void ZuKeyMomentsView::calculateGroup(const std::shared_ptr<ZuKeyMomentItem>& for_) {
    // Markers made since the last pass are placed and their labels measured before they are compared.
    layoutIfNeeded();
    std::vector<std::shared_ptr<ZuKeyMomentItem>> sorted = keyMomentGroups_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a->frame().maxX() < b->frame().maxX(); });
    const auto position = std::find(sorted.begin(), sorted.end(), for_);
    if (position == sorted.end()) return;
    std::vector<std::shared_ptr<ZuKeyMomentItem>> leading(std::make_reverse_iterator(position), sorted.rend());
    std::vector<std::shared_ptr<ZuKeyMomentItem>> trailing(position, sorted.end());

    const uikit::CGRect around = labelRect(*for_);
    std::vector<std::shared_ptr<ZuKeyMomentItem>> group = collidingItems(leading, around);
    const auto after = collidingItems(trailing, around);
    group.insert(group.end(), after.begin(), after.end());

    std::vector<ZuKeyMomentEvent> groupEvents;
    for (const auto& marker : group) {
        if (auto event = this->event(*marker)) groupEvents.push_back(std::move(*event));
    }
    std::stable_sort(groupEvents.begin(), groupEvents.end(), byStartTime);

    if (!PHDiff::steps(groupedEvents_, groupEvents).empty()) {
        if (auto selected = event(*for_)) keyMomentsGroupView_->update(groupEvents, selected);
    }
    auto self = sharedAs<ZuKeyMomentsView>();
    dispatch::DispatchQueue::main().asyncAfter(dispatch::DispatchTime::now() + 0.1, [self, marker = for_] {
        self->keyMomentsGroupView_->select(self->event(*marker));
    });
    groupedEvents_ = std::move(groupEvents);
}

// ---- Selection and highlight ----------------------------------------------------------------------------------

void ZuKeyMomentsView::selectItem(const std::shared_ptr<ZuKeyMomentItem>& item) {
    if (!item) return;
    for (const auto& marker : markersInEventOrder()) {
        if (marker->isSelected()) marker->setIsSelected(false);
    }
    item->setIsSelected(true);
    calculateGroupLater(item);
    // The marker names its event by its place in `events()`, the list the delegate reads, whether or not the
    // markers of a long update are all made yet.
    if (item->superview().get() != this) return;
    const auto at = eventIndex(*item);
    if (!at) return;
    if (auto delegate = delegate_.lock()) delegate->keyMomentsViewDidSelectItemAt(*this, *at);
}

void ZuKeyMomentsView::setNeedsUpdateSelectedKeyMomentItem() {
    auto delegate = delegate_.lock();
    if (!delegate) return;
    auto selectedEvent = delegate->selectedKeyMoment(*this);
    if (!selectedEvent) return;
    auto marker = item(*selectedEvent);
    if (!marker) {
        // Its marker is still to make: the selection is applied when it is.
        const int tag = tagTable_.find(*selectedEvent);
        if (tag != 0 && listed(tag) && !markerOf(tag)) selectionWaitsFor_ = tag;
        return;
    }
    for (const auto& each : keyMomentItems()) each->setIsSelected(false);
    marker->setIsSelected(true);
    const uikit::CGRect b = bounds();
    if (b.width() == 0 && b.height() == 0) {
        needsGroupCalculation_ = true;
    } else {
        calculateGroup(marker);
    }
}

void ZuKeyMomentsView::highlightItem(std::optional<int> at) {
    const auto items = keyMomentItems();
    if (!at || *at < 0 || static_cast<std::size_t>(*at) >= items.size()) return;
    highlight(items[static_cast<std::size_t>(*at)]);
}

void ZuKeyMomentsView::highlight(const std::shared_ptr<ZuKeyMomentItem>& marker) {
    if (auto current = item(highlightedIndex())) current->setIsHighlighted(false);
    marker->setIsHighlighted(true);
    // Told by the place of its event in `events()`, like a selection.
    const auto at = eventIndex(*marker);
    if (!at) return;
    if (auto delegate = delegate_.lock()) delegate->keyMomentsViewDidFocusedOnItemAt(*this, *at);
}

void ZuKeyMomentsView::selectKeyMomentItem(ZuKeyMomentItem& sender) {
    selectItem(std::static_pointer_cast<ZuKeyMomentItem>(sender.shared_from_this()));
}

void ZuKeyMomentsView::handleSwipeGestureRecognizer(uikit::UISwipeGestureRecognizer& recognizer) {
    if (recognizer.state() != uikit::UIGestureRecognizer::State::ended) return;
    const auto current = highlightedIndex();
    if (!current) return;
    const auto direction = recognizer.direction();
    if (direction.contains(uikit::UISwipeGestureRecognizer::Direction::right())) {
        highlightItem(*current + 1);
    } else if (direction.contains(uikit::UISwipeGestureRecognizer::Direction::left())) {
        highlightItem(*current - 1);
    }
}

void ZuKeyMomentsView::handleTapGestureRecognizer(uikit::UITapGestureRecognizer& recognizer) {
    if (recognizer.state() != uikit::UIGestureRecognizer::State::ended) return;
    if (auto highlighted = item(highlightedIndex())) selectItem(highlighted);
}

void ZuKeyMomentsView::pressesEnded(const uikit::UIPressSet& presses, const uikit::UIPressesEvent* event) {
    ZuView::pressesEnded(presses, event);
    if (presses.empty() || !presses.front()) return;
    const auto current = highlightedIndex();
    const int count = static_cast<int>(keyMomentItems().size());
    switch (presses.front()->type()) {
        case uikit::UIPress::PressType::leftArrow:
            highlightItem(current ? *current - 1 : count - 1);
            break;
        case uikit::UIPress::PressType::rightArrow:
            highlightItem(current ? *current + 1 : 0);
            break;
        default:
            break;
    }
}

void ZuKeyMomentsView::didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                                      uikit::UIFocusAnimationCoordinator& coordinator) {
    ZuView::didUpdateFocus(context, coordinator);
    const bool focused = isFocused();
    std::weak_ptr<ZuKeyMomentsView> weak = sharedAs<ZuKeyMomentsView>();
    coordinator.addCoordinatedAnimations([weak, focused] {
        if (auto view = weak.lock()) view->setAlpha(focused ? 1.0 : 0.6);
    });
    if (focused) {
        if (highlightedIndex()) return;
        std::optional<int> preferred;
        if (auto delegate = delegate_.lock()) preferred = delegate->indexForPreferredFocusedItem(*this);
        // An index of `events()` (none outside it); the first marker without one, or while its event has no
        // marker yet.
        std::shared_ptr<ZuKeyMomentItem> marker;
        if (preferred) {
            if (*preferred < 0 || static_cast<std::size_t>(*preferred) >= events_.size()) return;
            marker = item(events_[static_cast<std::size_t>(*preferred)]);
        }
        if (!marker) marker = item(std::optional<int>(0));
        if (marker) highlight(marker);
        return;
    }
    if (auto selected = item(selectedIndex())) selected->setIsSelected(false);
    if (auto highlighted = item(highlightedIndex())) highlighted->setIsHighlighted(false);
}

void ZuKeyMomentsView::keyMomentsGroupViewDidSelect(ZuKeyMomentsGroupView& groupView, const ZuKeyMomentEvent& event) {
    (void)groupView;
    if (auto marker = item(event)) selectItem(marker);
}

}  // namespace lumora
