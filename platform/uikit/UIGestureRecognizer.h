#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "dispatch/RunLoop.h"
#include "rx/Cocoa.h"
#include "uikit/UIEvent.h"
#include "uikit/UIGeometry.h"

namespace uikit {

class UIView;
class UIGestureRecognizer;
namespace detail {
class EventDispatcher;
class GestureArena;
}  // namespace detail

// Told about a recogniser's decisions. Every requirement is optional; the defaults are the platform's.
class UIGestureRecognizerDelegate {
  public:
    virtual ~UIGestureRecognizerDelegate() = default;
    // Asked when the recogniser is about to leave the possible state by recognising; false makes it fail.
    virtual bool gestureRecognizerShouldBegin(UIGestureRecognizer& recognizer) {
        (void)recognizer;
        return true;
    }
    // Asked for each new touch (or press) before the recogniser sees it; false keeps it from the recogniser.
    virtual bool gestureRecognizerShouldReceive(UIGestureRecognizer& recognizer, UITouch& touch) {
        (void)recognizer;
        (void)touch;
        return true;
    }
    virtual bool gestureRecognizerShouldReceive(UIGestureRecognizer& recognizer, UIPress& press) {
        (void)recognizer;
        (void)press;
        return true;
    }
    // True lets both recognise on the same touches (asked of either recogniser's delegate).
    virtual bool gestureRecognizerShouldRecognizeSimultaneouslyWith(UIGestureRecognizer& recognizer,
                                                                    UIGestureRecognizer& other) {
        (void)recognizer;
        (void)other;
        return false;
    }
    // True makes `recognizer` wait until `other` has failed before it recognises (it fails when `other`
    // recognises).
    virtual bool gestureRecognizerShouldRequireFailureOf(UIGestureRecognizer& recognizer, UIGestureRecognizer& other) {
        (void)recognizer;
        (void)other;
        return false;
    }
    // True makes `other` wait until `recognizer` has failed.
    virtual bool gestureRecognizerShouldBeRequiredToFailBy(UIGestureRecognizer& recognizer,
                                                           UIGestureRecognizer& other) {
        (void)recognizer;
        (void)other;
        return false;
    }
};

// The Rx face of a recogniser: `recognizer->rx().event()` emits the recogniser at each of its actions
// (states began, changed, ended, cancelled) and completes when it is released.
template <class R>
class GestureRecognizerReactive {
  public:
    explicit GestureRecognizerReactive(std::weak_ptr<R> base) : base_(std::move(base)) {}
    rx::ControlEvent<std::shared_ptr<R>> event() const;

  private:
    std::weak_ptr<R> base_;
};

// Turns touches (or presses) on a view into a gesture. A recogniser is attached to one view
// (`UIView::addGestureRecognizer`) and receives, before the view itself, the touches that go down on that
// view or its descendants, and the presses sent to them.
//
// States: possible → recognised (`ended`, discrete gestures) or began → changed… → ended / cancelled
// (continuous gestures), or possible → failed. Actions (target-action and `rx().event()`) are sent for
// began, changed, ended and cancelled, synchronously, while the state is that state; a recogniser that
// has finished returns to `possible` (`reset()`) at the end of the dispatch once its touches are up.
//
// Arbitration, as on the platform:
// - a recogniser about to recognise asks its delegate's `gestureRecognizerShouldBegin` and its view's
//   `gestureRecognizerShouldBegin`; a no makes it fail;
// - it waits while a recogniser it must fail for (`require(toFail:)`, the delegates' failure requirements)
//   is still undecided, recognises when that one fails and fails when that one recognises;
// - once it recognises, the other undecided recognisers sharing its touches or presses fail, unless a
//   delegate lets them recognise simultaneously.
// Touch delivery to the view: with `cancelsTouchesInView` (default true) the view gets `touchesCancelled`
// for the touches of a recogniser that recognises, and nothing more of them; `delaysTouchesBegan` (default
// false) holds began and moved back from the view while the recogniser is undecided; `delaysTouchesEnded`
// (default true) holds the view's `touchesEnded` back likewise. Because recognisers get every event first,
// a pan's ended action arrives before its view's `touchesEnded`.
class UIGestureRecognizer : public std::enable_shared_from_this<UIGestureRecognizer> {
  public:
    enum class State { possible = 0, began = 1, changed = 2, ended = 3, cancelled = 4, failed = 5, recognized = 3 };
    using ActionId = std::uint64_t;

