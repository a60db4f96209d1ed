#include "uikit/UINavigationController.h"

#include <algorithm>
#include <cstdio>

#include "uikit/UIScreen.h"

namespace uikit {

UINavigationBar::UINavigationBar() : UIView(CGRect(0, 0, 0, height)) {}

std::shared_ptr<UINavigationBar> UINavigationBar::create() {
    return std::shared_ptr<UINavigationBar>(new UINavigationBar());
}

CGSize UINavigationBar::intrinsicContentSize() const {
    return CGSize{noIntrinsicMetric, height};
}

UINavigationController::UINavigationController() : navigationBar_(UINavigationBar::create()) {}

std::shared_ptr<UINavigationController> UINavigationController::create() {
    return std::shared_ptr<UINavigationController>(new UINavigationController());
}

std::shared_ptr<UINavigationController> UINavigationController::create(
    const std::shared_ptr<UIViewController>& rootViewController) {
    auto nav = create();
    if (rootViewController) nav->setViewControllers({rootViewController});
    return nav;
}

std::shared_ptr<UIViewController> UINavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

std::shared_ptr<UIViewController> UINavigationController::visibleViewController() const {
    auto top = topViewController();
    if (!top) return nullptr;
    if (auto presented = top->presentedViewController()) return presented;
    return top;
}

void UINavigationController::loadView() {
    auto container = UIView::create(UIScreen::main()->bounds());
    setView(container);
    container->addSubview(navigationBar_);
    if (auto top = topViewController()) {
        top->loadViewIfNeeded();
        container->insertSubviewBelowSubview(top->viewIfLoaded(), navigationBar_);
    }
}

CGRect UINavigationController::contentFrame() const {
    auto container = viewIfLoaded();
    if (!container) return CGRect();
    CGRect b = container->bounds();
    if (navigationBar_->isHidden()) return b;
    CGFloat top = container->safeAreaInsets().top + UINavigationBar::height;
    return CGRect(b.minX(), b.minY() + top, b.width(), std::max(CGFloat(0), b.height() - top));
}

void UINavigationController::viewDidLayoutSubviews() {
    UIViewController::viewDidLayoutSubviews();
    auto container = viewIfLoaded();
    if (!container) return;
    CGRect b = container->bounds();
    navigationBar_->setFrame(
        CGRect(b.minX(), b.minY() + container->safeAreaInsets().top, b.width(), UINavigationBar::height));
    if (auto top = topViewController(); top && top->viewIfLoaded()) top->viewIfLoaded()->setFrame(contentFrame());
}

void UINavigationController::setIsNavigationBarHidden(bool hidden) {
    setNavigationBarHiddenAnimated(hidden, false);
}

void UINavigationController::setNavigationBarHiddenAnimated(bool hidden, bool animated) {
    (void)animated;
    navigationBar_->setIsHidden(hidden);
    if (auto container = viewIfLoaded()) container->setNeedsLayout();
    if (auto top = topViewController(); top && top->viewIfLoaded() && isViewLoaded()) {
        top->viewIfLoaded()->setFrame(contentFrame());
    }
}

void UINavigationController::setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers) {
    auto self = std::static_pointer_cast<UINavigationController>(sharedController());
    auto oldTop = topViewController();
    for (const auto& c : stack_) {
        if (std::find(controllers.begin(), controllers.end(), c) != controllers.end()) continue;
        c->willMove(nullptr);
        if (c != oldTop && c->viewIfLoaded()) c->viewIfLoaded()->removeFromSuperview();
        c->removeFromParent();
    }
    std::vector<std::shared_ptr<UIViewController>> accepted;
    for (const auto& c : controllers) {
        if (!c || c == self || std::find(accepted.begin(), accepted.end(), c) != accepted.end()) continue;
        accepted.push_back(c);
    }
    stack_ = accepted;
    for (const auto& c : stack_) {
        if (c->parent() != self) {
            addChild(c);
            c->didMove(self);
        }
    }
    auto newTop = topViewController();
    if (newTop != oldTop) show(newTop, oldTop, false, true, nullptr);
}

