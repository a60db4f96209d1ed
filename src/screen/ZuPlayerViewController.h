#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "authentication/AuthenticationError.h"
#include "controls/VideoControlsView.h"
#include "foundation/Error.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"
#include "playback/ZuPlayer.h"
#include "playback/ZuPlayerDelegate.h"
#include "playservice/AssetStreamContent.h"
#include "playservice/StreamDRMSettingsProvider.h"
#include "playservice/VideoAPI.h"
#include "rx/Disposables.h"
#include "screen/ZuPlayerStatus.h"
#include "screen/ZuPlayerViewControllerDelegate.h"
#include "signin/ErrorDisplayModel.h"
#include "signin/LoginViewController.h"
#include "telemetry/PlayerEventController.h"
#include "telemetry/YouboraManager.h"
#include "ui/ZuPageView.h"
#include "ui/ZuViewController.h"
#include "uikit/UIColor.h"
#include "uikit/UIViewController.h"

namespace lumora {

namespace detail {
class PlayerEventReporter;
}  // namespace detail

// The kit's player screen, a host's one entry point: give it a delegate and an asset id, and it makes sure a
// viewer is signed in (presenting the kit's login screen when nobody is), asks the play service for the
// asset's stream, loads it into its player (FairPlay keys included), starts playback and reports the session
// to the player-event service and to the analytics vendor.
//
//   auto screen = lumora::ZuPlayerViewController::create();
//   screen->setDelegate(host);                 // a std::weak_ptr<ZuPlayerViewControllerDelegate>
//   window->setRootViewController(screen);     // or present it
//   screen->play("vod-protected");
//
// Failures reach the delegate: a needed sign-in opens the login screen (in a navigation controller without a
// bar) and plays the asset again once the viewer has signed in; everything else, the loaded item's failure
// included, is `playerControllerDidFailWith`. A refused player event (too many streams at once) signs the
// viewer out and is `playerControllerDidExceedStreamLimit`.
//
// Main thread only. The delegate is held weakly; the screen owns its player view, controls, player-event
// session and login screen, and ends every subscription when it is released.
class ZuPlayerViewController : public ZuViewController,
                               public ZuPlayerDelegate,
                               public VideoControlsViewDelegate,
                               public ZuPageViewDataSource,
                               public uikit::UIAdaptivePresentationControllerDelegate,
                               public LoginViewControllerDelegate {
  public:
    // The services the screen plays through. Each one left empty is the kit's own; a host with a back end
    // of its own (or a test) gives its own.
    struct Dependencies {
        // Turns the asset id into stream content; `VideoAPI::shared()` by default.
        std::shared_ptr<VideoAPI> videoAPI;
        // The analytics session; `YouboraManager::shared()` by default.
        std::shared_ptr<YouboraManager> analytics;
        // Posts the player events; a new `PlayerEventController` by default.
        std::shared_ptr<PlayerEventController> playerEventController;
    };

    static std::shared_ptr<ZuPlayerViewController> create(Dependencies dependencies = {});
    ~ZuPlayerViewController() override;

    // ---- Public surface -----------------------------------------------------------------------------
    std::shared_ptr<ZuPlayerViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuPlayerViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }
    // The kit's debug log (for every screen of the process); reading gives this screen's own setting.
    bool printDebugLog() const { return printDebugLog_; }
    void setPrintDebugLog(bool printDebugLog);
    // Stored for the host; applied to no view.
    uikit::UIColor tintColor() const { return tintColor_; }
    void setTintColor(uikit::UIColor color) { tintColor_ = color; }

    // Plays `assetId`: signs the viewer in when needed, fetches the stream, loads it and starts playback.
    // The screen's view must be loaded (and in a window, for the login screen to be presented). The latest
    // call wins: what an earlier one still brings (its content, its load, its errors) is dropped. Before
    // the new stream loads, the session of the stream playing ends (its "end" event, its interval and its
    // analytics), so that the service counts one stream; once it has loaded, the screen plays and tells
    // the delegate `playing` once.
    void play(const std::string& assetId);
    // Pauses a playing player, plays a paused one, and tells the delegate the new status. Nothing without a
    // player.
    void toggleVideoPlayback();

