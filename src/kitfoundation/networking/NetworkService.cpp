#include "kitfoundation/networking/NetworkService.h"

namespace lumora {

std::shared_ptr<NetworkService> NetworkService::create(
    std::shared_ptr<NetworkRequestHandlerType> handler,
    std::vector<std::shared_ptr<const NetworkRequestInterceptorType>> interceptors, foundation::JSONDecoder decoder) {
    return std::shared_ptr<NetworkService>(new NetworkService(std::move(handler), std::move(interceptors), decoder));
}

std::shared_ptr<NetworkCancellable> NetworkService::requestData(std::shared_ptr<const NetworkRequestType> request,
                                                                NetworkCompletion completion) {
    for (const auto& interceptor : interceptors_) {
        if (interceptor)
            request = std::make_shared<AnyNetworkRequestCoordinator>(interceptor->intercept(std::move(request)));
    }
    return handler_->execute(*request, std::move(completion));
}

}  // namespace lumora
