#include "auth0/Authentication.h"

#include "foundation/PropertyList.h"
#include "foundation/URLRequest.h"

namespace auth0 {

namespace {

constexpr std::string_view kPasswordRealmGrant = "http://auth0.com/oauth/grant-type/password-realm";

std::unexpected<foundation::Error> failure(AuthenticationError error) {
    return std::unexpected(foundation::Error(std::move(error)));
}

}  // namespace

AuthenticationError AuthenticationError::response(int statusCode, std::string code, std::string description) {
    return AuthenticationError(statusCode, std::move(code), std::move(description), std::nullopt);
}
AuthenticationError AuthenticationError::fromAnswer(int status, const foundation::Data& body) {
    const auto json = foundation::JSONValue::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    auto text = [&](const char* name) -> std::string {
        if (!json.is_object()) return {};
        auto it = json.find(name);
        return it != json.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    std::string code = text("error");
    std::string description = text("error_description");
    if (code.empty()) code = text("code");
    if (description.empty()) description = text("description");
    if (code.empty()) code = "unknown_error";
    return response(status, std::move(code), std::move(description));
}

AuthenticationError AuthenticationError::network(foundation::Error cause) {
    std::string description = cause.localizedDescription();
    return AuthenticationError(0, "network_error", std::move(description), std::move(cause));
}
AuthenticationError AuthenticationError::invalidResponse(int statusCode, std::string reason) {
    return AuthenticationError(statusCode, "invalid_response",
                               "The identity provider's answer could not be read: " + reason, std::nullopt);
}
AuthenticationError AuthenticationError::invalidRequest(std::string reason) {
    return AuthenticationError(0, "invalid_request", std::move(reason), std::nullopt);
}

bool AuthenticationError::isInvalidCredentials() const {
    return code_ == "invalid_user_password" || (code_ == "invalid_grant" && description_ == "Wrong email or password.");
}

bool AuthenticationError::isRefreshTokenDeleted() const {
    return code_ == "invalid_grant" && description_ != "Wrong email or password.";
}

std::string AuthenticationError::localizedDescription() const {
    if (!description_.empty()) return description_;
    return "The identity provider answered with HTTP status " + std::to_string(statusCode_) + ".";
}

std::shared_ptr<Authentication> Authentication::create(std::string clientId, foundation::URL url,
                                                       std::shared_ptr<foundation::URLSession> session,
                                                       std::function<foundation::Date()> now, double timeoutInterval) {
    if (!session) session = foundation::URLSession::shared();
    if (!now) now = [] { return foundation::Date::now(); };
    return std::shared_ptr<Authentication>(
        new Authentication(std::move(clientId), std::move(url), std::move(session), std::move(now), timeoutInterval));
}

Authentication::Authentication(std::string clientId, foundation::URL url,
                               std::shared_ptr<foundation::URLSession> session, std::function<foundation::Date()> now,
                               double timeoutInterval)
    : clientId_(std::move(clientId)),
      url_(std::move(url)),
      session_(std::move(session)),
      now_(std::move(now)),
      timeoutInterval_(timeoutInterval) {}

std::optional<foundation::URL> Authentication::domainURL(std::string_view domain) {
    if (domain.empty()) return std::nullopt;
    if (domain.find("://") != std::string_view::npos) return foundation::URL::fromString(domain);
    auto url = foundation::URL::fromString("https://" + std::string(domain));
    if (!url || !url->host()) return std::nullopt;
    return url;
}

void Authentication::post(std::string_view path, const foundation::JSONValue& body,
                          std::function<void(std::expected<Answer, foundation::Error>)> callback) {
    std::string address = url_.absoluteString();
    while (!address.empty() && address.back() == '/') address.pop_back();
    auto url = foundation::URL::fromString(address + "/" + std::string(path));
    auto bytes = foundation::JSONEncoder::serialize(body);
    if (!url || !bytes) {
        const std::string reason =
            !url ? "The identity provider's address is not a URL." : bytes.error().localizedDescription();
        session_->delegateQueue().async([callback = std::move(callback), reason] {
            callback(failure(AuthenticationError::invalidRequest(reason)));
        });
        return;
    }
    foundation::URLRequest request(*url, timeoutInterval_);
    request.httpMethod = "POST";
    request.setValue("application/json", "Content-Type");
    request.setValue("application/json", "Accept");
    request.httpBody = std::move(*bytes);
    request.maximumResponseSize = maximumResponseSize;
    session_
        ->dataTask(std::move(request),
                   [callback = std::move(callback)](std::optional<foundation::Data> data,
                                                    std::optional<foundation::HTTPURLResponse> response,
                                                    std::optional<foundation::Error> error) {
                       // A refusal keeps its status even when its page was too large to read (the page is
                       // what was refused): a 401 or 403 is the provider's refusal, not a network failure.
                       if (error && response && (response->statusCode < 200 || response->statusCode > 299)) {
                           callback(failure(AuthenticationError::fromAnswer(response->statusCode, {})));
                           return;
                       }
                       if (error || !response) {
                           callback(failure(AuthenticationError::network(
                               error ? *error
                                     : foundation::Error(
                                           foundation::NSError{"NSURLErrorDomain", -1, "No answer.", nullptr}))));
                           return;
                       }
                       foundation::Data body = data ? std::move(*data) : foundation::Data();
                       if (response->statusCode < 200 || response->statusCode > 299) {
                           callback(failure(AuthenticationError::fromAnswer(response->statusCode, body)));
                           return;
                       }
                       callback(Answer{response->statusCode, std::move(body)});
                   })
        ->resume();
}

void Authentication::requestCredentials(const foundation::JSONValue& body, CredentialsCallback callback) {
    post("oauth/token", body,
         [now = now_, callback = std::move(callback)](std::expected<Answer, foundation::Error> answer) {
             if (!answer) {
                 callback(std::unexpected(answer.error()));
                 return;
             }
             auto credentials = credentialsFromTokenAnswer(answer->body, now());
             if (!credentials) {
                 callback(failure(AuthenticationError::invalidResponse(answer->statusCode,
                                                                       describeDecodingFailure(credentials.error()))));
                 return;
             }
             callback(std::move(*credentials));
         });
}

void Authentication::login(std::string usernameOrEmail, std::string password, std::string realmOrConnection,
                           std::optional<std::string> audience, std::string scope, CredentialsCallback callback) {
    foundation::JSONValue body = {{"grant_type", std::string(kPasswordRealmGrant)}, {"client_id", clientId_},
                                  {"username", std::move(usernameOrEmail)},         {"password", std::move(password)},
                                  {"realm", std::move(realmOrConnection)},          {"scope", std::move(scope)}};
    if (audience) body["audience"] = *audience;
    requestCredentials(body, std::move(callback));
}

void Authentication::renew(std::string refreshToken, std::optional<std::string> scope, CredentialsCallback callback) {
    foundation::JSONValue body = {
        {"grant_type", "refresh_token"}, {"client_id", clientId_}, {"refresh_token", std::move(refreshToken)}};
    if (scope) body["scope"] = *scope;
    requestCredentials(body, std::move(callback));
}

void Authentication::revoke(std::string refreshToken, VoidCallback callback) {
    const foundation::JSONValue body = {{"client_id", clientId_}, {"token", std::move(refreshToken)}};
    post("oauth/revoke", body, [callback = std::move(callback)](std::expected<Answer, foundation::Error> answer) {
        if (!answer) {
            callback(std::unexpected(answer.error()));
            return;
        }
        callback({});
    });
}

void Authentication::resetPassword(std::string email, std::string connection, VoidCallback callback) {
    const foundation::JSONValue body = {
        {"client_id", clientId_}, {"email", std::move(email)}, {"connection", std::move(connection)}};
    post("dbconnections/change_password", body,
         [callback = std::move(callback)](std::expected<Answer, foundation::Error> answer) {
             if (!answer) {
                 callback(std::unexpected(answer.error()));
                 return;
             }
             callback({});
         });
}

std::optional<ClientInfo> plistValues(const foundation::Bundle& bundle) {
    auto path = bundle.path("Auth0", "plist");
    if (!path) return std::nullopt;
    auto plist = foundation::PropertyListSerialization::propertyList(*path);
    if (!plist) return std::nullopt;
    const auto* clientId = plist->find("ClientId");
    const auto* domain = plist->find("Domain");
    if (!clientId || !domain || !clientId->asString() || !domain->asString()) return std::nullopt;
    if (clientId->asString()->empty() || domain->asString()->empty()) return std::nullopt;
    return ClientInfo{*clientId->asString(), *domain->asString()};
}

}  // namespace auth0
