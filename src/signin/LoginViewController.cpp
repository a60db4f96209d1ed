#include "signin/LoginViewController.h"

#include "signin/detail/SignInLayout.h"
#include "ui/KitColors.h"

namespace lumora {

using uikit::ConstraintMaker;
using State = uikit::UIControl::State;

LoginViewController::LoginViewController(SignInRequests requests) : SignInScreen(std::move(requests)) {}

LoginViewController::~LoginViewController() = default;

std::shared_ptr<LoginViewController> LoginViewController::create(SignInRequests requests) {
    return std::shared_ptr<LoginViewController>(new LoginViewController(std::move(requests)));
}

std::shared_ptr<LoginViewController> LoginViewController::sharedLogin() const {
    return std::static_pointer_cast<LoginViewController>(sharedController());
}

// ---- Views ------------------------------------------------------------------------------------------------

const std::shared_ptr<uikit::UIButton>& LoginViewController::closeButton() {
    if (!closeButton_) {
        closeButton_ = uikit::UIButton::create(uikit::UIButton::ButtonType::custom);
        closeButton_->setImageFor(signin_detail::kitImage("IC135-Cross"), State::normal());
    }
    return closeButton_;
}

const std::shared_ptr<uikit::UILabel>& LoginViewController::welcomeLabel() {
    if (!welcomeLabel_) {
        welcomeLabel_ = uikit::UILabel::create();
        welcomeLabel_->setText("Welcome to");
        welcomeLabel_->setTextColor(uikit::UIColor::white());
        welcomeLabel_->setTextAlignment(uikit::NSTextAlignment::center);
        welcomeLabel_->setFont(fontOrSystem(style_.mediumRegularFont, 18, uikit::UIFont::Weight::regular));
    }
    return welcomeLabel_;
}

const std::shared_ptr<uikit::UIImageView>& LoginViewController::logoImageView() {
    if (!logoImageView_) {
        logoImageView_ = uikit::UIImageView::create(signin_detail::kitImage("logo"));
        logoImageView_->setContentMode(uikit::UIViewContentMode::scaleAspectFit);
    }
    return logoImageView_;
}

const std::shared_ptr<uikit::UILabel>& LoginViewController::loginLabel() {
    if (!loginLabel_) {
        loginLabel_ = uikit::UILabel::create();
        loginLabel_->setText("Please sign in");
        loginLabel_->setTextColor(uikit::UIColor::white());
        loginLabel_->setTextAlignment(uikit::NSTextAlignment::center);
        loginLabel_->setFont(fontOrSystem(style_.mediumSemiboldFont, 18, uikit::UIFont::Weight::semibold));
    }
    return loginLabel_;
}

const std::shared_ptr<UnderlineTextField>& LoginViewController::usernameTextField() {
    if (!usernameTextField_) {
        usernameTextField_ = UnderlineTextField::create(uikit::CGRect());
        usernameTextField_->setReturnKeyType(uikit::UITextField::UIReturnKeyType::next);
        usernameTextField_->setKeyboardType(uikit::UITextField::UIKeyboardType::emailAddress);
        usernameTextField_->setTextContentType(uikit::UITextField::UITextContentType::emailAddress());
        usernameTextField_->applyPlaceholder("Email Address");
    }
    return usernameTextField_;
}

const std::shared_ptr<UnderlineTextField>& LoginViewController::passwordTextField() {
    if (!passwordTextField_) {
        passwordTextField_ = UnderlineTextField::create(uikit::CGRect());
        passwordTextField_->setTextContentType(uikit::UITextField::UITextContentType::password());
        passwordTextField_->setReturnKeyType(uikit::UITextField::UIReturnKeyType::done);
        passwordTextField_->setIsSecureTextEntry(true);
        passwordTextField_->applyPlaceholder("Your password");
    }
    return passwordTextField_;
}

const std::shared_ptr<uikit::UIButton>& LoginViewController::forgotPasswordButton() {
    if (!forgotPasswordButton_) {
        forgotPasswordButton_ = uikit::UIButton::create(uikit::UIButton::ButtonType::custom);
        forgotPasswordButton_->setTintColor(colors::ironStone());
        forgotPasswordButton_->titleLabel()->setFont(fontOrSystem(style_.lightFont, 16, uikit::UIFont::Weight::light));
        forgotPasswordButton_->setTitleFor("Forgot password?", State::normal());
    }
    return forgotPasswordButton_;
}

const std::shared_ptr<ZuStateButton>& LoginViewController::loginButton() {
    if (!loginButton_) {
        loginButton_ = ZuStateButton::create(uikit::CGRect());
        loginButton_->setIsEnabled(false);
        loginButton_->setAlpha(style_.alphaWhenDisabled);
        lumora::apply(*loginButton_, style_.primaryButtonStyle);
    }
    return loginButton_;
}

const std::shared_ptr<uikit::UIStackView>& LoginViewController::loginStackView() {
    if (!loginStackView_) {
        loginStackView_ = uikit::UIStackView::create({loginLabel(), usernameTextField(), passwordTextField()});
        loginStackView_->setAxis(uikit::UILayoutConstraintAxis::vertical);
        loginStackView_->setSpacing(20);
    }
    return loginStackView_;
}

// ---- Layout -----------------------------------------------------------------------------------------------

void LoginViewController::loadView() {
    auto root = makeRootView();

    auto background = uikit::UIImageView::create(signin_detail::kitImage("loginBG"));
    background->setContentMode(uikit::UIViewContentMode::scaleAspectFill);
    root->addSubview(background);
    background->snp().makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview(); });

    root->addSubview(scrollView_);
    scrollView_->snp().makeConstraints(
        [&](ConstraintMaker& make) { make.edges().equalTo(root->layoutMarginsGuide()); });

    contentView_->setLayoutMargins(uikit::UIEdgeInsets{0, 28, 20, 28});
    auto content = contentView_;
    content->addSubview(welcomeLabel());
    content->addSubview(logoImageView());
    content->addSubview(loginStackView());
    content->addSubview(forgotPasswordButton());
    content->addSubview(loginButton());
    root->addSubview(closeButton());

    const uikit::UIEdgeInsets margins = content->layoutMargins();
    const auto s = static_cast<uikit::CGFloat>(style_.scaleFactor);
    welcomeLabel_->snp().makeConstraints(
        [&](ConstraintMaker& make) { make.leading().trailing().top().equalToSuperview().inset(margins); });
    logoImageView_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.top().equalTo(welcomeLabel_->snp().bottom()).offset(20 * s);
        make.centerX().equalToSuperview();
        make.height().equalTo(65);
        make.width().equalTo(122);
    });
    loginStackView_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().trailing().equalToSuperview().inset(margins);
        make.top().equalTo(logoImageView_->snp().bottom()).offset(45 * s);
    });
    loginButton_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().trailing().equalToSuperview().inset(margins);
        make.top().equalTo(loginStackView_->snp().bottom()).offset(30 * s);
        make.height().equalTo(50);
    });
    forgotPasswordButton_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().trailing().bottom().equalToSuperview().inset(margins);
        make.top().greaterThanOrEqualTo(loginButton_->snp().bottom()).offset(20);
    });

    placeContentColumn(root);

    closeButton_->snp().makeConstraints([&](ConstraintMaker& make) {
        make.top().equalTo(root->snp().top()).offset(28);
        make.right().equalTo(root->snp().right()).offset(-20);
        make.width().height().equalTo(40);
    });
    setView(root);
}

}  // namespace lumora
