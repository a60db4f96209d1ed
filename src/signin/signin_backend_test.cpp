// The sign-in screens against the local back end's identity provider and entitlement service, through the
// public facade and the shared sign-in stack.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "authentication/AuthConfiguration.h"
#include "authentication/LumoraAuthManager.h"
#include "devserver/EntitlementService.h"
#include "devserver/IdentityService.h"
#include "devserver/Server.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "kitfoundation/Configuration.h"
#include "kitfoundation/Log.h"
#include "signin/ResetPasswordViewController.h"
#include "signin/testing/SignInTestSupport.h"
#include "uikit/UIApplication.h"
#include "uikit/testing/EventSimulator.h"

namespace {

namespace fs = std::filesystem;
using namespace uikit;
using lumora::testing::presentedAlert;
using lumora::testing::PresentedLogin;
using lumora::testing::RecordingLoginDelegate;
using State = UIControl::State;

constexpr const char* kPassword = "lumora-demo";

class SignInBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        lumora::ConfigurationKey::setSourceForTesting([](std::string_view) { return std::nullopt; });
        keychainDir_ = fs::temp_directory_path() / ("lumora-signin-" + std::to_string(::getpid()) + "-" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(keychainDir_);
        identity_ = devserver::IdentityService::create();
        entitlement_ = devserver::EntitlementService::create(identity_);
        auto server = devserver::Server::start({.services = {identity_, entitlement_}});
        ASSERT_TRUE(server) << server.error();
        server_ = *server;

        auto configuration = lumora::AuthConfiguration::resolve({}, std::nullopt, "com.example.host");
        configuration.domain = server_->baseURL();
        configuration.entitlementServiceURL = server_->baseURL() + "/entitlement/";
        configuration.keychainDirectory = keychainDir_.string();
        // Answers on a worker queue, as the shared session gives them: the screens' answers cross threads.
        stack_ =
            lumora::LumoraAuthFactory::makeAuthManager(configuration, {.session = foundation::URLSession::create()});
        previousStack_ = lumora::LumoraAuthManager::shared().authManager();
        lumora::LumoraAuthManager::shared().setAuthManager(stack_);

        delegate_ = std::make_shared<RecordingLoginDelegate>();
        screen_ = PresentedLogin::make(clock_, lumora::SignInRequests::facade(), delegate_);
        login_ = screen_.login;
    }
    void TearDown() override {
        if (previousStack_) lumora::LumoraAuthManager::shared().setAuthManager(*previousStack_);
        if (server_) server_->stop();
        fs::remove_all(keychainDir_);
        lumora::ConfigurationKey::setSourceForTesting(nullptr);
    }

    void signIn(const std::string& email, const std::string& password) {
        login_->usernameTextField()->simulateTyping(email);
        login_->passwordTextField()->simulateTyping(password);
        clock_.advance(0.25);  // the login button has faded in
        uikit::testing::TouchSimulator(screen_.window).tap(login_->loginButton());
    }
    // Runs the main loop until the delegate has been told something (the answer is real network I/O).
    bool waitForDelegate(std::size_t calls = 1) {
        return dispatch::RunLoop::main().runUntil([&] { return delegate_->calls.size() >= calls; },
                                                  std::chrono::seconds(20));
    }
    std::shared_ptr<UIAlertController> alert() { return presentedAlert(login_); }

    dispatch::testing::ManualClockScope clock_;
    fs::path keychainDir_;
    std::shared_ptr<devserver::IdentityService> identity_;
    std::shared_ptr<devserver::EntitlementService> entitlement_;
    std::shared_ptr<devserver::Server> server_;
    std::shared_ptr<lumora::AuthManagerType> stack_;
    // The shared manager's stack before this test's took its place, put back at the end.
    std::optional<std::shared_ptr<lumora::AuthManagerType>> previousStack_;
    std::shared_ptr<RecordingLoginDelegate> delegate_;
    PresentedLogin screen_;
    std::shared_ptr<lumora::LoginViewController> login_;
};

