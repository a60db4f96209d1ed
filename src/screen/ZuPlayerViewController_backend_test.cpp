// The player screen against the whole local back end, through its public surface: what the host is told,
// what the back end receives (play requests, licence requests, player events, analytics beacons).
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "avfoundation/AVError.h"
#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "devserver/PlayService.h"
#include "foundation/URLError.h"
#include "playback/DRMError.h"
#include "playservice/PlayServiceError.h"
#include "playservice/VideoError.h"
#include "screen/testing/PlayerScreenTestSupport.h"
#include "signin/testing/SignInTestSupport.h"
#include "uikit/UIAlertController.h"
#include "uikit/testing/SnapshotTesting.h"

namespace lumora {
namespace {

using avfoundation::AVPlayerItem;
using testing::kViewerAccount;
using testing::kViewerEmail;
using testing::kViewerPassword;
using testing::RecordingScreenDelegate;
using testing::ScreenClass;

class PlayerScreenTest : public testing::PlayerScreenBackendTest {
  protected:
    using PlayerScreenBackendTest::PlayerScreenBackendTest;

    std::vector<devserver::RecordedRequest> playRequests() const {
        return backend->server().requestLog().entries("/api/v3/play");
    }
    std::string bearer(const std::string& token) const { return "Bearer " + token; }
    // The beacons the collector took, by event name.
    std::vector<std::string> beaconEvents() const {
        std::vector<std::string> names;
        for (const auto& b : backend->analytics().beacons()) names.push_back(b.event);
        return names;
    }
    // Waits until every beacon made so far has reached the collector: beacons are made on the main queue
    // and delivered in order, so this always comes, and a beacon that was never made is missing at once.
    void settleBeacons() {
        clock.runUntilIdle();
        EXPECT_TRUE(runUntil(youboralib::testing::deliveriesIdle));
    }
    // The analytics views in the order they began, each as its events, once the beacons have settled.
    std::vector<std::vector<std::string>> analyticsViews() {
        settleBeacons();
        std::vector<std::string> order;
        std::map<std::string, std::vector<std::string>> byView;
        for (const auto& b : backend->analytics().beacons()) {
            if (!byView.contains(b.view)) order.push_back(b.view);
            byView[b.view].push_back(b.event);
        }
        std::vector<std::vector<std::string>> views;
        for (const auto& v : order) views.push_back(byView[v]);
        return views;
    }
    // The player events the back end received, as "<event> <asset> <status>".
    std::vector<std::string> eventLines() const {
        std::vector<std::string> lines;
        for (const auto& e : events()) {
            const auto& asset = e.body["progress"]["assetId"];
            lines.push_back(e.playerEvent + " " + (asset.is_string() ? asset.get<std::string>() : "?") + " " +
                            std::to_string(e.status));
        }
        return lines;
    }
    // The sessions the back end counts for the signed-in viewer.
    std::size_t streamsCounted() const {
        const auto all = events();
        return all.empty() ? 0 : backend->playerEvents().activeSessions(all.front().viewer).size();
    }
    void waitUntilReady() {
        ASSERT_TRUE(runUntil([&] {
            auto item = avplayer()->currentItem();
            return item && item->status() == AVPlayerItem::Status::readyToPlay;
        }));
    }
};

// A play service whose answers for the assets in `held` are kept back until the test lets them go.
class HoldingVideoAPI : public VideoAPI {
  public:
    explicit HoldingVideoAPI(std::shared_ptr<VideoAPI> real)
        : VideoAPI(PlayAssetDependencies{}, [] { return LumoraAuthManager::shared().accessToken(); }),
          real_(std::move(real)) {}

    void fetch(const std::string& assetId, const std::optional<std::string>& accessToken,
               const rx::AnyObserver<AssetStreamContent>& observer) override {
        if (!held.contains(assetId)) {
            real_->fetch(assetId, accessToken, observer);
            return;
        }
        auto answer = std::make_shared<std::vector<rx::Event<AssetStreamContent>>>();
        real_->fetch(assetId, accessToken,
                     rx::AnyObserver<AssetStreamContent>([answer](const auto& event) { answer->push_back(event); }));
        kept_.push_back({observer, answer});
    }
    // Whether the answer of every request held so far has come (content and completion, or an error).
    bool answered() const {
        return std::all_of(kept_.begin(), kept_.end(),
                           [](const Kept& k) { return !k.answer->empty() && !k.answer->back().isNext(); });
    }
    std::size_t heldCount() const { return kept_.size(); }
    // Hands the held answers on, as they came.
    void release() {
        auto kept = std::move(kept_);
        kept_.clear();
        for (const auto& k : kept) {
            for (const auto& event : *k.answer) k.observer.on(event);
        }
    }

    std::set<std::string> held;

  private:
    struct Kept {
        rx::AnyObserver<AssetStreamContent> observer;
        std::shared_ptr<std::vector<rx::Event<AssetStreamContent>>> answer;
    };
    std::shared_ptr<VideoAPI> real_;
    std::vector<Kept> kept_;
};

// The same screen on every screen class a host may show it on.
class PlayerScreenOnEveryScreenTest : public PlayerScreenTest, public ::testing::WithParamInterface<ScreenClass> {
  protected:
    PlayerScreenOnEveryScreenTest() : PlayerScreenTest(GetParam()) {}
    std::string golden(const std::string& picture) const { return GetParam().golden(picture); }
    // Taps a view of the login screen (or the reset screen over it) as a viewer would, scrolled into sight.
    void tapOnSignIn(const std::shared_ptr<uikit::UIScrollView>& scroll, const std::shared_ptr<uikit::UIView>& view) {
        testing::tapInSight(window, scroll, view);
    }
};

INSTANTIATE_TEST_SUITE_P(EveryScreen, PlayerScreenOnEveryScreenTest, ::testing::ValuesIn(testing::screens::all()),
                         testing::screens::name);

TEST_F(PlayerScreenTest, ASignedInViewerPlaysAClearAssetAndReportsTheSession) {
    signIn();
    const auto token = currentToken();
    ASSERT_TRUE(token);
    playAndWait("vod-clear");
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});
    EXPECT_TRUE(delegate->allOnMain);
    ASSERT_EQ(playRequests().size(), 1u);
    EXPECT_EQ(playRequests()[0].header("Authorization"), bearer(*token));
    ASSERT_TRUE(screen->streamContent());
    EXPECT_EQ(screen->streamContent()->id, "vod-clear");
    EXPECT_NE(avplayer()->rate(), 0.0f);

