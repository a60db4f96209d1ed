#include "signin/ResetPasswordViewController.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "authentication/Auth0URLProtocol.h"
#include "authentication/AuthenticationError.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/URLSession.h"
#include "signin/testing/SignInTestSupport.h"
#include "ui/testing/DeviceScope.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIFocus.h"
#include "uikit/UIScreen.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;
using lumora::AuthManagerError;
using lumora::ResetPasswordViewController;
using lumora::testing::presentedAlert;
using lumora::testing::PresentedLogin;
using lumora::testing::RecordingLoginDelegate;
using lumora::testing::ScreenClass;
using lumora::testing::ScriptedSignIn;
using lumora::testing::tapInSight;
using State = UIControl::State;

// The reset screen as the viewer reaches it: pushed over the presented login screen.
class ResetScreenTest : public ::testing::TestWithParam<ScreenClass> {
  protected:
    void SetUp() override {
        device.emplace(GetParam());
        uikit::testing::resetInteractionState();
        delegate = std::make_shared<RecordingLoginDelegate>();
        screen = PresentedLogin::make(clock, backend.requests(), delegate);
        device->show(*screen.window);
        uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
        screen.login->forgotPasswordButton()->sendActions(UIControl::Event::touchUpInside());
        settle();
        reset = std::dynamic_pointer_cast<ResetPasswordViewController>(screen.navigation->topViewController());
        ASSERT_TRUE(reset);
    }
    void TearDown() override { UIFocusSystem::shared().setIsEnabled(std::nullopt); }

    void settle() { clock.advance(1.0); }
    std::shared_ptr<UIAlertController> alert() { return presentedAlert(reset); }
    void tapContinue() { tapInSight(screen.window, reset->scrollView(), reset->continueButton()); }

    std::optional<lumora::testing::ScreenClassScope> device;
    dispatch::testing::ManualClockScope clock;
    ScriptedSignIn backend;
    std::shared_ptr<RecordingLoginDelegate> delegate;
    PresentedLogin screen;
    std::shared_ptr<ResetPasswordViewController> reset;
};

INSTANTIATE_TEST_SUITE_P(EveryScreen, ResetScreenTest, ::testing::ValuesIn(lumora::testing::screens::all()),
                         lumora::testing::screens::name);

TEST_P(ResetScreenTest, ScreenIsLaidOutAsDesigned) {
    EXPECT_EQ(reset->continueButton()->title(State::normal()), "Continue");
    EXPECT_EQ(reset->backgroundImage(), nullptr);

    const auto content = reset->contentView();
    auto in = [&](const std::shared_ptr<UIView>& v) { return v->convertTo(v->bounds(), content); };
    EXPECT_DOUBLE_EQ(in(reset->logoImageView()).minY(), 20);
    EXPECT_DOUBLE_EQ(in(reset->logoImageView()).height(), 43);
    EXPECT_DOUBLE_EQ(in(reset->welcomeLabel()).minY(), in(reset->logoImageView()).maxY() + 70);
    EXPECT_DOUBLE_EQ(in(reset->usernameTextField()).minY(), in(reset->welcomeLabel()).maxY() + 60);
    EXPECT_DOUBLE_EQ(in(reset->continueButton()).minY(), in(reset->usernameTextField()).maxY() + 30);
    EXPECT_DOUBLE_EQ(in(reset->continueButton()).height(), 50);
    EXPECT_DOUBLE_EQ(in(reset->continueButton()).minX(), 28);
    EXPECT_DOUBLE_EQ(in(reset->continueButton()).maxX(), content->bounds().width() - 28);
    EXPECT_GE(in(reset->backToLoginButton()).minY(), in(reset->continueButton()).maxY() + 20);
    EXPECT_DOUBLE_EQ(in(reset->backToLoginButton()).maxY(), content->bounds().height() - 20);

    const auto root = reset->view();
    const CGRect column = content->convertTo(content->bounds(), root);
    const auto traits = reset->traitCollection();
    const bool compactWidth = traits.horizontalSizeClass == UIUserInterfaceSizeClass::compact;
    EXPECT_DOUBLE_EQ(column.width(), (compactWidth ? 0.9 : 0.5) * root->bounds().width());
    EXPECT_DOUBLE_EQ(column.minY() - reset->scrollView()->frame().minY(), GetParam().isPhone() ? 55 : 250);
    EXPECT_DOUBLE_EQ(column.midX(), root->bounds().midX());
}

TEST_P(ResetScreenTest, ReturnKeySubmitsLikeContinueAndSpacesAreSentAsTyped) {
    reset->usernameTextField()->simulateTyping("  ");
    reset->usernameTextField()->simulateReturnKey();
    ASSERT_EQ(backend.resets.size(), 1u);
    EXPECT_EQ(backend.resets[0].email, "  ");
    EXPECT_FALSE(SimulatedKeyboard::shared().isVisible());
    EXPECT_TRUE(reset->continueButton()->isLoading());
    EXPECT_EQ(reset->continueButton()->title(State::normal()), "");

    tapContinue();
    ASSERT_EQ(backend.resets.size(), 2u);
    // Only the latest request's outcome counts.
    backend.resets[0].answer.onError(AuthManagerError::resetPasswordFailed("late"));
    settle();
    EXPECT_FALSE(alert());
    backend.resets[1].answer.onNext({});
    backend.resets[1].answer.onCompleted();
    settle();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Success");
    EXPECT_EQ(reset->continueButton()->title(State::normal()), "Continue");
}

