#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <latch>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "authentication/Auth0URLProtocol.h"
#include "authentication/AuthManager.h"
#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"
#include "authentication/OrvAuthManager.h"
#include "authentication/ZuAuthManager.h"
#include "devserver/EntitlementService.h"
#include "devserver/IdentityService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "keychain/SimpleKeychain.h"
#include "kitfoundation/Log.h"

namespace {

namespace fs = std::filesystem;
using lumora::AccountResult;
using lumora::AuthenticationError;
using lumora::AuthManagerError;

constexpr const char* kDemo = "demo@lumora.dev";
constexpr const char* kPassword = "lumora-demo";
constexpr const char* kUserAgent = "5413df9d11cfacd1a5d4fc4e5c1aac53";

// Every event of one subscription, from whichever thread it came.
template <class T>
struct Recorded {
    std::mutex mutex;  // guards elements, error, completed and allOnMain
    std::condition_variable changed;
    std::vector<T> elements;
    std::optional<foundation::Error> error;
    bool completed = false;
    bool allOnMain = true;

    bool ended() {
        std::lock_guard lock(mutex);
        return completed || error.has_value();
    }
};

template <class T>
std::shared_ptr<Recorded<T>> subscribe(const rx::Observable<T>& observable) {
    auto recorded = std::make_shared<Recorded<T>>();
    auto note = [recorded](auto&& update) {
        std::lock_guard lock(recorded->mutex);
        recorded->allOnMain = recorded->allOnMain && dispatch::DispatchQueue::isMainThread();
        update();
        recorded->changed.notify_all();
    };
    observable.subscribe([note, recorded](const T& value) { note([&] { recorded->elements.push_back(value); }); },
                         [note, recorded](const foundation::Error& error) { note([&] { recorded->error = error; }); },
                         [note, recorded] { note([&] { recorded->completed = true; }); });
    return recorded;
}

template <class T>
std::shared_ptr<Recorded<T>> collect(const rx::Observable<T>& observable) {
    auto recorded = subscribe(observable);
    dispatch::RunLoop::main().runUntil([&] { return recorded->ended(); }, std::chrono::seconds(10));
    EXPECT_TRUE(recorded->ended());
    return recorded;
}

const AuthManagerError* managerError(const foundation::Error& error) {
    return error.as<AuthManagerError>();
}
const AuthManagerError* wrappedManagerError(const foundation::Error& error) {
    const auto* authentication = error.as<AuthenticationError>();
    return authentication ? authentication->authManagerError() : nullptr;
}

class AuthStackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        keychainDir_ = fs::temp_directory_path() / ("lumora-auth-stack-" + std::to_string(::getpid()) + "-" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(keychainDir_);
        identity_ = devserver::IdentityService::create({.accessTokenLifetime = 3600});
        entitlement_ = devserver::EntitlementService::create(identity_, {.tokenLifetime = 100});
        auto server = devserver::Server::start({.services = {identity_, entitlement_}});
        ASSERT_TRUE(server) << server.error();
        server_ = *server;
        session_ = foundation::URLSession::create({}, dispatch::DispatchQueue::main());
        stack_ = makeStack();
    }
    void TearDown() override {
        if (server_) server_->stop();
        fs::remove_all(keychainDir_);
    }

    lumora::AuthConfiguration configuration(const std::string& identityBase, const std::string& entitlementBase) const {
        auto c = lumora::AuthConfiguration::resolve({}, std::nullopt, "com.example.host");
        c.domain = identityBase;
        c.entitlementServiceURL = entitlementBase + "/entitlement/";
        c.keychainDirectory = keychainDir_.string();
        return c;
    }
    std::shared_ptr<lumora::AuthManagerType> makeStack(std::shared_ptr<foundation::URLSession> session = nullptr) {
        return lumora::LumoraAuthFactory::makeAuthManager(configuration(server_->baseURL(), server_->baseURL()),
                                                          {.session = session ? session : session_});
    }
    lumora::ZuAuthManager facade() const {
        return lumora::ZuAuthManager([stack = stack_] { return stack; });
    }

