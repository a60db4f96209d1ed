#include "signin/LoginViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "authentication/AuthenticationError.h"
#include "dispatch/testing/ManualClockScope.h"
#include "kitfoundation/Configuration.h"
#include "signin/ResetPasswordViewController.h"
#include "signin/testing/SignInTestSupport.h"
#include "ui/testing/DeviceScope.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIApplication.h"
#include "uikit/UIScreen.h"
#include "uikit/UITextField.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;
using lumora::AuthenticationError;
using lumora::AuthManagerError;
using lumora::ErrorDisplayModel;
using lumora::LoginViewController;
using lumora::testing::presentedAlert;
using lumora::testing::PresentedLogin;
using lumora::testing::RecordingLoginDelegate;
using lumora::testing::ScreenClass;
using lumora::testing::ScriptedSignIn;
using lumora::testing::tapInSight;
using State = UIControl::State;

// The login screen presented as the player screen presents it, on each screen class.
class LoginScreenTest : public ::testing::TestWithParam<ScreenClass> {
  protected:
    void SetUp() override {
        device.emplace(GetParam());
        uikit::testing::resetInteractionState();
        lumora::ConfigurationKey::setSourceForTesting([](std::string_view) { return std::nullopt; });
        delegate = std::make_shared<RecordingLoginDelegate>();
        screen = PresentedLogin::make(clock, backend.requests(), delegate);
        device->show(*screen.window);
        uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
        login = screen.login;
    }
    void TearDown() override { lumora::ConfigurationKey::setSourceForTesting(nullptr); }

    void fill(const std::string& email, const std::string& password) {
        login->usernameTextField()->simulateTyping(email);
        login->passwordTextField()->simulateTyping(password);
        clock.advance(0.25);  // the login button has faded in and takes touches
    }
    void tapLogin() { tap(login->loginButton()); }
    // A tap on a view of the login screen, scrolled into sight first when needed.
    void tap(const std::shared_ptr<UIView>& view) { tapInSight(screen.window, login->scrollView(), view); }
    // Lets answers through (they are handled on a later turn) and lets animations finish.
    void settle() { clock.advance(1.0); }
    std::shared_ptr<UIAlertController> alert() { return presentedAlert(login); }
    bool isPresented() { return screen.presenter->presentedViewController() == screen.navigation; }

    std::optional<lumora::testing::ScreenClassScope> device;
    dispatch::testing::ManualClockScope clock;
    ScriptedSignIn backend;
    std::shared_ptr<RecordingLoginDelegate> delegate;
    PresentedLogin screen;
    std::shared_ptr<LoginViewController> login;
};

INSTANTIATE_TEST_SUITE_P(EveryScreen, LoginScreenTest, ::testing::ValuesIn(lumora::testing::screens::all()),
                         lumora::testing::screens::name);

