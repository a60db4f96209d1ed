#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kitfoundation/KitBundle.h"
#include "screen/foundations/AssetGraph.h"

namespace {

using namespace lumora;
using Asset = AssetGraph::Asset;

// Restores the live catalogue at the end of a test that edits it.
class CatalogueScope {
  public:
    CatalogueScope() : saved_(AssetGraph::shared()) {}
    ~CatalogueScope() { AssetGraph::setShared(saved_); }

  private:
    AssetGraph saved_;
};

Asset kit(const char* name) {
    return Asset(name, KitBundle::shared());
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

TEST(AssetGraphTest, SpeedImagesByExactRate) {
    CatalogueScope keep;
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
    CatalogueScope keep;
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