    // The start event goes out as soon as the stream has loaded (before playback is switched on), with the
    // play request's token.
    ASSERT_TRUE(waitForEvents(1, "str_start"));
    auto start = events("str_start")[0];
    EXPECT_EQ(start.status, 200);
    EXPECT_EQ(start.eventNumber, 1);
    EXPECT_EQ(start.authorization, bearer(*token));
    EXPECT_EQ(start.body["client"]["playerState"], "pause");
    EXPECT_EQ(start.body["client"]["streamUrl"], screen->streamContent()->resource);
    EXPECT_EQ(start.body["progress"]["assetId"], "vod-clear");

    // An hour later on the device's clock the token is due: the next tick fetches a fresh one first.
    clock.clock().setWallNow(clock.clock().wallNow() + std::chrono::hours(1));
    advance(30);
    ASSERT_TRUE(waitForEvents(1, "period"));
    auto period = events("period")[0];
    EXPECT_EQ(period.status, 200);
    EXPECT_EQ(period.eventNumber, 2);
    EXPECT_EQ(period.body["client"]["playerState"], "playing");
    const auto fresh = currentToken();
    ASSERT_TRUE(fresh);
    EXPECT_NE(*fresh, *token);
    EXPECT_EQ(period.authorization, bearer(*fresh));
    advance(30);
    ASSERT_TRUE(waitForEvents(2, "period"));
    EXPECT_EQ(events("period")[1].eventNumber, 3);

    // The analytics vendor heard of the stream.
    settleBeacons();
    ASSERT_EQ(backend->analytics().beacons("init").size(), 1u);
    const auto init = backend->analytics().beacons("init")[0];
    EXPECT_EQ(init.body["options"]["contentResource"], screen->streamContent()->resource);
    EXPECT_EQ(init.body["options"]["contentCustomDimension13"], "vod-clear");

    // The screen goes away: the analytics session stops, player events go on.
    window->setRootViewController(nullptr);
    settleBeacons();
    ASSERT_EQ(backend->analytics().beacons("stop").size(), 1u);
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});
}

TEST_F(PlayerScreenTest, ThePlayAnswersAnalyticsBlockReachesTheAnalyticsSessionFieldByField) {
    signIn();
    // Every key of the answer's analytics block with a value of its own.
    const std::vector<std::string> keys = {
        "accountCode",
        "appName",
        "appReleaseVersion",
        "contentCustomDimension1",
        "contentCustomDimension2",
        "contentCustomDimension4",
        "contentCustomDimension5",
        "contentCustomDimension6",
        "contentCustomDimension7",
        "contentCustomDimension8",
        "contentCustomDimension10",
        "contentId",
        "contentTitle",
        "contentTransactionCode",
        "contentType",
        "contentChannel",
        "contentGenre",
        "contentLanguage",
        "contentSeason",
        "contentTvShow",
        "contentEpisodeTitle",
        "contentProgram",
        "contentPlaybackType",
        "contentSubtitles",
        "contentPackage",
        "contentSaga",
        "userName",
        "userType",
    };
    auto answer = *devserver::play::playResponse("vod-clear", backend->baseURL(), 30);
    answer["youbora"] = nlohmann::ordered_json::object();
    for (const auto& key : keys) answer["youbora"][key] = "value of " + key;
    backend->server().injectFault("/api/v3/play", {.status = 200, .body = answer.dump()});
    playAndWait("vod-clear");
    ASSERT_EQ(delegate->log, std::vector<std::string>{"status 0"});

    settleBeacons();
    const auto inits = backend->analytics().beacons("init");
    ASSERT_EQ(inits.size(), 1u);
    const auto& options = inits[0].body["options"];
    // The options the session reports from the block, each from its own key (the vendor's name first).
    const std::map<std::string, std::string> sent = {
        {"accountCode", "accountCode"},
        {"appName", "appName"},
        {"appReleaseVersion", "appReleaseVersion"},
        {"contentCustomDimension1", "contentCustomDimension1"},
        {"contentId", "contentId"},
        {"contentTitle", "contentTitle"},
        {"contentTransactionCode", "contentTransactionCode"},
        {"contentType", "contentType"},
        {"username", "userName"},
        {"userType", "userType"},
    };
    for (const auto& [option, key] : sent) EXPECT_EQ(options.value(option, ""), "value of " + key) << option;
    // No other option carries a value of the block.
    for (const auto& [option, value] : options.items()) {
        if (sent.contains(option) || !value.is_string()) continue;
        EXPECT_FALSE(value.get<std::string>().starts_with("value of ")) << option << " = " << value;
    }
    // The rest of what the session sends is the stream's and the viewer's own.
    EXPECT_EQ(options["contentCustomDimension13"], "vod-clear");
    EXPECT_EQ(options["contentResource"], backend->baseURL() + "/hls/vod-clear/master.m3u8");
}

