#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "controls/ZuSlider.h"
#include "coremedia/CMTime.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentEvent.h"
#include "keymoments/ZuKeyMomentsView.h"
#include "keymoments/ZuScrubberSingleThumbnailView.h"
#include "rx/Disposables.h"
#include "ui/ZuPlayerControlsDisplayDensity.h"
#include "ui/ZuView.h"

namespace lumora {

class ZuSliderControlsView;

// What the slider row tells its owner, and asks it. Every requirement is optional: the defaults do what "not
// implemented" does.
class ZuSliderControlsViewDelegate {
  public:
    virtual ~ZuSliderControlsViewDelegate() = default;
    // A drag has settled: seek to `value` (seconds without ads).
    virtual void sliderControlsViewDidSeekTo(ZuSliderControlsView& view, float value) {
        (void)view;
        (void)value;
    }
    // The slider's value changed, for any reason (a drag, once per display frame while held, or a programmatic
    // update).
    virtual void sliderControlsViewDidChangeSliderValue(ZuSliderControlsView& view, float value) {
        (void)view;
        (void)value;
    }
    // The scrubbing thumbnail was shown (true) or hidden (false).
    virtual void sliderControlsViewDidChangeBIFVisibility(ZuSliderControlsView& view, bool isVisible) {
        (void)view;
        (void)isVisible;
    }
    // A drag began.
    virtual void sliderControlsViewBeginSeek(ZuSliderControlsView& view) { (void)view; }
    // The key moments the strip shows; nothing (the default) leaves the strip as it is.
    virtual std::optional<std::vector<ZuKeyMomentEvent>> sliderControlsViewKeyMomentEvents(ZuSliderControlsView& view) {
        (void)view;
        return std::nullopt;
    }
    // Declared for owners; the row never sends it.
    virtual void sliderControlsViewDidFocusedOnKeyMomentItemAt(ZuSliderControlsView& view, int index) {
        (void)view;
        (void)index;
    }
    // A key-moment marker was selected: `index` is the place of its event in the strip's `events()` (sorted by
    // start time, each once), not in the owner's own list.
    virtual void sliderControlsViewDidSelectKeyMomentItemAt(ZuSliderControlsView& view, int index) {
        (void)view;
        (void)index;
    }
    // Declared for owners; the row never sends it.
    virtual void sliderControlsViewDidDismissKeyMoments(ZuSliderControlsView& view) { (void)view; }
    // The key moment currently selected; nothing for none.
    virtual std::optional<ZuKeyMomentEvent> selectedKeyMomentEvent(ZuSliderControlsView& view) {
        (void)view;
        return std::nullopt;
    }
};

// The scrubbing row of the player controls: the seek slider, the key-moments strip just above it and the
// scrubbing thumbnail that floats over the slider while the viewer drags. A drag becomes the delegate's seek
// protocol: `sliderControlsViewBeginSeek`, a `...DidChangeSliderValue` for every value, and one
// `...DidSeekTo` with the value where the viewer let go once the slider has settled; a cancelled drag seeks
// nothing. While it drags, the thumbnail follows the thumb and shows the index's frame of the value. The
// owner sets the range (seconds without ads), the value, the loaded ranges, the index and the density, and is
// the delegate. A transparent view: touches outside its slider and strip fall through. Main thread only.
class ZuSliderControlsView : public ZuView,
                             public ZuSliderDelegate,
                             public ZuKeyMomentsViewDelegate,
                             public rx::HasDisposeBag {
  public:
    // Seconds of the strip's fade in and out.
    static constexpr double keyMomentsFadeDuration = 0.26;
    // Points between the thumbnail and the slider (or the strip above it).
    static constexpr uikit::CGFloat thumbnailBottomSpacing = 12.0;

    static std::shared_ptr<ZuSliderControlsView> create(const uikit::CGRect& frame = uikit::CGRect());

    std::shared_ptr<ZuSliderControlsViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuSliderControlsViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // 2 at first. Every assignment attaches the key-moments strip (densities 0 to 3 and 9 to 11, with the
    // delegate's events) or takes it away (4 to 8).
    ZuPlayerControlsDisplayDensity displayDensity() const { return displayDensity_; }
    void setDisplayDensity(ZuPlayerControlsDisplayDensity density);

    // The thumbnail index of the stream; none (the default) means no thumbnails.
    const std::optional<BIF>& bif() const { return bif_; }
    void setBif(std::optional<BIF> bif) { bif_ = std::move(bif); }

    const std::shared_ptr<ZuSlider>& slider() const { return slider_; }
    const std::shared_ptr<ZuKeyMomentsView>& keyMomentsView() const { return keyMomentsView_; }
    const std::shared_ptr<ZuView>& keyMomentsViewContainer() const { return keyMomentsViewContainer_; }
    const std::shared_ptr<ZuScrubberSingleThumbnailView>& thumbnailsView() const { return thumbnailsView_; }

    // The slider's range (each end also reaches its loaded-ranges bar) and value. The strip's timeline follows
    // the range: its markers are placed again across a new one.
    float minimumValue() const { return slider_->minimumValue(); }
    void setMinimumValue(float value);
    float maximumValue() const { return slider_->maximumValue(); }
    void setMaximumValue(float value);
    float value() const { return slider_->value(); }

    // The player's update of the slider: ignored while the viewer holds the thumb, while it settles after a
    // drag and while a fast jump runs; otherwise stores the value and moves the thumb.
    void setSliderValue(float value, bool animated);
    // Replaces the slider's loaded ranges (the bars follow at the next layout pass).
    void setSliderLoadedTimeRanges(std::vector<coremedia::CMTimeRange> ranges);

    // Fades the strip in over 0.26 s.
    void presentKeyMoments();
    // Fades the strip out over 0.26 s, then hides it — unless it was presented again meanwhile.
    void dismissKeyMoments();
    // Shows `events` on the strip across the slider's range; an empty list hides the strip.
    void updateKeyMoments(const std::vector<ZuKeyMomentEvent>& events);
    // Asks the strip to select again the delegate's selected key moment.
    void setNeedsUpdateSelectedKeyMomentItem();

    // ZuSliderDelegate (reached through the slider's delegate proxy).
    void sliderWillBeginDragging(ZuSlider& slider) override;
    void sliderDidEndDraggingWillDecelerate(ZuSlider& slider, bool willDecelerate) override;
    void sliderDidEndDecelerating(ZuSlider& slider) override;
    // ZuKeyMomentsViewDelegate (reached through the strip's delegate proxy).
    void keyMomentsViewDidSelectItemAt(ZuKeyMomentsView& keyMomentsView, int index) override;
    std::optional<ZuKeyMomentEvent> selectedKeyMoment(ZuKeyMomentsView& keyMomentsView) override;

    // UIView
    void tintColorDidChange() override;
    void willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) override;

  protected:
    explicit ZuSliderControlsView(const uikit::CGRect& frame);

  private:
    void setUp();
    // What every value of the slider does (its first one included).
    void sliderValueDidChange(float value);
    void attachKeyMoments();
    // The strip's events placed across the slider's range when it changed.
    void keyMomentsFollowRange();
    // Hides the thumbnail, telling the delegate when it was showing.
    void hideThumbnail();

    std::weak_ptr<ZuSliderControlsViewDelegate> delegate_;
    ZuPlayerControlsDisplayDensity displayDensity_ = 2;
    std::optional<BIF> bif_;
    std::shared_ptr<ZuSlider> slider_;
    std::shared_ptr<ZuKeyMomentsView> keyMomentsView_;
    std::shared_ptr<ZuView> keyMomentsViewContainer_;
    std::shared_ptr<ZuScrubberSingleThumbnailView> thumbnailsView_;
    // Counts the strip's fades: a fade-out hides the strip only when no fade began after it.
    std::uint64_t keyMomentsFadeGeneration_ = 0;
};

}  // namespace lumora
