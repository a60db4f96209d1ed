// The sign-in screens as the viewer sees them, rendered to pixels and compared with the goldens in
// snapshots/.
#include <gtest/gtest.h>

#include <memory>

#include "authentication/AuthenticationError.h"
#include "dispatch/testing/ManualClockScope.h"
#include "signin/ResetPasswordViewController.h"
#include "signin/testing/SignInTestSupport.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace uikit;
using lumora::AuthenticationError;
using lumora::AuthManagerError;
using lumora::testing::PresentedLogin;
using lumora::testing::RecordingLoginDelegate;
using lumora::testing::ScriptedSignIn;

class SignInSnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        delegate = std::make_shared<RecordingLoginDelegate>();
        screen = PresentedLogin::make(clock, backend.requests(), delegate);
        login = screen.login;
    }

    void fill() {
        login->usernameTextField()->simulateTyping("viewer@example.com");
        login->passwordTextField()->simulateTyping("secret123");
        login->view()->endEditing(true);
        settle();
    }
    void settle() {
        clock.advance(1.0);
        UIWindow::layoutAndDisplayWindowsIfNeeded();
    }

    dispatch::testing::ManualClockScope clock;
    ScriptedSignIn backend;
    std::shared_ptr<RecordingLoginDelegate> delegate;
    PresentedLogin screen;
    std::shared_ptr<lumora::LoginViewController> login;
};

TEST_F(SignInSnapshotTest, LoginScreen) {
    settle();
    EXPECT_SNAPSHOT(*screen.window, "login_empty");

    fill();
    EXPECT_SNAPSHOT(*screen.window, "login_filled");

    login->loginButton()->sendActions(UIControl::Event::touchUpInside());
    settle();
    EXPECT_SNAPSHOT(*screen.window, "login_loading");

    backend.logins[0].answer.onError(AuthenticationError::unknown(AuthManagerError::invalidCredentials()));
    settle();
    EXPECT_SNAPSHOT(*screen.window, "login_error_alert");
}

TEST_F(SignInSnapshotTest, ResetPasswordScreen) {
    login->forgotPasswordButton()->sendActions(UIControl::Event::touchUpInside());
    settle();
    auto reset = std::dynamic_pointer_cast<lumora::ResetPasswordViewController>(screen.navigation->topViewController());
    ASSERT_TRUE(reset);
    reset->usernameTextField()->simulateTyping("viewer@example.com");
    reset->view()->endEditing(true);
    settle();
    EXPECT_SNAPSHOT(*screen.window, "reset_password");
}

}  // namespace
