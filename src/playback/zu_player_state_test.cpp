// The player view's small types, initial state, construction, control page and ad reporting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <unordered_set>

#include "casting/testing/FakeCastPlugins.h"
#include "playback/AVPlayerInterfaceAdapter.h"
#include "playback/testing/ZuPlayerTestSupport.h"
#include "ui/testing/DeviceScope.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/testing/SnapshotTesting.h"

using namespace lumora;
using coremedia::CMTime;
using coremedia::kCMTimeZero;
using coremedia::kPreferredTimescale;
using lumora::testing::ScreenClass;
using lumora::testing::ZuPlayerTest;

namespace {

// A page for the control page, and the data source that offers it.
class ControlsSource final : public ZuPageViewDataSource {
  public:
    std::shared_ptr<uikit::UIView> pageViewAfter(ZuPageView&, const std::shared_ptr<uikit::UIView>&) override {
        return page;
    }
    std::shared_ptr<uikit::UIView> page = uikit::UIView::create();
};

class PageEvents final : public ZuPageViewDelegate {
  public:
    void pageViewWillPresentView(ZuPageView&, const std::shared_ptr<uikit::UIView>& v) override {
        log.push_back(v ? "willPresent page" : "willPresent none");
    }
    void pageViewDidPresentView(ZuPageView&, const std::shared_ptr<uikit::UIView>& v) override {
        log.push_back(v ? "didPresent page" : "didPresent none");
    }
    void pageViewWillDismissView(ZuPageView&, const std::shared_ptr<uikit::UIView>&) override {
        log.push_back("willDismiss");
    }
    void didSkip(double) override { log.push_back("skip"); }
    std::vector<std::string> log;
};

// The real conversions, with answers a test can spoil.
class SpoiltProxy final : public VideoPlayerProxyInterface {
  public:
    void update(AdGroups adGroups) override { real->update(std::move(adGroups)); }
    void set(std::shared_ptr<PlayerInterface> player) override { real->set(std::move(player)); }
    combine::AnyPublisher<AdEvent> adEventsPublisher() const override { return events.eraseToAnyPublisher(); }
    double currentTimeWithoutAds(double playheadTime) const override {
        return nanPlayhead ? std::nan("") : real->currentTimeWithoutAds(playheadTime);
    }
    double durationWithoutAds(double duration) const override { return real->durationWithoutAds(duration); }
    double currentTimeWithAds(double time) const override { return real->currentTimeWithAds(time); }
    std::vector<coremedia::CMTimeRange> loadedTimeRangesWithoutAds(
        const std::vector<coremedia::CMTimeRange>& ranges) const override {
        return real->loadedTimeRangesWithoutAds(ranges);
    }
    coremedia::CMTimeRange timeRangeForAdAt(double time) const override { return real->timeRangeForAdAt(time); }

    std::shared_ptr<VideoPlayerProxy> real = VideoPlayerProxy::create(AdSignallingService::create());
    combine::PassthroughSubject<AdEvent> events;
    bool nanPlayhead = false;
};

// The player on every screen class: a device of that size and a window filling it.
class ZuPlayerOnEveryScreenTest : public ZuPlayerTest, public ::testing::WithParamInterface<ScreenClass> {
  protected:
    void SetUp() override {
        device.emplace(GetParam());
        windowFrame = uikit::CGRect{0, 0, GetParam().width, GetParam().height};
        ZuPlayerTest::SetUp();
        device->show(*window);
        uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
    }
    std::optional<lumora::testing::ScreenClassScope> device;
};

INSTANTIATE_TEST_SUITE_P(EveryScreen, ZuPlayerOnEveryScreenTest, ::testing::ValuesIn(lumora::testing::screens::all()),
                         lumora::testing::screens::name);

}  // namespace

