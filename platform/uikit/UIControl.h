#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "rx/Cocoa.h"
#include "rx/Event.h"
#include "uikit/UIEvent.h"
#include "uikit/UIView.h"

namespace uikit {

class UIControlReactive;

// A view that turns touches into control events and sends them to its targets: buttons, segmented controls,
// text fields.
//
// Touch tracking (one touch at a time): a touch going down sends `touchDown` (and `touchDownRepeat` for a
// repeated tap) and highlights the control; moving sends `touchDragInside` / `touchDragOutside`, with
// `touchDragEnter` / `touchDragExit` when it crosses the edge, the highlight following; lifting sends
// `touchUpInside` then `primaryActionTriggered`, or `touchUpOutside`; a cancelled touch sends
// `touchCancel`. "Inside" is the bounds grown by `trackingMargin` (70 points) on every side.
//
// A disabled control takes no touches: hit testing passes through it to the views behind. `sendActions`
// works whatever the state, as on the platform. Controls make single-tap recognisers of their superviews
// stand back (`gestureRecognizerShouldBegin` is false for them), so a tap on a control acts on the control.
class UIControl : public UIView {
  public:
    static constexpr CGFloat trackingMargin = 70;

    // A bit set with the platform's raw values.
    struct State {
        unsigned rawValue = 0;
        static constexpr State normal() { return {0}; }
        static constexpr State highlighted() { return {1u << 0}; }
        static constexpr State disabled() { return {1u << 1}; }
        static constexpr State selected() { return {1u << 2}; }
        static constexpr State focused() { return {1u << 3}; }
        constexpr bool contains(State other) const { return (rawValue & other.rawValue) == other.rawValue; }
        friend constexpr State operator|(State a, State b) { return {a.rawValue | b.rawValue}; }
        friend constexpr auto operator<=>(const State&, const State&) = default;
    };

    // Control events (a bit set with the platform's raw values): `Event::touchUpInside()`,
    // `Event::touchDown() | Event::touchUpInside()`.
    struct Event {
        unsigned rawValue = 0;
        static constexpr Event touchDown() { return {1u << 0}; }
        static constexpr Event touchDownRepeat() { return {1u << 1}; }
        static constexpr Event touchDragInside() { return {1u << 2}; }
        static constexpr Event touchDragOutside() { return {1u << 3}; }
        static constexpr Event touchDragEnter() { return {1u << 4}; }
        static constexpr Event touchDragExit() { return {1u << 5}; }
        static constexpr Event touchUpInside() { return {1u << 6}; }
        static constexpr Event touchUpOutside() { return {1u << 7}; }
        static constexpr Event touchCancel() { return {1u << 8}; }
        static constexpr Event valueChanged() { return {1u << 12}; }
        static constexpr Event primaryActionTriggered() { return {1u << 13}; }
        static constexpr Event editingDidBegin() { return {1u << 16}; }
        static constexpr Event editingChanged() { return {1u << 17}; }
        static constexpr Event editingDidEnd() { return {1u << 18}; }
        static constexpr Event editingDidEndOnExit() { return {1u << 19}; }
        static constexpr Event allTouchEvents() { return {0x00000FFFu}; }
        static constexpr Event allEditingEvents() { return {0x000F0000u}; }
        static constexpr Event allEvents() { return {0xFFFFFFFFu}; }
        constexpr bool contains(Event other) const { return (rawValue & other.rawValue) == other.rawValue; }
        constexpr bool intersects(Event other) const { return (rawValue & other.rawValue) != 0; }
        friend constexpr Event operator|(Event a, Event b) { return {a.rawValue | b.rawValue}; }
        friend constexpr bool operator==(const Event&, const Event&) = default;
    };

    enum class ContentHorizontalAlignment { center = 0, left = 1, right = 2, fill = 3, leading = 4, trailing = 5 };
    enum class ContentVerticalAlignment { center = 0, top = 1, bottom = 2, fill = 3 };

    using ActionId = std::uint64_t;
    using Handler = std::function<void(UIControl& sender, const UIEvent* event)>;

    static std::shared_ptr<UIControl> create(const CGRect& frame = CGRect());
    ~UIControl() override;

    // ---- State --------------------------------------------------------------------------------------
    virtual bool isEnabled() const { return isEnabled_; }
    virtual void setIsEnabled(bool enabled);
    virtual bool isSelected() const { return isSelected_; }
    virtual void setIsSelected(bool selected);
    virtual bool isHighlighted() const { return isHighlighted_; }
    virtual void setIsHighlighted(bool highlighted);
    // The flags above, and `focused` while the control has focus.
    State state() const;
    bool isTracking() const { return isTracking_; }
    bool isTouchInside() const { return isTouchInside_; }

    ContentHorizontalAlignment contentHorizontalAlignment() const { return horizontalAlignment_; }
    void setContentHorizontalAlignment(ContentHorizontalAlignment alignment);
    ContentVerticalAlignment contentVerticalAlignment() const { return verticalAlignment_; }
    void setContentVerticalAlignment(ContentVerticalAlignment alignment);