    // ---- What the screen holds (read-only) ----------------------------------------------------------
    // Made by `loadView`; none before, and none after a stream address that is not a URL removed it. A host
    // may give it a cast manager.
    const std::shared_ptr<ZuPlayer>& player() const { return player_; }
    // The controls shown over the player (its control page), made by `loadView`.
    const std::shared_ptr<VideoControlsView>& controlsView() const { return controlsView_; }
    // The id of the last `play` call.
    const std::optional<std::string>& assetId() const { return assetId_; }
    // The content handed to the player last (also when its address was unusable).
    std::shared_ptr<const AssetStreamContent> streamContent() const { return streamContent_; }

    // ---- Life cycle ---------------------------------------------------------------------------------
    // The container with the player view over the whole of it; the controls are the player's control page.
    void loadView() override;
    void viewDidLoad() override;
    // Ends the analytics session of the player's media player (playback and player events go on).
    void viewWillDisappear(bool animated) override;

    // ---- As delegate of the player ------------------------------------------------------------------
    void presentRelatedContent(ZuPlayer& player) override;
    // Tells the host `ended`, then sends the "end" player event.
    void playerDidPlayToEndTime(ZuPlayer& player) override;
    void playerRateDidChange(ZuPlayer& player) override;
    void playerWillReloadStream(ZuPlayer& player) override;
    // The player dropped its item after a long time in the background: the asset is played afresh.
    void playerWillForceReloadStream(ZuPlayer& player) override;
    void playerDidReloadStream(ZuPlayer& player) override;
    void playerDidTogglePlayback(ZuPlayer& player) override;
    // A failed item is reported to the host, once per item.
    void playerDidChangeStatus(ZuPlayer& player, avfoundation::AVPlayerItem::Status status,
                               const std::shared_ptr<avfoundation::AVPlayerItem>& of) override;
    void playerDidProduceEvent(ZuPlayer& player, const ZuPlayerEvent& event) override;
    void playerDidProduceError(ZuPlayer& player, const ZuPlayerError& error) override;
    void playerDidBeginMediaSeek(ZuPlayer& player) override;
    void playerDidCompleteMediaSeek(ZuPlayer& player) override;
    void playerDidChangeFullScreenStatus(ZuPlayer& player) override;

    // ---- As delegate of the controls ----------------------------------------------------------------
    // No key moments, no key-moment button, the comfortable density (raw value 5).
    std::optional<std::vector<ZuKeyMomentEvent>> playerControlsViewKeyMomentEvents(ZuPlayerControlsView& view) override;
    bool shouldShowKeyMomentButton(ZuPlayerControlsView& in) override;
    ZuPlayerControlsDisplayDensity playerControlsDisplayDensity(ZuPlayerControlsView& view) override;
    // Tells the host the new status.
    void playerControlsViewDidTogglePlayback(ZuPlayerControlsView& view, bool isPlaying) override;
    void playerControlsViewDidChangePlaybackSpeed(ZuPlayerControlsView& view, float speed) override;
    void playerControlsViewDidPlaybackJump(ZuPlayerControlsView& view, double seconds) override;
    void playerControlsViewDidSelectKeyMoment(ZuPlayerControlsView& view, const ZuKeyMomentEvent& event) override;
    void playerControlsViewDidFocusOnKeyMoment(ZuPlayerControlsView& view, const ZuKeyMomentEvent& event) override;
    void playerControlsViewDidDismissKeyMoments(ZuPlayerControlsView& view) override;
    void playerControlsViewDidJumpToLive(ZuPlayerControlsView& view) override;
    void playerControlsViewWillSeekTo(ZuPlayerControlsView& view, double seconds) override;
    void playerControlsViewDidTapKeyMomentButton(ZuPlayerControlsView& view,
                                                 const std::shared_ptr<uikit::UIButton>& button) override;
    std::optional<ZuKeyMomentEvent> selectedKeyMomentEvent(ZuPlayerControlsView& in) override;
    // The host is told; the screen neither closes nor stops playback.
    void videoControlsViewDidPressCloseButton(VideoControlsView& view) override;