TEST_F(PlayerScreenTest, ASignedInViewerPlaysAProtectedAssetToItsEnd) {
    signIn();
    const auto token = currentToken();
    ASSERT_TRUE(token);
    playAndWait("vod-protected");
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});
    ASSERT_TRUE(runUntil([&] { return backend->licence().keysServed() >= 2; }));
    std::set<std::string> keys;
    for (const auto& request : backend->server().requestLog().entries("/fairplay/license")) {
        EXPECT_EQ(request.header("Authorization"), bearer(*token));
        keys.insert(request.queryValue("keyId").value_or(""));
    }
    EXPECT_EQ(keys, (std::set<std::string>{"vod-protected-key-1", "vod-protected-key-2"}));
    ASSERT_TRUE(runUntil([&] { return avplayer()->currentItem()->status() == AVPlayerItem::Status::readyToPlay; }));

    // To the end: "ended" first, then the "end" event with a fresh token.
    advance(121);
    ASSERT_TRUE(runUntil([&] { return delegate->has("status 2"); }));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"status 0", "status 2"}));
    ASSERT_TRUE(waitForEvents(1, "end"));
    ASSERT_TRUE(waitForEvents(6));  // str_start, four ticks, end (the last tick and the end may cross)
    const auto all = events();
    EXPECT_EQ(all.front().playerEvent, "str_start");
    // Numbered in the order they were made (the last two may arrive in either order).
    std::vector<std::int64_t> numbers;
    for (const auto& e : all) {
        EXPECT_EQ(e.status, 200) << e.playerEvent;
        numbers.push_back(e.eventNumber.value_or(0));
    }
    std::sort(numbers.begin(), numbers.end());
    for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<std::int64_t>(i + 1));
    EXPECT_EQ(events("end")[0].body["client"]["drm"], "fairplay");
    EXPECT_TRUE(delegate->failures.empty());

    // The next asset: the stream that ended has sent its end, and sends no second one on the switch.
    playAndWait("vod-clear");
    ASSERT_TRUE(waitForEvents(2, "str_start"));
    EXPECT_EQ(events("end").size(), 1u);
    EXPECT_EQ(streamsCounted(), 1u);
    EXPECT_TRUE(stack->isAuthenticated());
}

TEST_P(PlayerScreenOnEveryScreenTest, ASignedOutViewerSignsInOnTheLoginScreenAndTheAssetPlays) {
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return presentedLogin() != nullptr; }));
    EXPECT_TRUE(delegate->log.empty());  // told once the presentation has finished
    clock.advance(uikit::UIViewController::transitionDuration);
    ASSERT_TRUE(runUntil([&] { return delegate->has("present login"); }));
    EXPECT_EQ(delegate->log, std::vector<std::string>{"present login"});
    EXPECT_TRUE(playRequests().empty());
    auto login = presentedLogin();
    EXPECT_TRUE(login->navigationController()->isNavigationBarHidden());

    // The viewer types and taps, as a person would.
    login->usernameTextField()->simulateTyping(kViewerEmail);
    login->passwordTextField()->simulateTyping(kViewerPassword);
    clock.advance(0.25);
    tapOnSignIn(login->scrollView(), login->loginButton());
    ASSERT_TRUE(runUntil([&] { return delegate->has("status 0"); }));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"present login", "login succeeded", "status 0"}));
    EXPECT_EQ(playRequests().size(), 1u);
    clock.advance(1.0);
    EXPECT_FALSE(screen->presentedViewController());
}

TEST_F(PlayerScreenTest, AWrongPasswordOnTheLoginScreenIsReportedWithTheHostsTexts) {
    delegate->display = ErrorDisplayModel("Sign-in failed", "Try again, or reset your password.");
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return presentedLogin() != nullptr; }));
    clock.advance(1.0);
    auto login = presentedLogin();
    login->usernameTextField()->simulateTyping(kViewerEmail);
    login->passwordTextField()->simulateTyping("not-the-password");
    clock.advance(0.25);
    uikit::testing::TouchSimulator(window).tap(login->loginButton());
    ASSERT_TRUE(runUntil([&] { return !delegate->loginFailures.empty(); }));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{
                                 "present login",
                                 "error display Failed to login user. Reason: Wrong email or password.",
                                 "login failed Failed to login user. Reason: Wrong email or password.",
                             }));
    const auto* error = delegate->loginFailures[0].as<AuthenticationError>();
    ASSERT_TRUE(error && error->authManagerError());
    EXPECT_EQ(error->authManagerError()->kind(), AuthManagerError::Kind::invalidCredentials);
    auto alert = std::dynamic_pointer_cast<uikit::UIAlertController>(login->presentedViewController());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Sign-in failed");
    EXPECT_EQ(alert->message(), "Try again, or reset your password.");
    EXPECT_TRUE(playRequests().empty());

    // A second play while the login screen is up presents nothing again and tells the host nothing: the
    // login screen stays where it is, alert and all.
    const auto shown = screen->presentedViewController();
    screen->play("vod-clear");
    // The sign-in stack answers in order: once this check has failed, so has the screen's.
    bool checked = false;
    ZuAuthManager::shared().autoLogin().subscribe({}, [&](const foundation::Error&) { checked = true; }).disposed(bag);
    ASSERT_TRUE(runUntil([&] { return checked; }));
    clock.advance(1.0);
    EXPECT_EQ(delegate->calls("present login").size(), 1u);
    EXPECT_EQ(delegate->calls("fail").size(), 0u);
    EXPECT_EQ(screen->presentedViewController(), shown);
    ASSERT_EQ(presentedLogin(), login);
    EXPECT_EQ(login->navigationController(), shown);
}

