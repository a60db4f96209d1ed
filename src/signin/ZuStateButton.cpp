#include "signin/ZuStateButton.h"

#include "uikit/UIDevice.h"
#include "uikit/UIFocus.h"

namespace lumora {

using uikit::CGRect;
using State = uikit::UIControl::State;

ZuStateButton::ZuStateButton(const CGRect& frame) : uikit::UIButton(ButtonType::custom, frame) {}

ZuStateButton::~ZuStateButton() = default;

void ZuStateButton::setStates(std::vector<ZuButtonState> states) {
    states_ = std::move(states);
}

std::shared_ptr<ZuStateButton> ZuStateButton::create(const CGRect& frame) {
    auto button = std::shared_ptr<ZuStateButton>(new ZuStateButton(frame));
    // As tight as possible around its title, but never against edges its owner requires: both sign-in
    // screens pin the button to their margins, which a required hugging priority would contradict.
    button->setContentHuggingPriorityFor(999, uikit::UILayoutConstraintAxis::horizontal);
    button->activityIndicator_ = uikit::UIActivityIndicatorView::create(uikit::UIActivityIndicatorView::Style::medium);
    button->activityIndicator_->setColor(uikit::UIColor::white());
    button->activityIndicator_->setHidesWhenStopped(true);
    button->addSubview(button->activityIndicator_);
    return button;
}

const std::shared_ptr<uikit::UIImageView>& ZuStateButton::tickIndicatorImageView() {
    if (!tickIndicatorImageView_)
        tickIndicatorImageView_ = uikit::UIImageView::create(uikit::UIImage::named("Tick_BA03"));
    return tickIndicatorImageView_;
}

void ZuStateButton::setAtomButtonType(AtomButtonType type) {
    atomButtonType_ = type;
    setNeedsLayout();
}

const ZuButtonState* ZuStateButton::entry(State state) const {
    for (const auto& candidate : states_) {
        if (candidate.buttonState == state) return &candidate;
    }
    return nullptr;
}

void ZuStateButton::applyEntry(State state) {
    if (const ZuButtonState* found = entry(state)) found->buttonStyle.apply(*this);
}

void ZuStateButton::updateAppearance() {
    if (isHighlighted()) {
        applyEntry(State::highlighted());
        return;
    }
    if (isSelected()) {
        applyEntry(State::selected());
    } else {
        applyEntry(isFocused() ? State::focused() : State::normal());
    }
    tickIndicatorImageView()->setIsHidden(!isSelected());
}

void ZuStateButton::setLoading(bool loading) {
    if (loading == isLoading_) return;
    isLoading_ = loading;
    if (loading) {
        originalTitleText_ = titleLabel() ? titleLabel()->text() : std::nullopt;
        setTitleFor(std::string(), State::normal());
        const CGRect b = bounds();
        activityIndicator_->setCenter({b.midX(), b.midY()});
        activityIndicator_->startAnimating();
    } else {
        activityIndicator_->stopAnimating();
        setTitleFor(originalTitleText_, State::normal());
    }
}

void ZuStateButton::setIsHighlighted(bool highlighted) {
    uikit::UIButton::setIsHighlighted(highlighted);
    updateAppearance();
}

void ZuStateButton::setIsSelected(bool selected) {
    uikit::UIButton::setIsSelected(selected);
    updateAppearance();
}

void ZuStateButton::didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                                   uikit::UIFocusAnimationCoordinator& coordinator) {
    uikit::UIButton::didUpdateFocus(context, coordinator);
    auto self = sharedAs<ZuStateButton>();
    const bool leaving = context.previouslyFocusedView() == self;
    const bool arriving = context.nextFocusedView() == self;
    if (!leaving && !arriving) return;
    std::weak_ptr<ZuStateButton> weak = self;
    if (leaving) {
        coordinator.addCoordinatedAnimations([weak] {
            auto button = weak.lock();
            if (!button) return;
            button->setTransform(uikit::CGAffineTransform::identity());
            button->applyEntry(button->isSelected() ? State::selected() : State::normal());
        });
        return;
    }
    coordinator.addCoordinatedAnimations([weak] {
        auto button = weak.lock();
        if (!button) return;
        button->setTransform(uikit::CGAffineTransform::makeScale(1.01, 1.01));
        button->applyEntry(State::focused());
    });
}

CGRect ZuStateButton::imageRect(const CGRect& forContentRect) const {
    const CGRect r = uikit::UIButton::imageRect(forContentRect);
    switch (atomButtonType_) {
        case AtomButtonType::setting:
            if (uikit::UIDevice::current().userInterfaceIdiom() == uikit::UIUserInterfaceIdiom::phone)
                return CGRect(15, 19, 23, 23);
            return r;
        case AtomButtonType::favTeam:
            return CGRect((bounds().width() - r.width()) * 0.5, 12, r.width(), r.height());
        default:
            return r;
    }
}

CGRect ZuStateButton::titleRect(const CGRect& forContentRect) const {
    const CGRect r = uikit::UIButton::titleRect(forContentRect);
    if (atomButtonType_ != AtomButtonType::favTeam) return r;
    return CGRect(0, imageRect(forContentRect).maxY() + 12, bounds().width(), r.height());
}

void ZuStateButton::layoutSubviews() {
    uikit::UIButton::layoutSubviews();
    if (!isLoading_ || !activityIndicator_) return;
    const uikit::CGRect b = bounds();
    activityIndicator_->setCenter({b.midX(), b.midY()});
}

}  // namespace lumora