TEST_P(LoginScreenTest, ScreenIsLaidOutAsDesigned) {
    EXPECT_FALSE(login->loginButton()->isEnabled());
    EXPECT_DOUBLE_EQ(login->loginButton()->alpha(), 0.35);
    EXPECT_EQ(login->loginButton()->title(State::normal()), "Login");

    // The column is 0.9 of the width with a compact width (0.5 otherwise), 55 points below the scroll
    // view's top unless both size classes are regular (250 then: a tablet), in the middle.
    const auto traits = login->traitCollection();
    const bool compactWidth = traits.horizontalSizeClass == UIUserInterfaceSizeClass::compact;
    const bool regularBothWays = !compactWidth && traits.verticalSizeClass == UIUserInterfaceSizeClass::regular;
    EXPECT_EQ(regularBothWays, !GetParam().isPhone());
    const auto root = login->view();
    const CGRect column = login->contentView()->convertTo(login->contentView()->bounds(), root);
    const CGRect scroll = login->scrollView()->frame();
    EXPECT_DOUBLE_EQ(column.width(), (compactWidth ? 0.9 : 0.5) * root->bounds().width());
    EXPECT_DOUBLE_EQ(column.minY() - scroll.minY(), regularBothWays ? 250 : 55);
    EXPECT_DOUBLE_EQ(column.midX(), root->bounds().midX());
    // The column fills the visible height, or grows past it and scrolls when its content needs more (a
    // phone on its side): nothing in it is squeezed.
    EXPECT_GE(column.height(), scroll.height() - column.minY() + scroll.minY() - 1e-6);
    EXPECT_DOUBLE_EQ(login->scrollView()->contentSize().height, column.maxY() - scroll.minY());

    // Inside the column: 28-point margins, the logo 122 × 65 in the middle, the 50-point button 30 below
    // the fields, the link 20 above the column's bottom.
    const auto content = login->contentView();
    auto in = [&](const std::shared_ptr<UIView>& v) { return v->convertTo(v->bounds(), content); };
    EXPECT_DOUBLE_EQ(in(login->welcomeLabel()).minX(), 28);
    EXPECT_DOUBLE_EQ(in(login->welcomeLabel()).minY(), 0);
    EXPECT_EQ(in(login->logoImageView()).size, (CGSize{122, 65}));
    EXPECT_DOUBLE_EQ(in(login->logoImageView()).midX(), content->bounds().midX());
    EXPECT_DOUBLE_EQ(in(login->logoImageView()).minY(), in(login->welcomeLabel()).maxY() + 20);
    EXPECT_DOUBLE_EQ(in(login->loginStackView()).minY(), in(login->logoImageView()).maxY() + 45);
    EXPECT_DOUBLE_EQ(in(login->loginButton()).minY(), in(login->loginStackView()).maxY() + 30);
    EXPECT_DOUBLE_EQ(in(login->loginButton()).height(), 50);
    EXPECT_DOUBLE_EQ(in(login->loginButton()).minX(), 28);
    EXPECT_DOUBLE_EQ(in(login->loginButton()).maxX(), content->bounds().width() - 28);
    EXPECT_DOUBLE_EQ(in(login->forgotPasswordButton()).maxY(), content->bounds().height() - 20);
    EXPECT_GE(in(login->forgotPasswordButton()).minY(), in(login->loginButton()).maxY() + 20);
    // The fields have room for their text between the insets, one below the other.
    EXPECT_GT(login->passwordTextField()->textRect(login->passwordTextField()->bounds()).height(), 0);
    EXPECT_GE(in(login->usernameTextField()).minY(), in(login->loginLabel()).maxY());
    EXPECT_GE(in(login->passwordTextField()).minY(), in(login->usernameTextField()).maxY());
    EXPECT_DOUBLE_EQ(in(login->usernameTextField()).height(),
                     login->usernameTextField()->intrinsicContentSize().height);

    EXPECT_EQ(login->closeButton()->convertTo(login->closeButton()->bounds(), root),
              CGRect(root->bounds().width() - 60, 28, 40, 40));
}

TEST_P(LoginScreenTest, TabletColumnIsHalfTheWidthAndLower) {
    const lumora::testing::DeviceScope tabletDevice(1024, 1366, UIUserInterfaceIdiom::pad, 2);
    auto tablet = PresentedLogin::make(clock, backend.requests(), delegate);
    const auto root = tablet.login->view();
    const CGRect column = tablet.login->contentView()->convertTo(tablet.login->contentView()->bounds(), root);
    EXPECT_DOUBLE_EQ(column.width(), 512);
    EXPECT_DOUBLE_EQ(column.minY() - tablet.login->scrollView()->frame().minY(), 250);
    EXPECT_DOUBLE_EQ(column.midX(), 512);
    EXPECT_TRUE(tablet.login->shouldAutorotate());
}

