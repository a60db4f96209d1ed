#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "foundation/JSON.h"
#include "foundation/URLRequest.h"
#include "kitfoundation/networking/HTTPMethod.h"

namespace lumora {

// Request parameters: a JSON object of any values.
using NetworkParameters = foundation::JSONValue;
// Request header fields (names compared without regard to case).
using NetworkHeaders = foundation::HTTPHeaderFields;

// Where the parameters of a request go.
enum class NetworkParameterEncoding {
    // The parameters as a JSON object in the body; "Content-Type: application/json" unless set.
    json,
    // The parameters as query items appended to the URL; no body.
    urlQuery,
};

// The largest answer the kit takes from a JSON endpoint: its answers are a few kilobytes, and a larger one
// is refused while it arrives rather than held and parsed (a parsed document takes many times its text).
inline constexpr std::size_t kMaximumJSONResponseSize = 1024 * 1024;

// The description of one request of the kit's own stack: the mapper turns it into a platform request.
// `domain` is the service's address (scheme, host, optional base path); `path` is joined to it with one "/".
class NetworkRequestType {
  public:
    virtual ~NetworkRequestType() = default;
    virtual HTTPMethod method() const = 0;
    virtual std::string domain() const = 0;
    virtual std::string path() const = 0;
    virtual NetworkHeaders headers() const { return {}; }
    // Nothing: no parameters (no body, no query).
    virtual std::optional<NetworkParameters> parameters() const { return std::nullopt; }
    virtual NetworkParameterEncoding encoding() const { return NetworkParameterEncoding::json; }
    // The largest answer body accepted, in bytes; a larger one fails with NetworkError::invalidResponse
    // naming the limit, found while it arrives.
    virtual std::size_t maximumResponseSize() const { return kMaximumJSONResponseSize; }
};

// A request described by plain fields.
struct NetworkRequest final : NetworkRequestType {
    HTTPMethod methodValue = HTTPMethod::get;
    std::string domainValue;
    std::string pathValue;
    NetworkHeaders headerValues;
    std::optional<NetworkParameters> parameterValues;
    NetworkParameterEncoding encodingValue = NetworkParameterEncoding::json;
    std::size_t maximumResponseSizeValue = kMaximumJSONResponseSize;

    NetworkRequest() = default;
    // Without parameters.
    NetworkRequest(HTTPMethod method, std::string domain, std::string path, NetworkHeaders headers = {})
        : methodValue(method),
          domainValue(std::move(domain)),
          pathValue(std::move(path)),
          headerValues(std::move(headers)) {}
    NetworkRequest(HTTPMethod method, std::string domain, std::string path, NetworkHeaders headers,
                   NetworkParameters parameters, NetworkParameterEncoding encoding = NetworkParameterEncoding::json)
        : methodValue(method),
          domainValue(std::move(domain)),
          pathValue(std::move(path)),
          headerValues(std::move(headers)),
          parameterValues(std::move(parameters)),
          encodingValue(encoding) {}

    HTTPMethod method() const override { return methodValue; }
    std::string domain() const override { return domainValue; }
    std::string path() const override { return pathValue; }
    NetworkHeaders headers() const override { return headerValues; }
    std::optional<NetworkParameters> parameters() const override { return parameterValues; }
    NetworkParameterEncoding encoding() const override { return encodingValue; }
    std::size_t maximumResponseSize() const override { return maximumResponseSizeValue; }
};

// Any request with extra header fields and parameters: its own headers and parameters, then the extra
// ones, which replace those of the same name. What the request interceptors return.
class AnyNetworkRequestCoordinator final : public NetworkRequestType {
  public:
    explicit AnyNetworkRequestCoordinator(std::shared_ptr<const NetworkRequestType> request,
                                          NetworkHeaders additionalHeaders = {},
                                          std::optional<NetworkParameters> additionalParameters = std::nullopt);

    HTTPMethod method() const override { return request_->method(); }
    std::string domain() const override { return request_->domain(); }
    std::string path() const override { return request_->path(); }
    NetworkHeaders headers() const override;
    std::optional<NetworkParameters> parameters() const override;
    NetworkParameterEncoding encoding() const override { return request_->encoding(); }
    std::size_t maximumResponseSize() const override { return request_->maximumResponseSize(); }

    const std::shared_ptr<const NetworkRequestType>& base() const { return request_; }
    // A coordinator over the same request with more headers (replacing those of the same name).
    AnyNetworkRequestCoordinator addingHeaders(const NetworkHeaders& headers) const;
    AnyNetworkRequestCoordinator addingParameters(const NetworkParameters& parameters) const;

  private:
    std::shared_ptr<const NetworkRequestType> request_;
    NetworkHeaders headers_;
    std::optional<NetworkParameters> parameters_;
};

}  // namespace lumora
