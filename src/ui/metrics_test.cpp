#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>

#include "ui/MetricBuilder.h"
#include "ui/ZuPlayerControlsDisplayDensity.h"
#include "ui/ZuPlayerMetrics.h"
#include "ui/ZuPlayerStyle.h"
#include "ui/testing/DeviceScope.h"

namespace {

using namespace lumora;
using lumora::testing::DeviceScope;
using lumora::testing::PlayerAppearanceScope;
using uikit::CGRect;
using uikit::UITraitCollection;
using uikit::UIUserInterfaceIdiom;
using uikit::UIUserInterfaceSizeClass;

constexpr auto compact = UIUserInterfaceSizeClass::compact;
constexpr auto regular = UIUserInterfaceSizeClass::regular;
constexpr auto phone = UIUserInterfaceIdiom::phone;
constexpr auto pad = UIUserInterfaceIdiom::pad;

UITraitCollection traits(UIUserInterfaceSizeClass h, UIUserInterfaceSizeClass v) {
    UITraitCollection t;
    t.horizontalSizeClass = h;
    t.verticalSizeClass = v;
    return t;
}

// A builder whose every slot holds a distinct text, so a test sees which slot was chosen.
MetricBuilder<std::string> namedSlots() {
    return {
        .landscapeMobile = "landscapeMobile",
        .portraitMobile = "portraitMobile",
        .landscapeSmallMobile = "landscapeSmallMobile",
        .portraitSmallMobile = "portraitSmallMobile",
        .landscapeLargeMobile = "landscapeLargeMobile",
        .portraitLargeMobile = "portraitLargeMobile",
        .landscapeTablet = "landscapeTablet",
        .portraitTablet = "portraitTablet",
        .tvOS = "tvOS",
        .defaultValue = std::nullopt,
    };
}

TEST(MetricBuilderTest, EachDeviceClassAndOrientationPicksItsSlot) {
    const auto builder = namedSlots();
    struct Case {
        double width, height;
        UIUserInterfaceIdiom idiom;
        const char* expected;
    };
    // Traits as a full-screen window on that device derives them.
    const Case cases[] = {
        {390, 844, phone, "portraitMobile"},
        {844, 390, phone, "landscapeMobile"},  // regular width, compact height: still phone-like
        {375, 667, phone, "portraitMobile"},
        {413, 800, phone, "portraitMobile"},
        {414, 896, phone, "portraitLargeMobile"},
        {896, 414, phone, "landscapeLargeMobile"},
        {320, 568, phone, "portraitSmallMobile"},
        {568, 320, phone, "landscapeSmallMobile"},
        {1024, 1366, pad, "portraitTablet"},
        {1366, 1024, pad, "landscapeTablet"},
        {744, 1133, pad, "portraitTablet"},
    };
    for (const Case& c : cases) {
        DeviceScope device(c.width, c.height, c.idiom);
        EXPECT_EQ(builder.value(device.traits()), c.expected) << c.width << " x " << c.height;
    }
}

TEST(MetricBuilderTest, SmallScreensWinOverTheSizeClassesAndTabletsFollowTheScreen) {
    const auto builder = namedSlots();
    // A shorter side of 374 points is a small phone even in a regular-width, regular-height environment.
    EXPECT_EQ(builder.value(traits(regular, regular), CGRect(0, 0, 374, 700)), "landscapeSmallMobile");
    EXPECT_EQ(builder.value(traits(compact, regular), CGRect(0, 0, 700, 374)), "portraitSmallMobile");
    // Regular both ways is a tablet; its orientation is the screen's, not the size classes'.
    EXPECT_EQ(builder.value(traits(regular, regular), CGRect(0, 0, 800, 1200)), "portraitTablet");
    EXPECT_EQ(builder.value(traits(regular, regular), CGRect(0, 0, 1200, 800)), "landscapeTablet");
    EXPECT_EQ(builder.value(traits(regular, regular), CGRect(0, 0, 900, 900)), "landscapeTablet");
    // Unspecified size classes (a view outside a window) are not phone-like.
    EXPECT_EQ(builder.value(UITraitCollection{}, CGRect(0, 0, 390, 844)), "portraitTablet");
    // Compact both ways is a phone in landscape.
    EXPECT_EQ(builder.value(traits(compact, compact), CGRect(0, 0, 844, 390)), "landscapeMobile");
    EXPECT_EQ(builder.value(traits(compact, compact), CGRect(0, 0, 896, 414)), "landscapeLargeMobile");
}

TEST(MetricBuilderTest, AnAbsentSlotFallsBackToTheDefaultAndOtherwiseNamesTheSlot) {
    MetricBuilder<double> builder{.portraitMobile = 14, .defaultValue = 9};
    EXPECT_EQ(builder.value(traits(compact, regular), CGRect(0, 0, 390, 844)), 14);
    EXPECT_EQ(builder.value(traits(regular, compact), CGRect(0, 0, 844, 390)), 9);

    builder.defaultValue.reset();
    const auto missing = builder.valueOrError(traits(regular, compact), CGRect(0, 0, 844, 390));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().localizedDescription(), "No landscape mobile value defined");
    ASSERT_NE(missing.error().as<MetricBuilderError>(), nullptr);
    EXPECT_EQ(missing.error().as<MetricBuilderError>()->slot, MetricSlot::landscapeMobile);