TEST_P(LoginScreenTest, TypingEnablesTheLoginButtonAndClearingDisablesIt) {
    const auto& button = login->loginButton();
    login->usernameTextField()->simulateTyping("viewer@example.com");
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(login->usernameTextField()->tickView()->isHidden());
    EXPECT_TRUE(login->passwordTextField()->tickView()->isHidden());

    // Spaces are text.
    login->passwordTextField()->simulateTyping(" ");
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(login->passwordTextField()->tickView()->isHidden());
    // The button fades in over a quarter of a second.
    EXPECT_DOUBLE_EQ(button->alpha(), 1.0);
    clock.advance(0.125);
    EXPECT_GT(button->presentation().alpha, 0.35);
    EXPECT_LT(button->presentation().alpha, 1.0);
    clock.advance(0.125);
    EXPECT_DOUBLE_EQ(button->presentation().alpha, 1.0);

    login->passwordTextField()->simulateDeleteBackward();
    EXPECT_FALSE(button->isEnabled());
    EXPECT_DOUBLE_EQ(button->alpha(), 0.35);
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(button->presentation().alpha, 0.35);

    // Clearing the e-mail hides its tick and leaves the password's alone.
    login->passwordTextField()->simulateTyping("secret");
    EXPECT_TRUE(button->isEnabled());
    login->usernameTextField()->becomeFirstResponder();
    while (!login->usernameTextField()->text()->empty()) login->usernameTextField()->simulateDeleteBackward();
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(login->usernameTextField()->tickView()->isHidden());
    EXPECT_FALSE(login->passwordTextField()->tickView()->isHidden());
    EXPECT_TRUE(backend.logins.empty());
}

TEST_P(LoginScreenTest, MissingFieldShowsAnAlertAndSendsNothing) {
    login->usernameTextField()->simulateTyping("viewer@example.com");
    login->loginButton()->sendActions(UIControl::Event::touchUpInside());
    auto missing = alert();
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->title(), "Missing Field");
    EXPECT_EQ(missing->message(), "Please enter a valid username and password");
    ASSERT_EQ(missing->actions().size(), 1u);
    EXPECT_EQ(missing->actions()[0]->title(), "OK");
    EXPECT_EQ(missing->actions()[0]->style(), UIAlertAction::Style::default_);
    EXPECT_EQ(missing->preferredStyle(), UIAlertController::Style::alert);
    EXPECT_FALSE(login->usernameTextField()->tickView()->isHidden());
    EXPECT_TRUE(login->passwordTextField()->tickView()->isHidden());
    EXPECT_TRUE(backend.logins.empty());
    EXPECT_EQ(login->loginButton()->title(State::normal()), "Login");
    settle();
    EXPECT_TRUE(missing->simulateTap("OK"));
    settle();
    EXPECT_FALSE(alert());
    EXPECT_TRUE(isPresented());

    // Both empty: the same alert, and the password's tick is not looked at.
    login->usernameTextField()->setText(std::string());
    login->passwordTextField()->setIsValid(true);
    login->loginButton()->sendActions(UIControl::Event::touchUpInside());
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Missing Field");
    EXPECT_FALSE(login->passwordTextField()->tickView()->isHidden());
    EXPECT_TRUE(backend.logins.empty());
}

TEST_P(LoginScreenTest, NextMovesToThePasswordAndDoneSignsIn) {
    login->usernameTextField()->simulateTyping("viewer@example.com");
    login->usernameTextField()->simulateReturnKey();
    EXPECT_TRUE(login->passwordTextField()->isFirstResponder());
    EXPECT_FALSE(login->usernameTextField()->tickView()->isHidden());

    // Done with an empty password: the login road runs although the button is disabled.
    login->passwordTextField()->simulateReturnKey();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Missing Field");
    settle();
    alert()->simulateTap("OK");
    settle();

    login->passwordTextField()->simulateTyping("correct horse");
    login->passwordTextField()->simulateReturnKey();
    ASSERT_EQ(backend.logins.size(), 1u);
    EXPECT_EQ(backend.logins[0].email, "viewer@example.com");
    EXPECT_EQ(backend.logins[0].password, "correct horse");
    // The keyboard went down with the tap.
    EXPECT_FALSE(SimulatedKeyboard::shared().isVisible());
    EXPECT_TRUE(login->loginButton()->isLoading());
}