TEST_F(PlayerScreenTest, AnInactiveAccountGetsTheServicesTexts) {
    // Signing in on the login screen: the alert quotes the service's address, the host hears of it.
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return presentedLogin() != nullptr; }));
    clock.advance(1.0);
    auto login = presentedLogin();
    login->usernameTextField()->simulateTyping("inactive@lumora.dev");
    login->passwordTextField()->simulateTyping(kViewerPassword);
    clock.advance(0.25);
    uikit::testing::TouchSimulator(window).tap(login->loginButton());
    ASSERT_TRUE(runUntil([&] { return !delegate->loginFailures.empty(); }));
    EXPECT_EQ(delegate->calls("login failed"), std::vector<std::string>{"login failed The account is inactive."});
    auto alert = std::dynamic_pointer_cast<uikit::UIAlertController>(login->presentedViewController());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Inactive Account");
    EXPECT_EQ(alert->message(),
              "Your account is inactive. Please head to www.lumora.example to re-activate your account");
}

TEST_F(PlayerScreenTest, AnAccountThatLapsedWhileSignedInFailsThePlayRoad) {
    signIn();
    backend->identity().setAccountState(kViewerEmail, devserver::AccountState::inactive);
    // The next start of the application reads the account afresh.
    useNewSignInStack();
    playAndWait("vod-clear");
    EXPECT_EQ(delegate->log, std::vector<std::string>{"fail The account is inactive."});
    ASSERT_TRUE(delegate->failures[0].is<AuthenticationError>());
    EXPECT_TRUE(delegate->failures[0].as<AuthenticationError>()->isInactiveAccount());
    EXPECT_FALSE(screen->presentedViewController());
    EXPECT_TRUE(playRequests().empty());
}

TEST_F(PlayerScreenTest, PlayServiceFailuresReachTheHostAsNoStreamSayingWhatHappened) {
    signIn();
    // What the host reads: the kind of error, its message, and the error underneath.
    const auto lastFailure = [&]() -> const VideoError* {
        return delegate->failures.empty() ? nullptr : delegate->failures.back().as<VideoError>();
    };

    // Refused by the service, with its status.
    playAndWait("unknown-asset");
    EXPECT_EQ(delegate->log,
              std::vector<std::string>{"fail Stream not available: the play service refused the request (HTTP 404)"});
    ASSERT_TRUE(lastFailure() && lastFailure()->underlyingError());
    EXPECT_EQ(*lastFailure(), VideoError::noAvailableStreamError);
    const auto* refusal = lastFailure()->underlyingError()->as<PlayServiceError>();
    ASSERT_TRUE(refusal && refusal->serverCase());
    EXPECT_EQ(refusal->serverCase()->httpCode, 404);
    EXPECT_EQ(refusal->serverCase()->apiError, "4004");

    // Answers that cannot be read: cut short, nested too deep, a number no double holds, a byte that is not
    // UTF-8 in the title.
    const std::string good = devserver::play::playResponse("vod-clear", backend->baseURL(), 30)->dump();
    std::string badByte = good;
    badByte.replace(badByte.find("Harbour"), 1, "\xff");
    const std::vector<std::string> unreadable = {
        R"({"assetId": 7, "stream": [)",
        std::string(100000, '['),
        R"({"assetId":"vod-clear","assetTitle":"t","playerEventRequest":{"eventInterval":1e400}})",
        badByte,
    };
    for (const auto& body : unreadable) {
        backend->server().injectFault("/api/v3/play", {.status = 200, .body = body});
        playAndWait("vod-clear");
        EXPECT_EQ(delegate->log.back(), "fail Stream not available: the play service's answer could not be read")
            << body.substr(0, 60);
        ASSERT_TRUE(lastFailure() && lastFailure()->underlyingError());
        EXPECT_TRUE(lastFailure()->underlyingError()->is<foundation::DecodingError>()) << body.substr(0, 60);
    }

    // A play request that is never answered times out on its own clock.
    backend->server().injectFault("/api/v3/play", {.delay = std::chrono::minutes(10)});
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return playRequests().size() == 2 + unreadable.size(); }));
    const std::size_t told = delegate->log.size();
    clock.advance(61);
    ASSERT_TRUE(runUntil([&] { return delegate->log.size() > told; }));
    EXPECT_EQ(delegate->log.back(), "fail Stream not available: the play request timed out");
    ASSERT_TRUE(lastFailure() && lastFailure()->underlyingError());
    EXPECT_TRUE(foundation::URLError::is(*lastFailure()->underlyingError(), foundation::URLError::timedOut));

    EXPECT_EQ(delegate->calls("fail").size(), delegate->log.size());
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(avplayer()->currentItem(), nullptr);
}

TEST_F(PlayerScreenTest, ARefusedLicenceFailsTheItemAndTheHostIsTold) {
    signIn();
    backend->licence().setEntitled(kViewerAccount, false);
    playAndWait("vod-protected");
    ASSERT_TRUE(runUntil([&] { return !delegate->failures.empty(); }));
    ASSERT_EQ(delegate->calls("fail").size(), 1u);
    const auto& failure = delegate->failures[0];
    EXPECT_TRUE(failure.localizedDescription().starts_with(
        "The content key request for skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId="))
        << failure.localizedDescription();
    EXPECT_TRUE(failure.localizedDescription().ends_with("(Lumora.DRMError error 6.)"));
    EXPECT_TRUE(avfoundation::AVError::is(failure, avfoundation::AVError::contentKeyRequestFailed));
    const auto* bridged = failure.as<foundation::NSError>();
    ASSERT_TRUE(bridged && bridged->underlying);
    EXPECT_EQ(bridged->underlying->domain(), DRMError::errorDomain);
    EXPECT_EQ(bridged->underlying->code(), DRMError::licenseRefused);
    // Told once for the item, whatever else the player reports.
    advance(5);
    EXPECT_EQ(delegate->calls("fail").size(), 1u);
}

