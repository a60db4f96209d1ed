#include "ui/ZuPlayerMetrics.h"

#include <utility>

#include "ui/MetricBuilder.h"

namespace lumora {

namespace {

const MetricBuilder<bool>& insetsFromSafeAreaBuilder() {
    static const MetricBuilder<bool> builder{
        .landscapeMobile = true,
        .portraitMobile = false,
        .landscapeSmallMobile = true,
        .portraitSmallMobile = false,
        .landscapeLargeMobile = true,
        .portraitLargeMobile = false,
        .landscapeTablet = true,
        .portraitTablet = true,
        .tvOS = false,
        .defaultValue = std::nullopt,
    };
    return builder;
}

}  // namespace

ZuPlayerMetrics::ZuPlayerMetrics()
    : insetsControlsLayoutMarginsFromSafeArea(
          [](const uikit::UITraitCollection& traits) { return insetsFromSafeAreaBuilder().value(traits); }) {}

ZuPlayerMetrics& ZuPlayerMetrics::shared() {
    static ZuPlayerMetrics metrics;
    return metrics;
}

void ZuPlayerMetrics::setShared(ZuPlayerMetrics metrics) {
    shared() = std::move(metrics);
}

}  // namespace lumora
