#pragma once

#include <expected>
#include <optional>
#include <stdexcept>
#include <string>

#include "foundation/Error.h"
#include "uikit/UIGeometry.h"
#include "uikit/UITraitCollection.h"

namespace lumora {

// The device classes and orientations a metric can differ by, in the builder's storage order.
enum class MetricSlot {
    landscapeMobile,
    portraitMobile,
    landscapeSmallMobile,
    portraitSmallMobile,
    landscapeLargeMobile,
    portraitLargeMobile,
    landscapeTablet,
    portraitTablet,
    tvOS,
};

// The slot that fits a trait environment on a screen of `screenBounds`. With S the shorter side of the
// screen: S < 375 is a small phone (portrait or landscape by the size classes), S >= 414 in a phone-like
// environment a large phone, any other phone-like environment a phone, and everything else a tablet,
// portrait when the screen is taller than wide. Phone-like is any environment with a compact size class;
// portrait is compact width with regular height. Television is never selected on this platform.
MetricSlot metricSlot(const uikit::UITraitCollection& traits, const uikit::CGRect& screenBounds);
// The same on the main screen (`uikit::UIScreen::main()`).
MetricSlot metricSlot(const uikit::UITraitCollection& traits);

// A builder whose selected slot and default value are both absent: "No portrait small mobile value
// defined", "No landscape tablet value defined", ...
struct MetricBuilderError {
    MetricSlot slot = MetricSlot::landscapeMobile;
    std::string localizedDescription() const;
    std::string domain() const { return "MetricBuilderError"; }
};

// `MetricBuilder::value(for:)` throws this when the builder lacks the value it needs. Every builder of the
// kit defines all phone and tablet values, so the kit never meets it.
class MissingMetricValue : public std::logic_error {
  public:
    explicit MissingMetricValue(MetricBuilderError error)
        : std::logic_error(error.localizedDescription()), error_(error) {}
    const MetricBuilderError& error() const { return error_; }

  private:
    MetricBuilderError error_;
};

// One value per device class and orientation, and the one that fits a trait environment. Metrics that
// differ by device are closures from a trait collection to a value that ask a builder made once.
// Main thread only (it reads the main screen).
template <class Value>
struct MetricBuilder {
    std::optional<Value> landscapeMobile;
    std::optional<Value> portraitMobile;
    std::optional<Value> landscapeSmallMobile;
    std::optional<Value> portraitSmallMobile;
    std::optional<Value> landscapeLargeMobile;
    std::optional<Value> portraitLargeMobile;
    std::optional<Value> landscapeTablet;
    std::optional<Value> portraitTablet;
    std::optional<Value> tvOS;
    std::optional<Value> defaultValue;

    // The value of a slot as stored (no default).
    const std::optional<Value>& at(MetricSlot slot) const {
        switch (slot) {
            case MetricSlot::landscapeMobile:
                return landscapeMobile;
            case MetricSlot::portraitMobile:
                return portraitMobile;
            case MetricSlot::landscapeSmallMobile:
                return landscapeSmallMobile;
            case MetricSlot::portraitSmallMobile:
                return portraitSmallMobile;
            case MetricSlot::landscapeLargeMobile:
                return landscapeLargeMobile;
            case MetricSlot::portraitLargeMobile:
                return portraitLargeMobile;
            case MetricSlot::landscapeTablet:
                return landscapeTablet;
            case MetricSlot::portraitTablet:
                return portraitTablet;
            case MetricSlot::tvOS:
                return tvOS;
        }
        return tvOS;
    }

    // The value of the selected slot, else `defaultValue`, else a `MetricBuilderError` naming the slot.
    std::expected<Value, foundation::Error> valueOrError(const uikit::UITraitCollection& traits,
                                                         const uikit::CGRect& screenBounds) const {
        const MetricSlot slot = metricSlot(traits, screenBounds);
        if (const auto& selected = at(slot)) return *selected;
        if (defaultValue) return *defaultValue;
        return std::unexpected(foundation::Error(MetricBuilderError{slot}));
    }
    std::expected<Value, foundation::Error> valueOrError(const uikit::UITraitCollection& traits) const {
        const MetricSlot slot = metricSlot(traits);
        if (const auto& selected = at(slot)) return *selected;
        if (defaultValue) return *defaultValue;
        return std::unexpected(foundation::Error(MetricBuilderError{slot}));
    }

    // `value(for:)`: as `valueOrError`, throwing `MissingMetricValue` when the builder lacks the value.
    Value value(const uikit::UITraitCollection& for_) const {
        auto result = valueOrError(for_);
        if (!result) throw MissingMetricValue(*result.error().template as<MetricBuilderError>());
        return *result;
    }
    Value value(const uikit::UITraitCollection& for_, const uikit::CGRect& screenBounds) const {
        auto result = valueOrError(for_, screenBounds);
        if (!result) throw MissingMetricValue(*result.error().template as<MetricBuilderError>());
        return *result;
    }
};

}  // namespace lumora
