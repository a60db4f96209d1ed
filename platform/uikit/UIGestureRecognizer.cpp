#include "uikit/UIGestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "dispatch/Clock.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"
#include "uikit/detail/EventDispatch.h"

namespace uikit {

using detail::GestureArena;
using State = UIGestureRecognizer::State;

namespace {

bool isFinal(State s) {
    return s == State::ended || s == State::cancelled || s == State::failed;
}
bool isRecognizing(State s) {
    return s == State::began || s == State::changed || s == State::ended;
}

bool isDown(const UITouch& t) {
    return t.phase() != UITouch::Phase::ended && t.phase() != UITouch::Phase::cancelled;
}
bool isDown(const UIPress& p) {
    return p.phase() != UIPress::Phase::ended && p.phase() != UIPress::Phase::cancelled;
}

double now() {
    return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
}

CGFloat distance(CGPoint a, CGPoint b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

template <class T>
bool containsPointer(const std::vector<std::shared_ptr<T>>& list, const T* item) {
    return std::any_of(list.begin(), list.end(), [item](const auto& p) { return p.get() == item; });
}

}  // namespace

// ---- UIGestureRecognizer ----------------------------------------------------------------------------------

UIGestureRecognizer::UIGestureRecognizer() = default;

std::shared_ptr<UIGestureRecognizer> UIGestureRecognizer::create() {
    return std::shared_ptr<UIGestureRecognizer>(new UIGestureRecognizer());
}

UIGestureRecognizer::~UIGestureRecognizer() {
    if (timer_) dispatch::RunLoop::main().cancel(*timer_);
    auto entries = std::move(entries_);
    entries_.clear();
    for (auto& e : entries) {
        if (e.onRelease) e.onRelease();
    }
}

void UIGestureRecognizer::setIsEnabled(bool enabled) {
    if (enabled == isEnabled_) return;
    isEnabled_ = enabled;
    if (enabled || !participating_) return;
    GestureArena::Scope scope;
    if (state_ == State::began || state_ == State::changed) {
        setState(State::cancelled);
    } else if (state_ == State::possible) {
        setState(State::failed);
    }
}

void UIGestureRecognizer::setAllowedPressTypes(std::vector<UIPress::PressType> types) {
    if (!types.empty()) allowedTouchTypes_.clear();
    allowedPressTypes_ = std::move(types);
}

void UIGestureRecognizer::require(const std::shared_ptr<UIGestureRecognizer>& toFail) {
    if (!toFail || toFail.get() == this) return;
    requiredToFail_.push_back(toFail);
}

void UIGestureRecognizer::setState(State state) {
    GestureArena::shared().requestState(*this, state);
}

void UIGestureRecognizer::touchesBegan(const UITouchSet&, const UIEvent&) {}
void UIGestureRecognizer::touchesMoved(const UITouchSet&, const UIEvent&) {}
void UIGestureRecognizer::touchesEnded(const UITouchSet&, const UIEvent&) {}
void UIGestureRecognizer::touchesCancelled(const UITouchSet&, const UIEvent&) {}
void UIGestureRecognizer::pressesBegan(const UIPressSet&, const UIPressesEvent&) {}
void UIGestureRecognizer::pressesEnded(const UIPressSet&, const UIPressesEvent&) {}
void UIGestureRecognizer::pressesCancelled(const UIPressSet&, const UIPressesEvent&) {}

void UIGestureRecognizer::reset() {
    cancelTimer();
    state_ = State::possible;
    deferred_.reset();
    participating_ = false;
    touches_.clear();
    presses_.clear();
}

UITouchSet UIGestureRecognizer::activeTouches() const {
    UITouchSet result;
    for (const auto& t : touches_) {
        if (isDown(*t)) result.push_back(t);
    }
    return result;
}

void UIGestureRecognizer::updateCentroid() {
    CGFloat x = 0, y = 0;
    int n = 0;
    for (const auto& t : touches_) {
        if (t->phase() == UITouch::Phase::cancelled) continue;
        if (t->phase() == UITouch::Phase::ended && activeTouches().size() > 0) continue;
        CGPoint p = t->location(nullptr);
        x += p.x;
        y += p.y;
        ++n;
    }
    if (n > 0) centroid_ = CGPoint{x / n, y / n};
}

CGPoint UIGestureRecognizer::convertFromWindow(CGPoint point, const std::shared_ptr<UIView>& to) const {
    if (!to) return point;
    auto window = window_.lock();
    if (!window) window = to->window();
    return to->convertFrom(point, window);
}

CGPoint UIGestureRecognizer::location(const std::shared_ptr<UIView>& in) const {
    return convertFromWindow(centroid_, in);
}

int UIGestureRecognizer::numberOfTouches() const {
    return static_cast<int>(activeTouches().size());
}

CGPoint UIGestureRecognizer::location(int ofTouch, const std::shared_ptr<UIView>& in) const {
    auto active = activeTouches();
    if (ofTouch < 0 || static_cast<std::size_t>(ofTouch) >= active.size()) return location(in);
    return active[static_cast<std::size_t>(ofTouch)]->location(in);
}

void UIGestureRecognizer::scheduleTimer(double seconds, std::function<void()> block) {
    cancelTimer();
    std::weak_ptr<UIGestureRecognizer> weak = weak_from_this();
    auto due = dispatch::Clock::current()->now() + dispatch::nanosecondsFromSeconds(seconds);
    auto id = std::make_shared<dispatch::RunLoop::TimerId>(0);
    *id = dispatch::RunLoop::main().schedule(due, [weak, id, block = std::move(block)] {
        auto self = weak.lock();
        if (!self || !self->timer_ || *self->timer_ != *id) return;
        self->timer_.reset();
        GestureArena::Scope scope;
        block();
    });
    timer_ = *id;
}

void UIGestureRecognizer::cancelTimer() {
    if (timer_) dispatch::RunLoop::main().cancel(*timer_);
    timer_.reset();
}

void UIGestureRecognizer::addEntry(const std::shared_ptr<const void>& target,
                                   std::function<void(UIGestureRecognizer&)> action) {
    entries_.push_back(Entry{nextActionId_++, target, true, std::move(action), nullptr});
}

void UIGestureRecognizer::removeEntries(const std::weak_ptr<const void>& target) {
    std::erase_if(entries_, [&](const Entry& e) {
        return e.hasTarget && !e.target.owner_before(target) && !target.owner_before(e.target);
    });
}

UIGestureRecognizer::ActionId UIGestureRecognizer::addAction(std::function<void(UIGestureRecognizer&)> action,
                                                             std::function<void()> onRelease) {
    ActionId id = nextActionId_++;
    entries_.push_back(Entry{id, {}, false, std::move(action), std::move(onRelease)});
    return id;
}

void UIGestureRecognizer::removeAction(ActionId id) {
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

void UIGestureRecognizer::sendActions() {
    auto self = shared_from_this();
    auto snapshot = entries_;
    for (const auto& e : snapshot) {
        bool stillInstalled =
            std::any_of(entries_.begin(), entries_.end(), [&](const Entry& x) { return x.id == e.id; });
        if (stillInstalled && e.action) e.action(*this);
    }
}

// ---- UITapGestureRecognizer -------------------------------------------------------------------------------

UITapGestureRecognizer::UITapGestureRecognizer() {
    setDefaultAllowedPressTypes({UIPress::PressType::select});
}

std::shared_ptr<UITapGestureRecognizer> UITapGestureRecognizer::create() {
    return std::shared_ptr<UITapGestureRecognizer>(new UITapGestureRecognizer());
}

CGPoint UITapGestureRecognizer::location(const std::shared_ptr<UIView>& in) const {
    if (taps_ > 0 && activeTouches().empty()) return convertFromWindow(tapLocation_, in);
    return UIGestureRecognizer::location(in);
}

void UITapGestureRecognizer::touchesBegan(const UITouchSet& touches, const UIEvent&) {
    if (state() != State::possible) return;
    if (taps_ >= numberOfTapsRequired_) {
        // A further tap while waiting to be allowed to recognise: more taps than asked for.
        setState(State::failed);
        return;
    }
    cancelTimer();
    for (const auto& t : touches) {
        starts_.emplace_back(t, t->location(nullptr));
        ++touchesDown_;
    }
    if (touchesDown_ > numberOfTouchesRequired_) setState(State::failed);
}

void UITapGestureRecognizer::touchesMoved(const UITouchSet& touches, const UIEvent&) {
    if (state() != State::possible) return;
    for (const auto& t : touches) {
        for (const auto& [weak, start] : starts_) {
            if (weak.lock() == t && distance(start, t->location(nullptr)) > allowableMovement) {
                setState(State::failed);
                return;
            }
        }
    }
}

void UITapGestureRecognizer::touchesEnded(const UITouchSet& touches, const UIEvent& event) {
    touchesMoved(touches, event);
    if (state() != State::possible) return;
    if (!activeTouches().empty()) return;
    if (touchesDown_ < numberOfTouchesRequired_) {
        setState(State::failed);
        return;
    }
    tapLocation_ = centroidInWindow();
    touchesDown_ = 0;
    starts_.clear();
    tapCompleted();
}

void UITapGestureRecognizer::touchesCancelled(const UITouchSet&, const UIEvent&) {
    if (state() == State::possible) setState(State::failed);
}

void UITapGestureRecognizer::pressesBegan(const UIPressSet& presses, const UIPressesEvent&) {
    if (state() != State::possible) return;
    if (taps_ >= numberOfTapsRequired_) {
        setState(State::failed);
        return;
    }
    cancelTimer();
    pressesDown_ += static_cast<int>(presses.size());
}

void UITapGestureRecognizer::pressesEnded(const UIPressSet& presses, const UIPressesEvent&) {
    if (state() != State::possible || pressesDown_ == 0) return;
    pressesDown_ -= std::min(pressesDown_, static_cast<int>(presses.size()));
    if (pressesDown_ == 0) tapCompleted();
}

void UITapGestureRecognizer::pressesCancelled(const UIPressSet&, const UIPressesEvent&) {
    if (state() == State::possible) setState(State::failed);
}

void UITapGestureRecognizer::tapCompleted() {
    ++taps_;
    if (taps_ >= numberOfTapsRequired_) {
        setState(State::ended);
        return;
    }
    std::weak_ptr<UIGestureRecognizer> weak = weak_from_this();
    scheduleTimer(maximumTapInterval, [weak] {
        auto self = std::static_pointer_cast<UITapGestureRecognizer>(weak.lock());
        if (self && self->state() == State::possible) self->setState(State::failed);
    });
}

void UITapGestureRecognizer::reset() {
    taps_ = 0;
    touchesDown_ = 0;
    pressesDown_ = 0;
    starts_.clear();
    UIGestureRecognizer::reset();
}

// ---- UIPanGestureRecognizer -------------------------------------------------------------------------------

UIPanGestureRecognizer::UIPanGestureRecognizer() = default;

std::shared_ptr<UIPanGestureRecognizer> UIPanGestureRecognizer::create() {
    return std::shared_ptr<UIPanGestureRecognizer>(new UIPanGestureRecognizer());
}

void UIPanGestureRecognizer::touchesBegan(const UITouchSet&, const UIEvent&) {
    if (isFinal(state())) return;
    auto active = activeTouches();
    if (static_cast<int>(active.size()) > maximumNumberOfTouches_) {
        if (state() == State::possible) setState(State::failed);
        return;
    }
    // (Re)start the measurement where the fingers are now, keeping the translation so far.
    CGPoint c = centroidInWindow();
    if (state() == State::possible) {
        start_ = c;
    } else {
        start_ = CGPoint{c.x - (lastLocation_.x - start_.x), c.y - (lastLocation_.y - start_.y)};
    }
    lastLocation_ = c;
    lastTime_ = now();
}

void UIPanGestureRecognizer::touchesMoved(const UITouchSet&, const UIEvent&) {
    if (isFinal(state())) return;
    CGPoint c = centroidInWindow();
    double t = now();
    if (t > lastTime_) {
        velocity_ = CGPoint{(c.x - lastLocation_.x) / (t - lastTime_), (c.y - lastLocation_.y) / (t - lastTime_)};
    }
    lastLocation_ = c;
    lastTime_ = t;
    int count = static_cast<int>(activeTouches().size());
    if (state() == State::possible) {
        if (count >= minimumNumberOfTouches_ && distance(c, start_) >= threshold) setState(State::began);
    } else {
        setState(State::changed);
    }
}

void UIPanGestureRecognizer::touchesEnded(const UITouchSet&, const UIEvent&) {
    if (isFinal(state())) return;
    if (!activeTouches().empty()) {
        // A finger lifted, others stay: carry on from where they are.
        CGPoint c = centroidInWindow();
        start_ = CGPoint{c.x - (lastLocation_.x - start_.x), c.y - (lastLocation_.y - start_.y)};
        lastLocation_ = c;
        return;
    }
    setState(state() == State::possible ? State::failed : State::ended);
}

void UIPanGestureRecognizer::touchesCancelled(const UITouchSet&, const UIEvent&) {
    if (isFinal(state())) return;
    setState(state() == State::possible ? State::failed : State::cancelled);
}

void UIPanGestureRecognizer::reset() {
    velocity_ = CGPoint();
    UIGestureRecognizer::reset();
}

CGPoint UIPanGestureRecognizer::vectorIn(CGPoint v, const std::shared_ptr<UIView>& in) const {
    if (!in) return v;
    CGPoint a = convertFromWindow(CGPoint{0, 0}, in);
    CGPoint b = convertFromWindow(v, in);
    return CGPoint{b.x - a.x, b.y - a.y};
}

CGPoint UIPanGestureRecognizer::translation(const std::shared_ptr<UIView>& in) const {
    return vectorIn(CGPoint{lastLocation_.x - start_.x, lastLocation_.y - start_.y}, in);
}

void UIPanGestureRecognizer::setTranslationIn(CGPoint translation, const std::shared_ptr<UIView>& in) {
    CGPoint current = this->translation(in);
    CGPoint deltaInView{translation.x - current.x, translation.y - current.y};
    // Back to window coordinates: the inverse of `vectorIn`.
    CGPoint deltaInWindow = deltaInView;
    if (in) {
        auto window = touchWindow();
        if (!window) window = in->window();
        CGPoint a = in->convertTo(CGPoint{0, 0}, window);
        CGPoint b = in->convertTo(deltaInView, window);
        deltaInWindow = CGPoint{b.x - a.x, b.y - a.y};
    }
    start_ = CGPoint{start_.x - deltaInWindow.x, start_.y - deltaInWindow.y};
}

CGPoint UIPanGestureRecognizer::velocity(const std::shared_ptr<UIView>& in) const {
    return vectorIn(velocity_, in);
}

// ---- UISwipeGestureRecognizer -----------------------------------------------------------------------------

UISwipeGestureRecognizer::UISwipeGestureRecognizer() = default;

std::shared_ptr<UISwipeGestureRecognizer> UISwipeGestureRecognizer::create() {
    return std::shared_ptr<UISwipeGestureRecognizer>(new UISwipeGestureRecognizer());
}

void UISwipeGestureRecognizer::touchesBegan(const UITouchSet&, const UIEvent&) {
    if (state() != State::possible) return;
    if (static_cast<int>(activeTouches().size()) > numberOfTouchesRequired_) {
        setState(State::failed);
        return;
    }
    start_ = centroidInWindow();
    startTime_ = now();
    std::weak_ptr<UIGestureRecognizer> weak = weak_from_this();
    scheduleTimer(maximumDuration, [weak] {
        auto self = weak.lock();
        if (self && self->state() == State::possible) {
            static_cast<UISwipeGestureRecognizer&>(*self).setState(State::failed);
        }
    });
}

void UISwipeGestureRecognizer::touchesMoved(const UITouchSet&, const UIEvent&) {
    if (state() != State::possible) return;
    if (static_cast<int>(activeTouches().size()) != numberOfTouchesRequired_) return;
    CGPoint c = centroidInWindow();
    CGFloat dx = c.x - start_.x, dy = c.y - start_.y;
    Direction moved;
    CGFloat along = 0, across = 0;
    if (std::fabs(dx) >= std::fabs(dy)) {
        moved = dx >= 0 ? Direction::right() : Direction::left();
        along = std::fabs(dx);
        across = std::fabs(dy);
    } else {
        moved = dy >= 0 ? Direction::down() : Direction::up();
        along = std::fabs(dy);
        across = std::fabs(dx);
    }
    if (along < minimumDistance) return;
    if (!direction_.contains(moved) || across > along / 2 || now() - startTime_ > maximumDuration) {
        setState(State::failed);
        return;
    }
    setState(State::ended);
}

void UISwipeGestureRecognizer::touchesEnded(const UITouchSet&, const UIEvent&) {
    if (state() == State::possible && activeTouches().empty()) setState(State::failed);
}

void UISwipeGestureRecognizer::touchesCancelled(const UITouchSet&, const UIEvent&) {
    if (state() == State::possible) setState(State::failed);
}

void UISwipeGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
}

// ---- The arena --------------------------------------------------------------------------------------------

namespace detail {

GestureArena& GestureArena::shared() {
    static GestureArena arena;
    return arena;
}

GestureArena::Scope::Scope() {
    GestureArena::shared().depth_++;
}

GestureArena::Scope::~Scope() {
    auto& arena = GestureArena::shared();
    if (arena.depth_ == 1) arena.resetFinished();
    arena.depth_--;
}

void GestureArena::participate(UIGestureRecognizer& recognizer) {
    if (recognizer.participating_) return;
    recognizer.participating_ = true;
    std::erase_if(participants_, [](const auto& w) { return w.expired(); });
    participants_.push_back(recognizer.weak_from_this());
}

std::vector<std::shared_ptr<UIGestureRecognizer>> GestureArena::participants() {
    std::vector<std::shared_ptr<UIGestureRecognizer>> result;
    for (const auto& w : participants_) {
        if (auto r = w.lock(); r && r->participating_) result.push_back(std::move(r));
    }
    return result;
}

void GestureArena::resetFinished() {
    for (const auto& r : participants()) {
        bool touchesUp = std::none_of(r->touches_.begin(), r->touches_.end(), [](const auto& t) { return isDown(*t); });
        bool pressesUp = std::none_of(r->presses_.begin(), r->presses_.end(), [](const auto& p) { return isDown(*p); });
        if (!touchesUp || !pressesUp) continue;
        bool done = isFinal(r->state_) || (r->state_ == State::possible && !r->deferred_ && !r->timer_);
        if (!done) continue;
        auto touches = r->touches_;
        r->reset();
        r->participating_ = false;
        // Deliveries it was holding back go out now.
        for (const auto& t : touches) EventDispatcher::shared().flushHeld(t);
    }
    std::erase_if(participants_, [](const auto& w) {
        auto r = w.lock();
        return !r || !r->participating_;
    });
}

bool GestureArena::mustWait(UIGestureRecognizer& r, UIGestureRecognizer& o) const {
    for (const auto& w : r.requiredToFail_) {
        if (w.lock().get() == &o) return true;
    }
    if (r.shouldRequireFailureOf(o) || o.shouldBeRequiredToFailBy(r)) return true;
    if (auto d = r.delegate_.lock(); d && d->gestureRecognizerShouldRequireFailureOf(r, o)) return true;
    if (auto d = o.delegate_.lock(); d && d->gestureRecognizerShouldBeRequiredToFailBy(o, r)) return true;
    return false;
}

bool GestureArena::shouldBegin(UIGestureRecognizer& r) const {
    if (auto d = r.delegate_.lock(); d && !d->gestureRecognizerShouldBegin(r)) return false;
    // The recogniser's view and the views its touches went down on may each refuse (a control keeps an
    // ancestor's tap from taking its own taps).
    std::vector<std::shared_ptr<UIView>> asked;
    auto ask = [&](const std::shared_ptr<UIView>& v) {
        if (!v || std::find(asked.begin(), asked.end(), v) != asked.end()) return true;
        asked.push_back(v);
        return v->gestureRecognizerShouldBegin(r);
    };
    if (!ask(r.view())) return false;
    for (const auto& t : r.touches_) {
        if (!ask(t->view())) return false;
    }
    return true;
}

GestureArena::Verdict GestureArena::blockers(UIGestureRecognizer& r) {
    bool wait = false;
    for (const auto& o : participants()) {
        if (o.get() == &r || !mustWait(r, *o)) continue;
        if (o->state_ == State::possible) {
            wait = true;
        } else if (isRecognizing(o->state_)) {
            return Verdict::fail;
        }
    }
    return wait ? Verdict::wait : Verdict::proceed;
}

void GestureArena::requestState(UIGestureRecognizer& r, State s) {
    Scope scope;
    auto keepAlive = r.shared_from_this();
    State current = r.state_;
    if (s == State::possible || isFinal(current)) return;
    if (current == State::possible) {
        if (s == State::changed) return;
        if (s == State::cancelled || s == State::failed) {
            r.deferred_.reset();
            transition(r, State::failed);
            return;
        }
        if (r.deferred_) {
            r.deferred_ = s;  // still waiting; remember the latest wish
            return;
        }
        attemptRecognition(r, s);
        return;
    }
    // began or changed
    if (s == State::began) s = State::changed;
    if (s == State::failed) s = State::cancelled;
    transition(r, s);
}

void GestureArena::attemptRecognition(UIGestureRecognizer& r, State s) {
    if (!shouldBegin(r)) {
        transition(r, State::failed);
        return;
    }
    switch (blockers(r)) {
        case Verdict::fail:
            transition(r, State::failed);
            break;
        case Verdict::wait:
            r.deferred_ = s;
            break;
        case Verdict::proceed:
            transition(r, s);
            break;
    }
}

void GestureArena::transition(UIGestureRecognizer& r, State s) {
    State from = r.state_;
    r.state_ = s;
    bool recognizedNow = from == State::possible && (s == State::began || s == State::ended);
    if (recognizedNow) preventOthers(r);
    if (s != State::failed) r.sendActions();
    EventDispatcher::shared().recognizerDidChangeState(r, recognizedNow);
    if (from == State::possible) resolveWaiters(r);
}

void GestureArena::preventOthers(UIGestureRecognizer& r) {
    for (const auto& o : participants()) {
        if (o.get() == &r || o->state_ != State::possible) continue;
        bool shares = std::any_of(r.touches_.begin(), r.touches_.end(),
                                  [&](const auto& t) { return containsPointer(o->touches_, t.get()); }) ||
                      std::any_of(r.presses_.begin(), r.presses_.end(),
                                  [&](const auto& p) { return containsPointer(o->presses_, p.get()); });
        if (!shares) continue;
        bool simultaneous = false;
        if (auto d = r.delegate_.lock(); d && d->gestureRecognizerShouldRecognizeSimultaneouslyWith(r, *o)) {
            simultaneous = true;
        }
        if (auto d = o->delegate_.lock(); d && d->gestureRecognizerShouldRecognizeSimultaneouslyWith(*o, r)) {
            simultaneous = true;
        }
        if (simultaneous || mustWait(*o, r)) continue;  // waiters are settled by resolveWaiters
        if (o->state_ != State::possible) continue;     // decided meanwhile
        o->deferred_.reset();
        transition(*o, State::failed);
    }
}

void GestureArena::resolveWaiters(UIGestureRecognizer& decided) {
    for (const auto& w : participants()) {
        if (w.get() == &decided || !w->deferred_ || w->state_ != State::possible) continue;
        if (!mustWait(*w, decided)) continue;
        switch (blockers(*w)) {
            case Verdict::fail:
                w->deferred_.reset();
                transition(*w, State::failed);
                break;
            case Verdict::wait:
                break;
            case Verdict::proceed: {
                State wanted = *w->deferred_;
                w->deferred_.reset();
                transition(*w, shouldBegin(*w) ? wanted : State::failed);
                break;
            }
        }
    }
}

void GestureArena::resetForTesting() {
    for (const auto& r : participants()) r->reset();
    participants_.clear();
    depth_ = 0;
}

}  // namespace detail

}  // namespace uikit
