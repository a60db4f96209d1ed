#include "ui/ZuViewController.h"

namespace lumora {

ZuViewController::ZuViewController() : backgroundImageView_(uikit::UIImageView::create(uikit::CGRect())) {}

std::shared_ptr<ZuViewController> ZuViewController::create() {
    return std::shared_ptr<ZuViewController>(new ZuViewController());
}

void ZuViewController::setBackgroundImage(std::shared_ptr<uikit::UIImage> image) {
    backgroundImage_ = std::move(image);
    if (backgroundImage_) {
        backgroundImageView_->setImage(backgroundImage_);
        view()->insertSubviewAt(backgroundImageView_, 0);
    } else {
        backgroundImageView_->removeFromSuperview();
    }
}

uikit::UIStatusBarStyle ZuViewController::preferredStatusBarStyle() const {
    return uikit::UIStatusBarStyle::lightContent;
}

bool ZuViewController::isRegularBothWays() const {
    const uikit::UITraitCollection traits = traitCollection();
    return traits.horizontalSizeClass == uikit::UIUserInterfaceSizeClass::regular &&
           traits.verticalSizeClass == uikit::UIUserInterfaceSizeClass::regular;
}

bool ZuViewController::shouldAutorotate() const {
    return isRegularBothWays();
}

uikit::UIInterfaceOrientationMask ZuViewController::supportedInterfaceOrientations() const {
    return isRegularBothWays() ? uikit::UIInterfaceOrientationMask::all()
                               : uikit::UIInterfaceOrientationMask::portrait();
}

void ZuViewController::viewDidLayoutSubviews() {
    uikit::UIViewController::viewDidLayoutSubviews();
    if (backgroundImageView_->superview()) {
        if (auto view = viewIfLoaded()) backgroundImageView_->setFrame(view->bounds());
    }
}

}  // namespace lumora
