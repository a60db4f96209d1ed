// The player view's construction, published state, ads and control page. Loading and playback control,
// seeking, observers and background handling, and captions are in the ZuPlayer*.cpp files beside it.
#include "playback/ZuPlayer.h"

#include <chrono>
#include <cmath>

#include "dispatch/DispatchQueue.h"
#include "playback/AVPlayerInterfaceAdapter.h"
#include "playback/ZuPlayerReactive.h"
#include "rx/Foundation.h"
#include "rx/Schedulers.h"
#include "uikit/UIApplication.h"

namespace lumora {

using coremedia::CMTime;
using coremedia::kCMTimeZero;
using coremedia::kPreferredTimescale;

namespace {

// How long the idle timer's announcements must settle before an idle one hides the controls.
constexpr auto kAutoHideDebounce = std::chrono::milliseconds(320);

// A derived time as published: zero for a result that is not a number or not valid, and for a negative one.
CMTime publishable(double seconds) {
    if (std::isnan(seconds)) return kCMTimeZero;
    const CMTime time(seconds, kPreferredTimescale);
    if (!time.isValid() || seconds < 0) return kCMTimeZero;
    return time;
}

CMTime publishable(CMTime time) {
    if (!time.isValid()) return kCMTimeZero;
    return publishable(time.seconds());
}

}  // namespace

ZuPlayer::ZuPlayer(double idleTimerInterval, std::shared_ptr<VideoPlayerProxyInterface> playerProxy)
    : uikit::UIView(uikit::CGRect()),
      playerProxy_(std::move(playerProxy)),
      videoView_(ZuVideoView::create()),
      controlPageView_(ZuPageView::create()),
      idleTimer_(ZuIdleTimer::create(idleTimerInterval)),
      playbackPressRecognizer_(uikit::UITapGestureRecognizer::create()),
      avplayerKey_(videoView_->player()) {
    registerKey("timeControlStatus", timeControlStatus_);
    registerKey("isPlaybackBufferEmpty", isPlaybackBufferEmpty_);
    registerKey("rate", rate_);
    registerKey("currentTime", currentTime_);
    registerKey("currentTimeWithoutAds", currentTimeWithoutAds_);
    registerKey("duration", duration_);
    registerKey("durationWithoutAds", durationWithoutAds_);
    registerKey("DVRStartTime", DVRStartTime_);
    registerKey("loadedTimeRanges", loadedTimeRanges_);
    registerKey("isFullScreen", isFullScreen_);
    registerKey("avplayer", avplayerKey_);
}

std::shared_ptr<ZuPlayer> ZuPlayer::create(double idleTimerInterval,
                                           std::shared_ptr<VideoPlayerProxyInterface> playerProxy) {
    auto player = std::shared_ptr<ZuPlayer>(new ZuPlayer(idleTimerInterval, std::move(playerProxy)));
    player->setUp();
    return player;
}

ZuPlayer::~ZuPlayer() {
    removeItemObservers();
    if (timeObserverToken_.has_value()) avplayer()->removeTimeObserver(timeObserverToken_);
}

void ZuPlayer::setUp() {
    auto self = sharedAs<ZuPlayer>();
    std::weak_ptr<ZuPlayer> weakSelf = self;

    // The ad proxy watches this player's media player and reports ads through it.
    if (playerProxy_) {
        playerProxy_->set(AVPlayerInterfaceAdapter::create(avplayer()));
        playerProxy_->adEventsPublisher()
            .sink([weakSelf](const AdEvent& event) {
                auto player = weakSelf.lock();
                if (!player) return;
                auto adDelegate = player->adDelegate();
                if (!adDelegate) return;
                if (event.isStart()) {
                    adDelegate->didStartAdDisplay(event.ad(), event.indexInGroup());
                } else {
                    adDelegate->didFinishAdDisplay(event.ad(), event.indexInGroup(), event.hasAdCompleted());
                }
            })
            .store(cancellables_);
    }

    setBackgroundColor(uikit::UIColor::black());
    addSubview(videoView_);
    videoView_->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.edges().equalToSuperview().priority(uikit::ConstraintPriority::required() - 1);
    });
    addSubview(controlPageView_);
    controlPageView_->setDelegate(std::weak_ptr<ZuPageViewDelegate>(self));
    controlPageView_->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.edges().equalToSuperview().priority(uikit::ConstraintPriority::required() - 1);
    });

    setUpAutoHide();
    setUpApplicationNotifications();
    setUpPlaybackPress();
    disposeBag_.insert(loaderStateSubscription_);
}

void ZuPlayer::setUpAutoHide() {
    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    idleTimer_->add(controlPageView_);
    idleTimer_->event()
        .distinctUntilChanged([](const ZuIdleTimerEvent& event) { return event.timeInterval(); })
        .debounce(kAutoHideDebounce, rx::MainScheduler::asyncInstance())
        .bind([weakSelf](const ZuIdleTimerEvent& event) {
            auto player = weakSelf.lock();
            if (!player || event.timeInterval() != 0) return;
            // The controls drive the cast receiver then: they stay.
            if (player->castManager_ && player->castManager_->canControlCastPlayer()) return;
            if (player->controlPageView_->page()) player->controlPageView_->replacePage(nullptr);
        })
        .disposed(disposeBag_);
}

