#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "casting/CastModel.h"
#include "controls/KeyMomentsState.h"
#include "controls/ZuFunctionalControlsView.h"
#include "controls/ZuPlaybackControlsView.h"
#include "controls/ZuPlayerControlsViewDelegate.h"
#include "controls/ZuSliderControlsView.h"
#include "controls/detail/ControlsOverlayView.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentEvent.h"
#include "rx/Disposables.h"
#include "ui/ZuPlayerControlsDisplayDensity.h"

namespace lumora {

class ZuPlayer;
class CastManager;
class CastManagerInterface;

// The overlay that lies over the video and carries the control rows: the playback row (rewind, play / pause,
// fast-forward) in the middle, and at the bottom the functional row (speed, live, time, full screen …) and the
// slider row (the seek bar with its key moments and scrubbing thumbnail). Which rows are present and how they
// stack follows the display density its delegate chooses:
//
//   densities 0–3, 9–11   slider row above the functional row, at the bottom
//   densities 4–6         functional row above the slider row, at the bottom
//   densities 7, 8        the playback row alone
//
// It turns the rows' proposals into operations on its player — or, while the player's cast manager can control
// the cast player, on the Chromecast plug-in — and tells its delegate what the viewer did. While it is in a
// view hierarchy it keeps the rows in step with the player's published state (time, duration, live edge,
// loaded ranges, rate, full screen) and with the cast player; leaving the hierarchy ends every binding, and
// entering one binds afresh to the player and cast manager of that moment. Times shown (the slider, the time
// label) are content times, with the ads cut out; seeks go to stream times.
//
// A transparent view: touches outside its rows' controls fall through to the player. The player and the
// delegate are held weakly. Main thread only.
class ZuPlayerControlsView : public detail::ControlsOverlayView,
                             public ZuPlaybackControlsViewDelegate,
                             public ZuFunctionalControlsViewDelegate,
                             public ZuSliderControlsViewDelegate {
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
    // The asset's scrubbing thumbnails for the slider row; none removes them. The index is on the content
    // timeline, the slider's (ads left out): its frame for a time is looked up with the slider's value, so a
    // host whose stream has ads hands thumbnails of the content without them.
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
    const std::shared_ptr<ZuFunctionalControlsView>& functionals();
    const std::shared_ptr<ZuSliderControlsView>& sliders();

    // ---- ZuPlaybackControlsViewDelegate ----
    // Toggles the cast player, or plays a paused local player (unmuted) and pauses a playing one; then tells
    // the delegate whether the local player plays now.
    void playbackControlsViewWillTogglePlayback(ZuPlaybackControlsView& view) override;
    // Moves the cast player by `seconds`, or the local player by `seconds` of content time from the pending
    // seek's target (or the playhead), kept within [0, duration]; then tells the delegate.
    void playbackControlsViewWillJump(ZuPlaybackControlsView& view, double seconds) override;

    // ---- ZuFunctionalControlsViewDelegate ----
    // The player's delegate is asked for related content.
    void presentRelatedContent(ZuFunctionalControlsView& sender) override;
    // Back to the live edge: the cast player's, or a seek to the local stream's end (at normal speed when it
    // ran faster); then the delegate is told.
    void functionalControlsViewWillJumpToLiveEdge(ZuFunctionalControlsView& view) override;
    // The player's delegate is told "up next".
    void presentNextContent(ZuFunctionalControlsView& sender) override;
    // The delegate's `shouldShowKeyMomentButton`; no without a delegate.
    bool functionalControlsViewShouldContainKeymomentButton(ZuFunctionalControlsView& view) override;
    // False fades the key-moments strip in, true fades it out.
    void functionalControlsViewWillToggleKeyMomentsHidden(ZuFunctionalControlsView& view, bool hidden) override;
    void functionalControlsViewDidTapKeyMomentButton(ZuFunctionalControlsView& view, ZuPlayerButton& button) override;
    // Applies the rate to the cast player or the local one, then tells the delegate.
    void functionalControlsViewWillChangePlaybackSpeed(ZuFunctionalControlsView& view, float rate) override;
    // Only the player's delegate is told; the full-screen flag is the host's to set on the player.
    void functionalControlsViewWillChangeFullScreen(ZuFunctionalControlsView& view, bool fullScreen) override;

    // ---- ZuSliderControlsViewDelegate ----
    // Seeks to the slider's value (content time), converted to stream time, snapped to the end when within 1 s
    // of it.
    void sliderControlsViewDidSeekTo(ZuSliderControlsView& view, float value) override;
    // While the functional row shows: refreshes the key moments (with a delegate) and the time label.
    void sliderControlsViewDidChangeSliderValue(ZuSliderControlsView& view, float value) override;
    // The player's delegate gets the thumbnail's visibility as an event.
    void sliderControlsViewDidChangeBIFVisibility(ZuSliderControlsView& view, bool isVisible) override;
    void sliderControlsViewBeginSeek(ZuSliderControlsView& view) override;
    std::optional<std::vector<ZuKeyMomentEvent>> sliderControlsViewKeyMomentEvents(ZuSliderControlsView& view) override;
    // The delegate is told of the moment at `index` of the row's strip (the strip's events by start time, each
    // once), with its own event; nothing when it no longer lists that moment.
    void sliderControlsViewDidFocusedOnKeyMomentItemAt(ZuSliderControlsView& view, int index) override;
    // The marker at `index` of the row's strip (the strip's events by start time, each once) was selected: moves
    // the slider to its moment and seeks there as a release of the slider at that value would (the moment's
    // time is content time), and tells the delegate, with the delegate's own event. Nothing when the delegate
    // no longer lists that moment.
    void sliderControlsViewDidSelectKeyMomentItemAt(ZuSliderControlsView& view, int index) override;
    void sliderControlsViewDidDismissKeyMoments(ZuSliderControlsView& view) override;
    std::optional<ZuKeyMomentEvent> selectedKeyMomentEvent(ZuSliderControlsView& view) override;

    // ---- UIView ----
    // Entering a superview lays the rows out for the density and binds them to the player (any earlier
    // bindings ended first); leaving it ends the bindings.
    void willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) override;
    // Places the rows present against the layout margins for the density.
    void updateConstraints() override;

