#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "keymoments/ZuKeyMomentEvent.h"
#include "ui/ZuPlayerControlsDisplayDensity.h"
#include "ui/ZuPlayerMetrics.h"
#include "uikit/UIButton.h"

namespace lumora {

class ZuPlayerControlsView;

// What the controls view asks its owner and tells it about the viewer's actions, on the main thread. Held
// weakly. Every requirement has a default: the questions answer "nothing" (no key moments, no key-moment
// button, the live metrics' default density, no selected key moment), the notices do nothing.
class ZuPlayerControlsViewDelegate {
  public:
    virtual ~ZuPlayerControlsViewDelegate() = default;

    // The asset's key moments, in the owner's order; nothing means none. Asked afresh for every use. Their times
    // (`videoTime`) are on the content timeline, the slider's (ads left out): a moment after an ad break is
    // placed against the duration without ads and a pick seeks to the stream time of its content time.
    virtual std::optional<std::vector<ZuKeyMomentEvent>> playerControlsViewKeyMomentEvents(ZuPlayerControlsView& view) {
        (void)view;
        return std::nullopt;
    }
    // Whether the functional row offers the key-moments button.
    virtual bool shouldShowKeyMomentButton(ZuPlayerControlsView& in) {
        (void)in;
        return false;
    }
    // The density the controls lay themselves out for (asked when the view enters a superview and on
    // `setNeedsUpdateDisplayDensity()`).
    virtual ZuPlayerControlsDisplayDensity playerControlsDisplayDensity(ZuPlayerControlsView& view) {
        (void)view;
        return ZuPlayerMetrics::shared().defaultDisplayDensity;
    }
    // Playback was toggled from the controls; `isPlaying` is whether it plays now.
    virtual void playerControlsViewDidTogglePlayback(ZuPlayerControlsView& view, bool isPlaying) {
        (void)view;
        (void)isPlaying;
    }
    // The viewer chose a playback speed (a rate: 0.5, 1, 1.5, 2).
    virtual void playerControlsViewDidChangePlaybackSpeed(ZuPlayerControlsView& view, float speed) {
        (void)view;
        (void)speed;
    }
    // A jump of `seconds` (+15 or −15) was made.
    virtual void playerControlsViewDidPlaybackJump(ZuPlayerControlsView& view, double seconds) {
        (void)view;
        (void)seconds;
    }
    // The viewer selected a key moment; the player is already seeking to it.
    virtual void playerControlsViewDidSelectKeyMoment(ZuPlayerControlsView& view, const ZuKeyMomentEvent& event) {
        (void)view;
        (void)event;
    }
    // The focus moved onto a key moment.
    virtual void playerControlsViewDidFocusOnKeyMoment(ZuPlayerControlsView& view, const ZuKeyMomentEvent& event) {
        (void)view;
        (void)event;
    }
    virtual void playerControlsViewDidDismissKeyMoments(ZuPlayerControlsView& view) { (void)view; }
    // The viewer went back to the live edge.
    virtual void playerControlsViewDidJumpToLive(ZuPlayerControlsView& view) { (void)view; }
    // A seek to `seconds` (stream time, ads counted) is about to start.
    virtual void playerControlsViewWillSeekTo(ZuPlayerControlsView& view, double seconds) {
        (void)view;
        (void)seconds;
    }
    // The key-moments button was tapped.
    virtual void playerControlsViewDidTapKeyMomentButton(ZuPlayerControlsView& view,
                                                         const std::shared_ptr<uikit::UIButton>& button) {
        (void)view;
        (void)button;
    }
    // The key moment the owner considers selected; nothing for none.
    virtual std::optional<ZuKeyMomentEvent> selectedKeyMomentEvent(ZuPlayerControlsView& in) {
        (void)in;
        return std::nullopt;
    }
    // The viewer began dragging the seek slider.
    virtual void playerControlsViewSeekBegan(ZuPlayerControlsView& view) { (void)view; }
};

}  // namespace lumora
