#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "authentication/Account.h"
#include "authentication/Auth0URLProtocol.h"
#include "authentication/AuthConfiguration.h"
#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"
#include "authentication/detail/RefreshOnce.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "foundation/PropertyList.h"
#include "jwtdecode/JWTDecode.h"

namespace {

using lumora::AccountStatus;
using lumora::AuthenticationError;
using lumora::AuthManagerError;

std::string entitlementJWT(const std::string& payload) {
    return jwtdecode::base64URLEncode(R"({"alg":"HS256","typ":"JWT"})") + "." + jwtdecode::base64URLEncode(payload) +
           ".c2ln";
}

const AuthManagerError* managerError(const foundation::Error& error) {
    return error.as<AuthManagerError>();
}

TEST(AuthenticationErrors, ManagerErrorsHaveFixedDistinctMessages) {
    const std::vector<AuthManagerError> all = {
        AuthManagerError::loginFailed("timed out"),
        AuthManagerError::invalidCredentials(),
        AuthManagerError::notLoggedIn(),
        AuthManagerError::credentialsStoreFailed("disk full"),
        AuthManagerError::credentialsReadFailed("EIO"),
        AuthManagerError::refreshTokenMissing(),
        AuthManagerError::refreshFailed("HTTP 503"),
        AuthManagerError::sessionExpired(),
        AuthManagerError::logoutFailed("offline"),
        AuthManagerError::resetPasswordFailed("HTTP 400"),
        AuthManagerError::entitlementTokenFailed("401"),
        AuthManagerError::invalidEntitlementToken("not a JWT"),
        AuthManagerError::unknownAccountStatus("frozen"),
        AuthManagerError::invalidConfiguration("bad domain"),
        AuthManagerError::managerReleased(),
    };
    ASSERT_EQ(all.size(), static_cast<std::size_t>(AuthManagerError::caseCount));
    std::set<std::string> messages;
    std::set<int> codes;
    for (const auto& error : all) {
        const std::string message = error.localizedDescription();
        EXPECT_NE(message.find(". Reason: "), std::string::npos) << message;
        if (!error.reason().empty()) {
            EXPECT_NE(message.find(error.reason()), std::string::npos) << message;
        }
        messages.insert(message);
        codes.insert(foundation::Error(error).code());
        EXPECT_EQ(foundation::Error(error).domain(), "Lumora.AuthManagerError");
    }
    EXPECT_EQ(messages.size(), all.size());
    EXPECT_EQ(codes.size(), all.size());
    EXPECT_EQ(AuthManagerError::loginFailed("timed out").localizedDescription(),
              "Failed to login user. Reason: timed out");
    EXPECT_EQ(AuthManagerError::invalidCredentials().localizedDescription(),
              "Failed to login user. Reason: Wrong email or password.");
}

TEST(AuthenticationErrors, AuthenticationErrorCasesAndTheirUnderlyingManagerError) {
    const auto wrapped = AuthenticationError::unknown(AuthManagerError::sessionExpired());
    EXPECT_TRUE(wrapped.isUnknown());
    ASSERT_NE(wrapped.authManagerError(), nullptr);
    EXPECT_EQ(wrapped.authManagerError()->kind(), AuthManagerError::Kind::sessionExpired);
    EXPECT_EQ(wrapped.localizedDescription(), AuthManagerError::sessionExpired().localizedDescription());

    const auto other =
        AuthenticationError::unknown(foundation::NSError{"NSURLErrorDomain", -1001, "The request timed out.", nullptr});
    EXPECT_EQ(other.authManagerError(), nullptr);
    EXPECT_EQ(AuthenticationError::unknown().authManagerError(), nullptr);
    EXPECT_EQ(AuthenticationError::unknown().localizedDescription(), "An unknown authentication error occurred.");

    // Cases in their documented order.
    EXPECT_EQ(foundation::Error(AuthenticationError::unknown()).code(), 0);
    EXPECT_EQ(foundation::Error(AuthenticationError::noAccessToken()).code(), 1);
    EXPECT_EQ(foundation::Error(AuthenticationError::noRefreshToken()).code(), 2);
    EXPECT_EQ(foundation::Error(AuthenticationError::inactiveAccount()).code(), 3);
    EXPECT_EQ(foundation::Error(AuthenticationError::incompleteAccount()).code(), 4);
    EXPECT_TRUE(AuthenticationError::incompleteAccount().isIncompleteAccount());
    EXPECT_EQ(AuthenticationError::inactiveAccount().localizedDescription(), "The account is inactive.");
}

TEST(OrvAccountMapping, ClaimsGiveIdAndStatus) {
    const lumora::EntitlementToken token{
        entitlementJWT(R"({"sub":"acc-7","account_status":"incomplete","exp":2000000000})"), 1767225700};
    auto account = lumora::OrvAccount::make(token, "Bearer", "playback", "rt_1");
    ASSERT_TRUE(account) << account.error().localizedDescription();
    EXPECT_EQ(account->id(), "acc-7");
    EXPECT_EQ(account->status(), AccountStatus::incomplete);
    EXPECT_FALSE(account->isActive());
    EXPECT_EQ(account->token(), token.token);
    EXPECT_EQ(account->tokenExpiresAt(), foundation::Date(1767225700));  // the answer's expiry, not the claim's
    EXPECT_EQ(account->refreshToken(), "rt_1");
    EXPECT_TRUE(account->tokenExpiresWithin(30, foundation::Date(1767225670)));
    EXPECT_FALSE(account->tokenExpiresWithin(30, foundation::Date(1767225669)));

    for (const char* status : {"active", "inactive"}) {
        auto other = lumora::OrvAccount::make(
            {entitlementJWT(std::string(R"({"sub":"a","account_status":")") + status + "\"}"), 0}, "Bearer",
            std::nullopt, std::nullopt);
        ASSERT_TRUE(other);
        EXPECT_EQ(other->status().rawValue(), status);
    }
}

TEST(OrvAccountMapping, BadTokensAreClearErrors) {
    struct Case {
        std::string token;
        AuthManagerError::Kind kind;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"not-a-jwt", AuthManagerError::Kind::invalidEntitlementToken, "Malformed JWT"},
        {entitlementJWT("[]"), AuthManagerError::Kind::invalidEntitlementToken, "payload is not a JSON object"},
        {entitlementJWT(R"({"account_status":"active"})"), AuthManagerError::Kind::invalidEntitlementToken,
         "\"sub\" is missing"},
        {entitlementJWT(R"({"sub":"a"})"), AuthManagerError::Kind::invalidEntitlementToken,
         "\"account_status\" is missing"},
        {entitlementJWT(R"({"sub":"a","account_status":"frozen"})"), AuthManagerError::Kind::unknownAccountStatus,
         "Unknown status \"frozen\""},
    };
    for (const auto& c : cases) {
        auto account = lumora::OrvAccount::make({c.token, 0}, "Bearer", std::nullopt, std::nullopt);
        ASSERT_FALSE(account) << c.token;
        ASSERT_NE(managerError(account.error()), nullptr);
        EXPECT_EQ(managerError(account.error())->kind(), c.kind);
        EXPECT_NE(account.error().localizedDescription().find(c.text), std::string::npos)
            << account.error().localizedDescription();
    }
}

