#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "alamofire/AFError.h"
#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"
#include "devserver/PlayService.h"
#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "foundation/URLError.h"
#include "kitfoundation/networking/NetworkError.h"
#include "playservice/ConcurrencyError.h"
#include "playservice/PlayAssetModelMapper.h"
#include "playservice/StreamDRMSettingsProvider.h"
#include "playservice/VideoAPI.h"
#include "playservice/VideoError.h"
#include "playservice/testing/PlayServiceFakes.h"
#include "uikit/UIDevice.h"

using namespace lumora;
using namespace lumora::testing;

namespace {

PlayAsset asset(std::string_view id, double interval = 29.9) {
    auto json = devserver::play::playResponse(id, "http://127.0.0.1:4000", interval);
    return *PlayAssetModelMapper::map(apiModel(json->dump()));
}

struct Outcome {
    std::vector<AssetStreamContent> elements;
    std::optional<foundation::Error> error;
    bool completed = false;
};

Outcome collect(const rx::Observable<AssetStreamContent>& observable) {
    auto outcome = std::make_shared<Outcome>();
    observable.subscribe([outcome](const AssetStreamContent& c) { outcome->elements.push_back(c); },
                         [outcome](const foundation::Error& e) { outcome->error = e; },
                         [outcome] { outcome->completed = true; });
    return *outcome;
}

// A video API over a fake manager, counting how often each collaborator is made and asked.
struct Harness {
    int hevcChecks = 0;
    int managersMade = 0;
    int factoriesMade = 0;
    std::optional<bool> factoryHEVC;
    std::shared_ptr<FakeAssetManager> manager;

    std::shared_ptr<VideoAPI> make(std::function<std::expected<PlayAsset, foundation::Error>()> result,
                                   AccessTokenSource tokens, bool hevc = false) {
        manager = std::make_shared<FakeAssetManager>(std::move(result));
        PlayAssetDependencies d;
        d.hevcCapability = [this, hevc] {
            return HEVCCapability::create([this, hevc](videotoolbox::CMVideoCodecType codec) {
                ++hevcChecks;
                return hevc && codec == videotoolbox::kCMVideoCodecType_HEVC;
            });
        };
        d.playableAssetManager = [this] {
            ++managersMade;
            return manager;
        };
        d.assetInfoFactory = [this](bool hasHEVC) {
            ++factoriesMade;
            factoryHEVC = hasHEVC;
            DeviceInfo device;
            device.systemName = "Lumora OS";
            return AssetInfoFactory::create(device, hasHEVC, uikit::UIUserInterfaceIdiom::phone);
        };
        return VideoAPI::create(std::move(d), std::move(tokens));
    }
};

}  // namespace

TEST(VideoAPI, BuildsStreamContentFromTheAsset) {
    dispatch::testing::ManualClockScope clock;
    Harness h;
    auto api = h.make([] { return asset("vod-protected"); }, FakeTokenSource{"token-1"}.source());
    auto outcome = collect(api->fetchStreamContent("vod-protected"));
    ASSERT_EQ(outcome.elements.size(), 1u);
    EXPECT_TRUE(outcome.completed);
    const AssetStreamContent& c = outcome.elements[0];
    EXPECT_EQ(c.title, "Grand Final: Extended Highlights");
    EXPECT_EQ(c.id, "vod-protected");
    EXPECT_EQ(c.resource, "http://127.0.0.1:4000/hls/vod-protected/master.m3u8");
    EXPECT_EQ(c.contentProvider, "lumora-devserver");
    EXPECT_EQ(c.contentMediaFormat, "drm-hls-ts");
    EXPECT_EQ(c.assetType, "");
    EXPECT_TRUE(c.isDRMProtected);
    EXPECT_EQ(c.drmCertificateURLString, "http://127.0.0.1:4000/fairplay/certificate");
    EXPECT_EQ(c.accessToken, "token-1");
    EXPECT_EQ(c.youbora.contentTitle, "Grand Final: Extended Highlights");
    ASSERT_TRUE(c.playerEventParameter);
    EXPECT_EQ(c.playerEventParameter->playerEventInterval, 29);
    EXPECT_EQ(c.playerEventParameter->playerEventUrl, "http://127.0.0.1:4000/api/v1/player-events");
    EXPECT_EQ(c.playerEventParameter->playerEventBody, asset("vod-protected").playerEventRequest.body);
    ASSERT_EQ(h.manager->requests.size(), 1u);
    EXPECT_EQ(h.manager->requests[0].assetId, "vod-protected");

    auto clear = collect(
        h.make([] { return asset("vod-clear"); }, FakeTokenSource{"t"}.source())->fetchStreamContent("vod-clear"));
    ASSERT_EQ(clear.elements.size(), 1u);
    EXPECT_FALSE(clear.elements[0].isDRMProtected);
    EXPECT_FALSE(clear.elements[0].drmCertificateURLString);
}

