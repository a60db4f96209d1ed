#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "foundation/NotificationCenter.h"
#include "rx/Rx.h"
#include "uikit/UIApplication.h"
#include "uikit/UIFeedbackGenerator.h"
#include "uikit/UIFocus.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;
using uikit::testing::PressSimulator;
using uikit::testing::TouchSimulator;
using GState = UIGestureRecognizer::State;

std::string stateName(GState s) {
    switch (s) {
        case GState::possible:
            return "possible";
        case GState::began:
            return "began";
        case GState::changed:
            return "changed";
        case GState::ended:
            return "ended";
        case GState::cancelled:
            return "cancelled";
        case GState::failed:
            return "failed";
    }
    return "?";
}

// A view that logs the touches and presses it receives.
class LoggingView : public UIView {
  public:
    static std::shared_ptr<LoggingView> create(std::vector<std::string>* log, std::string name, CGRect frame) {
        auto v = std::shared_ptr<LoggingView>(new LoggingView(frame));
        v->log_ = log;
        v->name_ = std::move(name);
        return v;
    }
    void touchesBegan(const UITouchSet& t, const UIEvent*) override { add("touchesBegan", t.size()); }
    void touchesMoved(const UITouchSet& t, const UIEvent*) override { add("touchesMoved", t.size()); }
    void touchesEnded(const UITouchSet& t, const UIEvent*) override { add("touchesEnded", t.size()); }
    void touchesCancelled(const UITouchSet& t, const UIEvent*) override { add("touchesCancelled", t.size()); }
    void pressesBegan(const UIPressSet& p, const UIPressesEvent* e) override {
        add("pressesBegan", p.size());
        if (forwardPresses) UIView::pressesBegan(p, e);
    }
    void pressesEnded(const UIPressSet& p, const UIPressesEvent* e) override {
        add("pressesEnded", p.size());
        if (forwardPresses) UIView::pressesEnded(p, e);
    }
    void pressesCancelled(const UIPressSet& p, const UIPressesEvent* e) override {
        add("pressesCancelled", p.size());
        if (forwardPresses) UIView::pressesCancelled(p, e);
    }
    bool canBecomeFocused() const override { return focusable; }
    bool shouldUpdateFocus(const UIFocusUpdateContext&) override { return allowFocusMoves; }
    void didUpdateFocus(const UIFocusUpdateContext& context, UIFocusAnimationCoordinator& coordinator) override {
        bool gained = context.nextFocusedView().get() == this;
        bool lost = context.previouslyFocusedView().get() == this;
        if (gained || lost) add(gained ? "gainedFocus" : "lostFocus", 1);
        std::weak_ptr<UIView> weak = sharedView();
        coordinator.addCoordinatedAnimationsCompletion(
            [weak, gained] {
                if (auto v = weak.lock()) v->setAlpha(gained ? 1.0 : 0.6);
            },
            [this] { ++focusAnimationsDone; });
    }

    bool forwardPresses = true;
    bool focusable = false;
    bool allowFocusMoves = true;
    int focusAnimationsDone = 0;

  private:
    explicit LoggingView(CGRect frame) : UIView(frame) {}
    void add(const std::string& what, std::size_t n) {
        if (log_) log_->push_back(name_ + "." + what + (n > 1 ? "×" + std::to_string(n) : ""));
    }
    std::vector<std::string>* log_ = nullptr;
    std::string name_;
};

void logActions(const std::shared_ptr<UIGestureRecognizer>& r, std::vector<std::string>* log, const std::string& name) {
    r->addAction([log, name](UIGestureRecognizer& g) { log->push_back(name + " " + stateName(g.state())); });
}

class GesturesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = UIWindow::create(CGRect(0, 0, 390, 844));
        window->makeKeyAndVisible();
        view = LoggingView::create(&log, "view", CGRect(0, 0, 300, 300));
        window->addSubview(view);
    }

    dispatch::testing::ManualClockScope clock;
    std::vector<std::string> log;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<LoggingView> view;
    TouchSimulator sim() { return TouchSimulator(window); }
};

// A single tap that waits for the double tap to fail, as a page view asks of its delegate.
struct WaitForDoubleTap : UIGestureRecognizerDelegate {
    bool gestureRecognizerShouldRequireFailureOf(UIGestureRecognizer&, UIGestureRecognizer& other) override {
        auto* tap = dynamic_cast<UITapGestureRecognizer*>(&other);
        return tap && tap->numberOfTapsRequired() == 2;
    }
};

