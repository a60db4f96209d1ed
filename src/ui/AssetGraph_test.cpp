#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "kitfoundation/KitBundle.h"
#include "ui/AssetGraph.h"
#include "ui/testing/DeviceScope.h"

namespace {

using namespace lumora;
using Asset = AssetGraph::Asset;

Asset kit(const char* name) {
    return Asset(name, KitBundle::shared());
}

// Where the drawn pixels of an image lie, in points: the box of the pixels whose alpha is above a quarter.
struct Ink {
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    bool any() const { return maxX >= minX; }
    double centreX() const { return (minX + maxX) / 2; }
    double centreY() const { return (minY + maxY) / 2; }
};

Ink inkOf(const uikit::UIImage& image) {
    Ink ink;
    for (std::uint32_t y = 0; y < image.pixelHeight(); ++y) {
        for (std::uint32_t x = 0; x < image.pixelWidth(); ++x) {
            if ((*image.pixel(x, y))[3] <= 64) continue;
            ink.minX = std::min(ink.minX, x / image.scale());
            ink.maxX = std::max(ink.maxX, (x + 1) / image.scale());
            ink.minY = std::min(ink.minY, y / image.scale());
            ink.maxY = std::max(ink.maxY, (y + 1) / image.scale());
        }
    }
    return ink;
}

struct Stated {
    Asset asset;
    uikit::CGSize size;
};

// Every default entry with the size the catalogue states for it.
std::vector<Stated> defaultEntriesWithSizes() {
    const AssetGraph& a = AssetGraph::shared();
    const auto& b = a.bottomControls;
    const uikit::CGSize middle{30, 30}, row{24, 24}, rate{36, 24}, badge{40, 20};
    return {
        {a.middleControls.play, middle},
        {a.middleControls.pause, middle},
        {a.middleControls.jumpForward, middle},
        {a.middleControls.jumpBackward, middle},
        {b.speed, rate},
        {b.speedX05, rate},
        {b.speedX10, rate},
        {b.speedX15, rate},
        {b.speedX20, rate},
        {b.speedX30, rate},
        {b.play, middle},
        {b.isLive, badge},
        {b.backToLive, badge},
        {b.relatedVideos, row},
        {b.nextContent, row},
        {b.enterFullScreen, row},
        {b.exitFullScreen, row},
        {b.keyMomentsEnable, row},
        {b.keyMomentsDisable, row},
        {b.keyMomentsOff, row},
        {b.keyMomentsSlowReveal, row},
        {b.keyMomentsRevealAll, row},
        {a.slider.jumpForward, middle},
        {a.slider.fastForward, row},
        {a.slider.jumpBackward, middle},
        {a.slider.fastBackward, row},
        {a.back, row},
    };
}

TEST(AssetGraphTest, AFreshCatalogueHoldsTheDefaultsOfTheKitsBundle) {
    const AssetGraph& assets = AssetGraph::shared();
    EXPECT_EQ(assets.middleControls.play, kit("icon_middle_play"));
    EXPECT_EQ(assets.middleControls.pause, kit("icon_middle_pause"));
    EXPECT_EQ(assets.middleControls.jumpForward, kit("icon_player_jump_forward"));
    EXPECT_EQ(assets.middleControls.jumpBackward, kit("icon_player_jump_backward"));
    const auto& b = assets.bottomControls;
    EXPECT_EQ(b.speed, kit("icon_player_speed"));
    EXPECT_EQ(b.speedX05, kit("icon_player_speed_x0.5"));
    EXPECT_EQ(b.speedX10, kit("icon_player_speed_x1.0"));
    EXPECT_EQ(b.speedX15, kit("icon_player_speed_x1.5"));
    EXPECT_EQ(b.speedX20, kit("icon_player_speed_x2.0"));
    EXPECT_EQ(b.speedX30, kit("icon_player_speed_x3.0"));
    EXPECT_EQ(b.play, kit("icon_middle_play"));
    EXPECT_EQ(b.isLive, kit("icon_player_live"));
    EXPECT_EQ(b.backToLive, kit("icon_player_go_live"));
    EXPECT_EQ(b.relatedVideos, kit("icon_player_related_videos"));
    EXPECT_EQ(b.nextContent, kit("icon_player_related_videos"));
    EXPECT_EQ(b.enterFullScreen, kit("icon_player_enter_fullscreen"));
    EXPECT_EQ(b.exitFullScreen, kit("icon_player_exit_fullscreen"));
    EXPECT_EQ(b.keyMomentsEnable, kit("icon_keymoments_enable"));
    EXPECT_EQ(b.keyMomentsDisable, kit("icon_keymoments_disable"));
    EXPECT_EQ(b.keyMomentsOff, kit("icon_keymoments_off"));
    EXPECT_EQ(b.keyMomentsSlowReveal, kit("icon_keymoments_slowreveal"));
    EXPECT_EQ(b.keyMomentsRevealAll, kit("icon_keymoments_revealall"));
    EXPECT_EQ(b.copy.nextContentButtonText, "Next Episode");
    EXPECT_EQ(b.copy.relatedContentButtonText, "Related Videos");
    EXPECT_EQ(b.copy.keyMomentsButtonText, std::nullopt);
    EXPECT_EQ(assets.slider.jumpForward, kit("icon_player_jump_forward"));
    EXPECT_EQ(assets.slider.fastForward, kit("icon_player_fast_forward"));
    EXPECT_EQ(assets.slider.jumpBackward, kit("icon_player_jump_backward"));
    EXPECT_EQ(assets.slider.fastBackward, kit("icon_player_fast_backward"));
    EXPECT_EQ(assets.back, kit("icon_back"));
}

TEST(AssetGraphTest, EveryDefaultImageIsInTheKitsBundleAtItsStatedSizeAndEveryScale) {
    for (const Stated& entry : defaultEntriesWithSizes()) {
        SCOPED_TRACE(entry.asset.name);
        const auto image = entry.asset.image();
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->size(), entry.size);
        EXPECT_EQ(image->scale(), 3.0);  // the main screen's
        for (int scale = 1; scale <= 3; ++scale) {
            uikit::UITraitCollection traits;
            traits.displayScale = scale;
            const auto variant = uikit::UIImage::named(entry.asset.name, entry.asset.bundle, &traits);
            ASSERT_NE(variant, nullptr) << "scale " << scale;
            EXPECT_EQ(variant->scale(), scale);
            EXPECT_EQ(variant->pixelWidth(), static_cast<std::uint32_t>(entry.size.width * scale));
            EXPECT_EQ(variant->pixelHeight(), static_cast<std::uint32_t>(entry.size.height * scale));
        }
        // Something is drawn, roughly centred, and nothing touches the edges (no clipped strokes).
        const Ink ink = inkOf(*image);
        ASSERT_TRUE(ink.any());
        EXPECT_NEAR(ink.centreX(), entry.size.width / 2, entry.size.width * 0.12);
        EXPECT_NEAR(ink.centreY(), entry.size.height / 2, entry.size.height * 0.12);
        EXPECT_GT(ink.minX, 0.0);
        EXPECT_GT(ink.minY, 0.0);
        EXPECT_LT(ink.maxX, entry.size.width);
        EXPECT_LT(ink.maxY, entry.size.height);
    }
    // The same through the key paths.
    EXPECT_EQ(image(&AssetGraph::MiddleControls::pause)->size(), (uikit::CGSize{30, 30}));
    EXPECT_EQ(image(&AssetGraph::BottomControls::isLive)->size(), (uikit::CGSize{40, 20}));
    EXPECT_EQ(image(&AssetGraph::Slider::fastBackward)->size(), (uikit::CGSize{24, 24}));
}

