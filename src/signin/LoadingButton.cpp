#include "signin/LoadingButton.h"

namespace lumora {

LoadingButton::LoadingButton(const uikit::CGRect& frame) : uikit::UIButton(ButtonType::custom, frame) {}

std::shared_ptr<LoadingButton> LoadingButton::create(const uikit::CGRect& frame) {
    auto button = std::shared_ptr<LoadingButton>(new LoadingButton(frame));
    button->layer()->setCornerRadius(4);
    return button;
}

const std::shared_ptr<uikit::UIActivityIndicatorView>& LoadingButton::activityIndicator() {
    if (!activityIndicator_) {
        activityIndicator_ = uikit::UIActivityIndicatorView::create(uikit::UIActivityIndicatorView::Style::medium);
        activityIndicator_->setColor(uikit::UIColor::white());
        activityIndicator_->setHidesWhenStopped(true);
        addSubview(activityIndicator_);
    }
    return activityIndicator_;
}

void LoadingButton::setLoading(bool loading) {
    if (loading == isLoading_) return;
    isLoading_ = loading;
    auto& indicator = activityIndicator();
    if (loading) {
        originalTitleText_ = titleLabel() ? titleLabel()->text() : std::nullopt;
        setTitleFor(std::string(), State::normal());
        const uikit::CGRect b = bounds();
        indicator->setCenter({b.midX(), b.midY()});
        indicator->startAnimating();
    } else {
        indicator->stopAnimating();
        setTitleFor(originalTitleText_, State::normal());
    }
}

void LoadingButton::layoutSubviews() {
    uikit::UIButton::layoutSubviews();
    if (!isLoading_ || !activityIndicator_) return;
    const uikit::CGRect b = bounds();
    activityIndicator_->setCenter({b.midX(), b.midY()});
}

}  // namespace lumora
