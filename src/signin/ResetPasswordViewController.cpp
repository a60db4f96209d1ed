#include "signin/ResetPasswordViewController.h"

#include "authentication/Auth0URLProtocol.h"
#include "foundation/URLSession.h"
#include "rx/Schedulers.h"
#include "signin/detail/SignInLayout.h"
#include "ui/KitColors.h"
#include "uikit/UINavigationController.h"
#include "uikit/UITextField.h"

namespace lumora {

using uikit::ConstraintMaker;
using State = uikit::UIControl::State;

ResetPasswordViewController::ResetPasswordViewController(SignInRequests requests) : SignInScreen(std::move(requests)) {}

ResetPasswordViewController::~ResetPasswordViewController() = default;

std::shared_ptr<ResetPasswordViewController> ResetPasswordViewController::create(SignInRequests requests) {
    return std::shared_ptr<ResetPasswordViewController>(new ResetPasswordViewController(std::move(requests)));
}

// ---- Views ------------------------------------------------------------------------------------------------

const std::shared_ptr<uikit::UIImageView>& ResetPasswordViewController::logoImageView() {
    if (!logoImageView_) {
        logoImageView_ = uikit::UIImageView::create(signin_detail::kitImage("logo"));
        logoImageView_->setContentMode(uikit::UIViewContentMode::scaleAspectFit);
    }
    return logoImageView_;
}

const std::shared_ptr<uikit::UILabel>& ResetPasswordViewController::welcomeLabel() {
    if (!welcomeLabel_) {
        welcomeLabel_ = uikit::UILabel::create();
        welcomeLabel_->setTextColor(uikit::UIColor::white());
        welcomeLabel_->setTextAlignment(uikit::NSTextAlignment::center);
        welcomeLabel_->setFont(fontOrSystem(style_.largeSemiboldFont, 26, uikit::UIFont::Weight::semibold));
        welcomeLabel_->setText("Forgot password?");
    }
    return welcomeLabel_;
}

const std::shared_ptr<UnderlineTextField>& ResetPasswordViewController::usernameTextField() {
    if (!usernameTextField_) {
        usernameTextField_ = UnderlineTextField::create();
        usernameTextField_->setReturnKeyType(uikit::UITextField::UIReturnKeyType::next);
        usernameTextField_->setKeyboardType(uikit::UITextField::UIKeyboardType::emailAddress);
        usernameTextField_->setTextContentType(uikit::UITextField::UITextContentType::emailAddress());
        usernameTextField_->applyPlaceholder("Email address");
    }
    return usernameTextField_;
}

const std::shared_ptr<ZuStateButton>& ResetPasswordViewController::continueButton() {
    if (!continueButton_) {
        continueButton_ = ZuStateButton::create(uikit::CGRect());
        lumora::apply(*continueButton_, style_.primaryButtonStyle);
        continueButton_->setTitleFor("Continue", State::normal());
    }
    return continueButton_;
}

const std::shared_ptr<uikit::UIButton>& ResetPasswordViewController::backToLoginButton() {
    if (!backToLoginButton_) {
        backToLoginButton_ = uikit::UIButton::create(uikit::UIButton::ButtonType::custom);
        backToLoginButton_->setTintColor(colors::ironStone());
        backToLoginButton_->titleLabel()->setFont(fontOrSystem(style_.lightFont, 16, uikit::UIFont::Weight::light));
        backToLoginButton_->setTitleFor("Sign into Ostra", State::normal());
    }
    return backToLoginButton_;
}

// ---- Layout -----------------------------------------------------------------------------------------------

void ResetPasswordViewController::loadView() {
    auto root = makeRootView();
    contentView_->setLayoutMargins(style_.contentViewLayoutMargins);

    root->addSubview(scrollView_);
    const uikit::UIEdgeInsets rootMargins = root->layoutMargins();
    scrollView_->snp().makeConstraints(
        [&](ConstraintMaker& make) { make.edges().equalToSuperview().inset(rootMargins); });

    const auto s = static_cast<uikit::CGFloat>(style_.scaleFactor);
    const uikit::UIEdgeInsets margins = contentView_->layoutMargins();
    auto content = contentView_;
    content->addSubview(logoImageView());
    content->addSubview(welcomeLabel());
    content->addSubview(usernameTextField());
    content->addSubview(continueButton());
    logoImageView_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.top().equalTo(content->snp().top()).offset(20 * s);
        make.centerX().equalTo(content);
        make.height().equalTo(style_.topImageHeight);
    });
    welcomeLabel_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(content->snp().leading()).offset(margins.left);
        make.trailing().equalTo(content->snp().trailing()).offset(-margins.right);
        make.top().equalTo(logoImageView_->snp().bottom()).offset(70 * s);
    });
    usernameTextField_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(content->snp().leading()).offset(margins.left);
        make.trailing().equalTo(content->snp().trailing()).offset(-margins.right);
        make.top().equalTo(welcomeLabel_->snp().bottom()).offset(60 * s);
    });
    continueButton_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(content->snp().leading()).offset(margins.left);
        make.trailing().equalTo(content->snp().trailing()).offset(-margins.right);
        make.top().equalTo(usernameTextField_->snp().bottom()).offset(30 * s);
        make.height().equalTo(50);
    });
    content->addSubview(backToLoginButton());
    backToLoginButton_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.top().greaterThanOrEqualTo(continueButton_->snp().bottom()).offset(20);
        make.leading().trailing().bottom().equalToSuperview().inset(margins);
    });

    placeContentColumn(root);
    setView(root);
}

