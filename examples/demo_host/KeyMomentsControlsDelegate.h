#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "controls/VideoControlsView.h"
#include "keymoments/ZuKeyMomentEvent.h"

namespace lumora {
class ZuPlayerViewController;
}  // namespace lumora

namespace demohost {

// The host's answers to the controls: the screen answers every question of its controls itself but
// shows no key moments; a host with key moments stands between the controls and the screen, answering
// the key-moment questions and the display density, and passing everything else on to the screen.
class KeyMomentsControlsDelegate final : public lumora::VideoControlsViewDelegate {
  public:
    KeyMomentsControlsDelegate(std::weak_ptr<lumora::ZuPlayerViewController> screen,
                               lumora::ZuPlayerControlsDisplayDensity density);

    void setKeyMoments(std::vector<lumora::ZuKeyMomentEvent> events) { events_ = std::move(events); }
    const std::vector<lumora::ZuKeyMomentEvent>& keyMoments() const { return events_; }
    // Told of every key moment the viewer selects (after the screen).
    std::function<void(const lumora::ZuKeyMomentEvent&)> onSelect;

    std::optional<std::vector<lumora::ZuKeyMomentEvent>> playerControlsViewKeyMomentEvents(
        lumora::ZuPlayerControlsView& view) override;
    bool shouldShowKeyMomentButton(lumora::ZuPlayerControlsView& in) override;
    lumora::ZuPlayerControlsDisplayDensity playerControlsDisplayDensity(lumora::ZuPlayerControlsView& view) override;
    std::optional<lumora::ZuKeyMomentEvent> selectedKeyMomentEvent(lumora::ZuPlayerControlsView& in) override;
    void playerControlsViewDidSelectKeyMoment(lumora::ZuPlayerControlsView& view,
                                              const lumora::ZuKeyMomentEvent& event) override;

    // Passed on to the screen.
    void playerControlsViewDidTogglePlayback(lumora::ZuPlayerControlsView& view, bool isPlaying) override;
    void playerControlsViewDidChangePlaybackSpeed(lumora::ZuPlayerControlsView& view, float speed) override;
    void playerControlsViewDidPlaybackJump(lumora::ZuPlayerControlsView& view, double seconds) override;
    void playerControlsViewDidFocusOnKeyMoment(lumora::ZuPlayerControlsView& view,
                                               const lumora::ZuKeyMomentEvent& event) override;
    void playerControlsViewDidDismissKeyMoments(lumora::ZuPlayerControlsView& view) override;
    void playerControlsViewDidJumpToLive(lumora::ZuPlayerControlsView& view) override;
    void playerControlsViewWillSeekTo(lumora::ZuPlayerControlsView& view, double seconds) override;
    void playerControlsViewDidTapKeyMomentButton(lumora::ZuPlayerControlsView& view,
                                                 const std::shared_ptr<uikit::UIButton>& button) override;
    void playerControlsViewSeekBegan(lumora::ZuPlayerControlsView& view) override;
    void videoControlsViewDidPressCloseButton(lumora::VideoControlsView& view) override;

  private:
    std::weak_ptr<lumora::ZuPlayerViewController> screen_;
    lumora::ZuPlayerControlsDisplayDensity density_;
    std::vector<lumora::ZuKeyMomentEvent> events_;
    std::optional<lumora::ZuKeyMomentEvent> selected_;
};

}  // namespace demohost
