#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "auth0/Authentication.h"
#include "auth0/CredentialsManager.h"
#include "devserver/IdentityService.h"
#include "devserver/Jwt.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "foundation/PropertyList.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kScope = "openid profile email offline_access";
constexpr const char* kConnection = "Username-Password-Authentication";

template <class T>
std::optional<T> await(const std::function<void(std::function<void(T)>)>& start) {
    std::optional<T> result;
    start([&result](T value) { result = std::move(value); });
    dispatch::RunLoop::main().runUntil([&] { return result.has_value(); }, std::chrono::seconds(10));
    return result;
}

class Auth0Test : public ::testing::Test {
  protected:
    void SetUp() override {
        identity_ = devserver::IdentityService::create({.accessTokenLifetime = 600});
        auto server = devserver::Server::start({.services = {identity_}});
        ASSERT_TRUE(server) << server.error();
        server_ = *server;
        session_ = foundation::URLSession::create({}, dispatch::DispatchQueue::main());
        auth_ = auth0::Authentication::create("lumora-player-kit", *foundation::URL::fromString(server_->baseURL()),
                                              session_);
    }

    using CredentialsResult = std::expected<auth0::Credentials, foundation::Error>;
    using VoidResult = std::expected<void, foundation::Error>;

    CredentialsResult login(const std::string& email, const std::string& password) {
        auto result = await<CredentialsResult>(
            [&](auto done) { auth_->login(email, password, kConnection, std::nullopt, kScope, done); });
        if (!result) return std::unexpected(foundation::Error(foundation::NSError{"test", 1, "no answer", nullptr}));
        return std::move(*result);
    }
    CredentialsResult renew(const std::string& refreshToken) {
        auto result = await<CredentialsResult>([&](auto done) { auth_->renew(refreshToken, std::nullopt, done); });
        if (!result) return std::unexpected(foundation::Error(foundation::NSError{"test", 1, "no answer", nullptr}));
        return std::move(*result);
    }
    VoidResult call(const std::function<void(auth0::AuthenticationType::VoidCallback)>& start) {
        auto result = await<VoidResult>([&](auto done) { start(done); });
        if (!result) return std::unexpected(foundation::Error(foundation::NSError{"test", 1, "no answer", nullptr}));
        return std::move(*result);
    }
    static const auth0::AuthenticationError& authError(const foundation::Error& error) {
        const auto* e = error.as<auth0::AuthenticationError>();
        EXPECT_NE(e, nullptr) << error.localizedDescription();
        static const auth0::AuthenticationError none = auth0::AuthenticationError::invalidRequest("none");
        return e ? *e : none;
    }

    dispatch::testing::ManualClockScope clock_;
    std::shared_ptr<devserver::IdentityService> identity_;
    std::shared_ptr<devserver::Server> server_;
    std::shared_ptr<foundation::URLSession> session_;
    std::shared_ptr<auth0::Authentication> auth_;
};

TEST_F(Auth0Test, PasswordGrantGivesCredentialsAndRefreshRenewsThem) {
    auto credentials = login("Demo@Lumora.dev", "lumora-demo");
    ASSERT_TRUE(credentials) << credentials.error().localizedDescription();
    EXPECT_FALSE(credentials->accessToken.empty());
    EXPECT_EQ(credentials->tokenType, "Bearer");
    ASSERT_TRUE(credentials->refreshToken);
    EXPECT_EQ(credentials->scope, kScope);
    // The expiry is "expires_in" after the answer, on the kit's clock (not the server's).
    EXPECT_EQ(credentials->expiresAt, foundation::Date::now() + 600);
    auto idClaims = devserver::jwt::verifyHS256(credentials->idToken, identity_->options().idTokenSecret);
    ASSERT_TRUE(idClaims);
    EXPECT_EQ((*idClaims)["email"], "demo@lumora.dev");

    const auto sent = nlohmann::json::parse(server_->requestLog().last()->body);
    EXPECT_EQ(sent["grant_type"], "http://auth0.com/oauth/grant-type/password-realm");
    EXPECT_EQ(sent["realm"], kConnection);
    EXPECT_EQ(sent["client_id"], "lumora-player-kit");
    EXPECT_EQ(server_->requestLog().last()->header("Content-Type"), "application/json");

    clock_.advance(100.0);
    auto renewed = renew(*credentials->refreshToken);
    ASSERT_TRUE(renewed) << renewed.error().localizedDescription();
    EXPECT_NE(renewed->accessToken, credentials->accessToken);
    EXPECT_FALSE(renewed->refreshToken);  // the provider keeps the refresh token as it was
    EXPECT_EQ(renewed->expiresAt, foundation::Date::now() + 600);
    EXPECT_TRUE(identity_->userForAccessToken(renewed->accessToken));
}