TEST_F(GesturesTest, SingleTapWaitsForTheDoubleTapToFail) {
    auto single = UITapGestureRecognizer::create();
    auto delegate = std::make_shared<WaitForDoubleTap>();
    single->setDelegate(delegate);
    single->setCancelsTouchesInView(false);
    single->setDelaysTouchesEnded(false);
    auto twice = UITapGestureRecognizer::create();
    twice->setNumberOfTapsRequired(2);
    view->addGestureRecognizer(single);
    view->addGestureRecognizer(twice);
    logActions(single, &log, "single");
    logActions(twice, &log, "double");

    // One tap: nothing until the double tap gives up.
    sim().tap({50, 50});
    EXPECT_EQ(std::count(log.begin(), log.end(), "single ended"), 0);
    clock.advance(0.34);
    EXPECT_EQ(std::count(log.begin(), log.end(), "single ended"), 0);
    clock.advance(0.02);
    EXPECT_EQ(std::count(log.begin(), log.end(), "single ended"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "double ended"), 0);
    EXPECT_EQ(single->state(), GState::possible);  // reset after deciding

    // Two quick taps: the double tap, and never the single.
    log.clear();
    sim().tap({50, 50});
    clock.advance(0.2);
    sim().tap({52, 50});
    clock.advance(1.0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "double ended"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "single ended"), 0);

    // Without the requirement the single tap wins at once and the double tap fails.
    log.clear();
    single->setDelegate({});
    sim().tap({50, 50});
    EXPECT_EQ(std::count(log.begin(), log.end(), "single ended"), 1);
    clock.advance(0.1);
    sim().tap({50, 50});
    clock.advance(1.0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "double ended"), 0);
}

TEST_F(GesturesTest, TapFailsWhenTheFingerWanders) {
    auto tap = UITapGestureRecognizer::create();
    view->addGestureRecognizer(tap);
    logActions(tap, &log, "tap");
    sim().drag({50, 50}, {80, 50}, 3);
    EXPECT_EQ(std::count(log.begin(), log.end(), "tap ended"), 0);
    sim().drag({50, 50}, {55, 50}, 3);
    EXPECT_EQ(std::count(log.begin(), log.end(), "tap ended"), 1);
}

TEST_F(GesturesTest, PanEndsBeforeTheViewSeesTheTouchEnd) {
    auto pan = UIPanGestureRecognizer::create();
    pan->setCancelsTouchesInView(false);
    view->addGestureRecognizer(pan);
    std::vector<CGPoint> translations;
    pan->addAction([&](UIGestureRecognizer& g) {
        log.push_back("pan " + stateName(g.state()));
        translations.push_back(static_cast<UIPanGestureRecognizer&>(g).translation(view));
    });
    auto s = sim();
    auto t = s.begin({100, 100});
    clock.advance(0.05);
    s.move(t, {105, 100});  // under the 10-point threshold
    clock.advance(0.05);
    s.move(t, {130, 100});
    clock.advance(0.1);
    s.move(t, {150, 120});
    EXPECT_EQ(pan->velocity(view), (CGPoint{200, 200}));
    s.end(t);
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan", "view.touchesMoved", "pan began", "view.touchesMoved",
                                             "pan changed", "view.touchesMoved", "pan ended", "view.touchesEnded"}));
    EXPECT_EQ(translations.front(), (CGPoint{30, 0}));
    EXPECT_EQ(translations.back(), (CGPoint{50, 20}));
    EXPECT_EQ(pan->state(), GState::possible);

    // A touch that never travels far enough makes the pan fail (no action).
    log.clear();
    t = s.begin({100, 100});
    s.move(t, {104, 100});
    s.end(t);
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan", "view.touchesMoved", "view.touchesEnded"}));

    // Cancelled mid-pan: the pan is cancelled before the view hears of it.
    log.clear();
    t = s.begin({100, 100});
    s.move(t, {140, 100});
    s.cancel(t);
    EXPECT_EQ(log.back(), "view.touchesCancelled");
    EXPECT_EQ(log[log.size() - 2], "pan cancelled");
}

TEST_F(GesturesTest, RecognisingCancelsTheViewsTouchesByDefault) {
    auto pan = UIPanGestureRecognizer::create();
    view->addGestureRecognizer(pan);
    logActions(pan, &log, "pan");
    auto s = sim();
    auto t = s.begin({100, 100});
    s.move(t, {100, 150});
    s.move(t, {100, 160});
    s.end(t);
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan", "pan began", "view.touchesCancelled", "pan changed",
                                             "pan ended"}));
    // setTranslation rebases the measurement.
    t = s.begin({100, 100});
    s.move(t, {100, 150});
    pan->setTranslationIn(CGPoint{0, 0}, view);
    s.move(t, {100, 155});
    EXPECT_EQ(pan->translation(view), (CGPoint{0, 5}));
    s.end(t);
}

