#pragma once

// Helpers for tests of the sign-in screens: a presenting screen in a window, scripted sign-in requests and
// a delegate that records what it is told.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "authentication/AuthenticationError.h"
#include "dispatch/testing/ManualClockScope.h"
#include "rx/Subjects.h"
#include "signin/LoginViewController.h"
#include "signin/SignInRequests.h"
#include "uikit/UIAlertController.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora::testing {

// Sign-in requests whose answers the test gives: each request is recorded with a subject to answer it.
struct ScriptedSignIn {
    struct Login {
        std::string email;
        std::string password;
        rx::PublishSubject<bool> answer;
    };
    struct Reset {
        std::string email;
        rx::PublishSubject<rx::Void> answer;
    };
    std::vector<Login> logins;
    std::vector<Reset> resets;

    SignInRequests requests() {
        return SignInRequests{
            .login =
                [this](const std::string& email, const std::string& password) {
                    logins.push_back({email, password, {}});
                    return logins.back().answer.asObservable();
                },
            .resetPassword =
                [this](const std::string& email) {
                    resets.push_back({email, {}});
                    return resets.back().answer.asObservable();
                },
        };
    }
};

// Records the login screen's calls, in order, as words ("didLogin", "errorDisplay", "didFail", "didClose").
class RecordingLoginDelegate : public LoginViewControllerDelegate {
  public:
    std::vector<std::string> calls;
    std::vector<AuthenticationError> errors;
    // What `errorDisplay` answers; nothing: the built-in texts.
    std::optional<ErrorDisplayModel> display;
    // Whether the screen was still presented (and had not started to go) when told of the sign-in, and
    // whether an alert was up when told of a failure.
    bool presentedAtLogin = false;
    bool alertUpAtFailure = false;

    void loginViewControllerDidLogin(LoginViewController& controller) override {
        calls.push_back("didLogin");
        auto root = controller.navigationController();
        presentedAtLogin = root && root->presentingViewController() && !root->isBeingDismissed();
    }
    ErrorDisplayModel errorDisplay(const AuthenticationError& error) override {
        calls.push_back("errorDisplay");
        return display ? *display : ErrorDisplayModel(error);
    }
    void loginViewControllerDidFailLoginWith(LoginViewController& controller,
                                             const AuthenticationError& error) override {
        calls.push_back("didFail");
        errors.push_back(error);
        alertUpAtFailure =
            std::dynamic_pointer_cast<uikit::UIAlertController>(controller.presentedViewController()) != nullptr;
    }
    void loginViewControllerDidClose(LoginViewController&) override { calls.push_back("didClose"); }
};

// A window whose root screen presents the login screen as the player screen does: the root of a
// navigation controller with a hidden bar, as a sheet.
struct PresentedLogin {
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<uikit::UIViewController> presenter;
    std::shared_ptr<uikit::UINavigationController> navigation;
    std::shared_ptr<LoginViewController> login;

    static PresentedLogin make(dispatch::testing::ManualClockScope& clock, SignInRequests requests,
                               std::weak_ptr<LoginViewControllerDelegate> delegate) {
        PresentedLogin p;
        p.window = uikit::UIWindow::create(uikit::UIScreen::main()->bounds());
        p.window->makeKeyAndVisible();
        p.presenter = uikit::UIViewController::create();
        p.window->setRootViewController(p.presenter);
        p.login = LoginViewController::create(std::move(requests));
        p.login->setDelegate(std::move(delegate));
        p.navigation = uikit::UINavigationController::create(p.login);
        p.navigation->setIsNavigationBarHidden(true);
        p.presenter->presentAnimated(p.navigation, true);
        clock.advance(uikit::UIViewController::transitionDuration);
        uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
        return p;
    }
};

// Taps `view` of a sign-in screen as a viewer would: when it lies outside the window (a screen taller than
// the window, a phone on its side), `scroll` is first scrolled just far enough to bring it into sight.
inline void tapInSight(const std::shared_ptr<uikit::UIWindow>& window,
                       const std::shared_ptr<uikit::UIScrollView>& scroll, const std::shared_ptr<uikit::UIView>& view) {
    window->layoutIfNeeded();
    const uikit::CGRect seen = view->convertTo(view->bounds(), nullptr);
    const uikit::CGRect sight = window->bounds();
    uikit::CGPoint offset = scroll->contentOffset();
    if (seen.maxY() > sight.maxY()) {
        offset.y += seen.maxY() - sight.maxY() + 8;
    } else if (seen.minY() < sight.minY()) {
        offset.y -= sight.minY() - seen.minY() + 8;
    }
    scroll->setContentOffset(offset);
    window->layoutIfNeeded();
    uikit::testing::TouchSimulator(window).tap(view);
}

// The alert presented over `screen` (or over the screen that presents it), if any.
inline std::shared_ptr<uikit::UIAlertController> presentedAlert(
    const std::shared_ptr<uikit::UIViewController>& screen) {
    return std::dynamic_pointer_cast<uikit::UIAlertController>(screen->presentedViewController());
}

}  // namespace lumora::testing
