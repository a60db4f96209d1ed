#include "uikit/UIApplication.h"

#include "dispatch/RunLoop.h"
#include "uikit/UIWindow.h"
#include "uikit/detail/EventDispatch.h"

namespace uikit {

namespace {

std::shared_ptr<UIApplication>& sharedSlot() {
    static auto* slot = new std::shared_ptr<UIApplication>();
    return *slot;
}

UIApplication::URLOpener defaultOpener() {
    auto isWeb = [](const foundation::URL& url) {
        auto scheme = url.scheme();
        return scheme == "http" || scheme == "https";
    };
    return {isWeb, isWeb};
}

}  // namespace

UIApplication::UIApplication() : opener_(defaultOpener()) {}

std::shared_ptr<UIApplication> UIApplication::create() {
    return std::shared_ptr<UIApplication>(new UIApplication());
}

std::shared_ptr<UIApplication> UIApplication::shared() {
    auto& slot = sharedSlot();
    if (!slot) slot = create();
    return slot;
}

void UIApplication::setShared(std::shared_ptr<UIApplication> application) {
    sharedSlot() = application ? std::move(application) : create();
}

void UIApplication::sendEvent(const std::shared_ptr<UIEvent>& event) {
    detail::EventDispatcher::shared().dispatch(event);
}

bool UIApplication::canOpenURL(const foundation::URL& url) {
    canOpenQueries_.push_back(url);
    return opener_.canOpenURL ? opener_.canOpenURL(url) : false;
}

void UIApplication::openOptions(const foundation::URL& url, OpenExternalURLOptions options,
                                std::function<void(bool success)> completionHandler) {
    (void)options;
    openedURLs_.push_back(url);
    bool success = opener_.open ? opener_.open(url) : false;
    if (completionHandler) {
        dispatch::RunLoop::main().post(
            [completionHandler = std::move(completionHandler), success] { completionHandler(success); });
    }
}

void UIApplication::setURLOpener(URLOpener opener) {
    opener_ = std::move(opener);
}

void UIApplication::post(const foundation::Notification::Name& name) {
    foundation::NotificationCenter::defaultCenter().post(
        name, foundation::AnyObject(std::static_pointer_cast<UIApplication>(shared_from_this())));
}

void UIApplication::simulateResignActive() {
    if (state_ != State::active) return;
    state_ = State::inactive;
    post(UIApplicationWillResignActiveNotification);
}

void UIApplication::simulateEnterBackground() {
    if (state_ == State::background) return;
    if (state_ == State::active) simulateResignActive();
    state_ = State::background;
    post(UIApplicationDidEnterBackgroundNotification);
}

void UIApplication::simulateEnterForeground() {
    if (state_ != State::background) return;
    state_ = State::inactive;
    post(UIApplicationWillEnterForegroundNotification);
    simulateBecomeActive();
}

void UIApplication::simulateBecomeActive() {
    if (state_ != State::inactive) return;
    state_ = State::active;
    post(UIApplicationDidBecomeActiveNotification);
}

std::shared_ptr<UIWindow> UIApplication::keyWindow() const {
    return UIWindow::keyWindow();
}

std::vector<std::shared_ptr<UIWindow>> UIApplication::windows() const {
    return UIWindow::windows();
}

}  // namespace uikit
