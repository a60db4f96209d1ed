#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "ui/ZuApplication.h"
#include "ui/ZuIdleTimer.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

using namespace lumora;
using uikit::CGPoint;
using uikit::CGRect;

namespace {

struct Published {
    double interval;
    bool forced;
    bool operator==(const Published&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Published& p) {
    return out << "(" << p.interval << (p.forced ? ", forced)" : ")");
}

class ZuIdleTimerTest : public ::testing::Test {
  protected:
    void SetUp() override { uikit::testing::resetInteractionState(); }
    void TearDown() override {
        bag = rx::DisposeBag();
        uikit::testing::resetInteractionState();
    }

    // Records what `timer` publishes on its event stream from now on (the current event is dropped).
    std::vector<Published>& record(const std::shared_ptr<ZuIdleTimer>& timer) {
        auto& log = logs.emplace_back();
        bool first = true;
        timer->event()
            .subscribe([&log, first](const ZuIdleTimerEvent& e) mutable {
                if (std::exchange(first, false)) return;
                log.push_back({e.timeInterval(), e.isForced()});
            })
            .disposed(bag);
        return log;
    }

    dispatch::testing::ManualClockScope clock;
    std::deque<std::vector<Published>> logs;
    rx::DisposeBag bag;
};

}  // namespace

TEST_F(ZuIdleTimerTest, ANewTimerCountsAsScheduledUntilInvalidated) {
    auto timer = ZuIdleTimer::create(5.0);
    EXPECT_TRUE(timer->isScheduled());
    EXPECT_EQ(timer->currentEvent().timeInterval(), 1.0);
    EXPECT_FALSE(timer->currentEvent().isForced());
    EXPECT_EQ(timer->currentEvent().timer(), timer);
    auto& log = record(timer);

    EXPECT_TRUE(timer->invalidate());
    EXPECT_FALSE(timer->isScheduled());
    EXPECT_FALSE(timer->invalidate());  // nothing to stop: nothing published
    EXPECT_EQ(log, (std::vector<Published>{{0, true}}));

    auto toggled = ZuIdleTimer::create(5.0);
    auto& toggledLog = record(toggled);
    toggled->toggle();  // from the first state: an invalidation
    toggled->toggle();
    toggled->toggle();
    EXPECT_EQ(toggledLog, (std::vector<Published>{{0, true}, {5, true}, {0, true}}));
    clock.advance(10);
    EXPECT_EQ(toggledLog.size(), 3u);  // the toggled-off countdown never fires
}

TEST_F(ZuIdleTimerTest, TheCountdownRunsOutOnTheMainQueueAfterItsWholeMilliseconds) {
    auto timer = ZuIdleTimer::create(1.2345);
    auto& log = record(timer);
    timer->schedule();
    EXPECT_EQ(log, (std::vector<Published>{{1.2345, true}}));
    clock.advance(1.233);
    EXPECT_EQ(log.size(), 1u);
    clock.advance(0.001);  // 1234 ms
    EXPECT_EQ(log, (std::vector<Published>{{1.2345, true}, {0, false}}));
    EXPECT_FALSE(timer->isScheduled());

    // Every restart announces the whole interval again and starts from the full length.
    timer->schedule();
    clock.advance(1.0);
    timer->schedule();
    clock.advance(1.0);
    EXPECT_TRUE(timer->isScheduled());
    clock.advance(0.234);
    EXPECT_FALSE(timer->isScheduled());
    EXPECT_EQ(log.back(), (Published{0, false}));
    EXPECT_EQ(log.size(), 5u);
}

TEST_F(ZuIdleTimerTest, OnlyTheLiveCountdownIsKept) {
    auto timer = ZuIdleTimer::create(5.0);
    const auto before = dispatch::RunLoop::main().pendingTimerCount();
    for (int i = 0; i < 200; ++i) timer->schedule();
    EXPECT_EQ(dispatch::RunLoop::main().pendingTimerCount(), before + 1);
    auto& log = record(timer);
    clock.advance(5);
    EXPECT_EQ(log, (std::vector<Published>{{0, false}}));
    EXPECT_EQ(dispatch::RunLoop::main().pendingTimerCount(), before);

    // Releasing the timer stops its countdown.
    timer->schedule();
    timer.reset();
    EXPECT_EQ(dispatch::RunLoop::main().pendingTimerCount(), before);
}

TEST_F(ZuIdleTimerTest, AHandlerMayScheduleAgainFromInsideTheEventThatEndedTheCountdown) {
    auto timer = ZuIdleTimer::create(2.0);
    std::vector<Published> handled;
    int restarts = 0;
    timer->setEventHandler([&](const ZuIdleTimerEvent& e) {
        handled.push_back({e.timeInterval(), e.isForced()});
        if (e.timeInterval() == 0 && !e.isForced() && restarts++ < 1) timer->schedule();
    });
    EXPECT_EQ(handled, (std::vector<Published>{{1, false}}));  // told the current event on assignment
    timer->schedule();
    clock.advance(2);
    EXPECT_TRUE(timer->isScheduled());
    clock.advance(2);  // the countdown scheduled from inside runs out in its turn
    EXPECT_EQ(handled, (std::vector<Published>{{1, false}, {2, true}, {0, false}, {2, true}, {0, false}}));

    timer->setEventHandler(nullptr);
    timer->toggle();
    EXPECT_EQ(handled.size(), 5u);
}

TEST_F(ZuIdleTimerTest, IntervalsAreSanitisedWhenTheTimerIsMade) {
    auto zero = ZuIdleTimer::create(0);
    auto& zeroLog = record(zero);
    zero->schedule();
    EXPECT_FALSE(zero->isScheduled());
    clock.runUntilIdle();  // fires on the next turn, never inside the call
    EXPECT_EQ(zeroLog, (std::vector<Published>{{0, true}, {0, false}}));

    for (double bad : {std::nan(""), -3.0, -std::numeric_limits<double>::infinity()}) {
        auto timer = ZuIdleTimer::create(bad);
        EXPECT_EQ(timer->timeInterval(), 0);
        timer->schedule();
        EXPECT_FALSE(timer->isScheduled());
    }
    for (double huge : {1e300, std::numeric_limits<double>::infinity(), 9.3e15}) {
        auto timer = ZuIdleTimer::create(huge);
        auto& log = record(timer);
        timer->schedule();
        clock.advance(1e6);
        EXPECT_TRUE(timer->isScheduled()) << huge;
        EXPECT_EQ(log, (std::vector<Published>{{huge, true}}));
    }
}

TEST_F(ZuIdleTimerTest, EventsCompareByIntervalAndForcedOnly) {
    auto a = ZuIdleTimer::create(3);
    auto b = ZuIdleTimer::create(3);
    a->schedule();
    b->schedule();
    EXPECT_EQ(a->currentEvent(), b->currentEvent());
    b->invalidate();
    EXPECT_NE(a->currentEvent(), b->currentEvent());
    ZuIdleTimerFactory factory;
    auto made = factory.idleTimer(4);
    ASSERT_TRUE(std::dynamic_pointer_cast<ZuIdleTimer>(made));
    EXPECT_EQ(std::dynamic_pointer_cast<ZuIdleTimer>(made)->timeInterval(), 4);
}

namespace {

class ObservedView : public uikit::UIView, public ViewInterface {
  public:
    static std::shared_ptr<ObservedView> create(const CGRect& frame) {
        return std::shared_ptr<ObservedView>(new ObservedView(frame));
    }

