#include "signin/UnderlineTextField.h"

#include <algorithm>

#include "signin/detail/SignInLayout.h"
#include "uikit/NSAttributedString.h"
#include "uikit/UIGraphics.h"

namespace lumora {

using uikit::CGFloat;
using uikit::CGRect;

UnderlineTextField::UnderlineTextField(const CGRect& frame) : uikit::UITextField(frame) {}

std::shared_ptr<UnderlineTextField> UnderlineTextField::create(const CGRect& frame) {
    auto field = std::shared_ptr<UnderlineTextField>(new UnderlineTextField(frame));
    field->setTintColor(uikit::UIColor::white());
    field->setTextColor(uikit::UIColor::white());
    field->setAutocorrectionType(UITextAutocorrectionType::no);
    field->setAutocapitalizationType(UITextAutocapitalizationType::none);

    field->tickView_ = uikit::UIImageView::create(signin_detail::kitImage("ic31Tick"));
    field->secureEntryToggleButton_ = uikit::UIButton::create(uikit::UIButton::ButtonType::custom);
    field->secureEntryToggleButton_->addTargetAction(field, &UnderlineTextField::toggleSecureEntry,
                                                     uikit::UIControl::Event::touchDown());
    field->accessoryView_ = uikit::UIStackView::create({field->secureEntryToggleButton_, field->tickView_});
    field->accessoryView_->setAxis(uikit::UILayoutConstraintAxis::horizontal);
    field->accessoryView_->setSpacing(10);
    field->accessoryView_->setAlignment(uikit::UIStackView::Alignment::center);
    field->tickView_->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.height().equalTo(17); });
    field->tickView_->setIsHidden(true);
    field->secureEntryToggleButton_->setIsHidden(true);

    field->addSubview(field->accessoryView_);
    field->accessoryView_->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.trailing().equalTo(field->snp().trailing());
        make.centerY().equalTo(field->snp().centerY());
    });
    return field;
}

void UnderlineTextField::setIsValid(bool valid) {
    isValid_ = valid;
    tickView_->setIsHidden(!valid);
}

void UnderlineTextField::applyPlaceholder(const std::string& text) {
    const uikit::UIColor grey(90 / 255.0, 96 / 255.0, 108 / 255.0, 1.0);
    setAttributedPlaceholder(
        uikit::NSAttributedString(text, {{uikit::NSAttributedStringKey::font, uikit::UIFont::systemFont(16)},
                                         {uikit::NSAttributedStringKey::foregroundColor, grey}}));
}

void UnderlineTextField::setIsSecureTextEntry(bool secure) {
    uikit::UITextField::setIsSecureTextEntry(secure);
    // The field is being made: the toggle does not exist yet and is hidden once it does.
    if (secureEntryToggleButton_) updateToggleButton();
}

void UnderlineTextField::updateToggleButton() {
    if (isSecureTextEntry()) {
        wasSecureTextEntry_ = true;
        secureEntryToggleButton_->setIsHidden(false);
        secureEntryToggleButton_->setTitleFor("Show", uikit::UIControl::State::normal());
    } else if (wasSecureTextEntry_) {
        secureEntryToggleButton_->setTitleFor("Hide", uikit::UIControl::State::normal());
    } else {
        secureEntryToggleButton_->setIsHidden(true);
    }
}

void UnderlineTextField::toggleSecureEntry() {
    setIsSecureTextEntry(!isSecureTextEntry());
}

namespace {

// The bounds less the vertical inset; a field shorter than both insets has an empty rectangle at its middle
// rather than a negative height.
CGRect insetRect(const CGRect& bounds, CGFloat inset) {
    const CGRect b = bounds.standardized();
    const CGFloat height = std::max<CGFloat>(0, b.height() - 2 * inset);
    const CGFloat y = height > 0 ? b.minY() + inset : b.midY();
    return CGRect(b.minX(), y, std::max<CGFloat>(0, b.width()), height);
}

}  // namespace

CGRect UnderlineTextField::placeholderRect(const CGRect& forBounds) const {
    return insetRect(forBounds, verticalInset);
}

CGRect UnderlineTextField::textRect(const CGRect& forBounds) const {
    return insetRect(forBounds, verticalInset);
}

CGRect UnderlineTextField::editingRect(const CGRect& forBounds) const {
    return insetRect(forBounds, verticalInset);
}

uikit::CGSize UnderlineTextField::intrinsicContentSize() const {
    uikit::CGSize size = uikit::UITextField::intrinsicContentSize();
    size.height += 2 * verticalInset;
    return size;
}

void UnderlineTextField::draw(const CGRect& rect) {
    uikit::UITextField::draw(rect);
    auto context = uikit::UIGraphicsGetCurrentContext();
    if (!context) return;
    const CGRect b = bounds();
    context->setStrokeColor(uikit::UIColor::white().cgColor());
    context->setLineWidth(1.0);
    context->move({0, b.height()});
    context->addLine({b.width(), b.height()});
    context->strokePath();
}

bool UnderlineTextField::becomeFirstResponder() {
    const bool became = uikit::UITextField::becomeFirstResponder();
    if (became) bringSubviewToFront(accessoryView_);
    return became;
}

}  // namespace lumora