// A play service of a host's own: its answers are whatever the test makes of the asset id and the token.
class HostVideoAPI : public VideoAPI {
  public:
    using Answer = std::function<AssetStreamContent(const std::string& assetId, const std::string& token)>;
    HostVideoAPI(Answer answer)
        : VideoAPI(PlayAssetDependencies{}, [] { return LumoraAuthManager::shared().accessToken(); }),
          answer_(std::move(answer)) {}
    // A service whose stream address is `resource`, whatever the asset.
    static std::shared_ptr<HostVideoAPI> streaming(std::string resource) {
        return std::make_shared<HostVideoAPI>([resource](const std::string& assetId, const std::string& token) {
            AssetStreamContent content;
            content.id = assetId;
            content.resource = resource;
            content.accessToken = token;
            return content;
        });
    }
    void fetch(const std::string& assetId, const std::optional<std::string>& accessToken,
               const rx::AnyObserver<AssetStreamContent>& observer) override {
        observer.onNext(answer_(assetId, accessToken.value_or("")));
        observer.onCompleted();
    }

  private:
    Answer answer_;
};

TEST_F(PlayerScreenTest, AStreamAddressThatIsNotAURLRemovesThePlayerAndIsReported) {
    signIn();
    auto host = std::make_shared<RecordingScreenDelegate>();
    auto deps = dependencies();
    deps.videoAPI = HostVideoAPI::streaming("not a stream address");
    auto other = ZuPlayerViewController::create(deps);
    other->setDelegate(host);
    window->setRootViewController(other);
    auto playerView = other->player();
    ASSERT_TRUE(playerView && playerView->superview());

    other->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return !host->log.empty(); }));
    EXPECT_EQ(host->log, std::vector<std::string>{"fail Stream not available"});
    EXPECT_FALSE(other->player());
    EXPECT_FALSE(playerView->superview());
    ASSERT_TRUE(other->streamContent());
    EXPECT_EQ(other->streamContent()->resource, "not a stream address");

    // Afterwards: no player to load into, so the next content is reported the same way; the rest is inert.
    other->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return host->log.size() == 2; }));
    EXPECT_EQ(host->log[1], "fail Stream not available");
    other->toggleVideoPlayback();
    window->setRootViewController(nullptr);
    EXPECT_EQ(host->log.size(), 2u);
}

TEST_F(PlayerScreenTest, ASecondDeviceOfTheSameViewerHitsTheStreamLimit) {
    signIn();
    playAndWait("vod-clear");
    ASSERT_TRUE(waitForEvents(1, "str_start"));
    EXPECT_EQ(events("str_start")[0].status, 200);

    // The viewer's other device starts the same asset while this one plays.
    auto otherWindow = makeWindow();
    auto otherHost = std::make_shared<RecordingScreenDelegate>();
    auto other = makeScreen(otherWindow, otherHost, "LUMORA-TEST-DEVICE-2");
    other->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return otherHost->has("stream limit"); }));
    EXPECT_EQ(otherHost->log, (std::vector<std::string>{"status 0", "stream limit"}));
    EXPECT_FALSE(stack->isAuthenticated());
    ASSERT_EQ(events("str_start").size(), 2u);
    EXPECT_EQ(events("str_start")[1].status, 403);
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});

    // Signed out: the next tick of each device finds no token and the ticks stop.
    advance(30);
    clock.runUntilIdle();
    advance(60);
    EXPECT_TRUE(events("period").empty());
    EXPECT_EQ(otherHost->calls("stream limit").size(), 1u);
}

// Switching assets: the latest play wins, the stream playing ends its session before the next loads (the
// back end allows one stream per viewer), and the next one plays, told to the host once.
TEST_F(PlayerScreenTest, SwitchingAssetsWhilePlayingEndsTheFirstSessionBeforeTheSecondStarts) {
    signIn();
    playAndWait("vod-clear");
    waitUntilReady();
    ASSERT_TRUE(waitForEvents(1, "str_start"));
    advance(10);
    ASSERT_NE(avplayer()->rate(), 0.0f);

    playAndWait("vod-protected");
    ASSERT_TRUE(waitForEvents(2, "str_start"));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"status 0", "status 0"}));
    EXPECT_TRUE(stack->isAuthenticated());
    ASSERT_EQ(eventLines(), (std::vector<std::string>{"str_start vod-clear 200", "end vod-clear 200",
                                                      "str_start vod-protected 200"}));
    // The end is the first stream's, as it stood when the switch came.
    ASSERT_EQ(events("end").size(), 1u);
    const auto end = events("end")[0];
    EXPECT_EQ(end.eventNumber, 2);
    EXPECT_EQ(end.body["client"]["playerState"], "playing");
    EXPECT_EQ(end.body["client"]["streamUrl"], backend->baseURL() + "/hls/vod-clear/master.m3u8");
    EXPECT_EQ(streamsCounted(), 1u);

    // The second stream plays, with its keys.
    waitUntilReady();
    EXPECT_NE(avplayer()->rate(), 0.0f);
    EXPECT_EQ(screen->streamContent()->id, "vod-protected");
    ASSERT_TRUE(runUntil([&] { return backend->licence().keysServed() >= 2; }));
    EXPECT_TRUE(delegate->failures.empty());
    // The first analytics view stopped; the second runs.
    const auto views = analyticsViews();
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].back(), "stop");
    EXPECT_EQ(std::count(views[1].begin(), views[1].end(), "stop"), 0);
    EXPECT_EQ(backend->analytics().beacons("init")[1].body["options"]["contentCustomDimension13"], "vod-protected");

    // One interval runs: the second stream's.
    advance(30);
    ASSERT_TRUE(waitForEvents(1, "period"));
    advance(1);
    ASSERT_EQ(events("period").size(), 1u);
    EXPECT_EQ(events("period")[0].body["progress"]["assetId"], "vod-protected");
    EXPECT_EQ(delegate->log.size(), 2u);
    EXPECT_TRUE(stack->isAuthenticated());
}

