#include "signin/KeyboardAvoidance.h"

#include <algorithm>
#include <any>
#include <vector>

#include "uikit/UIScreen.h"
#include "uikit/UITextField.h"

namespace lumora {

namespace {

// Room left between the field being edited and the keyboard.
constexpr uikit::CGFloat kSpaceAboveKeyboard = 8;

// The first responder among `root`'s descendants, if any.
std::shared_ptr<uikit::UIView> editedView(const uikit::UIView& root) {
    for (const auto& sub : root.subviews()) {
        if (sub->isFirstResponder()) return sub;
        if (auto found = editedView(*sub)) return found;
    }
    return nullptr;
}

std::vector<std::shared_ptr<uikit::UITextField>> textFields(const uikit::UIView& root) {
    std::vector<std::shared_ptr<uikit::UITextField>> found;
    for (const auto& sub : root.subviews()) {
        if (auto field = std::dynamic_pointer_cast<uikit::UITextField>(sub)) found.push_back(field);
        auto inner = textFields(*sub);
        found.insert(found.end(), inner.begin(), inner.end());
    }
    return found;
}

}  // namespace

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

void keepEditedFieldInSight(uikit::UIScrollView& scrollView) {
    scrollView.layoutIfNeeded();
    uikit::CGPoint offset = scrollView.contentOffset();
    const uikit::CGFloat keyboard = scrollView.contentInset().bottom;
    const auto field = editedView(scrollView);
    if (field && keyboard > 0) {
        const uikit::CGRect seen = field->convertTo(field->bounds(), nullptr);
        const uikit::CGFloat keyboardTop = uikit::UIScreen::main()->bounds().maxY() - keyboard;
        const uikit::CGFloat top = scrollView.convertTo(scrollView.bounds(), nullptr).minY();
        if (const uikit::CGFloat below = seen.maxY() + kSpaceAboveKeyboard - keyboardTop; below > 0) {
            offset.y += below;
        } else if (const uikit::CGFloat above = top - seen.minY(); above > 0) {
            offset.y -= above;
        }
    }
    const uikit::CGFloat end =
        std::max<uikit::CGFloat>(0, scrollView.contentSize().height + keyboard - scrollView.bounds().height());
    offset.y = std::min(offset.y, end);
    if (keyboard > 0) offset.y = std::max<uikit::CGFloat>(offset.y, 0);
    scrollView.setContentOffset(offset);
}

rx::Disposable startKeyboardAvoidance(const std::shared_ptr<uikit::UIViewController>& screen,
                                      const std::shared_ptr<uikit::UIScrollView>& scrollView) {
    std::weak_ptr<uikit::UIViewController> weakScreen = screen;
    std::weak_ptr<uikit::UIScrollView> weakScrollView = scrollView;
    rx::CompositeDisposable subscriptions;
    subscriptions.insert(
        keyboardFrameChanges().subscribe([weakScreen, weakScrollView](const foundation::Notification& n) {
            auto owner = weakScreen.lock();
            auto scroll = weakScrollView.lock();
            if (!owner || !scroll) return;
            adjustContentInsetForKeyboard(n, *scroll);
            keepEditedFieldInSight(*scroll);
        }));
    for (const auto& field : textFields(*scrollView)) {
        subscriptions.insert(field->rx()
                                 .controlEvent(uikit::UIControl::Event::editingDidBegin())
                                 .subscribe([weakScreen, weakScrollView](const rx::Unit&) {
                                     auto owner = weakScreen.lock();
                                     auto scroll = weakScrollView.lock();
                                     if (owner && scroll) keepEditedFieldInSight(*scroll);
                                 }));
    }
    return subscriptions;
}

}  // namespace lumora