TEST_F(GesturesTest, DelaysTouchesEndedHoldsTheLiftUntilTheRecogniserDecides) {
    auto twice = UITapGestureRecognizer::create();
    twice->setNumberOfTapsRequired(2);
    twice->setCancelsTouchesInView(false);
    view->addGestureRecognizer(twice);
    sim().tap({50, 50});
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan"}));
    clock.advance(0.4);  // the double tap fails: the lift is delivered
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan", "view.touchesEnded"}));

    // With cancelsTouchesInView the held lift becomes a cancellation when it recognises.
    log.clear();
    twice->setCancelsTouchesInView(true);
    sim().tap({50, 50});
    clock.advance(0.1);
    sim().tap({50, 50});
    // Both taps' touches were delivered to the view as they began; both are cancelled when it recognises.
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan", "view.touchesBegan", "view.touchesCancelled",
                                             "view.touchesCancelled"}));
}

TEST_F(GesturesTest, SwipesRecogniseOnlyTheirDirections) {
    auto swipe = UISwipeGestureRecognizer::create();
    swipe->setDirection(UISwipeGestureRecognizer::Direction::right() | UISwipeGestureRecognizer::Direction::up());
    view->addGestureRecognizer(swipe);
    int recognised = 0;
    rx::DisposeBag bag;
    swipe->rx()
        .event()
        .subscribe([&](const std::shared_ptr<UISwipeGestureRecognizer>& s) {
            if (s->state() == GState::ended) ++recognised;
            EXPECT_TRUE(s->direction().contains(UISwipeGestureRecognizer::Direction::right()));
        })
        .disposed(bag);
    sim().drag({50, 150}, {150, 150}, 4, 0.02);
    EXPECT_EQ(recognised, 1);
    sim().drag({150, 150}, {50, 150}, 4, 0.02);  // left is not permitted
    sim().drag({50, 150}, {150, 150}, 4, 0.3);   // too slow
    sim().drag({50, 150}, {110, 140}, 2, 0.01);  // enough, fast, mostly right
    EXPECT_EQ(recognised, 2);
}

struct OnlyOnView : UIGestureRecognizerDelegate {
    std::weak_ptr<UIView> view;
    bool gestureRecognizerShouldReceive(UIGestureRecognizer&, UITouch& touch) override {
        return touch.view() && touch.view() == view.lock();
    }
};

TEST_F(GesturesTest, DelegateFiltersTouches) {
    auto child = LoggingView::create(&log, "child", CGRect(0, 0, 100, 100));
    view->addSubview(child);
    auto tap = UITapGestureRecognizer::create();
    auto delegate = std::make_shared<OnlyOnView>();
    delegate->view = view;
    tap->setDelegate(delegate);
    view->addGestureRecognizer(tap);
    int taps = 0;
    tap->addAction([&](UIGestureRecognizer&) { ++taps; });
    sim().tap({50, 50});  // on the child
    EXPECT_EQ(taps, 0);
    sim().tap({200, 200});  // on the view itself
    EXPECT_EQ(taps, 1);

    // A delegate that refuses to let it begin makes it fail.
    struct Never : UIGestureRecognizerDelegate {
        bool gestureRecognizerShouldBegin(UIGestureRecognizer&) override { return false; }
    };
    auto never = std::make_shared<Never>();
    tap->setDelegate(never);
    sim().tap({200, 200});
    EXPECT_EQ(taps, 1);
}

TEST_F(GesturesTest, OneTouchPerViewUnlessMultipleTouchIsEnabled) {
    auto s = sim();
    auto touches = s.begin(std::vector<CGPoint>{{10, 10}, {50, 50}});
    ASSERT_EQ(touches.size(), 2u);
    s.end(touches);
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan", "view.touchesEnded"}));
    log.clear();
    view->setIsMultipleTouchEnabled(true);
    touches = s.begin(std::vector<CGPoint>{{10, 10}, {50, 50}});
    s.end(touches);
    EXPECT_EQ(log, (std::vector<std::string>{"view.touchesBegan×2", "view.touchesEnded×2"}));
}