TEST(AuthConfigurationTest, ResourceThenInfoPlistThenDefaults) {
    std::map<std::string, std::string, std::less<>> plist = {
        {"SDK_Auth0ClientId", "plist-client"}, {"SDK_Auth0Domain", "plist.example.com"}, {"SDK_EntitlementScope", ""}};
    auto source = [&plist](std::string_view key) -> std::optional<std::string> {
        auto it = plist.find(key);
        if (it == plist.end()) return std::nullopt;
        return it->second;
    };
    auto fromPlist = lumora::AuthConfiguration::resolve(source, std::nullopt, "com.example.host");
    EXPECT_EQ(fromPlist.clientId, "plist-client");
    EXPECT_EQ(fromPlist.domain, "plist.example.com");
    EXPECT_EQ(fromPlist.entitlementClientId, "plist-client");
    EXPECT_EQ(fromPlist.entitlementScope, "playback");  // empty text counts as missing
    EXPECT_EQ(fromPlist.entitlementServiceURL, "https://entitlement.lumora.example/");
    EXPECT_EQ(fromPlist.connection, "Username-Password-Authentication");
    EXPECT_EQ(fromPlist.keychainService, "com.example.host");
    EXPECT_EQ(fromPlist.queueLabelPrefix, "dev.lumora");

    auto fromResource = lumora::AuthConfiguration::resolve(
        source, auth0::ClientInfo{"resource-client", "tenant.example.com"}, std::nullopt);
    EXPECT_EQ(fromResource.clientId, "resource-client");
    EXPECT_EQ(fromResource.domain, "tenant.example.com");
    EXPECT_EQ(fromResource.keychainService, "dev.lumora");

    auto defaults = lumora::AuthConfiguration::resolve({}, std::nullopt, std::nullopt);
    EXPECT_EQ(defaults.clientId, "lumora-player-kit");
    EXPECT_EQ(defaults.identityProviderURL()->absoluteString(), "https://login.lumora.example");

    // A bundle on disk: Info.plist and the "Auth0" resource.
    namespace fs = std::filesystem;
    const dispatch::testing::TemporaryFolder scratch("auth-config");
    const fs::path& bundle = scratch.path();
    foundation::PropertyList::Dictionary info{{"CFBundleIdentifier", "com.example.bundle"},
                                              {"SDK_EntitlementScope", "live"}};
    ASSERT_TRUE(
        foundation::PropertyListSerialization::write(foundation::PropertyList(info), (bundle / "Info.plist").string()));
    foundation::PropertyList::Dictionary auth0{{"ClientId", "bundle-client"}, {"Domain", "http://127.0.0.1:9"}};
    ASSERT_TRUE(foundation::PropertyListSerialization::write(foundation::PropertyList(auth0),
                                                             (bundle / "Auth0.plist").string()));
    auto fromBundle = lumora::AuthConfiguration::fromBundle(foundation::Bundle(bundle.string()));
    EXPECT_EQ(fromBundle.clientId, "bundle-client");
    EXPECT_EQ(fromBundle.identityProviderURL()->absoluteString(), "http://127.0.0.1:9");
    EXPECT_EQ(fromBundle.entitlementScope, "live");
    EXPECT_EQ(fromBundle.keychainService, "com.example.bundle");
}

