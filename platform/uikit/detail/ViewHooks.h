#pragma once

// Internal to the toolkit: the points where the view system calls into the event, focus and
// view-controller code (UIView.cpp calls these; they are defined with that code).

#include <memory>

namespace uikit {
class UIResponder;
class UIView;
}  // namespace uikit

namespace uikit::detail {

struct ViewHooks {
    // The view controller whose root view `view` is, as the view's next responder (nullptr when none).
    static std::shared_ptr<UIResponder> viewControllerResponder(const UIView& view);
    // Around `layoutSubviews()` of a view controller's root view.
    static void willLayoutSubviews(UIView& view);
    static void didLayoutSubviews(UIView& view);
    // After `view` (and its subtree) left its window: its touches are cancelled, it loses focus and stops
    // being first responder.
    static void didLeaveWindow(UIView& view);
};

}  // namespace uikit::detail
