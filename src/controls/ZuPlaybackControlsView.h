#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "controls/ZuPlayerButton.h"
#include "controls/detail/CatalogueImages.h"
#include "rx/Disposables.h"
#include "ui/ZuPlayerControlsDisplayDensity.h"
#include "uikit/UIStackView.h"
#include "uikit/UITraitCollection.h"
#include "uikit/UIView.h"

namespace lumora {

class ZuPlaybackControlsView;

// What the playback row proposes to its owner. Both requirements are optional (the default does nothing).
class ZuPlaybackControlsViewDelegate {
  public:
    virtual ~ZuPlaybackControlsViewDelegate() = default;
    // The play / pause button was tapped.
    virtual void playbackControlsViewWillTogglePlayback(ZuPlaybackControlsView& view) { (void)view; }
    // A jump button was tapped (once) or is held (every 300 ms): `seconds` is +15 or −15.
    virtual void playbackControlsViewWillJump(ZuPlaybackControlsView& view, double seconds) {
        (void)view;
        (void)seconds;
    }
};

// The centre row of the player controls: rewind, play / pause and fast-forward in a horizontal stack. Taps
// become delegate calls; holding a jump button repeats its jump every 300 ms until the finger lifts, leaves
// the button or is cancelled. The owner sets the delegate, the density (then `updateLayout()`) and the
// playing flag. Button size and spacing follow the device class and orientation. Main thread only.
class ZuPlaybackControlsView : public uikit::UIView {
  public:
    // Seconds of one jump, and milliseconds between the repeats of a held jump button.
    static constexpr double jumpSeconds = 15.0;
    static constexpr int repeatIntervalMilliseconds = 300;

    static std::shared_ptr<ZuPlaybackControlsView> create(const uikit::CGRect& frame = uikit::CGRect());

    std::shared_ptr<ZuPlaybackControlsViewDelegate> delegate() const { return delegate_.lock(); }
    // Every assignment ends the jump bindings made before (a new dispose bag); a delegate binds the two jump
    // buttons again — fast-forward with +15 s, then rewind with −15 s — so a delegate set twice still gets
    // one jump per tap.
    void setDelegate(std::weak_ptr<ZuPlaybackControlsViewDelegate> delegate);

    // The live metrics' default at first; `updateLayout()` applies a new one.
    ZuPlayerControlsDisplayDensity displayDensity() const { return displayDensity_; }
    void setDisplayDensity(ZuPlayerControlsDisplayDensity density) { displayDensity_ = density; }

    // False at first. The play / pause button shows the pause image while playing, the play image otherwise.
    bool isPlaying() const { return isPlaying_; }
    void setIsPlaying(bool playing);

    const std::shared_ptr<ZuPlayerButton>& rewindButton() const { return rewindButton_; }
    const std::shared_ptr<ZuPlayerButton>& fastForwardButton() const { return fastForwardButton_; }
    const std::shared_ptr<ZuPlayerButton>& playPauseButton() const { return playPauseButton_; }
    const std::shared_ptr<uikit::UIStackView>& contentView() const { return contentView_; }
    rx::DisposeBag& disposeBag() { return disposeBag_; }

    // The button size and spacing for a trait environment: 50 × 50 and 30 apart on phones in landscape,
    // 30 × 30 and 14 apart in portrait, 70 × 70 and 40 apart on tablets.
    static uikit::CGSize buttonSize(const uikit::UITraitCollection& traits);
    static uikit::CGFloat buttonSpacing(const uikit::UITraitCollection& traits);

    // Action of the play / pause button.
    void togglePlayback();
    // Lays the buttons out for the density and the traits: play / pause alone at density 8, all three
    // otherwise, each of the trait environment's button size.
    void updateLayout();

    // With a superview: puts the stack in, edge to edge, and lays it out for the superview's traits. With none: takes
    // it out and drops the delegate (which ends the jump bindings).
    void willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) override;
    // Lays the buttons out again for the new traits: outside a window the size classes are unspecified (a
    // tablet's metrics on most screens), so the row takes its real metrics when it reaches a window, and new
    // ones whenever the window turns or changes size class.
    void traitCollectionDidChange(const std::optional<uikit::UITraitCollection>& previous) override;

  protected:
    explicit ZuPlaybackControlsView(const uikit::CGRect& frame);

  private:
    void setUp();
    void updateLayout(const uikit::UITraitCollection& traits);
    void bindJump(const std::shared_ptr<ZuPlayerButton>& button, double seconds);

    std::weak_ptr<ZuPlaybackControlsViewDelegate> delegate_;
    ZuPlayerControlsDisplayDensity displayDensity_;
    bool isPlaying_ = false;
    std::shared_ptr<ZuPlayerButton> rewindButton_;
    std::shared_ptr<ZuPlayerButton> fastForwardButton_;
    std::shared_ptr<ZuPlayerButton> playPauseButton_;
    std::shared_ptr<uikit::UIStackView> contentView_;
    rx::DisposeBag disposeBag_;  // the jump bindings
    detail::CatalogueImages images_;
};

}  // namespace lumora
