// The player screen and the services under it against hostile answers of the local back end: a malformed
// answer that carries a token puts it in no error and no log line, and a refusal whose page or header fields
// are over the caps is still read by its status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "auth0/CredentialsManager.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "keychain/SimpleKeychain.h"
#include "kitfoundation/Log.h"
#include "playback/DRMError.h"
#include "playservice/PlayService.h"
#include "screen/testing/PlayerScreenTestSupport.h"

namespace lumora {
namespace {

using testing::kViewerEmail;
using testing::kViewerPassword;

constexpr const char* kPlayerEvents = "/api/v1/player-events";

// A token of no recognisable shape (no JSON Web Token, no scheme before it): only its absence from a text
// keeps it out, never a masking of tokens by their look.
std::string secret(int road) {
    return "opaque-Secret-" + std::to_string(road) + "-7c2a05f3b9d1e84f";
}

class HostileAnswersTest : public testing::PlayerScreenBackendTest {
  protected:
    void TearDown() override {
        endCapture();
        PlayerScreenBackendTest::TearDown();
    }

    // From here on every log line is written (the debug log on) and collected: the kit's log and network blocks
    // (standard output), the stand-ins' channels (their handlers, else standard error).
    void capture() {
        debugLogEnabled = true;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        capturing = true;
        auto collect = [this](const std::string& line) {
            std::lock_guard lock(linesMutex);
            lines += line + "\n";
        };
        previousAuth0 = auth0::setLogHandler(collect);
        previousKeychain = simplekeychain::setLogHandler(collect);
    }
    // Everything logged since `capture()`.
    std::string endCapture() {
        if (!capturing) return {};
        capturing = false;
        debugLogEnabled = false;
        auth0::setLogHandler(previousAuth0);
        simplekeychain::setLogHandler(previousKeychain);
        std::string out = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
        std::lock_guard lock(linesMutex);
        return out + lines;
    }

    // Signs in through the public facade and gives the failure's text ("" when it succeeded).
    std::string failedSignIn() {
        std::optional<std::string> failure;
        ZuAuthManager::shared()
            .login(kViewerEmail, kViewerPassword)
            .observeOn(rx::MainScheduler::asyncInstance())
            .subscribe([&](const bool&) { failure = ""; },
                       [&](const foundation::Error& error) { failure = error.localizedDescription(); })
            .disposed(bag);
        EXPECT_TRUE(runUntil([&] { return failure.has_value(); }));
        return failure.value_or("");
    }

    // Every text the host was told: failures, sign-in failures and the lines of its delegate.
    std::string hostTexts() const {
        std::string out;
        for (const auto& line : delegate->log) out += line + "\n";
        for (const auto& e : delegate->failures) out += e.localizedDescription() + "\n";
        for (const auto& e : delegate->loginFailures) out += e.localizedDescription() + "\n";
        return out;
    }

    static void expectNoSecret(const std::string& text, const std::string& token, const std::string& where) {
        EXPECT_EQ(text.find(token), std::string::npos) << "the token reached " << where << ":\n" << text;
        EXPECT_EQ(text.find(token.substr(0, 16)), std::string::npos) << "part of the token reached " << where;
    }