void ZuPlayer::setUpApplicationNotifications() {
    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    auto notifications = rx::Reactive(foundation::NotificationCenter::defaultCenter());
    notifications.notification(uikit::UIApplicationWillResignActiveNotification)
        .subscribe([weakSelf](const foundation::Notification&) {
            if (auto player = weakSelf.lock()) player->applicationWillResignActive();
        })
        .disposed(disposeBag_);
    notifications.notification(uikit::UIApplicationDidBecomeActiveNotification)
        .subscribe([weakSelf](const foundation::Notification&) {
            if (auto player = weakSelf.lock()) player->applicationDidBecomeActive();
        })
        .disposed(disposeBag_);
}

void ZuPlayer::setUpPlaybackPress() {
    std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
    playbackPressRecognizer_->setAllowedPressTypes({uikit::UIPress::PressType::playPause});
    addGestureRecognizer(playbackPressRecognizer_);
    playbackPressRecognizer_->rx()
        .event()
        .filter([](const std::shared_ptr<uikit::UITapGestureRecognizer>& recognizer) {
            return recognizer->state() == uikit::UIGestureRecognizer::State::ended;
        })
        .bind([weakSelf](const std::shared_ptr<uikit::UITapGestureRecognizer>&) {
            if (auto player = weakSelf.lock()) player->togglePlayback();
        })
        .disposed(disposeBag_);
}

void ZuPlayer::setControlPageDataSource(std::weak_ptr<ZuPageViewDataSource> dataSource) {
    controlPageDataSource_ = dataSource;
    controlPageView_->setDataSource(std::move(dataSource));
}

// ---- Published state ----

void ZuPlayer::setCurrentTime(CMTime time) {
    currentTime_.set(time);
    const double withoutAds = playerProxy_ ? playerProxy_->currentTimeWithoutAds(time.seconds()) : time.seconds();
    setCurrentTimeWithoutAds(publishable(withoutAds));
}

void ZuPlayer::setCurrentTimeWithoutAds(CMTime time) {
    currentTimeWithoutAds_.set(publishable(time));
}

void ZuPlayer::setDuration(CMTime time) {
    duration_.set(time);
    updateDurationWithoutAds();
}

void ZuPlayer::setDurationWithoutAds(CMTime time) {
    durationWithoutAds_.set(publishable(time));
}

std::vector<std::shared_ptr<uikit::UIFocusEnvironment>> ZuPlayer::preferredFocusEnvironments() const {
    return {controlPageView_};
}

// ---- Ads ----

void ZuPlayer::update(AdGroups adGroups) {
    if (playerProxy_) playerProxy_->update(std::move(adGroups));
    updateDurationWithoutAds();
}

double ZuPlayer::timeRemainingForAdAt(double time) const {
    if (!playerProxy_) return 0;
    const auto range = playerProxy_->timeRangeForAdAt(time);
    // Outside every ad the proxy answers the zero range: no time is left.
    if (!(range.duration.seconds() > 0)) return 0;
    return range.duration.seconds() - (time - range.start.seconds());
}

void ZuPlayer::updateDurationWithoutAds() {
    const double seconds = duration().seconds();
    setDurationWithoutAds(publishable(playerProxy_ ? playerProxy_->durationWithoutAds(seconds) : seconds));
}

// ---- Control page ----

void ZuPlayer::presentControlsIfPossible() {
    if (!idleTimer_->isScheduled()) idleTimer_->schedule();
}

void ZuPlayer::scheduleTimer() {
    idleTimer_->schedule();
}

void ZuPlayer::dismissControls() {
    idleTimer_->invalidate();
}

void ZuPlayer::showControlsIfNeeded() {
    controlPageView_->updatePageIfNeeded();
}

void ZuPlayer::pageViewWillPresentView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) {
    if (!view) {
        std::weak_ptr<ZuPlayer> weakSelf = sharedAs<ZuPlayer>();
        dispatch::DispatchQueue::main().async([weakSelf] {
            if (auto player = weakSelf.lock()) player->idleTimer_->invalidate();
        });
    }
    if (auto d = controlPageDelegate()) d->pageViewWillPresentView(pageView, view);
}

void ZuPlayer::pageViewDidPresentView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) {
    if (auto d = controlPageDelegate()) d->pageViewDidPresentView(pageView, view);
}

void ZuPlayer::pageViewWillDismissView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) {
    if (auto d = controlPageDelegate()) d->pageViewWillDismissView(pageView, view);
}

void ZuPlayer::dismissPageView(ZuPageView& pageView) {
    (void)pageView;
    // A running countdown hides the controls through the auto-hide chain; otherwise they go now.
    if (!idleTimer_->invalidate() && controlPageView_->page()) controlPageView_->replacePage(nullptr);
}

void ZuPlayer::didSkip(double to) {
    jump(to);
}

ZuPlayerReactive ZuPlayer::rx() {
    return ZuPlayerReactive(sharedAs<ZuPlayer>());
}

}  // namespace lumora
