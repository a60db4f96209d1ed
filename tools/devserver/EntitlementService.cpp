#include "devserver/EntitlementService.h"

#include <chrono>

#include "devserver/Jwt.h"

namespace devserver {

namespace {

// The maker's back ends answer errors as {"code": "...", "message": "..."}.
Reply backEndError(int status, std::string_view message) {
    return Reply::json(status, nlohmann::json{{"code", std::to_string(status)}, {"message", message}}.dump());
}

std::optional<std::string> field(const nlohmann::json& body, const char* name) {
    auto it = body.find(name);
    if (it == body.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

}  // namespace

std::shared_ptr<EntitlementService> EntitlementService::create(std::shared_ptr<IdentityService> identity,
                                                               EntitlementOptions options) {
    return std::shared_ptr<EntitlementService>(new EntitlementService(std::move(identity), std::move(options)));
}

void EntitlementService::registerRoutes(Router& router) {
    router.add("POST", options_.pathPrefix + "/oauth/token", [this](const RecordedRequest& r) { return token(r); });
}

void EntitlementService::setTokenLifetime(int seconds) {
    std::lock_guard lock(mutex_);
    options_.tokenLifetime = seconds;
}

std::optional<nlohmann::json> EntitlementService::verify(std::string_view token) const {
    std::string secret;
    {
        std::lock_guard lock(mutex_);
        secret = options_.secret;
    }
    auto claims = jwt::verifyHS256(token, secret);
    if (!claims) return std::nullopt;
    auto exp = claims->find("exp");
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    if (exp == claims->end() || !exp->is_number() || exp->get<double>() <= static_cast<double>(now))
        return std::nullopt;
    return claims;
}

Reply EntitlementService::token(const RecordedRequest& request) {
    const std::string authorization = request.header("Authorization").value_or("");
    constexpr std::string_view kBearer = "Bearer ";
    if (authorization.rfind(kBearer, 0) != 0) return backEndError(401, "Missing bearer token.");
    const auto user = identity_->userForAccessToken(std::string_view(authorization).substr(kBearer.size()));
    if (!user) return backEndError(401, "Invalid or expired access token.");

    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object()) return backEndError(400, "The body must be a JSON object.");
    const auto clientId = field(body, "client_id");
    const auto scope = field(body, "scope");
    if (!clientId || clientId->empty() || !scope) return backEndError(400, "client_id and scope are required.");

    std::lock_guard lock(mutex_);
    if (!options_.clientId.empty() && *clientId != options_.clientId) return backEndError(403, "Unknown client.");
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    const nlohmann::json claims = {{"iss", "lumora-devserver-entitlement"},
                                   {"sub", user->accountId},
                                   {"email", user->email},
                                   {"account_status", accountStateName(user->state)},
                                   {"aud", *clientId},
                                   {"scope", *scope},
                                   {"iat", now},
                                   {"exp", now + options_.tokenLifetime},
                                   {"jti", jwt::randomHex(8)}};
    const nlohmann::json answer = {{"access_token", jwt::signHS256(claims, options_.secret)},
                                   {"scope", *scope},
                                   {"token_type", "Bearer"},
                                   {"expires_in", options_.tokenLifetime}};
    return Reply::json(200, answer.dump());
}

}  // namespace devserver
