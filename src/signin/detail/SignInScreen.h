#pragma once

#include <memory>

#include "rx/Disposables.h"
#include "signin/LoginStyleManager.h"
#include "signin/SignInRequests.h"
#include "ui/ZuViewController.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIView.h"

namespace lumora::signin_detail {

// What the sign-in screens share: the requests they make, the scroll view and the content column inside it,
// their style, one dispose bag for all their subscriptions, the root view they build on, keyboard avoidance,
// and knowing when the sign-in presentation they are part of has gone. Main thread only.
class SignInScreen : public ZuViewController {
  public:
    ~SignInScreen() override;

    // The screen's vertical container (interactive keyboard dismissal, no vertical indicator) and the
    // content column inside it, both made with the screen.
    const std::shared_ptr<uikit::UIScrollView>& scrollView() const { return scrollView_; }
    const std::shared_ptr<uikit::UIView>& contentView() const { return contentView_; }
    // A copy of `LoginStyleManager::standard()`.
    const LoginStyleManager& style() const { return style_; }

    // When the screen leaves the screen because its whole presentation does (swiped away, dismissed, the
    // screen that presented it closed), every sign-in screen of its navigation stack hears
    // `signInPresentationDidEnd`, the ones covered by this one included; pushed over or popped inside a
    // stack that stays up, nobody does.
    void viewDidDisappear(bool animated) override;

  protected:
    explicit SignInScreen(SignInRequests requests);

    // A root view the size of the main screen in the sign-in background colour.
    static std::shared_ptr<uikit::UIView> makeRootView();
    // Adds the content view to the scroll view as the screens' column, placed for the screen's size class.
    void placeContentColumn(const std::shared_ptr<uikit::UIView>& root);
    // Keeps the scroll view's content reachable above the keyboard for the screen's life.
    void avoidKeyboard();
    // The sign-in presentation this screen was part of has gone, whatever screen was on top of it: what
    // must not outlive it goes now.
    virtual void signInPresentationDidEnd() {}

    SignInRequests requests_;
    std::shared_ptr<uikit::UIScrollView> scrollView_;
    std::shared_ptr<uikit::UIView> contentView_;
    LoginStyleManager style_;
    // The screen's subscriptions (keyboard, controls, requests); they end with the screen.
    rx::DisposeBag disposeBag_;
};

}  // namespace lumora::signin_detail
