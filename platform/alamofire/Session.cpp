#include "alamofire/Session.h"

#include "foundation/URLError.h"

namespace alamofire {

namespace {
constexpr const char* kMethods[] = {"CONNECT", "DELETE", "GET", "HEAD",  "OPTIONS",
                                    "PATCH",   "POST",   "PUT", "QUERY", "TRACE"};
}

std::string HTTPMethod::rawValue() const {
    return kMethods[static_cast<int>(value_)];
}

// ---- Interceptor ----

void Interceptor::adapt(foundation::URLRequest request, Session& session,
                        std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) {
    // Runs the adapters one after another, each on the previous one's result.
    struct Chain : std::enable_shared_from_this<Chain> {
        std::vector<std::shared_ptr<RequestAdapter>> adapters;
        Session* session;
        std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> done;
        void run(std::size_t index, foundation::URLRequest request) {
            while (index < adapters.size() && !adapters[index]) ++index;
            if (index >= adapters.size()) {
                done(std::move(request));
                return;
            }
            auto self = shared_from_this();
            adapters[index]->adapt(std::move(request), *session,
                                   [self, index](std::expected<foundation::URLRequest, foundation::Error> r) {
                                       if (r) {
                                           self->run(index + 1, std::move(*r));
                                       } else {
                                           self->done(std::move(r));
                                       }
                                   });
        }
    };
    auto chain = std::make_shared<Chain>();
    chain->adapters = adapters_;
    chain->session = &session;
    chain->done = std::move(completion);
    chain->run(0, std::move(request));
}

void Interceptor::retry(DataRequest& request, Session& session, const foundation::Error& error,
                        std::function<void(RetryResult)> completion) {
    struct Chain : std::enable_shared_from_this<Chain> {
        std::vector<std::shared_ptr<RequestRetrier>> retriers;
        DataRequest* request;
        Session* session;
        foundation::Error error;
        std::function<void(RetryResult)> done;
        explicit Chain(foundation::Error e) : error(std::move(e)) {}
        void run(std::size_t index) {
            while (index < retriers.size() && !retriers[index]) ++index;
            if (index >= retriers.size()) {
                done(RetryResult::doNotRetry());
                return;
            }
            auto self = shared_from_this();
            retriers[index]->retry(*request, *session, error, [self, index](RetryResult r) {
                if (r.kind == RetryResult::Kind::doNotRetry) {
                    self->run(index + 1);
                } else {
                    self->done(std::move(r));
                }
            });
        }
    };
    auto chain = std::make_shared<Chain>(error);
    chain->retriers = retriers_;
    chain->request = &request;
    chain->session = &session;
    chain->done = std::move(completion);
    chain->run(0);
}

// ---- Session ----

std::shared_ptr<Session> Session::create(foundation::URLSessionConfiguration configuration,
                                         std::shared_ptr<RequestInterceptor> interceptor,
                                         std::vector<std::shared_ptr<EventMonitor>> eventMonitors) {
    return std::shared_ptr<Session>(new Session(foundation::URLSession::create(std::move(configuration)),
                                                std::move(interceptor), std::move(eventMonitors)));
}

std::shared_ptr<Session> Session::default_() {
    static const auto* session = new std::shared_ptr<Session>(create());  // never destroyed: used until exit
    return *session;
}

std::expected<foundation::URLRequest, AFError> Session::makeRequest(const URLConvertible& url, HTTPMethod method,
                                                                    const HTTPHeaders& headers) const {
    auto parsed = foundation::URL::fromString(url.text);
    if (!parsed || (parsed->scheme() != "http" && parsed->scheme() != "https")) {
        return std::unexpected(AFError::invalidURL(url.text));
    }
    foundation::URLRequest request(std::move(*parsed), session_->configuration().timeoutIntervalForRequest);
    request.httpMethod = method.rawValue();
    for (const auto& [name, value] : headers) request.setValue(value, name);
    return request;
}

std::shared_ptr<DataRequest> Session::makeDataRequest(std::expected<foundation::URLRequest, AFError> request,
                                                      std::shared_ptr<RequestInterceptor> interceptor) {
    return std::shared_ptr<DataRequest>(
        new DataRequest(shared_from_this(), std::move(request), std::move(interceptor)));
}

std::shared_ptr<DataRequest> Session::request(URLConvertible url, HTTPMethod method,
                                              std::optional<Parameters> parameters, const ParameterEncoding& encoding,
                                              const HTTPHeaders& headers,
                                              std::shared_ptr<RequestInterceptor> interceptor,
                                              const RequestModifier& requestModifier) {
    auto base = makeRequest(url, method, headers);
    if (base) base = encoding.encode(std::move(*base), parameters);
    if (base && requestModifier) requestModifier(*base);
    return makeDataRequest(std::move(base), std::move(interceptor));
}

std::shared_ptr<DataRequest> Session::request(foundation::URLRequest urlRequest,
                                              std::shared_ptr<RequestInterceptor> interceptor) {
    return makeDataRequest(std::move(urlRequest), std::move(interceptor));
}

// ---- DataRequest ----

DataRequest::DataRequest(std::shared_ptr<Session> session, std::expected<foundation::URLRequest, AFError> initial,
                         std::shared_ptr<RequestInterceptor> interceptor)
    : session_(std::move(session)), interceptor_(std::move(interceptor)) {
    if (initial) {
        initialRequest_ = std::move(*initial);
    } else {
        creationError_ = initial.error();
    }
}

std::vector<RequestInterceptor*> DataRequest::interceptors() const {
    std::vector<RequestInterceptor*> out;
    if (session_->interceptor()) out.push_back(session_->interceptor().get());
    if (interceptor_) out.push_back(interceptor_.get());
    return out;
}

std::shared_ptr<DataRequest> DataRequest::validate() {
    return validate(200, 300);
}

std::shared_ptr<DataRequest> DataRequest::validate(int lower, int upper) {
    std::lock_guard lock(mutex_);
    acceptable_.emplace_back(lower, upper);
    return shared_from_this();
}

std::shared_ptr<DataRequest> DataRequest::responseData(dispatch::DispatchQueue& queue,
                                                       std::function<void(DataResponse<foundation::Data>)> completion) {
    addHandler(queue, [completion = std::move(completion)](const Outcome& o) {
        std::expected<foundation::Data, AFError> result =
            o.error ? std::expected<foundation::Data, AFError>(std::unexpected(*o.error))
                    : std::expected<foundation::Data, AFError>(o.data.value_or(foundation::Data{}));
        completion(DataResponse<foundation::Data>{o.request, o.response, o.data, std::move(result)});
    });
    return shared_from_this();
}

void DataRequest::addHandler(dispatch::DispatchQueue& queue, Handler handler) {
    std::unique_lock lock(mutex_);
    if (outcome_) {
        std::shared_ptr<const Outcome> o = outcome_;
        lock.unlock();
        queue.async([handler = std::move(handler), o = std::move(o)] { handler(*o); });
        return;
    }
    handlers_.emplace_back(&queue, std::move(handler));
    lock.unlock();
    start();
}

std::shared_ptr<DataRequest> DataRequest::resume() {
    start();
    return shared_from_this();
}

void DataRequest::start() {
    std::optional<foundation::URLRequest> request;
    std::optional<AFError> failure;
    // Without an interceptor nothing sends it again: the request is handed on, not copied.
    const bool mayRetry = !interceptors().empty();
    {
        std::lock_guard lock(mutex_);
        if (started_ || outcome_) return;
        started_ = true;
        if (creationError_) {
            failure = creationError_;
        } else if (mayRetry) {
            request = initialRequest_;
        } else {
            request = std::move(initialRequest_);
            initialRequest_.reset();
        }
    }
    if (failure) {
        finish(Outcome{std::nullopt, std::nullopt, std::nullopt, failure, ""});
        return;
    }
    adaptAndSend(std::move(*request));
}

void DataRequest::adaptAndSend(foundation::URLRequest request) {
    auto list = interceptors();
    if (list.empty()) {
        send(std::move(request));
        return;
    }
    auto self = shared_from_this();
    // Adapts with the interceptors in order, then sends.
    auto step = std::make_shared<std::function<void(std::size_t, foundation::URLRequest)>>();
    *step = [self, list, weakStep = std::weak_ptr(step)](std::size_t index, foundation::URLRequest r) {
        if (index >= list.size()) {
            self->send(std::move(r));
            return;
        }
        auto next = weakStep.lock();
        const std::string method = r.httpMethod;
        list[index]->adapt(
            std::move(r), *self->session_,
            [self, next, index, method](std::expected<foundation::URLRequest, foundation::Error> adapted) {
                if (!adapted) {
                    self->finish(Outcome{std::nullopt, std::nullopt, std::nullopt,
                                         AFError::requestAdaptationFailed(adapted.error()), method});
                } else if (next) {
                    (*next)(index + 1, std::move(*adapted));
                }
            });
    };
    (*step)(0, std::move(request));
}

void DataRequest::send(foundation::URLRequest request) {
    std::shared_ptr<foundation::URLSessionDataTask> task;
    {
        std::lock_guard lock(mutex_);
        if (outcome_) return;
        if (!cancelled_) {
            auto self = shared_from_this();
            // Kept as the request sent (the outcome's), handed to the task without another copy.
            lastRequest_ = request;
            task = session_->session()->dataTask(
                std::move(request),
                [self](std::optional<foundation::Data> data, std::optional<foundation::HTTPURLResponse> response,
                       std::optional<foundation::Error> error) {
                    self->didComplete(std::move(data), std::move(response), std::move(error));
                });
            task_ = task;
        }
    }
    if (!task) {
        finish(Outcome{std::move(request), std::nullopt, std::nullopt, AFError::explicitlyCancelled(), ""});
        return;
    }
    task->resume();
}

void DataRequest::didComplete(std::optional<foundation::Data> data, std::optional<foundation::HTTPURLResponse> response,
                              std::optional<foundation::Error> error) {
    Outcome o{std::nullopt, std::nullopt, std::move(data), std::nullopt, ""};
    bool cancelled = false;
    {
        std::lock_guard lock(mutex_);
        task_.reset();
        // The request of this answer: the last one sent (a retry is sent only after this answer).
        o.request = lastRequest_;
        if (o.request) o.method = o.request->httpMethod;
        lastResponse_ = response;
        cancelled = cancelled_;
        if (!cancelled && !error && response) {
            for (const auto& [lower, upper] : acceptable_) {
                if (response->statusCode < lower || response->statusCode >= upper) {
                    o.error = AFError::responseValidationFailed(response->statusCode);
                    break;
                }
            }
        }
    }
    o.response = std::move(response);
    if (cancelled) {
        o.error = AFError::explicitlyCancelled();
        finish(std::move(o));
        return;
    }
    if (error) {
        o.error = AFError::sessionTaskFailed(*error);
    } else if (!o.response) {
        o.error = AFError::sessionTaskFailed(foundation::URLError::make(foundation::URLError::badServerResponse));
    }
    if (o.error) {
        askRetriers(o, 0);
    } else {
        finish(std::move(o));
    }
}

void DataRequest::askRetriers(const Outcome& failed, std::size_t index) {
    auto list = interceptors();
    if (index >= list.size() || isCancelled()) {
        finish(failed);
        return;
    }
    auto self = shared_from_this();
    list[index]->retry(*this, *session_, foundation::Error(*failed.error), [self, failed, index](RetryResult result) {
        switch (result.kind) {
            case RetryResult::Kind::retry:
                self->retryNow();
                break;
            case RetryResult::Kind::retryWithDelay:
                dispatch::DispatchQueue::global().asyncAfter(dispatch::DispatchTime::now() + result.delay,
                                                             [self] { self->retryNow(); });
                break;
            case RetryResult::Kind::doNotRetry:
                self->askRetriers(failed, index + 1);
                break;
            case RetryResult::Kind::doNotRetryWithError: {
                Outcome o = failed;
                o.error = AFError::requestRetryFailed(*result.error, foundation::Error(*failed.error));
                self->finish(std::move(o));
                break;
            }
        }
    });
}

void DataRequest::retryNow() {
    std::optional<foundation::URLRequest> request;
    {
        std::lock_guard lock(mutex_);
        if (outcome_) return;
        if (cancelled_) {
            request.reset();
        } else {
            ++retryCount_;
            request = initialRequest_;
        }
    }
    if (!request) {
        finish(Outcome{this->request(), std::nullopt, std::nullopt, AFError::explicitlyCancelled(), ""});
        return;
    }
    adaptAndSend(std::move(*request));
}

std::shared_ptr<DataRequest> DataRequest::cancel() {
    std::shared_ptr<foundation::URLSessionDataTask> task;
    {
        std::lock_guard lock(mutex_);
        if (outcome_ || cancelled_) return shared_from_this();
        cancelled_ = true;
        task = task_;
    }
    if (task) {
        task->cancel();  // its completion finishes the request as cancelled
    } else {
        finish(Outcome{request(), std::nullopt, std::nullopt, AFError::explicitlyCancelled(), ""});
    }
    return shared_from_this();
}

void DataRequest::finish(Outcome outcome) {
    // One outcome, shared by every handler (each reads it; none copies it whole).
    auto shared = std::make_shared<const Outcome>(std::move(outcome));
    std::vector<std::pair<dispatch::DispatchQueue*, Handler>> handlers;
    {
        std::lock_guard lock(mutex_);
        if (outcome_) return;
        outcome_ = shared;
        handlers.swap(handlers_);
        task_.reset();
    }
    if (session_) {
        for (const auto& monitor : session_->eventMonitors_) {
            if (monitor) monitor->requestDidFinish(shared->request, shared->response, shared->error);
        }
    }
    for (auto& [queue, handler] : handlers) {
        queue->async([handler = std::move(handler), shared] { handler(*shared); });
    }
}

bool DataRequest::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}
bool DataRequest::isFinished() const {
    std::lock_guard lock(mutex_);
    return outcome_ != nullptr;
}
int DataRequest::retryCount() const {
    std::lock_guard lock(mutex_);
    return retryCount_;
}
std::optional<foundation::URLRequest> DataRequest::request() const {
    std::lock_guard lock(mutex_);
    return lastRequest_;
}
std::optional<foundation::HTTPURLResponse> DataRequest::response() const {
    std::lock_guard lock(mutex_);
    return lastResponse_;
}

}  // namespace alamofire
