#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "uikit/UIGeometry.h"
#include "uikit/UIResponder.h"

namespace uikit {

class UIView;
class UIWindow;
class UIGestureRecognizer;
namespace detail {
class EventDispatcher;
struct TouchState;
struct PressState;
}  // namespace detail

// One finger on the screen, from the moment it goes down until it lifts or is cancelled. The view it went
// down on (the hit-tested view) stays its view for its whole life, even when the finger moves off it.
// Touches are made by the system (in tests: uikit::testing::TouchSimulator), never by the kit.
class UITouch : public std::enable_shared_from_this<UITouch> {
  public:
    enum class Phase {
        began = 0,
        moved = 1,
        stationary = 2,
        ended = 3,
        cancelled = 4,
        regionEntered = 5,
        regionMoved = 6,
        regionExited = 7,
    };
    enum class TouchType { direct = 0, indirect = 1, pencil = 2 };

    ~UITouch();
    UITouch(const UITouch&) = delete;
    UITouch& operator=(const UITouch&) = delete;

    Phase phase() const { return phase_; }
    TouchType type() const { return type_; }
    // Seconds on the one clock (dispatch::Clock) of the last change.
    double timestamp() const { return timestamp_; }
    // 1 for a single tap; 2, 3… for a touch that went down near where the previous one lifted, soon after
    // it (within 0.35 s and 45 points).
    int tapCount() const { return tapCount_; }
    std::shared_ptr<UIView> view() const { return view_; }
    std::shared_ptr<UIWindow> window() const { return window_.lock(); }

    // The location in `view`'s coordinates (nullptr: the window's).
    CGPoint location(const std::shared_ptr<UIView>& in) const;
    CGPoint previousLocation(const std::shared_ptr<UIView>& in) const;
    // The recognisers that receive this touch (chosen when it began).
    std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers() const;

  private:
    friend class detail::EventDispatcher;
    UITouch();

    Phase phase_ = Phase::began;
    TouchType type_ = TouchType::direct;
    double timestamp_ = 0;
    int tapCount_ = 1;
    std::shared_ptr<UIView> view_;
    std::weak_ptr<UIWindow> window_;
    CGPoint location_;  // window coordinates
    CGPoint previousLocation_;
    std::unique_ptr<detail::TouchState> state_;
};

// A remote or game-controller button going down and up.
class UIPress : public std::enable_shared_from_this<UIPress> {
  public:
    enum class Phase { began = 0, changed = 1, stationary = 2, ended = 3, cancelled = 4 };
    // Raw values as on the platform.
    enum class PressType {
        upArrow = 0,
        downArrow = 1,
        leftArrow = 2,
        rightArrow = 3,
        select = 4,
        menu = 5,
        playPause = 6,
    };

    ~UIPress();
    UIPress(const UIPress&) = delete;
    UIPress& operator=(const UIPress&) = delete;

    Phase phase() const { return phase_; }
    PressType type() const { return type_; }
    double timestamp() const { return timestamp_; }
    // 1 while down, 0 once up.
    double force() const { return phase_ == Phase::ended || phase_ == Phase::cancelled ? 0.0 : 1.0; }
    // The responder the press was sent to: the focused view, or the key window.
    std::shared_ptr<UIResponder> responder() const { return responder_.lock(); }
    std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers() const;

  private:
    friend class detail::EventDispatcher;
    UIPress();

    Phase phase_ = Phase::began;
    PressType type_ = PressType::select;
    double timestamp_ = 0;
    std::weak_ptr<UIResponder> responder_;
    std::unique_ptr<detail::PressState> state_;
};

// One dispatch of input: the touches of a window at one moment (those that changed and those resting),
// or the presses that changed. The application's `sendEvent` hands it on.
class UIEvent : public std::enable_shared_from_this<UIEvent> {
  public:
    enum class EventType { touches = 0, motion = 1, remoteControl = 2, presses = 3 };

    // An event carrying `touches` (for tests that build events by hand; real events come from the system).
    static std::shared_ptr<UIEvent> create(EventType type, UITouchSet touches = {}, double timestamp = 0);
    virtual ~UIEvent() = default;

    EventType type() const { return type_; }
    double timestamp() const { return timestamp_; }
    // Every touch of the event.
    const UITouchSet& allTouches() const { return touches_; }
    // The touches whose view is `view`; nullopt when there is none.
    std::optional<UITouchSet> touches(const std::shared_ptr<UIView>& forView) const;
    // The touches of the event that `recognizer` receives; nullopt when there is none.
    std::optional<UITouchSet> touches(const std::shared_ptr<UIGestureRecognizer>& forRecognizer) const;

  protected:
    UIEvent(EventType type, UITouchSet touches, double timestamp)
        : type_(type), touches_(std::move(touches)), timestamp_(timestamp) {}

  private:
    EventType type_;
    UITouchSet touches_;
    double timestamp_;
};

// An event of presses.
class UIPressesEvent : public UIEvent {
  public:
    static std::shared_ptr<UIPressesEvent> create(UIPressSet presses, double timestamp = 0);

    const UIPressSet& allPresses() const { return presses_; }
    // The presses of the event that `recognizer` receives (empty when none).
    UIPressSet presses(const std::shared_ptr<UIGestureRecognizer>& forRecognizer) const;

  private:
    UIPressesEvent(UIPressSet presses, double timestamp)
        : UIEvent(EventType::presses, {}, timestamp), presses_(std::move(presses)) {}

    UIPressSet presses_;
};

}  // namespace uikit