    static std::shared_ptr<UIGestureRecognizer> create();
    virtual ~UIGestureRecognizer();
    UIGestureRecognizer(const UIGestureRecognizer&) = delete;
    UIGestureRecognizer& operator=(const UIGestureRecognizer&) = delete;

    State state() const { return state_; }
    std::shared_ptr<UIView> view() const { return view_.lock(); }

    // Disabling a recogniser in the middle of a gesture cancels it (or makes it fail when undecided).
    bool isEnabled() const { return isEnabled_; }
    void setIsEnabled(bool enabled);
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool flag) { cancelsTouchesInView_ = flag; }
    bool delaysTouchesBegan() const { return delaysTouchesBegan_; }
    void setDelaysTouchesBegan(bool flag) { delaysTouchesBegan_ = flag; }
    bool delaysTouchesEnded() const { return delaysTouchesEnded_; }
    void setDelaysTouchesEnded(bool flag) { delaysTouchesEnded_ = flag; }

    std::weak_ptr<UIGestureRecognizerDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<UIGestureRecognizerDelegate> delegate) { delegate_ = std::move(delegate); }

    // Makes this recogniser wait until `toFail` has failed.
    void require(const std::shared_ptr<UIGestureRecognizer>& toFail);

    // The kinds of touches received: every kind by default.
    std::vector<UITouch::TouchType> allowedTouchTypes() const { return allowedTouchTypes_; }
    void setAllowedTouchTypes(std::vector<UITouch::TouchType> types) { allowedTouchTypes_ = std::move(types); }
    // The presses received: `select` for taps by default, none for the other recognisers. Setting a
    // non-empty list makes the recogniser one for presses: it then takes no touches, unless
    // `setAllowedTouchTypes` is called afterwards.
    std::vector<UIPress::PressType> allowedPressTypes() const { return allowedPressTypes_; }
    void setAllowedPressTypes(std::vector<UIPress::PressType> types);

    // The gesture's location in `view`'s coordinates (nullptr: the window's): the centroid of its touches
    // (for a tap, where the last tap happened).
    virtual CGPoint location(const std::shared_ptr<UIView>& in) const;
    int numberOfTouches() const;
    CGPoint location(int ofTouch, const std::shared_ptr<UIView>& in) const;

    // ---- Actions ------------------------------------------------------------------------------------
    // Target-action: `action` runs on `target` (held weakly) at every action of the recogniser. An action
    // may take the recogniser as its argument, as its own class (`void handlePan(UIPanGestureRecognizer&)`).
    template <class T, class C>
    requires std::derived_from<T, C>
    void addTargetAction(const std::shared_ptr<T>& target, void (C::*action)()) {
        std::weak_ptr<T> weak = target;
        addEntry(target, [weak, action](UIGestureRecognizer&) {
            if (auto strong = weak.lock()) ((*strong).*action)();
        });
    }
    template <class T, class C, class R>
    requires(std::derived_from<T, C>&& std::derived_from<R, UIGestureRecognizer>) void addTargetAction(
        const std::shared_ptr<T>& target, void (C::*action)(R&)) {
        std::weak_ptr<T> weak = target;
        addEntry(target, [weak, action](UIGestureRecognizer& sender) {
            auto* typed = dynamic_cast<R*>(&sender);
            if (!typed) return;
            if (auto strong = weak.lock()) ((*strong).*action)(*typed);
        });
    }
    // Removes every action of `target`.
    template <class T>
    void removeTargetAction(const std::shared_ptr<T>& target) {
        removeEntries(std::weak_ptr<const void>(target));
    }
    // A closure action; `onRelease` runs once if the recogniser is released while the action is installed.
    ActionId addAction(std::function<void(UIGestureRecognizer&)> action, std::function<void()> onRelease = nullptr);
    void removeAction(ActionId id);

    GestureRecognizerReactive<UIGestureRecognizer> rx() {
        return GestureRecognizerReactive<UIGestureRecognizer>(weak_from_this());
    }

  protected:
    UIGestureRecognizer();

    // Subclasses call this from their event handlers and timers (see the class comment for what the
    // arbitration does with it).
    void setState(State state);

    // Event handlers of subclasses. The touches are those of the event that this recogniser receives.
    virtual void touchesBegan(const UITouchSet& touches, const UIEvent& event);
    virtual void touchesMoved(const UITouchSet& touches, const UIEvent& event);
    virtual void touchesEnded(const UITouchSet& touches, const UIEvent& event);
    virtual void touchesCancelled(const UITouchSet& touches, const UIEvent& event);
    virtual void pressesBegan(const UIPressSet& presses, const UIPressesEvent& event);
    virtual void pressesEnded(const UIPressSet& presses, const UIPressesEvent& event);
    virtual void pressesCancelled(const UIPressSet& presses, const UIPressesEvent& event);
    // Back to `possible`; subclasses clear their own state and call this.
    virtual void reset();
    // Failure requirements a subclass imposes itself.
    virtual bool shouldRequireFailureOf(const UIGestureRecognizer& other) const {
        (void)other;
        return false;
    }
    virtual bool shouldBeRequiredToFailBy(const UIGestureRecognizer& other) const {
        (void)other;
        return false;
    }

    // The touches received since the last reset that are still down.
    UITouchSet activeTouches() const;
    // The centroid of the touches received (window coordinates), as of the last event.
    CGPoint centroidInWindow() const { return centroid_; }
    CGPoint convertFromWindow(CGPoint point, const std::shared_ptr<UIView>& to) const;
    // A timer on the one clock that runs `block` unless the recogniser is reset first.
    void scheduleTimer(double seconds, std::function<void()> block);
    void cancelTimer();
    // The window of the touches received.
    std::shared_ptr<UIWindow> touchWindow() const { return window_.lock(); }
    // For subclasses' constructors: the presses taken by default (touches stay allowed).
    void setDefaultAllowedPressTypes(std::vector<UIPress::PressType> types) { allowedPressTypes_ = std::move(types); }

  private:
    friend class UIView;
    friend class detail::EventDispatcher;
    friend class detail::GestureArena;

    struct Entry {
        ActionId id;
        std::weak_ptr<const void> target;
        bool hasTarget;
        std::function<void(UIGestureRecognizer&)> action;
        std::function<void()> onRelease;
    };
    void addEntry(const std::shared_ptr<const void>& target, std::function<void(UIGestureRecognizer&)> action);
    void removeEntries(const std::weak_ptr<const void>& target);
    void sendActions();
    void updateCentroid();

    State state_ = State::possible;
    std::optional<State> deferred_;  // a recognition waiting for other recognisers to fail
    std::weak_ptr<UIView> view_;
    bool isEnabled_ = true;
    bool cancelsTouchesInView_ = true;
    bool delaysTouchesBegan_ = false;
    bool delaysTouchesEnded_ = true;
    std::weak_ptr<UIGestureRecognizerDelegate> delegate_;
    std::vector<std::weak_ptr<UIGestureRecognizer>> requiredToFail_;
    std::vector<UITouch::TouchType> allowedTouchTypes_{UITouch::TouchType::direct, UITouch::TouchType::indirect,
                                                       UITouch::TouchType::pencil};
    std::vector<UIPress::PressType> allowedPressTypes_;
    std::vector<Entry> entries_;
    ActionId nextActionId_ = 1;

    // Arbitration bookkeeping.
    bool participating_ = false;
    UITouchSet touches_;
    UIPressSet presses_;
    CGPoint centroid_;
    std::weak_ptr<UIWindow> window_;
    std::optional<dispatch::RunLoop::TimerId> timer_;
};