    AccountResult login(const std::string& email, const std::string& password) {
        std::optional<AccountResult> result;
        stack_->login(email, password, [&](AccountResult r) { result = std::move(r); });
        dispatch::RunLoop::main().runUntil([&] { return result.has_value(); }, std::chrono::seconds(10));
        if (!result) return std::unexpected(foundation::Error(AuthManagerError::loginFailed("no answer")));
        return std::move(*result);
    }
    std::shared_ptr<Recorded<std::optional<std::string>>> token(
        const std::shared_ptr<lumora::AuthManagerType>& stack = nullptr) {
        lumora::LumoraAuthManager holder(stack ? stack : stack_);
        return collect(holder.accessToken());
    }
    std::optional<std::string> tokenValue() {
        auto recorded = token();
        EXPECT_FALSE(recorded->error) << recorded->error->localizedDescription();
        EXPECT_EQ(recorded->elements.size(), 1u);
        return recorded->elements.empty() ? std::nullopt : recorded->elements.front();
    }
    std::size_t requests(const std::string& path) const { return server_->requestLog().entries(path).size(); }
    std::size_t refreshGrants() const {
        std::size_t n = 0;
        for (const auto& r : server_->requestLog().entries("/oauth/token")) {
            if (nlohmann::json::parse(r.body, nullptr, false).value("grant_type", "") == "refresh_token") ++n;
        }
        return n;
    }
    std::string itemPath() const {
        return simplekeychain::SimpleKeychain("com.example.host", keychainDir_.string()).itemPath("credentials");
    }
    bool stored() const { return fs::exists(itemPath()); }

    dispatch::testing::ManualClockScope clock_;
    fs::path keychainDir_;
    std::shared_ptr<devserver::IdentityService> identity_;
    std::shared_ptr<devserver::EntitlementService> entitlement_;
    std::shared_ptr<devserver::Server> server_;
    std::shared_ptr<foundation::URLSession> session_;
    std::shared_ptr<lumora::AuthManagerType> stack_;
};

TEST_F(AuthStackTest, SignInGivesTheAccountAndItsEntitlementToken) {
    EXPECT_FALSE(stack_->isAuthenticated());
    EXPECT_EQ(tokenValue(), std::nullopt);  // nobody signed in: nil, then completion

    auto account = login(kDemo, kPassword);
    ASSERT_TRUE(account) << account.error().localizedDescription();
    EXPECT_EQ((*account)->id(), "acc-demo-0001");
    EXPECT_TRUE((*account)->isActive());
    ASSERT_NE(std::dynamic_pointer_cast<const lumora::OrvAccount>(*account), nullptr);
    EXPECT_EQ((*account)->tokenExpiresAt(), foundation::Date::now() + 100);
    EXPECT_TRUE((*account)->refreshToken());
    EXPECT_TRUE(stack_->isAuthenticated());

    // The entitlement request: client id, scope and the provider's token as bearer.
    const auto sent = server_->requestLog().entries("/entitlement/oauth/token").at(0);
    const auto body = nlohmann::json::parse(sent.body);
    EXPECT_EQ(body["client_id"], "lumora-player-kit");
    EXPECT_EQ(body["scope"], "playback");
    EXPECT_EQ(sent.header("Authorization")->rfind("Bearer at_", 0), 0u);

    const auto token = tokenValue();
    ASSERT_TRUE(token);
    EXPECT_EQ(*token, (*account)->token());
    auto claims = entitlement_->verify(*token);
    ASSERT_TRUE(claims);
    EXPECT_EQ((*claims)["account_status"], "active");
    EXPECT_EQ(requests("/entitlement/oauth/token"), 1u);  // a fresh token is handed out again without asking

    auto recorded = collect(facade().login(kDemo, kPassword));
    EXPECT_EQ(recorded->elements, std::vector<bool>{true});
    EXPECT_TRUE(recorded->completed);
}

