#pragma once

// Test hooks of the seek slider: the remote-control state that nothing in the kit starts, set by hand so
// tests can check what the slider does while it is running.

#include <memory>

#include "controls/ZuSlider.h"
#include "dispatch/Timer.h"

namespace lumora::testing {

struct ZuSliderProbe {
    static void setContinuousFastJumpInterval(ZuSlider& slider, std::shared_ptr<dispatch::Timer> timer) {
        slider.continuousFastJumpInterval_ = std::move(timer);
    }
    static void setIsContinuousFastJumpRunning(ZuSlider& slider, bool running) {
        slider.isContinuousFastJumpRunning_ = running;
    }
    static std::shared_ptr<dispatch::DispatchWorkItem> directionalPanCancelTrigger(const ZuSlider& slider) {
        return slider.directionalPanCancelTrigger_;
    }
};

}  // namespace lumora::testing
