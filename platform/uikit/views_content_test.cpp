#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "coregraphics/CGContext.h"
#include "coregraphics/FontEngine.h"
#include "dispatch/testing/ManualClockScope.h"
#include "imageio/Bitmap.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIWindow.h"

namespace {

using namespace uikit;
using coregraphics::CGDrawCommand;

std::shared_ptr<coregraphics::CGRecordingContext> display(const std::shared_ptr<UIView>& view) {
    view->setNeedsDisplay();
    view->layer()->displayIfNeeded();
    return view->layer()->contents();
}

class ViewsContent : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
};

TEST_F(ViewsContent, LabelMeasuresAndDrawsWithTheTextMetrics) {
    auto label = UILabel::create();
    EXPECT_EQ(label->intrinsicContentSize(), (CGSize{0, 0}));
    label->setText("00:42");
    label->setFont(UIFont::systemFont(16));
    // The measured line, rounded up to whole points.
    const CGFloat textWidth = TextMetrics::width("00:42", UIFont::systemFont(16));
    const CGFloat lineHeight = UIFont::systemFont(16).lineHeight();
    EXPECT_EQ(label->intrinsicContentSize(), (CGSize{std::ceil(textWidth), std::ceil(lineHeight)}));
    // Too narrow: the tail is truncated, within the width.
    const CGRect truncated = label->textRect(CGRect(5, 5, 30, 100), 1);
    EXPECT_EQ(truncated.origin, (CGPoint{5, 5}));
    EXPECT_LE(truncated.size.width, 30);
    EXPECT_EQ(truncated.size.height, std::ceil(lineHeight));
    label->setFont(UIFont::boldSystemFont(16));
    EXPECT_GT(label->intrinsicContentSize().width, std::ceil(textWidth));

    // Drawing: centred vertically in the bounds and aligned as asked.
    label->setFont(UIFont::systemFont(16));
    label->setFrame(CGRect(0, 0, 100, 40));
    label->setTextAlignment(NSTextAlignment::center);
    label->setTextColor(UIColor::white());
    auto ctx = display(label);
    auto texts = ctx->commands(CGDrawCommand::Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "00:42");
    EXPECT_DOUBLE_EQ(texts[0].rect.midX(), 50);
    EXPECT_DOUBLE_EQ(texts[0].rect.midY(), 20);
    EXPECT_EQ(texts[0].rect.size, (CGSize{textWidth, lineHeight}));
    EXPECT_EQ(texts[0].color, coregraphics::CGColor::white());
    EXPECT_EQ(texts[0].fontSize, 16);
    EXPECT_EQ(texts[0].font, UIFont::systemFont(16).cgFont());

    // Attributed text brings its own font and colour.
    NSAttributedString styled("Hi", {{NSAttributedStringKey::font, UIFont::boldSystemFont(20)},
                                     {NSAttributedStringKey::foregroundColor, UIColor::red()}});
    label->setAttributedText(styled);
    EXPECT_EQ(label->text(), std::optional<std::string>("Hi"));
    EXPECT_EQ(label->intrinsicContentSize(), (CGSize{std::ceil(TextMetrics::width("Hi", UIFont::boldSystemFont(20))),
                                                     std::ceil(UIFont::boldSystemFont(20).lineHeight())}));
    texts = display(label)->commands(CGDrawCommand::Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].color, UIColor::red().cgColor());
    label->setText("plain");
    EXPECT_EQ(label->attributedText()->string(), "plain");
    EXPECT_EQ(label->snapshotAttributes(), "text=\"plain\"");
}