TEST(ZuPlayerTypes, SpeedsEventsErrorsAndConstants) {
    EXPECT_FALSE(VideoPlaybackSpeed::fromRawValue(1.25f));
    EXPECT_FALSE(VideoPlaybackSpeed::fromRawValue(std::nanf("")));
    EXPECT_EQ(VideoPlaybackSpeed::fromRawValue(3), VideoPlaybackSpeed::triple);
    EXPECT_EQ(VideoPlaybackSpeed::fromRawValue(0.5f), VideoPlaybackSpeed::slowMo);
    EXPECT_EQ(VideoPlaybackSpeed(VideoPlaybackSpeed::oneHalf).rawValue(), 1.5f);
    EXPECT_EQ(VideoPlaybackSpeed(VideoPlaybackSpeed::double_).rawValue(), 2.0f);
    std::unordered_set<VideoPlaybackSpeed> speeds{VideoPlaybackSpeed::paused, VideoPlaybackSpeed::normal,
                                                  VideoPlaybackSpeed::normal};
    EXPECT_EQ(speeds.size(), 2u);

    EXPECT_NE(ZuPlayerEvent::bifVisibilityChanged(true), ZuPlayerEvent::bifVisibilityChanged(false));
    EXPECT_EQ(ZuPlayerEvent::bifVisibilityChanged(true), ZuPlayerEvent::bifVisibilityChanged(true));
    EXPECT_EQ(ZuPlayerEvent::play(), ZuPlayerEvent::play());
    EXPECT_NE(ZuPlayerEvent::play(), ZuPlayerEvent::pause());
    EXPECT_EQ(ZuPlayerEvent::bifVisibilityChanged(false).isVisible(), false);
    EXPECT_FALSE(ZuPlayerEvent::upNextPressed().isVisible());

    foundation::Error drm = ZuPlayerError::drm(DRMError::licenseRefused);
    EXPECT_EQ(drm.domain(), "Lumora.ZuPlayerError");
    EXPECT_EQ(drm.code(), 0);
    EXPECT_EQ(drm.as<ZuPlayerError>()->drmError(), DRMError::licenseRefused);
    foundation::Error reload = ZuPlayerError::reloadFailed(DRMError(DRMError::missingToken));
    EXPECT_EQ(reload.code(), 1);
    EXPECT_EQ(reload.localizedDescription(), "The operation couldn’t be completed. (Lumora.ZuPlayerError error 1.)");
    EXPECT_EQ(reload.as<ZuPlayerError>()->reloadError()->code(), DRMError::missingToken);

    EXPECT_EQ(ZuVideoPlayerConstant::jumpVideoDuration, 15.0);
    EXPECT_EQ(ZuVideoPlayerConstant::intervalToRepeatEventWhenHeldDown, 300);
    EXPECT_EQ(ZuVideoPlayerConstant::playerPlayableKey, "playable");
    EXPECT_EQ(ZuVideoPlayerConstant::playbackTimeDifferenceToBeLive, 10.0);
    EXPECT_EQ(ZuVideoPlayerConstant::remotePadThreshold, 0.7f);
}

