#pragma once

// Test drivers playing the system's part: fingers on a window, buttons on a remote. Every event they make
// goes through `UIApplication::shared()->sendEvent`, as real input does.

#include <memory>
#include <vector>

#include "uikit/UIEvent.h"
#include "uikit/UIGeometry.h"

namespace uikit {
class UIView;
class UIWindow;
}  // namespace uikit

namespace uikit::testing {

// Touches on one window, in window coordinates. The window must be visible (`makeKeyAndVisible()`) for
// touches to find views. Times are those of the one clock: advance it between calls to space the events.
class TouchSimulator {
  public:
    explicit TouchSimulator(std::shared_ptr<UIWindow> window);

    // A finger goes down (hit-testing the window); returns its touch.
    std::shared_ptr<UITouch> begin(CGPoint at);
    // Several fingers going down in one event.
    std::vector<std::shared_ptr<UITouch>> begin(const std::vector<CGPoint>& at);
    void move(const std::shared_ptr<UITouch>& touch, CGPoint to);
    void end(const std::shared_ptr<UITouch>& touch);
    void end(const UITouchSet& touches);
    void cancel(const std::shared_ptr<UITouch>& touch);

    // Down and up at one point.
    void tap(CGPoint at);
    // Down and up at the centre of `view`.
    void tap(const std::shared_ptr<UIView>& view);
    // Down at `from`, `steps` moves along the line to `to` (advancing the one clock by `secondsPerStep`
    // before each, which also runs the main loop's due timers), then up at `to`.
    void drag(CGPoint from, CGPoint to, int steps = 5, double secondsPerStep = 0);
    // A finger already down moves along the line to `to` in `steps` moves, the one clock advanced by
    // `secondsPerStep` before each move and once more after the last (the finger stays down).
    void moveAlong(const std::shared_ptr<UITouch>& touch, CGPoint to, int steps, double secondsPerStep);

    // The centre of `view` in its window's coordinates.
    static CGPoint centerOf(const std::shared_ptr<UIView>& view);

  private:
    std::shared_ptr<UIWindow> window_;
};

// Remote presses, sent to the focused view (or the key window when nothing is focused) unless a responder is
// named.
class PressSimulator {
  public:
    std::shared_ptr<UIPress> begin(UIPress::PressType type, std::shared_ptr<UIResponder> to = nullptr);
    void end(const std::shared_ptr<UIPress>& press);
    void cancel(const std::shared_ptr<UIPress>& press);
    // Down and up.
    void press(UIPress::PressType type, std::shared_ptr<UIResponder> to = nullptr);
};

// Puts the toolkit's process-wide interaction state back as at start: the shared application (a plain
// one), touches and presses in flight, the recognisers' arbitration, focus, first responder, the
// simulated keyboard and the recorded haptics. For test fixtures, with a fresh manual clock.
void resetInteractionState();

}  // namespace uikit::testing
