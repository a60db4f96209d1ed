// The player screen without a back end: its view and wiring, its answers to the player, the controls and the
// page view, its status reports, the sign-in texts and the debug switch.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "kitfoundation/Configuration.h"
#include "kitfoundation/Log.h"
#include "screen/ZuPlayerViewController.h"
#include "screen/testing/RecordingScreenDelegate.h"
#include "signin/LoginViewController.h"
#include "telemetry/YouboraManager.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora {
namespace {

using testing::RecordingScreenDelegate;

// A host delegate that implements nothing.
class SilentHost : public ZuPlayerViewControllerDelegate {};

class PlayerScreenUnitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        ConfigurationKey::setSourceForTesting([](std::string_view) { return std::nullopt; });
        screen = make();
        screen->setDelegate(host);
    }
    void TearDown() override { ConfigurationKey::setSourceForTesting(nullptr); }

    // A screen whose services reach nothing: no play service, analytics that only record.
    static std::shared_ptr<ZuPlayerViewController> make() {
        auto none = [] { return rx::Observable<std::optional<std::string>>::just(std::nullopt); };
        return ZuPlayerViewController::create({
            .videoAPI = VideoAPI::create(PlayAssetDependencies{}, none),
            .analytics = YouboraManager::create({.pluginConfig = [] { return youboralib::YBPluginConfig{}; }}),
            .playerEventController = PlayerEventController::create(),
        });
    }

    // A screen's debug setting is the kit's switch: as it was before the test once the test ends.
    dispatch::testing::ValueScope<std::atomic<bool>> debugSwitch{debugLogEnabled};
    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<ZuPlayerViewController> screen;
    std::shared_ptr<RecordingScreenDelegate> host = std::make_shared<RecordingScreenDelegate>();
};

TEST(ZuPlayerStatusTest, RawValuesAreZeroToTwo) {
    EXPECT_EQ(ZuPlayerStatus(ZuPlayerStatus::playing).rawValue(), 0);
    EXPECT_EQ(ZuPlayerStatus(ZuPlayerStatus::paused).rawValue(), 1);
    EXPECT_EQ(ZuPlayerStatus(ZuPlayerStatus::ended).rawValue(), 2);
    for (int raw = 0; raw <= 2; ++raw) EXPECT_EQ(ZuPlayerStatus::fromRawValue(raw)->rawValue(), raw);
    EXPECT_FALSE(ZuPlayerStatus::fromRawValue(3));
    EXPECT_FALSE(ZuPlayerStatus::fromRawValue(-1));
}

TEST_F(PlayerScreenUnitTest, TheViewIsThePlayerWiredToTheScreenWithTheControlsAsItsOnlyPage) {
    EXPECT_FALSE(screen->player());
    EXPECT_FALSE(screen->controlsView());
    auto view = screen->view();
    auto player = screen->player();
    ASSERT_TRUE(player);
    ASSERT_EQ(view->subviews().size(), 1u);
    EXPECT_EQ(view->subviews()[0], player);
    view->layoutIfNeeded();
    EXPECT_EQ(player->frame(), view->bounds());
    EXPECT_EQ(player->delegate().get(), static_cast<ZuPlayerDelegate*>(screen.get()));
    EXPECT_EQ(player->controlPageDataSource().get(), static_cast<ZuPageViewDataSource*>(screen.get()));
    EXPECT_EQ(player->controlPageView()->dataSource().get(), static_cast<ZuPageViewDataSource*>(screen.get()));
    EXPECT_EQ(player->idleTimer()->timeInterval(), 5.0);

    // The controls are not in the view until the page view asks for its first page.
    auto controls = screen->controlsView();
    ASSERT_TRUE(controls);
    EXPECT_FALSE(controls->superview());
    EXPECT_EQ(controls->delegate().get(), static_cast<ZuPlayerControlsViewDelegate*>(screen.get()));
    EXPECT_EQ(controls->player(), player);
    auto& pages = *player->controlPageView();
    EXPECT_EQ(screen->pageViewAfter(pages, nullptr), controls);
    EXPECT_EQ(screen->pageViewAfter(pages, controls), nullptr);
}

TEST_F(PlayerScreenUnitTest, TheControlsAskForNoKeyMomentsAndTheComfortableDensity) {
    screen->loadViewIfNeeded();
    auto& controls = *screen->controlsView();
    EXPECT_FALSE(screen->playerControlsViewKeyMomentEvents(controls));
    EXPECT_FALSE(screen->shouldShowKeyMomentButton(controls));
    EXPECT_FALSE(screen->selectedKeyMomentEvent(controls));
    EXPECT_EQ(screen->playerControlsDisplayDensity(controls).rawValue(), 5);

    // Only playback toggled from the controls reaches the host; speeds, jumps, seeks and key moments do not.
    screen->playerControlsViewDidTogglePlayback(controls, true);
    screen->playerControlsViewDidTogglePlayback(controls, false);
    screen->playerControlsViewDidChangePlaybackSpeed(controls, 2.0f);
    screen->playerControlsViewDidPlaybackJump(controls, -15);
    screen->playerControlsViewWillSeekTo(controls, 42);
    screen->playerControlsViewDidJumpToLive(controls);
    screen->playerControlsViewDidSelectKeyMoment(controls, ZuKeyMomentEvent("G", 12, 12, "Goal", "12'", "", ""));
    screen->playerRateDidChange(*screen->player());
    screen->playerDidReloadStream(*screen->player());
    screen->playerDidProduceEvent(*screen->player(), ZuPlayerEvent::upNextPressed());
    EXPECT_EQ(host->log, (std::vector<std::string>{"status 0", "status 1"}));

    // The end of the item: "ended" (no player event without content).
    screen->playerDidPlayToEndTime(*screen->player());
    EXPECT_EQ(host->log.back(), "status 2");
}

