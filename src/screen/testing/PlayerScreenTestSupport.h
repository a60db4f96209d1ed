#pragma once

// Test support for the player screen: a delegate that records what the host is told, and a fixture that runs
// the whole local back end (identity provider, entitlement tokens, play service, HLS, FairPlay, player events,
// analytics collector) for one test, with the screen in a window under the manual clock.
// Header-only; link lumora_devserver.

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "authentication/AuthConfiguration.h"
#include "authentication/LumoraAuthManager.h"
#include "authentication/ZuAuthManager.h"
#include "avfoundation/AVPlayerItem.h"
#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/Backend.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/URLSession.h"
#include "kitfoundation/Configuration.h"
#include "playback/LicenceRedirect.h"
#include "playservice/PlayAssetDependencies.h"
#include "playservice/VideoAPI.h"
#include "rx/Schedulers.h"
#include "screen/ZuPlayerViewController.h"
#include "screen/testing/RecordingScreenDelegate.h"
#include "signin/LoginViewController.h"
#include "telemetry/PlayerEventController.h"
#include "telemetry/YouboraManager.h"
#include "ui/ZuApplication.h"
#include "ui/testing/DeviceScope.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/UIApplication.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"
#include "youboralib/testing/Deliveries.h"

namespace lumora::testing {

// The demo viewer of the local back end.
inline constexpr const char* kViewerEmail = "demo@lumora.dev";
inline constexpr const char* kViewerPassword = "lumora-demo";
inline constexpr const char* kViewerAccount = "acc-demo-0001";

class PlayerScreenBackendTest : public ::testing::Test {
  protected:
    // The player's tests have always run on a phone on its side at 1× (small pictures, the controls'
    // compact layout); a fixture may name another screen class.
    static ScreenClass smallPhoneOnItsSide() { return screens::smallPhoneLandscape; }
    explicit PlayerScreenBackendTest(const ScreenClass& screenClass = smallPhoneOnItsSide())
        : screenClass(screenClass),
          device(screenClass.width, screenClass.height, screenClass.idiom, screenClass.scale) {}

    void SetUp() override {
        uikit::testing::resetInteractionState();
        // Touches restart the controls' idle countdown only through the kit's application class.
        uikit::UIApplication::setShared(ZuApplication::create());
        ConfigurationKey::setSourceForTesting([](std::string_view) { return std::nullopt; });

        backendOptions.liveClockSeconds = [] {
            return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
        };
        auto started = devserver::Backend::start(backendOptions);
        ASSERT_TRUE(started) << started.error();
        backend = *started;
        redirect.emplace("127.0.0.1", backend->baseURL());

        // One folder per test, named after it: a parametrised test's name holds a '/', which would nest it.
        std::string testName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(testName.begin(), testName.end(), '/', '-');
        keychainDirectory =
            std::filesystem::temp_directory_path() / ("lumora-screen-" + std::to_string(::getpid()) + "-" + testName);
        std::filesystem::remove_all(keychainDirectory);
        useNewSignInStack();

        window = makeWindow();
        screen = makeScreen(window, delegate);
    }

    void TearDown() override {
        // The screens leave their windows: their analytics sessions stop.
        for (auto& w : windows) w->setRootViewController(nullptr);
        EXPECT_TRUE(runUntil(youboralib::testing::deliveriesIdle));
        screens.clear();
        screen.reset();
        windows.clear();
        window.reset();
        analyticsSession->invalidateAndCancel();
        authSession->invalidateAndCancel();
        redirect.reset();
        if (backend) backend->stop();
        std::filesystem::remove_all(keychainDirectory);
        if (previousStack) LumoraAuthManager::shared().setAuthManager(*previousStack);
        ConfigurationKey::setSourceForTesting(nullptr);
        uikit::testing::resetInteractionState();
    }

    // A sign-in stack over the back end and this test's keychain, as a process starting afresh builds it.
    void useNewSignInStack() {
        auto configuration = AuthConfiguration::resolve({}, std::nullopt, "com.example.host");
        configuration.domain = backend->baseURL();
        configuration.entitlementServiceURL = backend->baseURL() + "/entitlement/";
        configuration.keychainDirectory = keychainDirectory.string();
        stack = LumoraAuthFactory::makeAuthManager(configuration, {.session = authSession});
        if (!previousStack) previousStack = LumoraAuthManager::shared().authManager();
        LumoraAuthManager::shared().setAuthManager(stack);
    }