    dispatch::testing::ValueScope<std::atomic<bool>> debugSwitch{debugLogEnabled};
    bool capturing = false;
    std::mutex linesMutex;
    std::string lines;  // guarded by linesMutex
    foundation::LogChannel::Handler previousAuth0;
    foundation::LogChannel::Handler previousKeychain;
};

TEST_F(HostileAnswersTest, ATokenInAMalformedSignInOrEntitlementAnswerReachesNoErrorAndNoLogLine) {
    // The identity provider's answer, then the entitlement service's, each with its token cut by a raw TAB.
    const std::string identityToken = secret(1);
    const std::string entitlementToken = secret(2);
    backend->server().injectFault(
        "/oauth/token",
        {.status = 200, .body = R"({"access_token":")" + identityToken + "\t" + R"(","expires_in":3600})"});
    capture();
    const std::string identityFailure = failedSignIn();
    backend->server().injectFault(
        "/entitlement/oauth/token",
        {.status = 200, .body = R"({"access_token":")" + entitlementToken + "\t" + R"(","expires_in":100})"});
    const std::string entitlementFailure = failedSignIn();
    const std::string logged = endCapture();

    EXPECT_FALSE(identityFailure.empty());
    EXPECT_FALSE(entitlementFailure.empty());
    EXPECT_EQ(backend->server().requestLog().entries("/entitlement/oauth/token").size(), 1u);
    EXPECT_NE(logged.find("/entitlement/oauth/token"), std::string::npos);  // the network log did run
    for (const auto& token : {identityToken, entitlementToken}) {
        expectNoSecret(identityFailure, token, "the sign-in error");
        expectNoSecret(entitlementFailure, token, "the sign-in error");
        expectNoSecret(logged, token, "the log");
    }
}

TEST_F(HostileAnswersTest, ATokenInAMalformedPlayOrPlayerEventAnswerReachesNoErrorAndNoLogLine) {
    signIn();
    const std::string playToken = secret(3);
    const std::string eventToken = secret(4);
    backend->server().injectFault(
        "/api/v3/play", {.status = 200, .body = R"({"assetId":"vod-clear","drmToken":")" + playToken + "\t\"}"});
    backend->server().injectFault(
        kPlayerEvents, {.status = 200, .body = R"({"data":[{"assetId":")" + eventToken + "\t\"}]}", .times = 0});
    capture();
    // The play service's own error, as the kit's play road hands it on.
    std::optional<std::string> playFailure;
    auto tokens = [] { return LumoraAuthManager::shared().accessToken(); };
    AssetInfo asset;
    asset.assetId = "vod-clear";
    PlayService::create(backend->baseURL(), tokens)->fetch(asset, [&](auto result) {
        playFailure = result ? "" : result.error().localizedDescription();
    });
    ASSERT_TRUE(runUntil([&] { return playFailure.has_value(); }));
    // The screen: the same answer fails the play; then an asset plays, and its events are answered alike.
    backend->server().injectFault(
        "/api/v3/play", {.status = 200, .body = R"({"assetId":"vod-clear","drmToken":")" + playToken + "\t\"}"});
    playAndWait("vod-clear");
    playAndWait("vod-clear");
    ASSERT_TRUE(runUntil([&] { return backend->server().requestLog().entries(kPlayerEvents).size() >= 1; }));
    advance(31);
    ASSERT_TRUE(runUntil([&] { return backend->server().requestLog().entries(kPlayerEvents).size() >= 2; }));
    dispatch::RunLoop::main().runUntilIdle();
    const std::string logged = endCapture();

    EXPECT_FALSE(playFailure->empty());
    EXPECT_EQ(delegate->calls("fail"),
              std::vector<std::string>{"fail Stream not available: the play service's answer could not be read"});
    EXPECT_FALSE(delegate->has("stream limit"));
    for (const auto& token : {playToken, eventToken}) {
        expectNoSecret(*playFailure, token, "the play error");
        expectNoSecret(hostTexts(), token, "the host");
        expectNoSecret(logged, token, "the log");
    }
}

TEST_F(HostileAnswersTest, ATokenInAMalformedLicenceRefusalReachesNoErrorAndNoLogLine) {
    signIn();
    const std::string licenceToken = secret(5);
    backend->server().injectFault(
        "/fairplay/license",
        {.status = 403, .body = R"({"code":130401,"message":")" + licenceToken + "\t\"}", .times = 0});
    capture();
    playAndWait("vod-protected");
    ASSERT_TRUE(runUntil([&] { return !delegate->failures.empty(); }));
    const std::string logged = endCapture();

    EXPECT_EQ(delegate->calls("fail").size(), 1u);
    expectNoSecret(hostTexts(), licenceToken, "the host");
    expectNoSecret(logged, licenceToken, "the log");
}

