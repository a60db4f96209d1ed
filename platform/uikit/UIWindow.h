#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "uikit/UIScreen.h"
#include "uikit/UIView.h"

namespace uikit {

class UIViewController;

// The root of a view tree on a screen. Views under a window are "in a window": they get willMove /
// didMoveToWindow, the window's traits and safe area, and are laid out and displayed automatically at the
// end of the main loop's turn in which something asked for it.
//
// Like the platform's, a window starts hidden; `makeKeyAndVisible()` shows it and makes it the key window.
class UIWindow : public UIView {
  public:
    // A window covering the main screen.
    static std::shared_ptr<UIWindow> create();
    static std::shared_ptr<UIWindow> create(const CGRect& frame);
    ~UIWindow() override;

    std::shared_ptr<UIScreen> screen() const { return screen_; }
    void setScreen(std::shared_ptr<UIScreen> screen);

    // The device's unsafe edges (status bar, sensor housing, home indicator), zero by default. Views in the
    // window get the part of these edges that covers them as their safe-area insets.
    void setSafeAreaInsets(const UIEdgeInsets& insets);

    // The traits of the window: derived from its size and its screen's idiom and scale, unless set here
    // (nullopt returns to the derived ones). Changes reach every view in the window through
    // `traitCollectionDidChange`.
    void setTraitCollection(std::optional<UITraitCollection> traits);
    UITraitCollection windowTraits() const;

    // The controller whose view fills the window, below everything presented (defined with the view
    // controllers, UIViewController.cpp). Setting it replaces the previous root's view, with the
    // appearance callbacks of both.
    std::shared_ptr<UIViewController> rootViewController() const;
    void setRootViewController(std::shared_ptr<UIViewController> controller);

    void makeKeyAndVisible();
    bool isKeyWindow() const;
    static std::shared_ptr<UIWindow> keyWindow();
    // Every live window, oldest first.
    static std::vector<std::shared_ptr<UIWindow>> windows();

    // Lays out and displays every window that needs it: what the end of a main-loop turn does. Tests may
    // call it instead of running the loop.
    static void layoutAndDisplayWindowsIfNeeded();

  private:
    explicit UIWindow(const CGRect& frame);
    friend class UIView;
    void register_();

    std::shared_ptr<UIScreen> screen_;
    std::optional<UITraitCollection> traitOverride_;
    UITraitCollection lastWindowTraits_;
    std::shared_ptr<UIViewController> rootViewController_;
};

}  // namespace uikit