    // The services of a screen against this test's back end; `deviceId` names the device its player
    // events come from.
    ZuPlayerViewController::Dependencies dependencies(const std::string& deviceId = "LUMORA-TEST-DEVICE-1") {
        const std::string base = backend->baseURL();
        auto tokens = [] { return LumoraAuthManager::shared().accessToken(); };
        auto eventDependencies = PlayerEventController::Dependencies::current();
        eventDependencies.deviceId = deviceId;
        return {
            .videoAPI = VideoAPI::create(PlayAssetDependencies::make(base, tokens), tokens),
            .analytics = YouboraManager::create({
                .pluginConfig =
                    [base, session = analyticsSession] {
                        youboralib::YBPluginConfig config;
                        config.collectorURL = base + "/analytics/beacons";
                        config.session = session;
                        return config;
                    },
            }),
            .playerEventController = PlayerEventController::create(eventDependencies),
        };
    }

    std::shared_ptr<uikit::UIWindow> makeWindow() {
        auto w = uikit::UIWindow::create(uikit::UIScreen::main()->bounds());
        w->setSafeAreaInsets(screenClass.safeArea);
        w->makeKeyAndVisible();
        windows.push_back(w);
        return w;
    }

    // A screen that is the root of `host`, its view loaded and laid out.
    std::shared_ptr<ZuPlayerViewController> makeScreen(const std::shared_ptr<uikit::UIWindow>& host,
                                                       const std::shared_ptr<RecordingScreenDelegate>& recorder,
                                                       const std::string& deviceId = "LUMORA-TEST-DEVICE-1") {
        auto s = ZuPlayerViewController::create(dependencies(deviceId));
        s->setDelegate(recorder);
        host->setRootViewController(s);
        uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
        screens.push_back(s);
        return s;
    }

    // Runs the main loop until `predicate` holds (real network answers), within a real-time bound. Once the
    // test has failed, a wait looks once and returns: a broken test fails after one bound, not one per wait.
    static bool runUntil(const std::function<bool()>& predicate,
                         std::chrono::milliseconds bound = std::chrono::seconds(20)) {
        return avfoundation::testing::runUntil(predicate, bound);
    }

    // Signs the demo viewer in through the public facade, as a host that signed in earlier.
    void signIn(const std::string& email = kViewerEmail, const std::string& password = kViewerPassword) {
        std::optional<bool> done;
        // The answer comes where the sign-in stack finished: read it on the main queue.
        ZuAuthManager::shared()
            .login(email, password)
            .observeOn(rx::MainScheduler::asyncInstance())
            .subscribe([&](const bool& ok) { done = ok; }, [&](const foundation::Error&) { done = false; })
            .disposed(bag);
        ASSERT_TRUE(runUntil([&] { return done.has_value(); }));
        ASSERT_TRUE(*done);
    }

    // Plays `assetId` and waits until the host has been told something.
    void playAndWait(const std::string& assetId, std::size_t calls = 1) {
        const std::size_t before = delegate->log.size();
        screen->play(assetId);
        EXPECT_TRUE(runUntil([&] { return delegate->log.size() >= before + calls; }))
            << "the host was told nothing for " << assetId;
    }

    // The login screen the screen presents, if it is up.
    std::shared_ptr<LoginViewController> presentedLogin() const {
        auto navigation = std::dynamic_pointer_cast<uikit::UINavigationController>(screen->presentedViewController());
        if (!navigation) return nullptr;
        return std::dynamic_pointer_cast<LoginViewController>(navigation->topViewController());
    }

    const std::shared_ptr<avfoundation::AVPlayer>& avplayer() const { return screen->player()->avplayer(); }