TEST_F(ViewsContent, MultiLineLabelsWrapAtTheWidthTheyAreGiven) {
    const UIFont font = UIFont::systemFont(10);
    const CGFloat line = std::ceil(font.lineHeight());  // 12 points
    auto root = UIView::create(CGRect(0, 0, 100, 300));
    auto label = UILabel::create();
    label->setFont(font);
    label->setNumberOfLines(0);
    label->setText("one two three four five");
    root->addSubview(label);
    label->snp().makeConstraints([](ConstraintMaker& make) { make.leading().trailing().top().equalToSuperview(); });
    root->layoutIfNeeded();
    // 100 points hold "one two three four" (about 90 points) and then "five".
    ASSERT_LT(TextMetrics::width("one two three four", font), 100);
    EXPECT_EQ(label->frame().size.height, 2 * line);
    EXPECT_EQ(label->textRect(label->bounds(), 0).size.height, 2 * line);
    EXPECT_EQ(label->textRect(label->bounds(), 1).size.height, line);
    root->setFrame(CGRect(0, 0, 50, 300));
    root->layoutIfNeeded();
    EXPECT_EQ(label->frame().size.width, 50);
    EXPECT_EQ(label->frame().size.height, std::ceil(3 * font.lineHeight()));  // "one two" / "three four" / "five"
    auto texts = display(label)->commands(CGDrawCommand::Kind::drawText);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1].text, "three four");

    // A preferred width fixes the wrapping width; a line limit truncates.
    label->setPreferredMaxLayoutWidth(200);
    EXPECT_EQ(label->intrinsicContentSize().height, line);
    label->setPreferredMaxLayoutWidth(0);
    label->setNumberOfLines(2);
    root->layoutIfNeeded();
    EXPECT_EQ(label->frame().size.height, 2 * line);

    // Single line with shrinking: the font scales down to fit, not below the minimum factor.
    const CGFloat natural = TextMetrics::width("abcdefghij", font);
    auto shrink = UILabel::create(CGRect(0, 0, natural / 2, 20));
    shrink->setFont(font);
    shrink->setText("abcdefghij");
    shrink->setAdjustsFontSizeToFitWidth(true);
    texts = display(shrink)->commands(CGDrawCommand::Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NEAR(texts[0].fontSize, 5, 1e-6);
    EXPECT_LE(texts[0].rect.width(), natural / 2 + 1e-6);
    shrink->setMinimumScaleFactor(0.8);
    texts = display(shrink)->commands(CGDrawCommand::Kind::drawText);
    EXPECT_DOUBLE_EQ(texts[0].fontSize, 8);

    // Several lines with shrinking: the font scales down until the text fits the bounds with no word broken.
    auto box = UILabel::create(CGRect(0, 0, TextMetrics::width("abc", font) * 0.8, font.lineHeight() * 0.7));
    box->setFont(font);
    box->setNumberOfLines(0);
    box->setText("abc");
    box->setAdjustsFontSizeToFitWidth(true);
    texts = display(box)->commands(CGDrawCommand::Kind::drawText);
    ASSERT_EQ(texts.size(), 1u) << "one line: the word is not broken";
    EXPECT_LT(texts[0].fontSize, 10 * 0.7 + 1e-6);
    EXPECT_LE(texts[0].rect.width(), box->bounds().width() + 1e-6);
    EXPECT_LE(texts[0].rect.height(), box->bounds().height() + 1e-6);
}

TEST_F(ViewsContent, ShrinkingSeveralLinesTakesTheFirstFivePercentStepThatFitsAndMeasuresFewOfThem) {
    const UIFont font = UIFont::systemFont(16, UIFont::Weight::bold);
    // The rule, step by step: 1, 0.95, 0.95², … until the words fit the width and the lines the height, or the
    // next step would go below the smallest scale.
    auto walked = [&](const std::string& text, CGSize room, CGFloat smallest) {
        std::vector<std::string> words;
        std::string word;
        for (char c : text + " ") {
            if (c == ' ') {
                if (!word.empty()) words.push_back(word);
                word.clear();
            } else {
                word.push_back(c);
            }
        }
        for (CGFloat scale = 1;; scale *= 0.95) {
            const UIFont f = font.withSize(font.pointSize() * scale);
            bool fits = true;
            for (const auto& w : words) fits = fits && TextMetrics::width(w, f) <= room.width + 1e-9;
            const TextLayout layout = TextMetrics::layout(text, f, room.width, 0, NSLineBreakMode::byTruncatingTail);
            fits = fits && !layout.truncated && layout.size.height <= room.height + 1e-9;
            if (fits || scale * 0.95 < smallest) return f.pointSize();
        }
    };
    for (const std::string text : {"E7", "F4012", "Goal J. Smith", "Red card for the keeper"}) {
        for (CGFloat width : {3.0, 11.0, 24.0, 47.0, 200.0}) {
            for (CGFloat height : {4.0, 13.8, 31.0}) {
                for (CGFloat minimum : {0.0, 0.5}) {
                    auto label = UILabel::create(CGRect(0, 0, width, height));
                    label->setFont(font);
                    label->setNumberOfLines(0);
                    label->setText(text);
                    label->setAdjustsFontSizeToFitWidth(true);
                    label->setMinimumScaleFactor(minimum);
                    const auto texts = display(label)->commands(CGDrawCommand::Kind::drawText);
                    ASSERT_FALSE(texts.empty()) << text;
                    EXPECT_DOUBLE_EQ(texts[0].fontSize,
                                     walked(text, CGSize{width, height}, minimum > 0 ? minimum : 0.05))
                        << text << " in " << width << " x " << height << ", minimum " << minimum;
                }
            }
        }
    }

    // A marker's code that needs some twenty steps is measured at a handful of sizes, not at each step.
    auto label = UILabel::create(CGRect(0, 0, 24, 13.8));
    label->setFont(font);
    label->setNumberOfLines(0);
    label->setText("Q4711");
    label->setAdjustsFontSizeToFitWidth(true);
    const auto before = coregraphics::FontEngine::shared().statistics();
    const auto texts = display(label)->commands(CGDrawCommand::Kind::drawText);
    const auto after = coregraphics::FontEngine::shared().statistics();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_LT(texts[0].fontSize, 16 * std::pow(0.95, 10));
    EXPECT_LE(after.linesShaped - before.linesShaped, 8u);
}