    // ---- As data source of the control page ---------------------------------------------------------
    // The controls view as the first (and only) page.
    std::shared_ptr<uikit::UIView> pageViewAfter(ZuPageView& pageView,
                                                 const std::shared_ptr<uikit::UIView>& page) override;

    // ---- As presenter and delegate of the login screen ----------------------------------------------
    // The viewer swiped the login screen away.
    void presentationControllerDidDismiss(uikit::UIPresentationController& presentationController) override;
    void loginViewControllerDidLogin(LoginViewController& controller) override;
    // The host delegate's texts, or the kit's own without a delegate.
    ErrorDisplayModel errorDisplay(const AuthenticationError& error) override;
    void loginViewControllerDidFailLoginWith(LoginViewController& controller,
                                             const AuthenticationError& error) override;
    void loginViewControllerDidClose(LoginViewController& controller) override;

  protected:
    explicit ZuPlayerViewController(Dependencies dependencies);

  private:
    std::shared_ptr<ZuPlayerViewController> sharedSelf() const;
    std::weak_ptr<ZuPlayerViewController> weakSelf() const { return sharedSelf(); }
    void setUp();

    // The play road.
    void handleStreamContent(const AssetStreamContent& content);
    void handleError(const foundation::Error& error);
    // The session of the stream in the player ends: its end event, its interval and its analytics.
    void endSession();
    // The screen while the play numbered `generation` is still the latest; nothing after a later play or once
    // the screen is gone.
    std::function<std::shared_ptr<ZuPlayerViewController>()> whileLatest(std::uint64_t generation) const;
    void loadSucceeded(const std::shared_ptr<const AssetStreamContent>& content);
    // Plays the loaded stream (from whatever state it is in) and tells the host `playing`.
    void startPlayback();
    void reportFailure(const foundation::Error& error);
    // The login screen, made on first use with the screen as its delegate.
    const std::shared_ptr<LoginViewController>& loginViewController();
    void presentLogin();
    bool isLoginPresented() const;
    void streamLimitExceeded();

    Dependencies dependencies_;
    std::weak_ptr<ZuPlayerViewControllerDelegate> delegate_;
    bool printDebugLog_ = false;
    std::shared_ptr<AdSignallingService> adSignallingService_;
    std::shared_ptr<VideoPlayerProxy> playerProxy_;
    std::shared_ptr<ZuPlayer> player_;
    std::shared_ptr<VideoControlsView> controlsView_;
    std::optional<std::string> assetId_;
    std::shared_ptr<const AssetStreamContent> streamContent_;
    std::shared_ptr<StreamDRMSettingsProvider> drmSettingsProvider_;
    std::shared_ptr<LoginViewController> loginViewController_;
    uikit::UIColor tintColor_ = uikit::UIColor::white();
    // The last item whose failure the host was told of (never kept alive here).
    std::weak_ptr<avfoundation::AVPlayerItem> reportedFailedItem_;
    // The player-event session (its own subscriptions end with it).
    std::shared_ptr<detail::PlayerEventReporter> playerEvents_;
    // The latest `play` (counted, so that whatever an earlier one still brings is told apart), its chain
    // (sign-in, stream content) and the load of its content; each replaced by the next, ended with the screen.
    std::uint64_t playGeneration_ = 0;
    rx::SerialDisposable playRequest_;
    rx::SerialDisposable streamLoad_;
};

}  // namespace lumora