TEST_F(AuthStackTest, AFreshStackReadsTheStoredCredentials) {
    ASSERT_TRUE(login(kDemo, kPassword));
    const std::size_t passwordGrants = requests("/oauth/token");

    // A restart: a new stack over the same keychain folder.
    stack_ = makeStack();
    EXPECT_TRUE(stack_->isAuthenticated());
    EXPECT_EQ(stack_->currentAccount(), nullptr);
    auto recorded = collect(facade().autoLogin());
    EXPECT_EQ(recorded->elements.size(), 1u);
    EXPECT_TRUE(recorded->completed);
    ASSERT_NE(stack_->currentAccount(), nullptr);
    EXPECT_EQ(stack_->currentAccount()->id(), "acc-demo-0001");
    EXPECT_EQ(requests("/oauth/token"), passwordGrants);  // no new sign-in
    EXPECT_EQ(requests("/entitlement/oauth/token"), 2u);
}

TEST_F(AuthStackTest, TokensAreRefreshedInsideTheMarginOnly) {
    identity_->setAccessTokenLifetime(200);
    auto account = login(kDemo, kPassword);
    ASSERT_TRUE(account);
    const std::string first = (*account)->token();

    clock_.advance(69.0);  // 31 seconds left
    EXPECT_EQ(tokenValue(), first);
    EXPECT_EQ(requests("/entitlement/oauth/token"), 1u);

    clock_.advance(1.0);  // exactly 30 left: within the margin
    const auto second = tokenValue();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, first);
    EXPECT_EQ(requests("/entitlement/oauth/token"), 2u);
    EXPECT_EQ(refreshGrants(), 0u);  // the provider's token still had 130 seconds

    // The provider's token falls due too (200 s): its refresh grant comes first.
    clock_.advance(141.0);
    const auto third = tokenValue();
    ASSERT_TRUE(third);
    EXPECT_EQ(refreshGrants(), 1u);
    EXPECT_EQ(requests("/entitlement/oauth/token"), 3u);
    const auto bearer = server_->requestLog().entries("/entitlement/oauth/token").back().header("Authorization");
    const auto renewedGrant = nlohmann::json::parse(server_->requestLog().entries("/oauth/token").back().body);
    EXPECT_EQ(renewedGrant["grant_type"], "refresh_token");
    EXPECT_TRUE(identity_->userForAccessToken(bearer->substr(7)));

    // The renewed credentials were stored: a fresh stack needs no refresh grant.
    stack_ = makeStack();
    EXPECT_TRUE(tokenValue());
    EXPECT_EQ(refreshGrants(), 1u);
}

