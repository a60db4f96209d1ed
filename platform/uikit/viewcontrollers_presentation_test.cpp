#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "foundation/NotificationCenter.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIApplication.h"
#include "uikit/UIButton.h"
#include "uikit/UIDevice.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;

// A controller that logs its life into a shared log.
class Screen : public UIViewController {
  public:
    static std::shared_ptr<Screen> create(std::vector<std::string>* log, std::string name) {
        auto s = std::shared_ptr<Screen>(new Screen());
        s->log_ = log;
        s->name_ = std::move(name);
        return s;
    }
    void loadView() override {
        add("loadView");
        UIViewController::loadView();
    }
    void viewDidLoad() override { add("viewDidLoad"); }
    void viewWillAppear(bool) override { add("willAppear"); }
    void viewDidAppear(bool) override { add("didAppear"); }
    void viewWillDisappear(bool) override { add("willDisappear"); }
    void viewDidDisappear(bool) override { add("didDisappear"); }
    void viewDidLayoutSubviews() override { add("didLayoutSubviews"); }
    void willMove(const std::shared_ptr<UIViewController>& parent) override {
        add(parent ? "willMoveToParent" : "willMoveToNil");
    }
    void didMove(const std::shared_ptr<UIViewController>& parent) override {
        add(parent ? "didMoveToParent" : "didMoveToNil");
    }
    void touchesBegan(const UITouchSet&, const UIEvent*) override { add("touchesBegan"); }

  private:
    void add(const std::string& what) {
        if (log_) log_->push_back(name_ + "." + what);
    }
    std::vector<std::string>* log_ = nullptr;
    std::string name_;
};

class ViewControllersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = UIWindow::create(CGRect(0, 0, 390, 844));
        window->makeKeyAndVisible();
        root = Screen::create(&log, "root");
        window->setRootViewController(root);
        log.clear();
    }

    // The log without layout passes (which come at the end of each turn of the main loop).
    std::vector<std::string> lifecycle() const {
        std::vector<std::string> result;
        for (const auto& e : log) {
            if (e.find("didLayoutSubviews") == std::string::npos) result.push_back(e);
        }
        return result;
    }
    int count(const std::string& entry) const { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }

    dispatch::testing::ManualClockScope clock;
    std::vector<std::string> log;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<Screen> root;
};

TEST_F(ViewControllersTest, ViewLoadsLazilyOnceAndLaysOutThroughTheController) {
    auto screen = Screen::create(&log, "s");
    EXPECT_FALSE(screen->isViewLoaded());
    auto v = screen->view();
    EXPECT_TRUE(screen->isViewLoaded());
    EXPECT_EQ(screen->view(), v);
    screen->loadViewIfNeeded();
    EXPECT_EQ(log, (std::vector<std::string>{"s.loadView", "s.viewDidLoad"}));

    // The root view's next responder is its controller; the controller's is the superview.
    window->addSubview(v);
    EXPECT_EQ(v->next(), screen);
    EXPECT_EQ(screen->next(), window);
    uikit::testing::TouchSimulator(window).tap({10, 10});
    EXPECT_EQ(count("s.touchesBegan"), 1);

    log.clear();
    v->setNeedsLayout();
    v->layoutIfNeeded();
    EXPECT_EQ(count("s.didLayoutSubviews"), 1);
}

TEST_F(ViewControllersTest, WindowRootGetsAppearanceCallbacks) {
    auto next = Screen::create(&log, "next");
    window->setRootViewController(next);
    EXPECT_EQ(log, (std::vector<std::string>{"root.willDisappear", "root.didDisappear", "next.loadView",
                                             "next.viewDidLoad", "next.willAppear", "next.didAppear"}));
    EXPECT_EQ(window->rootViewController(), next);
    EXPECT_EQ(next->view()->superview(), window);
    EXPECT_EQ(next->view()->frame(), window->bounds());
    EXPECT_FALSE(root->view()->superview());
}