TEST_F(ZuPlayerTest, AFreshPlayerPublishesItsInitialStateByName) {
    auto fresh = ZuPlayer::create(5.0, proxy);
    EXPECT_TRUE(fresh->isPlaybackBufferEmpty());
    EXPECT_EQ(fresh->rate(), 0);
    EXPECT_EQ(fresh->timeControlStatus(), ZuPlayer::TimeControlStatus::paused);
    for (const CMTime& t : {fresh->currentTime(), fresh->currentTimeWithoutAds(), fresh->duration(),
                            fresh->durationWithoutAds(), fresh->DVRStartTime()}) {
        EXPECT_EQ(coremedia::CMTimeCompare(t, kCMTimeZero), 0);
    }
    ASSERT_EQ(fresh->loadedTimeRanges().size(), 1u);
    EXPECT_TRUE(fresh->loadedTimeRanges()[0]->range().isEmpty());
    EXPECT_FALSE(fresh->isFullScreen());
    EXPECT_FALSE(fresh->previousNonZeroPlayheadTime());
    EXPECT_FALSE(fresh->hasPendingSeek());
    EXPECT_EQ(fresh->playbackSpeed(), 1.0f);
    EXPECT_FALSE(fresh->delegate() || fresh->adDelegate() || fresh->castManager() || fresh->assetResourceLoader());
    EXPECT_FALSE(fresh->isObservingPlayer());  // not in a view hierarchy
    EXPECT_FALSE(fresh->isLive() || fresh->isPlaying() || fresh->isMuted());
    EXPECT_EQ(fresh->controlView(), nullptr);
    EXPECT_EQ(fresh->videoRenderView(), fresh->videoView());

    // Observable by name, for the ten published properties and the media player.
    EXPECT_EQ(std::any_cast<bool>(*fresh->value("isPlaybackBufferEmpty")), true);
    EXPECT_EQ(std::any_cast<std::shared_ptr<avfoundation::AVPlayer>>(*fresh->value("avplayer")), fresh->avplayer());
    std::vector<bool> fullScreen;
    auto observation = fresh->observe(
        "isFullScreen", foundation::NSKeyValueObservingOptions::new_,
        [&](const foundation::KeyValueChange& c) { fullScreen.push_back(std::any_cast<bool>(c.newValue)); });
    ASSERT_TRUE(observation);
    fresh->setIsFullScreen(true);
    EXPECT_EQ(fullScreen, (std::vector<bool>{true}));
    for (const char* key : {"timeControlStatus", "rate", "currentTime", "currentTimeWithoutAds", "duration",
                            "durationWithoutAds", "DVRStartTime", "loadedTimeRanges"}) {
        EXPECT_TRUE(fresh->value(key)) << key;
    }
    EXPECT_FALSE(fresh->value("pendingSeekTime"));

    // The metrics and the style are the live shared ones.
    EXPECT_EQ(&ZuPlayer::metrics(), &ZuPlayerMetrics::shared());
    EXPECT_EQ(ZuPlayer::metrics().backgroundThreshold, 300);
    EXPECT_EQ(&ZuPlayer::style(), &ZuPlayerStyle::shared());
    EXPECT_EQ(&ZuPlayer::assets(), &AssetGraph::shared());
    EXPECT_TRUE(ZuPlayer::assets().middleControls.play.image());  // the catalogue's icons are in the kit's bundle
    EXPECT_EQ(ZuPlayer::bundle(), KitBundle::shared());
    EXPECT_TRUE(ZuPlayer::bundle().bundlePath().ends_with(KitBundle::folderName));
}

TEST_P(ZuPlayerOnEveryScreenTest, ConstructionWiresTheProxyTheViewTreeAndThePress) {
    // The proxy watches this player's media player.
    auto adapter = std::dynamic_pointer_cast<AVPlayerInterfaceAdapter>(proxy->player());
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->player(), player->avplayer());
    // The proxy's observer and the player's own (the player is in a window).
    EXPECT_EQ(player->avplayer()->timeObserverCount(), 2u);
    EXPECT_TRUE(player->isObservingPlayer());

    ASSERT_EQ(player->subviews().size(), 2u);
    EXPECT_EQ(player->subviews()[0], player->videoView());
    EXPECT_EQ(player->subviews()[1], player->controlPageView());
    EXPECT_EQ(player->controlPageView()->delegate(), player);
    EXPECT_EQ(player->backgroundColor(), uikit::UIColor::black());
    window->layoutIfNeeded();
    EXPECT_EQ(player->videoView()->frame(), window->bounds());
    EXPECT_EQ(player->controlPageView()->frame(), window->bounds());
    for (const auto& view : {std::static_pointer_cast<uikit::UIView>(player->videoView()),
                             std::static_pointer_cast<uikit::UIView>(player->controlPageView())}) {
        for (const auto& constraint : view->snp().constraints()) EXPECT_EQ(constraint->priority().rawValue, 999.0f);
    }
    EXPECT_EQ(player->idleTimer()->timeInterval(), 5.0);
    EXPECT_EQ(player->playbackPressRecognizer()->allowedPressTypes(),
              std::vector<uikit::UIPress::PressType>{uikit::UIPress::PressType::playPause});
    ASSERT_EQ(player->preferredFocusEnvironments().size(), 1u);
    EXPECT_EQ(player->preferredFocusEnvironments()[0], player->controlPageView());

    auto source = std::make_shared<ControlsSource>();
    player->setControlPageDataSource(source);
    EXPECT_EQ(player->controlPageView()->dataSource(), source);

    // Leaving the window stops the player's own observers; the proxy's stays.
    player->removeFromSuperview();
    EXPECT_FALSE(player->isObservingPlayer());
    EXPECT_EQ(player->avplayer()->timeObserverCount(), 1u);
    window->addSubview(player);
    EXPECT_EQ(player->avplayer()->timeObserverCount(), 2u);

    // Released, the player leaves no observer behind in the notification centre.
    const auto registrations = foundation::NotificationCenter::defaultCenter().observerCount();
    auto other = ZuPlayer::create(5.0, VideoPlayerProxy::create(AdSignallingService::create()));
    EXPECT_GT(foundation::NotificationCenter::defaultCenter().observerCount(), registrations);
    other.reset();
    EXPECT_EQ(foundation::NotificationCenter::defaultCenter().observerCount(), registrations);
}

