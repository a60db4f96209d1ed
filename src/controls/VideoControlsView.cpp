#include "controls/VideoControlsView.h"

#include "uikit/ConstraintMaker.h"

namespace lumora {

std::shared_ptr<VideoControlsView> VideoControlsView::create(const std::shared_ptr<ZuPlayer>& player) {
    std::shared_ptr<VideoControlsView> view(new VideoControlsView(player));
    view->setUp();
    view->setUpNavigation();
    return view;
}

VideoControlsView::VideoControlsView(std::weak_ptr<ZuPlayer> player)
    : ZuPlayerControlsView(std::move(player)), navigationControls_(NavigationControlsView::create()) {}

void VideoControlsView::setUpNavigation() {
    addSubview(navigationControls_);
    auto margins = layoutMarginsGuide();
    auto safeArea = safeAreaLayoutGuide();
    navigationControls_->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.leading().trailing().equalTo(margins);
        make.top().equalTo(safeArea);
        make.height().equalTo(44);
    });
    std::weak_ptr<VideoControlsView> weak = sharedAs<VideoControlsView>();
    navigationControls_->closeButton()
        ->rx()
        .tap()
        .subscribe([weak](const rx::Unit&) {
            if (auto self = weak.lock()) self->closeButtonPressed();
        })
        .disposed(closeBag_);
}

void VideoControlsView::closeButtonPressed() {
    auto screen = std::dynamic_pointer_cast<VideoControlsViewDelegate>(delegate());
    if (screen) screen->videoControlsViewDidPressCloseButton(*this);
}

}  // namespace lumora