// Answers every request of `path` with `status`, a small body and header fields past the client's cap.
class OversizedHeaders final : public devserver::Service {
  public:
    OversizedHeaders(std::string path, int status) : path_(std::move(path)), status_(status) {}
    std::string name() const override { return "oversized-headers"; }
    void registerRoutes(devserver::Router& router) override {
        router.add("*", path_, [status = status_](const devserver::RecordedRequest&) {
            auto reply = devserver::Reply::apiError(status, "4031", "Too many streams");
            for (int i = 0; i < 40; ++i)
                reply.headers.emplace_back("X-Filler-" + std::to_string(i), std::string(8192, 'h'));
            return reply;
        });
    }

  private:
    std::string path_;
    int status_;
};

// The play service's answer for vod-clear, its player events sent to `eventURL`.
class RedirectedEvents final : public VideoAPI {
  public:
    RedirectedEvents(std::string base, std::string eventURL)
        : VideoAPI(PlayAssetDependencies{}, [] { return LumoraAuthManager::shared().accessToken(); }),
          base_(std::move(base)),
          eventURL_(std::move(eventURL)) {}
    void fetch(const std::string& assetId, const std::optional<std::string>& accessToken,
               const rx::AnyObserver<AssetStreamContent>& observer) override {
        AssetStreamContent content;
        content.id = assetId;
        content.resource = base_ + "/hls/vod-clear/master.m3u8";
        content.accessToken = accessToken.value_or("");
        PlayerEventRequest::Body body;
        body.progress.assetId = assetId;
        body.progress.vod = PlayerEventRequest::Progress::Vod{.duration = 120};
        content.playerEventParameter = AssetStreamContentPlayerEventParameter{
            .playerEventInterval = 30, .playerEventUrl = eventURL_, .playerEventBody = body};
        observer.onNext(content);
        observer.onCompleted();
    }

  private:
    std::string base_;
    std::string eventURL_;
};

TEST_F(HostileAnswersTest, AStreamLimitRefusalWithAPageOverTheCapSignsTheViewerOut) {
    signIn();
    // The refusal of the first event comes with an error page of 1.1 MB, over the 1 MiB the events take.
    backend->server().injectFault(kPlayerEvents,
                                  {.status = 403, .body = "<html>" + std::string(1100 * 1024, 'x') + "</html>"});
    playAndWait("vod-clear");
    ASSERT_TRUE(runUntil([&] { return delegate->has("stream limit"); }, std::chrono::seconds(10)))
        << "the host heard: " << hostTexts();
    EXPECT_EQ(delegate->calls("stream limit").size(), 1u);
    EXPECT_FALSE(stack->isAuthenticated());
    EXPECT_EQ(backend->server().requestLog().entries(kPlayerEvents).size(), 1u);
}

TEST_F(HostileAnswersTest, AStreamLimitRefusalWithHeadersOverTheCapSignsTheViewerOut) {
    signIn();
    auto events =
        devserver::Server::start({.services = {std::make_shared<OversizedHeaders>("/events", 403)}, .echo = false});
    ASSERT_TRUE(events) << events.error();
    auto deps = dependencies();
    deps.videoAPI = std::make_shared<RedirectedEvents>(backend->baseURL(), (*events)->baseURL() + "/events");
    auto own = ZuPlayerViewController::create(deps);
    own->setDelegate(delegate);
    window->setRootViewController(own);
    screens.push_back(own);
    own->play("vod-clear");
    const bool heard = runUntil([&] { return delegate->has("stream limit"); }, std::chrono::seconds(10));
    (*events)->stop();
    ASSERT_TRUE(heard) << "the host heard: " << hostTexts();
    EXPECT_EQ(delegate->calls("stream limit").size(), 1u);
    EXPECT_FALSE(stack->isAuthenticated());
    EXPECT_EQ((*events)->requestLog().entries("/events").size(), 1u);
}

}  // namespace
}  // namespace lumora
