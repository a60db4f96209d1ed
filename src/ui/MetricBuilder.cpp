#include "ui/MetricBuilder.h"

#include <algorithm>
#include <cmath>

#include "uikit/UIScreen.h"

namespace lumora {

MetricSlot metricSlot(const uikit::UITraitCollection& traits, const uikit::CGRect& screenBounds) {
    using SizeClass = uikit::UIUserInterfaceSizeClass;
    const auto h = traits.horizontalSizeClass;
    const auto v = traits.verticalSizeClass;
    const bool phoneLike = (h == SizeClass::compact && v == SizeClass::regular) ||
                           (h == SizeClass::compact && v == SizeClass::compact) ||
                           (h == SizeClass::regular && v == SizeClass::compact);
    const bool portrait = h == SizeClass::compact && v == SizeClass::regular;
    const uikit::CGFloat width = std::abs(screenBounds.size.width);
    const uikit::CGFloat height = std::abs(screenBounds.size.height);
    const uikit::CGFloat shorter = std::min(width, height);
    if (shorter < 375) return portrait ? MetricSlot::portraitSmallMobile : MetricSlot::landscapeSmallMobile;
    if (shorter >= 414 && phoneLike)
        return portrait ? MetricSlot::portraitLargeMobile : MetricSlot::landscapeLargeMobile;
    if (phoneLike) return portrait ? MetricSlot::portraitMobile : MetricSlot::landscapeMobile;
    return height > width ? MetricSlot::portraitTablet : MetricSlot::landscapeTablet;
}

MetricSlot metricSlot(const uikit::UITraitCollection& traits) {
    return metricSlot(traits, uikit::UIScreen::main()->bounds());
}

std::string MetricBuilderError::localizedDescription() const {
    switch (slot) {
        case MetricSlot::portraitSmallMobile:
            return "No portrait small mobile value defined";
        case MetricSlot::landscapeSmallMobile:
            return "No landscape small mobile value defined";
        case MetricSlot::portraitLargeMobile:
            return "No portrait large mobile value defined";
        case MetricSlot::landscapeLargeMobile:
            return "No landscape large mobile value defined";
        case MetricSlot::portraitMobile:
            return "No portrait mobile value defined";
        case MetricSlot::landscapeMobile:
            return "No landscape mobile value defined";
        case MetricSlot::portraitTablet:
            return "No portrait tablet value defined";
        case MetricSlot::landscapeTablet:
            return "No landscape tablet value defined";
        case MetricSlot::tvOS:
            return "No tvOS value defined";
    }
    return "No value defined";
}

}  // namespace lumora