    try {
        (void)builder.value(traits(regular, regular), CGRect(0, 0, 800, 1200));
        FAIL() << "a missing value must throw";
    } catch (const MissingMetricValue& error) {
        EXPECT_STREQ(error.what(), "No portrait tablet value defined");
        EXPECT_EQ(error.error().slot, MetricSlot::portraitTablet);
    }

    const std::pair<MetricSlot, const char*> texts[] = {
        {MetricSlot::portraitSmallMobile, "No portrait small mobile value defined"},
        {MetricSlot::landscapeSmallMobile, "No landscape small mobile value defined"},
        {MetricSlot::portraitLargeMobile, "No portrait large mobile value defined"},
        {MetricSlot::landscapeLargeMobile, "No landscape large mobile value defined"},
        {MetricSlot::portraitMobile, "No portrait mobile value defined"},
        {MetricSlot::landscapeMobile, "No landscape mobile value defined"},
        {MetricSlot::portraitTablet, "No portrait tablet value defined"},
        {MetricSlot::landscapeTablet, "No landscape tablet value defined"},
        {MetricSlot::tvOS, "No tvOS value defined"},
    };
    for (const auto& [slot, text] : texts) EXPECT_EQ(MetricBuilderError{slot}.localizedDescription(), text);
}

TEST(PlayerMetricsTest, DefaultsBeforeTheHostChangesThem) {
    PlayerAppearanceScope keep;
    const ZuPlayerMetrics& metrics = ZuPlayerMetrics::shared();
    EXPECT_EQ(metrics.defaultFontSize, 16.0);
    EXPECT_EQ(metrics.defaultTVEdgeBorder, 64.0);
    EXPECT_EQ(metrics.lowerControlsVerticalPadding, 0.0);
    EXPECT_EQ(metrics.verboseViewHeight, 0.0);
    EXPECT_EQ(metrics.bifThumbnailSize, (uikit::CGSize{195, 110}));
    EXPECT_EQ(metrics.defaultDisplayDensity.rawValue(), 2);
    EXPECT_EQ(metrics.backgroundThreshold, 300.0);
    ASSERT_TRUE(metrics.insetsControlsLayoutMarginsFromSafeArea);
    EXPECT_FALSE(ZuPlayerStyle::shared().defaultButtonStyle.has_value());
}