TEST_F(SignInBackendTest, SuccessfulSignInTellsTheDelegateAndForgetsThePassword) {
    signIn("demo@lumora.dev", kPassword);
    ASSERT_TRUE(waitForDelegate());
    EXPECT_EQ(delegate_->calls, std::vector<std::string>{"didLogin"});
    EXPECT_TRUE(delegate_->presentedAtLogin);
    EXPECT_TRUE(stack_->isAuthenticated());
    EXPECT_EQ(login_->passwordTextField()->text(), "");
    EXPECT_TRUE(login_->passwordTextField()->isSecureTextEntry());
    EXPECT_EQ(login_->usernameTextField()->text(), "demo@lumora.dev");
    EXPECT_EQ(login_->loginButton()->title(State::normal()), "Login");
    clock_.advance(1.0);
    EXPECT_FALSE(screen_.presenter->presentedViewController());
    // The password went to the identity provider and nowhere else.
    EXPECT_EQ(server_->requestLog().entries("/oauth/token").size(), 1u);
}

TEST_F(SignInBackendTest, WrongPasswordShowsLoginErrorAndOkOnlyCloses) {
    signIn("demo@lumora.dev", "not-the-password");
    ASSERT_TRUE(waitForDelegate(2));
    EXPECT_EQ(delegate_->calls, (std::vector<std::string>{"errorDisplay", "didFail"}));
    ASSERT_TRUE(delegate_->errors.at(0).authManagerError());
    EXPECT_EQ(delegate_->errors[0].authManagerError()->kind(), lumora::AuthManagerError::Kind::invalidCredentials);
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Login Error");
    EXPECT_EQ(alert()->message(), "There was an error logging you in. Please check your credentials and try again.");
    EXPECT_FALSE(stack_->isAuthenticated());
    clock_.advance(1.0);
    alert()->simulateTap("OK");
    clock_.advance(1.0);
    EXPECT_FALSE(alert());
    EXPECT_TRUE(UIApplication::shared()->openedURLs().empty());
    EXPECT_EQ(screen_.presenter->presentedViewController(), screen_.navigation);
    EXPECT_EQ(login_->passwordTextField()->text(), "not-the-password");
}

TEST_F(SignInBackendTest, InactiveAccountSendsTheViewerToTheServicesPage) {
    login_->setDelegate({});  // the built-in texts
    signIn("inactive@lumora.dev", kPassword);
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return alert() != nullptr; }, std::chrono::seconds(20)));
    EXPECT_EQ(alert()->title(), "Inactive Account");
    EXPECT_EQ(alert()->message(),
              "Your account is inactive. Please head to www.lumora.example to re-activate your account");
    clock_.advance(1.0);
    alert()->simulateTap("OK");
    clock_.advance(1.0);
    ASSERT_EQ(UIApplication::shared()->openedURLs().size(), 1u);
    EXPECT_EQ(UIApplication::shared()->openedURLs()[0].absoluteString(), "https://www.lumora.example/signup");
}

TEST_F(SignInBackendTest, LoginButtonSpinsThroughASlowSignInAndKeepsItsTitle) {
    // The first password grant answers very late (the server cuts the wait short when it stops).
    server_->injectFault("/oauth/token", {.delay = std::chrono::seconds(30), .times = 1});
    signIn("demo@lumora.dev", kPassword);
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil(
        [&] { return server_->requestLog().entries("/oauth/token").size() == 1; }, std::chrono::seconds(20)));
    clock_.advance(1.0);
    EXPECT_TRUE(login_->loginButton()->isLoading());
    EXPECT_EQ(login_->loginButton()->title(State::normal()), "");
    EXPECT_TRUE(login_->loginButton()->activityIndicator()->isAnimating());
    EXPECT_TRUE(delegate_->calls.empty());
    EXPECT_EQ(screen_.presenter->presentedViewController(), screen_.navigation);

    // The viewer taps again while waiting: the second sign-in supersedes the first and answers at once.
    uikit::testing::TouchSimulator(screen_.window).tap(login_->loginButton());
    ASSERT_TRUE(waitForDelegate());
    EXPECT_EQ(delegate_->calls, std::vector<std::string>{"didLogin"});
    EXPECT_EQ(server_->requestLog().entries("/oauth/token").size(), 2u);
    EXPECT_EQ(login_->loginButton()->title(State::normal()), "Login");
    EXPECT_FALSE(login_->loginButton()->activityIndicator()->isAnimating());
    EXPECT_FALSE(login_->loginButton()->isLoading());
}

