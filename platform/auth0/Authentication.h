#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "auth0/Credentials.h"
#include "foundation/Bundle.h"
#include "foundation/Error.h"
#include "foundation/URL.h"
#include "foundation/URLSession.h"

// The identity provider's authentication client, over the platform's URL session:
//
//   auto auth = auth0::Authentication::create("client-id", *auth0::Authentication::domainURL("login.example.com"));
//   auth->login("viewer@example.com", "secret", "Username-Password-Authentication", std::nullopt,
//               "openid profile email offline_access", [](auto result) { ... });
//
// Every request is a JSON POST ("Content-Type: application/json"):
//   login          POST /oauth/token  {"grant_type":"http://auth0.com/oauth/grant-type/password-realm",
//                                      "client_id","username","password","realm","scope"[,"audience"]}
//   renew          POST /oauth/token  {"grant_type":"refresh_token","client_id","refresh_token"[,"scope"]}
//   revoke         POST /oauth/revoke {"client_id","token"}
//   resetPassword  POST /dbconnections/change_password {"client_id","email","connection"}
// Callbacks run once, on the session's delegate queue.
namespace auth0 {

// A failed request of the identity provider.
class AuthenticationError {
  public:
    // An answer outside 200...299, with the provider's "error" and "error_description" (or "code" and
    // "description") when its body carried them.
    static AuthenticationError response(int statusCode, std::string code, std::string description);
    // The error of an answer outside 200...299 from its body: {"error", "error_description"} or {"code",
    // "description"}; "unknown_error" and no description for a body that carries neither.
    static AuthenticationError fromAnswer(int statusCode, const foundation::Data& body);
    // No answer: the transfer failed (connection refused, time-out...); `cause` is the platform error.
    static AuthenticationError network(foundation::Error cause);
    // A successful status whose body is not the expected answer.
    static AuthenticationError invalidResponse(int statusCode, std::string reason);
    // The request could not be made (an address that is not a URL).
    static AuthenticationError invalidRequest(std::string reason);

    // 0 when there was no answer.
    int statusCode() const { return statusCode_; }
    // The provider's error code ("invalid_grant"...); "network_error", "invalid_response" or
    // "invalid_request" for the failures made here.
    const std::string& code() const { return code_; }
    const std::string& description() const { return description_; }
    const std::optional<foundation::Error>& cause() const { return cause_; }

    // A password grant refused for the e-mail address and password.
    bool isInvalidCredentials() const;
    // A refresh token the provider no longer knows (revoked, expired).
    bool isRefreshTokenDeleted() const;
    bool isNetworkError() const { return code_ == "network_error"; }

    // The description, or "The identity provider answered with HTTP status N." when it gave none.
    std::string localizedDescription() const;
    std::string domain() const { return "auth0.AuthenticationError"; }

  private:
    AuthenticationError(int status, std::string code, std::string description, std::optional<foundation::Error> cause)
        : statusCode_(status), code_(std::move(code)), description_(std::move(description)), cause_(std::move(cause)) {}
    int statusCode_;
    std::string code_;
    std::string description_;
    std::optional<foundation::Error> cause_;
};

// The operations the kit uses; the client below implements them, tests may fake them.
class AuthenticationType {
  public:
    using CredentialsCallback = std::function<void(std::expected<Credentials, foundation::Error>)>;
    using VoidCallback = std::function<void(std::expected<void, foundation::Error>)>;

    virtual ~AuthenticationType() = default;
    virtual const std::string& clientId() const = 0;
    virtual const foundation::URL& url() const = 0;

    // The resource-owner password grant against a database connection (the "realm").
    virtual void login(std::string usernameOrEmail, std::string password, std::string realmOrConnection,
                       std::optional<std::string> audience, std::string scope, CredentialsCallback callback) = 0;
    // New credentials for a refresh token; the answer usually carries no new refresh token.
    virtual void renew(std::string refreshToken, std::optional<std::string> scope, CredentialsCallback callback) = 0;
    // Revokes a refresh token (and the access tokens issued with it).
    virtual void revoke(std::string refreshToken, VoidCallback callback) = 0;
    // Asks the provider to e-mail a password-change link.
    virtual void resetPassword(std::string email, std::string connection, VoidCallback callback) = 0;
};

class Authentication final : public AuthenticationType, public std::enable_shared_from_this<Authentication> {
  public:
    // The largest answer taken, in bytes: the provider's answers are a few kilobytes, and a larger one is
    // cut off as it arrives (a network error naming the limit).
    static constexpr std::size_t maximumResponseSize = 1024 * 1024;

    // `url` is the provider's address; `session` nothing means the shared session. `now` reads the clock
    // that turns "expires_in" into an expiry (the one clock's wall time by default).
    static std::shared_ptr<Authentication> create(std::string clientId, foundation::URL url,
                                                  std::shared_ptr<foundation::URLSession> session = nullptr,
                                                  std::function<foundation::Date()> now = {},
                                                  double timeoutInterval = 60.0);

    // The address of a domain: "login.example.com" becomes "https://login.example.com"; a text with a
    // scheme ("http://127.0.0.1:8080") is used as it is. Nothing for an empty or invalid text.
    static std::optional<foundation::URL> domainURL(std::string_view domain);

    const std::string& clientId() const override { return clientId_; }
    const foundation::URL& url() const override { return url_; }

    void login(std::string usernameOrEmail, std::string password, std::string realmOrConnection,
               std::optional<std::string> audience, std::string scope, CredentialsCallback callback) override;
    void renew(std::string refreshToken, std::optional<std::string> scope, CredentialsCallback callback) override;
    void revoke(std::string refreshToken, VoidCallback callback) override;
    void resetPassword(std::string email, std::string connection, VoidCallback callback) override;

  private:
    Authentication(std::string clientId, foundation::URL url, std::shared_ptr<foundation::URLSession> session,
                   std::function<foundation::Date()> now, double timeoutInterval);

    struct Answer {
        int statusCode = 0;
        foundation::Data body;
    };
    // Posts `body` to `path`; the callback gets a 2xx answer or an AuthenticationError.
    void post(std::string_view path, const foundation::JSONValue& body,
              std::function<void(std::expected<Answer, foundation::Error>)> callback);
    void requestCredentials(const foundation::JSONValue& body, CredentialsCallback callback);

    std::string clientId_;
    foundation::URL url_;
    std::shared_ptr<foundation::URLSession> session_;
    std::function<foundation::Date()> now_;
    double timeoutInterval_;
};

// The "ClientId" and "Domain" texts of a bundle's "Auth0" property-list resource ("Auth0.plist").
struct ClientInfo {
    std::string clientId;
    std::string domain;
};
// Nothing when the resource is missing, unreadable, or lacks either text.
std::optional<ClientInfo> plistValues(const foundation::Bundle& bundle);

}  // namespace auth0