TEST_F(AuthStackTest, AFailedRefreshEndsTheTokenObservableWithAnError) {
    identity_->setAccessTokenLifetime(100);
    ASSERT_TRUE(login(kDemo, kPassword));
    clock_.advance(75.0);

    server_->injectFault("/oauth/token", {.status = 503, .body = R"({"error":"temporarily_unavailable"})"});
    auto failed = token();
    EXPECT_TRUE(failed->elements.empty());
    ASSERT_TRUE(failed->error);
    ASSERT_NE(managerError(*failed->error), nullptr);
    EXPECT_EQ(managerError(*failed->error)->kind(), AuthManagerError::Kind::refreshFailed);
    EXPECT_TRUE(stack_->isAuthenticated());  // the credentials are kept for the next attempt

    server_->injectFault("/entitlement/oauth/token", {.status = 500});
    failed = token();
    ASSERT_TRUE(failed->error);
    EXPECT_EQ(managerError(*failed->error)->kind(), AuthManagerError::Kind::entitlementTokenFailed);
    EXPECT_NE(failed->error->localizedDescription().find("Failed to fetch entitlement token. Reason: "),
              std::string::npos);

    // An answer cut mid-body: the connection was lost, it did not fail to be made.
    server_->injectFault("/entitlement/oauth/token", {.cutBodyAfter = 12});
    failed = token();
    ASSERT_TRUE(failed->error);
    EXPECT_EQ(managerError(*failed->error)->kind(), AuthManagerError::Kind::entitlementTokenFailed);
    EXPECT_NE(failed->error->localizedDescription().find("The network connection was lost."), std::string::npos)
        << failed->error->localizedDescription();
    EXPECT_EQ(failed->error->localizedDescription().find("No network connection"), std::string::npos);

    EXPECT_TRUE(tokenValue());  // both services answer again

    // The provider forgets the session: the viewer is signed out and the store cleared.
    clock_.advance(80.0);
    server_->injectFault(
        "/oauth/token",
        {.status = 403,
         .body = R"({"error":"invalid_grant","error_description":"Unknown or invalid refresh token."})"});
    failed = token();
    ASSERT_TRUE(failed->error);
    EXPECT_EQ(managerError(*failed->error)->kind(), AuthManagerError::Kind::sessionExpired);
    EXPECT_FALSE(stack_->isAuthenticated());
    EXPECT_FALSE(stored());
    EXPECT_EQ(tokenValue(), std::nullopt);
}

TEST_F(AuthStackTest, RefusedSignInsMapToTheFacadesErrors) {
    auto wrong = collect(facade().login(kDemo, "wrong-password"));
    ASSERT_TRUE(wrong->error);
    const auto* error = wrong->error->as<AuthenticationError>();
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->isUnknown());
    ASSERT_NE(error->authManagerError(), nullptr);
    EXPECT_EQ(error->authManagerError()->kind(), AuthManagerError::Kind::invalidCredentials);
    EXPECT_EQ(wrong->error->localizedDescription(), "Failed to login user. Reason: Wrong email or password.");
    EXPECT_FALSE(stored());
    EXPECT_EQ(server_->requestLog().entries("/oauth/token").back().header("Content-Type"), "application/json");

    auto inactive = collect(facade().login("inactive@lumora.dev", kPassword));
    ASSERT_TRUE(inactive->error);
    EXPECT_TRUE(inactive->error->as<AuthenticationError>()->isInactiveAccount());
    EXPECT_TRUE(inactive->elements.empty());
    auto autoInactive = collect(facade().autoLogin());
    ASSERT_TRUE(autoInactive->error);
    EXPECT_TRUE(autoInactive->error->as<AuthenticationError>()->isInactiveAccount());

    // Any status that does not allow playback is an inactive account, "incomplete" too.
    auto incomplete = collect(facade().login("incomplete@lumora.dev", kPassword));
    ASSERT_TRUE(incomplete->error);
    EXPECT_TRUE(incomplete->error->as<AuthenticationError>()->isInactiveAccount());
    auto autoIncomplete = collect(facade().autoLogin());
    ASSERT_TRUE(autoIncomplete->error);
    EXPECT_TRUE(autoIncomplete->error->as<AuthenticationError>()->isInactiveAccount());
}

TEST_F(AuthStackTest, LogoutRevokesAndClearsTheStore) {
    ASSERT_TRUE(login(kDemo, kPassword));
    ASSERT_TRUE(stored());
    EXPECT_EQ(identity_->liveRefreshTokenCount(), 1u);

    std::optional<std::expected<void, foundation::Error>> outcome;
    bool onMain = false;
    facade().logout([&](std::expected<void, foundation::Error> r) {
        onMain = dispatch::DispatchQueue::isMainThread();
        outcome = std::move(r);
    });
    EXPECT_FALSE(stored());  // signed out at once, before the provider answers
    dispatch::RunLoop::main().runUntil([&] { return outcome.has_value(); });
    ASSERT_TRUE(outcome && *outcome);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(identity_->liveRefreshTokenCount(), 0u);
    EXPECT_EQ(requests("/oauth/revoke"), 1u);
    EXPECT_FALSE(stack_->isAuthenticated());
    EXPECT_EQ(stack_->currentAccount(), nullptr);
    EXPECT_EQ(tokenValue(), std::nullopt);

    // A revocation that fails still leaves the viewer signed out, and says so.
    ASSERT_TRUE(login(kDemo, kPassword));
    server_->injectFault("/oauth/revoke", {.status = 500});
    outcome.reset();
    facade().logout([&](std::expected<void, foundation::Error> r) { outcome = std::move(r); });
    dispatch::RunLoop::main().runUntil([&] { return outcome.has_value(); });
    ASSERT_TRUE(outcome && !*outcome);
    EXPECT_EQ(managerError(outcome->error())->kind(), AuthManagerError::Kind::logoutFailed);
    EXPECT_FALSE(stored());
    EXPECT_FALSE(stack_->isAuthenticated());
}

