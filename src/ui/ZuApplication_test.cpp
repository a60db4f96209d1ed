#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "ui/TouchesForSubviews.h"
#include "ui/ZuApplication.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

using namespace lumora;
using uikit::CGPoint;
using uikit::CGRect;
using uikit::UITouch;

namespace {

// A view that logs the touches it is given.
class LoggingView : public uikit::UIView {
  public:
    static std::shared_ptr<LoggingView> create(std::vector<std::string>* log, const CGRect& frame) {
        auto view = std::shared_ptr<LoggingView>(new LoggingView(frame));
        view->log_ = log;
        return view;
    }
    void touchesBegan(const uikit::UITouchSet&, const uikit::UIEvent*) override { log_->push_back("view began"); }
    void touchesEnded(const uikit::UITouchSet&, const uikit::UIEvent*) override { log_->push_back("view ended"); }

  private:
    using uikit::UIView::UIView;
    std::vector<std::string>* log_ = nullptr;
};

class ZuApplicationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect{0, 0, 400, 300});
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        foundation::NotificationCenter::defaultCenter().removeObserver(token);
        uikit::testing::resetInteractionState();
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<foundation::NotificationObserverToken> token;
};

}  // namespace

TEST_F(ZuApplicationTest, PostsTheDispatchedEventAfterTheViewsHaveHandledIt) {
    std::vector<std::string> log;
    auto view = LoggingView::create(&log, CGRect{0, 0, 200, 200});
    window->addSubview(view);
    std::vector<std::shared_ptr<uikit::UIEvent>> posted;
    token = foundation::NotificationCenter::defaultCenter().addObserver(
        UIApplicationDidSendEvent, nullptr, nullptr, [&](const foundation::Notification& n) {
            log.push_back("posted");
            posted.push_back(n.object.as<uikit::UIEvent>());
            EXPECT_TRUE(n.userInfo.empty());
        });

    // The plain application posts nothing.
    uikit::testing::TouchSimulator touches(window);
    touches.tap(CGPoint{50, 50});
    EXPECT_EQ(log, (std::vector<std::string>{"view began", "view ended"}));

    uikit::UIApplication::setShared(ZuApplication::create());
    log.clear();
    auto touch = touches.begin(CGPoint{50, 50});
    touches.end(touch);
    EXPECT_EQ(log, (std::vector<std::string>{"view began", "posted", "view ended", "posted"}));
    ASSERT_EQ(posted.size(), 2u);
    ASSERT_TRUE(posted[0]);
    EXPECT_EQ(posted[0]->allTouches().front(), touch);

    // Presses and touches outside every view are events too.
    uikit::testing::PressSimulator().press(uikit::UIPress::PressType::playPause);
    touches.tap(CGPoint{300, 250});
    EXPECT_EQ(posted.size(), 6u);
}

TEST_F(ZuApplicationTest, TouchesForSubviewsFindsTheFirstViewOfTheSubtreeThatWasTouched) {
    std::vector<std::string> log;
    auto root = uikit::UIView::create(CGRect{0, 0, 400, 300});
    auto left = uikit::UIView::create(CGRect{0, 0, 200, 300});
    auto leftInner = LoggingView::create(&log, CGRect{0, 0, 100, 100});
    auto right = uikit::UIView::create(CGRect{200, 0, 200, 300});
    window->addSubview(root);
    root->addSubview(left);
    left->addSubview(leftInner);
    root->addSubview(right);
    uikit::UIApplication::setShared(ZuApplication::create());

    std::vector<std::optional<uikit::UITouchSet>> forRoot, forRight, forLeftInner;
    token = foundation::NotificationCenter::defaultCenter().addObserver(
        UIApplicationDidSendEvent, nullptr, nullptr, [&](const foundation::Notification& n) {
            auto event = n.object.as<uikit::UIEvent>();
            forRoot.push_back(touchesForSubviews(*event, root));
            forRight.push_back(touchesForSubviews(*event, right));
            forLeftInner.push_back(touchesForSubviews(*event, leftInner));
        });

    uikit::testing::TouchSimulator touches(window);
    auto inner = touches.begin(CGPoint{50, 50});  // lands on the innermost view
    ASSERT_EQ(forRoot.size(), 1u);
    ASSERT_TRUE(forRoot[0]);
    EXPECT_EQ(forRoot[0]->front(), inner);
    EXPECT_EQ(forLeftInner[0]->front(), inner);
    EXPECT_FALSE(forRight[0]);

    auto onRight = touches.begin(CGPoint{300, 50});  // the root's second branch
    ASSERT_EQ(forRoot.size(), 2u);
    ASSERT_TRUE(forRight[1]);
    EXPECT_EQ(forRight[1]->front(), onRight);
    ASSERT_TRUE(forRoot[1]);
    EXPECT_EQ(forRoot[1]->size(), 1u);  // the first branch that answers wins: the resting touch on the left
    EXPECT_EQ(forRoot[1]->front(), inner);
    EXPECT_FALSE(touchesForSubviews(*uikit::UIEvent::create(uikit::UIEvent::EventType::touches), root));
    EXPECT_FALSE(touchesForSubviews(*uikit::UIEvent::create(uikit::UIEvent::EventType::touches), nullptr));
    touches.end(inner);
    touches.end(onRight);
}