TEST_F(GesturesTest, TouchesOfAViewRemovedMidTouchAreCancelled) {
    auto child = LoggingView::create(&log, "child", CGRect(0, 0, 100, 100));
    view->addSubview(child);
    auto pan = UIPanGestureRecognizer::create();
    view->addGestureRecognizer(pan);
    logActions(pan, &log, "pan");
    auto s = sim();
    auto t = s.begin({50, 50});
    s.move(t, {50, 90});
    log.clear();
    child->removeFromSuperview();
    EXPECT_EQ(t->phase(), UITouch::Phase::cancelled);
    EXPECT_EQ(log,
              (std::vector<std::string>{"pan cancelled"}));  // the child's touches were already cancelled by the pan
    s.move(t, {50, 120});
    s.end(t);
    EXPECT_EQ(log.size(), 1u);

    // Without a recogniser the view itself hears the cancellation.
    view->removeGestureRecognizer(pan);
    window->addSubview(child);
    log.clear();
    t = s.begin({50, 50});
    child->removeFromSuperview();
    EXPECT_EQ(log, (std::vector<std::string>{"child.touchesBegan", "child.touchesCancelled"}));
    EXPECT_EQ(t->view(), child);  // the touch keeps its view
}

// The host's application class: post after every dispatched event.
class PostingApplication : public UIApplication {
  public:
    static std::shared_ptr<PostingApplication> create() {
        return std::shared_ptr<PostingApplication>(new PostingApplication());
    }
    void sendEvent(const std::shared_ptr<UIEvent>& event) override {
        UIApplication::sendEvent(event);
        foundation::NotificationCenter::defaultCenter().post("UIApplicationDidSendEvent", event);
    }
};

TEST_F(GesturesTest, SendEventSubclassSeesEveryEventAfterDispatch) {
    const dispatch::testing::RestoreOnExit plainApplication([] { UIApplication::setShared(nullptr); });
    UIApplication::setShared(PostingApplication::create());
    auto child = LoggingView::create(&log, "child", CGRect(0, 0, 100, 100));
    view->addSubview(child);
    std::vector<std::string> phases;
    auto token = foundation::NotificationCenter::defaultCenter().addObserver(
        "UIApplicationDidSendEvent", nullptr, nullptr, [&](const foundation::Notification& n) {
            auto event = n.object.as<UIEvent>();
            ASSERT_TRUE(event);
            log.push_back("notification");
            // The event's touches for the view are none (they are its subview's); for the child, one.
            EXPECT_FALSE(event->touches(std::shared_ptr<UIView>(view)).has_value());
            auto onChild = event->touches(std::shared_ptr<UIView>(child));
            ASSERT_TRUE(onChild.has_value());
            phases.push_back(onChild->front()->phase() == UITouch::Phase::began ? "began" : "other");
        });
    sim().tap({50, 50});
    foundation::NotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(log,
              (std::vector<std::string>{"child.touchesBegan", "notification", "child.touchesEnded", "notification"}));
    EXPECT_EQ(phases, (std::vector<std::string>{"began", "other"}));
}

// A controller whose view logs presses reaching it through the responder chain.
class PressController : public UIViewController {
  public:
    static std::shared_ptr<PressController> create(std::vector<std::string>* log) {
        auto c = std::shared_ptr<PressController>(new PressController());
        c->log_ = log;
        return c;
    }
    void pressesBegan(const UIPressSet&, const UIPressesEvent*) override { log_->push_back("controller.pressesBegan"); }
    void pressesEnded(const UIPressSet&, const UIPressesEvent*) override { log_->push_back("controller.pressesEnded"); }

  private:
    std::vector<std::string>* log_ = nullptr;
};

TEST_F(GesturesTest, PressesReachRecognisersThenTheResponderChain) {
    auto controller = PressController::create(&log);
    window->setRootViewController(controller);
    auto focusable = LoggingView::create(&log, "button", CGRect(10, 10, 50, 50));
    focusable->focusable = true;
    controller->view()->addSubview(focusable);
    ASSERT_TRUE(UIFocusSystem::shared().moveFocus(focusable));
    log.clear();

    auto menu = UITapGestureRecognizer::create();
    menu->setAllowedPressTypes({UIPress::PressType::menu});
    controller->view()->addGestureRecognizer(menu);
    logActions(menu, &log, "menu");
    auto playPause = UITapGestureRecognizer::create();
    playPause->setAllowedPressTypes({UIPress::PressType::playPause});
    playPause->setCancelsTouchesInView(false);
    controller->view()->addGestureRecognizer(playPause);
    logActions(playPause, &log, "playPause");

    PressSimulator presses;
    presses.press(UIPress::PressType::menu);
    EXPECT_EQ(log, (std::vector<std::string>{"button.pressesBegan", "controller.pressesBegan", "menu ended",
                                             "button.pressesCancelled"}));

    // Not a menu press: the menu recogniser does not see it; the press travels the chain.
    log.clear();
    presses.press(UIPress::PressType::playPause);
    EXPECT_EQ(log, (std::vector<std::string>{"button.pressesBegan", "controller.pressesBegan", "playPause ended",
                                             "button.pressesEnded", "controller.pressesEnded"}));

    // A cancelled press recognises nothing.
    log.clear();
    auto p = presses.begin(UIPress::PressType::playPause);
    presses.cancel(p);
    EXPECT_EQ(std::count(log.begin(), log.end(), "playPause ended"), 0);

    // Press recognisers take no touches.
    log.clear();
    sim().tap({200, 400});
    EXPECT_TRUE(log.empty());
}

