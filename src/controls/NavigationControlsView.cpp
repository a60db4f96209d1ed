#include "controls/NavigationControlsView.h"

#include "uikit/ConstraintMaker.h"
#include "uikit/UIColor.h"

namespace lumora {

std::shared_ptr<NavigationControlsView> NavigationControlsView::create(const uikit::CGRect& frame) {
    std::shared_ptr<NavigationControlsView> view(new NavigationControlsView(frame));
    view->setUp();
    return view;
}

NavigationControlsView::NavigationControlsView(const uikit::CGRect& frame)
    : UIView(frame), closeButton_(uikit::UIButton::create(uikit::UIButton::ButtonType::custom)) {}

void NavigationControlsView::setUp() {
    setBackgroundColor(uikit::UIColor::clear());
    addSubview(closeButton_);
    closeButton_->setTintColor(uikit::UIColor::white());
    closeButton_->setTitleFor("Close", uikit::UIControl::State::normal());
    closeButton_->snp().makeConstraints(
        [](uikit::ConstraintMaker& make) { make.trailing().top().bottom().equalToSuperview(); });
}

}  // namespace lumora