TEST(VideoAPI, IntervalsThatAreNotFiniteOrOutOfRangeBecomeZero) {
    for (double interval : {std::nan(""), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), 1e300, -1e19}) {
        PlayAsset a = asset("vod-clear");
        a.playerEventRequest.eventInterval = interval;
        EXPECT_EQ(AssetStreamContent::make(a, "t").playerEventParameter->playerEventInterval, 0) << interval;
    }
    PlayAsset a = asset("vod-clear");
    a.playerEventRequest.eventInterval = -2.7;
    EXPECT_EQ(AssetStreamContent::make(a, "t").playerEventParameter->playerEventInterval, -2);
}

TEST(VideoAPI, EveryFailureOfThePlayRoadIsStreamNotAvailableAndSaysWhatHappened) {
    dispatch::testing::ManualClockScope clock;
    Harness h;
    const auto server = [](int status, std::optional<std::string> code) {
        return PlayServiceError::server(status, std::move(code), "Not in your plan");
    };
    const auto transfer = [](int code) {
        return PlayableAssetManagerError::generic(
            PlayServiceError::generic(alamofire::AFError::sessionTaskFailed(foundation::URLError::make(code))));
    };
    const foundation::Error unreadable =
        foundation::JSONDecoder().decode<PlayAssetAPIModel>(foundation::dataFromString(R"({"assetId": [)")).error();
    struct Case {
        foundation::Error failure;
        std::string message;
        // What the host reads underneath.
        std::function<bool(const foundation::Error&)> underlying;
    };
    const auto refusal = [](int status) {
        return [status](const foundation::Error& e) {
            const auto* service = e.as<PlayServiceError>();
            return service && service->serverCase() && service->serverCase()->httpCode == status;
        };
    };
    const std::vector<Case> cases = {
        {transfer(foundation::URLError::timedOut), "Stream not available: the play request timed out",
         [](const foundation::Error& e) { return foundation::URLError::is(e, foundation::URLError::timedOut); }},
        {transfer(foundation::URLError::cannotConnectToHost),
         "Stream not available: the play request failed (" +
             foundation::URLError::description(foundation::URLError::cannotConnectToHost) + ")",
         [](const foundation::Error& e) {
             return foundation::URLError::is(e, foundation::URLError::cannotConnectToHost);
         }},
        {PlayableAssetManagerError::generic(PlayServiceError::generic(unreadable)),
         "Stream not available: the play service's answer could not be read",
         [](const foundation::Error& e) { return e.is<foundation::DecodingError>(); }},
        {PlayableAssetManagerError::generic(server(500, std::nullopt)),
         "Stream not available: the play service refused the request (HTTP 500)", refusal(500)},
        {PlayableAssetProvider::playErrorMapper(server(403, "3003")),
         "Stream not available: the play service refused the request (HTTP 403)", refusal(403)},
        {PlayableAssetProvider::playErrorMapper(server(401, "1006")),
         "Stream not available: the play service refused the request (HTTP 401)", refusal(401)},
        {PlayableAssetManagerError::generic(MapError(MapError::missingStreamData)),
         "Stream not available: the play service's answer is incomplete (Missing stream data)",
         [](const foundation::Error& e) { return e.is<MapError>(); }},
        // A host's own mapper that keeps no refusal: the manager's error is what is known.
        {PlayableAssetManagerError::unauthorizedAccess("Not in your plan"),
         "Stream not available: Unauthorized access: Not in your plan",
         [](const foundation::Error& e) { return e.is<PlayableAssetManagerError>(); }},
    };
    for (const auto& c : cases) {
        auto outcome = collect(
            h.make([c] { return std::unexpected(c.failure); }, FakeTokenSource{"t"}.source())->fetchStreamContent("a"));
        ASSERT_TRUE(outcome.error) << c.message;
        const auto* video = outcome.error->as<VideoError>();
        ASSERT_NE(video, nullptr) << c.message;
        EXPECT_EQ(*video, VideoError::noAvailableStreamError);
        EXPECT_EQ(outcome.error->localizedDescription(), c.message);
        ASSERT_TRUE(video->underlyingError()) << c.message;
        EXPECT_TRUE(c.underlying(*video->underlyingError())) << c.message;
        EXPECT_TRUE(outcome.elements.empty());
    }
}

