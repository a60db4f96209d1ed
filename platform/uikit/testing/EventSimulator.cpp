#include "uikit/testing/EventSimulator.h"

#include "dispatch/RunLoop.h"
#include "uikit/UIApplication.h"
#include "uikit/UIFeedbackGenerator.h"
#include "uikit/UIFocus.h"
#include "uikit/UITextField.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"
#include "uikit/detail/EventDispatch.h"
#include "uikit/detail/FirstResponder.h"

namespace uikit::testing {

using detail::EventDispatcher;

TouchSimulator::TouchSimulator(std::shared_ptr<UIWindow> window) : window_(std::move(window)) {}

std::shared_ptr<UITouch> TouchSimulator::begin(CGPoint at) {
    auto touches = EventDispatcher::shared().beginTouches(window_, {at});
    return touches.empty() ? nullptr : touches.front();
}

std::vector<std::shared_ptr<UITouch>> TouchSimulator::begin(const std::vector<CGPoint>& at) {
    return EventDispatcher::shared().beginTouches(window_, at);
}

void TouchSimulator::move(const std::shared_ptr<UITouch>& touch, CGPoint to) {
    EventDispatcher::shared().moveTouches({{touch, to}});
}

void TouchSimulator::end(const std::shared_ptr<UITouch>& touch) {
    EventDispatcher::shared().endTouches({touch});
}

void TouchSimulator::end(const UITouchSet& touches) {
    EventDispatcher::shared().endTouches(touches);
}

void TouchSimulator::cancel(const std::shared_ptr<UITouch>& touch) {
    EventDispatcher::shared().cancelTouches({touch});
}

void TouchSimulator::tap(CGPoint at) {
    auto touch = begin(at);
    if (touch) end(touch);
}

void TouchSimulator::tap(const std::shared_ptr<UIView>& view) {
    tap(centerOf(view));
}

namespace {
// `steps` moves of `touch` along the line from `from` to `to`, the clock advanced before each.
void moveInSteps(TouchSimulator& fingers, const std::shared_ptr<UITouch>& touch, CGPoint from, CGPoint to, int steps,
                 double secondsPerStep) {
    if (steps < 1) steps = 1;
    for (int i = 1; i <= steps; ++i) {
        if (secondsPerStep > 0) dispatch::RunLoop::main().advance(secondsPerStep);
        CGFloat f = static_cast<CGFloat>(i) / steps;
        fingers.move(touch, CGPoint{from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f});
    }
}
}  // namespace

void TouchSimulator::drag(CGPoint from, CGPoint to, int steps, double secondsPerStep) {
    auto touch = begin(from);
    if (!touch) return;
    moveInSteps(*this, touch, from, to, steps, secondsPerStep);
    end(touch);
}

void TouchSimulator::moveAlong(const std::shared_ptr<UITouch>& touch, CGPoint to, int steps, double secondsPerStep) {
    if (!touch) return;
    moveInSteps(*this, touch, touch->location(nullptr), to, steps, secondsPerStep);
    if (secondsPerStep > 0) dispatch::RunLoop::main().advance(secondsPerStep);
}

CGPoint TouchSimulator::centerOf(const std::shared_ptr<UIView>& view) {
    if (!view) return CGPoint();
    CGRect b = view->bounds();
    return view->convertTo(CGPoint{b.midX(), b.midY()}, view->window());
}

std::shared_ptr<UIPress> PressSimulator::begin(UIPress::PressType type, std::shared_ptr<UIResponder> to) {
    return EventDispatcher::shared().beginPress(type, std::move(to));
}

void PressSimulator::end(const std::shared_ptr<UIPress>& press) {
    EventDispatcher::shared().endPress(press);
}

void PressSimulator::cancel(const std::shared_ptr<UIPress>& press) {
    EventDispatcher::shared().cancelPress(press);
}

void PressSimulator::press(UIPress::PressType type, std::shared_ptr<UIResponder> to) {
    auto p = begin(type, std::move(to));
    end(p);
}

void resetInteractionState() {
    UIApplication::setShared(nullptr);
    EventDispatcher::shared().resetForTesting();
    detail::GestureArena::shared().resetForTesting();
    UIFocusSystem::shared().resetForTesting();
    detail::FirstResponder::set(nullptr);
    SimulatedKeyboard::shared().resetForTesting();
    UIImpactFeedbackGenerator::clearRecordedEvents();
}

}  // namespace uikit::testing
