#include "controls/ZuPlayerButton.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>

#include "controls/OrvLabel.h"
#include "controls/ZuInsetLabel.h"
#include "dispatch/testing/ManualClockScope.h"
#include "ui/ZuPlayerMetrics.h"
#include "ui/ZuPlayerStyle.h"
#include "ui/testing/DeviceScope.h"
#include "uikit/UIGraphicsImageRenderer.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace lumora;
using uikit::CGRect;
using uikit::CGSize;
using uikit::UIColor;

// A 20 × 10 image of one colour.
std::shared_ptr<uikit::UIImage> block(CGSize size = {20, 10}) {
    uikit::UIGraphicsImageRenderer renderer(size, {.scale = 1});
    return renderer.image([&](uikit::UIGraphicsImageRendererContext& ctx) {
        UIColor::white().setFill();
        ctx.fill(CGRect(uikit::CGPoint(), size));
    });
}

class ControlButtonTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
    lumora::testing::PlayerAppearanceScope appearance;
};

TEST_F(ControlButtonTest, AControlButtonHasTheOneLookOfTheControls) {
    auto button = ZuPlayerButton::controlButton(CGSize{44, 44});
    EXPECT_EQ(button->buttonType(), uikit::UIButton::ButtonType::custom);
    EXPECT_EQ(button->backgroundColor(), UIColor::clear());
    EXPECT_DOUBLE_EQ(button->alpha(), 0.6);
    EXPECT_EQ(button->layer()->shadowColor(), UIColor::black().cgColor());
    EXPECT_EQ(button->layer()->shadowOffset(), (CGSize{0, 1}));
    EXPECT_DOUBLE_EQ(button->layer()->shadowOpacity(), 0.68);
    EXPECT_DOUBLE_EQ(button->layer()->shadowRadius(), 2);
    EXPECT_EQ(button->snp().constraints().size(), 2u);  // width and height

    // Laid out, the size constraint wins over the content.
    auto host = uikit::UIView::create(CGRect(0, 0, 200, 200));
    host->addSubview(button);
    button->setImageFor(block(), uikit::UIControl::State::normal());
    host->layoutIfNeeded();
    EXPECT_EQ(button->frame().size, (CGSize{44, 44}));

    // Without a size there is no constraint: the button takes its image and title plus their insets.
    auto free = ZuPlayerButton::controlButton(std::nullopt);
    EXPECT_TRUE(free->snp().constraints().empty());
    free->setImageFor(block(), uikit::UIControl::State::normal());
    const CGSize bare = free->intrinsicContentSize();
    EXPECT_EQ(bare, (CGSize{20, 10}));
    free->setTitleFor("Related Videos", uikit::UIControl::State::normal());
    free->setTitleEdgeInsets({2, 14, 3, 0});
    free->setImageEdgeInsets({1, 4, 1, 4});
    const CGSize titled = free->intrinsicContentSize();
    auto plain = uikit::UIButton::create(uikit::UIButton::ButtonType::custom);
    plain->titleLabel()->setFont(free->titleLabel()->font());
    plain->setImageFor(block(), uikit::UIControl::State::normal());
    plain->setTitleFor("Related Videos", uikit::UIControl::State::normal());
    EXPECT_EQ(titled.width, plain->intrinsicContentSize().width + 14 + 8);
    EXPECT_EQ(titled.height, plain->intrinsicContentSize().height + 5 + 2);
    host->addSubview(free);
    free->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.top().left().equalToSuperview(); });
    host->layoutIfNeeded();
    EXPECT_EQ(free->frame().size, titled);
}