TEST(AuthConfigurationTest, AnUnreachableConfigurationFailsEveryOperationClearly) {
    auto configuration = lumora::AuthConfiguration::resolve({}, std::nullopt, std::nullopt);
    configuration.domain = "not a host";
    auto manager = lumora::LumoraAuthFactory::makeAuthManager(configuration);
    EXPECT_FALSE(manager->isAuthenticated());
    std::optional<lumora::AccountResult> result;
    manager->login("a@b.c", "x", [&](lumora::AccountResult r) { result = std::move(r); });
    ASSERT_TRUE(result && !*result);
    ASSERT_NE(managerError(result->error()), nullptr);
    EXPECT_EQ(managerError(result->error())->kind(), AuthManagerError::Kind::invalidConfiguration);
    EXPECT_NE(result->error().localizedDescription().find("not a host"), std::string::npos);

    configuration.domain = "login.example.com";
    configuration.entitlementServiceURL = "::";
    manager = lumora::LumoraAuthFactory::makeAuthManager(configuration);
    std::optional<lumora::AccountResult> token;
    manager->refreshIfNeeded([&](lumora::AccountResult r) { token = std::move(r); });
    ASSERT_TRUE(token && !*token);
    EXPECT_EQ(managerError(token->error())->kind(), AuthManagerError::Kind::invalidConfiguration);
}

