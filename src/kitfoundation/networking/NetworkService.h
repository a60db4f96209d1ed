#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/Error.h"
#include "foundation/JSON.h"
#include "kitfoundation/networking/NetworkError.h"
#include "kitfoundation/networking/NetworkRequestHandler.h"
#include "kitfoundation/networking/NetworkRequestInterceptor.h"

namespace lumora {

// Sends requests and decodes their answers into models.
class NetworkServiceType {
  public:
    virtual ~NetworkServiceType() = default;

    // The raw answer (see URLSessionNetworkRequestHandler for the outcomes).
    virtual std::shared_ptr<NetworkCancellable> requestData(std::shared_ptr<const NetworkRequestType> request,
                                                            NetworkCompletion completion) = 0;
    virtual const foundation::JSONDecoder& decoder() const = 0;

    // The answer's body decoded as T with `decoder()`; a body that does not decode fails with
    // NetworkError::parse naming the failing key. The completion runs where requestData's does.
    template <class T>
    std::shared_ptr<NetworkCancellable> request(std::shared_ptr<const NetworkRequestType> request,
                                                std::function<void(std::expected<T, foundation::Error>)> completion) {
        return requestData(std::move(request),
                           [decoder = decoder(), completion = std::move(completion)](NetworkResult result) {
                               if (!completion) return;
                               std::optional<foundation::Error> failure;
                               if (result) {
                                   auto decoded = decoder.template decode<T>(result->data);
                                   if (decoded) {
                                       completion(std::move(*decoded));
                                       return;
                                   }
                                   failure = NetworkError::parse(decoded.error().localizedDescription());
                               } else {
                                   failure = result.error();
                               }
                               completion(std::unexpected(std::move(*failure)));
                           });
    }
};

// The kit's network service: runs each request through the interceptors in order, then the handler.
class NetworkService final : public NetworkServiceType {
  public:
    static std::shared_ptr<NetworkService> create(
        std::shared_ptr<NetworkRequestHandlerType> handler,
        std::vector<std::shared_ptr<const NetworkRequestInterceptorType>> interceptors = {},
        foundation::JSONDecoder decoder = {});

    std::shared_ptr<NetworkCancellable> requestData(std::shared_ptr<const NetworkRequestType> request,
                                                    NetworkCompletion completion) override;
    const foundation::JSONDecoder& decoder() const override { return decoder_; }

  private:
    NetworkService(std::shared_ptr<NetworkRequestHandlerType> handler,
                   std::vector<std::shared_ptr<const NetworkRequestInterceptorType>> interceptors,
                   foundation::JSONDecoder decoder)
        : handler_(std::move(handler)), interceptors_(std::move(interceptors)), decoder_(decoder) {}

    std::shared_ptr<NetworkRequestHandlerType> handler_;
    std::vector<std::shared_ptr<const NetworkRequestInterceptorType>> interceptors_;
    foundation::JSONDecoder decoder_;
};

}  // namespace lumora
