#pragma once

#include <memory>
#include <vector>

#include "coremedia/CMTime.h"
#include "playback/CMTimeRangeWrapper.h"
#include "uikit/UIView.h"

namespace lumora {

// The buffered (loaded) time ranges of the stream, drawn as bars inside the seek slider's track: one bar per
// range, in the view's tint colour, placed by the range's start and length as fractions of
// [`minimumValue`, `maximumValue`] (seconds) across the bounds. Main thread only.
//
// Bars are not clamped: a range starting before `minimumValue` starts left of the bounds and one reaching
// past `maximumValue` ends right of them (the slider's track clips them). With an empty span every bar has
// width 0 at the left edge. A range with a component that is not a finite number ends the placing: its bar
// and the later ones keep their previous frames.
class ZuLoadedRangesView : public uikit::UIView {
  public:
    static std::shared_ptr<ZuLoadedRangesView> create(const uikit::CGRect& frame = uikit::CGRect());

    // Seconds at the left edge; 0 at first.
    float minimumValue() const { return minimumValue_; }
    void setMinimumValue(float value);
    // Seconds at the right edge; 1 at first.
    float maximumValue() const { return maximumValue_; }
    void setMaximumValue(float value);

    // The loaded ranges; empty at first. Storing them makes the bars again, one new bar per range, placed
    // by the next layout pass.
    const std::vector<coremedia::CMTimeRange>& ranges() const { return ranges_; }
    void setRanges(std::vector<coremedia::CMTimeRange> ranges);

    void layoutSubviews() override;
    void tintColorDidChange() override;

  protected:
    explicit ZuLoadedRangesView(const uikit::CGRect& frame) : UIView(frame) {}

  private:
    float minimumValue_ = 0;
    float maximumValue_ = 1;
    std::vector<coremedia::CMTimeRange> ranges_;
};

// The ranges carried by the player's published wrappers, in order (a missing wrapper is skipped).
std::vector<coremedia::CMTimeRange> timeRanges(const std::vector<std::shared_ptr<CMTimeRangeWrapper>>& wrappers);

}  // namespace lumora