TEST_F(ViewControllersTest, PresentAndDismissFollowThePlatformRules) {
    auto sheet = Screen::create(&log, "sheet");
    bool presented = false;
    root->presentAnimated(sheet, true, [&] { presented = true; });
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_EQ(sheet->presentingViewController(), root);
    EXPECT_TRUE(sheet->isBeingPresented());
    EXPECT_EQ(sheet->view()->superview(), window);
    clock.advance(UIViewController::transitionDuration - 0.01);
    EXPECT_FALSE(presented);
    clock.advance(0.01);
    EXPECT_TRUE(presented);
    // A sheet leaves its presenter on screen.
    EXPECT_EQ(count("root.willDisappear"), 0);
    EXPECT_EQ(count("sheet.didAppear"), 1);

    // Presenting while presenting is refused, with no completion and no crash.
    auto second = Screen::create(&log, "second");
    bool secondCompleted = false;
    root->presentAnimated(second, false, [&] { secondCompleted = true; });
    clock.advance(1.0);
    EXPECT_FALSE(secondCompleted);
    EXPECT_EQ(root->presentedViewController(), sheet);
    EXPECT_FALSE(second->presentingViewController());

    // The presented controller asks its presenter to dismiss it.
    bool dismissed = false;
    sheet->dismiss(true, [&] { dismissed = true; });
    EXPECT_TRUE(sheet->isBeingDismissed());
    EXPECT_EQ(count("sheet.willDisappear"), 1);
    clock.advance(UIViewController::transitionDuration);
    EXPECT_TRUE(dismissed);
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(sheet->presentingViewController());
    EXPECT_FALSE(sheet->view()->superview());
    EXPECT_EQ(count("sheet.didDisappear"), 1);

    // Nothing to dismiss: nothing happens.
    bool nothing = false;
    root->dismiss(true, [&] { nothing = true; });
    clock.advance(1.0);
    EXPECT_FALSE(nothing);

    // Now the second one can be presented, without animation: it completes on the next turn.
    root->presentAnimated(second, false, [&] { secondCompleted = true; });
    EXPECT_FALSE(secondCompleted);
    clock.runUntilIdle();
    EXPECT_TRUE(secondCompleted);
}

TEST_F(ViewControllersTest, FullScreenPresentationHidesThePresenterAndStacksDismissTogether) {
    auto full = Screen::create(&log, "full");
    full->setModalPresentationStyle(UIModalPresentationStyle::fullScreen);
    root->presentAnimated(full, false);
    clock.runUntilIdle();
    EXPECT_EQ(lifecycle(), (std::vector<std::string>{"full.loadView", "full.viewDidLoad", "full.willAppear",
                                                     "root.willDisappear", "full.didAppear", "root.didDisappear"}));
    auto top = Screen::create(&log, "top");
    full->presentAnimated(top, false);
    clock.runUntilIdle();
    EXPECT_EQ(top->presentingViewController(), full);

    // Dismissing from the root takes both away; the root reappears.
    log.clear();
    root->dismiss(false);
    clock.runUntilIdle();
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(full->presentedViewController());
    EXPECT_EQ(count("top.didDisappear"), 1);
    EXPECT_EQ(count("full.didDisappear"), 1);
    EXPECT_EQ(count("root.didAppear"), 1);
    EXPECT_FALSE(top->view()->superview());
}

TEST_F(ViewControllersTest, PresentingFromOffscreenOrTwiceIsRefused) {
    auto offscreen = Screen::create(&log, "offscreen");
    auto other = Screen::create(&log, "other");
    offscreen->presentAnimated(other, false);
    EXPECT_FALSE(offscreen->presentedViewController());
    root->presentAnimated(root, false);
    EXPECT_FALSE(root->presentedViewController());

    // A controller presented elsewhere cannot be presented again.
    root->presentAnimated(other, false);
    clock.runUntilIdle();
    auto third = Screen::create(&log, "third");
    window->addSubview(third->view());
    third->presentAnimated(other, false);
    EXPECT_FALSE(third->presentedViewController());
}

struct SheetDelegate : UIAdaptivePresentationControllerDelegate {
    std::vector<std::string> calls;
    bool allow = true;
    bool presentationControllerShouldDismiss(UIPresentationController&) override {
        calls.push_back("should");
        return allow;
    }
    void presentationControllerWillDismiss(UIPresentationController&) override { calls.push_back("will"); }
    void presentationControllerDidDismiss(UIPresentationController&) override { calls.push_back("did"); }
    void presentationControllerDidAttemptToDismiss(UIPresentationController&) override { calls.push_back("attempt"); }
};

