#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "alamofire/Session.h"
#include "kitfoundation/networking/NetworkRequest.h"

namespace lumora {

// Changes requests before they are sent: adds header fields or parameters by wrapping the request.
class NetworkRequestInterceptorType {
  public:
    virtual ~NetworkRequestInterceptorType() = default;
    virtual AnyNetworkRequestCoordinator intercept(std::shared_ptr<const NetworkRequestType> request) const = 0;
};

// Adds the viewer's token: "Authorization: Bearer " + the token, asked of `tokenProvider` for each
// request. Without a token (nothing, or an empty text) the request passes unchanged, so the back end
// answers it as an unauthorised request. It serves both the kit's own stack (`intercept`) and requests
// made through the HTTP session layer (`adapt`).
class AuthorizationRequestInterceptor : public NetworkRequestInterceptorType, public alamofire::RequestInterceptor {
  public:
    using TokenProvider = std::function<std::optional<std::string>()>;

    explicit AuthorizationRequestInterceptor(TokenProvider tokenProvider) : tokenProvider_(std::move(tokenProvider)) {}

    AnyNetworkRequestCoordinator intercept(std::shared_ptr<const NetworkRequestType> request) const override;
    void adapt(foundation::URLRequest request, alamofire::Session& session,
               std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) override;

    // The header field for a token: {"Authorization": "Bearer " + token}; nothing without a token.
    std::optional<std::pair<std::string, std::string>> authorizationField() const;

  private:
    TokenProvider tokenProvider_;
};

}  // namespace lumora
