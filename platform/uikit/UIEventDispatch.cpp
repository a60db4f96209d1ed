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
    std::vector<std::shared_ptr<UIGestureRecognizer>> result;
    for (const auto& w : state_->recognizers) {
        if (auto r = w.lock()) result.push_back(std::move(r));
    }
    return result;
}

UIPress::UIPress() : state_(std::make_unique<detail::PressState>()) {}
UIPress::~UIPress() = default;

std::vector<std::shared_ptr<UIGestureRecognizer>> UIPress::gestureRecognizers() const {
    std::vector<std::shared_ptr<UIGestureRecognizer>> result;
    for (const auto& w : state_->recognizers) {
        if (auto r = w.lock()) result.push_back(std::move(r));
    }
    return result;
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
    if (!forRecognizer) return std::nullopt;
    UITouchSet result;
    for (const auto& t : touches_) {
        auto list = t->gestureRecognizers();
        if (containsPointer(list, forRecognizer.get())) result.push_back(t);
    }
    if (result.empty()) return std::nullopt;
    return result;
}

std::shared_ptr<UIPressesEvent> UIPressesEvent::create(UIPressSet presses, double timestamp) {
    return std::shared_ptr<UIPressesEvent>(new UIPressesEvent(std::move(presses), timestamp));
}

UIPressSet UIPressesEvent::presses(const std::shared_ptr<UIGestureRecognizer>& forRecognizer) const {
    UIPressSet result;
    if (!forRecognizer) return result;
    for (const auto& p : presses_) {
        auto list = p->gestureRecognizers();
        if (containsPointer(list, forRecognizer.get())) result.push_back(p);
    }
    return result;
}