TEST_F(AuthStackTest, ARefreshThatEndsAfterLogoutDoesNotSignTheViewerBackIn) {
    identity_->setAccessTokenLifetime(100);
    ASSERT_TRUE(login(kDemo, kPassword));
    clock_.advance(80.0);

    lumora::LumoraAuthManager holder(stack_);
    auto pending = subscribe(holder.accessToken());  // the refresh grant is now on its way
    std::optional<std::expected<void, foundation::Error>> outcome;
    stack_->logout([&](std::expected<void, foundation::Error> r) { outcome = std::move(r); });
    dispatch::RunLoop::main().runUntil([&] { return pending->ended() && outcome.has_value(); });

    ASSERT_TRUE(pending->completed);
    EXPECT_EQ(pending->elements, std::vector<std::optional<std::string>>{std::nullopt});
    EXPECT_EQ(refreshGrants(), 1u);
    EXPECT_FALSE(stored());
    EXPECT_FALSE(stack_->isAuthenticated());
    EXPECT_EQ(makeStack()->isAuthenticated(), false);
}

TEST_F(AuthStackTest, PasswordResetAnswersOnTheMainQueue) {
    // A worker-queue session: the facade must bring the answer to the main queue itself.
    stack_ = makeStack(foundation::URLSession::create());
    auto recorded = collect(facade().resetPassword(kDemo));
    EXPECT_EQ(recorded->elements.size(), 1u);
    EXPECT_TRUE(recorded->completed);
    EXPECT_TRUE(recorded->allOnMain);
    EXPECT_EQ(identity_->passwordResetRequests(), std::vector<std::string>{kDemo});
    const auto sent = nlohmann::json::parse(server_->requestLog().entries("/dbconnections/change_password").at(0).body);
    EXPECT_EQ(sent["connection"], "Username-Password-Authentication");

    server_->injectFault("/dbconnections/change_password", {.status = 500});
    auto failed = collect(facade().resetPassword(kDemo));
    ASSERT_TRUE(failed->error);
    EXPECT_TRUE(failed->allOnMain);
    EXPECT_EQ(managerError(*failed->error)->kind(), AuthManagerError::Kind::resetPasswordFailed);

    // Status answers come on the main queue too.
    std::optional<std::expected<bool, foundation::Error>> status;
    bool onMain = false;
    facade().authenticationStatus(true, [&](std::expected<bool, foundation::Error> s) {
        onMain = dispatch::DispatchQueue::isMainThread();
        status = std::move(s);
    });
    dispatch::RunLoop::main().runUntil([&] { return status.has_value(); });
    ASSERT_TRUE(status && *status);
    EXPECT_FALSE(**status);
    EXPECT_TRUE(onMain);
}