TEST(VideoAPI, AThousandPlayRequestsInTurnLeaveNothingBehind) {
    dispatch::testing::ManualClockScope clock;
    Harness h;
    // Token subscriptions are counted while they live; `silent` makes the source never answer (a refresh
    // that hangs).
    auto live = std::make_shared<int>(0);
    auto silent = std::make_shared<bool>(false);
    AccessTokenSource tokens = [live, silent] {
        return TokenObservable::create([live, silent](const rx::AnyObserver<std::optional<std::string>>& observer) {
            ++*live;
            if (!*silent) {
                observer.onNext(std::optional<std::string>("t"));
                observer.onCompleted();
            }
            return rx::Disposables::create([live] { --*live; });
        });
    };
    auto api = h.make([] { return asset("vod-clear"); }, tokens);

    // Requests that end with their content: nothing of them (their subscribers included) stays alive.
    std::vector<std::weak_ptr<int>> subscribers;
    int contents = 0;
    for (int i = 0; i < 1000; ++i) {
        auto subscriber = std::make_shared<int>(i);
        subscribers.push_back(subscriber);
        api->fetchStreamContent("vod-clear").subscribe([subscriber, &contents](const AssetStreamContent&) {
            ++contents;
        });
    }
    EXPECT_EQ(contents, 1000);
    EXPECT_EQ(std::count_if(subscribers.begin(), subscribers.end(), [](const auto& w) { return !w.expired(); }), 0);

    // Requests given up while the token is awaited: their token subscriptions end with them.
    *silent = true;
    for (int i = 0; i < 1000; ++i) api->fetchStreamContent("vod-clear").subscribe().dispose();
    EXPECT_EQ(*live, 0);
    EXPECT_EQ(h.manager->requests.size(), 1000u);
}

TEST(VideoAPI, TokenProblemsAreReportedAndNeverLeftHanging) {
    dispatch::testing::ManualClockScope clock;
    Harness h;
    const auto ok = [] { return asset("vod-clear"); };

    // Nobody signed in: the missing-token error, and no play request.
    auto signedOut = collect(h.make(ok, FakeTokenSource{std::nullopt}.source())->fetchStreamContent("a"));
    ASSERT_TRUE(signedOut.error);
    ASSERT_TRUE(signedOut.error->is<AuthenticationError>());
    EXPECT_TRUE(signedOut.error->as<AuthenticationError>()->isNoAccessToken());
    EXPECT_TRUE(h.manager->requests.empty());

    // A failed refresh ends the stream with that error instead of leaving it waiting for ever.
    auto failed = collect(h.make(ok, failingTokenSource(LumoraNetworkError::server()))->fetchStreamContent("a"));
    ASSERT_TRUE(failed.error);
    ASSERT_TRUE(failed.error->is<LumoraNetworkError>());
    EXPECT_TRUE(failed.error->as<LumoraNetworkError>()->isServer());

    // A source that ends without a token counts as nobody signed in.
    auto empty = collect(h.make(ok, emptyTokenSource())->fetchStreamContent("a"));
    ASSERT_TRUE(empty.error);
    ASSERT_TRUE(empty.error->is<AuthenticationError>());
    EXPECT_TRUE(empty.error->as<AuthenticationError>()->isNoAccessToken());

    // Calling the fetch step without a token is the unauthorised error.
    auto api = h.make(ok, FakeTokenSource{"t"}.source());
    std::optional<foundation::Error> direct;
    api->fetch("a", std::nullopt, rx::AnyObserver<AssetStreamContent>([&](const rx::Event<AssetStreamContent>& e) {
                   if (e.error()) direct = *e.error();
               }));
    ASSERT_TRUE(direct && direct->is<LumoraNetworkError>());
    EXPECT_TRUE(direct->as<LumoraNetworkError>()->isUnauthorised());
}