namespace detail {

EventDispatcher& EventDispatcher::shared() {
    static EventDispatcher dispatcher;
    return dispatcher;
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

std::vector<std::shared_ptr<UITouch>> EventDispatcher::beginTouches(const std::shared_ptr<UIWindow>& window,
                                                                    const std::vector<CGPoint>& points) {
    std::vector<std::shared_ptr<UITouch>> made;
    if (!window || points.empty()) return made;
    // Touches of windows that are gone can never end: drop them.
    std::erase_if(active_, [](const auto& a) { return a->window_.expired(); });
    double t = now();
    for (const auto& a : active_) {
        if (a->window_.lock() == window) {
            a->previousLocation_ = a->location_;
            a->phase_ = UITouch::Phase::stationary;
        }
    }
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
            for (auto v = hit; v; v = v->superview()) {
                for (const auto& r : v->gestureRecognizers()) {
                    if (!r->isEnabled() || !accepts(r->allowedTouchTypes(), touch->type_)) continue;
                    if (isFinalState(r->state())) continue;
                    if (auto d = r->delegate().lock(); d && !d->gestureRecognizerShouldReceive(*r, *touch)) continue;
                    touch->state_->recognizers.push_back(r);
                }
            }
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
    for (const auto& a : active_) {
        if (a->window_.lock() == window) {
            a->previousLocation_ = a->location_;
            a->phase_ = UITouch::Phase::stationary;
        }
    }
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
    std::shared_ptr<UIWindow> window;
    for (const auto& t : touches) {
        if (t && !t->state_->finished) window = t->window_.lock();
    }
    if (!window) return;
    double ts = now();
    for (const auto& a : active_) {
        if (a->window_.lock() == window) {
            a->previousLocation_ = a->location_;
            a->phase_ = UITouch::Phase::stationary;
        }
    }
    for (const auto& t : touches) {
        if (!t || t->state_->finished || t->window_.lock() != window) continue;
        t->phase_ = UITouch::Phase::ended;
        t->timestamp_ = ts;
    }
    sendThroughApplication(makeTouchEvent(window));
    retireFinished();
}

void EventDispatcher::cancelTouches(const UITouchSet& touches) {
    std::shared_ptr<UIWindow> window;
    for (const auto& t : touches) {
        if (t && !t->state_->finished) window = t->window_.lock();
    }
    if (!window) {
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
    for (const auto& a : active_) {
        if (a->window_.lock() == window) {
            a->previousLocation_ = a->location_;
            a->phase_ = UITouch::Phase::stationary;
        }
    }
    for (const auto& t : touches) {
        if (!t || t->state_->finished || t->window_.lock() != window) continue;
        t->phase_ = UITouch::Phase::cancelled;
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
    if (auto view = std::dynamic_pointer_cast<UIView>(responder)) {
        for (auto v = view; v; v = v->superview()) {
            for (const auto& r : v->gestureRecognizers()) {
                if (!r->isEnabled() || !accepts(r->allowedPressTypes(), type)) continue;
                if (isFinalState(r->state())) continue;
                if (auto d = r->delegate().lock(); d && !d->gestureRecognizerShouldReceive(*r, *press)) continue;
                press->state_->recognizers.push_back(r);
            }
        }
    }
    activePresses_.push_back(press);
    sendThroughApplication(UIPressesEvent::create(activePresses_, press->timestamp_));
    retireFinished();
    return press;
}

void EventDispatcher::endPress(const std::shared_ptr<UIPress>& press) {
    if (!press || press->phase_ == UIPress::Phase::ended || press->phase_ == UIPress::Phase::cancelled) return;
    if (!containsPointer(activePresses_, press.get())) return;
    for (const auto& p : activePresses_) p->phase_ = UIPress::Phase::stationary;
    press->phase_ = UIPress::Phase::ended;
    press->timestamp_ = now();
    sendThroughApplication(UIPressesEvent::create(activePresses_, press->timestamp_));
    retireFinished();
}

void EventDispatcher::cancelPress(const std::shared_ptr<UIPress>& press) {
    if (!press || press->phase_ == UIPress::Phase::ended || press->phase_ == UIPress::Phase::cancelled) return;
    if (!containsPointer(activePresses_, press.get())) return;
    for (const auto& p : activePresses_) p->phase_ = UIPress::Phase::stationary;
    press->phase_ = UIPress::Phase::cancelled;
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
        dispatchTouches(event);
    } else if (event->type() == UIEvent::EventType::presses) {
        if (auto presses = std::dynamic_pointer_cast<UIPressesEvent>(event)) dispatchPresses(presses);
    }
    currentEvent_ = previous;
}

void EventDispatcher::dispatchTouches(const std::shared_ptr<UIEvent>& event) {
    using Phase = UITouch::Phase;
    static constexpr Phase order[] = {Phase::began, Phase::moved, Phase::ended, Phase::cancelled};

    UITouchSet changed;
    for (const auto& t : event->allTouches()) {
        if (t->phase_ != Phase::stationary && !t->state_->finished) changed.push_back(t);
    }

    // Recognisers first, in the order their touches list them.
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers;
    for (const auto& t : changed) {
        for (const auto& w : t->state_->recognizers) {
            auto r = w.lock();
            if (r && !containsPointer(recognizers, r.get())) recognizers.push_back(r);
        }
    }
    for (const auto& r : recognizers) {
        for (Phase phase : order) {
            if (!r->isEnabled()) break;
            UITouchSet group;
            for (const auto& t : changed) {
                if (t->phase_ != phase || !listsRecognizer(t->state_->recognizers, r.get())) continue;
                if (phase == Phase::began) {
                    if (isFinalState(r->state_)) continue;
                    GestureArena::shared().participate(*r);
                    if (!containsPointer(r->touches_, t.get())) r->touches_.push_back(t);
                    r->window_ = t->window_;
                } else if (!containsPointer(r->touches_, t.get())) {
                    continue;
                }
                group.push_back(t);
            }
            if (group.empty()) continue;
            bool finished = isFinalState(r->state_);
            r->updateCentroid();
            if (finished) continue;  // a recogniser that has decided ignores its touches until reset
            switch (phase) {
                case Phase::began:
                    r->touchesBegan(group, *event);
                    break;
                case Phase::moved:
                    r->touchesMoved(group, *event);
                    break;
                case Phase::ended:
                    r->touchesEnded(group, *event);
                    break;
                default:
                    r->touchesCancelled(group, *event);
                    break;
            }
        }
    }

    // Then the views, grouped by view.
    for (Phase phase : order) {
        std::vector<std::pair<std::shared_ptr<UIView>, UITouchSet>> groups;
        for (const auto& t : changed) {
            if (t->phase_ != phase) continue;
            auto& st = *t->state_;
            if (!t->view_ || !st.deliversToView || st.viewDone) continue;
            if (isHeld(*t, phase)) {
                st.held.push_back(HeldDelivery{phase, event});
                continue;
            }
            if (phase == Phase::began) st.viewBegan = true;
            if (phase == Phase::ended || phase == Phase::cancelled) st.viewDone = true;
            auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == t->view_; });
            if (it == groups.end()) {
                groups.emplace_back(t->view_, UITouchSet{t});
            } else {
                it->second.push_back(t);
            }
        }
        for (const auto& [view, touches] : groups) {
            switch (phase) {
                case Phase::began:
                    view->touchesBegan(touches, event.get());
                    break;
                case Phase::moved:
                    view->touchesMoved(touches, event.get());
                    break;
                case Phase::ended:
                    view->touchesEnded(touches, event.get());
                    break;
                default:
                    view->touchesCancelled(touches, event.get());
                    break;
            }
        }
    }
}

void EventDispatcher::dispatchPresses(const std::shared_ptr<UIPressesEvent>& event) {
    using Phase = UIPress::Phase;
    static constexpr Phase order[] = {Phase::began, Phase::ended, Phase::cancelled};

    UIPressSet changed;
    for (const auto& p : event->allPresses()) {
        if (p->phase_ != Phase::stationary && p->phase_ != Phase::changed) changed.push_back(p);
    }
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers;
    for (const auto& p : changed) {
        for (const auto& w : p->state_->recognizers) {
            auto r = w.lock();
            if (r && !containsPointer(recognizers, r.get())) recognizers.push_back(r);
        }
    }
    for (const auto& r : recognizers) {
        for (Phase phase : order) {
            if (!r->isEnabled()) break;
            UIPressSet group;
            for (const auto& p : changed) {
                if (p->phase_ != phase || !listsRecognizer(p->state_->recognizers, r.get())) continue;
                if (phase == Phase::began) {
                    if (isFinalState(r->state_)) continue;
                    GestureArena::shared().participate(*r);
                    if (!containsPointer(r->presses_, p.get())) r->presses_.push_back(p);
                } else if (!containsPointer(r->presses_, p.get())) {
                    continue;
                }
                group.push_back(p);
            }
            if (group.empty() || isFinalState(r->state_)) continue;
            if (phase == Phase::began) {
                r->pressesBegan(group, *event);
            } else if (phase == Phase::ended) {
                r->pressesEnded(group, *event);
            } else {
                r->pressesCancelled(group, *event);
            }
        }
    }
    for (Phase phase : order) {
        std::vector<std::pair<std::shared_ptr<UIResponder>, UIPressSet>> groups;
        for (const auto& p : changed) {
            if (p->phase_ != phase) continue;
            auto responder = p->responder_.lock();
            auto& st = *p->state_;
            if (!responder || st.responderDone) continue;
            if (phase == Phase::began) st.responderBegan = true;
            if (phase != Phase::began) st.responderDone = true;
            auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == responder; });
            if (it == groups.end()) {
                groups.emplace_back(responder, UIPressSet{p});
            } else {
                it->second.push_back(p);
            }
        }
        for (const auto& [responder, presses] : groups) {
            if (phase == Phase::began) {
                responder->pressesBegan(presses, event.get());
            } else if (phase == Phase::ended) {
                responder->pressesEnded(presses, event.get());
            } else {
                responder->pressesCancelled(presses, event.get());
            }
        }
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