TEST(PlayerMetricsTest, ControlsKeepClearOfTheSafeAreaOnPhonesInLandscapeAndOnTablets) {
    PlayerAppearanceScope keep;
    const auto& insets = ZuPlayerMetrics::shared().insetsControlsLayoutMarginsFromSafeArea;
    struct Case {
        double width, height;
        UIUserInterfaceIdiom idiom;
        bool expected;
    };
    const Case cases[] = {
        {390, 844, phone, false}, {844, 390, phone, true},  // phone: compact width / regular width in landscape
        {320, 568, phone, false}, {568, 320, phone, true},  // small phone
        {414, 896, phone, false}, {896, 414, phone, true},  // large phone
        {1024, 1366, pad, true},  {1366, 1024, pad, true},  // tablet, both orientations
    };
    for (const Case& c : cases) {
        DeviceScope device(c.width, c.height, c.idiom);
        EXPECT_EQ(insets(device.traits()), c.expected) << c.width << " x " << c.height;
    }
}

TEST(PlayerMetricsTest, TheLiveValuesCanBeChangedInPlaceOrReplaced) {
    PlayerAppearanceScope keep;
    ZuPlayerMetrics::shared().defaultFontSize = 20;
    EXPECT_EQ(ZuPlayerMetrics::shared().defaultFontSize, 20);

    ZuPlayerMetrics copy = ZuPlayerMetrics::shared();
    copy.defaultDisplayDensity = 9;
    copy.insetsControlsLayoutMarginsFromSafeArea = [](const UITraitCollection&) { return true; };
    EXPECT_EQ(ZuPlayerMetrics::shared().defaultDisplayDensity.rawValue(), 2);  // a copy is a value of its own
    ZuPlayerMetrics::setShared(copy);
    EXPECT_EQ(ZuPlayerMetrics::shared().defaultDisplayDensity.rawValue(), 9);
    EXPECT_TRUE(ZuPlayerMetrics::shared().insetsControlsLayoutMarginsFromSafeArea(traits(compact, regular)));

    ZuPlayerStyle::shared().defaultButtonStyle.emplace([](uikit::UIButton& button) { button.setAlpha(0.2); });
    EXPECT_TRUE(ZuPlayerStyle::shared().defaultButtonStyle.has_value());
}

TEST(DisplayDensityTest, OnlyZeroToElevenExistAndOthersFallBack) {
    for (int raw = 0; raw <= 11; ++raw) {
        const auto density = ZuPlayerControlsDisplayDensity::fromRawValue(raw);
        ASSERT_TRUE(density) << raw;
        EXPECT_EQ(density->rawValue(), raw);
    }
    for (int raw : {-1, 12, 99, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        EXPECT_FALSE(ZuPlayerControlsDisplayDensity::fromRawValue(raw)) << raw;
        EXPECT_EQ(ZuPlayerControlsDisplayDensity::fromRawValue(raw, 2).rawValue(), 2) << raw;
        EXPECT_EQ(ZuPlayerControlsDisplayDensity::fromRawValue(raw, ZuPlayerMetrics::shared().defaultDisplayDensity)
                      .rawValue(),
                  2);
    }
    EXPECT_EQ(ZuPlayerControlsDisplayDensity::fromRawValue(7, 2).rawValue(), 7);
    EXPECT_EQ(ZuPlayerControlsDisplayDensity().rawValue(), 2);

    // Any density indexes a table of twelve safely, including one read from a hostile integer.
    constexpr std::array<int, 12> vertical{26, 26, 26, 26, 16, 16, 16, 16, 16, 14, 14, 64};
    EXPECT_EQ(ZuPlayerControlsDisplayDensity(11).in(vertical), 64);
    EXPECT_EQ(ZuPlayerControlsDisplayDensity::fromRawValue(1000, 2).in(vertical), 26);
    static_assert(ZuPlayerControlsDisplayDensity(4) < ZuPlayerControlsDisplayDensity(5));
}

}  // namespace
