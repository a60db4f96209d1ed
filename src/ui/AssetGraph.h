#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/Bundle.h"
#include "ui/ZuPlayerKitAssetInfo.h"
#include "uikit/UIImage.h"

namespace lumora {

// The catalogue of every image the player's controls draw, and the texts of the text buttons, grouped as the
// controls are laid out. A value; the live catalogue is `AssetGraph::shared()` (what `ZuPlayer::assets()`
// gives), which starts with the defaults below, all images of the kit's bundle. A host that wants other
// artwork changes entries of the live catalogue in place before the player is shown; the controls read their
// entries from it each time they set an image, so the next look-up sees the change.
//
// Default images (points; each at 1x, 2x and 3x in the kit's bundle):
//   middle controls                                   30 x 30
//   bottom controls: speed                            36 x 24 (the x0.5 … x3.0 variants too)
//   bottom controls: isLive, backToLive               40 x 20
//   every other bottom, slider and back image         24 x 24
// Main thread only.
struct AssetGraph {
    using Asset = ZuPlayerKitAssetInfo<uikit::UIImage>;

    // The large buttons in the middle of the screen.
    struct MiddleControls {
        Asset play;          // "icon_middle_play"
        Asset pause;         // "icon_middle_pause"
        Asset jumpForward;   // "icon_player_jump_forward"
        Asset jumpBackward;  // "icon_player_jump_backward"

      private:
        friend struct AssetGraph;
        explicit MiddleControls(const foundation::Bundle& bundle);
    };

    // The row of buttons at the bottom, and the titles of its text buttons.
    struct BottomControls {
        // Titles; none means the button has no title.
        struct Copy {
            std::optional<std::string> nextContentButtonText;     // "Next Episode"
            std::optional<std::string> relatedContentButtonText;  // "Related Videos"
            std::optional<std::string> keyMomentsButtonText;      // none

          private:
            friend struct BottomControls;
            Copy();
        };

        Asset speed;                 // "icon_player_speed"
        Asset speedX05;              // "icon_player_speed_x0.5"
        Asset speedX10;              // "icon_player_speed_x1.0"
        Asset speedX15;              // "icon_player_speed_x1.5"
        Asset speedX20;              // "icon_player_speed_x2.0"
        Asset speedX30;              // "icon_player_speed_x3.0"
        Asset play;                  // "icon_middle_play"
        Asset isLive;                // "icon_player_live"
        Asset backToLive;            // "icon_player_go_live"
        Asset relatedVideos;         // "icon_player_related_videos"
        Asset nextContent;           // "icon_player_related_videos"
        Asset enterFullScreen;       // "icon_player_enter_fullscreen"
        Asset exitFullScreen;        // "icon_player_exit_fullscreen"
        Asset keyMomentsEnable;      // "icon_keymoments_enable"
        Asset keyMomentsDisable;     // "icon_keymoments_disable"
        Asset keyMomentsOff;         // "icon_keymoments_off"
        Asset keyMomentsSlowReveal;  // "icon_keymoments_slowreveal"
        Asset keyMomentsRevealAll;   // "icon_keymoments_revealall"
        Copy copy;

        // The speed image of a playback rate, compared exactly: 0.5, 1.5, 2.0 and 3.0 have their own; 1.0, 0
        // and every other rate (not-a-number too) give `speedX10`. The generic `speed` is never given.
        Asset speedAsset(float rate) const;
        // The same, on the bottom controls of the live catalogue at the moment of the call.
        static Asset speedAssetFor(float rate);

      private:
        friend struct AssetGraph;
        explicit BottomControls(const foundation::Bundle& bundle);
    };

    // The seek slider's buttons.
    struct Slider {
        Asset jumpForward;   // "icon_player_jump_forward"
        Asset fastForward;   // "icon_player_fast_forward"
        Asset jumpBackward;  // "icon_player_jump_backward"
        Asset fastBackward;  // "icon_player_fast_backward"

      private:
        friend struct AssetGraph;
        explicit Slider(const foundation::Bundle& bundle);
    };

    MiddleControls middleControls;
    BottomControls bottomControls;
    Slider slider;
    Asset back;  // "icon_back"

    // The live catalogue, made with the defaults on first use; modifiable in place.
    static AssetGraph& shared();
    static void setShared(AssetGraph assets);

    // Every entry and text, one per line ("middleControls.play = <… name="icon_middle_play", …>").
    std::string debugDescription() const;

  private:
    explicit AssetGraph(const foundation::Bundle& bundle);
};

// The image of an entry of the live catalogue, picked by its field: `image(&AssetGraph::MiddleControls::play)`.
// Reads the catalogue at the moment of the call; none when its bundle holds no such image.
std::shared_ptr<uikit::UIImage> image(AssetGraph::Asset AssetGraph::MiddleControls::*entry);
std::shared_ptr<uikit::UIImage> image(AssetGraph::Asset AssetGraph::BottomControls::*entry);
std::shared_ptr<uikit::UIImage> image(AssetGraph::Asset AssetGraph::Slider::*entry);

}  // namespace lumora
