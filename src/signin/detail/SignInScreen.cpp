#include "signin/detail/SignInScreen.h"

#include "signin/KeyboardAvoidance.h"
#include "signin/detail/SignInLayout.h"
#include "ui/KitColors.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIScreen.h"

namespace lumora::signin_detail {

SignInScreen::SignInScreen(SignInRequests requests)
    : requests_(std::move(requests)),
      scrollView_(uikit::UIScrollView::create()),
      contentView_(uikit::UIView::create()),
      style_(LoginStyleManager::standard()) {
    scrollView_->setKeyboardDismissMode(uikit::UIScrollView::KeyboardDismissMode::interactive);
    scrollView_->setShowsVerticalScrollIndicator(false);
}

SignInScreen::~SignInScreen() = default;

std::shared_ptr<uikit::UIView> SignInScreen::makeRootView() {
    auto root = uikit::UIView::create(uikit::UIScreen::main()->bounds());
    root->setBackgroundColor(colors::ironStone());
    return root;
}

void SignInScreen::placeContentColumn(const std::shared_ptr<uikit::UIView>& root) {
    signin_detail::placeContentColumn(root, scrollView_, contentView_, columnMetrics(traitCollection()));
}

void SignInScreen::avoidKeyboard() {
    startKeyboardAvoidance(sharedController(), scrollView_).disposed(disposeBag_);
}

void SignInScreen::viewDidDisappear(bool animated) {
    ZuViewController::viewDidDisappear(animated);
    auto navigation = navigationController();
    if (!navigation) {
        signInPresentationDidEnd();
        return;
    }
    // A push over this screen or its pop leaves the stack on screen: the presentation goes on.
    if (navigation->hasAppeared() || navigation->isAppearing()) return;
    // The whole stack went. Only its top screen is told it disappeared; the covered ones hear it here.
    for (const auto& controller : navigation->viewControllers()) {
        if (auto screen = std::dynamic_pointer_cast<SignInScreen>(controller)) screen->signInPresentationDidEnd();
    }
}

}  // namespace lumora::signin_detail
