#include "keymoments/ZuKeyMomentsView.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "dispatch/DispatchQueue.h"
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
        if (auto item = std::dynamic_pointer_cast<ZuKeyMomentItem>(subview)) items.push_back(std::move(item));
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
    if (std::find(events_.begin(), events_.end(), for_) == events_.end()) return nullptr;
    const int tag = detail::keyMomentTag(for_);
    for (const auto& subview : subviews()) {
        if (subview->tag() != tag) continue;
        if (auto marker = std::dynamic_pointer_cast<ZuKeyMomentItem>(subview)) return marker;
    }
    return nullptr;
}

std::optional<ZuKeyMomentEvent> ZuKeyMomentsView::event(const ZuKeyMomentItem& for_) const {
    for (const auto& event : events_) {
        if (detail::keyMomentTag(event) == for_.tag()) return event;
    }
    return std::nullopt;
}

std::vector<std::shared_ptr<ZuKeyMomentItem>> ZuKeyMomentsView::markersInEventOrder() const {
    std::unordered_map<int, std::shared_ptr<ZuKeyMomentItem>> byTag;
    for (const auto& marker : keyMomentItems()) byTag.try_emplace(marker->tag(), marker);
    std::vector<std::shared_ptr<ZuKeyMomentItem>> markers;
    markers.reserve(events_.size());
    for (const auto& event : events_) {
        if (auto found = byTag.find(detail::keyMomentTag(event)); found != byTag.end())
            markers.push_back(found->second);
    }
    return markers;
}

// ---- Events ---------------------------------------------------------------------------------------------------

void ZuKeyMomentsView::insertItem(const ZuKeyMomentEvent& for_, std::size_t at) {
    auto marker = ZuKeyMomentItem::create();
    marker->setTag(detail::keyMomentTag(for_));
    marker->textLabel()->setText(for_.code);
    marker->addTargetAction(sharedAs<ZuKeyMomentsView>(), &ZuKeyMomentsView::selectKeyMomentItem,
                            uikit::UIControl::Event::touchUpInside());
    insertSubviewAt(marker, std::min(at, subviews().size()));
    keyMomentGroups_.push_back(std::move(marker));
}

void ZuKeyMomentsView::removeItems(const ZuKeyMomentEvent& for_) {
    const int tag = detail::keyMomentTag(for_);
    // The tag first (cheap), then whether the view is a marker at all: other subviews stay, whatever their tag.
    std::vector<std::shared_ptr<ZuKeyMomentItem>> gone;
    for (const auto& subview : subviews()) {
        if (subview->tag() != tag) continue;
        if (auto marker = std::dynamic_pointer_cast<ZuKeyMomentItem>(subview)) gone.push_back(std::move(marker));
    }
    for (const auto& marker : gone) {
        marker->removeFromSuperview();
        auto found = std::find(keyMomentGroups_.begin(), keyMomentGroups_.end(), marker);
        if (found != keyMomentGroups_.end()) keyMomentGroups_.erase(found);
    }
}

void ZuKeyMomentsView::clearGroup() {
    keyMomentsGroupView_->update({}, std::nullopt);
    groupedEvents_.clear();
}

void ZuKeyMomentsView::update(const std::vector<ZuKeyMomentEvent>& events, double duration) {
    std::vector<ZuKeyMomentEvent> sorted = events;
    std::stable_sort(sorted.begin(), sorted.end(), byStartTime);
    // One marker per event: later copies of an event are dropped, so no two markers share a tag.
    std::unordered_set<ZuKeyMomentEvent> seen;
    std::erase_if(sorted, [&seen](const ZuKeyMomentEvent& event) { return !seen.insert(event).second; });

    const auto steps = PHDiff::steps(events_, sorted);
    for (const auto& step : steps) {
        switch (step.kind()) {
            case DiffStep<ZuKeyMomentEvent>::Kind::insert:
                insertItem(step.value(), step.index());
                break;
            case DiffStep<ZuKeyMomentEvent>::Kind::delete_:
                removeItems(step.value());
                break;
            case DiffStep<ZuKeyMomentEvent>::Kind::move:
                removeItems(step.value());
                insertItem(step.value(), step.toIndex());
                break;
            case DiffStep<ZuKeyMomentEvent>::Kind::update:
                break;  // equal events are the same event: the diff never updates one
        }
    }

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
    events_ = std::move(sorted);
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
    if (!std::isfinite(duration_)) return;
    const uikit::CGRect guide = bounds().inset(layoutMargins());
    const uikit::CGFloat baseline = bounds().maxY();
    std::unordered_map<int, double> times;
    for (const auto& event : events_) times.try_emplace(detail::keyMomentTag(event), event.videoTime);
    for (const auto& marker : keyMomentItems()) {
        auto found = times.find(marker->tag());
        if (found == times.end() || !std::isfinite(found->second)) continue;
        const double p = duration_ == 0 ? 0.0 : found->second / duration_;
        const uikit::CGFloat x = guide.minX() + guide.width() * p;
        if (!std::isfinite(x) || !std::isfinite(baseline)) continue;
        marker->setCenter(uikit::CGPoint{x, baseline});
    }
}

void ZuKeyMomentsView::layoutSublayers(quartzcore::CALayer& layer) {
    ZuView::layoutSublayers(layer);
    auto selected = item(selectedIndex());
    if (!selected || !needsGroupCalculation_) return;
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
    if (!marker) return;
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
