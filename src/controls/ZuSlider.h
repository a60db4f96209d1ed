#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "controls/ZuLoadedRangesView.h"
#include "dispatch/DispatchQueue.h"
#include "dispatch/Timer.h"
#include "foundation/KeyValueObserving.h"
#include "quartzcore/CALayer.h"
#include "rx/Cocoa.h"
#include "uikit/CADisplayLink.h"
#include "uikit/GCMicroGamepad.h"
#include "uikit/UIFeedbackGenerator.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIView.h"

namespace lumora {

class ZuSlider;
class ZuSliderReactive;
namespace testing {
struct ZuSliderProbe;
}

// The direction of a fast jump of the slider. Only these two raw values make one.
enum class FastJumpDirection : int { backward = -1, forward = 1 };
std::optional<FastJumpDirection> fastJumpDirectionFromRawValue(int rawValue);

// What the slider tells about a drag and the settling after it. Every requirement is optional (the default
// does nothing); the slider's value itself is observed through `valueProperty()` or `rx().value()`.
class ZuSliderDelegate {
  public:
    virtual ~ZuSliderDelegate() = default;
    // Declared for adopters; the slider never sends it.
    virtual void sliderDidChangeValue(ZuSlider& slider, float value) {
        (void)slider;
        (void)value;
    }
    // A drag of the thumb began.
    virtual void sliderWillBeginDragging(ZuSlider& slider) { (void)slider; }
    // The drag ended (`willDecelerate` true: the settling follows) or was cancelled or failed (false).
    virtual void sliderDidEndDraggingWillDecelerate(ZuSlider& slider, bool willDecelerate) {
        (void)slider;
        (void)willDecelerate;
    }
    // The settling after a drag starts.
    virtual void sliderWillBeginDecelerating(ZuSlider& slider) { (void)slider; }
    // The settling is over. Sent once for every settling that began, also when it was cut short.
    virtual void sliderDidEndDecelerating(ZuSlider& slider) { (void)slider; }
    // Declared for fast jumps, which nothing starts; the slider never asks. Nothing means not answered.
    virtual std::optional<float> sliderValueToJump(ZuSlider& slider, int direction, bool continuously) {
        (void)slider;
        (void)direction;
        (void)continuously;
        return std::nullopt;
    }
};

// The seek bar of the player controls: a thin track holding the loaded-ranges bar and the elapsed bar, and a
// round thumb that the viewer drags. A plain view, not a control: it tracks its own touches, takes them only
// near the thumb, moves the thumb with spring animations and derives `value` from where the thumb is drawn,
// frame by frame (a display link that runs only while the thumb is held). Main thread only.
//
// A drag: a touch goes down on the thumb (`isLocked`, a light haptic, the thumb grows); the pan begins
// (`sliderWillBeginDragging`); the thumb follows the finger and the value follows the thumb; on release the
// value is taken where the finger let go, a settling of 1 s runs (`sliderWillBeginDecelerating`, then
// `sliderDidEndDraggingWillDecelerate(true)`) and ends with `sliderDidEndDecelerating` — also when a new
// touch, a forced animated move or the slider leaving its superview cuts it short. While the thumb is held
// and while it settles, programmatic updates (`setValue(v, animated, forced = false)`) are ignored, so the
// player's time updates never move the value the viewer chose.
//
// The value range: a range whose ends are not finite or whose maximum is not above its minimum is empty:
// the thumb sits at the start of the track and the value taken from it is `minimumValue`.
class ZuSlider : public uikit::UIView, public uikit::UIGestureRecognizerDelegate {
  public:
    static constexpr uikit::CGFloat intrinsicHeight = 38.0;
    // Seconds of the settling after a drag, and of an animated programmatic move.
    static constexpr double settleDuration = 1.0;
    static constexpr double moveDuration = 0.2;
    // Points around the thumb's frame that still take a touch.
    static constexpr uikit::CGFloat touchMargin = 20.0;

    static std::shared_ptr<ZuSlider> create(const uikit::CGRect& frame = uikit::CGRect());
    ~ZuSlider() override;