TEST_F(ViewControllersTest, SwipingASheetAwayTellsThePresentationControllerDelegate) {
    auto login = Screen::create(&log, "login");
    auto nav = UINavigationController::create(login);
    nav->setIsNavigationBarHidden(true);
    auto delegate = std::make_shared<SheetDelegate>();
    nav->presentationController()->setDelegate(delegate);
    // A child sees its container's presentation controller.
    EXPECT_EQ(login->presentationController(), nav->presentationController());
    root->presentAnimated(nav, true);
    // Not while it is being presented.
    EXPECT_FALSE(nav->presentationController()->simulateInteractiveDismissal());
    clock.advance(UIViewController::transitionDuration);
    EXPECT_EQ(login->presentingViewController(), root);

    delegate->allow = false;
    EXPECT_FALSE(nav->presentationController()->simulateInteractiveDismissal());
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"should", "attempt"}));

    delegate->calls.clear();
    delegate->allow = true;
    EXPECT_TRUE(nav->presentationController()->simulateInteractiveDismissal());
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"should", "will"}));
    clock.advance(UIViewController::transitionDuration);
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"should", "will", "did"}));
    EXPECT_FALSE(root->presentedViewController());

    // Full-screen presentations cannot be swiped away.
    auto full = Screen::create(&log, "full");
    full->setModalPresentationStyle(UIModalPresentationStyle::fullScreen);
    root->presentAnimated(full, false);
    clock.runUntilIdle();
    EXPECT_FALSE(full->presentationController()->simulateInteractiveDismissal());
}

TEST_F(ViewControllersTest, AlertActionsDismissTheAlertThenRunTheirHandlers) {
    auto alert = UIAlertController::create("Missing Field", "Please enter a valid username and password",
                                           UIAlertController::Style::alert);
    std::vector<std::string> order;
    auto ok = UIAlertAction::create("OK", UIAlertAction::Style::default_, [&](UIAlertAction& action) {
        order.push_back("handler " + action.title().value_or(""));
        order.push_back(alert->presentingViewController() ? "still presented" : "dismissed");
    });
    auto cancel = UIAlertAction::create("Cancel", UIAlertAction::Style::cancel);
    cancel->setIsEnabled(false);
    alert->addAction(ok);
    alert->addAction(cancel);
    ASSERT_EQ(alert->actions().size(), 2u);
    EXPECT_EQ(alert->title(), "Missing Field");
    EXPECT_EQ(alert->message(), "Please enter a valid username and password");

    EXPECT_FALSE(alert->simulateTap(ok));  // not presented yet
    root->presentAnimated(alert, true);
    clock.advance(UIViewController::transitionDuration);
    EXPECT_EQ(count("root.willDisappear"), 0);  // the presenter stays on screen
    EXPECT_FALSE(alert->presentationController()->simulateInteractiveDismissal());
    EXPECT_FALSE(alert->simulateTap("Cancel"));  // disabled
    EXPECT_TRUE(alert->simulateTap("OK"));
    EXPECT_TRUE(order.empty());
    clock.advance(UIViewController::transitionDuration);
    EXPECT_EQ(order, (std::vector<std::string>{"handler OK", "dismissed"}));
    EXPECT_FALSE(root->presentedViewController());

    // The alert's buttons are real buttons: a touch on one taps its action.
    order.clear();
    auto again = UIAlertController::create("Error", "Try again", UIAlertController::Style::alert);
    again->addAction(UIAlertAction::create("OK", UIAlertAction::Style::default_,
                                           [&](UIAlertAction&) { order.push_back("tapped"); }));
    root->presentAnimated(again, false);
    clock.runUntilIdle();
    window->layoutIfNeeded();
    std::shared_ptr<UIButton> button;
    for (const auto& sub : again->view()->subviews()) {
        if (auto b = std::dynamic_pointer_cast<UIButton>(sub)) button = b;
    }
    ASSERT_TRUE(button);
    uikit::testing::TouchSimulator(window).tap(button);
    clock.advance(UIViewController::transitionDuration);
    EXPECT_EQ(order, (std::vector<std::string>{"tapped"}));
}

TEST_F(ViewControllersTest, NavigationPushesAndPopsButNeverTheRoot) {
    auto first = Screen::create(&log, "first");
    auto nav = UINavigationController::create(first);
    EXPECT_EQ(first->navigationController(), nav);
    EXPECT_EQ(log, (std::vector<std::string>{"first.willMoveToParent", "first.didMoveToParent"}));
    window->setRootViewController(nav);
    EXPECT_EQ(count("first.didAppear"), 1);
    EXPECT_FALSE(nav->isNavigationBarHidden());
    window->layoutIfNeeded();
    EXPECT_EQ(first->view()->frame().origin.y, UINavigationBar::height);
    nav->setIsNavigationBarHidden(true);
    window->layoutIfNeeded();
    EXPECT_EQ(first->view()->frame(), nav->view()->bounds());

    log.clear();
    auto second = Screen::create(&log, "second");
    nav->pushViewControllerAnimated(second, true);
    EXPECT_EQ(nav->topViewController(), second);
    EXPECT_EQ(nav->viewControllers().size(), 2u);
    clock.advance(UIViewController::transitionDuration);
    EXPECT_EQ(lifecycle(), (std::vector<std::string>{"second.willMoveToParent", "second.loadView", "second.viewDidLoad",
                                                     "first.willDisappear", "second.willAppear", "first.didDisappear",
                                                     "second.didAppear", "second.didMoveToParent"}));
    EXPECT_FALSE(first->view()->superview());

    // Pushing the same controller again is refused.
    nav->pushViewControllerAnimated(second, false);
    EXPECT_EQ(nav->viewControllers().size(), 2u);

    log.clear();
    EXPECT_EQ(nav->popViewController(true), second);
    clock.advance(UIViewController::transitionDuration);
    EXPECT_EQ(lifecycle(), (std::vector<std::string>{"second.willMoveToNil", "second.willDisappear", "first.willAppear",
                                                     "second.didDisappear", "first.didAppear", "second.didMoveToNil"}));
    EXPECT_FALSE(second->parent());
    EXPECT_EQ(first->view()->superview(), nav->view());

    // The root stays.
    EXPECT_EQ(nav->popViewController(true), nullptr);
    EXPECT_EQ(nav->viewControllers().size(), 1u);
}

