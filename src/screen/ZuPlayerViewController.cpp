// The player screen: construction, its view, its life cycle, playback toggling, and its work as delegate of
// the player and data source of the control page. The play road is in ZuPlayerViewControllerPlay.cpp.
#include "screen/ZuPlayerViewController.h"

#include "authentication/LumoraAuthManager.h"
#include "authentication/ZuAuthManager.h"
#include "avfoundation/AVError.h"
#include "kitfoundation/Configuration.h"
#include "kitfoundation/Log.h"
#include "screen/detail/PlayerEventReporter.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/UIScreen.h"

namespace lumora {

namespace {

// The controls hide after this many seconds without use.
constexpr double kIdleTimerInterval = 5.0;

}  // namespace

ZuPlayerViewController::ZuPlayerViewController(Dependencies dependencies)
    : dependencies_(std::move(dependencies)), drmSettingsProvider_(StreamDRMSettingsProvider::create()) {
    if (!dependencies_.videoAPI) dependencies_.videoAPI = VideoAPI::shared();
    if (!dependencies_.analytics) dependencies_.analytics = YouboraManager::shared();
    if (!dependencies_.playerEventController) dependencies_.playerEventController = PlayerEventController::create();
}

ZuPlayerViewController::~ZuPlayerViewController() {
    playRequest_.dispose();
    streamLoad_.dispose();
}

std::shared_ptr<ZuPlayerViewController> ZuPlayerViewController::create(Dependencies dependencies) {
    std::shared_ptr<ZuPlayerViewController> screen(new ZuPlayerViewController(std::move(dependencies)));
    screen->setUp();
    return screen;
}

void ZuPlayerViewController::setUp() {
    std::weak_ptr<ZuPlayerViewController> weak = weakSelf();
    playerEvents_ = detail::PlayerEventReporter::create(
        {
            .controller = dependencies_.playerEventController,
            .accessToken = [] { return LumoraAuthManager::shared().accessToken(); },
            .logout =
                [](std::function<void()> completion) {
                    ZuAuthManager::shared().logout(
                        [completion = std::move(completion)](const std::expected<void, foundation::Error>& result) {
                            if (!result) debugLog("☣️ Sign-out after a refused player event:", result.error());
                            completion();
                        });
                },
        },
        {
            .content = [weak]() -> std::shared_ptr<const AssetStreamContent> {
                auto self = weak.lock();
                return self ? self->streamContent_ : nullptr;
            },
            .player = [weak]() -> std::shared_ptr<ZuPlayer> {
                auto self = weak.lock();
                return self ? self->player_ : nullptr;
            },
            .streamLimitExceeded =
                [weak] {
                    if (auto self = weak.lock()) self->streamLimitExceeded();
                },
        });
}

std::shared_ptr<ZuPlayerViewController> ZuPlayerViewController::sharedSelf() const {
    return std::static_pointer_cast<ZuPlayerViewController>(sharedController());
}

void ZuPlayerViewController::setPrintDebugLog(bool printDebugLog) {
    printDebugLog_ = printDebugLog;
    debugLogEnabled.store(printDebugLog);
}

// ---- View and life cycle ----

void ZuPlayerViewController::loadView() {
    auto container = uikit::UIView::create(uikit::UIScreen::main()->bounds());
    auto self = sharedSelf();

    adSignallingService_ = AdSignallingService::create();
    playerProxy_ = VideoPlayerProxy::create(adSignallingService_);
    player_ = ZuPlayer::create(kIdleTimerInterval, playerProxy_);
    // The player hands the data source on to its control page view.
    player_->setControlPageDataSource(std::weak_ptr<ZuPageViewDataSource>(self));
    player_->setDelegate(std::weak_ptr<ZuPlayerDelegate>(self));
    container->addSubview(player_);
    // Not added here: the control page asks for it as its first page.
    controlsView_ = VideoControlsView::create(player_);
    controlsView_->setDelegate(std::weak_ptr<VideoControlsViewDelegate>(self));

    player_->setTranslatesAutoresizingMaskIntoConstraints(false);
    player_->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
    setView(container);
}

void ZuPlayerViewController::viewDidLoad() {
    ZuViewController::viewDidLoad();
    debugLog("☣️ Starting ZuPlayerViewController");
    debugLog("☣️ Play API Domain: " + ConfigurationKey(ConfigurationKey::playServiceURL).value());
}

void ZuPlayerViewController::viewWillDisappear(bool animated) {
    ZuViewController::viewWillDisappear(animated);
    // Before the view is loaded, or after an unusable stream address removed the player, there is no
    // session to stop.
    if (player_) dependencies_.analytics->stopMonitoring(player_->videoView()->player());
}

void ZuPlayerViewController::toggleVideoPlayback() {
    debugLog("☣️ Toggle Video Playback");
    if (!player_) return;
    const auto& avplayer = player_->videoView()->player();
    if (avplayer->rate() != 0.0f) {  // a rate that is not a number counts as playing
        player_->pause(false);
    } else {
        player_->play(false);
    }
    if (auto playerDelegate = player_->delegate()) playerDelegate->playerDidTogglePlayback(*player_);
    const ZuPlayerStatus status = avplayer->rate() == 0.0f ? ZuPlayerStatus::paused : ZuPlayerStatus::playing;
    if (auto host = delegate()) host->playerControllerDidChangeStatus(*this, status);
}

// ---- Delegate of the player ----

void ZuPlayerViewController::presentRelatedContent(ZuPlayer&) {
    debugLog("☣️ ", "presentRelatedContent(in:)");
}

void ZuPlayerViewController::playerDidPlayToEndTime(ZuPlayer&) {
    if (auto host = delegate()) host->playerControllerDidChangeStatus(*this, ZuPlayerStatus::ended);
    playerEvents_->sendPlayerEndEvent();
    debugLog("☣️ ", "playerDidPlayToEndTime(_:)");
}

void ZuPlayerViewController::playerRateDidChange(ZuPlayer&) {
    debugLog("☣️ ", "playerRateDidChange(_:)");
}

void ZuPlayerViewController::playerWillReloadStream(ZuPlayer&) {
    debugLog("☣️ ", "playerWillReloadStream(_:)");
}

void ZuPlayerViewController::playerWillForceReloadStream(ZuPlayer&) {
    debugLog("☣️ ", "playerWillForceReloadStream(_:)");
    // The item is gone (and its keys and token may be stale): the asset is asked for and loaded afresh.
    if (assetId_) play(*assetId_);
}

void ZuPlayerViewController::playerDidReloadStream(ZuPlayer&) {
    debugLog("☣️ ", "playerDidReloadStream(_:)");
}

void ZuPlayerViewController::playerDidTogglePlayback(ZuPlayer&) {
    debugLog("☣️ ", "playerDidTogglePlayback(_:)");
}

void ZuPlayerViewController::playerDidChangeStatus(ZuPlayer& player, avfoundation::AVPlayerItem::Status status,
                                                   const std::shared_ptr<avfoundation::AVPlayerItem>& of) {
    (void)player;
    debugLog("☣️ ", "player(_:didChangeStatus:of:)");
    if (status != avfoundation::AVPlayerItem::Status::failed || !of) return;
    // A loaded item that cannot play (a refused licence, media that cannot be fetched) is the host's to
    // know, once per item.
    if (reportedFailedItem_.lock() == of) return;
    reportedFailedItem_ = of;
    foundation::Error error =
        of->error() ? *of->error() : foundation::Error(avfoundation::AVError::make(avfoundation::AVError::unknown));
    reportFailure(error);
}

void ZuPlayerViewController::playerDidProduceEvent(ZuPlayer&, const ZuPlayerEvent& event) {
    if (event.isPlay()) {
        debugLog("☣️ ", "player(_:didProduceEvent:)", " play");
    } else if (event.isPause()) {
        debugLog("☣️ ", "player(_:didProduceEvent:)", " pause");
    } else {
        debugLog("☣️ ", "player(_:didProduceEvent:)");
    }
}

void ZuPlayerViewController::playerDidProduceError(ZuPlayer&, const ZuPlayerError& error) {
    debugLog("☣️ ", "player(_:didProduceError:)", " ", error);
}

void ZuPlayerViewController::playerDidBeginMediaSeek(ZuPlayer&) {
    debugLog("☣️ ", "playerDidBeginMediaSeek(_:)");
}

void ZuPlayerViewController::playerDidCompleteMediaSeek(ZuPlayer&) {
    debugLog("☣️ ", "playerDidCompleteMediaSeek(_:)");
}

void ZuPlayerViewController::playerDidChangeFullScreenStatus(ZuPlayer&) {
    debugLog("☣️ ", "playerDidChangeFullScreenStatus(_:)");
}

// ---- Data source of the control page ----

std::shared_ptr<uikit::UIView> ZuPlayerViewController::pageViewAfter(ZuPageView&,
                                                                     const std::shared_ptr<uikit::UIView>& page) {
    if (page) return nullptr;
    return controlsView_;
}

// ---- Delegate of the controls ----

std::optional<std::vector<ZuKeyMomentEvent>> ZuPlayerViewController::playerControlsViewKeyMomentEvents(
    ZuPlayerControlsView&) {
    return std::nullopt;
}

bool ZuPlayerViewController::shouldShowKeyMomentButton(ZuPlayerControlsView&) {
    return false;
}

ZuPlayerControlsDisplayDensity ZuPlayerViewController::playerControlsDisplayDensity(ZuPlayerControlsView&) {
    debugLog("☣️ ", "playerControlsDisplayDensity(_:)", " comfortable2");
    return ZuPlayerControlsDisplayDensity(5);
}

void ZuPlayerViewController::playerControlsViewDidTogglePlayback(ZuPlayerControlsView&, bool isPlaying) {
    if (auto host = delegate()) {
        host->playerControllerDidChangeStatus(*this, isPlaying ? ZuPlayerStatus::playing : ZuPlayerStatus::paused);
    }
    debugLog("☣️ ", "playerControlsView(_:didTogglePlayback:)", " ", isPlaying);
}

void ZuPlayerViewController::playerControlsViewDidChangePlaybackSpeed(ZuPlayerControlsView&, float speed) {
    debugLog("☣️ ", "playerControlsView(_:didChangePlaybackSpeed:)", " ", speed);
}

void ZuPlayerViewController::playerControlsViewDidPlaybackJump(ZuPlayerControlsView&, double seconds) {
    debugLog("☣️ ", "playerControlsView(_:didPlaybackJump:)", " ", seconds);
}

void ZuPlayerViewController::playerControlsViewDidSelectKeyMoment(ZuPlayerControlsView&,
                                                                  const ZuKeyMomentEvent& event) {
    debugLog("☣️ ", "playerControlsView(_:didSelectKeyMoment:)", " ", event.code);
}

void ZuPlayerViewController::playerControlsViewDidFocusOnKeyMoment(ZuPlayerControlsView&, const ZuKeyMomentEvent&) {}

void ZuPlayerViewController::playerControlsViewDidDismissKeyMoments(ZuPlayerControlsView&) {}

void ZuPlayerViewController::playerControlsViewDidJumpToLive(ZuPlayerControlsView&) {
    debugLog("☣️ ", "playerControlsViewDidJumpToLive(_:)");
}

void ZuPlayerViewController::playerControlsViewWillSeekTo(ZuPlayerControlsView&, double seconds) {
    debugLog("☣️ ", "playerControlsView(_:willSeekTo:)", " ", seconds);
}

void ZuPlayerViewController::playerControlsViewDidTapKeyMomentButton(ZuPlayerControlsView&,
                                                                     const std::shared_ptr<uikit::UIButton>&) {}

std::optional<ZuKeyMomentEvent> ZuPlayerViewController::selectedKeyMomentEvent(ZuPlayerControlsView&) {
    return std::nullopt;
}

void ZuPlayerViewController::videoControlsViewDidPressCloseButton(VideoControlsView&) {
    if (auto host = delegate()) host->playerControllerDidPressCloseButton(*this);
}

}  // namespace lumora