TEST_P(LoginScreenTest, SuccessTellsTheDelegateForgetsThePasswordAndDismissesEverything) {
    fill("viewer@example.com", "secret");
    login->passwordTextField()->toggleSecureEntry();  // the viewer looked at the password
    tapLogin();
    ASSERT_EQ(backend.logins.size(), 1u);
    EXPECT_TRUE(login->loginButton()->isLoading());
    EXPECT_EQ(login->loginButton()->title(State::normal()), "");
    EXPECT_TRUE(login->loginButton()->activityIndicator()->isAnimating());

    // Meanwhile the viewer empties the e-mail and presses Done: an alert goes up over the screen.
    login->usernameTextField()->setText(std::string());
    login->passwordTextField()->becomeFirstResponder();
    login->passwordTextField()->simulateReturnKey();
    ASSERT_TRUE(alert());
    settle();

    // The answer is handled on a later turn, never inside the request.
    backend.logins[0].answer.onNext(true);
    backend.logins[0].answer.onCompleted();
    EXPECT_TRUE(delegate->calls.empty());
    clock.runUntilIdle();
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"didLogin"});
    EXPECT_TRUE(delegate->presentedAtLogin);
    EXPECT_EQ(login->loginButton()->title(State::normal()), "Login");
    EXPECT_FALSE(login->loginButton()->activityIndicator()->isAnimating());
    EXPECT_EQ(login->passwordTextField()->text(), "");
    EXPECT_TRUE(login->passwordTextField()->isSecureTextEntry());
    EXPECT_FALSE(login->loginButton()->isEnabled());

    // The alert on top does not keep the login screen up.
    settle();
    EXPECT_FALSE(screen.presenter->presentedViewController());
    EXPECT_FALSE(screen.navigation->view()->window());
}

TEST_P(LoginScreenTest, SuccessKeepsTheEmailForTheNextViewer) {
    fill("viewer@example.com", "secret");
    tapLogin();
    backend.logins[0].answer.onNext(true);
    settle();
    EXPECT_FALSE(isPresented());
    EXPECT_EQ(login->usernameTextField()->text(), "viewer@example.com");
    EXPECT_EQ(login->passwordTextField()->text(), "");

    // Presented again, the screen asks only for the password.
    screen.presenter->presentAnimated(screen.navigation, true);
    settle();
    login->passwordTextField()->simulateTyping("secret");
    EXPECT_TRUE(login->loginButton()->isEnabled());
}

TEST_P(LoginScreenTest, WrongPasswordShowsLoginErrorAndOkOnlyCloses) {
    fill("viewer@example.com", "wrong");
    tapLogin();
    backend.logins[0].answer.onError(AuthenticationError::unknown(AuthManagerError::invalidCredentials()));
    settle();
    auto failure = alert();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->title(), "Login Error");
    EXPECT_EQ(failure->message(), "There was an error logging you in. Please check your credentials and try again.");
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"errorDisplay", "didFail"}));
    EXPECT_TRUE(delegate->alertUpAtFailure);
    ASSERT_EQ(delegate->errors.size(), 1u);
    ASSERT_TRUE(delegate->errors[0].authManagerError());
    EXPECT_EQ(*delegate->errors[0].authManagerError(), AuthManagerError::invalidCredentials());
    EXPECT_EQ(login->loginButton()->title(State::normal()), "Login");
    // The fields keep what was typed, for another try.
    EXPECT_EQ(login->passwordTextField()->text(), "wrong");
    EXPECT_TRUE(isPresented());

    EXPECT_TRUE(failure->simulateTap("OK"));
    settle();
    EXPECT_FALSE(alert());
    EXPECT_TRUE(UIApplication::shared()->canOpenURLQueries().empty());
    EXPECT_TRUE(UIApplication::shared()->openedURLs().empty());
    EXPECT_TRUE(isPresented());

    // Any other error, or a false answer, is a general failure too.
    tapLogin();
    backend.logins[1].answer.onNext(false);
    settle();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Login Error");
    EXPECT_TRUE(delegate->errors.back().isUnknown());
    EXPECT_FALSE(delegate->errors.back().underlyingError());
}

