#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/VideoControlsView.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentEvent.h"
#include "playback/AdModels.h"

namespace lumora {
class ZuPlayerViewController;
}  // namespace lumora

namespace demohost {

// What a host shows beside an asset that the play answer does not carry: the ad breaks of a stream with
// inserted ads (the answer's "adsUrl"), the key moments and the scrubbing thumbnails (a BIF index), all
// served by the host's own back end. Parsing is separate from fetching so bad answers can be tested.
struct AssetExtras {
    lumora::AdGroups adGroups;
    std::vector<lumora::ZuKeyMomentEvent> keyMoments;
    std::optional<lumora::BIF> thumbnails;
    // What could not be had, one text per failure ("key moments: HTTP 404"); the rest still counts.
    std::vector<std::string> problems;

    // {"breaks":[{"ads":[{"id","startTime","duration"}]}]}; ads whose numbers are missing are left out.
    static std::expected<lumora::AdGroups, std::string> parseAdBreaks(const std::string& json);
    // {"keyMoments":[{"code","videoTime","eventTime","displayName"[,"displayTime","player","team"]}]}.
    static std::expected<std::vector<lumora::ZuKeyMomentEvent>, std::string> parseKeyMoments(const std::string& json);

    // Fetches the three over the kit's URL session and answers on the main queue once all have answered.
    // `adsURL` may be empty (no ads); `thumbnailsBase` is "<base>/thumbnails/<assetId>".
    static void fetch(const std::string& adsURL, const std::string& thumbnailsBase,
                      std::function<void(AssetExtras)> completion);
};

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