    std::shared_ptr<ZuSliderDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuSliderDelegate> delegate) { delegate_ = std::move(delegate); }

    // True while a touch that went down on the thumb is down. Setting it changes the thumb's look and runs
    // or pauses the display link.
    bool isLocked() const { return isLocked_; }
    void setIsLocked(bool locked);
    // True from the end of a drag until its settling is over.
    bool isSettling() const { return settling_.has_value(); }
    // Ends the settling in progress now, if any: `sliderDidEndDecelerating` goes out (and with it the drag's
    // seek) before whatever the caller does next. The thumb goes on to where it was let go.
    void endSettling();

    // The value range; each end is also given to the loaded-ranges bar.
    float minimumValue() const { return minimumValue_; }
    void setMinimumValue(float value);
    float maximumValue() const { return maximumValue_; }
    void setMaximumValue(float value);

    // The current value. Storing keeps max(0, v) for a finite v and 0 otherwise (it is not clamped to the
    // range) and notifies the observers of `valueProperty()`; it does not move the thumb.
    float value() const { return value_.value(); }
    void setValue(float value);
    const foundation::KVOProperty<float>& valueProperty() const { return value_; }
    // A programmatic update: ignored while the thumb is held or settling, and (unless `forced`) while the
    // fast-jump timer runs. Otherwise stores the value and moves the thumb to it, animated as asked. Never
    // reaches the delegate.
    void setValue(float value, bool animated, bool forced);

    const std::shared_ptr<ZuLoadedRangesView>& loadedRangesView() const { return loadedRangesView_; }
    uikit::CGFloat trackHeight() const { return trackHeight_; }
    void setTrackHeight(uikit::CGFloat height);
    uikit::CGSize thumbSize() const { return thumbSize_; }
    // Also sets the track's side margins (half the thumb's width), the thumb's range of travel.
    void setThumbSize(uikit::CGSize size);
    // The thumb's centre when the last drag began or ended.
    uikit::CGPoint thumbCenterSnapshot() const { return thumbCenterSnapshot_; }
    // Present while the slider has a superview.
    const std::shared_ptr<quartzcore::CADisplayLink>& displayLink() const { return displayLink_; }
    const std::shared_ptr<uikit::UIView>& track() const { return track_; }
    const std::shared_ptr<uikit::UIView>& current() const { return current_; }
    const std::shared_ptr<uikit::UIView>& thumb() const { return thumb_; }
    const std::shared_ptr<quartzcore::CALayer>& thumbLayer() const { return thumbLayer_; }
    const std::shared_ptr<quartzcore::CALayer>& thumbShadowLayer() const { return thumbShadowLayer_; }
    const std::shared_ptr<uikit::UIPanGestureRecognizer>& panGestureRecognizer() const { return pan_; }
    // Present while the slider has a superview.
    const std::shared_ptr<uikit::UIImpactFeedbackGenerator>& impactFeedback() const { return impactFeedback_; }

    // Remote-control scrubbing and continuous fast jumps: nothing starts them, so these keep their first
    // values. A valid timer makes programmatic updates wait; a running fast jump keeps the focus.
    std::shared_ptr<gamecontroller::GCMicroGamepad> directionalPanMicroPad() const {
        return directionalPanMicroPad_.lock();
    }
    const std::shared_ptr<dispatch::Timer>& continuousFastJumpInterval() const { return continuousFastJumpInterval_; }
    bool isContinuousFastJumpRunning() const { return isContinuousFastJumpRunning_; }

    // The track's usable range for the thumb's centre (its layout-margins frame) in the slider's coordinates.
    uikit::CGRect trackRect() const;
    // The thumb's centre x for `value` (clamped to the range).
    uikit::CGFloat thumbCenterX(float value) const;
    // The value whose thumb centre is `x` (the inverse, for x within the track).
    float valueAt(uikit::CGFloat x) const;

    // Actions: the pan recogniser's, and the display link's once per frame while the thumb is held.
    void handlePanGestureRecognizer(uikit::UIPanGestureRecognizer& recognizer);
    void setNeedsUpdateValue();