TEST(Auth0URLProtocolTest, ClaimsOnlyTheIdentityProvidersHostAndPort) {
    EXPECT_EQ(lumora::Auth0URLProtocol::userAgent(), "5413df9d11cfacd1a5d4fc4e5c1aac53");
    lumora::Auth0URLProtocol protocol({*foundation::URL::fromString("https://Login.Example.com"),
                                       *foundation::URL::fromString("http://127.0.0.1:8080/idp")});
    auto request = [](const char* url) { return foundation::URLRequest(*foundation::URL::fromString(url)); };
    EXPECT_TRUE(protocol.canInit(request("https://login.example.com/oauth/token")));
    EXPECT_TRUE(protocol.canInit(request("https://LOGIN.example.com:443/dbconnections/change_password")));
    EXPECT_TRUE(protocol.canInit(request("http://127.0.0.1:8080/oauth/revoke")));
    EXPECT_FALSE(protocol.canInit(request("http://127.0.0.1:8081/oauth/token")));
    EXPECT_FALSE(protocol.canInit(request("https://entitlement.example.com/oauth/token")));
    EXPECT_FALSE(protocol.canInit(request("https://login.example.com.evil.test/")));
    EXPECT_FALSE(protocol.canInit(request("http://login.example.com/")));  // port 80, not 443

    auto prepared = protocol.canonicalRequest(request("https://login.example.com/oauth/token"));
    EXPECT_EQ(prepared.value("User-Agent"), "5413df9d11cfacd1a5d4fc4e5c1aac53");

    // Registering twice is harmless: one protocol, one header value.
    auto registry = foundation::URLProtocolRegistry::create();
    EXPECT_TRUE(registry->registerClass(std::make_shared<lumora::Auth0URLProtocol>(protocol)));
    EXPECT_FALSE(registry->registerClass(std::make_shared<lumora::Auth0URLProtocol>(protocol)));
    auto twice = registry->prepare(request("https://login.example.com/oauth/token"));
    EXPECT_EQ(twice.value("User-Agent"), "5413df9d11cfacd1a5d4fc4e5c1aac53");
    EXPECT_FALSE(registry->prepare(request("https://play.example.com/api/v3/play")).value("User-Agent"));
}

}  // namespace

namespace lumora {
namespace {

TEST(RefreshOnceTest, CallersShareOneRefreshAndAChangeOfSignInMakesItStale) {
    detail::RefreshOnce refresh;
    std::vector<std::string> answered;
    auto waiter = [&](std::string name) {
        return [&answered, name](AccountResult result) { answered.push_back(name + (result ? ":ok" : ":failed")); };
    };
    const auto first = refresh.join(waiter("a"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(refresh.join(waiter("b")), nullptr);  // joins the refresh under way
    auto ending = refresh.finish(first);
    EXPECT_TRUE(ending.current);
    detail::RefreshOnce::deliver(ending.waiters, AccountResult(nullptr));
    EXPECT_EQ(answered, (std::vector<std::string>{"a:ok", "b:ok"}));

    // A sign-out while the next refresh runs: its result no longer belongs to the state.
    const auto second = refresh.join(waiter("c"));
    ASSERT_NE(second, nullptr);
    refresh.invalidate();
    const auto third = refresh.join(waiter("d"));
    EXPECT_EQ(third, nullptr);  // still one refresh at a time until the running one ends
    ending = refresh.finish(second);
    EXPECT_FALSE(ending.current);
    EXPECT_EQ(ending.waiters.size(), 2u);
    EXPECT_NE(refresh.join(waiter("e")), nullptr);  // the next caller starts afresh
}

}  // namespace
}  // namespace lumora