// A discrete gesture: `numberOfTapsRequired` taps (default 1) of `numberOfTouchesRequired` fingers (default
// 1), or presses of an allowed type. Recognised when the last tap lifts (or the last press ends). It fails
// when a finger moves more than 10 points, when more fingers than required go down, when the next tap of a
// multi-tap does not begin within `maximumTapInterval` (0.35 s) of the previous lift, or when a touch or
// press is cancelled.
class UITapGestureRecognizer : public UIGestureRecognizer {
  public:
    static constexpr double maximumTapInterval = 0.35;
    static constexpr CGFloat allowableMovement = 10;

    static std::shared_ptr<UITapGestureRecognizer> create();

    int numberOfTapsRequired() const { return numberOfTapsRequired_; }
    void setNumberOfTapsRequired(int taps) { numberOfTapsRequired_ = taps < 1 ? 1 : taps; }
    int numberOfTouchesRequired() const { return numberOfTouchesRequired_; }
    void setNumberOfTouchesRequired(int touches) { numberOfTouchesRequired_ = touches < 1 ? 1 : touches; }

    CGPoint location(const std::shared_ptr<UIView>& in) const override;

    GestureRecognizerReactive<UITapGestureRecognizer> rx() {
        return GestureRecognizerReactive<UITapGestureRecognizer>(
            std::static_pointer_cast<UITapGestureRecognizer>(shared_from_this()));
    }

