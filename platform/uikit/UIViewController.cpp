#include "uikit/UIViewController.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "uikit/UIDevice.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"

namespace uikit {

namespace {

void logLine(const std::string& text) {
    std::fprintf(stderr, "[uikit] %s\n", text.c_str());
}

UIModalPresentationStyle resolved(UIModalPresentationStyle style) {
    return style == UIModalPresentationStyle::automatic ? UIModalPresentationStyle::pageSheet : style;
}

}  // namespace

UIViewController::UIViewController() = default;

UIViewController::~UIViewController() = default;

std::shared_ptr<UIViewController> UIViewController::create() {
    return std::shared_ptr<UIViewController>(new UIViewController());
}

std::shared_ptr<UIViewController> UIViewController::sharedController() const {
    return std::static_pointer_cast<UIViewController>(
        std::const_pointer_cast<UIResponder>(static_cast<const UIResponder*>(this)->weak_from_this().lock()));
}

std::string UIViewController::className() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    auto pos = name.rfind("::");
    return pos == std::string::npos ? name : name.substr(pos + 2);
}

std::string UIViewController::description() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", static_cast<const void*>(this));
    return className() + "(" + buffer + ")";
}

// ---- The view ---------------------------------------------------------------------------------------------

std::shared_ptr<UIView> UIViewController::view() {
    loadViewIfNeeded();
    return view_;
}

void UIViewController::loadViewIfNeeded() {
    if (view_) return;
    auto keepAlive = sharedController();
    loadView();
    if (!view_) setView(UIView::create(UIScreen::main()->bounds()));
    viewDidLoad();
}

void UIViewController::loadView() {
    setView(UIView::create(UIScreen::main()->bounds()));
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
    if (view_ == view) return;
    if (view_ && view_->viewController_.lock().get() == this) view_->viewController_.reset();
    view_ = std::move(view);
    if (view_) {
        if (auto previous = view_->viewController_.lock(); previous && previous.get() != this) previous->view_.reset();
        view_->viewController_ = sharedController();
    }
}

bool UIViewController::isAppearing() const {
    return appearance_ == Appearance::appearing;
}

bool UIViewController::hasAppeared() const {
    return appearance_ == Appearance::appeared;
}

UITraitCollection UIViewController::traitCollection() const {
    if (view_) return view_->traitCollection();
    return UIScreen::main()->traitCollection();
}

UIInterfaceOrientationMask UIViewController::supportedInterfaceOrientations() const {
    return UIDevice::current().userInterfaceIdiom() == UIUserInterfaceIdiom::phone
               ? UIInterfaceOrientationMask::allButUpsideDown()
               : UIInterfaceOrientationMask::all();
}

// ---- Appearance -------------------------------------------------------------------------------------------

void UIViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
    auto keepAlive = sharedController();
    if (isAppearing) {
        if (appearance_ == Appearance::appearing || appearance_ == Appearance::appeared) return;
        appearance_ = Appearance::appearing;
        appearanceAnimated_ = animated;
        loadViewIfNeeded();
        viewWillAppear(animated);
    } else {
        if (appearance_ == Appearance::disappearing || appearance_ == Appearance::disappeared) return;
        appearance_ = Appearance::disappearing;
        appearanceAnimated_ = animated;
        viewWillDisappear(animated);
    }
    auto children = children_;
    for (const auto& child : children) {
        if (child->view_ && view_ && child->view_->isDescendant(*view_))
            child->beginAppearanceTransition(isAppearing, animated);
    }
}

void UIViewController::endAppearanceTransition() {
    auto keepAlive = sharedController();
    if (appearance_ == Appearance::appearing) {
        appearance_ = Appearance::appeared;
        viewDidAppear(appearanceAnimated_);
    } else if (appearance_ == Appearance::disappearing) {
        appearance_ = Appearance::disappeared;
        viewDidDisappear(appearanceAnimated_);
    } else {
        return;
    }
    auto children = children_;
    for (const auto& child : children) child->endAppearanceTransition();
}

// ---- Children ---------------------------------------------------------------------------------------------

void UIViewController::addChild(const std::shared_ptr<UIViewController>& child) {
    auto self = sharedController();
    if (!child || child == self) return;
    if (child->parent() == self) return;
    if (child->parent()) child->removeFromParent();
    child->willMove(self);
    child->parent_ = self;
    children_.push_back(child);
}

