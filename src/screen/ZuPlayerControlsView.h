#pragma once

#include <memory>
#include <optional>

#include "casting/CastModel.h"
#include "coregraphics/CGGeometry.h"
#include "keymoments/BIF.h"
#include "rx/Disposables.h"
#include "screen/KeyMomentsState.h"
#include "screen/ZuPlaybackControlsView.h"
#include "screen/ZuPlayerControlsViewDelegate.h"
#include "screen/foundations/ZuPlayerControlsDisplayDensity.h"
#include "uikit/UIView.h"

namespace lumora {

class ZuPlayer;
class CastManagerInterface;

// The overlay that lies over the video and carries the control rows: the playback row (rewind, play / pause,
// fast-forward) in the middle, and at the bottom the functional row (speed, live, time, full screen …) and the
// slider row (the seek bar with its key moments and scrubbing thumbnail). Which rows are present and how they
// stack follows the display density its delegate chooses.
//
// It turns the rows' proposals into operations on its player — or, while the player's cast manager can control
// the cast player, on the Chromecast plug-in — and tells its delegate what the viewer did. While it is in a
// view hierarchy it keeps the rows in step with the player's published state (time, duration, live edge,
// loaded ranges, rate, full screen) and with the cast player; leaving the hierarchy ends every binding, and
// entering one binds afresh to the player and cast manager of that moment.
//
// The player and the delegate are held weakly. Main thread only.
class ZuPlayerControlsView : public uikit::UIView, public ZuPlaybackControlsViewDelegate {
  public:
    // The only way to make one: controls for `player` (held weakly), not yet in a view hierarchy.
    static std::shared_ptr<ZuPlayerControlsView> create(const std::shared_ptr<ZuPlayer>& player);
    ~ZuPlayerControlsView() override;

    std::shared_ptr<ZuPlayerControlsViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuPlayerControlsViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // The density the controls are laid out for: the live metrics' default until the delegate is asked.
    ZuPlayerControlsDisplayDensity displayDensity() const { return displayDensity_; }
    // True while the viewer holds the seek slider's thumb.
    bool isUserInteractingWithSlider() const;

    std::shared_ptr<ZuPlayer> player() const { return player_.lock(); }

    // Asks the delegate for the density (the live metrics' default without one), sets the margins for it,
    // adds the rows it shows (each only once, with this view as its delegate), removes those it does not, and
    // asks for the constraints to be made again.
    void setNeedsUpdateDisplayDensity();

    // Hands the delegate's key moments to the slider row's strip, spanning the slider's range; the strip is
    // hidden when there are none. Nothing without a delegate.
    void updateKeyMoments();
    // The stream's scrubbing thumbnails for the slider row; nothing removes them.
    void setThumbnails(std::optional<BIF> bif);
    // Shows `state`'s image on the functional row's key-moments button.
    void updateKeyMomentButtonState(KeyMomentsState state);
    // Hides or shows the functional row's up-next button and its divider.
    void setUpNextButtonHidden(bool hidden);
    // Accepted and ignored: the controls show no verbose view.
    void setVerbose(const std::shared_ptr<uikit::UIView>& view);

    // The rows, made on first use (the playback and functional rows when the view is made). A row is this
    // view's subview only while the density shows it.
    const std::shared_ptr<ZuPlaybackControlsView>& playbacks();

    // ---- ZuPlaybackControlsViewDelegate ----
    // Toggles playback of the cast player or the local one, then tells the delegate whether it now plays.
    void playbackControlsViewWillTogglePlayback(ZuPlaybackControlsView& view) override;
    // Jumps by `seconds` of content time from the pending seek's target (or the playhead), kept within the
    // stream; then tells the delegate.
    void playbackControlsViewWillJump(ZuPlaybackControlsView& view, double seconds) override;

    // ---- UIView ----
    // Dims the video: 40 % black over the bounds.
    void draw(const uikit::CGRect& rect) override;
    void didMoveToSuperview() override;
    void traitCollectionDidChange(const std::optional<uikit::UITraitCollection>& previous) override;
    // Entering a superview lays the rows out for the density and binds them to the player; leaving it ends
    // the bindings.
    void willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) override;
    void updateConstraints() override;

  protected:
    explicit ZuPlayerControlsView(std::weak_ptr<ZuPlayer> player);
    // Set-up that needs the shared pointer (row delegates, tints). Subclasses call it from their `create`.
    void setUp();

    // The seek shared by the slider, key moments, jumps and the live button: tells the delegate, then seeks
    // the cast player (absolute, resume state unchanged) or the local player (stream time, reported to the
    // player's delegate). `completion` gets whether the seek finished (true at once for the cast player).
    void seek(double seconds, std::function<void(bool)> completion = nullptr);

  private:
    // The Chromecast plug-in while the player's cast manager can control the cast player; none otherwise.
    std::shared_ptr<CastManagerInterface> controllableCastPlugin() const;
    // The current cast stream while the cast player can be controlled.
    std::optional<CastStream> currentCastStream() const;
    bool hasSubview(const std::shared_ptr<uikit::UIView>& view) const;
    void applyMargins();
    void updateInsetsFromSafeArea();

    std::weak_ptr<ZuPlayerControlsViewDelegate> delegate_;
    ZuPlayerControlsDisplayDensity displayDensity_;
    std::shared_ptr<ZuPlaybackControlsView> playbacks_;
    std::weak_ptr<ZuPlayer> player_;
    rx::DisposeBag disposeBag_;  // the bindings to the player; replaced on every entry into a hierarchy
};

}  // namespace lumora