TEST_F(Auth0Test, RefusalsCarryTheProvidersErrorCodes) {
    auto wrong = login("demo@lumora.dev", "not-the-password");
    ASSERT_FALSE(wrong);
    EXPECT_EQ(authError(wrong.error()).statusCode(), 403);
    EXPECT_EQ(authError(wrong.error()).code(), "invalid_grant");
    EXPECT_TRUE(authError(wrong.error()).isInvalidCredentials());
    EXPECT_EQ(wrong.error().localizedDescription(), "Wrong email or password.");

    auto unknownUser = login("nobody@lumora.dev", "lumora-demo");
    ASSERT_FALSE(unknownUser);
    EXPECT_TRUE(authError(unknownUser.error()).isInvalidCredentials());

    auto credentials = login("demo@lumora.dev", "lumora-demo");
    ASSERT_TRUE(credentials);
    ASSERT_TRUE(call([&](auto done) { auth_->revoke(*credentials->refreshToken, done); }));
    EXPECT_FALSE(identity_->userForAccessToken(credentials->accessToken));
    auto renewed = renew(*credentials->refreshToken);
    ASSERT_FALSE(renewed);
    EXPECT_TRUE(authError(renewed.error()).isRefreshTokenDeleted());
    EXPECT_FALSE(authError(renewed.error()).isInvalidCredentials());

    auto otherClient = auth0::Authentication::create("someone-else", auth_->url(), session_);
    auto refused = await<CredentialsResult>([&](auto done) { otherClient->renew("x", std::nullopt, done); });
    ASSERT_TRUE(refused && !*refused);
    EXPECT_EQ(authError(refused->error()).statusCode(), 401);
}

TEST_F(Auth0Test, PasswordResetIsRequestedForTheConnection) {
    ASSERT_TRUE(call([&](auto done) { auth_->resetPassword("demo@lumora.dev", kConnection, done); }));
    EXPECT_EQ(identity_->passwordResetRequests(), std::vector<std::string>{"demo@lumora.dev"});
    auto empty = call([&](auto done) { auth_->resetPassword("", kConnection, done); });
    ASSERT_FALSE(empty);
    EXPECT_EQ(authError(empty.error()).statusCode(), 400);
    EXPECT_EQ(empty.error().localizedDescription(), "Missing email.");
}

TEST_F(Auth0Test, BrokenAnswersAndNoAnswerAreClearErrors) {
    server_->injectFault("/oauth/token", {.status = 200, .body = "<html>not json</html>"});
    auto garbled = login("demo@lumora.dev", "lumora-demo");
    ASSERT_FALSE(garbled);
    EXPECT_EQ(authError(garbled.error()).code(), "invalid_response");
    EXPECT_NE(garbled.error().localizedDescription().find("could not be read"), std::string::npos);

    server_->injectFault("/oauth/token", {.status = 200, .body = R"({"access_token":"secret-leak)"});
    auto truncated = login("demo@lumora.dev", "lumora-demo");
    ASSERT_FALSE(truncated);
    EXPECT_NE(truncated.error().localizedDescription().find("malformed JSON at byte"), std::string::npos);
    EXPECT_EQ(truncated.error().localizedDescription().find("secret-leak"), std::string::npos);

    server_->injectFault("/oauth/token", {.status = 200, .body = R"({"access_token":"a","expires_in":-5})"});
    auto negative = login("demo@lumora.dev", "lumora-demo");
    ASSERT_FALSE(negative);
    EXPECT_EQ(authError(negative.error()).code(), "invalid_response");

    server_->injectFault("/oauth/token", {.status = 502, .body = "Bad gateway"});
    auto gateway = login("demo@lumora.dev", "lumora-demo");
    ASSERT_FALSE(gateway);
    EXPECT_EQ(authError(gateway.error()).statusCode(), 502);
    EXPECT_EQ(gateway.error().localizedDescription(), "The identity provider answered with HTTP status 502.");

    // An answer padded past 1 MiB is cut off as it arrives, never read whole.
    server_->injectFault("/oauth/token",
                         {.status = 200,
                          .body = R"({"access_token":"a","expires_in":60,"pad":")" +
                                  std::string(auth0::Authentication::maximumResponseSize, 'x') + R"("})"});
    auto oversized = login("demo@lumora.dev", "lumora-demo");
    ASSERT_FALSE(oversized);
    EXPECT_TRUE(authError(oversized.error()).isNetworkError());
    EXPECT_EQ(oversized.error().localizedDescription(), "resource exceeds maximum size (larger than 1048576 bytes)");

    // A refusal whose page is over the cap is still the provider's refusal, with its status.
    server_->injectFault("/oauth/token",
                         {.status = 401, .body = std::string(auth0::Authentication::maximumResponseSize + 1, 'x')});
    auto paddedRefusal = login("demo@lumora.dev", "lumora-demo");
    ASSERT_FALSE(paddedRefusal);
    EXPECT_FALSE(authError(paddedRefusal.error()).isNetworkError());
    EXPECT_EQ(authError(paddedRefusal.error()).statusCode(), 401);
    EXPECT_EQ(paddedRefusal.error().localizedDescription(), "The identity provider answered with HTTP status 401.");

    server_->stop();
    auto unreachable = login("demo@lumora.dev", "lumora-demo");
    ASSERT_FALSE(unreachable);
    EXPECT_TRUE(authError(unreachable.error()).isNetworkError());
}

