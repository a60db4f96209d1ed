// The controls view's display density: its margins, which rows it shows and how they stack.

#include <array>

#include "screen/ZuPlayerControlsView.h"
#include "screen/foundations/MetricBuilder.h"
#include "screen/foundations/ZuPlayerMetrics.h"
#include "uikit/ConstraintMaker.h"

namespace lumora {

namespace {

using Table = std::array<uikit::CGFloat, ZuPlayerControlsDisplayDensity::count>;

// Margins by density: top and bottom, then left and right.
constexpr Table kVerticalMargins = {26, 26, 26, 26, 16, 16, 16, 16, 16, 14, 14, 64};
constexpr Table kHorizontalMargins = {36, 36, 36, 36, 26, 26, 26, 16, 16, 14, 30, 64};

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

// Where the playback row sits: on the margins' centre, raised to 0.8 of it on phones in portrait.
const MetricBuilder<uikit::CGFloat>& playbackCenterYMultipliers() {
    static const MetricBuilder<uikit::CGFloat> builder{
        .landscapeMobile = 1.0,
        .portraitMobile = 0.8,
        .landscapeSmallMobile = 1.0,
        .portraitSmallMobile = 0.8,
        .landscapeLargeMobile = 1.0,
        .portraitLargeMobile = 0.8,
        .landscapeTablet = 1.0,
        .portraitTablet = 1.0,
        .tvOS = 1.0,
    };
    return builder;
}

}  // namespace

void ZuPlayerControlsView::applyMargins() {
    const auto v = displayDensity_.in(kVerticalMargins);
    const auto h = displayDensity_.in(kHorizontalMargins);
    setLayoutMargins(uikit::UIEdgeInsets{v, h, v, h});
}

void ZuPlayerControlsView::setNeedsUpdateDisplayDensity() {
    auto d = delegate();
    displayDensity_ = d ? d->playerControlsDisplayDensity(*this) : ZuPlayerMetrics::shared().defaultDisplayDensity;
    applyMargins();

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

    if (hasSubview(playbacks_)) {
        const uikit::CGFloat m = playbackCenterYMultipliers().value(traitCollection());
        playbacks_->snp().remakeConstraints([&](uikit::ConstraintMaker& make) {
            make.centerX().equalTo(guide);
            make.centerY().equalTo(guide).multipliedBy(m);
        });
    }
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
    ZuView::updateConstraints();
}

}  // namespace lumora