    // The end of the media buffered around the playhead.
    double bufferedEnd() const {
        auto item = avplayer()->currentItem();
        if (!item) return 0;
        double end = avplayer()->currentTime().seconds();
        for (const auto& range : item->loadedTimeRanges()) {
            if (range.start.seconds() <= end + 1e-6 && range.end().seconds() > end) end = range.end().seconds();
        }
        return end;
    }
    // Waits until the media `ahead` seconds past the playhead (or to the end of the stream) has arrived.
    void buffer(double ahead = 12) {
        if (!screen->player()) return;
        auto item = avplayer()->currentItem();
        if (!item || item->status() != avfoundation::AVPlayerItem::Status::readyToPlay) return;
        awaitPlaylist(*item);
        const auto ranges = item->seekableTimeRanges();
        double end = ranges.empty() ? 0 : ranges.back().end().seconds();
        if (item->duration().isIndefinite()) end += 18;
        const double goal = std::min(avplayer()->currentTime().seconds() + ahead, end);
        EXPECT_TRUE(runUntil([&] { return bufferedEnd() >= goal - 1e-6; }))
            << "buffered to " << bufferedEnd() << ", wanted " << goal;
    }
    // Moves the clock `seconds` in steps of at most one second, letting the media arrive before each step.
    void advance(double seconds) {
        while (seconds > 1e-9) {
            const double step = std::min(1.0, seconds);
            buffer();
            clock.advance(step);
            seconds -= step;
        }
        if (screen->player()) {
            if (auto item = avplayer()->currentItem()) awaitPlaylist(*item);
        }
        clock.runUntilIdle();
    }
    // Waits for a live item's reload on its way, so that it is merged at the clock time it was made.
    static void awaitPlaylist(const avfoundation::AVPlayerItem& item) {
        if (item.status() != avfoundation::AVPlayerItem::Status::readyToPlay) return;
        EXPECT_TRUE(runUntil([&] { return !avfoundation::testing::AVPlayerItemTesting::isLoadingPlaylist(item); }));
    }

    // The player events the back end received of `kind` ("str_start", "period", "end"; all for "").
    std::vector<devserver::PlayerEventRecord> events(const std::string& kind = "") const {
        std::vector<devserver::PlayerEventRecord> found;
        for (auto& e : backend->playerEvents().events()) {
            if (kind.empty() || e.playerEvent == kind) found.push_back(e);
        }
        return found;
    }
    // Waits for events the kit has made by now (on the test's clock): each goes out at once and reaches the
    // back end within a few local round trips (a token refresh, an earlier end's answer), so the bound is
    // short of its own and an event that never goes out fails the test in seconds.
    bool waitForEvents(std::size_t count, const std::string& kind = "",
                       std::chrono::milliseconds bound = std::chrono::seconds(5)) const {
        return runUntil([&] { return events(kind).size() >= count; }, bound);
    }

    // The current entitlement token of the signed-in viewer.
    std::optional<std::string> currentToken() {
        std::optional<std::optional<std::string>> token;
        LumoraAuthManager::shared()
            .accessToken()
            .observeOn(rx::MainScheduler::asyncInstance())
            .subscribe([&](const std::optional<std::string>& t) { token = t; },
                       [&](const foundation::Error&) { token = std::optional<std::string>(); })
            .disposed(bag);
        EXPECT_TRUE(runUntil([&] { return token.has_value(); }));
        return token ? *token : std::nullopt;
    }

    ScreenClass screenClass;
    DeviceScope device;
    PlayerAppearanceScope appearance;
    dispatch::testing::ManualClockScope clock;
    // How the back end is started (a fixture may change them in its constructor).
    devserver::BackendOptions backendOptions;
    std::shared_ptr<devserver::Backend> backend;
    std::optional<LicenceRedirect> redirect;
    std::filesystem::path keychainDirectory;
    // Sessions this test ends: the sign-in stack's (answers on a worker, as the shared session gives them)
    // and the analytics plug-ins'.
    std::shared_ptr<foundation::URLSession> authSession = foundation::URLSession::create();
    std::shared_ptr<foundation::URLSession> analyticsSession = foundation::URLSession::create();
    std::shared_ptr<AuthManagerType> stack;
    // The shared manager's stack before this test's first took its place, put back at the end.
    std::optional<std::shared_ptr<AuthManagerType>> previousStack;
    std::shared_ptr<RecordingScreenDelegate> delegate = std::make_shared<RecordingScreenDelegate>();
    std::vector<std::shared_ptr<uikit::UIWindow>> windows;
    std::vector<std::shared_ptr<ZuPlayerViewController>> screens;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuPlayerViewController> screen;
    rx::DisposeBag bag;
};

}  // namespace lumora::testing
