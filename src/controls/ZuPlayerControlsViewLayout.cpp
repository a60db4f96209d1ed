// The controls view's display density: its margins, which rows it shows and how they stack.

#include <array>

#include "controls/ZuPlayerControlsView.h"
#include "ui/MetricBuilder.h"
#include "ui/ZuPlayerMetrics.h"
#include "uikit/ConstraintMaker.h"

namespace lumora {

namespace {

// The densities that show only the playback row.
bool showsPlaybackOnly(ZuPlayerControlsDisplayDensity density) {
    return density == ZuPlayerControlsDisplayDensity(7) || density == ZuPlayerControlsDisplayDensity(8);
}
// The densities whose functional row is the bottom row (the slider row above it).
bool isBottomFunctional(ZuPlayerControlsDisplayDensity density) {
    static constexpr std::array<bool, ZuPlayerControlsDisplayDensity::count> group{
        true, true, true, true, false, false, false, false, false, true, true, true};
    return density.in(group);
}
// The densities whose slider row is the bottom row (the functional row above it).
bool isBottomSlider(ZuPlayerControlsDisplayDensity density) {
    return density.rawValue() >= 4 && density.rawValue() <= 6;
}

}  // namespace

void ZuPlayerControlsView::setNeedsUpdateDisplayDensity() {
    auto d = delegate();
    displayDensity_ = d ? d->playerControlsDisplayDensity(*this) : ZuPlayerMetrics::shared().defaultDisplayDensity;
    applyMargins(displayDensity_);

    auto self = sharedAs<ZuPlayerControlsView>();
    const auto& playback = playbacks();
    if (!hasSubview(playback)) {
        addSubview(playback);
        playback->setDelegate(std::static_pointer_cast<ZuPlaybackControlsViewDelegate>(self));
    }
    playback->setDisplayDensity(displayDensity_);
    playback->updateLayout();

    if (showsPlaybackOnly(displayDensity_)) {
        functionals()->removeFromSuperview();
        sliders()->removeFromSuperview();
    } else {
        const auto& functional = functionals();
        if (!hasSubview(functional)) {
            addSubview(functional);
            functional->setDelegate(std::static_pointer_cast<ZuFunctionalControlsViewDelegate>(self));
        }
        functional->setDisplayDensity(displayDensity_);
        functional->reloadSections();

        const auto& slider = sliders();
        slider->setNeedsUpdateSelectedKeyMomentItem();
        if (!hasSubview(slider)) {
            addSubview(slider);
            slider->setDelegate(std::static_pointer_cast<ZuSliderControlsViewDelegate>(self));
        }
        slider->setDisplayDensity(displayDensity_);
    }
    setNeedsUpdateConstraints();
}

void ZuPlayerControlsView::updateConstraints() {
    auto guide = layoutMarginsGuide();
    const auto density = displayDensity_;
    const bool functionalAttached = showsFunctionals();
    const bool sliderAttached = showsSliders();

    if (hasSubview(playbacks_)) constrainPlaybackRow(playbacks_);
    if (functionalAttached) {
        functionals_->snp().remakeConstraints([&](uikit::ConstraintMaker& make) {
            make.leading().trailing().equalTo(guide);
            if (!sliderAttached || isBottomFunctional(density)) make.bottom().equalTo(guide);
        });
    }
    if (sliderAttached) {
        auto functional = functionals_;
        sliders_->snp().remakeConstraints([&](uikit::ConstraintMaker& make) {
            make.leading().trailing().equalTo(guide);
            if (isBottomFunctional(density)) {
                if (functionalAttached) {
                    make.bottom()
                        .equalTo(functional->snp().top())
                        .offset(-ZuPlayerMetrics::shared().lowerControlsVerticalPadding);
                } else {
                    make.bottom().equalTo(guide);
                }
            } else if (isBottomSlider(density)) {
                make.bottom().equalTo(guide);
                if (functionalAttached) make.top().equalTo(functional->snp().bottom());
            }
        });
    }
    ControlsOverlayView::updateConstraints();
}

}  // namespace lumora
