#include "KeyMomentsControlsDelegate.h"

#include "screen/ZuPlayerViewController.h"

namespace demohost {

KeyMomentsControlsDelegate::KeyMomentsControlsDelegate(std::weak_ptr<lumora::ZuPlayerViewController> screen,
                                                       lumora::ZuPlayerControlsDisplayDensity density)
    : screen_(std::move(screen)), density_(density) {}

std::optional<std::vector<lumora::ZuKeyMomentEvent>> KeyMomentsControlsDelegate::playerControlsViewKeyMomentEvents(
    lumora::ZuPlayerControlsView& view) {
    // Only the moments the timeline can show: the list is the whole programme's, and the stream may be
    // shorter than the programme once its ads are counted out.
    std::vector<lumora::ZuKeyMomentEvent> shown;
    auto player = view.player();
    const auto duration = player ? player->durationWithoutAds() : coremedia::CMTime();
    for (const auto& event : events_) {
        if (!duration.isNumeric() || event.videoTime <= duration.seconds()) shown.push_back(event);
    }
    if (shown.empty()) return std::nullopt;
    return shown;
}

bool KeyMomentsControlsDelegate::shouldShowKeyMomentButton(lumora::ZuPlayerControlsView&) {
    return !events_.empty();
}

lumora::ZuPlayerControlsDisplayDensity KeyMomentsControlsDelegate::playerControlsDisplayDensity(
    lumora::ZuPlayerControlsView&) {
    return density_;
}

std::optional<lumora::ZuKeyMomentEvent> KeyMomentsControlsDelegate::selectedKeyMomentEvent(
    lumora::ZuPlayerControlsView&) {
    return selected_;
}

void KeyMomentsControlsDelegate::playerControlsViewDidSelectKeyMoment(lumora::ZuPlayerControlsView& view,
                                                                      const lumora::ZuKeyMomentEvent& event) {
    selected_ = event;
    if (auto screen = screen_.lock()) screen->playerControlsViewDidSelectKeyMoment(view, event);
    if (onSelect) onSelect(event);
}

#define DEMOHOST_PASS_ON(call)                          \
    do {                                                \
        if (auto screen = screen_.lock()) screen->call; \
    } while (false)

void KeyMomentsControlsDelegate::playerControlsViewDidTogglePlayback(lumora::ZuPlayerControlsView& view,
                                                                     bool isPlaying) {
    DEMOHOST_PASS_ON(playerControlsViewDidTogglePlayback(view, isPlaying));
}
void KeyMomentsControlsDelegate::playerControlsViewDidChangePlaybackSpeed(lumora::ZuPlayerControlsView& view,
                                                                          float speed) {
    DEMOHOST_PASS_ON(playerControlsViewDidChangePlaybackSpeed(view, speed));
}
void KeyMomentsControlsDelegate::playerControlsViewDidPlaybackJump(lumora::ZuPlayerControlsView& view, double seconds) {
    DEMOHOST_PASS_ON(playerControlsViewDidPlaybackJump(view, seconds));
}
void KeyMomentsControlsDelegate::playerControlsViewDidFocusOnKeyMoment(lumora::ZuPlayerControlsView& view,
                                                                       const lumora::ZuKeyMomentEvent& event) {
    DEMOHOST_PASS_ON(playerControlsViewDidFocusOnKeyMoment(view, event));
}
void KeyMomentsControlsDelegate::playerControlsViewDidDismissKeyMoments(lumora::ZuPlayerControlsView& view) {
    DEMOHOST_PASS_ON(playerControlsViewDidDismissKeyMoments(view));
}
void KeyMomentsControlsDelegate::playerControlsViewDidJumpToLive(lumora::ZuPlayerControlsView& view) {
    DEMOHOST_PASS_ON(playerControlsViewDidJumpToLive(view));
}
void KeyMomentsControlsDelegate::playerControlsViewWillSeekTo(lumora::ZuPlayerControlsView& view, double seconds) {
    DEMOHOST_PASS_ON(playerControlsViewWillSeekTo(view, seconds));
}
void KeyMomentsControlsDelegate::playerControlsViewDidTapKeyMomentButton(
    lumora::ZuPlayerControlsView& view, const std::shared_ptr<uikit::UIButton>& button) {
    DEMOHOST_PASS_ON(playerControlsViewDidTapKeyMomentButton(view, button));
}
void KeyMomentsControlsDelegate::playerControlsViewSeekBegan(lumora::ZuPlayerControlsView& view) {
    DEMOHOST_PASS_ON(playerControlsViewSeekBegan(view));
}
void KeyMomentsControlsDelegate::videoControlsViewDidPressCloseButton(lumora::VideoControlsView& view) {
    DEMOHOST_PASS_ON(videoControlsViewDidPressCloseButton(view));
}

#undef DEMOHOST_PASS_ON

}  // namespace demohost