void UINavigationController::show(const std::shared_ptr<UIViewController>& incoming,
                                  const std::shared_ptr<UIViewController>& outgoing, bool animated, bool forward,
                                  std::function<void()> done) {
    auto container = viewIfLoaded();
    if (!container) {
        if (done) done();
        return;
    }
    bool onScreen = hasAppeared() || isAppearing();
    if (incoming) {
        incoming->loadViewIfNeeded();
        CGRect frame = contentFrame();
        auto view = incoming->viewIfLoaded();
        view->setFrame(animated && forward ? frame.offsetBy(frame.width(), 0) : frame);
        if (outgoing && outgoing->viewIfLoaded() && outgoing->viewIfLoaded()->superview() == container) {
            if (forward) {
                container->insertSubviewAboveSubview(view, outgoing->viewIfLoaded());
            } else {
                container->insertSubviewBelowSubview(view, outgoing->viewIfLoaded());
            }
        } else {
            container->insertSubviewBelowSubview(view, navigationBar_);
        }
    }
    if (onScreen) {
        if (outgoing) outgoing->beginAppearanceTransition(false, animated);
        if (incoming) incoming->beginAppearanceTransition(true, animated);
    }
    auto inView = incoming ? incoming->viewIfLoaded() : nullptr;
    auto outView = outgoing ? outgoing->viewIfLoaded() : nullptr;
    CGRect frame = contentFrame();
    std::weak_ptr<UIViewController> weakSelf = sharedController();
    UIView::animate(
        animated ? transitionDuration : 0.0,
        [inView, outView, frame, forward, animated] {
            if (inView) inView->setFrame(frame);
            if (outView && animated && !forward) outView->setFrame(frame.offsetBy(frame.width(), 0));
        },
        [weakSelf, incoming, outgoing, outView, onScreen, done = std::move(done)](bool) {
            auto self = std::static_pointer_cast<UINavigationController>(weakSelf.lock());
            bool outgoingStillTop = self && self->topViewController() == outgoing;
            if (outView && !outgoingStillTop && outView->superview() == (self ? self->viewIfLoaded() : nullptr)) {
                outView->removeFromSuperview();
            }
            if (onScreen) {
                if (outgoing) outgoing->endAppearanceTransition();
                if (incoming) incoming->endAppearanceTransition();
            }
            if (done) done();
        });
}

void UINavigationController::pushViewControllerAnimated(const std::shared_ptr<UIViewController>& viewController,
                                                        bool animated) {
    auto self = std::static_pointer_cast<UINavigationController>(sharedController());
    if (!viewController || viewController == self) return;
    if (std::find(stack_.begin(), stack_.end(), viewController) != stack_.end() || viewController->parent()) {
        std::fprintf(stderr,
                     "[uikit] Pushing %s, which is already in a navigation stack or has a parent, is not supported\n",
                     viewController->description().c_str());
        return;
    }
    auto outgoing = topViewController();
    addChild(viewController);
    stack_.push_back(viewController);
    std::weak_ptr<UIViewController> weakPushed = viewController;
    std::weak_ptr<UINavigationController> weakSelf = self;
    show(viewController, outgoing, animated, true, [weakPushed, weakSelf] {
        auto pushed = weakPushed.lock();
        auto nav = weakSelf.lock();
        if (pushed && nav && pushed->parent() == nav) pushed->didMove(nav);
    });
}

std::shared_ptr<UIViewController> UINavigationController::popViewController(bool animated) {
    if (stack_.size() <= 1) return nullptr;
    auto popped = stack_.back();
    stack_.pop_back();
    popped->willMove(nullptr);
    show(topViewController(), popped, animated, false, [popped] { popped->removeFromParent(); });
    return popped;
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::popToRootViewController(bool animated) {
    std::vector<std::shared_ptr<UIViewController>> popped;
    if (stack_.size() <= 1) return popped;
    auto top = stack_.back();
    popped.assign(stack_.begin() + 1, stack_.end());
    stack_.resize(1);
    for (const auto& c : popped) c->willMove(nullptr);
    for (const auto& c : popped) {
        if (c != top) c->removeFromParent();
    }
    show(topViewController(), top, animated, false, [top] { top->removeFromParent(); });
    return popped;
}

}  // namespace uikit
