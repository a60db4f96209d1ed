#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/UIFocus.h"
#include "uikit/UIResponder.h"
#include "uikit/UITraitCollection.h"
#include "uikit/UIView.h"

namespace uikit {

class UIViewController;
class UINavigationController;
class UIPresentationController;

enum class UIStatusBarStyle { default_ = 0, lightContent = 1, darkContent = 3 };

// Raw values as on the platform. `automatic` presents as `pageSheet`.
enum class UIModalPresentationStyle {
    fullScreen = 0,
    pageSheet = 1,
    formSheet = 2,
    currentContext = 3,
    custom = 4,
    overFullScreen = 5,
    overCurrentContext = 6,
    popover = 7,
    none = -1,
    automatic = -2,
};

// A bit set with the platform's raw values.
struct UIInterfaceOrientationMask {
    unsigned rawValue = 0;
    static constexpr UIInterfaceOrientationMask portrait() { return {1u << 1}; }
    static constexpr UIInterfaceOrientationMask portraitUpsideDown() { return {1u << 2}; }
    static constexpr UIInterfaceOrientationMask landscapeRight() { return {1u << 3}; }
    static constexpr UIInterfaceOrientationMask landscapeLeft() { return {1u << 4}; }
    static constexpr UIInterfaceOrientationMask landscape() { return {(1u << 3) | (1u << 4)}; }
    static constexpr UIInterfaceOrientationMask all() { return {(1u << 1) | (1u << 2) | (1u << 3) | (1u << 4)}; }
    static constexpr UIInterfaceOrientationMask allButUpsideDown() { return {(1u << 1) | (1u << 3) | (1u << 4)}; }
    constexpr bool contains(UIInterfaceOrientationMask other) const {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    friend constexpr UIInterfaceOrientationMask operator|(UIInterfaceOrientationMask a, UIInterfaceOrientationMask b) {
        return {a.rawValue | b.rawValue};
    }
    friend constexpr bool operator==(const UIInterfaceOrientationMask&, const UIInterfaceOrientationMask&) = default;
};

// Told about a sheet the viewer may swipe away. Every requirement is optional.
class UIAdaptivePresentationControllerDelegate {
  public:
    virtual ~UIAdaptivePresentationControllerDelegate() = default;
    virtual bool presentationControllerShouldDismiss(UIPresentationController& presentationController) {
        (void)presentationController;
        return true;
    }
    virtual void presentationControllerWillDismiss(UIPresentationController& presentationController) {
        (void)presentationController;
    }
    // After the swipe's dismissal has finished (not sent for dismissals made in code).
    virtual void presentationControllerDidDismiss(UIPresentationController& presentationController) {
        (void)presentationController;
    }
    // The viewer tried to swipe away a sheet that may not go (`isModalInPresentation`, or the delegate said no).
    virtual void presentationControllerDidAttemptToDismiss(UIPresentationController& presentationController) {
        (void)presentationController;
    }
};

// Manages the presentation of one view controller; made on first use of `presentationController()`,
// before or during the presentation.
class UIPresentationController : public std::enable_shared_from_this<UIPresentationController> {
  public:
    std::shared_ptr<UIViewController> presentedViewController() const { return presented_.lock(); }
    std::shared_ptr<UIViewController> presentingViewController() const;
    UIModalPresentationStyle presentationStyle() const;

    std::weak_ptr<UIAdaptivePresentationControllerDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<UIAdaptivePresentationControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    // Test driver: the viewer swipes the presented sheet down. Only sheets (page and form sheets, and
    // `automatic`) can be swiped away, and only while presented and not in a transition. The delegate is asked
    // `presentationControllerShouldDismiss`; a controller with `isModalInPresentation` or a no gets
    // `presentationControllerDidAttemptToDismiss` instead. Otherwise: `presentationControllerWillDismiss`,
    // the animated dismissal, and `presentationControllerDidDismiss` once it has finished. Returns whether
    // the dismissal started.
    bool simulateInteractiveDismissal();

  private:
    friend class UIViewController;
    explicit UIPresentationController(const std::shared_ptr<UIViewController>& presented) : presented_(presented) {}

    std::weak_ptr<UIViewController> presented_;
    std::weak_ptr<UIAdaptivePresentationControllerDelegate> delegate_;
};

// Manages a screen: its view (made lazily by `loadView`), the appearance callbacks, child controllers and
// modal presentation.
//
// Appearance: `viewWillAppear` / `viewDidAppear` and `viewWillDisappear` / `viewDidDisappear` come in
// pairs, once per transition, forwarded to the children whose views are inside this controller's view.
// They are sent when a controller becomes or stops being a window's root, is presented or dismissed, or
// (children of a navigation controller) pushed or popped. A full-screen presentation also makes the
// presenter disappear and reappear; sheets and alerts leave it on screen, as on the platform.
//
// Presentation: `presentAnimated` adds the presented controller's view on top of the presenter's window
// (filling it) and slides it up over `transitionDuration` seconds on the one clock (or shows it on the
// next turn of the main loop when not animated); the completion runs when that has finished. The rules:
// a controller that is presenting refuses to present another (a log line, no crash, no completion);
// so does one whose view is not in a window, and a controller that is already presented or has a parent
// cannot be presented. The presenter is the root of the presenting controller's parent chain.
// `dismiss` on a controller that presents dismisses what it presents; otherwise its presenter dismisses
// it; with nothing to dismiss it does nothing (the completion is not called). Dismissing something that
// presents more dismisses all of it.
class UIViewController : public UIResponder, public UIFocusEnvironment {
  public:
    static constexpr double transitionDuration = 0.3;

    static std::shared_ptr<UIViewController> create();
    ~UIViewController() override;