TEST_F(ViewControllersTest, ChildContainmentCallsTheMoveHooks) {
    auto child = Screen::create(&log, "child");
    root->addChild(child);
    root->view()->addSubview(child->view());
    child->didMove(root);
    EXPECT_EQ(root->children().size(), 1u);
    EXPECT_EQ(child->parent(), root);
    child->willMove(nullptr);
    child->view()->removeFromSuperview();
    child->removeFromParent();
    EXPECT_TRUE(root->children().empty());
    EXPECT_EQ(log, (std::vector<std::string>{"child.willMoveToParent", "child.loadView", "child.viewDidLoad",
                                             "child.didMoveToParent", "child.willMoveToNil", "child.didMoveToNil"}));
}

TEST_F(ViewControllersTest, PresentationPolicyDefaultsFollowTheDevice) {
    EXPECT_EQ(root->preferredStatusBarStyle(), UIStatusBarStyle::default_);
    EXPECT_TRUE(root->shouldAutorotate());
    EXPECT_EQ(root->supportedInterfaceOrientations(), UIInterfaceOrientationMask::allButUpsideDown());
    {
        const dispatch::testing::RestoreOnExit restoreIdiom(
            [idiom = UIDevice::current().userInterfaceIdiom()] { UIDevice::current().setUserInterfaceIdiom(idiom); });
        UIDevice::current().setUserInterfaceIdiom(UIUserInterfaceIdiom::pad);
        EXPECT_EQ(root->supportedInterfaceOrientations(), UIInterfaceOrientationMask::all());
    }
    EXPECT_EQ(root->traitCollection(), window->windowTraits());
}

TEST(Application, OpensURLsThroughAnInjectableOpenerAndPostsStateChanges) {
    dispatch::testing::ManualClockScope clock;
    uikit::testing::resetInteractionState();
    auto app = UIApplication::shared();
    auto web = *foundation::URL::fromString("https://example.com/signup");
    auto custom = *foundation::URL::fromString("myapp://open");
    EXPECT_TRUE(app->canOpenURL(web));
    EXPECT_FALSE(app->canOpenURL(custom));
    std::optional<bool> result;
    app->openOptions(web, {}, [&](bool ok) { result = ok; });
    EXPECT_FALSE(result.has_value());  // answered on a later turn
    clock.runUntilIdle();
    EXPECT_EQ(result, true);
    app->setURLOpener({[](const foundation::URL&) { return true; }, [](const foundation::URL&) { return false; }});
    EXPECT_TRUE(app->canOpenURL(custom));
    app->openOptions(custom);
    EXPECT_EQ(app->openedURLs().size(), 2u);
    EXPECT_EQ(app->openedURLs().back(), custom);
    EXPECT_EQ(app->canOpenURLQueries().size(), 3u);

    std::vector<std::string> names;
    auto token = foundation::NotificationCenter::defaultCenter().addObserver(
        std::nullopt, nullptr, nullptr, [&](const foundation::Notification& n) {
            if (n.name.rfind("UIApplication", 0) == 0) names.push_back(n.name);
        });
    app->simulateEnterBackground();
    app->simulateEnterBackground();  // already there
    app->simulateEnterForeground();
    foundation::NotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "UIApplicationWillResignActiveNotification", "UIApplicationDidEnterBackgroundNotification",
                         "UIApplicationWillEnterForegroundNotification", "UIApplicationDidBecomeActiveNotification"}));
    EXPECT_EQ(app->applicationState(), UIApplication::State::active);
}

}  // namespace