    // ---- Target-action ------------------------------------------------------------------------------
    // `action` runs on `target` (held weakly) when any of `events` is sent. The action may take the sender,
    // as its own class (`void select(ZuKeyMomentItem& sender)`); a sender of another class skips it.
    template <class T, class C>
    requires std::derived_from<T, C>
    void addTargetAction(const std::shared_ptr<T>& target, void (C::*action)(), Event events) {
        std::weak_ptr<T> weak = target;
        addEntry(target, events, [weak, action](UIControl&, const UIEvent*) {
            if (auto strong = weak.lock()) ((*strong).*action)();
        });
    }
    template <class T, class C, class S>
    requires(std::derived_from<T, C>&& std::derived_from<S, UIControl>) void addTargetAction(
        const std::shared_ptr<T>& target, void (C::*action)(S&), Event events) {
        std::weak_ptr<T> weak = target;
        addEntry(target, events, [weak, action](UIControl& sender, const UIEvent*) {
            auto* typed = dynamic_cast<S*>(&sender);
            if (!typed) return;
            if (auto strong = weak.lock()) ((*strong).*action)(*typed);
        });
    }
    // Stops `target`'s actions for `events` (all its actions by default).
    template <class T>
    void removeTargetAction(const std::shared_ptr<T>& target, Event events = Event::allEvents()) {
        removeEntries(std::weak_ptr<const void>(target), events);
    }
    // A closure for `events`; `onRelease` runs once if the control is released while it is installed.
    ActionId addAction(Handler handler, Event events, std::function<void()> onRelease = nullptr);
    void removeAction(ActionId id);
    // The events that have at least one action.
    Event allControlEvents() const;

    // Sends the actions of each event of `events`, in the order the actions were added, whatever the
    // control's state.
    void sendActions(Event events) { sendActions(events, nullptr); }
    void sendActions(Event events, const UIEvent* event);

    // ---- Tracking (overridable) ---------------------------------------------------------------------
    // Start, continue (false stops the tracking callbacks) and finish tracking a touch.
    virtual bool beginTrackingWith(UITouch& touch, const UIEvent* event);
    virtual bool continueTrackingWith(UITouch& touch, const UIEvent* event);
    virtual void endTrackingWith(UITouch* touch, const UIEvent* event);
    virtual void cancelTracking(const UIEvent* event);

    void touchesBegan(const UITouchSet& touches, const UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent* event) override;
    std::shared_ptr<UIView> hitTestWith(CGPoint point, const UIEvent* event) override;
    bool gestureRecognizerShouldBegin(UIGestureRecognizer& recognizer) override;

    UIControlReactive rx();

  protected:
    explicit UIControl(const CGRect& frame);
    std::shared_ptr<UIControl> sharedControl() const { return std::static_pointer_cast<UIControl>(sharedView()); }
    // Runs after the enabled, selected or highlighted flag changed (subclasses refresh their look).
    virtual void stateDidChange() {}

  private:
    struct Entry {
        ActionId id;
        Event events;
        std::weak_ptr<const void> target;
        bool hasTarget;
        Handler handler;
        std::function<void()> onRelease;
    };
    void addEntry(const std::shared_ptr<const void>& target, Event events, Handler handler);
    void removeEntries(const std::weak_ptr<const void>& target, Event events);
    bool isInsideForTracking(const UITouch& touch) const;

    bool isEnabled_ = true;
    bool isSelected_ = false;
    bool isHighlighted_ = false;
    bool isTracking_ = false;
    bool isTouchInside_ = false;
    std::weak_ptr<UITouch> trackingTouch_;
    ContentHorizontalAlignment horizontalAlignment_ = ContentHorizontalAlignment::center;
    ContentVerticalAlignment verticalAlignment_ = ContentVerticalAlignment::center;
    std::vector<Entry> entries_;
    ActionId nextId_ = 1;
};

// The Rx face of a control (RxCocoa's `control.rx`): `control->rx().controlEvent(events)`. Streams hold the
// control weakly, emit on the main thread, and complete when the control is released.
class UIControlReactive {
  public:
    explicit UIControlReactive(std::weak_ptr<UIControl> base) : base_(std::move(base)) {}

    // One element per sending of any of `events` (each event of the set counts once).
    rx::ControlEvent<rx::Unit> controlEvent(UIControl::Event events) const;
    // `primaryActionTriggered`.
    rx::ControlEvent<rx::Unit> primaryAction() const;
    // A property read from the control: its current value on subscription, then its value each time one
    // of `events` is sent; the sink writes it through `setter`.
    template <class T>
    rx::ControlProperty<T> controlProperty(UIControl::Event events, std::function<T(UIControl&)> getter,
                                           std::function<void(UIControl&, const T&)> setter) const;

  protected:
    std::weak_ptr<UIControl> base_;
};

inline UIControlReactive UIControl::rx() {
    return UIControlReactive(sharedControl());
}

template <class T>
rx::ControlProperty<T> UIControlReactive::controlProperty(UIControl::Event events, std::function<T(UIControl&)> getter,
                                                          std::function<void(UIControl&, const T&)> setter) const {
    std::weak_ptr<UIControl> weak = base_;
    auto values =
        rx::Observable<T>::create([weak, events, getter](const rx::AnyObserver<T>& observer) -> rx::Disposable {
            auto control = weak.lock();
            if (!control) {
                observer.onCompleted();
                return rx::Disposable();
            }
            observer.onNext(getter(*control));
            auto id = control->addAction(
                [observer, getter](UIControl& sender, const UIEvent*) { observer.onNext(getter(sender)); }, events,
                [observer] { observer.onCompleted(); });
            return rx::Disposables::create([weak, id] {
                if (auto c = weak.lock()) c->removeAction(id);
            });
        });
    rx::AnyObserver<T> sink([weak, setter](const rx::Event<T>& event) {
        if (const auto* value = event.element()) {
            if (auto control = weak.lock()) setter(*control, *value);
        }
    });
    return rx::ControlProperty<T>(values, sink);
}

}  // namespace uikit