TEST(AssetGraphTest, TheSignInArtworkIsInTheKitsBundle) {
    const std::pair<const char*, uikit::CGSize> artwork[] = {
        {"logo", {180, 48}}, {"loginBG", {390, 844}}, {"IC135-Cross", {24, 24}}, {"ic31Tick", {24, 24}}};
    for (const auto& [name, size] : artwork) {
        const auto image = kit(name).image();
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->size(), size) << name;
        EXPECT_TRUE(inkOf(*image).any()) << name;
    }
    // The background covers the whole screen, opaque.
    const auto background = kit("loginBG").image();
    EXPECT_EQ((*background->pixel(0, 0))[3], 255);
    EXPECT_EQ((*background->pixel(background->pixelWidth() - 1, background->pixelHeight() - 1))[3], 255);
}

TEST(AssetGraphTest, SpeedImagesByExactRate) {
    lumora::testing::AssetCatalogueScope keep;
    const auto& bottom = AssetGraph::shared().bottomControls;
    EXPECT_EQ(bottom.speedAsset(0.5f), bottom.speedX05);
    EXPECT_EQ(bottom.speedAsset(1.5f), bottom.speedX15);
    EXPECT_EQ(bottom.speedAsset(2.0f), bottom.speedX20);
    EXPECT_EQ(bottom.speedAsset(3.0f), bottom.speedX30);
    for (float rate : {1.0f, 0.0f, 1.25f, -2.0f, 0.5000001f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(bottom.speedAsset(rate), bottom.speedX10) << rate;
        EXPECT_FALSE(bottom.speedAsset(rate) == bottom.speed);
    }

    // The type-level look-up reads the live catalogue at the moment of the call; a copy taken earlier keeps
    // what it had.
    const AssetGraph::BottomControls earlier = AssetGraph::shared().bottomControls;
    AssetGraph::shared().bottomControls.speedX20 = Asset("host_double_speed", KitBundle::shared());
    EXPECT_EQ(AssetGraph::BottomControls::speedAssetFor(2.0f).name, "host_double_speed");
    EXPECT_EQ(earlier.speedAsset(2.0f).name, "icon_player_speed_x2.0");
}

TEST(AssetGraphTest, EntriesAreIndependentAndEditsAreSeenByTheNextLookUp) {
    lumora::testing::AssetCatalogueScope keep;
    AssetGraph& assets = AssetGraph::shared();
    assets.bottomControls.relatedVideos.name = "host_related";
    EXPECT_EQ(assets.bottomControls.nextContent.name, "icon_player_related_videos");
    assets.middleControls.play = "host_play";  // a name of the host's main bundle
    EXPECT_EQ(assets.bottomControls.play.name, "icon_middle_play");
    EXPECT_EQ(AssetGraph::shared().middleControls.play.bundle, foundation::Bundle::main());

    // A name that the bundle does not hold gives no image, through the entry and through the key path.
    EXPECT_EQ(AssetGraph::shared().middleControls.play.image(), nullptr);
    EXPECT_EQ(image(&AssetGraph::MiddleControls::play), nullptr);
    assets.slider.fastForward = Asset("nothing_by_this_name", KitBundle::shared());
    EXPECT_EQ(image(&AssetGraph::Slider::fastForward), nullptr);

    assets.bottomControls.copy.keyMomentsButtonText = "Key Moments";
    AssetGraph replaced = AssetGraph::shared();
    replaced.back.name = "host_back";
    AssetGraph::setShared(replaced);
    EXPECT_EQ(AssetGraph::shared().back.name, "host_back");
    EXPECT_EQ(AssetGraph::shared().bottomControls.copy.keyMomentsButtonText, "Key Moments");
}

TEST(AssetGraphTest, DebugDescriptionListsEveryEntryAndText) {
    const std::string text = AssetGraph::shared().debugDescription();
    EXPECT_EQ(text.rfind("AssetGraph\n", 0), 0u);
    EXPECT_NE(text.find("  middleControls.play = <lumora::ZuPlayerKitAssetInfo<uikit::UIImage> "
                        "name=\"icon_middle_play\", bundle=\"LumoraKit.bundle\">\n"),
              std::string::npos);
    EXPECT_NE(text.find("  bottomControls.copy.nextContentButtonText = \"Next Episode\"\n"), std::string::npos);
    EXPECT_NE(text.find("  bottomControls.copy.keyMomentsButtonText = nil\n"), std::string::npos);
    EXPECT_NE(text.find("  back = <lumora::ZuPlayerKitAssetInfo<uikit::UIImage> name=\"icon_back\""),
              std::string::npos);
    // One line per entry: 4 middle, 18 bottom, 3 texts, 4 slider, 1 back, and the heading.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31);
}

}  // namespace
