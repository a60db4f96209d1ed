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
        if (item && !leavingSet_.contains(item.get())) items.push_back(std::move(item));
    }
    return items;
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
    const int tag = detail::keyMomentTag(for_);
    if (!eventAt_.contains(tag)) return nullptr;
    auto mine = markers_.find(tag);
    if (mine != markers_.end() && mine->second->superview().get() == this) return mine->second;
    // A marker someone else put here for the event.
    for (const auto& subview : subviews()) {
        if (subview->tag() != tag) continue;
        auto marker = std::dynamic_pointer_cast<ZuKeyMomentItem>(subview);
        if (marker && !leavingSet_.contains(marker.get())) return marker;
    }
    return nullptr;
}

std::optional<ZuKeyMomentEvent> ZuKeyMomentsView::event(const ZuKeyMomentItem& for_) const {
    auto at = eventAt_.find(for_.tag());
    if (at == eventAt_.end()) return std::nullopt;
    return events_[at->second];
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

void ZuKeyMomentsView::insertItem(const ZuKeyMomentEvent& for_, std::size_t at) {
    auto marker = ZuKeyMomentItem::create();
    const int tag = detail::keyMomentTag(for_);
    marker->setTag(tag);
    marker->textLabel()->setText(for_.code);
    marker->addTargetAction(sharedAs<ZuKeyMomentsView>(), &ZuKeyMomentsView::selectKeyMomentItem,
                            uikit::UIControl::Event::touchUpInside());
    insertSubviewAt(marker, std::min(at, subviews().size()));
    markers_[tag] = marker;
    madeSincePlacement_.push_back(marker);
    keyMomentGroups_.push_back(std::move(marker));
}

void ZuKeyMomentsView::continueUpdate() {
    // Markers leave first, the last of them first (a view leaves at the cost of the views after it), and only
    // then are markers made, in event order: no hidden marker is left in between to upset their places.
    std::size_t takeAway = markersTakenAwayPerFrame;
    for (; leavingFrom_ < leaving_.size() && takeAway > 0; ++leavingFrom_, --takeAway) {
        auto marker = std::move(leaving_[leavingFrom_]);
        leavingSet_.erase(marker.get());
        if (marker->superview().get() == this) marker->removeFromSuperview();
    }
    if (leavingFrom_ == leaving_.size()) {
        leaving_.clear();
        leavingFrom_ = 0;
        std::size_t make = markersPerFrame;
        for (; waitingFrom_ < events_.size() && !waiting_.empty() && make > 0; ++waitingFrom_) {
            if (waiting_.erase(tags_[waitingFrom_]) == 0) continue;
            --make;
            insertItem(events_[waitingFrom_], waitingFrom_);
        }
    }
    const bool done = leaving_.empty() && waiting_.empty();
    if (done && frames_) {
        frames_->invalidate();
        frames_.reset();
    } else if (!done && !frames_) {
        frames_ = quartzcore::CADisplayLink::create(sharedAs<ZuKeyMomentsView>(), &ZuKeyMomentsView::continueUpdate);
        frames_->add(dispatch::RunLoop::main());
    }
    if (selectionWaitsFor_ != 0 && !waiting_.contains(selectionWaitsFor_)) {
        selectionWaitsFor_ = 0;
        setNeedsUpdateSelectedKeyMomentItem();
    }
}

void ZuKeyMomentsView::removeItems(const ZuKeyMomentEvent& for_,
                                   std::vector<std::shared_ptr<ZuKeyMomentItem>>& leaving) {
    const int tag = detail::keyMomentTag(for_);
    waiting_.erase(tag);
    auto mine = markers_.find(tag);
    if (mine == markers_.end()) return;
    auto marker = std::move(mine->second);
    markers_.erase(mine);
    // Only the strip's own marker goes: other subviews stay, whatever their tag. One taken away behind the
    // strip's back stays listed among those made.
    if (marker->superview().get() == this) leaving.push_back(std::move(marker));
}

void ZuKeyMomentsView::retire(std::vector<std::shared_ptr<ZuKeyMomentItem>> leaving) {
    if (leaving.empty()) return;
    std::unordered_set<const uikit::UIView*> gone;
    for (const auto& marker : leaving) gone.insert(marker.get());
    std::erase_if(keyMomentGroups_, [&](const auto& m) { return gone.contains(m.get()); });
    // In the order they leave, the last subview first: the subviews read from the end.
    for (std::size_t i = leavingFrom_; i < leaving_.size(); ++i) gone.insert(leaving_[i].get());
    leaving_.clear();
    leavingFrom_ = 0;
    for (auto it = subviews().rbegin(); it != subviews().rend(); ++it) {
        if (gone.contains(it->get())) leaving_.push_back(std::static_pointer_cast<ZuKeyMomentItem>(*it));
    }
    // Those that wait for a later frame are hidden at once (and no longer count as markers).
    std::unordered_set<const ZuKeyMomentItem*> hidden;
    for (std::size_t i = 0; i < leaving_.size(); ++i) {
        const ZuKeyMomentItem* marker = leaving_[i].get();
        const bool wasHidden = leavingSet_.contains(marker);
        if (!wasHidden && i < markersTakenAwayPerFrame) continue;  // it goes in this turn
        if (!wasHidden) leaving_[i]->setIsHidden(true);
        hidden.insert(marker);
    }
    leavingSet_ = std::move(hidden);
}

void ZuKeyMomentsView::clearGroup() {
    keyMomentsGroupView_->update({}, std::nullopt);
    groupedEvents_.clear();
}

void ZuKeyMomentsView::update(const std::vector<ZuKeyMomentEvent>& events, double duration) {
    // Sorted by start time (stable) through their indices: events are large to move around.
    std::vector<std::size_t> order(events.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return byStartTime(events[a], events[b]); });
    // One marker per event: later copies of an event are dropped, so no two markers share a tag.
    std::vector<ZuKeyMomentEvent> sorted;
    sorted.reserve(events.size());
    std::unordered_set<int> seen;
    for (std::size_t i : order) {
        if (seen.insert(detail::keyMomentTag(events[i])).second) sorted.push_back(events[i]);
    }

    const auto steps = PHDiff::steps(events_, sorted);
    // The new list is the one the strip shows from here: markers made on coming frames take their places in it.
    events_ = std::move(sorted);
    tags_.clear();
    eventAt_.clear();
    for (std::size_t i = 0; i < events_.size(); ++i) {
        tags_.push_back(detail::keyMomentTag(events_[i]));
        eventAt_.emplace(tags_.back(), i);
    }
    // The markers of deleted and moved events leave; markers are made for inserted and moved ones, in the order
    // of their events (an update never comes: equal events are the same event).
    std::vector<std::shared_ptr<ZuKeyMomentItem>> leaving;
    waitingFrom_ = waiting_.empty() ? events_.size() : 0;
    for (const auto& step : steps) {
        if (step.isDelete() || step.isMove()) removeItems(step.value(), leaving);
        if (step.isInsert() || step.isMove()) {
            waiting_.insert(detail::keyMomentTag(step.value()));
            waitingFrom_ = std::min(waitingFrom_, step.index());
        }
    }
    retire(std::move(leaving));
    continueUpdate();

    if (keyMomentItems().empty()) {
        clearGroup();
        keyMomentGroups_.clear();
    }
    if (!steps.empty()) {
        if (auto selected = item(selectedIndex())) {
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
            auto found = marker ? eventAt_.find(marker->tag()) : eventAt_.end();
            if (found != eventAt_.end() && marker->superview().get() == this)
                place(*marker, events_[found->second].videoTime);
        }
        return;
    }
    placeAll_ = false;
    placedIn_ = guide;
    placedOn_ = baseline;
    for (const auto& subview : subviews()) {
        // The tag first (cheap), then whether the view is a marker at all.
        auto found = eventAt_.find(subview->tag());
        if (found == eventAt_.end()) continue;
        auto* marker = dynamic_cast<ZuKeyMomentItem*>(subview.get());
        if (marker && !leavingSet_.contains(marker)) place(*marker, events_[found->second].videoTime);
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
    const auto markers = markersInEventOrder();
    for (const auto& marker : markers) {
        if (marker->isSelected()) marker->setIsSelected(false);
    }
    item->setIsSelected(true);
    calculateGroupLater(item);
    const auto position = std::find(markers.begin(), markers.end(), item);
    if (position == markers.end()) return;
    if (auto delegate = delegate_.lock()) {
        delegate->keyMomentsViewDidSelectItemAt(*this, static_cast<int>(position - markers.begin()));
    }
}

void ZuKeyMomentsView::setNeedsUpdateSelectedKeyMomentItem() {
    auto delegate = delegate_.lock();
    if (!delegate) return;
    auto selectedEvent = delegate->selectedKeyMoment(*this);
    if (!selectedEvent) return;
    auto marker = item(*selectedEvent);
    if (!marker) {
        // Its marker is still to make: the selection is applied when it is.
        if (const int tag = detail::keyMomentTag(*selectedEvent); waiting_.contains(tag)) selectionWaitsFor_ = tag;
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
    if (auto current = item(highlightedIndex())) current->setIsHighlighted(false);
    items[static_cast<std::size_t>(*at)]->setIsHighlighted(true);
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
        highlightItem(preferred.value_or(0));
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