// ---- Behaviour --------------------------------------------------------------------------------------------

void ResetPasswordViewController::viewDidLoad() {
    SignInScreen::viewDidLoad();
    // Registering again (another reset screen) does nothing: the registry keeps one per class.
    foundation::URLProtocolRegistry::shared()->registerClass<Auth0URLProtocol>();
    avoidKeyboard();
    bind();
}

void ResetPasswordViewController::bind() {
    std::weak_ptr<ResetPasswordViewController> weak =
        std::static_pointer_cast<ResetPasswordViewController>(sharedController());

    backToLoginButton()
        ->rx()
        .primaryAction()
        .subscribe([weak](const rx::Unit&) {
            auto self = weak.lock();
            if (!self) return;
            self->view()->endEditing(true);
            if (auto navigation = self->navigationController()) navigation->popViewController(true);
        })
        .disposed(disposeBag_);

    auto submissions = rx::Observable<rx::Unit>::merge(
        {usernameTextField()->rx().controlEvent(uikit::UIControl::Event::editingDidEndOnExit()),
         continueButton()->rx().primaryAction()});
    auto requests = requests_;
    submissions
        .map([weak](const rx::Unit&) -> std::optional<std::string> {
            auto self = weak.lock();
            if (!self) return std::nullopt;
            self->view()->endEditing(true);
            return self->validatedEmail();
        })
        .flatMapLatest([](const std::optional<std::string>& email) { return rx::Observable<std::string>::from(email); })
        .flatMapLatest([weak, requests](const std::string& email) {
            auto self = weak.lock();
            if (!self) return rx::Observable<rx::Event<rx::Void>>::empty();
            self->continueButton()->setLoading(true);
            return requests.resetPassword(email).materialize();
        })
        .filter([](const rx::Event<rx::Void>& event) { return !event.isCompleted(); })
        .observeOn(rx::MainScheduler::asyncInstance())
        .subscribe([weak](const rx::Event<rx::Void>& outcome) {
            if (auto self = weak.lock()) self->handleOutcome(outcome);
        })
        .disposed(disposeBag_);
}

std::optional<std::string> ResetPasswordViewController::validatedEmail() {
    auto text = usernameTextField()->text();
    if (text && !text->empty()) return text;
    signin_detail::presentOKAlert(*this, "Missing Field", "Please enter a valid username");
    return std::nullopt;
}

void ResetPasswordViewController::handleOutcome(const rx::Event<rx::Void>& outcome) {
    continueButton()->setLoading(false);
    if (outcome.isNext()) {
        presentAlert("Success", "Please follow instructions in your email to reset your password.", true);
    } else {
        presentAlert("Error", "There was an error resetting your password. Please try again.", false);
    }
}

void ResetPasswordViewController::presentAlert(const std::string& title, const std::string& message,
                                               bool popOnConfirm) {
    std::function<void()> onConfirm;
    if (popOnConfirm) {
        std::weak_ptr<ResetPasswordViewController> weak =
            std::static_pointer_cast<ResetPasswordViewController>(sharedController());
        onConfirm = [weak] {
            auto self = weak.lock();
            if (!self) return;
            self->view()->endEditing(true);
            if (auto navigation = self->navigationController()) navigation->popViewController(true);
        };
    }
    signin_detail::presentOKAlert(*this, title, message, std::move(onConfirm));
}

void ResetPasswordViewController::didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                                                 uikit::UIFocusAnimationCoordinator& coordinator) {
    SignInScreen::didUpdateFocus(context, coordinator);
    if (auto next = std::dynamic_pointer_cast<uikit::UITextField>(context.nextFocusedView())) {
        next->setTextColor(uikit::UIColor::black());
    }
    if (auto previous = std::dynamic_pointer_cast<uikit::UITextField>(context.previouslyFocusedView())) {
        previous->setTextColor(uikit::UIColor::white());
    }
}

}  // namespace lumora
