#include "kitfoundation/networking/NetworkRequest.h"

namespace lumora {

AnyNetworkRequestCoordinator::AnyNetworkRequestCoordinator(std::shared_ptr<const NetworkRequestType> request,
                                                           NetworkHeaders additionalHeaders,
                                                           std::optional<NetworkParameters> additionalParameters)
    : request_(std::move(request)),
      headers_(std::move(additionalHeaders)),
      parameters_(std::move(additionalParameters)) {
    // Wrapping a coordinator flattens it, so chains of interceptors do not nest wrappers.
    if (auto inner = std::dynamic_pointer_cast<const AnyNetworkRequestCoordinator>(request_)) {
        NetworkHeaders mergedHeaders = inner->headers_;
        for (const auto& [name, value] : headers_) mergedHeaders.insert_or_assign(name, value);
        std::optional<NetworkParameters> mergedParameters = inner->parameters_;
        if (parameters_) {
            if (!mergedParameters) mergedParameters = NetworkParameters::object();
            for (auto it = parameters_->begin(); it != parameters_->end(); ++it)
                (*mergedParameters)[it.key()] = it.value();
        }
        request_ = inner->request_;
        headers_ = std::move(mergedHeaders);
        parameters_ = std::move(mergedParameters);
    }
}

NetworkHeaders AnyNetworkRequestCoordinator::headers() const {
    NetworkHeaders merged = request_->headers();
    for (const auto& [name, value] : headers_) {
        // Keep one entry per name (compared without case), with the added value.
        merged.erase(name);
        merged.emplace(name, value);
    }
    return merged;
}

std::optional<NetworkParameters> AnyNetworkRequestCoordinator::parameters() const {
    auto own = request_->parameters();
    if (!parameters_ || parameters_->empty()) return own;
    NetworkParameters merged = (own && own->is_object()) ? *own : NetworkParameters::object();
    for (auto it = parameters_->begin(); it != parameters_->end(); ++it) merged[it.key()] = it.value();
    return merged;
}

AnyNetworkRequestCoordinator AnyNetworkRequestCoordinator::addingHeaders(const NetworkHeaders& headers) const {
    return AnyNetworkRequestCoordinator(std::make_shared<AnyNetworkRequestCoordinator>(*this), headers);
}

AnyNetworkRequestCoordinator AnyNetworkRequestCoordinator::addingParameters(const NetworkParameters& parameters) const {
    return AnyNetworkRequestCoordinator(std::make_shared<AnyNetworkRequestCoordinator>(*this), {}, parameters);
}

}  // namespace lumora