TEST_F(PlayerScreenUnitTest, TogglingPlaybackReportsTheRateReadAfterTheToggle) {
    screen->toggleVideoPlayback();  // no view yet: nothing but the debug line
    EXPECT_TRUE(host->log.empty());
    screen->loadViewIfNeeded();
    screen->toggleVideoPlayback();
    EXPECT_NE(screen->player()->avplayer()->rate(), 0.0f);
    screen->toggleVideoPlayback();
    EXPECT_EQ(screen->player()->avplayer()->rate(), 0.0f);
    EXPECT_EQ(host->log, (std::vector<std::string>{"status 0", "status 1"}));
}

TEST_F(PlayerScreenUnitTest, DisappearingWithoutAPlayerOrASessionIsHarmless) {
    screen->viewWillDisappear(false);  // before the view is loaded
    screen->loadViewIfNeeded();
    screen->viewWillDisappear(false);  // no session was started
    EXPECT_TRUE(host->log.empty());
}

TEST_F(PlayerScreenUnitTest, SignInTextsComeFromTheHostOrTheKit) {
    const auto incomplete = AuthenticationError::incompleteAccount();
    const auto noToken = AuthenticationError::noAccessToken();
    host->display = ErrorDisplayModel("Host title", "Host message");
    EXPECT_EQ(screen->errorDisplay(noToken), ErrorDisplayModel("Host title", "Host message"));

    // A host that implements nothing gets the kit's table, as does a screen without a host.
    auto silent = std::make_shared<SilentHost>();
    screen->setDelegate(silent);
    EXPECT_EQ(screen->errorDisplay(noToken).title, "Login Error");
    EXPECT_EQ(screen->errorDisplay(noToken).message,
              "There was an error logging you in. Please check your credentials and try again.");
    EXPECT_EQ(screen->errorDisplay(incomplete).title, "Account Setup Required");
    screen->setDelegate({});
    EXPECT_EQ(screen->errorDisplay(AuthenticationError::inactiveAccount()).title, "Inactive Account");
    EXPECT_EQ(screen->errorDisplay(AuthenticationError::inactiveAccount()).message,
              "Your account is inactive. Please head to www.lumora.example to re-activate your account");
}

TEST_F(PlayerScreenUnitTest, TheLoginScreensCallsReachTheHost) {
    auto login = LoginViewController::create();
    screen->loginViewControllerDidFailLoginWith(*login, AuthenticationError::inactiveAccount());
    screen->loginViewControllerDidClose(*login);
    EXPECT_EQ(host->log, (std::vector<std::string>{"login failed The account is inactive.", "dismiss login"}));
    ASSERT_TRUE(host->loginFailures[0].is<AuthenticationError>());
}

TEST_F(PlayerScreenUnitTest, ASwipedAwayLoginScreenLeavesTheHostsOwnPresentationDelegateAlone) {
    // The host shows the screen inside a navigation controller of its own, with its own presentation delegate.
    auto navigation = uikit::UINavigationController::create(screen);
    auto hostDelegate = std::make_shared<uikit::UIAdaptivePresentationControllerDelegate>();
    navigation->presentationController()->setDelegate(hostDelegate);
    auto sheet = uikit::UIViewController::create();
    screen->presentationControllerDidDismiss(*sheet->presentationController());
    EXPECT_EQ(host->log, std::vector<std::string>{"dismiss login"});
    EXPECT_EQ(navigation->presentationController()->delegate().lock(), hostDelegate);

    // When the screen had been made that delegate, it lets go of it.
    navigation->presentationController()->setDelegate(
        std::weak_ptr<uikit::UIAdaptivePresentationControllerDelegate>(screen));
    screen->presentationControllerDidDismiss(*sheet->presentationController());
    EXPECT_FALSE(navigation->presentationController()->delegate().lock());
}

TEST_F(PlayerScreenUnitTest, TheDebugSwitchIsTheKitsButEachScreenKeepsItsOwnSetting) {
    auto other = make();
    ::testing::internal::CaptureStdout();
    screen->setPrintDebugLog(true);
    EXPECT_TRUE(screen->printDebugLog());
    EXPECT_FALSE(other->printDebugLog());
    other->loadViewIfNeeded();  // the other screen logs too
    other->toggleVideoPlayback();
    screen->setPrintDebugLog(false);
    other->toggleVideoPlayback();  // silent
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string head = logPrefix() + " ";
    EXPECT_EQ(out, head + "☣️ Starting ZuPlayerViewController\n" + head +
                       "☣️ Play API Domain: https://play.lumora.example\n" + head +
                       "☣️ Toggle Video Playback\n" + head + "☣️  player(_:didProduceEvent:)  play\n" + head +
                       "☣️  playerRateDidChange(_:)\n" + head + "☣️  playerDidTogglePlayback(_:)\n");
}

TEST_F(PlayerScreenUnitTest, TheTintColourIsOnlyStored) {
    EXPECT_EQ(screen->tintColor(), uikit::UIColor::white());
    screen->setTintColor(uikit::UIColor(1, 0, 0, 1));
    EXPECT_EQ(screen->tintColor(), uikit::UIColor(1, 0, 0, 1));
}

}  // namespace
}  // namespace lumora
