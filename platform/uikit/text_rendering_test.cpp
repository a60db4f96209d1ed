#include <gtest/gtest.h>

#include <cmath>

#include "dispatch/testing/ManualClockScope.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UIStackView.h"
#include "uikit/UITextField.h"
#include "uikit/testing/SnapshotTesting.h"

namespace uikit {
namespace {

using coregraphics::CGDrawCommand;

// The bounding box, in points, of the pixels that differ from the (white) background.
CGRect inkBounds(const imageio::Bitmap& pixels, CGFloat scale) {
    std::uint32_t minX = pixels.width(), minY = pixels.height(), maxX = 0, maxY = 0;
    bool any = false;
    for (std::uint32_t y = 0; y < pixels.height(); ++y)
        for (std::uint32_t x = 0; x < pixels.width(); ++x) {
            const auto p = *pixels.pixel(x, y);
            if (p[0] == 255 && p[1] == 255 && p[2] == 255) continue;
            any = true;
            minX = std::min(minX, x), maxX = std::max(maxX, x);
            minY = std::min(minY, y), maxY = std::max(maxY, y);
        }
    if (!any) return CGRect::null();
    return CGRect(minX / scale, minY / scale, (maxX + 1 - minX) / scale, (maxY + 1 - minY) / scale);
}

class TextRendering : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
};

TEST_F(TextRendering, DrawnInkLiesInsideTheMeasuredRectangle) {
    struct Case {
        std::string text;
        UIFont font;
    };
    const std::vector<Case> cases = {
        {"Hello, World", UIFont::systemFont(17)},
        {"\xC3\x85gjy|Q", UIFont::systemFont(24)},  // an accent above, descenders below
        {"Semibold title", UIFont::systemFont(20, UIFont::Weight::semibold)},
        {"01:23:45", UIFont::monospacedDigitSystemFont(15, UIFont::Weight::regular)},
    };
    for (const Case& c : cases) {
        auto root = UIView::create(CGRect(0, 0, 300, 60));
        root->setBackgroundColor(UIColor::white());
        auto label = UILabel::create();
        label->setFont(c.font);
        label->setText(c.text);
        root->addSubview(label);
        label->setFrame(CGRect(CGPoint{6, 8}, label->intrinsicContentSize()));
        const auto pixels = testing::renderView(*root, 2);
        ASSERT_TRUE(pixels);
        const CGRect ink = inkBounds(*pixels, 2);
        ASSERT_FALSE(ink.isNull()) << c.text;
        // Half a point of slack: anti-aliasing and the baseline placed on a whole pixel.
        EXPECT_TRUE(label->frame().insetBy(-0.5, -0.5).contains(ink))
            << c.text << ": ink " << ink << " label " << label->frame();
        // And the ink fills the measured width, so it is not drawn somewhere else.
        EXPECT_GT(ink.width(), 0.8 * label->frame().width()) << c.text;
    }
}

TEST_F(TextRendering, TruncationAddsAnEllipsisAndWiderTextWrapsAtTheMeasuredWidth) {
    const UIFont font = UIFont::systemFont(16);
    const std::string text = "Your session ends in five minutes";
    const CGFloat measured = TextMetrics::width(text, font);

    // One line, too narrow: the tail gives way to "…" and what is drawn fits the label.
    auto label = UILabel::create(CGRect(0, 0, measured / 2, 30));
    label->setFont(font);
    label->setText(text);
    auto recorder = coregraphics::CGRecordingContext::create();
    {
        coregraphics::GraphicsContextScope scope(recorder);
        label->draw(label->bounds());
    }
    const auto drawn = recorder->commands(CGDrawCommand::Kind::drawText);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].text.substr(drawn[0].text.size() - 3), "\xE2\x80\xA6");
    EXPECT_EQ(text.rfind(drawn[0].text.substr(0, drawn[0].text.size() - 3), 0), 0u);
    EXPECT_LE(drawn[0].rect.width(), measured / 2);

    // Many lines: at its measured width the text is one line, any narrower and it wraps.
    auto wrapping = UILabel::create();
    wrapping->setFont(font);
    wrapping->setNumberOfLines(0);
    wrapping->setText(text);
    EXPECT_EQ(wrapping->sizeThatFits({std::ceil(measured), 0}).height, std::ceil(font.lineHeight()));
    EXPECT_EQ(wrapping->sizeThatFits({measured - 1, 0}).height, std::ceil(2 * font.lineHeight()));
    const CGSize narrow = wrapping->sizeThatFits({120, 0});
    EXPECT_LE(narrow.width, 120);
    EXPECT_GE(narrow.height, std::ceil(3 * font.lineHeight()));
}

