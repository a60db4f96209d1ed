// The styles applied to real controls, rendered: one picture per group of styles.
#include <gtest/gtest.h>

#include "kitfoundation/KitBundle.h"
#include "ui/AssetGraph.h"
#include "ui/KitColors.h"
#include "ui/ZuStyleManager.h"
#include "ui/testing/DeviceScope.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/UIButton.h"
#include "uikit/UIGraphicsImageRenderer.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace lumora;
using lumora::testing::PlayerAppearanceScope;
using uikit::CGRect;
using uikit::UIColor;

std::shared_ptr<uikit::UIView> darkHost(double width, double height) {
    auto host = uikit::UIView::create(CGRect(0, 0, width, height));
    host->setBackgroundColor(colors::woodsmoke());
    return host;
}

// A small picture to stand for a video frame: sky, sun and grass.
std::shared_ptr<uikit::UIImage> landscape(uikit::CGSize size) {
    uikit::UIGraphicsImageRendererFormat format;
    format.scale = 2;
    return uikit::UIGraphicsImageRenderer(size, format).image([&](uikit::UIGraphicsImageRendererContext& context) {
        auto& c = context.cgContext();
        c.setFillColor({0.35, 0.6, 0.9, 1});
        c.fill(CGRect(0, 0, size.width, size.height));
        c.setFillColor({1.0, 0.85, 0.3, 1});
        c.fillEllipse(CGRect(size.width * 0.7, size.height * 0.15, size.height * 0.3, size.height * 0.3));
        c.setFillColor({0.2, 0.55, 0.25, 1});
        c.fill(CGRect(0, size.height * 0.65, size.width, size.height * 0.35));
    });
}

TEST(StyleSnapshotTest, PlayerStylesOnASpeedIndicatorATimeLabelAndAnErrorLabel) {
    PlayerAppearanceScope keep;
    const ZuStyleManager& styles = ZuStyleManager::default_();
    auto host = darkHost(360, 230);

    auto speeds = uikit::UISegmentedControl::create(std::vector<std::string>{"0.5x", "1x", "1.5x", "2x"});
    speeds->setSelectedSegmentIndex(1);
    host->addSubview(speeds);
    apply(*speeds, styles.playbackSpeedIndicator);
    speeds->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.top().equalToSuperview().offset(10);
        make.leading().trailing().equalToSuperview().inset(20);
    });

    auto time = uikit::UILabel::create();
    time->setText("1:02:03");
    host->addSubview(time);
    apply(*time, styles.timeLabel);
    time->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.leading().equalToSuperview().offset(20);
        make.bottom().equalToSuperview().offset(-12);
    });

    auto error = uikit::UILabel::create();
    error->setText("This video cannot be played right now. Please try again later.");
    host->addSubview(error);
    apply(*error, styles.errorLabelStyle);
    error->setPreferredMaxLayoutWidth(280);  // wraps within the insets below
    error->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.top().equalTo(speeds->snp().bottom()).offset(16);
        make.leading().trailing().equalToSuperview().inset(40);
    });

    EXPECT_SNAPSHOT(*host, "style_player_controls", {.scale = 2});
}

TEST(StyleSnapshotTest, ThumbnailStyleDrawsATintedRoundedBorder) {
    auto host = darkHost(235, 150);
    auto imageView = uikit::UIImageView::create(CGRect(20, 20, 195, 110));
    imageView->setImage(landscape({195, 110}));
    imageView->setClipsToBounds(true);
    imageView->setTintColor(colors::primary());
    host->addSubview(imageView);
    apply(*imageView, ZuStyleManager::Thumbnails::default_().thumbnailImageView);

    EXPECT_SNAPSHOT(*host, "style_thumbnail", {.scale = 2});
}

TEST(StyleSnapshotTest, KeyMomentItemsNormalSelectedAndHighlighted) {
    auto host = darkHost(250, 100);
    const auto marker = AssetGraph::Asset("icon_keymoments_enable", KitBundle::shared()).image();
    ASSERT_NE(marker, nullptr);
    const auto templateMarker = marker->withRenderingMode(uikit::UIImage::RenderingMode::alwaysTemplate);
    for (int i = 0; i < 3; ++i) {
        auto item = uikit::UIButton::create(CGRect(20 + 80 * i, 17, 50, 66));
        item->setImageFor(templateMarker, uikit::UIControl::State::normal());
        item->setAdjustsImageWhenHighlighted(false);  // the style alone marks the state
        item->setIsSelected(i == 1);
        item->setIsHighlighted(i == 2);
        host->addSubview(item);
        apply(*item, ZuStyleManager::keyMomentItemStyle());
    }
    EXPECT_SNAPSHOT(*host, "style_key_moment_items", {.scale = 2});
}

}  // namespace
