#include "devserver/IdentityService.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

#include "devserver/Jwt.h"

namespace devserver {

namespace {

constexpr std::string_view kPasswordGrant = "password";
constexpr std::string_view kPasswordRealmGrant = "http://auth0.com/oauth/grant-type/password-realm";
constexpr std::string_view kRefreshGrant = "refresh_token";

std::string lowerCased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

Reply oauthError(int status, std::string_view error, std::string_view description) {
    return Reply::json(status, nlohmann::json{{"error", error}, {"error_description", description}}.dump());
}

// The text field of a JSON object; nothing when absent or not text.
std::optional<std::string> field(const nlohmann::json& body, const char* name) {
    auto it = body.find(name);
    if (it == body.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

bool hasScope(const std::string& scope, std::string_view wanted) {
    std::size_t start = 0;
    while (start <= scope.size()) {
        const auto end = std::min(scope.find(' ', start), scope.size());
        if (std::string_view(scope).substr(start, end - start) == wanted) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::string accountStateName(AccountState state) {
    switch (state) {
        case AccountState::active:
            return "active";
        case AccountState::inactive:
            return "inactive";
        case AccountState::incomplete:
            return "incomplete";
    }
    return "active";
}

std::shared_ptr<IdentityService> IdentityService::create(IdentityOptions options) {
    return std::shared_ptr<IdentityService>(new IdentityService(std::move(options)));
}

IdentityService::IdentityService(IdentityOptions options) : options_(std::move(options)) {
    if (options_.demoUsers) {
        addUser({"demo@lumora.dev", "lumora-demo", AccountState::active, "acc-demo-0001"});
        addUser({"inactive@lumora.dev", "lumora-demo", AccountState::inactive, "acc-demo-0002"});
        addUser({"incomplete@lumora.dev", "lumora-demo", AccountState::incomplete, "acc-demo-0003"});
    }
}

void IdentityService::registerRoutes(Router& router) {
    router.add("POST", "/oauth/token", [this](const RecordedRequest& r) { return token(r); });
    router.add("POST", "/oauth/revoke", [this](const RecordedRequest& r) { return revoke(r); });
    router.add("POST", "/dbconnections/change_password",
               [this](const RecordedRequest& r) { return changePassword(r); });
}

void IdentityService::addUser(IdentityUser user) {
    std::lock_guard lock(mutex_);
    if (user.accountId.empty()) user.accountId = "acc-" + jwt::randomHex(6);
    users_[lowerCased(user.email)] = std::move(user);
}

bool IdentityService::setAccountState(std::string_view email, AccountState state) {
    std::lock_guard lock(mutex_);
    auto it = users_.find(lowerCased(email));
    if (it == users_.end()) return false;
    it->second.state = state;
    return true;
}

void IdentityService::setAccessTokenLifetime(int seconds) {
    std::lock_guard lock(mutex_);
    options_.accessTokenLifetime = seconds;
}

std::optional<IdentityUser> IdentityService::userForAccessToken(std::string_view accessToken) const {
    std::lock_guard lock(mutex_);
    auto it = accessTokens_.find(accessToken);
    if (it == accessTokens_.end() || it->second.expiresAt <= std::chrono::system_clock::now()) return std::nullopt;
    if (!it->second.refreshToken.empty()) {
        auto grant = refreshTokens_.find(it->second.refreshToken);
        if (grant != refreshTokens_.end() && grant->second.revoked) return std::nullopt;
    }
    auto user = users_.find(lowerCased(it->second.email));
    if (user == users_.end()) return std::nullopt;
    return user->second;
}

std::vector<std::string> IdentityService::passwordResetRequests() const {
    std::lock_guard lock(mutex_);
    return resetRequests_;
}

std::size_t IdentityService::liveRefreshTokenCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(refreshTokens_.begin(), refreshTokens_.end(),
                                                  [](const auto& entry) { return !entry.second.revoked; }));
}

std::string IdentityService::issue(const IdentityUser& user, const std::string& scope, const std::string& refreshToken,
                                   bool withRefreshToken) {
    const auto now = std::chrono::system_clock::now();
    const int lifetime = options_.accessTokenLifetime;
    const std::string accessToken = "at_" + jwt::randomHex(16);
    accessTokens_[accessToken] = AccessToken{user.email, refreshToken, now + std::chrono::seconds(lifetime)};
    const auto issuedAt = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    const nlohmann::json idClaims = {{"iss", "lumora-devserver-identity"},
                                     {"sub", "auth0|" + user.accountId},
                                     {"aud", options_.clientId},
                                     {"email", user.email},
                                     {"iat", issuedAt},
                                     {"exp", issuedAt + lifetime}};
    nlohmann::json answer = {{"access_token", accessToken},
                             {"id_token", jwt::signHS256(idClaims, options_.idTokenSecret)},
                             {"token_type", "Bearer"},
                             {"expires_in", lifetime},
                             {"scope", scope}};
    if (withRefreshToken) answer["refresh_token"] = refreshToken;
    return answer.dump();
}

Reply IdentityService::token(const RecordedRequest& request) {
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object()) return oauthError(400, "invalid_request", "The body must be a JSON object.");
    if (field(body, "client_id") != options_.clientId) return oauthError(401, "unauthorized_client", "Unknown client.");
    const std::string grant = field(body, "grant_type").value_or("");

    if (grant == kPasswordGrant || grant == kPasswordRealmGrant) {
        const auto username = field(body, "username");
        const auto password = field(body, "password");
        if (!username || !password || username->empty() || password->empty()) {
            return oauthError(400, "invalid_request", "Missing username or password.");
        }
        if (grant == kPasswordRealmGrant && field(body, "realm") != options_.connection) {
            return oauthError(400, "invalid_request", "Unknown realm.");
        }
        const std::string scope = field(body, "scope").value_or("openid");
        std::lock_guard lock(mutex_);
        auto user = users_.find(lowerCased(*username));
        if (user == users_.end() || user->second.password != *password) {
            return oauthError(403, "invalid_grant", "Wrong email or password.");
        }
        std::string refreshToken;
        const bool offline = hasScope(scope, "offline_access");
        if (offline) {
            refreshToken = "rt_" + jwt::randomHex(16);
            refreshTokens_[refreshToken] = RefreshToken{user->second.email, scope, false};
        }
        return Reply::json(200, issue(user->second, scope, refreshToken, offline));
    }

    if (grant == kRefreshGrant) {
        const auto refreshToken = field(body, "refresh_token");
        if (!refreshToken || refreshToken->empty()) return oauthError(400, "invalid_request", "Missing refresh_token.");
        std::lock_guard lock(mutex_);
        auto grantIt = refreshTokens_.find(*refreshToken);
        if (grantIt == refreshTokens_.end() || grantIt->second.revoked) {
            return oauthError(403, "invalid_grant", "Unknown or invalid refresh token.");
        }
        auto user = users_.find(lowerCased(grantIt->second.email));
        if (user == users_.end()) return oauthError(403, "invalid_grant", "Unknown or invalid refresh token.");
        return Reply::json(
            200, issue(user->second, field(body, "scope").value_or(grantIt->second.scope), *refreshToken, false));
    }

    return oauthError(400, "unsupported_grant_type", "Unsupported grant type.");
}

Reply IdentityService::revoke(const RecordedRequest& request) {
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object()) return oauthError(400, "invalid_request", "The body must be a JSON object.");
    if (field(body, "client_id") != options_.clientId) return oauthError(401, "unauthorized_client", "Unknown client.");
    const auto token = field(body, "token");
    if (!token || token->empty()) return oauthError(400, "invalid_request", "Missing token.");
    std::lock_guard lock(mutex_);
    // An unknown token is not an error (nothing to revoke), as for any OAuth revocation endpoint.
    if (auto it = refreshTokens_.find(*token); it != refreshTokens_.end()) it->second.revoked = true;
    return Reply::json(200, "{}");
}

Reply IdentityService::changePassword(const RecordedRequest& request) {
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object()) return oauthError(400, "invalid_request", "The body must be a JSON object.");
    if (field(body, "client_id") != options_.clientId) return oauthError(401, "unauthorized_client", "Unknown client.");
    const auto email = field(body, "email");
    if (!email || email->empty()) return oauthError(400, "invalid_request", "Missing email.");
    if (field(body, "connection") != options_.connection)
        return oauthError(400, "invalid_request", "Unknown connection.");
    std::lock_guard lock(mutex_);
    // The same answer whether or not the address belongs to a user, so the endpoint reveals no accounts.
    resetRequests_.push_back(*email);
    return Reply::text(200, "A password-reset e-mail is on its way.");
}

}  // namespace devserver