TEST_F(TextRendering, ALabelAndAButtonInAStackViewWithRealText) {
    auto root = UIView::create(CGRect(0, 0, 240, 170));
    root->setBackgroundColor(UIColor::white());
    auto stack = UIStackView::create();
    stack->setAxis(UIStackView::Axis::vertical);
    stack->setSpacing(10);
    stack->setAlignment(UIStackView::Alignment::fill);
    root->addSubview(stack);
    stack->snp().makeConstraints(
        [](ConstraintMaker& make) { make.leading().trailing().top().equalToSuperview().inset(16); });

    auto title = UILabel::create();
    title->setFont(UIFont::systemFont(20, UIFont::Weight::semibold));
    title->setText("Sign in to watch");
    stack->addArrangedSubview(title);
    auto body = UILabel::create();
    body->setFont(UIFont::systemFont(13));
    body->setTextColor(UIColor(0.35, 0.37, 0.42, 1));
    body->setNumberOfLines(0);
    body->setText("Use the account of your TV subscription to continue.");
    stack->addArrangedSubview(body);
    auto button = UIButton::create(UIButton::ButtonType::custom);
    button->setTitleFor("Continue", UIControl::State::normal());
    button->titleLabel()->setFont(UIFont::systemFont(16, UIFont::Weight::semibold));
    button->setBackgroundColor(UIColor::systemBlue());
    button->layer()->setCornerRadius(8);
    button->setContentEdgeInsets({10, 20, 10, 20});
    stack->addArrangedSubview(button);

    root->layoutIfNeeded();
    // Real text laid out: the body wraps inside the stack's width, the button fits its title.
    EXPECT_EQ(body->frame().width(), 208);
    EXPECT_GT(body->frame().height(), std::ceil(UIFont::systemFont(13).lineHeight()));
    EXPECT_EQ(button->frame().height(), std::ceil(UIFont::systemFont(16, UIFont::Weight::semibold).lineHeight()) + 20);
    EXPECT_TRUE(button->bounds().contains(button->titleLabel()->frame()));

    EXPECT_SNAPSHOT(*root, "label_and_button_stack");
}

TEST_F(TextRendering, AlignmentsWeightsAndFields) {
    auto root = UIView::create(CGRect(0, 0, 220, 226));
    root->setBackgroundColor(UIColor::white());
    CGFloat y = 6;
    auto add = [&](const std::shared_ptr<UIView>& view, CGFloat height) {
        view->setFrame(CGRect(10, y, 200, height));
        root->addSubview(view);
        y += height + 4;
    };
    const NSTextAlignment alignments[] = {NSTextAlignment::left, NSTextAlignment::center, NSTextAlignment::right};
    const char* names[] = {"Left", "Centre", "Right"};
    for (int i = 0; i < 3; ++i) {
        auto label = UILabel::create();
        label->setText(names[i]);
        label->setFont(UIFont::systemFont(14));
        label->setTextAlignment(alignments[i]);
        label->setBackgroundColor(UIColor(0.93, 0.95, 1, 1));
        add(label, 20);
    }
    const std::pair<const char*, UIFont::Weight> weights[] = {{"Regular", UIFont::Weight::regular},
                                                              {"Medium", UIFont::Weight::medium},
                                                              {"Semibold", UIFont::Weight::semibold},
                                                              {"Bold", UIFont::Weight::bold}};
    for (const auto& [name, weight] : weights) {
        auto label = UILabel::create();
        label->setText(name);
        label->setFont(UIFont::systemFont(14, weight));
        add(label, 18);
    }
    auto time = UILabel::create();
    time->setText("01:11:48 / 1:45:00");
    time->setFont(UIFont::monospacedDigitSystemFont(14, UIFont::Weight::regular));
    add(time, 18);
    auto field = UITextField::create();
    field->setBorderStyle(UITextField::BorderStyle::roundedRect);
    field->setPlaceholder("Email address");
    add(field, 30);

    EXPECT_SNAPSHOT(*root, "text_styles");
}

}  // namespace
}  // namespace uikit
