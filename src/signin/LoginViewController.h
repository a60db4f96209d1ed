#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "authentication/AuthenticationError.h"
#include "rx/Event.h"
#include "signin/ErrorDisplayModel.h"
#include "signin/SignInRequests.h"
#include "signin/UnderlineTextField.h"
#include "signin/ZuStateButton.h"
#include "signin/detail/SignInScreen.h"
#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UIStackView.h"

namespace lumora {

class LoginViewController;

// What the login screen tells its owner (the player screen).
class LoginViewControllerDelegate {
  public:
    virtual ~LoginViewControllerDelegate() = default;
    // A sign-in succeeded; the screen dismisses itself right after.
    virtual void loginViewControllerDidLogin(LoginViewController& controller) = 0;
    // The title and message of the alert for a failed sign-in.
    virtual ErrorDisplayModel errorDisplay(const AuthenticationError& error) = 0;
    // A sign-in failed; told after the alert was presented.
    virtual void loginViewControllerDidFailLoginWith(LoginViewController& controller,
                                                     const AuthenticationError& error) = 0;
    // The close button's dismissal has finished.
    virtual void loginViewControllerDidClose(LoginViewController& controller) = 0;
};

// The kit's sign-in screen: an e-mail address and a password, a login button that shows a spinner while
// the sign-in runs, a link to the reset-password screen and a close button. It signs the viewer in through
// the sign-in stack, shows an alert when a field is empty or the sign-in fails, and tells its delegate about
// success, failure and closing.
//
// The password never outlives the screen's use: after a successful sign-in, and whenever the sign-in
// presentation goes (closed, swiped away, dismissed with the screen that presented it), whichever screen is
// on top of it, the password field is emptied and made secure again (the e-mail address stays). Nothing
// typed into the fields is logged. Main thread only.
class LoginViewController : public signin_detail::SignInScreen {
  public:
    static std::shared_ptr<LoginViewController> create(SignInRequests requests = SignInRequests::facade());
    ~LoginViewController() override;

    std::weak_ptr<LoginViewControllerDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<LoginViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }

    // The views, each made on first use and kept.
    const std::shared_ptr<uikit::UIButton>& closeButton();
    const std::shared_ptr<uikit::UILabel>& welcomeLabel();
    const std::shared_ptr<uikit::UIImageView>& logoImageView();
    const std::shared_ptr<uikit::UILabel>& loginLabel();
    const std::shared_ptr<UnderlineTextField>& usernameTextField();
    const std::shared_ptr<UnderlineTextField>& passwordTextField();
    const std::shared_ptr<uikit::UIButton>& forgotPasswordButton();
    const std::shared_ptr<ZuStateButton>& loginButton();
    const std::shared_ptr<uikit::UIStackView>& loginStackView();

    // Enables the login button (fading it in over 0.25 s) when both fields hold text, and disables it
    // (fading to `alphaWhenDisabled`) otherwise; the fields' ticks follow.
    void updateLoginButtonState();
    // Both texts as [e-mail, password], or nothing after showing the "Missing Field" alert. The password
    // field is checked only when the e-mail field passes. Spaces count as text.
    std::optional<std::vector<std::string>> validateCredentials();
    // A field's text when it is not empty (its tick shows), otherwise nothing (its tick hides).
    std::optional<std::string> validateUsername();
    std::optional<std::string> validatePassword();

    void loadView() override;
    void viewDidLoad() override;

  protected:
    explicit LoginViewController(SignInRequests requests);
    // However the sign-in presentation went, and whichever screen was on top: the password goes.
    void signInPresentationDidEnd() override;

  private:
    static std::optional<std::string> validate(UnderlineTextField& field);
    std::shared_ptr<LoginViewController> sharedLogin() const;
    void bindControls();
    void bindLogin();
    void handleLoginOutcome(const rx::Event<bool>& outcome);
    void presentFailure(const AuthenticationError& error);
    // Empties the password field and makes it secure again.
    void forgetPassword();
    // Dismisses the presentation this screen is part of, with whatever is presented over it.
    void dismissPresentation(std::function<void()> completion);

    std::weak_ptr<LoginViewControllerDelegate> delegate_;
    std::shared_ptr<uikit::UIButton> closeButton_;
    std::shared_ptr<uikit::UILabel> welcomeLabel_;
    std::shared_ptr<uikit::UIImageView> logoImageView_;
    std::shared_ptr<uikit::UILabel> loginLabel_;
    std::shared_ptr<UnderlineTextField> usernameTextField_;
    std::shared_ptr<UnderlineTextField> passwordTextField_;
    std::shared_ptr<uikit::UIButton> forgotPasswordButton_;
    std::shared_ptr<ZuStateButton> loginButton_;
    std::shared_ptr<uikit::UIStackView> loginStackView_;
};

}  // namespace lumora