  protected:
    UITapGestureRecognizer();
    void touchesBegan(const UITouchSet& touches, const UIEvent& event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent& event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent& event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent& event) override;
    void pressesBegan(const UIPressSet& presses, const UIPressesEvent& event) override;
    void pressesEnded(const UIPressSet& presses, const UIPressesEvent& event) override;
    void pressesCancelled(const UIPressSet& presses, const UIPressesEvent& event) override;
    void reset() override;

  private:
    void tapCompleted();

    int numberOfTapsRequired_ = 1;
    int numberOfTouchesRequired_ = 1;
    int taps_ = 0;
    int touchesDown_ = 0;
    int pressesDown_ = 0;
    std::vector<std::pair<std::weak_ptr<UITouch>, CGPoint>> starts_;
    CGPoint tapLocation_;
};

// A continuous gesture: one or more fingers moving. It begins once the fingers have moved `threshold`
// (10 points) from where they went down, changes with every move, ends when the last finger lifts and is
// cancelled when a touch is cancelled; fingers that lift before it began make it fail.
// `translation` is measured from where the fingers went down (or from the last `setTranslationIn`);
// `velocity` is that of the last move, in points per second of the one clock.
class UIPanGestureRecognizer : public UIGestureRecognizer {
  public:
    static constexpr CGFloat threshold = 10;

    static std::shared_ptr<UIPanGestureRecognizer> create();

    int minimumNumberOfTouches() const { return minimumNumberOfTouches_; }
    void setMinimumNumberOfTouches(int touches) { minimumNumberOfTouches_ = touches < 1 ? 1 : touches; }
    int maximumNumberOfTouches() const { return maximumNumberOfTouches_; }
    void setMaximumNumberOfTouches(int touches) { maximumNumberOfTouches_ = touches < 1 ? 1 : touches; }

    CGPoint translation(const std::shared_ptr<UIView>& in) const;
    void setTranslationIn(CGPoint translation, const std::shared_ptr<UIView>& in);
    CGPoint velocity(const std::shared_ptr<UIView>& in) const;

