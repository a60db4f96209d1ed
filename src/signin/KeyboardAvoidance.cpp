#include "signin/KeyboardAvoidance.h"

#include <any>

#include "uikit/UIScreen.h"
#include "uikit/UITextField.h"

namespace lumora {

rx::Observable<foundation::Notification> keyboardFrameChanges() {
    return rx::Observable<foundation::Notification>::create(
        [](const rx::AnyObserver<foundation::Notification>& observer) -> rx::Disposable {
            auto& center = foundation::NotificationCenter::defaultCenter();
            auto token = center.addObserver(uikit::UIKeyboardDidChangeFrameNotification, nullptr, nullptr,
                                            [observer](const foundation::Notification& n) { observer.onNext(n); });
            return rx::Disposables::create(
                [token] { foundation::NotificationCenter::defaultCenter().removeObserver(token); });
        });
}

void adjustContentInsetForKeyboard(const foundation::Notification& notification, uikit::UIScrollView& scrollView) {
    const auto found = notification.userInfo.find(uikit::UIKeyboardFrameEndUserInfoKey);
    if (found == notification.userInfo.end()) return;
    const auto* end = std::any_cast<uikit::CGRect>(&found->second);
    if (!end) return;
    // Only what covers the screen counts: a keyboard that has moved below the screen (or has no size)
    // covers nothing.
    const uikit::CGRect covered = end->intersection(uikit::UIScreen::main()->bounds());
    scrollView.setContentInset(uikit::UIEdgeInsets{0, 0, covered.isNull() ? 0 : covered.height(), 0});
}

rx::Disposable startKeyboardAvoidance(const std::shared_ptr<uikit::UIViewController>& screen,
                                      const std::shared_ptr<uikit::UIScrollView>& scrollView) {
    std::weak_ptr<uikit::UIViewController> weakScreen = screen;
    std::weak_ptr<uikit::UIScrollView> weakScrollView = scrollView;
    return keyboardFrameChanges().subscribe([weakScreen, weakScrollView](const foundation::Notification& n) {
        auto owner = weakScreen.lock();
        auto scroll = weakScrollView.lock();
        if (owner && scroll) adjustContentInsetForKeyboard(n, *scroll);
    });
}

}  // namespace lumora
