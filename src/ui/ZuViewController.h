#pragma once

#include <memory>

#include "uikit/UIImage.h"
#include "uikit/UIImageView.h"
#include "uikit/UIViewController.h"

namespace lumora {

// The kit's base screen: an optional full-screen background image behind everything else, a light status
// bar, and the rotation policy of the kit's screens (every orientation on tablet-sized windows, portrait
// only elsewhere). Main thread only.
class ZuViewController : public uikit::UIViewController {
  public:
    static std::shared_ptr<ZuViewController> create();

    // An image goes into the background image view, which is put behind every other subview of the view
    // (loading the view when it is not loaded yet); none takes the image view out of the view.
    std::shared_ptr<uikit::UIImage> backgroundImage() const { return backgroundImage_; }
    void setBackgroundImage(std::shared_ptr<uikit::UIImage> image);

    // Light content.
    uikit::UIStatusBarStyle preferredStatusBarStyle() const override;
    // True only when both size classes are regular.
    bool shouldAutorotate() const override;
    // All four orientations when both size classes are regular, portrait otherwise.
    uikit::UIInterfaceOrientationMask supportedInterfaceOrientations() const override;
    // Keeps the background image view the size of the view.
    void viewDidLayoutSubviews() override;

  protected:
    ZuViewController();

    // The view that shows `backgroundImage` (owned; in the view tree only while an image is set).
    const std::shared_ptr<uikit::UIImageView>& backgroundImageView() const { return backgroundImageView_; }

  private:
    bool isRegularBothWays() const;

    std::shared_ptr<uikit::UIImage> backgroundImage_;
    std::shared_ptr<uikit::UIImageView> backgroundImageView_;
};

}  // namespace lumora