TEST_F(GesturesTest, FocusUpdatesAskAndTellTheEnvironments) {
    auto a = LoggingView::create(&log, "a", CGRect(0, 0, 50, 50));
    auto b = LoggingView::create(&log, "b", CGRect(60, 0, 50, 50));
    a->focusable = b->focusable = true;
    view->addSubview(a);
    view->addSubview(b);
    auto& focus = UIFocusSystem::shared();

    EXPECT_FALSE(focus.moveFocus(view));  // not focusable
    ASSERT_TRUE(focus.moveFocus(a));
    EXPECT_TRUE(a->isFocused());
    ASSERT_TRUE(focus.moveFocus(b));
    EXPECT_EQ(log, (std::vector<std::string>{"a.gainedFocus", "a.lostFocus", "b.gainedFocus"}));
    // Coordinated animations run together; their completions when the animation ends.
    EXPECT_DOUBLE_EQ(a->alpha(), 0.6);
    EXPECT_DOUBLE_EQ(b->alpha(), 1.0);
    EXPECT_EQ(b->focusAnimationsDone, 0);
    clock.advance(UIFocusSystem::animationDuration);
    EXPECT_EQ(a->focusAnimationsDone, 2);
    EXPECT_EQ(b->focusAnimationsDone, 1);

    // A veto keeps the focus where it is.
    b->allowFocusMoves = false;
    EXPECT_FALSE(focus.moveFocus(a));
    EXPECT_TRUE(b->isFocused());
    b->allowFocusMoves = true;

    // Hidden views cannot take focus; a focused view leaving its window loses it.
    a->setIsHidden(true);
    EXPECT_FALSE(focus.moveFocus(a));
    b->removeFromSuperview();
    EXPECT_EQ(focus.focusedItem(), nullptr);
}

TEST_F(GesturesTest, FocusRequestsNeedAnEnabledFocusSystem) {
    auto a = LoggingView::create(&log, "a", CGRect(0, 0, 50, 50));
    a->focusable = true;
    view->addSubview(a);
    view->setNeedsFocusUpdate();
    clock.runUntilIdle();
    EXPECT_EQ(UIFocusSystem::shared().focusedItem(), nullptr);  // a phone has no focus

    UIFocusSystem::shared().setIsEnabled(true);
    view->setNeedsFocusUpdate();
    EXPECT_EQ(UIFocusSystem::shared().focusedItem(), nullptr);  // at the end of the turn
    clock.runUntilIdle();
    EXPECT_EQ(UIFocusSystem::shared().focusedView(), a);
}

TEST(Haptics, ImpactsAreRecorded) {
    dispatch::testing::ManualClockScope clock;
    uikit::testing::resetInteractionState();
    auto generator = UIImpactFeedbackGenerator::create(UIImpactFeedbackGenerator::FeedbackStyle::light);
    generator->prepare();
    clock.advance(1.0);
    generator->impactOccurred();
    generator->impactOccurred(3.0);
    auto events = UIImpactFeedbackGenerator::recordedEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, UIImpactFeedbackGenerator::RecordedEvent::Kind::prepare);
    EXPECT_EQ(events[1].kind, UIImpactFeedbackGenerator::RecordedEvent::Kind::impactOccurred);
    EXPECT_EQ(events[1].style, UIImpactFeedbackGenerator::FeedbackStyle::light);
    EXPECT_DOUBLE_EQ(events[1].timestamp - events[0].timestamp, 1.0);
    EXPECT_EQ(events[2].intensity, 1.0);
    EXPECT_EQ(generator->events().size(), 3u);
}

}  // namespace
