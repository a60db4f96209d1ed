#pragma once

#include <memory>
#include <optional>
#include <set>

#include "combine/Combine.h"
#include "controls/ZuFunctionalControlsView.h"
#include "controls/ZuPlaybackControlsView.h"
#include "controls/detail/ControlsOverlayView.h"
#include "playback/AdModels.h"
#include "rx/Disposables.h"
#include "ui/ZuPlayerControlsDisplayDensity.h"

namespace lumora {

class ZuPlayer;
class ZuAdControlsView;

// Chooses the ad controls' density (their margins). Held weakly.
class ZuAdControlsViewDelegate {
  public:
    virtual ~ZuAdControlsViewDelegate() = default;
    virtual ZuPlayerControlsDisplayDensity adControlsDisplayDensity(ZuAdControlsView& view) = 0;
};

// The reduced controls for the time an ad plays, for a host to lay over the player: a 40 % black backdrop,
// the play / pause button in the middle, and at the bottom the ad's title with the time left in it ("Ad 1 of 2
// · 00:12") and the full-screen button. No scrubbing, jumps, key moments or up next.
//
// It follows the ads of its player's stream by itself: made with the player, it stays hidden until an ad
// starts, shows itself for the ads of a break (the title and countdown of each in turn) and hides again when
// the break is over — and whenever the playhead is in no ad, such as after the host replaced the ad groups
// under a shown ad. Made while an ad plays, it picks that ad up. The host places it over the player once.
//
// Play / pause drives the player directly and tells the player's delegate; the full-screen button only tells
// the player's delegate (the flag is the host's to set). While in a view hierarchy the rows follow the player's
// rate, full-screen flag and playhead. The player and the delegate are held weakly. Main thread only.
class ZuAdControlsView : public detail::ControlsOverlayView,
                         public ZuPlaybackControlsViewDelegate,
                         public ZuFunctionalControlsViewDelegate {
  public:
    static std::shared_ptr<ZuAdControlsView> create(const std::shared_ptr<ZuPlayer>& player);
    ~ZuAdControlsView() override;

    std::shared_ptr<ZuAdControlsViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuAdControlsViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // The live metrics' default until the delegate is asked; it sets the layout margins.
    ZuPlayerControlsDisplayDensity displayDensity() const { return displayDensity_; }
    // Asks the delegate for the density (the live metrics' default without one) and applies its margins.
    void setNeedsUpdateDisplayDensity();

    const std::shared_ptr<ZuPlaybackControlsView>& playbacks() const { return playbacks_; }
    const std::shared_ptr<ZuFunctionalControlsView>& functionals() const { return functionals_; }
    std::shared_ptr<ZuPlayer> player() const { return player_.lock(); }

    // The ad being shown, if any.
    const std::optional<AdDisplayInfo>& currentAd() const { return currentAd_; }

    // ---- Row delegates ----
    // Pauses a playing player (without force) or plays a paused one (unmuted), then tells the player's
    // delegate. Nothing without a player.
    void playbackControlsViewWillTogglePlayback(ZuPlaybackControlsView& view) override;
    // Tells the player's delegate; the proposed flag is not applied.
    void functionalControlsViewWillChangeFullScreen(ZuFunctionalControlsView& view, bool fullScreen) override;

    // ---- UIView ----
    // With a superview: puts the rows in (play / pause alone; the time label and full screen), binds them to
    // the player (ending earlier bindings first). With none: ends the bindings.
    void willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) override;
    void updateConstraints() override;

  protected:
    explicit ZuAdControlsView(std::weak_ptr<ZuPlayer> player);

  private:
    void setUp();
    void bind();
    void adDidStart(const AdDisplayInfo& ad);
    void adDidFinish(bool hasAdCompleted);
    // Whether the player's playhead lies inside one of its ads.
    bool isPlayheadInAd() const;
    // Shown while an ad is signalled and the playhead is inside an ad; hidden otherwise.
    void updateVisibility();
    // The title of the ad and the whole seconds left in it, on the time label.
    void updateAdLabel();

    std::weak_ptr<ZuAdControlsViewDelegate> delegate_;
    ZuPlayerControlsDisplayDensity displayDensity_;
    std::shared_ptr<ZuPlaybackControlsView> playbacks_;
    std::shared_ptr<ZuFunctionalControlsView> functionals_;
    std::weak_ptr<ZuPlayer> player_;
    rx::DisposeBag disposeBag_;  // the rows' bindings while in a hierarchy
    std::optional<AdDisplayInfo> currentAd_;
    std::set<combine::AnyCancellable> adEvents_;  // the player's ad events, for the view's whole life
};

}  // namespace lumora