TEST_F(ZuPlayerTest, TheIdleTimerHidesTheControlsOnce320MillisecondsAfterGoingIdle) {
    auto source = std::make_shared<ControlsSource>();
    auto pageEvents = std::make_shared<PageEvents>();
    player->setControlPageDataSource(source);
    player->setControlPageDelegate(pageEvents);
    player->showControlsIfNeeded();
    clock.advance(0.4);
    ASSERT_EQ(player->controlView(), source->page);
    EXPECT_EQ(pageEvents->log, (std::vector<std::string>{"willPresent page", "didPresent page"}));
    pageEvents->log.clear();

    // The countdown started at construction runs out at 5 s; the controls go 320 ms later.
    clock.advance(4.6);
    EXPECT_FALSE(player->idleTimer()->isScheduled());
    clock.advance(0.319);
    EXPECT_TRUE(pageEvents->log.empty());
    clock.advance(0.001);
    EXPECT_EQ(pageEvents->log, (std::vector<std::string>{"willDismiss"}));
    clock.advance(0.2);
    EXPECT_EQ(player->controlView(), nullptr);
    EXPECT_EQ(pageEvents->log, (std::vector<std::string>{"willDismiss", "willPresent none", "didPresent none"}));

    // Showing again restarts nothing by itself; scheduling does, and a restart within the debounce keeps them.
    player->showControlsIfNeeded();
    player->presentControlsIfPossible();  // not running: starts a countdown
    clock.advance(4.9);
    player->presentControlsIfPossible();  // running: left alone
    clock.advance(0.1);                   // idle at 5 s
    clock.advance(0.2);
    player->scheduleTimer();  // a new interval before the debounce settles: nothing hides
    clock.advance(1);
    EXPECT_EQ(player->controlView(), source->page);
    clock.advance(5.32);
    clock.advance(0.2);
    EXPECT_EQ(player->controlView(), nullptr);
}

TEST_F(ZuPlayerTest, TheControlsStayWhileTheCastPlayerCanBeControlled) {
    auto source = std::make_shared<ControlsSource>();
    player->setControlPageDataSource(source);
    player->showControlsIfNeeded();
    auto cast = CastManager::create();
    auto chromecast = lumora::testing::FakeChromecastPlugin::create();
    chromecast->setConnectionState(CastConnectionState::canControlCastPlayer);
    cast->set(std::shared_ptr<CastManagerInterface>(chromecast));
    player->setCastManager(cast);
    clock.advance(10);
    EXPECT_FALSE(player->idleTimer()->isScheduled());
    EXPECT_EQ(player->controlView(), source->page);
}

