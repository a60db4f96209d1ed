#pragma once

#include <expected>
#include <functional>
#include <memory>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URLRequest.h"
#include "foundation/URLSession.h"
#include "kitfoundation/networking/NetworkRequest.h"

namespace lumora {

// A good answer: status 200...299 with its body.
struct NetworkResponse {
    foundation::HTTPURLResponse response;
    foundation::Data data;
};

// The outcome of one request: the answer, or a NetworkError (held in a foundation::Error).
using NetworkResult = std::expected<NetworkResponse, foundation::Error>;
using NetworkCompletion = std::function<void(NetworkResult)>;

// A request under way that can be called off; its completion then receives NetworkError::cancelled
// (unless it has already run).
class NetworkCancellable {
  public:
    virtual ~NetworkCancellable() = default;
    virtual void cancel() = 0;
};

// Runs requests of the kit's own stack.
class NetworkRequestHandlerType {
  public:
    virtual ~NetworkRequestHandlerType() = default;
    // Sends the request and calls `completion` exactly once. Never null.
    virtual std::shared_ptr<NetworkCancellable> execute(const NetworkRequestType& request,
                                                        NetworkCompletion completion) = 0;
};

// The session-based handler: maps the request, logs it, sends it through a platform URL session and
// logs the answer. The completion runs on the session's delegate queue, also for a request that could
// not be made. Outcomes:
// - status 200...299: the response and its body;
// - 409: NetworkError::conflict; other 4xx: client; 5xx: server (each with the back end's error body
//   when it sent one); any other status: invalidResponse;
// - transport failures: timeout, cancelled, noConnection (refused, host not found, connection lost),
//   invalidResponse (garbled or oversized answer), or unknown carrying the platform error;
// - a request the mapper rejects: invalidRequest, without touching the network.
class URLSessionNetworkRequestHandler final : public NetworkRequestHandlerType,
                                              public std::enable_shared_from_this<URLSessionNetworkRequestHandler> {
  public:
    static std::shared_ptr<URLSessionNetworkRequestHandler> create(
        std::shared_ptr<foundation::URLSession> session = foundation::URLSession::shared(),
        double timeoutInterval = 60.0);

    std::shared_ptr<NetworkCancellable> execute(const NetworkRequestType& request,
                                                NetworkCompletion completion) override;

    const std::shared_ptr<foundation::URLSession>& session() const { return session_; }
    double timeoutInterval() const { return timeoutInterval_; }

  private:
    URLSessionNetworkRequestHandler(std::shared_ptr<foundation::URLSession> session, double timeoutInterval)
        : session_(std::move(session)), timeoutInterval_(timeoutInterval) {}

    std::shared_ptr<foundation::URLSession> session_;
    double timeoutInterval_;
};

}  // namespace lumora