TEST_F(AuthStackTest, TheStoreIsOwnerOnlyAndADamagedOneReadsAsSignedOut) {
    ASSERT_TRUE(login(kDemo, kPassword));
    struct stat info {};
    ASSERT_EQ(::stat(itemPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);

    std::ifstream in(itemPath(), std::ios::binary);
    const std::string intact((std::istreambuf_iterator<char>(in)), {});
    in.close();
    std::vector<std::string> logs;
    auto previous = simplekeychain::setLogHandler([&](const std::string& line) { logs.push_back(line); });
    const dispatch::testing::RestoreOnExit restoreHandler([previous] { simplekeychain::setLogHandler(previous); });
    for (const std::string& damaged :
         {intact.substr(0, intact.size() - 20), std::string("\x7f garbage \x01"), std::string()}) {
        {
            std::ofstream out(itemPath(), std::ios::binary | std::ios::trunc);
            out << damaged;
        }
        stack_ = makeStack();  // a restart
        EXPECT_FALSE(stack_->isAuthenticated());
        EXPECT_EQ(tokenValue(), std::nullopt);
        auto autoLogin = collect(facade().autoLogin());
        ASSERT_TRUE(autoLogin->error);
        ASSERT_NE(wrappedManagerError(*autoLogin->error), nullptr);
        EXPECT_EQ(wrappedManagerError(*autoLogin->error)->kind(), AuthManagerError::Kind::notLoggedIn);
    }
    EXPECT_FALSE(logs.empty());

    // Signing in again replaces the damaged record.
    ASSERT_TRUE(login(kDemo, kPassword));
    EXPECT_TRUE(makeStack()->isAuthenticated());
}

TEST_F(AuthStackTest, CredentialsNeverReachTheLogs) {
    const dispatch::testing::ValueScope keepSwitch(lumora::debugLogEnabled);
    lumora::debugLogEnabled = true;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    identity_->setAccessTokenLifetime(100);
    auto account = login(kDemo, kPassword);
    clock_.advance(80.0);
    const auto token = tokenValue();
    const std::string stored =
        *simplekeychain::SimpleKeychain("com.example.host", keychainDir_.string()).string("credentials");
    std::optional<std::expected<void, foundation::Error>> outcome;
    stack_->logout([&](std::expected<void, foundation::Error> r) { outcome = std::move(r); });
    dispatch::RunLoop::main().runUntil([&] { return outcome.has_value(); });
    const std::string out = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();

    ASSERT_TRUE(account);
    ASSERT_TRUE(token);
    const auto credentials = nlohmann::json::parse(stored);
    EXPECT_NE(out.find("oauth/token"), std::string::npos);  // the network log did run
    for (const std::string& secret :
         {std::string(kPassword), (*account)->token(), *token, credentials["access_token"].get<std::string>(),
          credentials["refresh_token"].get<std::string>(), credentials["id_token"].get<std::string>()}) {
        EXPECT_EQ(out.find(secret), std::string::npos) << "a secret was logged";
    }
}

TEST_F(AuthStackTest, ConcurrentTokenRequestsShareOneRefresh) {
    stack_ = makeStack(foundation::URLSession::create());  // answers on worker threads
    const auto orv = std::dynamic_pointer_cast<lumora::OrvAuthManager>(stack_);
    ASSERT_NE(orv, nullptr);
    EXPECT_EQ(orv->queue().label(), "dev.lumora.OrvAuth.OrvAuthManager");
    EXPECT_EQ(std::dynamic_pointer_cast<lumora::AuthManager>(orv->authManager())->queue().label(),
              "dev.lumora.OrvAuth.AuthManager");

    std::optional<AccountResult> signedIn;
    std::mutex mutex;
    std::condition_variable answered;
    stack_->login(kDemo, kPassword, [&](AccountResult r) {
        std::lock_guard lock(mutex);
        signedIn = std::move(r);
        answered.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        answered.wait_for(lock, std::chrono::seconds(10), [&] { return signedIn.has_value(); });
    }
    ASSERT_TRUE(signedIn && *signedIn);
    clock_.clock().setWallNow(clock_.clock().wallNow() + std::chrono::seconds(75));

    lumora::LumoraAuthManager holder(stack_);
    std::vector<std::shared_ptr<Recorded<std::optional<std::string>>>> results(4);
    std::latch start(static_cast<std::ptrdiff_t>(results.size()));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            results[i] = subscribe(holder.accessToken());
            std::unique_lock lock(results[i]->mutex);
            results[i]->changed.wait_for(lock, std::chrono::seconds(10),
                                         [&] { return results[i]->completed || results[i]->error; });
        });
    }
    for (auto& thread : threads) thread.join();

    std::optional<std::string> shared;
    for (const auto& result : results) {
        ASSERT_TRUE(result->completed) << (result->error ? result->error->localizedDescription() : "no answer");
        ASSERT_EQ(result->elements.size(), 1u);
        ASSERT_TRUE(result->elements[0]);
        if (!shared) shared = result->elements[0];
        EXPECT_EQ(result->elements[0], shared);
    }
    EXPECT_NE(*shared, (**signedIn)->token());
    EXPECT_EQ(requests("/entitlement/oauth/token"), 2u);  // the sign-in's and one refresh for all four
}