TEST(Auth0Configuration, DomainsAndThePropertyListResource) {
    EXPECT_EQ(auth0::Authentication::domainURL("login.example.com")->absoluteString(), "https://login.example.com");
    EXPECT_EQ(auth0::Authentication::domainURL("http://127.0.0.1:8080")->absoluteString(), "http://127.0.0.1:8080");
    EXPECT_FALSE(auth0::Authentication::domainURL(""));
    EXPECT_FALSE(auth0::Authentication::domainURL("bad host name"));

    const dispatch::testing::TemporaryFolder scratch("auth0-bundle");
    const fs::path& bundle = scratch.path();
    EXPECT_FALSE(auth0::plistValues(foundation::Bundle(bundle.string())));
    foundation::PropertyList::Dictionary values{{"ClientId", "abc"}, {"Domain", "tenant.example.com"}};
    ASSERT_TRUE(foundation::PropertyListSerialization::write(foundation::PropertyList(values),
                                                             (bundle / "Auth0.plist").string()));
    auto info = auth0::plistValues(foundation::Bundle(bundle.string()));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->clientId, "abc");
    EXPECT_EQ(info->domain, "tenant.example.com");
    values["Domain"] = foundation::PropertyList(std::int64_t{3});
    ASSERT_TRUE(foundation::PropertyListSerialization::write(foundation::PropertyList(values),
                                                             (bundle / "Auth0.plist").string()));
    EXPECT_FALSE(auth0::plistValues(foundation::Bundle(bundle.string())));
}

TEST(Auth0CredentialsManager, StoresReadsAndClearsWithoutLeakingSecrets) {
    dispatch::testing::ManualClockScope clock;
    const dispatch::testing::TemporaryFolder dir("auth0-store");
    auto keychain = std::make_shared<simplekeychain::SimpleKeychain>("com.example.host", (dir / "keys").string());
    auth0::CredentialsManager manager(keychain);
    std::vector<std::string> logs;
    std::mutex mutex;
    auto previous = auth0::setLogHandler([&](const std::string& line) {
        std::lock_guard lock(mutex);
        logs.push_back(line);
    });
    const dispatch::testing::RestoreOnExit restoreHandler([previous] { auth0::setLogHandler(previous); });

    auto stored0 = manager.credentials();
    ASSERT_TRUE(stored0);
    EXPECT_FALSE(*stored0);
    EXPECT_FALSE(manager.hasValid());
    EXPECT_TRUE(manager.clear());

    auth0::Credentials credentials{
        "secret-access", "Bearer", "id.token.x", "secret-refresh", foundation::Date::now() + 60, "openid"};
    ASSERT_TRUE(manager.store(credentials));
    auto readBack = manager.credentials();
    ASSERT_TRUE(readBack && *readBack);
    EXPECT_TRUE(**readBack == credentials);
    const auto stored = nlohmann::json::parse(*keychain->string("credentials"));
    for (const char* key : {"access_token", "token_type", "id_token", "refresh_token", "expires_at", "scope"}) {
        EXPECT_TRUE(stored.contains(key)) << key;
    }
    // With a refresh token the credentials stay usable after expiry; without one, only before.
    clock.clock().setWallNow(clock.clock().wallNow() + std::chrono::seconds(120));
    EXPECT_TRUE(manager.hasValid(30));
    credentials.refreshToken.reset();
    credentials.expiresAt = foundation::Date::now() + 40;
    ASSERT_TRUE(manager.store(credentials));
    EXPECT_TRUE(manager.hasValid(30));
    EXPECT_FALSE(manager.hasValid(45));

    // A record that is intact for the keychain but not credentials counts as none, and the log names
    // the reason without the secrets.
    ASSERT_TRUE(keychain->set(R"({"access_token":"secret-access","token_type":5})", "credentials"));
    auto damaged = manager.credentials();
    ASSERT_TRUE(damaged);
    EXPECT_FALSE(*damaged);
    ASSERT_TRUE(keychain->set(R"({"access_token":"secret-access)", "credentials"));
    auto truncated = manager.credentials();
    ASSERT_TRUE(truncated);
    EXPECT_FALSE(*truncated);
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_NE(logs[0].find("cannot be read (the value \"tokenType\" is not a String)"), std::string::npos) << logs[0];
    EXPECT_NE(logs[1].find("malformed JSON at byte"), std::string::npos) << logs[1];
    for (const auto& line : logs) EXPECT_EQ(line.find("secret"), std::string::npos) << line;

    ASSERT_TRUE(manager.clear());
    EXPECT_EQ(keychain->has("credentials"), false);
}

}  // namespace
