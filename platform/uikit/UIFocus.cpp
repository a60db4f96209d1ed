#include "uikit/UIFocus.h"

#include <algorithm>

#include "dispatch/RunLoop.h"
#include "uikit/UIDevice.h"
#include "uikit/UIView.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

namespace uikit {

namespace {

std::vector<std::shared_ptr<UIFocusEnvironment>> chainOf(const std::shared_ptr<UIFocusEnvironment>& start) {
    std::vector<std::shared_ptr<UIFocusEnvironment>> chain;
    for (auto e = start; e && chain.size() < 1000; e = e->parentFocusEnvironment()) chain.push_back(e);
    return chain;
}

bool isShownInWindow(const UIView& view) {
    if (!view.window()) return false;
    if (view.isHidden() || view.alpha() < 0.01 || !view.isUserInteractionEnabled()) return false;
    for (auto v = view.superview(); v; v = v->superview()) {
        if (v->isHidden() || v->alpha() < 0.01 || !v->isUserInteractionEnabled()) return false;
    }
    return true;
}

bool canFocus(const std::shared_ptr<UIFocusItem>& item) {
    if (!item || !item->canBecomeFocused()) return false;
    if (auto view = std::dynamic_pointer_cast<UIView>(item)) return isShownInWindow(*view);
    return true;
}

std::weak_ptr<int>& pendingUpdateToken() {
    static std::weak_ptr<int> token;
    return token;
}

}  // namespace

// ---- Environments -----------------------------------------------------------------------------------------

void UIFocusEnvironment::setNeedsFocusUpdate() {
    UIFocusSystem::shared().requestFocusUpdate(focusEnvironmentPointer());
}

void UIFocusEnvironment::updateFocusIfNeeded() {
    UIFocusSystem::shared().updateFocusIfNeeded();
}

bool UIFocusItem::isFocused() const {
    auto focused = UIFocusSystem::shared().focusedItem();
    return focused.get() == this;
}

UIFocusUpdateContext::UIFocusUpdateContext(std::shared_ptr<UIFocusItem> previous, std::shared_ptr<UIFocusItem> next,
                                           UIFocusHeading heading)
    : previous_(std::move(previous)), next_(std::move(next)), heading_(heading) {}

std::shared_ptr<UIView> UIFocusUpdateContext::previouslyFocusedView() const {
    return std::dynamic_pointer_cast<UIView>(previous_);
}

std::shared_ptr<UIView> UIFocusUpdateContext::nextFocusedView() const {
    return std::dynamic_pointer_cast<UIView>(next_);
}

void UIFocusAnimationCoordinator::addCoordinatedAnimationsCompletion(std::function<void()> animations,
                                                                     std::function<void()> completion) {
    if (animations) animations_.push_back(std::move(animations));
    if (completion) completions_.push_back(std::move(completion));
}

// ---- The focus system -------------------------------------------------------------------------------------

UIFocusSystem& UIFocusSystem::shared() {
    static UIFocusSystem system;
    return system;
}

bool UIFocusSystem::isEnabled() const {
    if (enabledOverride_) return *enabledOverride_;
    return UIDevice::current().userInterfaceIdiom() == UIUserInterfaceIdiom::tv;
}

void UIFocusSystem::setIsEnabled(std::optional<bool> enabled) {
    enabledOverride_ = enabled;
}

std::shared_ptr<UIView> UIFocusSystem::focusedView() const {
    return std::dynamic_pointer_cast<UIView>(focusedItem());
}

bool UIFocusSystem::moveFocus(const std::shared_ptr<UIFocusItem>& to, UIFocusHeading heading) {
    if (!canFocus(to)) return false;
    return performUpdate(to, heading);
}

bool UIFocusSystem::clearFocus() {
    return performUpdate(nullptr, {});
}

bool UIFocusSystem::performUpdate(const std::shared_ptr<UIFocusItem>& next, UIFocusHeading heading) {
    auto previous = focusedItem();
    if (previous == next) return true;
    UIFocusUpdateContext context(previous, next, heading);
    auto environments = chainOf(previous);
    for (const auto& e : chainOf(next)) {
        if (std::find(environments.begin(), environments.end(), e) == environments.end()) environments.push_back(e);
    }
    for (const auto& e : environments) {
        if (!e->shouldUpdateFocus(context)) return false;
    }
    focused_ = next;
    UIFocusAnimationCoordinator coordinator;
    for (const auto& e : environments) e->didUpdateFocus(context, coordinator);
    if (!coordinator.animations_.empty() || !coordinator.completions_.empty()) {
        auto animations = std::move(coordinator.animations_);
        auto completions = std::move(coordinator.completions_);
        UIView::animate(
            animationDuration,
            [animations] {
                for (const auto& a : animations) a();
            },
            [completions](bool) {
                for (const auto& c : completions) c();
            });
    }
    return true;
}

void UIFocusSystem::requestFocusUpdate(const std::shared_ptr<UIFocusEnvironment>& environment) {
    if (!environment || !isEnabled()) return;
    requests_.push_back(environment);
    if (!pendingUpdateToken().expired()) return;
    auto token = std::make_shared<int>(0);
    pendingUpdateToken() = token;
    dispatch::RunLoop::main().post([token] {
        pendingUpdateToken().reset();
        UIFocusSystem::shared().updateFocusIfNeeded();
    });
}

void UIFocusSystem::updateFocusIfNeeded() {
    auto requests = std::move(requests_);
    requests_.clear();
    for (const auto& weak : requests) {
        auto environment = weak.lock();
        if (!environment) continue;
        auto focused = focusedItem();
        if (focused) {
            auto chain = chainOf(focused);
            if (std::find(chain.begin(), chain.end(), environment) == chain.end()) continue;
        }
        auto item = preferredFocusItem(environment);
        if (item && item != focused) performUpdate(item, {});
    }
}

namespace {

std::shared_ptr<UIFocusItem> search(const std::shared_ptr<UIFocusEnvironment>& environment, int depth) {
    if (!environment || depth > 64) return nullptr;
    if (auto item = std::dynamic_pointer_cast<UIFocusItem>(environment); item && canFocus(item)) return item;
    for (const auto& preferred : environment->preferredFocusEnvironments()) {
        if (preferred == environment) continue;
        if (auto found = search(preferred, depth + 1)) return found;
    }
    if (auto view = std::dynamic_pointer_cast<UIView>(environment)) {
        if (view->isHidden()) return nullptr;
        auto subviews = view->subviews();
        for (const auto& sub : subviews) {
            if (auto found = search(sub, depth + 1)) return found;
        }
    } else if (auto controller = std::dynamic_pointer_cast<UIViewController>(environment)) {
        if (controller->isViewLoaded()) return search(controller->view(), depth + 1);
    }
    return nullptr;
}

}  // namespace

std::shared_ptr<UIFocusItem> UIFocusSystem::preferredFocusItem(
    const std::shared_ptr<UIFocusEnvironment>& environment) const {
    return search(environment, 0);
}

void UIFocusSystem::viewDidLeaveWindow(UIView& view) {
    auto focused = focusedView();
    if (focused && (focused.get() == &view || focused->isDescendant(view))) focused_.reset();
}

void UIFocusSystem::resetForTesting() {
    focused_.reset();
    requests_.clear();
    pendingUpdateToken().reset();
    enabledOverride_.reset();
}

}  // namespace uikit