  protected:
    explicit ZuPlayerControlsView(std::weak_ptr<ZuPlayer> player);
    // Set-up that needs the shared pointer (the rows' tints). Subclasses call it from their `create`.
    void setUp();

    // The seek shared by the slider, key moments, jumps and the live button: tells the delegate, then seeks
    // the cast player (absolute, resume state unchanged) or the local player (stream time, reported to the
    // player's delegate). `completion` gets whether the seek finished (true at once for the cast player).
    void seek(double seconds, std::function<void(bool)> completion = nullptr);
    // The seek to a content time (the slider's value, a key moment's time): converted once to stream time by
    // the player's ad proxy, snapped to the end when within 1 s of it, then `seek`. Nothing without a player.
    void seekToContentTime(double seconds);

  private:
    // The Chromecast plug-in while the player's cast manager can control the cast player; none otherwise.
    std::shared_ptr<CastManagerInterface> controllableCastPlugin() const;
    // The current cast stream while the cast player can be controlled.
    std::optional<CastStream> currentCastStream() const;
    bool hasSubview(const std::shared_ptr<uikit::UIView>& view) const;
    // Ends a settling of the slider after a scrub, so the seek to where the viewer let go is asked for
    // before a jump, a key moment or the live edge is worked out: otherwise the settling's end would seek
    // back over it.
    void endSliderSettling();
    bool showsFunctionals() const { return hasSubview(functionals_); }
    bool showsSliders() const { return hasSubview(sliders_); }
    // The delegate's key moments; empty without a delegate or an answer.
    std::vector<ZuKeyMomentEvent> keyMomentEvents();

    // Bindings (ZuPlayerControlsViewBindings.cpp).
    void bind();
    void applyPlaying(bool playing);
    void applyCurrentTime(const coremedia::CMTime& time);
    void applyDuration();
    void applyDurationWithoutAds(const coremedia::CMTime& time);
    void applyLoadedTimeRanges(const std::vector<coremedia::CMTimeRange>& ranges);
    // The functional row's time label ("elapsed / duration", or the elapsed time alone at a live edge) and
    // the live button's state.
    void updateTimeLabel();

    std::weak_ptr<ZuPlayerControlsViewDelegate> delegate_;
    ZuPlayerControlsDisplayDensity displayDensity_;
    std::shared_ptr<ZuPlaybackControlsView> playbacks_;
    std::shared_ptr<ZuFunctionalControlsView> functionals_;
    std::shared_ptr<ZuSliderControlsView> sliders_;
    std::weak_ptr<ZuPlayer> player_;
    // The cast manager read when the bindings were made (the cast rate reset acts on it).
    std::weak_ptr<CastManager> boundCastManager_;
    rx::DisposeBag disposeBag_;  // the bindings to the player; replaced on every move into or out of a hierarchy
};

}  // namespace lumora
