#include "signin/LoginStyleManager.h"

#include "ui/KitColors.h"

namespace lumora {

namespace {

LoginStyleManager makeStandard() {
    using uikit::UIFont;
    ZuViewStyle<ZuStateButton> primaryButtonStyle{[](ZuStateButton& button) {
        button.setTintColor(uikit::UIColor::white());
        button.setTitleColorFor(uikit::UIColor::white(), uikit::UIControl::State::normal());
        button.setBackgroundColor(uikit::UIColor::clear());
        button.layer()->setCornerRadius(3);
        button.layer()->setBorderColor(colors::primary().cgColor());
        button.layer()->setBorderWidth(2);
        if (const auto& label = button.titleLabel()) {
            label->setFont(fontOrSystem(LoginStyleManager::standard().regularFont, 16, UIFont::Weight::regular));
        }
        button.setTitleFor("Login", uikit::UIControl::State::normal());
    }};
    return LoginStyleManager{
        .alphaWhenDisabled = 0.35,
        .scaleFactor = 1,
        .lightFont = UIFont::named("Gibson-Light", 16),
        .regularFont = UIFont::named("Gibson-Regular", 16),
        .semiboldFont = UIFont::named("Gibson-SemiBold", 16),
        .mediumRegularFont = UIFont::named("Gibson-Regular", 18),
        .mediumSemiboldFont = UIFont::named("Gibson-SemiBold", 18),
        .largeSemiboldFont = UIFont::named("Gibson-SemiBold", 26),
        .largeRegularFont = UIFont::named("Gibson-Regular", 26),
        .fieldTitleLabelColor = uikit::UIColor(170 / 255.0, 175 / 255.0, 184 / 255.0, 1.0),
        .contentViewLayoutMargins = uikit::UIEdgeInsets{0, 28, 20, 28},
        .topImageHeight = 43,
        .primaryButtonStyle = std::move(primaryButtonStyle),
    };
}

}  // namespace

const LoginStyleManager& LoginStyleManager::standard() {
    static const LoginStyleManager value = makeStandard();
    return value;
}

uikit::UIFont fontOrSystem(const std::optional<uikit::UIFont>& font, uikit::CGFloat size,
                           uikit::UIFont::Weight weight) {
    return font ? *font : uikit::UIFont::systemFont(size, weight);
}

}  // namespace lumora