TEST_F(PlayerScreenTest, SwitchingAssetsWhilePausedPlaysTheNextOne) {
    signIn();
    playAndWait("vod-clear");
    waitUntilReady();
    ASSERT_TRUE(waitForEvents(1, "str_start"));
    advance(5);
    screen->toggleVideoPlayback();  // the viewer pauses
    ASSERT_EQ(avplayer()->rate(), 0.0f);

    playAndWait("vod-ads");
    ASSERT_TRUE(waitForEvents(2, "str_start"));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"status 0", "status 1", "status 0"}));
    EXPECT_NE(avplayer()->rate(), 0.0f);
    ASSERT_EQ(eventLines(),
              (std::vector<std::string>{"str_start vod-clear 200", "end vod-clear 200", "str_start vod-ads 200"}));
    ASSERT_EQ(events("end").size(), 1u);
    EXPECT_EQ(events("end")[0].body["client"]["playerState"], "pause");
    EXPECT_EQ(streamsCounted(), 1u);
    EXPECT_TRUE(stack->isAuthenticated());
    waitUntilReady();
    advance(3);
    EXPECT_GT(avplayer()->currentTime().seconds(), 2.5);
    EXPECT_EQ(delegate->log.size(), 3u);
}

TEST_F(PlayerScreenTest, TwoPlaysCrossingEndWithTheLatestAndDropWhatTheEarlierBrings) {
    signIn();
    auto holding = std::make_shared<HoldingVideoAPI>(dependencies().videoAPI);
    holding->held = {"vod-clear"};
    auto deps = dependencies();
    deps.videoAPI = holding;
    screen = ZuPlayerViewController::create(deps);
    screen->setDelegate(delegate);
    window->setRootViewController(screen);

    // The first play's content is held back while the second plays.
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return holding->heldCount() == 1 && holding->answered(); }));
    playAndWait("vod-protected");
    waitUntilReady();
    ASSERT_TRUE(waitForEvents(1, "str_start"));
    holding->release();
    advance(2);
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});
    EXPECT_EQ(screen->streamContent()->id, "vod-protected");
    EXPECT_EQ(screen->assetId(), "vod-protected");
    const auto asset = std::dynamic_pointer_cast<avfoundation::AVURLAsset>(avplayer()->currentItem()->asset());
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->url().absoluteString(), backend->baseURL() + "/hls/vod-protected/master.m3u8");
    EXPECT_NE(avplayer()->rate(), 0.0f);

    // An earlier play's failure is dropped the same way.
    holding->held = {"unknown-asset"};
    screen->play("unknown-asset");
    ASSERT_TRUE(runUntil([&] { return holding->heldCount() == 1 && holding->answered(); }));
    playAndWait("vod-clear");
    ASSERT_TRUE(waitForEvents(2, "str_start"));
    holding->release();
    advance(2);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"status 0", "status 0"}));
    EXPECT_TRUE(delegate->failures.empty());
    ASSERT_EQ(eventLines(), (std::vector<std::string>{"str_start vod-protected 200", "end vod-protected 200",
                                                      "str_start vod-clear 200"}));
    EXPECT_TRUE(stack->isAuthenticated());
}

TEST_F(PlayerScreenTest, SwitchingAssetsDuringAnAdEndsTheSessionAndPlaysTheNextOne) {
    signIn();
    playAndWait("vod-ads");
    waitUntilReady();
    // The host hands the asset's ad breaks; the playhead goes into the first one.
    screen->player()->update({{AdInfo("ad-1a", 30, 5), AdInfo("ad-1b", 35, 5)}, {AdInfo("ad-2a", 80, 6)}});
    advance(32);
    ASSERT_GT(screen->player()->timeRemainingForAdAt(avplayer()->currentTime().seconds()), 0.0);
    ASSERT_TRUE(waitForEvents(1, "period"));

    playAndWait("vod-clear");
    ASSERT_TRUE(waitForEvents(2, "str_start"));
    ASSERT_EQ(delegate->log, (std::vector<std::string>{"status 0", "status 0"}));
    ASSERT_EQ(eventLines(), (std::vector<std::string>{"str_start vod-ads 200", "period vod-ads 200", "end vod-ads 200",
                                                      "str_start vod-clear 200"}));
    EXPECT_EQ(streamsCounted(), 1u);
    EXPECT_TRUE(stack->isAuthenticated());
    waitUntilReady();
    EXPECT_NE(avplayer()->rate(), 0.0f);
    EXPECT_EQ(screen->streamContent()->id, "vod-clear");
    advance(30);
    ASSERT_TRUE(waitForEvents(2, "period"));
    EXPECT_EQ(events("period")[1].body["progress"]["assetId"], "vod-clear");
    EXPECT_EQ(delegate->log.size(), 2u);
    EXPECT_TRUE(stack->isAuthenticated());
}

