#include <algorithm>
#include <cmath>

#include "dispatch/Clock.h"
#include "uikit/UIApplication.h"
#include "uikit/UIEvent.h"
#include "uikit/UIFocus.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"
#include "uikit/detail/EventDispatch.h"

namespace uikit {

namespace {

double now() {
    return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
}

constexpr double multiTapInterval = 0.35;
constexpr CGFloat multiTapDistance = 45;

template <class T>
bool containsPointer(const std::vector<std::shared_ptr<T>>& list, const T* item) {
    return std::any_of(list.begin(), list.end(), [item](const auto& p) { return p.get() == item; });
}

bool listsRecognizer(const std::vector<std::weak_ptr<UIGestureRecognizer>>& list, const UIGestureRecognizer* r) {
    return std::any_of(list.begin(), list.end(), [r](const auto& w) { return w.lock().get() == r; });
}

bool isFinalState(UIGestureRecognizer::State s) {
    using S = UIGestureRecognizer::State;
    return s == S::ended || s == S::cancelled || s == S::failed;
}

bool accepts(const std::vector<UITouch::TouchType>& types, UITouch::TouchType type) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool accepts(const std::vector<UIPress::PressType>& types, UIPress::PressType type) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

std::vector<std::shared_ptr<UIGestureRecognizer>> live(const std::vector<std::weak_ptr<UIGestureRecognizer>>& list) {
    std::vector<std::shared_ptr<UIGestureRecognizer>> result;
    for (const auto& w : list) {
        if (auto r = w.lock()) result.push_back(std::move(r));
    }
    return result;
}

// The touches or presses that `recognizer` receives.
template <class Item>
std::vector<std::shared_ptr<Item>> receivedBy(const std::vector<std::shared_ptr<Item>>& items,
                                              const UIGestureRecognizer* recognizer) {
    std::vector<std::shared_ptr<Item>> result;
    if (!recognizer) return result;
    for (const auto& item : items) {
        if (containsPointer(item->gestureRecognizers(), recognizer)) result.push_back(item);
    }
    return result;
}

}  // namespace

// ---- UITouch, UIPress, events -----------------------------------------------------------------------------

UITouch::UITouch() : state_(std::make_unique<detail::TouchState>()) {}
UITouch::~UITouch() = default;

CGPoint UITouch::location(const std::shared_ptr<UIView>& in) const {
    if (!in) return location_;
    return in->convertFrom(location_, window_.lock());
}

CGPoint UITouch::previousLocation(const std::shared_ptr<UIView>& in) const {
    if (!in) return previousLocation_;
    return in->convertFrom(previousLocation_, window_.lock());
}

std::vector<std::shared_ptr<UIGestureRecognizer>> UITouch::gestureRecognizers() const {
    return live(state_->recognizers);
}

UIPress::UIPress() : state_(std::make_unique<detail::PressState>()) {}
UIPress::~UIPress() = default;

std::vector<std::shared_ptr<UIGestureRecognizer>> UIPress::gestureRecognizers() const {
    return live(state_->recognizers);
}

std::shared_ptr<UIEvent> UIEvent::create(EventType type, UITouchSet touches, double timestamp) {
    return std::shared_ptr<UIEvent>(new UIEvent(type, std::move(touches), timestamp));
}

std::optional<UITouchSet> UIEvent::touches(const std::shared_ptr<UIView>& forView) const {
    if (!forView) return std::nullopt;
    UITouchSet result;
    for (const auto& t : touches_) {
        if (t->view() == forView) result.push_back(t);
    }
    if (result.empty()) return std::nullopt;
    return result;
}

std::optional<UITouchSet> UIEvent::touches(const std::shared_ptr<UIGestureRecognizer>& forRecognizer) const {
    UITouchSet result = receivedBy(touches_, forRecognizer.get());
    if (result.empty()) return std::nullopt;
    return result;
}

std::shared_ptr<UIPressesEvent> UIPressesEvent::create(UIPressSet presses, double timestamp) {
    return std::shared_ptr<UIPressesEvent>(new UIPressesEvent(std::move(presses), timestamp));
}

UIPressSet UIPressesEvent::presses(const std::shared_ptr<UIGestureRecognizer>& forRecognizer) const {
    return receivedBy(presses_, forRecognizer.get());
}

namespace detail {

// What differs between touches and presses on their way to recognisers and targets; the way itself is
// one (dispatchItems). Nested in the dispatcher for its access to the toolkit's internals.
struct EventDispatcher::TouchTraits {
    using Item = UITouch;
    using Phase = UITouch::Phase;
    using Event = UIEvent;
    using Target = UIView;
    static constexpr Phase order[] = {Phase::began, Phase::moved, Phase::ended, Phase::cancelled};

