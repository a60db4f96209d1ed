#include "kitfoundation/networking/NetworkRequestInterceptor.h"

namespace lumora {

std::optional<std::pair<std::string, std::string>> AuthorizationRequestInterceptor::authorizationField() const {
    if (!tokenProvider_) return std::nullopt;
    auto token = tokenProvider_();
    if (!token || token->empty()) return std::nullopt;
    return std::make_pair(std::string("Authorization"), "Bearer " + *token);
}

AnyNetworkRequestCoordinator AuthorizationRequestInterceptor::intercept(
    std::shared_ptr<const NetworkRequestType> request) const {
    NetworkHeaders headers;
    if (auto field = authorizationField()) headers.emplace(field->first, field->second);
    return AnyNetworkRequestCoordinator(std::move(request), std::move(headers));
}

void AuthorizationRequestInterceptor::adapt(
    foundation::URLRequest request, alamofire::Session&,
    std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) {
    if (auto field = authorizationField()) request.setValue(field->second, field->first);
    completion(std::move(request));
}

}  // namespace lumora