TEST_F(ZuPlayerTest, DismissingThePageHidesAtOnceOnlyWhenNoCountdownRuns) {
    auto source = std::make_shared<ControlsSource>();
    player->setControlPageDataSource(source);
    player->showControlsIfNeeded();
    clock.advance(0.4);

    // A countdown runs: dismissing stops it, and the auto-hide chain hides 320 ms later.
    player->dismissPageView(*player->controlPageView());
    EXPECT_FALSE(player->idleTimer()->isScheduled());
    clock.advance(0.3);
    EXPECT_EQ(player->controlView(), source->page);
    clock.advance(0.02 + 0.2);
    EXPECT_EQ(player->controlView(), nullptr);

    // Nothing runs: the page goes at once.
    player->showControlsIfNeeded();
    clock.advance(0.4);
    player->dismissPageView(*player->controlPageView());
    clock.advance(0.2);
    EXPECT_EQ(player->controlView(), nullptr);

    // The Menu press asks the same.
    player->showControlsIfNeeded();
    clock.advance(0.4);
    uikit::testing::PressSimulator().press(uikit::UIPress::PressType::menu, player->controlPageView());
    clock.advance(0.2);
    EXPECT_EQ(player->controlView(), nullptr);
}

TEST_F(ZuPlayerTest, EmptyingTheControlPageStopsTheCountdownOnTheNextTurnAndEventsArePassedOn) {
    auto source = std::make_shared<ControlsSource>();
    auto pageEvents = std::make_shared<PageEvents>();
    player->setControlPageDataSource(source);
    player->setControlPageDelegate(pageEvents);
    player->showControlsIfNeeded();
    clock.advance(0.4);
    player->scheduleTimer();
    player->controlPageView()->dismissAll();
    clock.advance(0.2);  // the fade-out's completion presents none, and the countdown stops
    EXPECT_FALSE(player->idleTimer()->isScheduled());
    EXPECT_EQ(pageEvents->log, (std::vector<std::string>{"willPresent page", "didPresent page", "willDismiss",
                                                         "willPresent none", "didPresent none"}));

    // It stops on a later turn of the main loop, not inside the call.
    player->scheduleTimer();
    player->pageViewWillPresentView(*player->controlPageView(), nullptr);
    EXPECT_TRUE(player->idleTimer()->isScheduled());
    clock.runUntilIdle();
    EXPECT_FALSE(player->idleTimer()->isScheduled());
    player->scheduleTimer();
    player->pageViewWillPresentView(*player->controlPageView(), source->page);
    clock.runUntilIdle();
    EXPECT_TRUE(player->idleTimer()->isScheduled());
}

TEST_F(ZuPlayerTest, ThePlayPausePressTogglesWhenItEnds) {
    uikit::testing::PressSimulator presses;
    presses.press(uikit::UIPress::PressType::playPause, player);
    EXPECT_EQ(delegate->calls(), (std::vector<std::string>{"event play", "rate 1", "toggle"}));
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    auto press = presses.begin(uikit::UIPress::PressType::playPause, player);
    presses.cancel(press);
    EXPECT_EQ(delegate->calls("toggle").size(), 1u);
    presses.press(uikit::UIPress::PressType::select, player);
    EXPECT_EQ(delegate->calls("toggle").size(), 1u);
    presses.press(uikit::UIPress::PressType::playPause, player);
    EXPECT_EQ(delegate->calls("toggle").size(), 2u);
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
}

TEST_F(ZuPlayerTest, AdTimesAreMeasuredInsideAdsOnlyAndTheContentDurationNeverGoesBelowZero) {
    player->update({{AdInfo("a", 10, 20)}});
    EXPECT_EQ(player->timeRemainingForAdAt(15), 15);
    EXPECT_EQ(player->timeRemainingForAdAt(10), 20);
    EXPECT_EQ(player->timeRemainingForAdAt(5), 0);  // outside every ad
    EXPECT_EQ(player->timeRemainingForAdAt(30), 0);

    player->setDuration(CMTime(100.0, kPreferredTimescale));
    EXPECT_EQ(player->durationWithoutAds().seconds(), 80);
    player->update({{AdInfo("a", 10, 20), AdInfo("b", 30, 100)}});  // ads longer than the stream
    EXPECT_EQ(coremedia::CMTimeCompare(player->durationWithoutAds(), kCMTimeZero), 0);
    player->setDuration(coremedia::kCMTimeIndefinite);  // a live stream's duration is not a number
    EXPECT_EQ(coremedia::CMTimeCompare(player->durationWithoutAds(), kCMTimeZero), 0);
}