  private:
    using uikit::UIView::UIView;
};

// Touches reach the timer only through the kit's application class.
class ZuIdleTimerTouchTest : public ZuIdleTimerTest {
  protected:
    void SetUp() override {
        ZuIdleTimerTest::SetUp();
        uikit::UIApplication::setShared(ZuApplication::create());
        window = uikit::UIWindow::create(CGRect{0, 0, 400, 300});
        window->makeKeyAndVisible();
        controls = ObservedView::create(CGRect{0, 0, 200, 300});
        button = uikit::UIView::create(CGRect{20, 20, 60, 60});
        other = uikit::UIView::create(CGRect{200, 0, 200, 300});
        window->addSubview(controls);
        controls->addSubview(button);
        window->addSubview(other);
    }

    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ObservedView> controls;
    std::shared_ptr<uikit::UIView> button;
    std::shared_ptr<uikit::UIView> other;
};

}  // namespace

TEST_F(ZuIdleTimerTouchTest, AFingerRestingOnTheViewHoldsTheControlsAndLiftingItRestarts) {
    auto timer = ZuIdleTimer::create(5);
    auto& log = record(timer);
    timer->observe(controls);  // attaching announces the interval and starts counting
    EXPECT_EQ(log, (std::vector<Published>{{5, false}}));

    uikit::testing::TouchSimulator touches(window);
    clock.advance(4);
    auto finger = touches.begin(CGPoint{50, 50});  // on a subview of the observed view
    clock.advance(30);
    EXPECT_TRUE(timer->isScheduled());
    EXPECT_EQ(log.size(), 1u);
    touches.end(finger);
    EXPECT_EQ(log, (std::vector<Published>{{5, false}, {5, false}}));
    clock.advance(4.999);
    EXPECT_TRUE(timer->isScheduled());
    clock.advance(0.001);
    EXPECT_EQ(log.back(), (Published{0, false}));

    // Dragging republishes for every move.
    touches.drag(CGPoint{150, 150}, CGPoint{150, 250}, 3, 0.1);
    EXPECT_EQ(log.size(), 3u + 4u);
    EXPECT_TRUE(timer->isScheduled());
}

TEST_F(ZuIdleTimerTouchTest, TouchesElsewhereAndOtherEventsChangeNothing) {
    auto timer = ZuIdleTimer::create(5);
    timer->add(controls);
    auto& log = record(timer);
    uikit::testing::TouchSimulator touches(window);
    touches.tap(CGPoint{300, 100});
    uikit::testing::PressSimulator().press(uikit::UIPress::PressType::select);
    foundation::NotificationCenter::defaultCenter().post(UIApplicationDidSendEvent);  // no event object
    EXPECT_TRUE(log.empty());
    clock.advance(5);
    EXPECT_EQ(log, (std::vector<Published>{{0, false}}));

    // Only the view given last is watched.
    timer->add(other);
    touches.tap(CGPoint{50, 50});
    EXPECT_EQ(log.size(), 2u);
    touches.tap(CGPoint{300, 100});  // down holds, up restarts
    EXPECT_EQ(log.size(), 3u);

    // A plain application reports nothing.
    uikit::UIApplication::setShared(nullptr);
    touches.tap(CGPoint{300, 100});
    EXPECT_EQ(log.size(), 3u);
}

TEST_F(ZuIdleTimerTouchTest, TheObservationEndsWithTheTimer) {
    auto timer = ZuIdleTimer::create(5);
    timer->add(controls);
    const auto observers = foundation::NotificationCenter::defaultCenter().observerCount();
    timer.reset();
    EXPECT_EQ(foundation::NotificationCenter::defaultCenter().observerCount(), observers - 1);
    uikit::testing::TouchSimulator(window).tap(CGPoint{50, 50});
}
