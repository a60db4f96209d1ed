#pragma once

// Internal to the toolkit: how touches and presses travel from the system (in tests, the simulators) through
// the application to gesture recognisers and views, and the arbitration between recognisers.

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "uikit/UIEvent.h"
#include "uikit/UIGestureRecognizer.h"

namespace uikit::detail {

// A delivery to a touch's view that recognisers hold back for now.
struct HeldDelivery {
    UITouch::Phase phase;
    std::shared_ptr<UIEvent> event;
};

struct TouchState {
    std::vector<std::weak_ptr<UIGestureRecognizer>> recognizers;
    bool deliversToView = true;  // false for an extra touch on a view without multiple touch
    bool viewBegan = false;      // the view has had touchesBegan
    bool viewDone = false;       // the view has had touchesEnded / touchesCancelled, or never will
    bool finished = false;       // ended or cancelled, and taken off the screen
    std::deque<HeldDelivery> held;
};

struct PressState {
    std::vector<std::weak_ptr<UIGestureRecognizer>> recognizers;
    bool responderBegan = false;
    bool responderDone = false;
};

class EventDispatcher {
  public:
    static EventDispatcher& shared();

    // ---- The system's side: making events ------------------------------------------------------------
    // New touches at `points` (window coordinates) of `window`: hit-tested, given a tap count and their
    // recognisers, then sent through the shared application in one event.
    std::vector<std::shared_ptr<UITouch>> beginTouches(const std::shared_ptr<UIWindow>& window,
                                                       const std::vector<CGPoint>& points);
    // Moves, ends or cancels touches (all of one window) in one event. Finished touches are skipped.
    void moveTouches(const std::vector<std::pair<std::shared_ptr<UITouch>, CGPoint>>& moves);
    void endTouches(const UITouchSet& touches);
    void cancelTouches(const UITouchSet& touches);

    // A new press sent to `responder` (nullptr: the focused view, or the key window).
    std::shared_ptr<UIPress> beginPress(UIPress::PressType type, std::shared_ptr<UIResponder> responder);
    void endPress(const std::shared_ptr<UIPress>& press);
    void cancelPress(const std::shared_ptr<UIPress>& press);

    // ---- The application's side ----------------------------------------------------------------------
    // What UIApplication::sendEvent does: recognisers first, then views (or the press's responder).
    void dispatch(const std::shared_ptr<UIEvent>& event);

    // A recogniser changed state: cancel its touches in their views when it recognised, release deliveries
    // it no longer holds back.
    void recognizerDidChangeState(UIGestureRecognizer& recognizer, bool recognizedNow);
    // A view left `window` (with its subtree): its touches are cancelled.
    void viewDidLeaveWindow(UIView& view);
    // Delivers what is held back for `touch` as far as its recognisers now allow.
    void flushHeld(const std::shared_ptr<UITouch>& touch);

    std::size_t activeTouchCount() const { return active_.size(); }
    void resetForTesting();

  private:
    // Touches and presses travel alike; what differs is in these (UIEventDispatch.cpp).
    struct TouchTraits;
    struct PressTraits;

    EventDispatcher() = default;
    void sendThroughApplication(const std::shared_ptr<UIEvent>& event);
    std::shared_ptr<UIEvent> makeTouchEvent(const std::shared_ptr<UIWindow>& window);
    // The window's touches stand still in the next event unless changed: their previous location is now.
    void holdStill(const std::shared_ptr<UIWindow>& window);
    void finishTouches(const UITouchSet& touches, UITouch::Phase phase);
    void finishPress(const std::shared_ptr<UIPress>& press, UIPress::Phase phase);
    template <class Item, class Type>
    static void attachRecognizers(const std::shared_ptr<UIView>& view, Item& item, Type type);
    template <class Traits>
    void dispatchItems(const std::shared_ptr<typename Traits::Event>& event);
    bool isHeld(const UITouch& touch, UITouch::Phase phase) const;
    void deliver(const std::shared_ptr<UITouch>& touch, UITouch::Phase phase, const std::shared_ptr<UIEvent>& event);
    void cancelInView(const std::shared_ptr<UITouch>& touch);
    void retireFinished();

    std::vector<std::shared_ptr<UITouch>> active_;
    std::vector<std::shared_ptr<UIPress>> activePresses_;
    std::shared_ptr<UIEvent> currentEvent_;
    // The last lift, for tap counts.
    std::weak_ptr<UIWindow> lastTapWindow_;
    CGPoint lastTapLocation_;
    double lastTapTime_ = -1;
    int lastTapCount_ = 0;
};

// The decisions between recognisers.
class GestureArena {
  public:
    static GestureArena& shared();

    // Work done inside a scope (a dispatch, a recogniser's timer) resets the recognisers that have finished
    // when the outermost scope ends.
    class Scope {
      public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

    void participate(UIGestureRecognizer& recognizer);
    void requestState(UIGestureRecognizer& recognizer, UIGestureRecognizer::State state);
    void resetForTesting();

  private:
    GestureArena() = default;
    enum class Verdict { proceed, wait, fail };
    Verdict blockers(UIGestureRecognizer& recognizer);
    bool mustWait(UIGestureRecognizer& recognizer, UIGestureRecognizer& other) const;
    bool shouldBegin(UIGestureRecognizer& recognizer) const;
    void attemptRecognition(UIGestureRecognizer& recognizer, UIGestureRecognizer::State state);
    void transition(UIGestureRecognizer& recognizer, UIGestureRecognizer::State state);
    void preventOthers(UIGestureRecognizer& recognizer);
    void resolveWaiters(UIGestureRecognizer& decided);
    std::vector<std::shared_ptr<UIGestureRecognizer>> participants();
    void resetFinished();

    std::vector<std::weak_ptr<UIGestureRecognizer>> participants_;
    int depth_ = 0;
};

}  // namespace uikit::detail
