#include "uikit/UIWindow.h"

#include <algorithm>

#include "quartzcore/CATransaction.h"

namespace uikit {

namespace {

std::vector<std::weak_ptr<UIWindow>>& registry() {
    static std::vector<std::weak_ptr<UIWindow>> windows;
    return windows;
}

std::weak_ptr<UIWindow>& keyWindowSlot() {
    static std::weak_ptr<UIWindow> key;
    return key;
}

}  // namespace

UIWindow::UIWindow(const CGRect& frame) : UIView(frame), screen_(UIScreen::main()) {
    // The root of its own tree from the start.
    window_ = this;
    isWindow_ = true;
    layer()->setIsHidden(true);
}

std::shared_ptr<UIWindow> UIWindow::create() {
    return create(UIScreen::main()->bounds());
}

std::shared_ptr<UIWindow> UIWindow::create(const CGRect& frame) {
    auto window = std::shared_ptr<UIWindow>(new UIWindow(frame));
    window->register_();
    return window;
}

void UIWindow::register_() {
    auto& list = registry();
    std::erase_if(list, [](const auto& w) { return w.expired(); });
    list.push_back(std::static_pointer_cast<UIWindow>(sharedView()));
    lastTraits_ = traitCollection();
}

UIWindow::~UIWindow() = default;

void UIWindow::setScreen(std::shared_ptr<UIScreen> screen) {
    screen_ = screen ? std::move(screen) : UIScreen::main();
    propagateTraitChange();
}

void UIWindow::setSafeAreaInsets(const UIEdgeInsets& insets) {
    updateSafeAreaInsets(insets);
    // Every view of the window sees the new edges at once, without waiting for a layout pass.
    setSafeAreaNeedsUpdate();
    updateSafeAreasIfNeeded();
    setNeedsLayout();
}

void UIWindow::setTraitCollection(std::optional<UITraitCollection> traits) {
    traitOverride_ = traits;
    propagateTraitChange();
}

UITraitCollection UIWindow::windowTraits() const {
    if (traitOverride_) return *traitOverride_;
    auto screen = screen_ ? screen_ : UIScreen::main();
    return UITraitCollection::forWindow(bounds().size, screen->idiom(), screen->scale());
}

void UIWindow::makeKeyAndVisible() {
    setIsHidden(false);
    keyWindowSlot() = std::static_pointer_cast<UIWindow>(sharedView());
}

bool UIWindow::isKeyWindow() const {
    return keyWindowSlot().lock().get() == this;
}

std::shared_ptr<UIWindow> UIWindow::keyWindow() {
    return keyWindowSlot().lock();
}

std::vector<std::shared_ptr<UIWindow>> UIWindow::windows() {
    std::vector<std::shared_ptr<UIWindow>> result;
    for (const auto& weak : registry()) {
        if (auto w = weak.lock()) result.push_back(std::move(w));
    }
    return result;
}

void UIWindow::layoutAndDisplayWindowsIfNeeded() {
    for (const auto& window : windows()) {
        window->layoutIfNeeded();
        window->layer()->displaySubtreeIfNeeded();
    }
    quartzcore::CATransaction::flush();
}

}  // namespace uikit