TEST_F(ZuPlayerTest, AProxyAnswerThatIsNotANumberPublishesZero) {
    auto spoilt = std::make_shared<SpoiltProxy>();
    auto own = ZuPlayer::create(5.0, spoilt);
    own->setCurrentTime(CMTime(12.0, kPreferredTimescale));
    EXPECT_EQ(own->currentTimeWithoutAds().seconds(), 12);
    spoilt->nanPlayhead = true;
    own->setCurrentTime(CMTime(13.0, kPreferredTimescale));
    EXPECT_EQ(own->currentTime().seconds(), 13);
    EXPECT_EQ(coremedia::CMTimeCompare(own->currentTimeWithoutAds(), kCMTimeZero), 0);
}

TEST_F(ZuPlayerTest, AdEventsReachTheAdDelegateOnlyWhileOneIsSet) {
    auto spoilt = std::make_shared<SpoiltProxy>();
    auto own = ZuPlayer::create(5.0, spoilt);
    auto events = std::make_shared<lumora::testing::RecordingPlayerDelegate>();
    spoilt->events.send(AdEvent::start(AdDisplayInfo("lost", "Ad 1", 15), 0));
    own->setAdDelegate(events);
    spoilt->events.send(AdEvent::start(AdDisplayInfo("a1", "Ad 1", 15), 0));
    spoilt->events.send(AdEvent::finish(AdDisplayInfo("a1", "Ad 1", 15), 0, true));
    EXPECT_EQ(events->calls(), (std::vector<std::string>{"ad start a1 0", "ad finish a1 0 completed"}));
    own.reset();
    spoilt->events.send(AdEvent::start(AdDisplayInfo("a2", "Ad 2", 15), 1));
    EXPECT_EQ(events->calls().size(), 2u);
}

TEST_P(ZuPlayerOnEveryScreenTest, TheControlPageIsDrawnOverTheVideo) {
    // A control page over the black video: a translucent bar along the bottom holding a button and a
    // progress track a third played.
    auto page = uikit::UIView::create();
    auto bar = uikit::UIView::create();
    bar->setBackgroundColor(uikit::UIColor(0.15, 0.15, 0.15, 0.8));
    auto button = uikit::UIView::create();
    button->setBackgroundColor(uikit::UIColor::white());
    auto track = uikit::UIView::create();
    track->setBackgroundColor(uikit::UIColor(0.5, 0.5, 0.5, 1));
    auto played = uikit::UIView::create();
    played->setBackgroundColor(uikit::UIColor(0.9, 0.2, 0.2, 1));
    page->addSubview(bar);
    bar->addSubview(button);
    bar->addSubview(track);
    track->addSubview(played);
    bar->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.left().right().bottom().equalToSuperview();
        make.height().equalTo(40);
    });
    button->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.left().equalToSuperview().offset(12);
        make.centerY().equalToSuperview();
        make.size().equalTo(uikit::CGSize{20, 20});
    });
    track->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.left().equalTo(button->snp().right()).offset(16);
        make.right().equalToSuperview().offset(-16);
        make.centerY().equalToSuperview();
        make.height().equalTo(4);
    });
    played->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.left().top().bottom().equalToSuperview();
        make.width().equalToSuperview().multipliedBy(1.0 / 3.0);
    });
    auto source = std::make_shared<ControlsSource>();
    source->page = page;
    player->setControlPageDataSource(source);
    player->showControlsIfNeeded();
    clock.advance(0.2);
    EXPECT_SNAPSHOT(*player, GetParam().golden("player_with_control_page"));
}
