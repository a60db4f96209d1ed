#pragma once

#include <memory>

#include "controls/NavigationControlsView.h"
#include "controls/ZuPlayerControlsView.h"
#include "controls/ZuPlayerControlsViewDelegate.h"
#include "rx/Disposables.h"

namespace lumora {

class VideoControlsView;

// The delegate of the controls that the player screen shows: what `ZuPlayerControlsViewDelegate` asks, and
// the close button of the top bar. The controls recognise the player screen behind their delegate by this
// interface: a close tap reaches a delegate that adopts it and nobody else.
class VideoControlsViewDelegate : public ZuPlayerControlsViewDelegate {
  public:
    // The viewer tapped "Close". The player screen passes it on to its host; by default nothing happens.
    virtual void videoControlsViewDidPressCloseButton(VideoControlsView& view) { (void)view; }
};

// The controls view the player screen creates: the player controls with a navigation bar (44 points high,
// holding "Close") across the top, between the layout margins and below the safe area's top. Main thread only.
class VideoControlsView : public ZuPlayerControlsView {
  public:
    static std::shared_ptr<VideoControlsView> create(const std::shared_ptr<ZuPlayer>& player);

    const std::shared_ptr<NavigationControlsView>& navigationControls() const { return navigationControls_; }

  protected:
    explicit VideoControlsView(std::weak_ptr<ZuPlayer> player);

  private:
    void setUpNavigation();
    void closeButtonPressed();

    std::shared_ptr<NavigationControlsView> navigationControls_;
    rx::DisposeBag closeBag_;  // the close button's binding, for the view's whole life
};

}  // namespace lumora