TEST_F(ControlButtonTest, TheFontIsTakenOnceAndTheDefaultStyleAppliesToLaterButtons) {
    const auto firstFont = ZuPlayerButton::controlButton(std::nullopt)->titleLabel()->font();
    EXPECT_DOUBLE_EQ(firstFont.pointSize(), ZuPlayerMetrics::shared().defaultFontSize);
    ZuPlayerMetrics::shared().defaultFontSize = 30;
    EXPECT_EQ(ZuPlayerButton::controlButton(std::nullopt)->titleLabel()->font(), firstFont);

    auto before = ZuPlayerButton::controlButton(std::nullopt);
    ZuPlayerStyle::shared().defaultButtonStyle =
        ZuViewStyle<uikit::UIButton>([](uikit::UIButton& b) { b.setTintColor(UIColor::orange()); });
    auto after = ZuPlayerButton::controlButton(std::nullopt);
    EXPECT_EQ(after->tintColor(), UIColor::orange());
    EXPECT_NE(before->tintColor(), UIColor::orange());
}

// The rows of a rendering that hold a bright pixel: the first and the last.
std::pair<int, int> inkedRows(const imageio::Bitmap& pixels) {
    int first = -1, last = -1;
    for (std::uint32_t y = 0; y < pixels.height(); ++y) {
        for (std::uint32_t x = 0; x < pixels.width(); ++x) {
            if ((*pixels.pixel(x, y))[0] > 128) {
                if (first < 0) first = static_cast<int>(y);
                last = static_cast<int>(y);
                break;
            }
        }
    }
    return {first, last};
}

std::shared_ptr<OrvLabel> orvLabel(uikit::UIViewContentMode mode, CGSize size = {120, 80}) {
    auto label = OrvLabel::create(CGRect(uikit::CGPoint(), size));
    label->setBackgroundColor(UIColor::black());
    label->setTextColor(UIColor::white());
    label->setText("Highlights");
    label->setContentMode(mode);
    return label;
}

TEST_F(ControlButtonTest, AnOrvLabelHugsTheEdgeItsContentModeNames) {
    using Mode = uikit::UIViewContentMode;
    auto render = [](const std::shared_ptr<OrvLabel>& label) {
        auto pixels = uikit::testing::renderView(*label);
        return inkedRows(*pixels);
    };
    const auto top = render(orvLabel(Mode::top));
    const auto topLeft = render(orvLabel(Mode::topLeft));
    const auto bottom = render(orvLabel(Mode::bottomRight));
    const auto centre = render(orvLabel(Mode::center));
    EXPECT_LT(top.first, 8);
    EXPECT_EQ(topLeft, top);
    EXPECT_GT(bottom.second, 72);
    EXPECT_NEAR((centre.first + centre.second) / 2.0, 40, 4);

    // Text taller than the label: the whole rectangle in the top modes, unshifted in the bottom ones.
    auto tallTop = orvLabel(Mode::top, {40, 12});
    auto tallBottom = orvLabel(Mode::bottom, {40, 12});
    auto tallCentre = orvLabel(Mode::scaleToFill, {40, 12});
    for (const auto& label : {tallTop, tallBottom, tallCentre}) {
        label->setNumberOfLines(0);
        label->setText("Goal Goal Goal Goal");
    }
    EXPECT_EQ(render(tallTop), render(tallCentre));
    EXPECT_EQ(render(tallBottom), render(tallCentre));
}

TEST_F(ControlButtonTest, AnInsetLabelGrowsByItsInsetsAndDrawsInsideThem) {
    auto label = ZuInsetLabel::create(CGRect(0, 0, 160, 40));
    label->setText("Next Episode");
    const CGSize bare = label->intrinsicContentSize();
    EXPECT_EQ(label->edgeInsets(), uikit::UIEdgeInsets());
    label->setEdgeInsets({4, 8, 4, 8});
    EXPECT_EQ(label->intrinsicContentSize(), (CGSize{bare.width + 16, bare.height + 8}));

    label->setBackgroundColor(UIColor::black());
    label->setTextColor(UIColor::white());
    label->setEdgeInsets({24, 0, 0, 0});  // the text centred in the lower 16 points
    auto pixels = uikit::testing::renderView(*label);
    ASSERT_TRUE(pixels);
    EXPECT_GE(inkedRows(*pixels).first, 24);
}

}  // namespace