    static const UITouchSet& items(const UIEvent& event) { return event.allTouches(); }
    static bool changed(const UITouch& t) { return t.phase_ != Phase::stationary && !t.state_->finished; }
    static Phase phase(const UITouch& t) { return t.phase_; }
    static const auto& recognizers(const UITouch& t) { return t.state_->recognizers; }
    static UITouchSet& received(UIGestureRecognizer& r) { return r.touches_; }
    static void took(UIGestureRecognizer& r, const UITouch& t) { r.window_ = t.window_; }
    // Recognisers that have decided still follow where their touches are.
    static void regrouped(UIGestureRecognizer& r) { r.updateCentroid(); }
    static void feed(UIGestureRecognizer& r, Phase phase, const UITouchSet& group, const UIEvent& event) {
        switch (phase) {
            case Phase::began:
                r.touchesBegan(group, event);
                break;
            case Phase::moved:
                r.touchesMoved(group, event);
                break;
            case Phase::ended:
                r.touchesEnded(group, event);
                break;
            default:
                r.touchesCancelled(group, event);
                break;
        }
    }
    // The view a touch goes to now, nothing when it goes nowhere or recognisers hold it back.
    static std::shared_ptr<UIView> target(EventDispatcher& dispatcher, const std::shared_ptr<UITouch>& t, Phase phase,
                                          const std::shared_ptr<UIEvent>& event) {
        auto& st = *t->state_;
        if (!t->view_ || !st.deliversToView || st.viewDone) return nullptr;
        if (dispatcher.isHeld(*t, phase)) {
            st.held.push_back(HeldDelivery{phase, event});
            return nullptr;
        }
        if (phase == Phase::began) st.viewBegan = true;
        if (phase == Phase::ended || phase == Phase::cancelled) st.viewDone = true;
        return t->view_;
    }
    static void deliver(UIView& view, Phase phase, const UITouchSet& touches, const UIEvent* event) {
        switch (phase) {
            case Phase::began:
                view.touchesBegan(touches, event);
                break;
            case Phase::moved:
                view.touchesMoved(touches, event);
                break;
            case Phase::ended:
                view.touchesEnded(touches, event);
                break;
            default:
                view.touchesCancelled(touches, event);
                break;
        }
    }
};

struct EventDispatcher::PressTraits {
    using Item = UIPress;
    using Phase = UIPress::Phase;
    using Event = UIPressesEvent;
    using Target = UIResponder;
    static constexpr Phase order[] = {Phase::began, Phase::ended, Phase::cancelled};