TEST_P(LoginScreenTest, AccountAlertsSendTheViewerToTheServiceWhenTheDeviceCanOpenIt) {
    struct Case {
        AuthenticationError error;
        std::string title;
        std::string message;
    };
    const Case cases[] = {
        {AuthenticationError::inactiveAccount(), "Inactive Account",
         "Your account is inactive. Please head to www.lumora.example to re-activate your account"},
        {AuthenticationError::incompleteAccount(), "Account Setup Required",
         "Your account setup is not complete yet. Please head to www.lumora.example to finish your account setup"},
    };
    login->setDelegate({});  // the built-in texts
    fill("viewer@example.com", "secret");
    for (const auto& c : cases) {
        UIApplication::setShared(nullptr);
        tapLogin();
        backend.logins.back().answer.onError(c.error);
        settle();
        auto account = alert();
        ASSERT_TRUE(account);
        EXPECT_EQ(account->title(), c.title);
        EXPECT_EQ(account->message(), c.message);
        account->simulateTap("OK");
        settle();
        ASSERT_EQ(UIApplication::shared()->openedURLs().size(), 1u) << c.title;
        EXPECT_EQ(UIApplication::shared()->openedURLs()[0].absoluteString(), "https://www.lumora.example/signup");
    }

    // A device that cannot open the page: asked, not opened.
    UIApplication::setShared(nullptr);
    UIApplication::shared()->setURLOpener(
        {[](const foundation::URL&) { return false; }, [](const foundation::URL&) { return true; }});
    tapLogin();
    backend.logins.back().answer.onError(AuthenticationError::inactiveAccount());
    settle();
    alert()->simulateTap("OK");
    settle();
    EXPECT_EQ(UIApplication::shared()->canOpenURLQueries().size(), 1u);
    EXPECT_TRUE(UIApplication::shared()->openedURLs().empty());
}

TEST_P(LoginScreenTest, HostConfiguredAddressesAndTheDelegatesTexts) {
    lumora::ConfigurationKey::setSourceForTesting([](std::string_view key) -> std::optional<std::string> {
        if (key == "SDK_SignUpURL") return "https://accounts.example.tv/finish";
        return std::nullopt;
    });
    delegate->display = ErrorDisplayModel("Hold on", "Your subscription needs attention.");
    fill("viewer@example.com", "secret");
    tapLogin();
    backend.logins[0].answer.onError(AuthenticationError::incompleteAccount());
    settle();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Hold on");
    EXPECT_EQ(alert()->message(), "Your subscription needs attention.");
    ASSERT_EQ(delegate->errors.size(), 1u);
    EXPECT_TRUE(delegate->errors[0].isIncompleteAccount());
    alert()->simulateTap("OK");
    settle();
    ASSERT_EQ(UIApplication::shared()->openedURLs().size(), 1u);
    EXPECT_EQ(UIApplication::shared()->openedURLs()[0].absoluteString(), "https://accounts.example.tv/finish");

    // An address that is not a URL opens nothing.
    lumora::ConfigurationKey::setSourceForTesting([](std::string_view key) -> std::optional<std::string> {
        if (key == "SDK_SignUpURL") return "not a web address";
        return std::nullopt;
    });
    UIApplication::setShared(nullptr);
    tapLogin();
    backend.logins[1].answer.onError(AuthenticationError::inactiveAccount());
    settle();
    alert()->simulateTap("OK");
    settle();
    EXPECT_TRUE(UIApplication::shared()->openedURLs().empty());
}

TEST_P(LoginScreenTest, OnlyTheLatestSignInIsAnsweredAndTheTitleSurvives) {
    fill("viewer@example.com", "secret");
    tapLogin();
    tapLogin();
    ASSERT_EQ(backend.logins.size(), 2u);
    EXPECT_EQ(login->loginButton()->title(State::normal()), "");

    // The first answer comes late and is dropped.
    backend.logins[0].answer.onError(AuthenticationError::inactiveAccount());
    settle();
    EXPECT_TRUE(delegate->calls.empty());
    EXPECT_FALSE(alert());
    EXPECT_TRUE(login->loginButton()->isLoading());

    backend.logins[1].answer.onError(AuthenticationError::unknown(AuthManagerError::invalidCredentials()));
    settle();
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"errorDisplay", "didFail"}));
    EXPECT_EQ(login->loginButton()->title(State::normal()), "Login");
    EXPECT_FALSE(login->loginButton()->isLoading());
}

