#pragma once

#include <memory>
#include <vector>

#include "uikit/UIViewController.h"

namespace uikit {

// The bar along the top of a navigation controller (44 points high). It shows nothing of its own here.
class UINavigationBar : public UIView {
  public:
    static constexpr CGFloat height = 44;
    static std::shared_ptr<UINavigationBar> create();
    CGSize intrinsicContentSize() const override;

  protected:
    UINavigationBar();
};

// A stack of view controllers, the top one's view shown under the navigation bar (or filling the view
// when the bar is hidden). Pushing and popping slide the views over `transitionDuration` seconds (or swap
// them on the next turn of the main loop when not animated) and, while the navigation controller is on
// screen, send the appearance callbacks of the two controllers. The root cannot be popped.
class UINavigationController : public UIViewController {
  public:
    static std::shared_ptr<UINavigationController> create();
    // The platform's `init(rootViewController:)`.
    static std::shared_ptr<UINavigationController> create(const std::shared_ptr<UIViewController>& rootViewController);

    std::vector<std::shared_ptr<UIViewController>> viewControllers() const { return stack_; }
    void setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers);
    std::shared_ptr<UIViewController> topViewController() const;
    // What the top controller presents, else the top controller.
    std::shared_ptr<UIViewController> visibleViewController() const;

    // Refused (a log line) for a controller already in a stack or with another parent.
    void pushViewControllerAnimated(const std::shared_ptr<UIViewController>& viewController, bool animated);
    // The popped controller; nothing when only the root is left.
    std::shared_ptr<UIViewController> popViewController(bool animated);
    std::vector<std::shared_ptr<UIViewController>> popToRootViewController(bool animated);

    const std::shared_ptr<UINavigationBar>& navigationBar() const { return navigationBar_; }
    bool isNavigationBarHidden() const { return navigationBar_->isHidden(); }
    void setIsNavigationBarHidden(bool hidden);
    void setNavigationBarHiddenAnimated(bool hidden, bool animated);

    void loadView() override;
    void viewDidLayoutSubviews() override;

  protected:
    UINavigationController();

  private:
    CGRect contentFrame() const;
    void show(const std::shared_ptr<UIViewController>& incoming, const std::shared_ptr<UIViewController>& outgoing,
              bool animated, bool forward, std::function<void()> done);

    std::vector<std::shared_ptr<UIViewController>> stack_;
    std::shared_ptr<UINavigationBar> navigationBar_;
};

}  // namespace uikit
