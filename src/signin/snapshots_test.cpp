// The sign-in screens as the viewer sees them, rendered to pixels and compared with the goldens in
// snapshots/.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "authentication/AuthenticationError.h"
#include "dispatch/testing/ManualClockScope.h"
#include "signin/LoadingButton.h"
#include "signin/ResetPasswordViewController.h"
#include "signin/UnderlineTextField.h"
#include "signin/testing/SignInTestSupport.h"
#include "ui/KitColors.h"
#include "ui/testing/DeviceScope.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/UIScreen.h"
#include "uikit/UITextField.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace uikit;
using lumora::AuthenticationError;
using lumora::AuthManagerError;
using lumora::testing::PresentedLogin;
using lumora::testing::RecordingLoginDelegate;
using lumora::testing::ScreenClass;
using lumora::testing::ScriptedSignIn;

class SignInSnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        delegate = std::make_shared<RecordingLoginDelegate>();
        screen = PresentedLogin::make(clock, backend.requests(), delegate);
        login = screen.login;
    }
    void TearDown() override { UIScreen::setMain(nullptr); }

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

// The same on every screen class (the device is set before the login screen is presented).
class SignInScreenClassSnapshotTest : public SignInSnapshotTest, public ::testing::WithParamInterface<ScreenClass> {
  protected:
    void SetUp() override {
        device.emplace(GetParam());
        SignInSnapshotTest::SetUp();
        device->show(*screen.window);
        uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
    }
    std::string golden(const std::string& picture) const { return GetParam().golden(picture); }

    std::optional<lumora::testing::ScreenClassScope> device;
};

INSTANTIATE_TEST_SUITE_P(EveryScreen, SignInScreenClassSnapshotTest,
                         ::testing::ValuesIn(lumora::testing::screens::all()), lumora::testing::screens::name);

TEST_P(SignInScreenClassSnapshotTest, LoginScreen) {
    settle();
    EXPECT_SNAPSHOT(*screen.window, golden("login_empty"));

    fill();
    EXPECT_SNAPSHOT(*screen.window, golden("login_filled"));

    login->loginButton()->sendActions(UIControl::Event::touchUpInside());
    settle();
    EXPECT_SNAPSHOT(*screen.window, golden("login_loading"));

    backend.logins[0].answer.onError(AuthenticationError::unknown(AuthManagerError::invalidCredentials()));
    settle();
    EXPECT_SNAPSHOT(*screen.window, golden("login_error_alert"));
}

// Typing the password: the keyboard (drawn here as a grey panel where it lies, since the simulated one has
// no view) covers the bottom of the screen, and the field being edited stays above it.
TEST_P(SignInScreenClassSnapshotTest, LoginScreenWhileTyping) {
    login->usernameTextField()->simulateTyping("viewer@example.com");
    login->passwordTextField()->becomeFirstResponder();
    login->passwordTextField()->simulateTyping("secret123");
    settle();
    auto keyboard = UIView::create(SimulatedKeyboard::shared().frame());
    keyboard->setBackgroundColor(UIColor(0.82, 0.83, 0.85, 1));
    screen.window->addSubview(keyboard);
    EXPECT_SNAPSHOT(*screen.window, golden("login_typing"));
    keyboard->removeFromSuperview();
}

TEST_P(SignInScreenClassSnapshotTest, ResetPasswordScreen) {
    login->forgotPasswordButton()->sendActions(UIControl::Event::touchUpInside());
    settle();
    auto reset = std::dynamic_pointer_cast<lumora::ResetPasswordViewController>(screen.navigation->topViewController());
    ASSERT_TRUE(reset);
    reset->usernameTextField()->simulateTyping("viewer@example.com");
    reset->view()->endEditing(true);
    settle();
    EXPECT_SNAPSHOT(*screen.window, golden("reset_password"));
}

// The widgets on their own, larger: a readable password with its "Hide" toggle and tick, and the loading
// button idle and loading.
TEST_F(SignInSnapshotTest, Widgets) {
    auto panel = UIView::create(CGRect(0, 0, 300, 190));
    panel->setBackgroundColor(lumora::colors::ironStone());
    auto field = lumora::UnderlineTextField::create(CGRect(20, 10, 260, 44));
    panel->addSubview(field);
    screen.window->addSubview(panel);
    field->setIsSecureTextEntry(true);
    field->simulateTyping("secret123");
    field->toggleSecureEntry();
    field->setIsValid(true);
    field->resignFirstResponder();
    auto idle = lumora::LoadingButton::create(CGRect(20, 74, 260, 44));
    auto busy = lumora::LoadingButton::create(CGRect(20, 130, 260, 44));
    for (const auto& button : {idle, busy}) {
        button->setBackgroundColor(lumora::colors::primary());
        button->setTitleFor("Send", UIControl::State::normal());
        panel->addSubview(button);
    }
    busy->setLoading(true);
    settle();
    EXPECT_SNAPSHOT(*panel, "widgets@2x", {.scale = 2});
}

}  // namespace