TEST_P(LoginScreenTest, CloseForgetsThePasswordAndTellsTheDelegateOnceGone) {
    fill("viewer@example.com", "secret");
    tap(login->closeButton());
    EXPECT_EQ(login->passwordTextField()->text(), "");
    EXPECT_EQ(login->usernameTextField()->text(), "viewer@example.com");
    clock.advance(UIViewController::transitionDuration - 0.01);
    EXPECT_TRUE(delegate->calls.empty());
    clock.advance(0.01);
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"didClose"});
    EXPECT_FALSE(screen.presenter->presentedViewController());
}

TEST_P(LoginScreenTest, SwipingTheSheetAwayForgetsThePassword) {
    fill("viewer@example.com", "secret");
    login->passwordTextField()->toggleSecureEntry();
    ASSERT_TRUE(screen.navigation->presentationController()->simulateInteractiveDismissal());
    settle();
    EXPECT_FALSE(screen.presenter->presentedViewController());
    EXPECT_EQ(login->passwordTextField()->text(), "");
    EXPECT_TRUE(login->passwordTextField()->isSecureTextEntry());
    EXPECT_EQ(login->usernameTextField()->text(), "viewer@example.com");
    // Swiping is the player screen's to report, not the close button's.
    EXPECT_TRUE(delegate->calls.empty());
}

// The reset screen on top when the presentation goes: the login screen disappeared long before (when the
// reset screen covered it), yet its password goes with the presentation, however it went.
TEST_P(LoginScreenTest, ThePasswordGoesWithThePresentationWhateverScreenIsOnTop) {
    auto leaveFromResetScreen = [&](const std::function<void()>& leave) {
        fill("viewer@example.com", "secret");
        login->passwordTextField()->toggleSecureEntry();  // shown in clear text
        tap(login->forgotPasswordButton());
        settle();
        ASSERT_TRUE(
            std::dynamic_pointer_cast<lumora::ResetPasswordViewController>(screen.navigation->topViewController()));
        ASSERT_EQ(login->passwordTextField()->text(), "secret");
        leave();
        settle();
        EXPECT_FALSE(screen.presenter->presentedViewController());
        EXPECT_EQ(login->passwordTextField()->text(), "");
        EXPECT_TRUE(login->passwordTextField()->isSecureTextEntry());
        EXPECT_FALSE(login->loginButton()->isEnabled());
        EXPECT_EQ(login->usernameTextField()->text(), "viewer@example.com");
        login->usernameTextField()->setText(std::string());
    };
    // Swiped away.
    leaveFromResetScreen(
        [&] { ASSERT_TRUE(screen.navigation->presentationController()->simulateInteractiveDismissal()); });

    // Presented again as the player screen does (a new navigation controller), then dismissed by the
    // screen that presented it.
    auto again = [&] {
        screen.navigation = UINavigationController::create(login);
        screen.navigation->setIsNavigationBarHidden(true);
        screen.presenter->presentAnimated(screen.navigation, true);
        settle();
        ASSERT_EQ(screen.presenter->presentedViewController(), screen.navigation);
    };
    again();
    EXPECT_EQ(login->passwordTextField()->text(), "");
    leaveFromResetScreen([&] { screen.presenter->dismiss(true); });

    // The presenter itself going (the host closes what presented the sign-in).
    auto host = UIViewController::create();
    screen.window->setRootViewController(host);
    screen.presenter = UIViewController::create();
    host->presentAnimated(screen.presenter, false);
    settle();
    again();
    leaveFromResetScreen([&] { host->dismiss(true); });
    EXPECT_FALSE(host->presentedViewController());
    // None of these is the close button: the login screen tells its delegate nothing.
    EXPECT_TRUE(delegate->calls.empty());
}

