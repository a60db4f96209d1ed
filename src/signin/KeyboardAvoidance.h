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

// Keeps the text field being edited inside `scrollView` in sight: with a keyboard up (a bottom inset), a
// field below its top is scrolled to 8 points above it, and one above the scroll view's top down to that
// top, as far as the content allows; with no keyboard up, an offset left beyond the scrollable range comes
// back to its end. Nothing is edited inside the scroll view: only that return into range.
void keepEditedFieldInSight(uikit::UIScrollView& scrollView);

// Subscribes `scrollView` of `screen` to the keyboard's frame changes (the inset, then the edited field kept
// in sight) and keeps each text field inside it in sight when it begins editing (a field reached with the
// keyboard already up). The text fields are those in the scroll view when this is called. Both are held
// weakly: once the screen is gone the changes do nothing. The caller keeps the subscription in the
// screen's dispose bag.
[[nodiscard]] rx::Disposable startKeyboardAvoidance(const std::shared_ptr<uikit::UIViewController>& screen,
                                                    const std::shared_ptr<uikit::UIScrollView>& scrollView);

}  // namespace lumora