TEST(VideoAPI, FetchesShareOneManagerAndFactoryAndTheHEVCCheckRunsOnce) {
    dispatch::testing::ManualClockScope clock;
    Harness h;
    FakeTokenSource tokens{"t"};
    auto api = h.make([] { return asset("vod-clear"); }, tokens.source(), /*hevc=*/true);
    EXPECT_EQ(h.managersMade, 0);  // made on first use
    auto observable = api->fetchStreamContent("a");
    EXPECT_EQ(*tokens.subscriptions, 0);  // cold
    collect(observable);
    collect(observable);
    collect(api->fetchStreamContent("b"));
    EXPECT_EQ(*tokens.subscriptions, 3);
    EXPECT_EQ(h.managersMade, 1);
    EXPECT_EQ(h.factoriesMade, 1);
    EXPECT_EQ(h.hevcChecks, 1);
    EXPECT_EQ(h.factoryHEVC, true);
    ASSERT_EQ(h.manager->requests.size(), 3u);
    EXPECT_EQ(h.manager->requests[2].assetId, "b");
    EXPECT_EQ(h.manager->requests[2].capabilities.codecs, (std::vector<std::string>{"avc", "hevc"}));

    Harness without;
    auto plain = without.make([] { return asset("vod-clear"); }, tokens.source(), /*hevc=*/false);
    collect(plain->fetchStreamContent("a"));
    EXPECT_EQ(without.manager->requests[0].capabilities.codecs, std::vector<std::string>{"avc"});
}

TEST(StreamDRMSettingsProvider, SettingsOnlyForProtectedContentAndTheTokenAlwaysAnswers) {
    auto content = AssetStreamContent::make(asset("vod-protected"), "t");
    auto provider = StreamDRMSettingsProvider::create(FakeTokenSource{"drm-token"}.source());
    auto settings = provider->settings(content);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->certificateURL, "http://127.0.0.1:4000/fairplay/certificate");
    std::vector<std::optional<std::string>> tokens;
    settings->jwt([&](std::optional<std::string> token) { tokens.push_back(token); });
    settings->jwt([&](std::optional<std::string> token) { tokens.push_back(token); });
    EXPECT_EQ(tokens, (std::vector<std::optional<std::string>>{"drm-token", "drm-token"}));

    EXPECT_FALSE(provider->settings(AssetStreamContent::make(asset("vod-clear"), "t")));
    auto noCertificate = content;
    noCertificate.drmCertificateURLString.reset();
    EXPECT_FALSE(provider->settings(noCertificate));

    // Signed out, a failing source, or an empty one: the completion gets nothing, once.
    for (auto source : {FakeTokenSource{std::nullopt}.source(), failingTokenSource(LumoraNetworkError::server()),
                        emptyTokenSource()}) {
        int calls = 0;
        std::optional<std::string> got = "unset";
        StreamDRMSettingsProvider::create(source)->fetchToken([&](std::optional<std::string> token) {
            ++calls;
            got = token;
        });
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(got);
    }
}

TEST(PlayErrors, Messages) {
    EXPECT_EQ(VideoError().localizedDescription(), "Stream not available");
    EXPECT_EQ(foundation::Error(ConcurrencyError(ConcurrencyError::defaultError)).localizedDescription(),
              "Max number of active streams for this subscription is reached");
    EXPECT_EQ(PlayableAssetManagerError::unauthorizedAccess("No").localizedDescription(), "Unauthorized access: No");
    EXPECT_EQ(PlayServiceError::server(403, "3003", "No").localizedDescription(),
              "Play service error. HTTP 403 - Code: 3003 - Message: No");
    EXPECT_EQ(PlayableAssetProvider::playErrorMapper(PlayServiceError::server(400, "1006", std::nullopt)).kind(),
              PlayableAssetManagerError::Kind::invalidAuthentication);
    EXPECT_TRUE(
        PlayableAssetProvider::playErrorMapper(PlayServiceError::generic(LumoraNetworkError::server())).isGeneric());
}

