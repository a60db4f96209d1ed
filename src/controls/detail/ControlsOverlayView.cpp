#include "controls/detail/ControlsOverlayView.h"

#include <array>

#include "ui/MetricBuilder.h"
#include "ui/ZuPlayerMetrics.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/UIColor.h"
#include "uikit/UIGraphics.h"

namespace lumora::detail {

namespace {

using Table = std::array<uikit::CGFloat, ZuPlayerControlsDisplayDensity::count>;

// Margins by density: top and bottom, then left and right.
constexpr Table kVerticalMargins = {26, 26, 26, 26, 16, 16, 16, 16, 16, 14, 14, 64};
constexpr Table kHorizontalMargins = {36, 36, 36, 36, 26, 26, 26, 16, 16, 14, 30, 64};

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

void ControlsOverlayView::draw(const uikit::CGRect& rect) {
    auto context = uikit::UIGraphicsGetCurrentContext();
    if (!context) return;
    // The view's drawing is a layer of its own: clearing it must not clear the video drawn behind.
    context->beginTransparencyLayer(bounds());
    context->clear(rect);
    context->setFillColor(uikit::UIColor::black().withAlphaComponent(0.4).cgColor());
    context->fill(bounds());
    context->endTransparencyLayer();
}

void ControlsOverlayView::updateInsetsFromSafeArea() {
    const auto& insets = ZuPlayerMetrics::shared().insetsControlsLayoutMarginsFromSafeArea;
    if (insets) setInsetsLayoutMarginsFromSafeArea(insets(traitCollection()));
}

void ControlsOverlayView::didMoveToSuperview() {
    ZuView::didMoveToSuperview();
    updateInsetsFromSafeArea();
}

void ControlsOverlayView::traitCollectionDidChange(const std::optional<uikit::UITraitCollection>& previous) {
    ZuView::traitCollectionDidChange(previous);
    updateInsetsFromSafeArea();
    // Where the play / pause row sits depends on the traits too (raised on an upright phone).
    setNeedsUpdateConstraints();
}

void ControlsOverlayView::applyMargins(ZuPlayerControlsDisplayDensity density) {
    const auto v = density.in(kVerticalMargins);
    const auto h = density.in(kHorizontalMargins);
    setLayoutMargins(uikit::UIEdgeInsets{v, h, v, h});
}

void ControlsOverlayView::constrainPlaybackRow(const std::shared_ptr<uikit::UIView>& playback) {
    auto guide = layoutMarginsGuide();
    const uikit::CGFloat m = playbackCenterYMultipliers().value(traitCollection());
    playback->snp().remakeConstraints([&](uikit::ConstraintMaker& make) {
        make.centerX().equalTo(guide);
        make.centerY().equalTo(guide).multipliedBy(m);
    });
}

}  // namespace lumora::detail