TEST_P(ResetScreenTest, EmptyAddressAsksForOne) {
    tapContinue();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Missing Field");
    EXPECT_EQ(alert()->message(), "Please enter a valid username");
    EXPECT_TRUE(backend.resets.empty());
    EXPECT_EQ(reset->continueButton()->title(State::normal()), "Continue");
    settle();
    alert()->simulateTap("OK");
    settle();
    EXPECT_EQ(screen.navigation->topViewController(), reset);
}

TEST_P(ResetScreenTest, SuccessAlertReturnsToTheLoginScreen) {
    reset->usernameTextField()->simulateTyping("viewer@example.com");
    tapContinue();
    ASSERT_EQ(backend.resets.size(), 1u);
    EXPECT_EQ(backend.resets[0].email, "viewer@example.com");
    backend.resets[0].answer.onNext({});
    // Handled on a later turn.
    EXPECT_FALSE(alert());
    settle();
    auto success = alert();
    ASSERT_TRUE(success);
    EXPECT_EQ(success->message(), "Please follow instructions in your email to reset your password.");
    EXPECT_FALSE(reset->continueButton()->isLoading());
    success->simulateTap("OK");
    settle();
    EXPECT_EQ(screen.navigation->topViewController(), screen.login);
    EXPECT_TRUE(screen.login->view()->window());
}

TEST_P(ResetScreenTest, FailureAlertKeepsTheScreenAndTheAddress) {
    reset->usernameTextField()->simulateTyping("viewer@example.com");
    tapContinue();
    backend.resets[0].answer.onError(AuthManagerError::resetPasswordFailed("Server error. Status code: 500"));
    settle();
    auto failure = alert();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->title(), "Error");
    // The error's own text is not shown.
    EXPECT_EQ(failure->message(), "There was an error resetting your password. Please try again.");
    EXPECT_EQ(reset->continueButton()->title(State::normal()), "Continue");
    failure->simulateTap("OK");
    settle();
    EXPECT_EQ(screen.navigation->topViewController(), reset);
    EXPECT_EQ(reset->usernameTextField()->text(), "viewer@example.com");
}

TEST_P(ResetScreenTest, BackLinkDismissesTheKeyboardAndPops) {
    reset->usernameTextField()->becomeFirstResponder();
    EXPECT_TRUE(SimulatedKeyboard::shared().isVisible());
    EXPECT_EQ(reset->scrollView()->contentInset().bottom, SimulatedKeyboard::defaultHeight);
    tapInSight(screen.window, reset->scrollView(), reset->backToLoginButton());
    EXPECT_FALSE(SimulatedKeyboard::shared().isVisible());
    EXPECT_EQ(reset->scrollView()->contentInset().bottom, 0);
    settle();
    EXPECT_EQ(screen.navigation->viewControllers().size(), 1u);
    EXPECT_EQ(screen.navigation->topViewController(), screen.login);
}

TEST_P(ResetScreenTest, IdentityProviderProtocolIsRegisteredOnce) {
    auto registry = foundation::URLProtocolRegistry::shared();
    EXPECT_TRUE(registry->isRegistered(typeid(lumora::Auth0URLProtocol)));
    // A second screen registers nothing more: one removal leaves none.
    auto another = ResetPasswordViewController::create(backend.requests());
    another->loadViewIfNeeded();
    EXPECT_FALSE(registry->registerClass<lumora::Auth0URLProtocol>());
    registry->unregisterClass<lumora::Auth0URLProtocol>();
    EXPECT_FALSE(registry->isRegistered(typeid(lumora::Auth0URLProtocol)));
}

TEST_P(ResetScreenTest, FocusedFieldShowsDarkText) {
    UIFocusSystem::shared().setIsEnabled(true);
    auto field = reset->usernameTextField();
    ASSERT_TRUE(UIFocusSystem::shared().moveFocus(reset->continueButton()));
    EXPECT_EQ(field->textColor(), UIColor::white());

    // Text fields are not focusable in this toolkit; the screen's answer to an update is checked directly.
    UIFocusAnimationCoordinator coordinator;
    reset->didUpdateFocus(UIFocusUpdateContext(reset->continueButton(), field, {}), coordinator);
    EXPECT_EQ(field->textColor(), UIColor::black());
    reset->didUpdateFocus(UIFocusUpdateContext(field, reset->continueButton(), {}), coordinator);
    EXPECT_EQ(field->textColor(), UIColor::white());
}

TEST_P(ResetScreenTest, ReleasedScreenEndsItsSubscriptions) {
    std::weak_ptr<ResetPasswordViewController> weak = reset;
    reset->usernameTextField()->simulateTyping("viewer@example.com");
    tapContinue();
    screen.navigation->popViewController(false);
    settle();
    reset.reset();
    EXPECT_TRUE(weak.expired());
    backend.resets[0].answer.onNext({});
    settle();
    EXPECT_FALSE(presentedAlert(screen.login));
}

}  // namespace