TEST_P(LoginScreenTest, ForgotPasswordPushesTheResetScreenAndBackKeepsTheFields) {
    fill("viewer@example.com", "secret");
    tap(login->forgotPasswordButton());
    settle();
    auto reset = std::dynamic_pointer_cast<lumora::ResetPasswordViewController>(screen.navigation->topViewController());
    ASSERT_TRUE(reset);
    EXPECT_FALSE(login->view()->window());
    // Covered, not gone: the password stays.
    EXPECT_EQ(login->passwordTextField()->text(), "secret");

    tapInSight(screen.window, reset->scrollView(), reset->backToLoginButton());
    settle();
    EXPECT_EQ(screen.navigation->topViewController(), login);
    EXPECT_TRUE(login->view()->window());
    EXPECT_EQ(login->passwordTextField()->text(), "secret");

    // Without a navigation controller the link does nothing.
    auto loose = LoginViewController::create(backend.requests());
    loose->loadViewIfNeeded();
    loose->forgotPasswordButton()->sendActions(UIControl::Event::touchUpInside());
    EXPECT_FALSE(loose->navigationController());
}

TEST_P(LoginScreenTest, KeyboardMovesTheScrollViewInsetAndTheEditedFieldStaysAboveIt) {
    const auto scroll = login->scrollView();
    const CGFloat keyboardTop = UIScreen::main()->bounds().maxY() - SimulatedKeyboard::defaultHeight;
    auto inSight = [&](const std::shared_ptr<UIView>& field) {
        const CGRect seen = field->convertTo(field->bounds(), nullptr);
        return seen.minY() >= scroll->frame().minY() && seen.maxY() <= keyboardTop;
    };
    login->usernameTextField()->becomeFirstResponder();
    EXPECT_EQ(scroll->contentInset(), (UIEdgeInsets{0, 0, SimulatedKeyboard::defaultHeight, 0}));
    EXPECT_TRUE(inSight(login->usernameTextField()));
    // Handing over to the password field (its Next key) keeps the keyboard up and the password in sight.
    login->usernameTextField()->simulateReturnKey();
    ASSERT_TRUE(login->passwordTextField()->isFirstResponder());
    EXPECT_EQ(scroll->contentInset().bottom, SimulatedKeyboard::defaultHeight);
    EXPECT_TRUE(inSight(login->passwordTextField()));
    // And back up to the e-mail.
    login->usernameTextField()->becomeFirstResponder();
    EXPECT_TRUE(inSight(login->usernameTextField()));

    // The keyboard gone, the content is back within its scrollable range.
    login->passwordTextField()->becomeFirstResponder();
    login->view()->endEditing(true);
    EXPECT_EQ(scroll->contentInset().bottom, 0);
    EXPECT_GE(scroll->contentOffset().y, 0);
    EXPECT_LE(scroll->contentOffset().y,
              std::max<CGFloat>(0, scroll->contentSize().height - scroll->bounds().height()));
}

TEST_P(LoginScreenTest, ReleasedScreenDropsTheAnswer) {
    auto scripted = std::make_shared<ScriptedSignIn>();
    std::weak_ptr<LoginViewController> weak;
    {
        auto alone = PresentedLogin::make(clock, scripted->requests(), delegate);
        weak = alone.login;
        alone.login->usernameTextField()->simulateTyping("viewer@example.com");
        alone.login->passwordTextField()->simulateTyping("secret");
        alone.login->loginButton()->sendActions(UIControl::Event::touchUpInside());
        alone.presenter->dismiss(false);
        settle();
        alone.window->setRootViewController(nullptr);
    }
    EXPECT_TRUE(weak.expired());
    ASSERT_EQ(scripted->logins.size(), 1u);
    scripted->logins[0].answer.onNext(true);
    settle();
    EXPECT_TRUE(delegate->calls.empty());
}

}  // namespace