    static const UIPressSet& items(const UIPressesEvent& event) { return event.allPresses(); }
    static bool changed(const UIPress& p) { return p.phase_ != Phase::stationary && p.phase_ != Phase::changed; }
    static Phase phase(const UIPress& p) { return p.phase_; }
    static const auto& recognizers(const UIPress& p) { return p.state_->recognizers; }
    static UIPressSet& received(UIGestureRecognizer& r) { return r.presses_; }
    static void took(UIGestureRecognizer&, const UIPress&) {}
    static void regrouped(UIGestureRecognizer&) {}
    static void feed(UIGestureRecognizer& r, Phase phase, const UIPressSet& group, const UIPressesEvent& event) {
        if (phase == Phase::began) {
            r.pressesBegan(group, event);
        } else if (phase == Phase::ended) {
            r.pressesEnded(group, event);
        } else {
            r.pressesCancelled(group, event);
        }
    }
    // The responder a press goes to now; nothing once it has had its end.
    static std::shared_ptr<UIResponder> target(EventDispatcher&, const std::shared_ptr<UIPress>& p, Phase phase,
                                               const std::shared_ptr<UIPressesEvent>&) {
        auto responder = p->responder_.lock();
        auto& st = *p->state_;
        if (!responder || st.responderDone) return nullptr;
        if (phase == Phase::began) st.responderBegan = true;
        if (phase != Phase::began) st.responderDone = true;
        return responder;
    }
    static void deliver(UIResponder& responder, Phase phase, const UIPressSet& presses, const UIPressesEvent* event) {
        if (phase == Phase::began) {
            responder.pressesBegan(presses, event);
        } else if (phase == Phase::ended) {
            responder.pressesEnded(presses, event);
        } else {
            responder.pressesCancelled(presses, event);
        }
    }
};

EventDispatcher& EventDispatcher::shared() {
    static EventDispatcher dispatcher;
    return dispatcher;
}

// The recognisers from `view` up to its window that take an item of this type and whose delegates agree.
template <class Item, class Type>
void EventDispatcher::attachRecognizers(const std::shared_ptr<UIView>& view, Item& item, Type type) {
    for (auto v = view; v; v = v->superview()) {
        for (const auto& r : v->gestureRecognizers()) {
            if constexpr (std::is_same_v<Item, UITouch>) {
                if (!r->isEnabled() || !accepts(r->allowedTouchTypes(), type)) continue;
            } else {
                if (!r->isEnabled() || !accepts(r->allowedPressTypes(), type)) continue;
            }
            if (isFinalState(r->state())) continue;
            if (auto d = r->delegate().lock(); d && !d->gestureRecognizerShouldReceive(*r, item)) continue;
            item.state_->recognizers.push_back(r);
        }
    }
}

// ---- Making touch events ----------------------------------------------------------------------------------

std::shared_ptr<UIEvent> EventDispatcher::makeTouchEvent(const std::shared_ptr<UIWindow>& window) {
    UITouchSet touches;
    for (const auto& t : active_) {
        if (t->window_.lock() == window) touches.push_back(t);
    }
    return UIEvent::create(UIEvent::EventType::touches, std::move(touches), now());
}

void EventDispatcher::sendThroughApplication(const std::shared_ptr<UIEvent>& event) {
    auto previous = currentEvent_;
    currentEvent_ = event;
    UIApplication::shared()->sendEvent(event);
    currentEvent_ = previous;
}

void EventDispatcher::holdStill(const std::shared_ptr<UIWindow>& window) {
    for (const auto& a : active_) {
        if (a->window_.lock() == window) {
            a->previousLocation_ = a->location_;
            a->phase_ = UITouch::Phase::stationary;
        }
    }
}

std::vector<std::shared_ptr<UITouch>> EventDispatcher::beginTouches(const std::shared_ptr<UIWindow>& window,
                                                                    const std::vector<CGPoint>& points) {
    std::vector<std::shared_ptr<UITouch>> made;
    if (!window || points.empty()) return made;
    // Touches of windows that are gone can never end: drop them.
    std::erase_if(active_, [](const auto& a) { return a->window_.expired(); });
    double t = now();
    holdStill(window);
    for (CGPoint p : points) {
        auto touch = std::shared_ptr<UITouch>(new UITouch());
        touch->phase_ = UITouch::Phase::began;
        touch->timestamp_ = t;
        touch->window_ = window;
        touch->location_ = touch->previousLocation_ = p;
        bool repeat = lastTapTime_ >= 0 && t - lastTapTime_ <= multiTapInterval && lastTapWindow_.lock() == window &&
                      std::hypot(p.x - lastTapLocation_.x, p.y - lastTapLocation_.y) <= multiTapDistance;
        touch->tapCount_ = repeat ? lastTapCount_ + 1 : 1;
        auto hit = window->hitTestWith(p, nullptr);
        touch->view_ = hit;
        if (hit) {
            if (!hit->isMultipleTouchEnabled()) {
                for (const auto& other : active_) {
                    if (other->view_ == hit && !other->state_->finished) touch->state_->deliversToView = false;
                }
            }
            attachRecognizers(hit, *touch, touch->type_);
        }
        active_.push_back(touch);
        made.push_back(touch);
    }
    sendThroughApplication(makeTouchEvent(window));
    retireFinished();
    return made;
}

void EventDispatcher::moveTouches(const std::vector<std::pair<std::shared_ptr<UITouch>, CGPoint>>& moves) {
    std::shared_ptr<UIWindow> window;
    for (const auto& [touch, point] : moves) {
        if (touch && !touch->state_->finished) window = touch->window_.lock();
    }
    if (!window) return;
    double t = now();
    holdStill(window);
    for (const auto& [touch, point] : moves) {
        if (!touch || touch->state_->finished || touch->window_.lock() != window) continue;
        touch->location_ = point;
        touch->phase_ = UITouch::Phase::moved;
        touch->timestamp_ = t;
    }
    sendThroughApplication(makeTouchEvent(window));
    retireFinished();
}

void EventDispatcher::endTouches(const UITouchSet& touches) {
    finishTouches(touches, UITouch::Phase::ended);
}

void EventDispatcher::cancelTouches(const UITouchSet& touches) {
    finishTouches(touches, UITouch::Phase::cancelled);
}

void EventDispatcher::finishTouches(const UITouchSet& touches, UITouch::Phase phase) {
    std::shared_ptr<UIWindow> window;
    for (const auto& t : touches) {
        if (t && !t->state_->finished) window = t->window_.lock();
    }
    if (!window) {
        if (phase != UITouch::Phase::cancelled) return;
        // The window is gone: nothing can receive the cancellation; just take the touches off the screen.
        for (const auto& t : touches) {
            if (!t || t->state_->finished) continue;
            t->phase_ = UITouch::Phase::cancelled;
            t->state_->finished = true;
        }
        std::erase_if(active_, [](const auto& t) { return t->state_->finished; });
        return;
    }
    double ts = now();
    holdStill(window);
    for (const auto& t : touches) {
        if (!t || t->state_->finished || t->window_.lock() != window) continue;
        t->phase_ = phase;
        t->timestamp_ = ts;
    }
    sendThroughApplication(makeTouchEvent(window));
    retireFinished();
}

void EventDispatcher::retireFinished() {
    for (const auto& t : active_) {
        if (t->phase_ == UITouch::Phase::ended) {
            lastTapWindow_ = t->window_;
            lastTapLocation_ = t->location_;
            lastTapTime_ = t->timestamp_;
            lastTapCount_ = t->tapCount_;
        }
        if (t->phase_ == UITouch::Phase::ended || t->phase_ == UITouch::Phase::cancelled) t->state_->finished = true;
    }
    std::erase_if(active_, [](const auto& t) { return t->state_->finished; });
    std::erase_if(activePresses_, [](const auto& p) {
        return p->phase_ == UIPress::Phase::ended || p->phase_ == UIPress::Phase::cancelled;
    });
}

// ---- Making press events ----------------------------------------------------------------------------------

std::shared_ptr<UIPress> EventDispatcher::beginPress(UIPress::PressType type, std::shared_ptr<UIResponder> responder) {
    if (!responder) {
        if (auto focused = UIFocusSystem::shared().focusedView()) {
            responder = focused;
        } else {
            responder = UIWindow::keyWindow();
        }
    }
    auto press = std::shared_ptr<UIPress>(new UIPress());
    press->type_ = type;
    press->phase_ = UIPress::Phase::began;
    press->timestamp_ = now();
    press->responder_ = responder;
    for (const auto& p : activePresses_) p->phase_ = UIPress::Phase::stationary;
    if (auto view = std::dynamic_pointer_cast<UIView>(responder)) attachRecognizers(view, *press, type);
    activePresses_.push_back(press);
    sendThroughApplication(UIPressesEvent::create(activePresses_, press->timestamp_));
    retireFinished();
    return press;
}

void EventDispatcher::endPress(const std::shared_ptr<UIPress>& press) {
    finishPress(press, UIPress::Phase::ended);
}

void EventDispatcher::cancelPress(const std::shared_ptr<UIPress>& press) {
    finishPress(press, UIPress::Phase::cancelled);
}

void EventDispatcher::finishPress(const std::shared_ptr<UIPress>& press, UIPress::Phase phase) {
    if (!press || press->phase_ == UIPress::Phase::ended || press->phase_ == UIPress::Phase::cancelled) return;
    if (!containsPointer(activePresses_, press.get())) return;
    for (const auto& p : activePresses_) p->phase_ = UIPress::Phase::stationary;
    press->phase_ = phase;
    press->timestamp_ = now();
    sendThroughApplication(UIPressesEvent::create(activePresses_, press->timestamp_));
    retireFinished();
}

// ---- Dispatch ---------------------------------------------------------------------------------------------

void EventDispatcher::dispatch(const std::shared_ptr<UIEvent>& event) {
    if (!event) return;
    GestureArena::Scope scope;
    auto previous = currentEvent_;
    currentEvent_ = event;
    if (event->type() == UIEvent::EventType::touches) {
        dispatchItems<TouchTraits>(event);
    } else if (event->type() == UIEvent::EventType::presses) {
        if (auto presses = std::dynamic_pointer_cast<UIPressesEvent>(event)) dispatchItems<PressTraits>(presses);
    }
    currentEvent_ = previous;
}

// Recognisers first, each given the changed items it receives, phase by phase in the order the items list
// them; then the items' targets (the touch's view, the press's responder), grouped by target, phase by
// phase.
template <class Traits>
void EventDispatcher::dispatchItems(const std::shared_ptr<typename Traits::Event>& event) {
    using Item = typename Traits::Item;
    std::vector<std::shared_ptr<Item>> changed;
    for (const auto& item : Traits::items(*event)) {
        if (Traits::changed(*item)) changed.push_back(item);
    }

    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers;
    for (const auto& item : changed) {
        for (const auto& w : Traits::recognizers(*item)) {
            auto r = w.lock();
            if (r && !containsPointer(recognizers, r.get())) recognizers.push_back(r);
        }
    }
    for (const auto& r : recognizers) {
        for (auto phase : Traits::order) {
            if (!r->isEnabled()) break;
            std::vector<std::shared_ptr<Item>> group;
            for (const auto& item : changed) {
                if (Traits::phase(*item) != phase || !listsRecognizer(Traits::recognizers(*item), r.get())) continue;
                auto& received = Traits::received(*r);
                if (phase == Traits::order[0]) {
                    if (isFinalState(r->state_)) continue;
                    GestureArena::shared().participate(*r);
                    if (!containsPointer(received, item.get())) received.push_back(item);
                    Traits::took(*r, *item);
                } else if (!containsPointer(received, item.get())) {
                    continue;
                }
                group.push_back(item);
            }
            if (group.empty()) continue;
            const bool decided = isFinalState(r->state_);
            Traits::regrouped(*r);
            if (decided) continue;  // a recogniser that has decided ignores its items until reset
            Traits::feed(*r, phase, group, *event);
        }
    }

    for (auto phase : Traits::order) {
        std::vector<std::pair<std::shared_ptr<typename Traits::Target>, std::vector<std::shared_ptr<Item>>>> groups;
        for (const auto& item : changed) {
            if (Traits::phase(*item) != phase) continue;
            auto target = Traits::target(*this, item, phase, event);
            if (!target) continue;
            auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == target; });
            if (it == groups.end()) {
                groups.emplace_back(std::move(target), std::vector<std::shared_ptr<Item>>{item});
            } else {
                it->second.push_back(item);
            }
        }
        for (const auto& [target, items] : groups) Traits::deliver(*target, phase, items, event.get());
    }
}