TEST_F(AuthStackTest, DisposingTheLoginDoesNotCancelIt) {
    auto disposable = facade().login(kDemo, kPassword).subscribe();
    disposable.dispose();
    dispatch::RunLoop::main().runUntil([&] { return stack_->currentAccount() != nullptr; });
    EXPECT_TRUE(stack_->isAuthenticated());
    EXPECT_EQ(requests("/entitlement/oauth/token"), 1u);
}

TEST(AuthUserAgent, OnlyIdentityProviderRequestsCarryIt) {
    dispatch::testing::ManualClockScope clock;
    const dispatch::testing::TemporaryFolder dir("auth-agent");
    auto identity = devserver::IdentityService::create();
    auto identityServer = devserver::Server::start({.services = {identity}});
    auto entitlementServer = devserver::Server::start({.services = {devserver::EntitlementService::create(identity)}});
    ASSERT_TRUE(identityServer && entitlementServer);

    auto registry = foundation::URLProtocolRegistry::create();
    const auto providerURL = *foundation::URL::fromString((*identityServer)->baseURL());
    EXPECT_TRUE(registry->registerClass(std::make_shared<lumora::Auth0URLProtocol>(std::vector{providerURL})));
    EXPECT_FALSE(registry->registerClass(std::make_shared<lumora::Auth0URLProtocol>(std::vector{providerURL})));
    foundation::URLSessionConfiguration configuration;
    configuration.protocolRegistry = registry;

    auto c = lumora::AuthConfiguration::resolve({}, std::nullopt, "com.example.agent");
    c.domain = (*identityServer)->baseURL();
    c.entitlementServiceURL = (*entitlementServer)->baseURL() + "/entitlement/";
    c.keychainDirectory = (dir / "keys").string();
    auto stack = lumora::LumoraAuthFactory::makeAuthManager(
        c, {.session = foundation::URLSession::create(configuration, dispatch::DispatchQueue::main())});

    std::optional<AccountResult> result;
    stack->login(kDemo, kPassword, [&](AccountResult r) { result = std::move(r); });
    dispatch::RunLoop::main().runUntil([&] { return result.has_value(); });
    ASSERT_TRUE(result && *result);
    std::optional<lumora::VoidResult> reset;
    stack->request(kDemo, [&](lumora::VoidResult r) { reset = std::move(r); });
    dispatch::RunLoop::main().runUntil([&] { return reset.has_value(); });

    const auto providerRequests = (*identityServer)->requestLog().entries();
    ASSERT_EQ(providerRequests.size(), 2u);
    for (const auto& request : providerRequests) EXPECT_EQ(request.header("User-Agent"), kUserAgent) << request.path;
    const auto otherRequests = (*entitlementServer)->requestLog().entries();
    ASSERT_EQ(otherRequests.size(), 1u);
    EXPECT_NE(otherRequests[0].header("User-Agent"), kUserAgent);
}

}  // namespace