TEST_F(PlayerScreenTest, TheBackgroundResumesUnder300SecondsAndPlaysAfreshFrom300) {
    signIn();
    playAndWait("vod-clear");
    ASSERT_TRUE(runUntil([&] { return avplayer()->currentItem()->status() == AVPlayerItem::Status::readyToPlay; }));
    advance(10);
    const double position = avplayer()->currentTime().seconds();
    auto item = avplayer()->currentItem();
    const auto away = [&](int seconds) {
        uikit::UIApplication::shared()->simulateResignActive();
        clock.clock().setWallNow(clock.clock().wallNow() + std::chrono::seconds(seconds));
        uikit::UIApplication::shared()->simulateBecomeActive();
        clock.runUntilIdle();
    };

    away(299);
    EXPECT_EQ(avplayer()->currentItem(), item);
    EXPECT_NE(avplayer()->rate(), 0.0f);
    EXPECT_NEAR(avplayer()->currentTime().seconds(), position, 0.2);
    EXPECT_EQ(playRequests().size(), 1u);
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});

    away(300);
    ASSERT_TRUE(runUntil([&] { return delegate->log.size() == 2; }));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"status 0", "status 0"}));
    EXPECT_EQ(playRequests().size(), 2u);
    ASSERT_TRUE(avplayer()->currentItem());
    EXPECT_NE(avplayer()->currentItem(), item);
    EXPECT_NE(avplayer()->rate(), 0.0f);
    // The dropped stream's session ends before the new one starts; the numbering goes on; one interval runs.
    ASSERT_TRUE(waitForEvents(2, "str_start"));
    ASSERT_EQ(events("end").size(), 1u);
    EXPECT_EQ(events("end")[0].eventNumber, 2);
    EXPECT_EQ(events("str_start")[1].eventNumber, 3);
    advance(30);
    ASSERT_TRUE(waitForEvents(1, "period"));
    advance(1);
    EXPECT_EQ(events("period").size(), 1u);
}

TEST_P(PlayerScreenOnEveryScreenTest, TheControlsAppearOnATapAndHideAfterTheIdleInterval) {
    signIn();
    playAndWait("vod-clear");
    ASSERT_TRUE(runUntil([&] { return avplayer()->currentItem()->status() == AVPlayerItem::Status::readyToPlay; }));
    auto pages = screen->player()->controlPageView();
    auto controls = screen->controlsView();
    EXPECT_FALSE(pages->page());
    EXPECT_FALSE(controls->superview());

    uikit::testing::TouchSimulator(window).tap(uikit::testing::TouchSimulator::centerOf(screen->player()));
    advance(0.25);  // faded in
    EXPECT_EQ(pages->page(), controls);
    EXPECT_EQ(controls->superview(), pages);
    EXPECT_EQ(controls->displayDensity(), ZuPlayerControlsDisplayDensity(5));
    EXPECT_FLOAT_EQ(controls->alpha(), 1.0f);

    // Five seconds without a touch, the 0.32 s settling of the idle events and a 0.2 s fade.
    advance(4.5);
    EXPECT_EQ(pages->page(), controls);
    advance(1.0);
    EXPECT_FALSE(pages->page());
    EXPECT_FALSE(controls->superview());
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});
}

TEST_P(PlayerScreenOnEveryScreenTest, TheCloseButtonReachesTheHostAndPlaybackGoesOn) {
    signIn();
    playAndWait("vod-clear");
    screen->player()->controlPageView()->replacePage(screen->controlsView());
    advance(0.25);
    uikit::testing::TouchSimulator(window).tap(screen->controlsView()->navigationControls()->closeButton());
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"status 0", "close"}));
    EXPECT_NE(avplayer()->rate(), 0.0f);
    EXPECT_EQ(window->rootViewController(), screen);
}

TEST_P(PlayerScreenOnEveryScreenTest, SnapshotOfTheScreenPlayingWithControls) {
    signIn();
    playAndWait("vod-clear");
    ASSERT_TRUE(runUntil([&] { return avplayer()->currentItem()->status() == AVPlayerItem::Status::readyToPlay; }));
    advance(10);
    screen->player()->controlPageView()->replacePage(screen->controlsView());
    advance(0.25);
    // How far the media has loaded shows in the slider: let the loading finish, however fast it ran.
    auto item = avplayer()->currentItem();
    ASSERT_TRUE(runUntil([&] { return !avfoundation::testing::AVPlayerItemTesting::isFetchingSegment(*item); }));
    clock.runUntilIdle();  // the ranges reach the slider on a later main-queue turn
    uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
    EXPECT_SNAPSHOT(*window, golden("player_screen_playing_controls"));
}

TEST_P(PlayerScreenOnEveryScreenTest, SnapshotOfAFailedSignInOverThePlayerScreen) {
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return presentedLogin() != nullptr; }));
    clock.advance(1.0);
    auto login = presentedLogin();
    login->usernameTextField()->simulateTyping(kViewerEmail);
    login->passwordTextField()->simulateTyping("not-the-password");
    login->view()->endEditing(true);
    clock.advance(0.25);
    login->loginButton()->sendActions(uikit::UIControl::Event::touchUpInside());
    ASSERT_TRUE(runUntil([&] { return !delegate->loginFailures.empty(); }));
    clock.advance(1.0);
    uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();
    EXPECT_SNAPSHOT(*window, golden("player_screen_sign_in_failed"));
}

// The host closes the player while the viewer is on the reset-password screen, reached from a login screen
// whose password was typed and shown: the password goes with the sign-in presentation, and the login screen
// presented next asks for it afresh.
TEST_P(PlayerScreenOnEveryScreenTest, TheHostClosingThePlayerOverTheResetScreenTakesThePasswordAlong) {
    auto host = uikit::UIViewController::create();
    window->setRootViewController(host);
    host->presentAnimated(screen, false);
    clock.advance(1.0);
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return presentedLogin() != nullptr; }));
    clock.advance(1.0);
    auto login = presentedLogin();
    login->usernameTextField()->simulateTyping(kViewerEmail);
    login->passwordTextField()->simulateTyping("a secret in clear");
    login->passwordTextField()->toggleSecureEntry();
    login->view()->endEditing(true);
    tapOnSignIn(login->scrollView(), login->forgotPasswordButton());
    clock.advance(1.0);
    auto navigation = login->navigationController();
    ASSERT_TRUE(navigation);
    ASSERT_NE(navigation->topViewController(), login) << "the reset-password screen is not on top";
    ASSERT_EQ(login->passwordTextField()->text(), "a secret in clear");

    host->dismiss(true);
    clock.advance(1.0);
    EXPECT_FALSE(host->presentedViewController());
    EXPECT_EQ(login->passwordTextField()->text(), "");
    EXPECT_TRUE(login->passwordTextField()->isSecureTextEntry());
    EXPECT_FALSE(login->loginButton()->isEnabled());

    // The host shows the player again: the same login screen, the e-mail kept, no password.
    host->presentAnimated(screen, false);
    clock.advance(1.0);
    screen->play("vod-clear");
    ASSERT_TRUE(runUntil([&] { return presentedLogin() != nullptr; }));
    clock.advance(1.0);
    ASSERT_EQ(presentedLogin(), login);
    EXPECT_EQ(login->usernameTextField()->text(), kViewerEmail);
    EXPECT_EQ(login->passwordTextField()->text(), "");
    EXPECT_TRUE(login->passwordTextField()->isSecureTextEntry());
}