// ---- Held deliveries and cancellation ---------------------------------------------------------------------

bool EventDispatcher::isHeld(const UITouch& touch, UITouch::Phase phase) const {
    if (!touch.state_->held.empty()) return true;
    for (const auto& w : touch.state_->recognizers) {
        auto r = w.lock();
        if (!r || !r->participating_ || !r->isEnabled() || !containsPointer(r->touches_, &touch)) continue;
        if (r->state_ != UIGestureRecognizer::State::possible) continue;
        bool beganOrMoved = phase == UITouch::Phase::began || phase == UITouch::Phase::moved;
        if (beganOrMoved && r->delaysTouchesBegan()) return true;
        if (phase == UITouch::Phase::ended && r->delaysTouchesEnded()) return true;
    }
    return false;
}

void EventDispatcher::deliver(const std::shared_ptr<UITouch>& touch, UITouch::Phase phase,
                              const std::shared_ptr<UIEvent>& event) {
    auto& st = *touch->state_;
    auto view = touch->view_;
    if (!view || st.viewDone) return;
    UITouchSet set{touch};
    switch (phase) {
        case UITouch::Phase::began:
            st.viewBegan = true;
            view->touchesBegan(set, event.get());
            break;
        case UITouch::Phase::moved:
            view->touchesMoved(set, event.get());
            break;
        case UITouch::Phase::ended:
            st.viewDone = true;
            view->touchesEnded(set, event.get());
            break;
        default:
            st.viewDone = true;
            view->touchesCancelled(set, event.get());
            break;
    }
}