    ZuSliderReactive rx();

    // UIView
    uikit::CGSize intrinsicContentSize() const override;
    bool canBecomeFocused() const override { return true; }
    bool shouldUpdateFocus(const uikit::UIFocusUpdateContext& context) override;
    void didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                        uikit::UIFocusAnimationCoordinator& coordinator) override;
    // True only within the thumb's frame widened by `touchMargin` on every side.
    bool point(uikit::CGPoint inside, const uikit::UIEvent* event) override;
    void touchesBegan(const uikit::UITouchSet& touches, const uikit::UIEvent* event) override;
    void touchesEnded(const uikit::UITouchSet& touches, const uikit::UIEvent* event) override;
    void touchesCancelled(const uikit::UITouchSet& touches, const uikit::UIEvent* event) override;
    bool gestureRecognizerShouldBegin(uikit::UIGestureRecognizer& recognizer) override;
    void willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) override;
    void layoutSubviews() override;
    void tintColorDidChange() override;

  protected:
    explicit ZuSlider(const uikit::CGRect& frame);

  private:
    friend struct testing::ZuSliderProbe;
    enum class DirectionalPanSide : int { left = -1, right = 1, center = 0 };

    // Builds the view tree and the recogniser (needs the shared pointer).
    void setUp();
    // Moves the thumb (and the end of the elapsed bar) to `point`'s x, kept on the track.
    void moveThumb(uikit::CGPoint point, bool animated, bool settling);
    std::uint64_t beginSettle();
    void endSettle(std::uint64_t generation);
    void applyThumbAppearance(bool active);
    void cancelDirectionalPan();

    std::weak_ptr<ZuSliderDelegate> delegate_;
    bool isLocked_ = false;
    float minimumValue_ = 0;
    float maximumValue_ = 1;
    foundation::KVOProperty<float> value_{0.0f};
    std::shared_ptr<ZuLoadedRangesView> loadedRangesView_;
    uikit::CGFloat trackHeight_ = 2.0;
    uikit::CGSize thumbSize_{18, 18};
    uikit::CGPoint thumbCenterSnapshot_;
    std::shared_ptr<quartzcore::CADisplayLink> displayLink_;
    std::shared_ptr<uikit::UIView> track_;
    std::shared_ptr<uikit::UIView> current_;
    std::shared_ptr<uikit::UIView> thumb_;
    std::shared_ptr<quartzcore::CALayer> thumbLayer_;
    std::shared_ptr<quartzcore::CALayer> thumbShadowLayer_;
    std::shared_ptr<uikit::UIImpactFeedbackGenerator> impactFeedback_;
    std::shared_ptr<uikit::UIPanGestureRecognizer> pan_;

    // Remote-control state (inert).
    std::weak_ptr<gamecontroller::GCMicroGamepad> directionalPanMicroPad_;
    std::optional<DirectionalPanSide> directionalPanSide_;
    std::shared_ptr<dispatch::DispatchWorkItem> directionalPanBeginTrigger_;
    std::shared_ptr<dispatch::DispatchWorkItem> directionalPanCancelTrigger_;
    std::shared_ptr<dispatch::Timer> continuousFastJumpInterval_;
    std::vector<float> continuousFastJumpValueChangeBuffer_;
    bool isContinuousFastJumpRunning_ = false;
    std::shared_ptr<uikit::UIView> directionalPanIndicator_;

    // The settling running now (its number), if any; each settling ends once.
    std::optional<std::uint64_t> settling_;
    std::uint64_t settleGeneration_ = 0;
};

// The reactive face of the slider: `slider->rx().value()`.
class ZuSliderReactive {
  public:
    explicit ZuSliderReactive(std::weak_ptr<ZuSlider> base) : base_(std::move(base)) {}

    // The value at subscription, then every value stored (equal ones too: while the thumb is held that is
    // once per display frame). Holds the slider weakly; delivered on the main thread.
    rx::ControlEvent<float> value() const;

  private:
    std::weak_ptr<ZuSlider> base_;
};

}  // namespace lumora