TEST_F(SignInBackendTest, PasswordResetSucceedsAndFails) {
    login_->forgotPasswordButton()->sendActions(UIControl::Event::touchUpInside());
    clock_.advance(1.0);
    auto reset =
        std::dynamic_pointer_cast<lumora::ResetPasswordViewController>(screen_.navigation->topViewController());
    ASSERT_TRUE(reset);
    reset->usernameTextField()->simulateTyping("demo@lumora.dev");
    reset->usernameTextField()->simulateReturnKey();
    EXPECT_TRUE(reset->continueButton()->isLoading());
    ASSERT_TRUE(
        dispatch::RunLoop::main().runUntil([&] { return presentedAlert(reset) != nullptr; }, std::chrono::seconds(20)));
    EXPECT_EQ(presentedAlert(reset)->title(), "Success");
    EXPECT_EQ(identity_->passwordResetRequests(), std::vector<std::string>{"demo@lumora.dev"});
    EXPECT_EQ(reset->continueButton()->title(State::normal()), "Continue");
    clock_.advance(1.0);
    presentedAlert(reset)->simulateTap("OK");
    clock_.advance(1.0);
    EXPECT_EQ(screen_.navigation->topViewController(), login_);

    // The identity provider fails: the error alert, and the screen stays.
    login_->forgotPasswordButton()->sendActions(UIControl::Event::touchUpInside());
    clock_.advance(1.0);
    reset = std::dynamic_pointer_cast<lumora::ResetPasswordViewController>(screen_.navigation->topViewController());
    ASSERT_TRUE(reset);
    server_->injectFault("/dbconnections/change_password", {.status = 503});
    reset->usernameTextField()->simulateTyping("demo@lumora.dev");
    reset->continueButton()->sendActions(UIControl::Event::primaryActionTriggered());
    ASSERT_TRUE(
        dispatch::RunLoop::main().runUntil([&] { return presentedAlert(reset) != nullptr; }, std::chrono::seconds(20)));
    EXPECT_EQ(presentedAlert(reset)->title(), "Error");
    EXPECT_EQ(presentedAlert(reset)->message(), "There was an error resetting your password. Please try again.");
    clock_.advance(1.0);
    presentedAlert(reset)->simulateTap("OK");
    clock_.advance(1.0);
    EXPECT_EQ(screen_.navigation->topViewController(), reset);
    EXPECT_EQ(reset->usernameTextField()->text(), "demo@lumora.dev");
}

TEST_F(SignInBackendTest, NothingTypedIsLogged) {
    const dispatch::testing::ValueScope keepSwitch(lumora::debugLogEnabled);
    lumora::debugLogEnabled = true;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    signIn("demo@lumora.dev", "wrong-secret-1");
    const bool failed = waitForDelegate(2);
    clock_.advance(1.0);
    alert()->simulateTap("OK");
    clock_.advance(1.0);
    login_->passwordTextField()->setText(std::string());
    login_->passwordTextField()->simulateTyping(kPassword);
    clock_.advance(0.25);
    uikit::testing::TouchSimulator(screen_.window).tap(login_->loginButton());
    const bool signedIn = waitForDelegate(3);
    clock_.advance(1.0);
    const std::string output =
        ::testing::internal::GetCapturedStdout() + "\n" + ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(failed);
    ASSERT_TRUE(signedIn);
    EXPECT_EQ(delegate_->calls.back(), "didLogin");
    // The kit did log the sign-in (its requests), only never what was typed.
    EXPECT_NE(output.find("Executing Network Request"), std::string::npos);
    EXPECT_EQ(output.find("wrong-secret-1"), std::string::npos) << output;
    EXPECT_EQ(output.find(kPassword), std::string::npos) << output;
    EXPECT_EQ(output.find("demo@lumora.dev"), std::string::npos) << output;
}

}  // namespace
