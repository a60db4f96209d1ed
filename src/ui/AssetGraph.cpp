#include "ui/AssetGraph.h"

#include <utility>

#include "kitfoundation/KitBundle.h"

namespace lumora {

AssetGraph::MiddleControls::MiddleControls(const foundation::Bundle& bundle)
    : play("icon_middle_play", bundle),
      pause("icon_middle_pause", bundle),
      jumpForward("icon_player_jump_forward", bundle),
      jumpBackward("icon_player_jump_backward", bundle) {}

AssetGraph::BottomControls::Copy::Copy()
    : nextContentButtonText("Next Episode"), relatedContentButtonText("Related Videos") {}

AssetGraph::BottomControls::BottomControls(const foundation::Bundle& bundle)
    : speed("icon_player_speed", bundle),
      speedX05("icon_player_speed_x0.5", bundle),
      speedX10("icon_player_speed_x1.0", bundle),
      speedX15("icon_player_speed_x1.5", bundle),
      speedX20("icon_player_speed_x2.0", bundle),
      speedX30("icon_player_speed_x3.0", bundle),
      play("icon_middle_play", bundle),
      isLive("icon_player_live", bundle),
      backToLive("icon_player_go_live", bundle),
      relatedVideos("icon_player_related_videos", bundle),
      nextContent("icon_player_related_videos", bundle),
      enterFullScreen("icon_player_enter_fullscreen", bundle),
      exitFullScreen("icon_player_exit_fullscreen", bundle),
      keyMomentsEnable("icon_keymoments_enable", bundle),
      keyMomentsDisable("icon_keymoments_disable", bundle),
      keyMomentsOff("icon_keymoments_off", bundle),
      keyMomentsSlowReveal("icon_keymoments_slowreveal", bundle),
      keyMomentsRevealAll("icon_keymoments_revealall", bundle) {}

AssetGraph::Asset AssetGraph::BottomControls::speedAsset(float rate) const {
    if (rate == 0.5f) return speedX05;
    if (rate == 1.5f) return speedX15;
    if (rate == 2.0f) return speedX20;
    if (rate == 3.0f) return speedX30;
    return speedX10;
}

AssetGraph::Asset AssetGraph::BottomControls::speedAssetFor(float rate) {
    return AssetGraph::shared().bottomControls.speedAsset(rate);
}

AssetGraph::Slider::Slider(const foundation::Bundle& bundle)
    : jumpForward("icon_player_jump_forward", bundle),
      fastForward("icon_player_fast_forward", bundle),
      jumpBackward("icon_player_jump_backward", bundle),
      fastBackward("icon_player_fast_backward", bundle) {}

AssetGraph::AssetGraph(const foundation::Bundle& bundle)
    : middleControls(bundle), bottomControls(bundle), slider(bundle), back("icon_back", bundle) {}

AssetGraph& AssetGraph::shared() {
    static AssetGraph assets(KitBundle::shared());
    return assets;
}

void AssetGraph::setShared(AssetGraph assets) {
    shared() = std::move(assets);
}

std::string AssetGraph::debugDescription() const {
    std::string text = "AssetGraph\n";
    const auto entry = [&text](const char* field, const Asset& asset) {
        text += "  ";
        text += field;
        text += " = " + asset.debugDescription() + "\n";
    };
    const auto title = [&text](const char* field, const std::optional<std::string>& value) {
        text += "  ";
        text += field;
        text += " = " + (value ? "\"" + *value + "\"" : std::string("nil")) + "\n";
    };
    entry("middleControls.play", middleControls.play);
    entry("middleControls.pause", middleControls.pause);
    entry("middleControls.jumpForward", middleControls.jumpForward);
    entry("middleControls.jumpBackward", middleControls.jumpBackward);
    const BottomControls& b = bottomControls;
    entry("bottomControls.speed", b.speed);
    entry("bottomControls.speedX05", b.speedX05);
    entry("bottomControls.speedX10", b.speedX10);
    entry("bottomControls.speedX15", b.speedX15);
    entry("bottomControls.speedX20", b.speedX20);
    entry("bottomControls.speedX30", b.speedX30);
    entry("bottomControls.play", b.play);
    entry("bottomControls.isLive", b.isLive);
    entry("bottomControls.backToLive", b.backToLive);
    entry("bottomControls.relatedVideos", b.relatedVideos);
    entry("bottomControls.nextContent", b.nextContent);
    entry("bottomControls.enterFullScreen", b.enterFullScreen);
    entry("bottomControls.exitFullScreen", b.exitFullScreen);
    entry("bottomControls.keyMomentsEnable", b.keyMomentsEnable);
    entry("bottomControls.keyMomentsDisable", b.keyMomentsDisable);
    entry("bottomControls.keyMomentsOff", b.keyMomentsOff);
    entry("bottomControls.keyMomentsSlowReveal", b.keyMomentsSlowReveal);
    entry("bottomControls.keyMomentsRevealAll", b.keyMomentsRevealAll);
    title("bottomControls.copy.nextContentButtonText", b.copy.nextContentButtonText);
    title("bottomControls.copy.relatedContentButtonText", b.copy.relatedContentButtonText);
    title("bottomControls.copy.keyMomentsButtonText", b.copy.keyMomentsButtonText);
    entry("slider.jumpForward", slider.jumpForward);
    entry("slider.fastForward", slider.fastForward);
    entry("slider.jumpBackward", slider.jumpBackward);
    entry("slider.fastBackward", slider.fastBackward);
    entry("back", back);
    return text;
}

std::shared_ptr<uikit::UIImage> image(AssetGraph::Asset AssetGraph::MiddleControls::*entry) {
    return (AssetGraph::shared().middleControls.*entry).image();
}

std::shared_ptr<uikit::UIImage> image(AssetGraph::Asset AssetGraph::BottomControls::*entry) {
    return (AssetGraph::shared().bottomControls.*entry).image();
}

std::shared_ptr<uikit::UIImage> image(AssetGraph::Asset AssetGraph::Slider::*entry) {
    return (AssetGraph::shared().slider.*entry).image();
}

}  // namespace lumora