namespace {

// An authentication manager whose every operation answers nobody signed in, or `error`.
class ScriptedAuthManager final : public AuthManagerType {
  public:
    ScriptedAuthManager() = default;
    explicit ScriptedAuthManager(foundation::Error error)
        : error_(std::make_shared<foundation::Error>(std::move(error))) {}
    bool isAuthenticated() const override { return false; }
    void authenticationStatus(bool, StatusCompletion completion) override { completion(false); }
    void login(std::string, std::string, AccountCompletion completion) override { completion(result()); }
    void logout(VoidCompletion completion) override { completion({}); }
    void request(std::string, VoidCompletion completion) override { completion({}); }
    void autoLogin(AccountCompletion completion) override { completion(result()); }
    void refreshIfNeeded(AccountCompletion completion) override { completion(result()); }
    std::shared_ptr<const Account> currentAccount() const override { return nullptr; }

  private:
    AccountResult result() const {
        if (error_) return std::unexpected(*error_);
        return std::shared_ptr<const Account>();
    }
    std::shared_ptr<foundation::Error> error_;
};

}  // namespace

TEST(PlayRoadDefaults, TheDefaultTokenSourceIsTheSharedAuthenticationManager) {
    dispatch::testing::ManualClockScope clock;
    auto& auth = LumoraAuthManager::shared();
    const dispatch::testing::RestoreOnExit restore(
        [&auth, previous = auth.authManager()] { auth.setAuthManager(previous); });
    Harness h;
    const auto ok = [] { return asset("vod-clear"); };

    auth.setAuthManager(std::make_shared<ScriptedAuthManager>());
    auto signedOut = collect(h.make(ok, defaultAccessTokenSource())->fetchStreamContent("a"));
    ASSERT_TRUE(signedOut.error && signedOut.error->is<AuthenticationError>());
    EXPECT_TRUE(signedOut.error->as<AuthenticationError>()->isNoAccessToken());

    auth.setAuthManager(std::make_shared<ScriptedAuthManager>(AuthManagerError::refreshFailed("offline")));
    auto refreshFailed = collect(h.make(ok, defaultAccessTokenSource())->fetchStreamContent("a"));
    ASSERT_TRUE(refreshFailed.error);
    EXPECT_TRUE(refreshFailed.error->is<AuthManagerError>());
    EXPECT_TRUE(h.manager->requests.empty());

    // The key loader's token request is answered (with nothing) when the refresh fails.
    int calls = 0;
    StreamDRMSettingsProvider::create()->fetchToken([&](std::optional<std::string> token) {
        ++calls;
        EXPECT_FALSE(token);
    });
    EXPECT_EQ(calls, 1);
}

TEST(PlayRoadDefaults, TheDefaultFactoryDescribesThisDevice) {
    // The device description keeps its identifier under the data folder: a scratch one for the test.
    const dispatch::testing::TemporaryFolder folder("play-data");
    const dispatch::testing::EnvironmentScope env("XDG_DATA_HOME", folder.path().string());
    auto& device = uikit::UIDevice::current();
    const dispatch::testing::RestoreOnExit restoreIdiom(
        [&device, idiom = device.userInterfaceIdiom()] { device.setUserInterfaceIdiom(idiom); });
    device.setUserInterfaceIdiom(uikit::UIUserInterfaceIdiom::pad);

    auto dependencies = PlayAssetDependencies::make("http://127.0.0.1:9", FakeTokenSource{"t"}.source());
    const AssetInfo info = dependencies.assetInfoFactory(true)->makeAssetInfo("a");
    EXPECT_EQ(info.device.type, "tablet");
    EXPECT_EQ(info.device.id, DeviceInfo::current().identifier);
    EXPECT_EQ(info.player.name, DeviceInfo::current().systemName + "Player");
    EXPECT_EQ(info.capabilities.codecs, (std::vector<std::string>{"avc", "hevc"}));
    EXPECT_TRUE(dependencies.hevcCapability() != nullptr);
    EXPECT_TRUE(dependencies.playableAssetManager() != nullptr);
}
