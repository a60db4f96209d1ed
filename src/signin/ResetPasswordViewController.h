#pragma once

#include <memory>
#include <optional>
#include <string>

#include "rx/Event.h"
#include "signin/SignInRequests.h"
#include "signin/UnderlineTextField.h"
#include "signin/ZuStateButton.h"
#include "signin/detail/SignInScreen.h"
#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"

namespace lumora {

// The screen on which a viewer who forgot the password asks for a password-reset e-mail. The login screen
// pushes it onto the navigation controller the sign-in screens are shown in; it pops itself when the viewer
// taps "Sign into Ostra" or confirms a successful request. Main thread only.
class ResetPasswordViewController : public signin_detail::SignInScreen {
  public:
    static std::shared_ptr<ResetPasswordViewController> create(SignInRequests requests = SignInRequests::facade());
    ~ResetPasswordViewController() override;

    // The views, each made on first use and kept.
    const std::shared_ptr<uikit::UIImageView>& logoImageView();
    const std::shared_ptr<uikit::UILabel>& welcomeLabel();
    const std::shared_ptr<UnderlineTextField>& usernameTextField();
    const std::shared_ptr<ZuStateButton>& continueButton();
    const std::shared_ptr<uikit::UIButton>& backToLoginButton();

    // The e-mail field's text when it is not empty (spaces count as text); otherwise shows the "Missing
    // Field" alert and gives nothing.
    std::optional<std::string> validatedEmail();

    void loadView() override;
    void viewDidLoad() override;
    // On focus-driven devices: a text field gaining focus shows black text, one losing it white text.
    void didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                        uikit::UIFocusAnimationCoordinator& coordinator) override;

  protected:
    explicit ResetPasswordViewController(SignInRequests requests);

  private:
    void bind();
    void handleOutcome(const rx::Event<rx::Void>& outcome);
    void presentAlert(const std::string& title, const std::string& message, bool popOnConfirm);

    std::shared_ptr<uikit::UIImageView> logoImageView_;
    std::shared_ptr<uikit::UILabel> welcomeLabel_;
    std::shared_ptr<UnderlineTextField> usernameTextField_;
    std::shared_ptr<ZuStateButton> continueButton_;
    std::shared_ptr<uikit::UIButton> backToLoginButton_;
};

}  // namespace lumora
