#pragma once

#include <memory>
#include <optional>

#include "ui/ZuPlayerControlsDisplayDensity.h"
#include "ui/ZuView.h"

namespace lumora::detail {

// What the player's controls and the ad controls share as overlays of the video: the dimming drawn over
// the picture, layout margins that follow the metrics' safe-area rule and the display density, and where
// the play / pause row sits.
class ControlsOverlayView : public ZuView {
  public:
    // Dims the video: 40 % black over the bounds.
    void draw(const uikit::CGRect& rect) override;
    void didMoveToSuperview() override;
    // Follows the new traits: the safe-area rule of the margins and the play / pause row's place.
    void traitCollectionDidChange(const std::optional<uikit::UITraitCollection>& previous) override;

  protected:
    explicit ControlsOverlayView(const uikit::CGRect& frame) : ZuView(frame) {}

    // The layout margins of `density`: top and bottom alike, left and right alike.
    void applyMargins(ZuPlayerControlsDisplayDensity density);
    // Centres `playback` in the layout margins, raised to 0.8 of the centre on phones in portrait.
    void constrainPlaybackRow(const std::shared_ptr<uikit::UIView>& playback);

  private:
    void updateInsetsFromSafeArea();
};

}  // namespace lumora::detail