void UIViewController::removeFromParent() {
    auto parent = parent_.lock();
    if (!parent) return;
    auto keepAlive = sharedController();
    auto& list = parent->children_;
    list.erase(std::remove(list.begin(), list.end(), keepAlive), list.end());
    parent_.reset();
    didMove(nullptr);
}

std::shared_ptr<UINavigationController> UIViewController::navigationController() const {
    for (auto p = parent(); p; p = p->parent()) {
        if (auto nav = std::dynamic_pointer_cast<UINavigationController>(p)) return nav;
    }
    return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::rootAncestor() const {
    auto root = sharedController();
    while (auto p = root->parent()) root = p;
    return root;
}

// ---- Presentation -----------------------------------------------------------------------------------------

std::shared_ptr<UIViewController> UIViewController::presentedViewController() const {
    for (auto c = sharedController(); c; c = c->parent()) {
        if (c->presented_) return c->presented_;
    }
    return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::presentingViewController() const {
    for (auto c = sharedController(); c; c = c->parent()) {
        if (auto p = c->presenting_.lock()) return p;
    }
    return nullptr;
}

std::shared_ptr<UIPresentationController> UIViewController::presentationController() {
    auto root = rootAncestor();
    if (!root->presentationController_) {
        root->presentationController_ = std::shared_ptr<UIPresentationController>(new UIPresentationController(root));
    }
    return root->presentationController_;
}

bool UIViewController::coversPresenter() const {
    return resolved(modalPresentationStyle_) == UIModalPresentationStyle::fullScreen;
}

void UIViewController::presentAnimated(const std::shared_ptr<UIViewController>& viewController, bool animated,
                                       std::function<void()> completion) {
    if (!viewController) return;
    auto presenter = rootAncestor();
    if (viewController == presenter || viewController == sharedController()) {
        logLine("Attempt to present " + viewController->description() + " on itself");
        return;
    }
    if (presenter->presented_) {
        logLine("Attempt to present " + viewController->description() + " on " + presenter->description() +
                " which is already presenting " + presenter->presented_->description());
        return;
    }
    if (viewController->presenting_.lock() || viewController->parent()) {
        logLine("Attempt to present " + viewController->description() +
                " which is already presented or is the child of another view controller");
        return;
    }
    auto window = presenter->view_ ? presenter->view_->window() : nullptr;
    if (!window) {
        logLine("Attempt to present " + viewController->description() + " on " + presenter->description() +
                " whose view is not in the window hierarchy");
        return;
    }

    presenter->presented_ = viewController;
    viewController->presenting_ = presenter;
    viewController->isBeingPresented_ = true;
    viewController->presentationController();  // made now, so its presenter is known
    viewController->loadViewIfNeeded();
    bool covers = viewController->coversPresenter();

    viewController->beginAppearanceTransition(true, animated);
    if (covers) presenter->beginAppearanceTransition(false, animated);

    auto view = viewController->view_;
    CGRect final = window->bounds();
    view->setFrame(animated ? final.offsetBy(0, final.height()) : final);
    window->addSubview(view);

    std::weak_ptr<UIViewController> weakPresented = viewController;
    std::weak_ptr<UIViewController> weakPresenter = presenter;
    UIView::animate(
        animated ? transitionDuration : 0.0, [view, final] { view->setFrame(final); },
        [weakPresented, weakPresenter, covers, completion = std::move(completion)](bool) {
            auto presented = weakPresented.lock();
            if (presented) {
                presented->isBeingPresented_ = false;
                presented->endAppearanceTransition();
            }
            if (covers) {
                if (auto p = weakPresenter.lock()) p->endAppearanceTransition();
            }
            if (completion) completion();
        });
}

void UIViewController::dismiss(bool animated, std::function<void()> completion) {
    auto root = rootAncestor();
    std::shared_ptr<UIViewController> presenter;
    if (root->presented_) {
        presenter = root;
    } else if (auto p = root->presenting_.lock()) {
        presenter = p;
    } else {
        return;
    }
    auto target = presenter->presented_;
    if (target->isBeingDismissed_ || target->isBeingPresented_) {
        logLine("Attempt to dismiss " + target->description() + " while a presentation or dismissal is in progress");
        return;
    }
    presenter->dismissPresented(animated, std::move(completion));
}

void UIViewController::tearDownPresentedChain() {
    auto presented = presented_;
    if (!presented) return;
    presented->tearDownPresentedChain();
    bool covers = presented->coversPresenter();
    presented->beginAppearanceTransition(false, false);
    if (covers) beginAppearanceTransition(true, false);
    if (presented->view_) presented->view_->removeFromSuperview();
    presented_.reset();
    presented->presenting_.reset();
    presented->isBeingPresented_ = false;
    presented->endAppearanceTransition();
    if (covers) endAppearanceTransition();
}

void UIViewController::dismissPresented(bool animated, std::function<void()> completion) {
    auto target = presented_;
    if (!target) return;
    auto self = sharedController();
    target->tearDownPresentedChain();
    target->isBeingDismissed_ = true;
    bool covers = target->coversPresenter();
    target->beginAppearanceTransition(false, animated);
    if (covers) beginAppearanceTransition(true, animated);

    auto view = target->view_;
    CGRect start = view ? view->frame() : CGRect();
    std::weak_ptr<UIViewController> weakSelf = self;
    UIView::animate(
        animated ? transitionDuration : 0.0,
        [view, start] {
            if (view) view->setFrame(start.offsetBy(0, start.height()));
        },
        [weakSelf, target, view, covers, completion = std::move(completion)](bool) {
            if (view) view->removeFromSuperview();
            auto presenter = weakSelf.lock();
            if (presenter && presenter->presented_ == target) presenter->presented_.reset();
            target->presenting_.reset();
            target->isBeingDismissed_ = false;
            target->endAppearanceTransition();
            if (covers && presenter) presenter->endAppearanceTransition();
            if (completion) completion();
        });
}

// ---- Responder chain and focus ----------------------------------------------------------------------------

std::shared_ptr<UIResponder> UIViewController::next() const {
    if (view_) {
        if (auto superview = view_->superview()) return superview;
    }
    if (auto p = parent()) return p;
    return presenting_.lock();
}

std::shared_ptr<UIFocusEnvironment> UIViewController::parentFocusEnvironment() const {
    if (view_) {
        if (auto superview = view_->superview()) return superview;
    }
    if (auto p = parent()) return p;
    return nullptr;
}

std::shared_ptr<UIFocusEnvironment> UIViewController::focusEnvironmentPointer() const {
    return sharedController();
}

// ---- UIPresentationController -----------------------------------------------------------------------------

std::shared_ptr<UIViewController> UIPresentationController::presentingViewController() const {
    auto presented = presented_.lock();
    return presented ? presented->presenting_.lock() : nullptr;
}

UIModalPresentationStyle UIPresentationController::presentationStyle() const {
    auto presented = presented_.lock();
    return presented ? presented->modalPresentationStyle() : UIModalPresentationStyle::none;
}

bool UIPresentationController::simulateInteractiveDismissal() {
    auto presented = presented_.lock();
    if (!presented) return false;
    auto presenter = presented->presenting_.lock();
    if (!presenter || presenter->presented_ != presented) return false;
    if (presented->isBeingPresented_ || presented->isBeingDismissed_) return false;
    auto style = resolved(presented->modalPresentationStyle());
    if (style != UIModalPresentationStyle::pageSheet && style != UIModalPresentationStyle::formSheet) return false;
    auto self = shared_from_this();
    auto delegate = delegate_.lock();
    bool allowed =
        !presented->isModalInPresentation() && (!delegate || delegate->presentationControllerShouldDismiss(*this));
    if (!allowed) {
        if (delegate) delegate->presentationControllerDidAttemptToDismiss(*this);
        return false;
    }
    if (delegate) delegate->presentationControllerWillDismiss(*this);
    std::weak_ptr<UIPresentationController> weak = self;
    presenter->dismissPresented(true, [weak] {
        auto controller = weak.lock();
        if (!controller) return;
        if (auto d = controller->delegate_.lock()) d->presentationControllerDidDismiss(*controller);
    });
    return true;
}

// ---- The window's root ------------------------------------------------------------------------------------

std::shared_ptr<UIViewController> UIWindow::rootViewController() const {
    return rootViewController_;
}

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    if (controller == rootViewController_) return;
    auto self = std::static_pointer_cast<UIWindow>(sharedView());
    if (auto old = rootViewController_) {
        old->beginAppearanceTransition(false, false);
        if (old->view_ && old->view_->superview().get() == this) old->view_->removeFromSuperview();
        rootViewController_.reset();
        old->endAppearanceTransition();
    }
    rootViewController_ = std::move(controller);
    if (!rootViewController_) return;
    auto root = rootViewController_;
    root->loadViewIfNeeded();
    root->beginAppearanceTransition(true, false);
    root->view_->setFrame(bounds());
    insertSubviewAt(root->view_, 0);
    root->endAppearanceTransition();
}

}  // namespace uikit
