// The parts of UIView and UIResponder that belong to events, gesture recognisers, focus and editing.

#include <algorithm>

#include "uikit/UIFocus.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIResponder.h"
#include "uikit/UIView.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"
#include "uikit/detail/EventDispatch.h"
#include "uikit/detail/FirstResponder.h"
#include "uikit/detail/ViewHooks.h"

namespace uikit {

// ---- First responder --------------------------------------------------------------------------------------

namespace detail {

namespace {
std::weak_ptr<UIResponder>& firstResponderSlot() {
    static std::weak_ptr<UIResponder> slot;
    return slot;
}
}  // namespace

std::shared_ptr<UIResponder> FirstResponder::current() {
    return firstResponderSlot().lock();
}

void FirstResponder::set(const std::shared_ptr<UIResponder>& responder) {
    firstResponderSlot() = responder;
}

}  // namespace detail

bool UIResponder::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    detail::FirstResponderChange change;
    if (auto current = detail::FirstResponder::current()) {
        if (!current->resignFirstResponder()) return false;
    }
    detail::FirstResponder::set(shared_from_this());
    return true;
}

bool UIResponder::resignFirstResponder() {
    if (!canResignFirstResponder()) return false;
    detail::FirstResponderChange change;
    if (isFirstResponder()) detail::FirstResponder::set(nullptr);
    return true;
}

bool UIResponder::isFirstResponder() const {
    return detail::FirstResponder::current().get() == this;
}

// ---- UIView: gesture recognisers, touches, editing, focus -------------------------------------------------

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    if (!recognizer) return;
    auto self = sharedView();
    if (!self) return;
    if (auto previous = recognizer->view(); previous && previous != self) previous->removeGestureRecognizer(recognizer);
    if (std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer) != gestureRecognizers_.end())
        return;
    recognizer->view_ = self;
    gestureRecognizers_.push_back(recognizer);
}

void UIView::removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    auto it = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer);
    if (it == gestureRecognizers_.end()) return;
    gestureRecognizers_.erase(it);
    if (recognizer->participating_) {
        detail::GestureArena::Scope scope;
        using State = UIGestureRecognizer::State;
        if (recognizer->state() == State::began || recognizer->state() == State::changed) {
            recognizer->setState(State::cancelled);
        } else if (recognizer->state() == State::possible) {
            recognizer->setState(State::failed);
        }
    }
    recognizer->view_.reset();
}

bool UIView::gestureRecognizerShouldBegin(UIGestureRecognizer& recognizer) {
    (void)recognizer;
    return true;
}

bool UIView::endEditing(bool force) {
    auto current = detail::FirstResponder::current();
    auto view = std::dynamic_pointer_cast<UIView>(current);
    if (!view || !(view.get() == this || view->isDescendant(*this))) return true;
    if (view->resignFirstResponder()) return true;
    if (!force) return false;
    // Forced: the responder goes even when it would rather stay.
    detail::FirstResponderChange change;
    detail::FirstResponder::set(nullptr);
    return true;
}

std::shared_ptr<UIFocusEnvironment> UIView::parentFocusEnvironment() const {
    if (auto controller = viewController_.lock()) return controller;
    return superview();
}

std::shared_ptr<UIFocusEnvironment> UIView::focusEnvironmentPointer() const {
    return sharedView();
}

// ---- Hooks ------------------------------------------------------------------------------------------------

namespace detail {

std::shared_ptr<UIResponder> ViewHooks::viewControllerResponder(const UIView& view) {
    return view.viewController_.lock();
}

void ViewHooks::willLayoutSubviews(UIView& view) {
    if (auto controller = view.viewController_.lock()) controller->viewWillLayoutSubviews();
}

void ViewHooks::didLayoutSubviews(UIView& view) {
    if (auto controller = view.viewController_.lock()) controller->viewDidLayoutSubviews();
}

void ViewHooks::didLeaveWindow(UIView& view) {
    auto keepAlive = view.sharedView();
    EventDispatcher::shared().viewDidLeaveWindow(view);
    UIFocusSystem::shared().viewDidLeaveWindow(view);
    auto current = FirstResponder::current();
    if (auto responder = std::dynamic_pointer_cast<UIView>(current)) {
        if (responder.get() == &view || responder->isDescendant(view)) {
            if (!responder->resignFirstResponder()) {
                FirstResponderChange change;
                FirstResponder::set(nullptr);
            }
        }
    }
}

}  // namespace detail

}  // namespace uikit
