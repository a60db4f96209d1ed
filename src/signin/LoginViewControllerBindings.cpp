// The login screen's behaviour: its controls, field validation, the sign-in request and its outcome.
#include "foundation/URL.h"
#include "kitfoundation/Configuration.h"
#include "rx/Schedulers.h"
#include "signin/LoginViewController.h"
#include "signin/ResetPasswordViewController.h"
#include "signin/detail/SignInLayout.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"

namespace lumora {

using Event = uikit::UIControl::Event;

void LoginViewController::viewDidLoad() {
    SignInScreen::viewDidLoad();
    avoidKeyboard();
    bindControls();
    bindLogin();
}

void LoginViewController::bindControls() {
    std::weak_ptr<LoginViewController> weak = sharedLogin();

    forgotPasswordButton()
        ->rx()
        .tap()
        .subscribe([weak](const rx::Unit&) {
            auto self = weak.lock();
            if (!self) return;
            if (auto navigation = self->navigationController()) {
                navigation->pushViewControllerAnimated(ResetPasswordViewController::create(self->requests_), true);
            }
        })
        .disposed(disposeBag_);

    usernameTextField()
        ->rx()
        .controlEvent(Event::editingDidEndOnExit())
        .subscribe([weak](const rx::Unit&) {
            auto self = weak.lock();
            if (!self) return;
            self->validateUsername();
            self->passwordTextField()->becomeFirstResponder();
        })
        .disposed(disposeBag_);

    // The Done key submits whatever the fields hold, even while the login button is disabled.
    passwordTextField()
        ->rx()
        .controlEvent(Event::editingDidEndOnExit())
        .subscribe([weak](const rx::Unit&) {
            auto self = weak.lock();
            if (!self) return;
            self->validatePassword();
            self->loginButton()->sendActions(Event::touchUpInside());
        })
        .disposed(disposeBag_);

    for (const auto& field : {usernameTextField(), passwordTextField()}) {
        field->rx()
            .controlEvent(Event::editingChanged())
            .subscribe([weak](const rx::Unit&) {
                if (auto self = weak.lock()) self->updateLoginButtonState();
            })
            .disposed(disposeBag_);
    }

    closeButton()
        ->rx()
        .tap()
        .subscribe([weak](const rx::Unit&) {
            auto self = weak.lock();
            if (!self) return;
            self->forgetPassword();
            self->dismissPresentation([weak] {
                auto screen = weak.lock();
                if (!screen) return;
                if (auto delegate = screen->delegate_.lock()) delegate->loginViewControllerDidClose(*screen);
            });
        })
        .disposed(disposeBag_);
}

// A tap ends editing and checks the fields; a tap with both filled starts a sign-in. A newer sign-in
// supersedes an outstanding one: only the latest answer is handled (the earlier request still runs). A tap
// with a missing field leaves an outstanding sign-in alone. Answers are handled on a later turn of the main
// queue, whichever thread they come on.
void LoginViewController::bindLogin() {
    std::weak_ptr<LoginViewController> weak = sharedLogin();
    auto requests = requests_;
    loginButton()
        ->rx()
        .tap()
        .map([weak](const rx::Unit&) -> std::optional<std::vector<std::string>> {
            auto self = weak.lock();
            if (!self) return std::nullopt;
            self->view()->endEditing(true);
            return self->validateCredentials();
        })
        .flatMapLatest([](const std::optional<std::vector<std::string>>& credentials) {
            return rx::Observable<std::vector<std::string>>::from(credentials);
        })
        .flatMapLatest([weak, requests](const std::vector<std::string>& credentials) {
            auto self = weak.lock();
            if (!self) return rx::Observable<rx::Event<bool>>::empty();
            self->loginButton()->setLoading(true);
            return requests.login(credentials[0], credentials[1]).materialize();
        })
        .filter([](const rx::Event<bool>& event) { return !event.isCompleted(); })
        .observeOn(rx::MainScheduler::asyncInstance())
        .subscribe([weak](const rx::Event<bool>& outcome) {
            if (auto self = weak.lock()) self->handleLoginOutcome(outcome);
        })
        .disposed(disposeBag_);
}

void LoginViewController::handleLoginOutcome(const rx::Event<bool>& outcome) {
    loginButton()->setLoading(false);
    if (const bool* signedIn = outcome.element(); signedIn && *signedIn) {
        if (auto delegate = delegate_.lock()) delegate->loginViewControllerDidLogin(*this);
        forgetPassword();
        dismissPresentation(nullptr);
        return;
    }
    AuthenticationError error = AuthenticationError::unknown();
    if (const foundation::Error* failure = outcome.error()) {
        if (const auto* authentication = failure->as<AuthenticationError>()) {
            error = *authentication;
        } else {
            error = AuthenticationError::unknown(*failure);
        }
    }
    presentFailure(error);
}

void LoginViewController::presentFailure(const AuthenticationError& error) {
    auto delegate = delegate_.lock();
    const ErrorDisplayModel display = delegate ? delegate->errorDisplay(error) : ErrorDisplayModel(error);
    std::function<void()> onConfirm;
    if (error.isInactiveAccount() || error.isIncompleteAccount()) {
        onConfirm = [] {
            auto url = foundation::URL::fromString(ConfigurationKey(ConfigurationKey::signUpURL).value());
            if (!url) return;
            auto application = uikit::UIApplication::shared();
            if (application->canOpenURL(*url)) application->openOptions(*url, {}, nullptr);
        };
    }
    signin_detail::presentOKAlert(*this, display.title, display.message, std::move(onConfirm));
    if (delegate) delegate->loginViewControllerDidFailLoginWith(*this, error);
}

// ---- Validation -------------------------------------------------------------------------------------------

std::optional<std::string> LoginViewController::validate(UnderlineTextField& field) {
    auto text = field.text();
    const bool filled = text && !text->empty();
    field.setIsValid(filled);
    return filled ? text : std::nullopt;
}

std::optional<std::string> LoginViewController::validateUsername() {
    return validate(*usernameTextField());
}

std::optional<std::string> LoginViewController::validatePassword() {
    return validate(*passwordTextField());
}

std::optional<std::vector<std::string>> LoginViewController::validateCredentials() {
    if (auto username = validateUsername()) {
        if (auto password = validatePassword()) return std::vector<std::string>{*username, *password};
    }
    signin_detail::presentOKAlert(*this, "Missing Field", "Please enter a valid username and password");
    return std::nullopt;
}

void LoginViewController::updateLoginButtonState() {
    const bool filled = validateUsername() && validatePassword();
    auto button = loginButton();
    button->setIsEnabled(filled);
    const uikit::CGFloat alpha = filled ? 1.0 : style_.alphaWhenDisabled;
    std::weak_ptr<ZuStateButton> weakButton = button;
    uikit::UIView::animate(0.25, [weakButton, alpha] {
        if (auto b = weakButton.lock()) b->setAlpha(alpha);
    });
}

// ---- Leaving ----------------------------------------------------------------------------------------------

void LoginViewController::forgetPassword() {
    auto field = passwordTextField();
    field->setText(std::string());
    field->setIsSecureTextEntry(true);
    updateLoginButtonState();
}

void LoginViewController::dismissPresentation(std::function<void()> completion) {
    // Asking the presenter dismisses everything above it, an alert over this screen included; asked
    // directly, a screen that presents an alert would only dismiss the alert.
    if (auto presenter = presentingViewController()) {
        presenter->dismiss(true, std::move(completion));
    } else {
        dismiss(true, std::move(completion));
    }
}

void LoginViewController::signInPresentationDidEnd() {
    forgetPassword();
}

}  // namespace lumora