TEST_F(ViewsContent, ImageViewSizesAndPlacesItsImage) {
    auto bitmap = imageio::Bitmap::filled(60, 30, imageio::RGBA{255, 0, 0, 255});
    ASSERT_TRUE(bitmap);
    auto image = UIImage::create(*bitmap, 2);  // 30 × 15 points
    auto view = UIImageView::create(image);
    EXPECT_EQ(view->frame(), CGRect(0, 0, 30, 15));
    EXPECT_EQ(view->intrinsicContentSize(), (CGSize{30, 15}));
    view->setFrame(CGRect(0, 0, 100, 100));
    view->setContentMode(UIView::ContentMode::scaleAspectFit);
    EXPECT_EQ(view->imageRect(), CGRect(0, 25, 100, 50));
    view->setContentMode(UIView::ContentMode::scaleAspectFill);
    EXPECT_EQ(view->imageRect(), CGRect(-50, 0, 200, 100));
    view->setContentMode(UIView::ContentMode::topLeft);
    auto images = display(view)->commands(CGDrawCommand::Kind::drawImage);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].rect, CGRect(0, 0, 30, 15));

    // Without an image there is no intrinsic size, and auto layout sees the change of image.
    auto root = UIView::create(CGRect(0, 0, 200, 200));
    auto holder = UIImageView::create();
    root->addSubview(holder);
    holder->snp().makeConstraints([](ConstraintMaker& make) { make.center().equalToSuperview(); });
    EXPECT_EQ(holder->intrinsicContentSize(), (CGSize{UIView::noIntrinsicMetric, UIView::noIntrinsicMetric}));
    holder->setImage(image);
    root->layoutIfNeeded();
    EXPECT_EQ(holder->frame(), CGRect(85, 92.5, 30, 15));
    EXPECT_EQ(holder->snapshotAttributes(), "image=30x15");
}

TEST_F(ViewsContent, ScrollViewOffsetsAndInsets) {
    struct Observer : UIScrollViewDelegate {
        void scrollViewDidScroll(UIScrollView& s) override { offsets.push_back(s.contentOffset()); }
        std::vector<CGPoint> offsets;
    };
    auto window = UIWindow::create(CGRect(0, 0, 320, 480));
    window->setSafeAreaInsets(UIEdgeInsets{20, 0, 34, 0});
    auto scroll = UIScrollView::create(CGRect(0, 0, 320, 480));
    window->addSubview(scroll);
    auto observer = std::make_shared<Observer>();
    scroll->setDelegate(observer);
    EXPECT_TRUE(scroll->clipsToBounds());
    EXPECT_TRUE(scroll->showsVerticalScrollIndicator());
    EXPECT_TRUE(scroll->isScrollEnabled());
    EXPECT_FALSE(scroll->isPagingEnabled());
    EXPECT_TRUE(scroll->bounces());

    auto content = UIView::create(CGRect(0, 0, 320, 1000));
    scroll->addSubview(content);
    scroll->setContentSize({320, 1000});
    scroll->setContentOffset({0, 200});
    EXPECT_EQ(scroll->bounds().origin, (CGPoint{0, 200}));
    EXPECT_EQ(content->convertTo(CGPoint{0, 200}, window), (CGPoint{0, 0}));
    ASSERT_EQ(observer->offsets.size(), 1u);

    // Keyboard avoidance sets the inset; the adjusted inset adds the safe area unless told not to.
    window->layoutIfNeeded();
    scroll->setContentInset(UIEdgeInsets{0, 0, 291, 0});
    EXPECT_EQ(scroll->adjustedContentInset(), (UIEdgeInsets{20, 0, 325, 0}));
    scroll->setContentInsetAdjustmentBehavior(UIScrollView::ContentInsetAdjustmentBehavior::never);
    EXPECT_EQ(scroll->adjustedContentInset(), (UIEdgeInsets{0, 0, 291, 0}));

    // An animated offset moves the bounds over time; the model offset is set at once.
    scroll->setContentOffsetAnimated({0, 0}, true);
    EXPECT_EQ(scroll->contentOffset(), (CGPoint{0, 0}));
    EXPECT_EQ(scroll->presentation().bounds.origin, (CGPoint{0, 200}));
    clock.advance(0.3);
    EXPECT_EQ(scroll->presentation().bounds.origin, (CGPoint{0, 0}));
}

TEST_F(ViewsContent, ActivityIndicatorDrawsEightFadingSpokes) {
    auto spinner = UIActivityIndicatorView::create(UIActivityIndicatorView::Style::medium);
    spinner->setColor(UIColor::white());
    auto strokes = display(spinner)->commands(CGDrawCommand::Kind::strokePath);
    ASSERT_EQ(strokes.size(), 8u);
    EXPECT_EQ(strokes[0].color, coregraphics::CGColor::white());
    EXPECT_LT(strokes[7].color.alpha, strokes[0].color.alpha);
    for (const auto& stroke : strokes) {
        EXPECT_TRUE(CGRect(0, 0, 20, 20).contains(stroke.path.boundingBox()));
    }
}

}  // namespace
