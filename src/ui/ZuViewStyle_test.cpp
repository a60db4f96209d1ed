#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ui/KitColors.h"
#include "ui/ZuViewStyle.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"

namespace {

using namespace lumora;
using uikit::UIColor;

// Whether `apply(view, style)` compiles for a view of static type V and a style of S.
template <class V, class S>
concept Applicable = requires(V& view, const ZuViewStyle<S>& style) {
    apply(view, style);
};

// A style can only be applied, unchecked, to views of its class or a subclass; a view of an unrelated class
// does not compile at all.
static_assert(Applicable<uikit::UILabel, uikit::UILabel>);
static_assert(Applicable<uikit::UIButton, uikit::UIControl>);
static_assert(Applicable<uikit::UIButton, uikit::UIView>);
static_assert(!Applicable<uikit::UIButton, uikit::UILabel>);
static_assert(!Applicable<uikit::UILabel, uikit::UIButton>);
static_assert(std::is_void_v<decltype(apply(std::declval<uikit::UILabel&>(),
                                            std::declval<const ZuViewStyle<uikit::UILabel>&>()))>);

TEST(ZuViewStyleTest, RunsItsClosureOnViewsOfItsClassAndSubclasses) {
    const ZuViewStyle<uikit::UIControl> dim([](uikit::UIControl& control) {
        control.setAlpha(0.4);
        control.setIsEnabled(false);
    });
    auto button = uikit::UIButton::create();
    apply(*button, dim);
    EXPECT_EQ(button->alpha(), 0.4);
    EXPECT_FALSE(button->isEnabled());

    // apply(to:) on the style itself does the same.
    auto other = uikit::UIButton::create();
    dim.apply(*other);
    EXPECT_EQ(other->alpha(), 0.4);

    // A style without a closure changes nothing.
    const ZuViewStyle<uikit::UIView> empty(nullptr);
    apply(*other, empty);
    EXPECT_EQ(other->alpha(), 0.4);
}

TEST(ZuViewStyleTest, AViewKnownOnlyByItsBaseClassIsCheckedWhenRunning) {
    const ZuViewStyle<uikit::UILabel> white([](uikit::UILabel& label) { label.setTextColor(UIColor::white()); });

    std::shared_ptr<uikit::UIView> label = uikit::UILabel::create();
    ASSERT_TRUE(apply(*label, white));
    EXPECT_EQ(std::static_pointer_cast<uikit::UILabel>(label)->textColor(), UIColor::white());

    std::shared_ptr<uikit::UIView> button = uikit::UIButton::create();
    button->setAlpha(0.7);
    const auto refused = apply(*button, white);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().localizedDescription(), "The type of style is not compatible with the type of UIView.");
    const auto* error = refused.error().as<ZuViewStyleError>();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->styleViewType, "uikit::UILabel");
    EXPECT_EQ(error->viewType, "uikit::UIButton");
    EXPECT_EQ(button->alpha(), 0.7);  // untouched
}

TEST(KitColorsTest, TheKitsColoursByComponent) {
    EXPECT_EQ(colors::lightGrey(), UIColor(210 / 255.0, 210 / 255.0, 219 / 255.0, 1));
    EXPECT_EQ(colors::ironStone(), UIColor(42 / 255.0, 44 / 255.0, 55 / 255.0, 1));
    EXPECT_EQ(colors::primary(), UIColor(6 / 255.0, 226 / 255.0, 119 / 255.0, 1));
    EXPECT_EQ(colors::aluminium(), UIColor(170 / 255.0, 175 / 255.0, 184 / 255.0, 1));
    EXPECT_EQ(colors::woodsmoke(), UIColor(18 / 255.0, 21 / 255.0, 25 / 255.0, 1));
    // Made once and shared.
    EXPECT_EQ(&colors::woodsmoke(), &colors::woodsmoke());
}

TEST(KitColorsTest, AdjustedAddsToEachComponentWithinRangeAndKeepsAlpha) {
    const auto lighter = colors::adjusted(colors::woodsmoke(), 0.16);
    ASSERT_TRUE(lighter);
    const auto c = lighter->components();
    EXPECT_DOUBLE_EQ(c.red, 18 / 255.0 + 0.16);
    EXPECT_DOUBLE_EQ(c.green, 21 / 255.0 + 0.16);
    EXPECT_DOUBLE_EQ(c.blue, 25 / 255.0 + 0.16);
    EXPECT_EQ(c.alpha, 1);

    EXPECT_EQ(colors::adjusted(UIColor(0.9, 0.5, 0.95, 0.3), 0.2), UIColor(1.0, 0.7, 1.0, 0.3));
    const auto darker = colors::adjusted(UIColor(0.1, 0.5, 0.3, 1), -0.2)->components();
    EXPECT_EQ(darker.red, 0.0);  // never below 0
    EXPECT_DOUBLE_EQ(darker.green, 0.3);
    EXPECT_DOUBLE_EQ(darker.blue, 0.1);
    EXPECT_EQ(colors::adjusted(UIColor::white(), std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(colors::adjusted(UIColor::white(), std::numeric_limits<double>::infinity()), std::nullopt);
}

}  // namespace