void EventDispatcher::flushHeld(const std::shared_ptr<UITouch>& touch) {
    auto& st = *touch->state_;
    while (!st.held.empty()) {
        HeldDelivery front = st.held.front();
        st.held.pop_front();
        if (isHeld(*touch, front.phase)) {
            st.held.push_front(front);
            return;
        }
        deliver(touch, front.phase, front.event);
    }
}

void EventDispatcher::cancelInView(const std::shared_ptr<UITouch>& touch) {
    auto& st = *touch->state_;
    if (st.viewDone) return;
    st.held.clear();
    st.viewDone = true;
    if (!st.viewBegan || !touch->view_ || !st.deliversToView) return;
    auto event = currentEvent_ ? currentEvent_ : UIEvent::create(UIEvent::EventType::touches, {touch}, now());
    touch->view_->touchesCancelled(UITouchSet{touch}, event.get());
}

void EventDispatcher::recognizerDidChangeState(UIGestureRecognizer& recognizer, bool recognizedNow) {
    if (recognizedNow && recognizer.cancelsTouchesInView()) {
        auto touches = recognizer.touches_;
        for (const auto& t : touches) cancelInView(t);
        auto presses = recognizer.presses_;
        for (const auto& p : presses) {
            auto& st = *p->state_;
            if (st.responderDone) continue;
            st.responderDone = true;
            auto responder = p->responder_.lock();
            if (!st.responderBegan || !responder) continue;
            std::shared_ptr<UIPressesEvent> event = std::dynamic_pointer_cast<UIPressesEvent>(currentEvent_);
            if (!event) event = UIPressesEvent::create({p}, now());
            responder->pressesCancelled(UIPressSet{p}, event.get());
        }
    }
    auto touches = recognizer.touches_;
    for (const auto& t : touches) flushHeld(t);
}

void EventDispatcher::viewDidLeaveWindow(UIView& view) {
    UITouchSet affected;
    for (const auto& t : active_) {
        if (t->state_->finished || !t->view_) continue;
        if (t->view_.get() == &view || t->view_->isDescendant(view)) affected.push_back(t);
    }
    if (!affected.empty()) cancelTouches(affected);
}

void EventDispatcher::resetForTesting() {
    active_.clear();
    activePresses_.clear();
    currentEvent_.reset();
    lastTapWindow_.reset();
    lastTapTime_ = -1;
    lastTapCount_ = 0;
}

}  // namespace detail

}  // namespace uikit