    // ---- The view -----------------------------------------------------------------------------------
    // Loads the view on first use: `loadView()`, then `viewDidLoad()`.
    std::shared_ptr<UIView> view();
    void setView(std::shared_ptr<UIView> view);
    bool isViewLoaded() const { return view_ != nullptr; }
    std::shared_ptr<UIView> viewIfLoaded() const { return view_; }
    void loadViewIfNeeded();
    // Makes the view and sets it with `setView`; by default a plain view the size of the main screen.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool animated) { (void)animated; }
    virtual void viewDidAppear(bool animated) { (void)animated; }
    virtual void viewWillDisappear(bool animated) { (void)animated; }
    virtual void viewDidDisappear(bool animated) { (void)animated; }
    // Around the view's `layoutSubviews()`.
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}
    bool isAppearing() const;
    // Whether the view is on screen as far as the appearance callbacks go (between did-appear and
    // will-disappear).
    bool hasAppeared() const;

    std::optional<std::string> title() const { return title_; }
    void setTitle(std::optional<std::string> title) { title_ = std::move(title); }

    // The view's traits (the main screen's before the view is in a window).
    UITraitCollection traitCollection() const;
    virtual UIStatusBarStyle preferredStatusBarStyle() const { return UIStatusBarStyle::default_; }
    virtual bool prefersStatusBarHidden() const { return false; }
    virtual bool shouldAutorotate() const { return true; }
    // All but upside down on a phone, all on other devices.
    virtual UIInterfaceOrientationMask supportedInterfaceOrientations() const;
    // Counts requests (the status bar itself is not simulated).
    void setNeedsStatusBarAppearanceUpdate() { ++statusBarUpdateRequests_; }
    int statusBarAppearanceUpdateRequests() const { return statusBarUpdateRequests_; }

    // ---- Children -----------------------------------------------------------------------------------
    const std::vector<std::shared_ptr<UIViewController>>& children() const { return children_; }
    std::shared_ptr<UIViewController> parent() const { return parent_.lock(); }
    // Adds `child` (calling its `willMove(toParent:)` with this controller); the caller adds the child's
    // view and then calls the child's `didMove(toParent:)`.
    void addChild(const std::shared_ptr<UIViewController>& child);
    // The caller calls `willMove(toParent: nil)` first; this calls `didMove(toParent: nil)`.
    void removeFromParent();
    virtual void willMove(const std::shared_ptr<UIViewController>& toParent) { (void)toParent; }
    virtual void didMove(const std::shared_ptr<UIViewController>& toParent) { (void)toParent; }
    // The nearest navigation controller among the ancestors.
    std::shared_ptr<UINavigationController> navigationController() const;

    // Sends the will-appear / will-disappear callback (and forwards it to the children in the view) unless
    // the controller is already in that transition or state; `endAppearanceTransition` sends the matching
    // did-callback. Containers use these for their children.
    void beginAppearanceTransition(bool isAppearing, bool animated);
    void endAppearanceTransition();

    // ---- Presentation -------------------------------------------------------------------------------
    void presentAnimated(const std::shared_ptr<UIViewController>& viewController, bool animated,
                         std::function<void()> completion = nullptr);
    void dismiss(bool animated, std::function<void()> completion = nullptr);
    // What this controller, or the nearest ancestor that presents, presents.
    std::shared_ptr<UIViewController> presentedViewController() const;
    // Who presents this controller, or its nearest presented ancestor.
    std::shared_ptr<UIViewController> presentingViewController() const;
    // This controller's presentation controller (its root ancestor's for a child), made on first use.
    std::shared_ptr<UIPresentationController> presentationController();
    UIModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
    void setModalPresentationStyle(UIModalPresentationStyle style) { modalPresentationStyle_ = style; }
    bool isModalInPresentation() const { return isModalInPresentation_; }
    void setIsModalInPresentation(bool flag) { isModalInPresentation_ = flag; }
    bool isBeingPresented() const { return isBeingPresented_; }
    bool isBeingDismissed() const { return isBeingDismissed_; }

    // ---- Responder chain and focus ------------------------------------------------------------------
    // The view's superview, else the parent, else the presenter.
    std::shared_ptr<UIResponder> next() const override;
    std::shared_ptr<UIFocusEnvironment> parentFocusEnvironment() const override;
    std::shared_ptr<UIFocusEnvironment> focusEnvironmentPointer() const override;

    // The class name without namespaces, and a short "Name(0x…)" description for log lines.
    std::string className() const;
    std::string description() const;

  protected:
    UIViewController();
    std::shared_ptr<UIViewController> sharedController() const;

  private:
    friend class UIPresentationController;
    friend class UIWindow;
    enum class Appearance { disappeared, appearing, appeared, disappearing };

    void dismissPresented(bool animated, std::function<void()> completion);
    void tearDownPresentedChain();
    bool coversPresenter() const;
    std::shared_ptr<UIViewController> rootAncestor() const;

    std::shared_ptr<UIView> view_;
    std::optional<std::string> title_;
    std::vector<std::shared_ptr<UIViewController>> children_;
    std::weak_ptr<UIViewController> parent_;
    std::shared_ptr<UIViewController> presented_;
    std::weak_ptr<UIViewController> presenting_;
    std::shared_ptr<UIPresentationController> presentationController_;
    UIModalPresentationStyle modalPresentationStyle_ = UIModalPresentationStyle::automatic;
    bool isModalInPresentation_ = false;
    bool isBeingPresented_ = false;
    bool isBeingDismissed_ = false;
    Appearance appearance_ = Appearance::disappeared;
    bool appearanceAnimated_ = false;
    int statusBarUpdateRequests_ = 0;
};

}  // namespace uikit
