#pragma once

#include <memory>
#include <optional>

#include "controls/ZuSlider.h"
#include "rx/DelegateProxy.h"

namespace lumora {

// The reactive delegate proxy of the seek slider: it stands in as the slider's delegate and forwards every
// requirement to its forward delegate (held weakly unless installed as retained). The slider controls install
// themselves with `installForwardDelegate(row, false, slider)` and keep the disposable in their dispose bag.
class RxZuSliderDelegateProxy final : public rx::DelegateProxy<ZuSlider, ZuSliderDelegate, RxZuSliderDelegateProxy> {
  public:
    static std::shared_ptr<RxZuSliderDelegateProxy> create(const std::shared_ptr<ZuSlider>& slider) {
        return std::shared_ptr<RxZuSliderDelegateProxy>(new RxZuSliderDelegateProxy(slider));
    }
    static std::shared_ptr<ZuSliderDelegate> currentDelegate(ZuSlider& slider) { return slider.delegate(); }
    static void setCurrentDelegate(ZuSlider& slider, const std::shared_ptr<ZuSliderDelegate>& delegate) {
        slider.setDelegate(delegate);
    }

    void sliderDidChangeValue(ZuSlider& slider, float value) override {
        if (auto forward = forwardToDelegate()) forward->sliderDidChangeValue(slider, value);
    }
    void sliderWillBeginDragging(ZuSlider& slider) override {
        if (auto forward = forwardToDelegate()) forward->sliderWillBeginDragging(slider);
    }
    void sliderDidEndDraggingWillDecelerate(ZuSlider& slider, bool willDecelerate) override {
        if (auto forward = forwardToDelegate()) forward->sliderDidEndDraggingWillDecelerate(slider, willDecelerate);
    }
    void sliderWillBeginDecelerating(ZuSlider& slider) override {
        if (auto forward = forwardToDelegate()) forward->sliderWillBeginDecelerating(slider);
    }
    void sliderDidEndDecelerating(ZuSlider& slider) override {
        if (auto forward = forwardToDelegate()) forward->sliderDidEndDecelerating(slider);
    }
    std::optional<float> sliderValueToJump(ZuSlider& slider, int direction, bool continuously) override {
        auto forward = forwardToDelegate();
        return forward ? forward->sliderValueToJump(slider, direction, continuously) : std::nullopt;
    }

  private:
    using DelegateProxy::DelegateProxy;
};

}  // namespace lumora