    GestureRecognizerReactive<UIPanGestureRecognizer> rx() {
        return GestureRecognizerReactive<UIPanGestureRecognizer>(
            std::static_pointer_cast<UIPanGestureRecognizer>(shared_from_this()));
    }

  protected:
    UIPanGestureRecognizer();
    void touchesBegan(const UITouchSet& touches, const UIEvent& event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent& event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent& event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent& event) override;
    void reset() override;

  private:
    CGPoint vectorIn(CGPoint windowVector, const std::shared_ptr<UIView>& in) const;

    int minimumNumberOfTouches_ = 1;
    int maximumNumberOfTouches_ = std::numeric_limits<int>::max();
    CGPoint start_;  // window coordinates
    CGPoint lastLocation_;
    double lastTime_ = 0;
    CGPoint velocity_;  // window points per second
};

// A discrete gesture: a quick stroke in one of the permitted directions. Recognised as soon as the touch
// has travelled `minimumDistance` (50 points) along a permitted direction, within `maximumDuration`
// (0.5 s) of going down, with no more than half as much sideways travel. It fails when the touch lifts or
// the time runs out first, or when it travels that far in a direction that is not permitted.
class UISwipeGestureRecognizer : public UIGestureRecognizer {
  public:
    static constexpr CGFloat minimumDistance = 50;
    static constexpr double maximumDuration = 0.5;

    // A bit set with the platform's raw values.
    struct Direction {
        unsigned rawValue = 0;
        static constexpr Direction right() { return {1u << 0}; }
        static constexpr Direction left() { return {1u << 1}; }
        static constexpr Direction up() { return {1u << 2}; }
        static constexpr Direction down() { return {1u << 3}; }
        constexpr bool contains(Direction other) const { return (rawValue & other.rawValue) == other.rawValue; }
        friend constexpr Direction operator|(Direction a, Direction b) { return {a.rawValue | b.rawValue}; }
        friend constexpr bool operator==(const Direction&, const Direction&) = default;
    };

    static std::shared_ptr<UISwipeGestureRecognizer> create();

    // `right` by default.
    Direction direction() const { return direction_; }
    void setDirection(Direction direction) { direction_ = direction; }
    int numberOfTouchesRequired() const { return numberOfTouchesRequired_; }
    void setNumberOfTouchesRequired(int touches) { numberOfTouchesRequired_ = touches < 1 ? 1 : touches; }

    GestureRecognizerReactive<UISwipeGestureRecognizer> rx() {
        return GestureRecognizerReactive<UISwipeGestureRecognizer>(
            std::static_pointer_cast<UISwipeGestureRecognizer>(shared_from_this()));
    }

  protected:
    UISwipeGestureRecognizer();
    void touchesBegan(const UITouchSet& touches, const UIEvent& event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent& event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent& event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent& event) override;
    void reset() override;

  private:
    Direction direction_ = Direction::right();
    int numberOfTouchesRequired_ = 1;
    CGPoint start_;
    double startTime_ = 0;
};

template <class R>
rx::ControlEvent<std::shared_ptr<R>> GestureRecognizerReactive<R>::event() const {
    std::weak_ptr<R> weak = base_;
    return rx::ControlEvent<std::shared_ptr<R>>(rx::Observable<std::shared_ptr<R>>::create(
        [weak](const rx::AnyObserver<std::shared_ptr<R>>& observer) -> rx::Disposable {
            auto strong = weak.lock();
            if (!strong) {
                observer.onCompleted();
                return rx::Disposable();
            }
            auto id = strong->addAction(
                [weak, observer](UIGestureRecognizer&) {
                    if (auto recognizer = weak.lock()) observer.onNext(recognizer);
                },
                [observer] { observer.onCompleted(); });
            return rx::Disposables::create([weak, id] {
                if (auto recognizer = weak.lock()) recognizer->removeAction(id);
            });
        }));
}

}  // namespace uikit
