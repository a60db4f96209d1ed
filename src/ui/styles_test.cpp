#include <gtest/gtest.h>

#include "ui/KitColors.h"
#include "ui/ZuStyleManager.h"
#include "ui/testing/DeviceScope.h"
#include "uikit/NSAttributedString.h"
#include "uikit/UIButton.h"

namespace {

using namespace lumora;
using lumora::testing::PlayerAppearanceScope;
using uikit::NSAttributedStringKey;
using uikit::UIColor;
using uikit::UIControl;
using uikit::UIFont;
using Axis = uikit::UIView::Axis;

TEST(StyleManagerTest, SpeedIndicatorTitlesAreTheKitsGreyAndItIsSixtyPointsHigh) {
    auto control = uikit::UISegmentedControl::create(std::vector<std::string>{"0.5x", "1x", "1.5x", "2x"});
    auto host = uikit::UIView::create(uikit::CGRect(0, 0, 300, 200));
    host->addSubview(control);
    apply(*control, ZuStyleManager::default_().playbackSpeedIndicator);

    EXPECT_EQ(control->backgroundColor(), UIColor::clear());
    const auto normal = control->titleTextAttributes(UIControl::State::normal());
    ASSERT_TRUE(normal);
    EXPECT_EQ(*uikit::foregroundColorAttribute(*normal), UIColor(210 / 255.0, 210 / 255.0, 219 / 255.0, 0.5));
    EXPECT_EQ(*uikit::fontAttribute(*normal), UIFont::systemFont(25, UIFont::Weight::regular));
    const auto selected = control->titleTextAttributes(UIControl::State::selected());
    ASSERT_TRUE(selected);
    EXPECT_EQ(*uikit::foregroundColorAttribute(*selected), colors::lightGrey());
    EXPECT_EQ(*uikit::fontAttribute(*selected), UIFont::systemFont(25, UIFont::Weight::bold));

    host->layoutIfNeeded();
    EXPECT_EQ(control->frame().height(), 60);
}

TEST(StyleManagerTest, TimeLabelTakesTheFontSizeOfTheMetricsWhenApplied) {
    PlayerAppearanceScope keep;
    auto label = uikit::UILabel::create();
    apply(*label, ZuStyleManager::default_().timeLabel);
    EXPECT_EQ(label->textColor(), UIColor::white());
    EXPECT_EQ(label->font(), UIFont::monospacedDigitSystemFont(16, UIFont::Weight::regular));
    EXPECT_EQ(label->contentHuggingPriority(Axis::horizontal).rawValue, 1000);
    EXPECT_EQ(label->contentCompressionResistancePriority(Axis::horizontal).rawValue, 1000);
    EXPECT_EQ(label->contentHuggingPriority(Axis::vertical).rawValue, 250);  // only the horizontal axis

    ZuPlayerMetrics::shared().defaultFontSize = 21;
    auto later = uikit::UILabel::create();
    apply(*later, ZuStyleManager::default_().timeLabel);
    EXPECT_EQ(later->font().pointSize(), 21);
    EXPECT_TRUE(later->font().hasMonospacedDigits());
}

TEST(StyleManagerTest, ErrorLabelIsWhiteCentredAndUnlimited) {
    auto label = uikit::UILabel::create();
    apply(*label, ZuStyleManager::default_().errorLabelStyle);
    EXPECT_EQ(label->textColor(), UIColor::white());
    EXPECT_EQ(label->textAlignment(), uikit::NSTextAlignment::center);
    EXPECT_EQ(label->numberOfLines(), 0);
    EXPECT_EQ(label->font(), UIFont::systemFont(16, UIFont::Weight::regular));
    EXPECT_EQ(label->contentHuggingPriority(Axis::horizontal).rawValue, 1000);
    EXPECT_EQ(label->contentCompressionResistancePriority(Axis::horizontal).rawValue, 1000);
}

TEST(StyleManagerTest, KeyMomentItemGrowsAndWhitensWhenSelectedOrHighlighted) {
    const auto& style = ZuStyleManager::keyMomentItemStyle();
    auto item = uikit::UIButton::create();
    apply(*item, style);
    EXPECT_EQ(item->tintColor(), UIColor(0.8, 1.0));
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::makeScale(1, 1));

    item->setIsSelected(true);
    apply(*item, style);
    EXPECT_EQ(item->tintColor(), UIColor::white());
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::makeScale(1.3, 1.3));

    item->setIsSelected(false);
    item->setIsHighlighted(true);
    apply(*item, style);
    EXPECT_EQ(item->tintColor(), UIColor::white());
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::makeScale(1.3, 1.3));

    item->setIsHighlighted(false);
    apply(*item, style);
    EXPECT_EQ(item->tintColor(), UIColor(0.8, 1.0));
    EXPECT_EQ(item->transform(), uikit::CGAffineTransform::makeScale(1, 1));
}

TEST(StyleManagerTest, ThumbnailValuesAndTheTintColouredBorder) {
    PlayerAppearanceScope keep;
    const auto& thumbnails = ZuStyleManager::Thumbnails::default_();
    EXPECT_DOUBLE_EQ(thumbnails.aspectRatio, 16.0 / 9.0);
    EXPECT_EQ(thumbnails.minimumSingleThumbnailSize, (uikit::CGSize{195, 110}));
    EXPECT_EQ(thumbnails.chainedThumbnailsCollectionViewHeight, 160);
    EXPECT_EQ(thumbnails.chainedThumbnailsLayoutMargins, (uikit::UIEdgeInsets{12, 0, 34, 0}));
    EXPECT_EQ(thumbnails.chainedThumbnailsCellLayoutMargins, (uikit::UIEdgeInsets{4, 64.0 / 9.0, 4, 64.0 / 9.0}));
    EXPECT_EQ(ZuStyleManager::Thumbnails::shared().minimumSingleThumbnailSize, thumbnails.minimumSingleThumbnailSize);

    // A value made after the host changed the metrics takes the new thumbnail size.
    ZuPlayerMetrics::shared().bifThumbnailSize = {240, 135};
    EXPECT_EQ(ZuStyleManager::Thumbnails().minimumSingleThumbnailSize, (uikit::CGSize{240, 135}));

    auto imageView = uikit::UIImageView::create();
    imageView->setTintColor(UIColor::systemRed());
    apply(*imageView, thumbnails.thumbnailImageView);
    EXPECT_EQ(imageView->layer()->borderColor(), UIColor::systemRed().cgColor());
    EXPECT_EQ(imageView->layer()->cornerRadius(), 4);
    EXPECT_EQ(imageView->layer()->borderWidth(), 2);
}

TEST(StyleManagerTest, KeyMomentSizes) {
    const auto& keyMoments = ZuStyleManager::KeyMoments::default_();
    EXPECT_EQ(keyMoments.itemSize, (uikit::CGSize{60, 66}));
    EXPECT_EQ(keyMoments.bubbleHeightFactor, 0.55);
    EXPECT_EQ(keyMoments.anchorSize, (uikit::CGSize{6, 6}));
    EXPECT_EQ(keyMoments.keyMomentsGroupViewHeight, 40);
    EXPECT_EQ(keyMoments.keyMomentsGroupViewBottomPadding, 10);
    EXPECT_EQ(keyMoments.edgeInsets, (uikit::UIEdgeInsets{15, 15, 15, 15}));
}

}  // namespace