TEST_F(PlayerScreenTest, ALiveStreamsEventsSayWhetherThePlayheadIsAtTheLiveEdge) {
    signIn();
    // A host's play service whose event template has a live block, for the back end's live stream.
    const std::string base = backend->baseURL();
    auto deps = dependencies();
    deps.videoAPI = std::make_shared<HostVideoAPI>([base](const std::string& assetId, const std::string& token) {
        AssetStreamContent content;
        content.id = assetId;
        content.resource = base + "/hls/live-1/master.m3u8";
        content.isDRMProtected = true;
        content.drmCertificateURLString = base + "/fairplay/certificate";
        content.accessToken = token;
        PlayerEventRequest::Body body;
        body.client.platform = "ios";
        body.progress.assetId = assetId;
        body.progress.playbackType = "live";
        body.progress.live = PlayerEventRequest::Progress::Live{};
        content.playerEventParameter = AssetStreamContentPlayerEventParameter{
            .playerEventInterval = 30, .playerEventUrl = base + "/api/v1/player-events", .playerEventBody = body};
        return content;
    });
    screen = ZuPlayerViewController::create(deps);
    screen->setDelegate(delegate);
    window->setRootViewController(screen);
    playAndWait("live-1");
    ASSERT_TRUE(runUntil([&] { return screen->player()->isLive(); }));
    advance(1);

    // At the end of the seekable window: on the live edge.
    bool sought = false;
    screen->player()->seek(screen->player()->duration().seconds() - 2, true, false, [&](bool) { sought = true; });
    ASSERT_TRUE(runUntil([&] { return sought; }));
    advance(29);
    ASSERT_TRUE(waitForEvents(1, "period"));
    auto period = events("period")[0];
    EXPECT_EQ(period.body["progress"]["live"]["onLiveEdge"], "true") << period.rawBody;
    EXPECT_FALSE(period.body["progress"].contains("vod"));

    // Forty seconds behind it: not.
    sought = false;
    screen->player()->seek(screen->player()->duration().seconds() - 40, true, false, [&](bool) { sought = true; });
    ASSERT_TRUE(runUntil([&] { return sought; }));
    advance(30);
    ASSERT_TRUE(waitForEvents(2, "period"));
    EXPECT_EQ(events("period")[1].body["progress"]["live"]["onLiveEdge"], "false") << events("period")[1].rawBody;
    EXPECT_EQ(events("period")[1].body["progress"]["live"]["liveResumePossible"], "false");
}

// A back end whose play answers ask for player events every half second.
class SubSecondIntervalTest : public PlayerScreenTest {
  protected:
    SubSecondIntervalTest() { backendOptions.eventInterval = 0.5; }
};

TEST_F(SubSecondIntervalTest, AnIntervalUnderASecondSendsTheStartEventAlone) {
    signIn();
    playAndWait("vod-clear");
    ASSERT_TRUE(waitForEvents(1, "str_start"));
    advance(10);
    // Ten seconds of playback later there is still only the start event.
    ASSERT_TRUE(runUntil([&] { return backend->server().requestLog().entries("/api/v1/player-events").size() >= 1; }));
    EXPECT_EQ(events().size(), 1u);
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});
}

TEST_F(PlayerScreenTest, AnEventThatCannotBeSentIsNotTheStreamLimit) {
    signIn();
    // A host's play service whose event template carries a duration no JSON can hold.
    const std::string base = backend->baseURL();
    auto deps = dependencies();
    deps.videoAPI = std::make_shared<HostVideoAPI>([base](const std::string& assetId, const std::string& token) {
        AssetStreamContent content;
        content.id = assetId;
        content.resource = base + "/hls/vod-clear/master.m3u8";
        content.accessToken = token;
        PlayerEventRequest::Body body;
        body.progress.assetId = assetId;
        body.progress.vod = PlayerEventRequest::Progress::Vod{.duration = std::numeric_limits<double>::infinity()};
        content.playerEventParameter = AssetStreamContentPlayerEventParameter{
            .playerEventInterval = 30, .playerEventUrl = base + "/api/v1/player-events", .playerEventBody = body};
        return content;
    });
    screen = ZuPlayerViewController::create(deps);
    screen->setDelegate(delegate);
    window->setRootViewController(screen);
    playAndWait("vod-clear");
    ASSERT_TRUE(runUntil([&] { return avplayer()->currentItem()->status() == AVPlayerItem::Status::readyToPlay; }));
    advance(61);
    // The viewer stays signed in, the host hears of no limit, and the ticks go on asking for tokens.
    EXPECT_EQ(delegate->log, std::vector<std::string>{"status 0"});
    EXPECT_TRUE(stack->isAuthenticated());
    EXPECT_NE(avplayer()->rate(), 0.0f);
    EXPECT_TRUE(events().empty());
}

}  // namespace
}  // namespace lumora
