#include "kitfoundation/networking/NetworkRequestHandler.h"

#include "kitfoundation/Log.h"
#include "kitfoundation/networking/NetworkError.h"
#include "kitfoundation/networking/NetworkLogger.h"
#include "kitfoundation/networking/NetworkRequestMapper.h"

namespace lumora {

namespace {

class TaskCancellable final : public NetworkCancellable {
  public:
    explicit TaskCancellable(std::shared_ptr<foundation::URLSessionDataTask> task) : task_(std::move(task)) {}
    void cancel() override {
        if (task_) task_->cancel();
    }

  private:
    std::shared_ptr<foundation::URLSessionDataTask> task_;
};

}  // namespace

std::shared_ptr<URLSessionNetworkRequestHandler> URLSessionNetworkRequestHandler::create(
    std::shared_ptr<foundation::URLSession> session, double timeoutInterval) {
    return std::shared_ptr<URLSessionNetworkRequestHandler>(
        new URLSessionNetworkRequestHandler(std::move(session), timeoutInterval));
}

std::shared_ptr<NetworkCancellable> URLSessionNetworkRequestHandler::execute(const NetworkRequestType& request,
                                                                             NetworkCompletion completion) {
    auto mapped = NetworkRequestMapper::map(request, timeoutInterval_);
    if (!mapped) {
        session_->delegateQueue().async([completion = std::move(completion), error = mapped.error()] {
            if (completion) completion(std::unexpected(error));
        });
        return std::make_shared<TaskCancellable>(nullptr);
    }
    NetworkLogger::logRequest(*mapped);
    // The request is kept for the answer's log block only while the log is on.
    std::optional<foundation::URLRequest> sent;
    if (debugLogEnabled.load(std::memory_order_relaxed)) sent = *mapped;
    auto task = session_->dataTask(std::move(*mapped), [sent = std::move(sent), completion = std::move(completion)](
                                                           std::optional<foundation::Data> data,
                                                           std::optional<foundation::HTTPURLResponse> response,
                                                           std::optional<foundation::Error> error) {
        if (sent) NetworkLogger::logResponse(*sent, response, data, error);
        if (!completion) return;
        if (error) {
            // An answer refused for its size keeps its status: a refusal or a failure of the service is reported as
            // that (without the body that was refused); any other status without its body is the transport's error.
            const int status = response ? response->statusCode : 0;
            std::optional<NetworkError> failure;
            if (status >= 400 && status <= 599) failure = NetworkError::fromStatus(status, foundation::Data{});
            completion(std::unexpected(foundation::Error(failure ? *failure : NetworkError::fromTransport(*error))));
            return;
        }
        if (!response) {
            completion(std::unexpected(foundation::Error(NetworkError::invalidResponse())));
            return;
        }
        foundation::Data body = data ? std::move(*data) : foundation::Data{};
        if (auto failure = NetworkError::fromStatus(response->statusCode, body)) {
            completion(std::unexpected(foundation::Error(*failure)));
            return;
        }
        completion(NetworkResponse{std::move(*response), std::move(body)});
    });
    task->resume();
    return std::make_shared<TaskCancellable>(std::move(task));
}

}  // namespace lumora
