#pragma once

// Internal to the view system: the state behind UIView::animate and presentation().

#include <chrono>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "uikit/UIView.h"

namespace uikit::detail {

using AnimationValue = std::variant<CGFloat, CGPoint, CGRect, CGAffineTransform, std::optional<UIColor>>;

// One call of UIView::animate: its completion and whether all its property animations ran to the end.
struct AnimationGroup {
    UIView::Completion completion;
    bool finished = true;
};

struct AnimationTiming {
    enum class Kind { easeInOut, easeIn, easeOut, linear, spring } kind = Kind::easeInOut;
    double damping = 1;
    double velocity = 0;  // distance per second, in units of the whole change
    // Progress (0 → 1, a spring may overshoot) at `fraction` of the duration.
    double progress(double fraction, double durationSeconds) const;
};

struct PropertyAnimation {
    AnimationValue from;
    AnimationValue to;
    std::chrono::nanoseconds begin{0};
    std::chrono::nanoseconds duration{0};
    AnimationTiming timing;
    bool allowsUserInteraction = false;
    std::shared_ptr<AnimationGroup> group;
};

// The animation block being run (innermost last).
struct AnimationContext {
    bool enabled = true;
    double duration = 0;
    double delay = 0;
    AnimationTiming timing;
    UIView::AnimationOptions options;
    std::shared_ptr<AnimationGroup> group;
};

// The property animations of one view, by layer key ("opacity", "position", "bounds", "transform",
// "backgroundColor").
struct ViewAnimationState {
    std::map<std::string, PropertyAnimation> running;

    static const AnimationContext* currentContext();
    // Drops the animations whose time is over.
    void prune(std::chrono::nanoseconds now);
    bool blocksInteraction(std::chrono::nanoseconds now) const;
    // Ends every animation of `view`: their groups report not finished.
    static void cancelAll(UIView& view);
    static AnimationValue modelValue(const UIView& view, const std::string& key);
    static AnimationValue presentedValue(const UIView& view, const std::string& key);
};

// Around a change of animatable properties: captures the values before, and on destruction records an
// animation from them to the new model values when an animation block is running.
class AnimationCapture {
  public:
    AnimationCapture(UIView& view, std::initializer_list<const char*> keys);
    ~AnimationCapture();
    AnimationCapture(const AnimationCapture&) = delete;
    AnimationCapture& operator=(const AnimationCapture&) = delete;

  private:
    UIView& view_;
    std::optional<AnimationContext> context_;
    std::vector<std::pair<std::string, AnimationValue>> before_;
};

}  // namespace uikit::detail
