#include "uikit/UIControl.h"

#include <algorithm>

#include "uikit/UIGestureRecognizer.h"

namespace uikit {

UIControl::UIControl(const CGRect& frame) : UIView(frame) {}

std::shared_ptr<UIControl> UIControl::create(const CGRect& frame) {
    return std::shared_ptr<UIControl>(new UIControl(frame));
}

UIControl::~UIControl() {
    auto entries = std::move(entries_);
    entries_.clear();
    for (auto& e : entries) {
        if (e.onRelease) e.onRelease();
    }
}

// ---- State ------------------------------------------------------------------------------------------------

void UIControl::setIsEnabled(bool enabled) {
    if (enabled == isEnabled_) return;
    isEnabled_ = enabled;
    if (!enabled && isHighlighted_) setIsHighlighted(false);
    stateDidChange();
    setNeedsDisplay();
}

void UIControl::setIsSelected(bool selected) {
    if (selected == isSelected_) return;
    isSelected_ = selected;
    stateDidChange();
    setNeedsDisplay();
}

void UIControl::setIsHighlighted(bool highlighted) {
    if (highlighted == isHighlighted_) return;
    isHighlighted_ = highlighted;
    stateDidChange();
    setNeedsDisplay();
}

UIControl::State UIControl::state() const {
    State s = State::normal();
    if (isHighlighted()) s = s | State::highlighted();
    if (!isEnabled()) s = s | State::disabled();
    if (isSelected()) s = s | State::selected();
    if (isFocused()) s = s | State::focused();
    return s;
}

void UIControl::setContentHorizontalAlignment(ContentHorizontalAlignment alignment) {
    horizontalAlignment_ = alignment;
    setNeedsLayout();
}

void UIControl::setContentVerticalAlignment(ContentVerticalAlignment alignment) {
    verticalAlignment_ = alignment;
    setNeedsLayout();
}

// ---- Target-action ----------------------------------------------------------------------------------------

void UIControl::addEntry(const std::shared_ptr<const void>& target, Event events, Handler handler) {
    entries_.push_back(Entry{nextId_++, events, target, true, std::move(handler), nullptr});
}

void UIControl::removeEntries(const std::weak_ptr<const void>& target, Event events) {
    for (auto& e : entries_) {
        if (!e.hasTarget || e.target.owner_before(target) || target.owner_before(e.target)) continue;
        e.events.rawValue &= ~events.rawValue;
    }
    std::erase_if(entries_, [](const Entry& e) { return e.events.rawValue == 0; });
}

UIControl::ActionId UIControl::addAction(Handler handler, Event events, std::function<void()> onRelease) {
    ActionId id = nextId_++;
    entries_.push_back(Entry{id, events, {}, false, std::move(handler), std::move(onRelease)});
    return id;
}

void UIControl::removeAction(ActionId id) {
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

UIControl::Event UIControl::allControlEvents() const {
    Event all;
    for (const auto& e : entries_) all = all | e.events;
    return all;
}

void UIControl::sendActions(Event events, const UIEvent* event) {
    auto keepAlive = sharedView();
    for (unsigned bit = 0; bit < 32; ++bit) {
        Event one{1u << bit};
        if (!events.contains(one)) continue;
        auto snapshot = entries_;
        for (const auto& e : snapshot) {
            if (!e.events.contains(one)) continue;
            // An action removed by an earlier one in this round is not run.
            bool installed =
                std::any_of(entries_.begin(), entries_.end(), [&](const Entry& x) { return x.id == e.id; });
            if (installed && e.handler) e.handler(*this, event);
        }
    }
}

// ---- Tracking ---------------------------------------------------------------------------------------------

bool UIControl::beginTrackingWith(UITouch& touch, const UIEvent* event) {
    (void)touch;
    (void)event;
    return true;
}

bool UIControl::continueTrackingWith(UITouch& touch, const UIEvent* event) {
    (void)touch;
    (void)event;
    return true;
}

void UIControl::endTrackingWith(UITouch* touch, const UIEvent* event) {
    (void)touch;
    (void)event;
}

void UIControl::cancelTracking(const UIEvent* event) {
    (void)event;
}

bool UIControl::isInsideForTracking(const UITouch& touch) const {
    CGPoint p = touch.location(sharedView());
    CGRect area = bounds().insetBy(-trackingMargin, -trackingMargin);
    return area.contains(p);
}

void UIControl::touchesBegan(const UITouchSet& touches, const UIEvent* event) {
    if (touches.empty() || !isEnabled() || !trackingTouch_.expired()) return;
    auto keepAlive = sharedView();
    const auto& touch = touches.front();
    trackingTouch_ = touch;
    isTouchInside_ = true;
    isTracking_ = beginTrackingWith(*touch, event);
    setIsHighlighted(true);
    sendActions(Event::touchDown(), event);
    if (touch->tapCount() > 1) sendActions(Event::touchDownRepeat(), event);
}

void UIControl::touchesMoved(const UITouchSet& touches, const UIEvent* event) {
    auto touch = trackingTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    auto keepAlive = sharedView();
    bool inside = isInsideForTracking(*touch);
    if (isTracking_) isTracking_ = continueTrackingWith(*touch, event);
    if (inside != isTouchInside_) {
        isTouchInside_ = inside;
        setIsHighlighted(inside);
        sendActions(inside ? Event::touchDragEnter() : Event::touchDragExit(), event);
    }
    sendActions(inside ? Event::touchDragInside() : Event::touchDragOutside(), event);
}

void UIControl::touchesEnded(const UITouchSet& touches, const UIEvent* event) {
    auto touch = trackingTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    auto keepAlive = sharedView();
    bool inside = isInsideForTracking(*touch);
    isTouchInside_ = inside;
    endTrackingWith(touch.get(), event);
    isTracking_ = false;
    trackingTouch_.reset();
    setIsHighlighted(false);
    if (inside) {
        sendActions(Event::touchUpInside(), event);
        sendActions(Event::primaryActionTriggered(), event);
    } else {
        sendActions(Event::touchUpOutside(), event);
    }
    isTouchInside_ = false;
}

void UIControl::touchesCancelled(const UITouchSet& touches, const UIEvent* event) {
    auto touch = trackingTouch_.lock();
    if (!touch || std::find(touches.begin(), touches.end(), touch) == touches.end()) return;
    auto keepAlive = sharedView();
    cancelTracking(event);
    isTracking_ = false;
    isTouchInside_ = false;
    trackingTouch_.reset();
    setIsHighlighted(false);
    sendActions(Event::touchCancel(), event);
}

std::shared_ptr<UIView> UIControl::hitTestWith(CGPoint point, const UIEvent* event) {
    if (!isEnabled()) return nullptr;
    return UIView::hitTestWith(point, event);
}

bool UIControl::gestureRecognizerShouldBegin(UIGestureRecognizer& recognizer) {
    // A single tap on a control belongs to the control, not to a tap recogniser of an ancestor.
    if (recognizer.view().get() == this) return true;
    if (auto* tap = dynamic_cast<UITapGestureRecognizer*>(&recognizer)) {
        if (tap->numberOfTapsRequired() == 1 && tap->numberOfTouchesRequired() == 1 && tap->numberOfTouches() <= 1) {
            return !isEnabled();
        }
    }
    return true;
}

// ---- Rx ---------------------------------------------------------------------------------------------------

rx::ControlEvent<rx::Unit> UIControlReactive::controlEvent(UIControl::Event events) const {
    std::weak_ptr<UIControl> weak = base_;
    return rx::ControlEvent<rx::Unit>(
        rx::Observable<rx::Unit>::create([weak, events](const rx::AnyObserver<rx::Unit>& observer) -> rx::Disposable {
            auto control = weak.lock();
            if (!control) {
                observer.onCompleted();
                return rx::Disposable();
            }
            auto id = control->addAction([observer](UIControl&, const UIEvent*) { observer.onNext(rx::Unit{}); },
                                         events, [observer] { observer.onCompleted(); });
            return rx::Disposables::create([weak, id] {
                if (auto c = weak.lock()) c->removeAction(id);
            });
        }));
}

rx::ControlEvent<rx::Unit> UIControlReactive::primaryAction() const {
    return controlEvent(UIControl::Event::primaryActionTriggered());
}

}  // namespace uikit
