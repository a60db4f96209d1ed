#pragma once

#include <memory>

#include "foundation/NotificationCenter.h"
#include "rx/Observable.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIViewController.h"

namespace lumora {

// Keeps a sign-in screen's fields reachable above the on-screen keyboard: every keyboard frame change sets
// the bottom content inset of the screen's scroll view to the part of the keyboard that covers the screen.

// The keyboard's frame changes (UIKeyboardDidChangeFrameNotification on the default centre, from any
// sender), delivered on the posting thread. Never ends by itself.
rx::Observable<foundation::Notification> keyboardFrameChanges();

// Handles one notification: with an end frame (a rectangle under UIKeyboardFrameEndUserInfoKey) the
// scroll view's content inset becomes zero except the bottom, which is the height of the part of that
// frame on the main screen — the keyboard's height while it is up, 0 once it has gone below the screen or
// its frame is empty. A notification without an end frame changes nothing.
void adjustContentInsetForKeyboard(const foundation::Notification& notification, uikit::UIScrollView& scrollView);

// Subscribes `scrollView` of `screen` to the keyboard's frame changes. Both are held weakly: once the
// screen is gone the changes do nothing. The caller keeps the subscription in the screen's dispose bag.
[[nodiscard]] rx::Disposable startKeyboardAvoidance(const std::shared_ptr<uikit::UIViewController>& screen,
                                                    const std::shared_ptr<uikit::UIScrollView>& scrollView);

}  // namespace lumora
