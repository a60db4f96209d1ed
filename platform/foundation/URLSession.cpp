#include "foundation/URLSession.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <future>

#include "dispatch/Clock.h"
#include "foundation/detail/HTTPEngine.h"

namespace foundation {

namespace {

using detail::HTTPEngine;
using detail::HTTPOutcome;

bool isToken(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7f) return false;
        if (std::strchr("()<>@,;:\\\"/[]?={}", c)) return false;
    }
    return true;
}

bool isSafeHeaderValue(std::string_view s) {
    return std::none_of(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

// The serial queues that answer for sessions made without a queue of their own. They live for the whole
// process (a session released inside its own completion must never tear down the queue running it).
std::shared_ptr<dispatch::DispatchQueue> defaultDelegateQueue() {
    static constexpr std::size_t kQueues = 4;
    static auto* queues = [] {
        auto* array = new std::array<std::shared_ptr<dispatch::DispatchQueue>, kQueues>();
        for (std::size_t i = 0; i < kQueues; ++i) {
            (*array)[i] =
                std::make_shared<dispatch::DispatchQueue>("foundation.URLSession.delegate." + std::to_string(i));
        }
        return array;
    }();
    static std::atomic<std::size_t> next{0};
    return (*queues)[next.fetch_add(1) % kQueues];
}

}  // namespace

// ---- URLSessionDataTask ----

URLSessionDataTask::URLSessionDataTask(std::shared_ptr<URLSession> session, URLRequest request, Completion completion,
                                       std::uint64_t id)
    : session_(std::move(session)),
      originalRequest_(std::move(request)),
      completion_(std::move(completion)),
      identifier_(id) {}

URLSessionDataTask::~URLSessionDataTask() = default;

URLSessionDataTask::State URLSessionDataTask::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::optional<URLRequest> URLSessionDataTask::currentRequest() const {
    std::lock_guard lock(mutex_);
    if (!currentRequest_ && sentAsOriginal_) return originalRequest_;
    return currentRequest_;
}

std::optional<HTTPURLResponse> URLSessionDataTask::response() const {
    std::lock_guard lock(mutex_);
    return response_;
}

std::optional<Error> URLSessionDataTask::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

bool URLSessionDataTask::finish(std::optional<Data> data, std::optional<HTTPURLResponse> response,
                                std::optional<Error> error) {
    Completion completion;
    std::shared_ptr<URLSession> session;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::completed) return false;
        state_ = State::completed;
        response_ = response;
        error_ = error;
        transferId_ = 0;
        completion = std::move(completion_);
        completion_ = nullptr;
        session = session_;
    }
    if (data) bytesReceived_.store(static_cast<std::int64_t>(data->size()));
    if (completion) {
        session->delegateQueue().async([completion = std::move(completion), data = std::move(data),
                                        response = std::move(response), error = std::move(error)]() mutable {
            completion(std::move(data), std::move(response), std::move(error));
        });
    }
    return true;
}

void URLSessionDataTask::resume() {
    std::shared_ptr<URLSession> session;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::suspended) return;
        state_ = State::running;
        session = session_;
    }
    bool invalidated = false;
    {
        std::lock_guard lock(session->mutex_);
        invalidated = session->invalidated_;
    }
    if (invalidated) {
        finish(std::nullopt, std::nullopt, Error(URLError::make(URLError::cancelled)));
        return;
    }
    const URLSessionConfiguration& config = session->configuration();

    // Only http and https reach the network.
    const std::string scheme = originalRequest_.url.scheme();
    if (scheme != "http" && scheme != "https") {
        finish(std::nullopt, std::nullopt, Error(URLError::make(URLError::unsupportedURL)));
        return;
    }

    // The request as it goes out: rewritten by a protocol, with the session's additional fields; the original
    // itself (no copy) when neither changes it.
    const auto& registry = config.protocolRegistry ? config.protocolRegistry : URLProtocolRegistry::shared();
    std::optional<URLRequest> prepared = registry->rewritten(originalRequest_);
    for (const auto& [name, value] : config.httpAdditionalHeaders) {
        if ((prepared ? *prepared : originalRequest_).allHTTPHeaderFields.contains(name)) continue;
        if (!prepared) prepared = originalRequest_;
        prepared->allHTTPHeaderFields.emplace(name, value);
    }
    const URLRequest& request = prepared ? *prepared : originalRequest_;
    const std::string preparedScheme = request.url.scheme();
    if (preparedScheme != "http" && preparedScheme != "https") {
        finish(std::nullopt, std::nullopt, Error(URLError::make(URLError::unsupportedURL)));
        return;
    }
    if (!isToken(request.httpMethod)) {
        finish(std::nullopt, std::nullopt,
               Error(URLError::make(URLError::badURL, "Invalid HTTP method \"" + request.httpMethod + "\".")));
        return;
    }
    for (const auto& [name, value] : request.allHTTPHeaderFields) {
        if (!isToken(name) || !isSafeHeaderValue(value)) {
            finish(std::nullopt, std::nullopt,
                   Error(URLError::make(URLError::badURL,
                                        "Invalid HTTP header field \"" + name +
                                            "\": names must be tokens and values must not contain line breaks.")));
            return;
        }
    }

    HTTPEngine::Limits limits;
    const double requested = request.timeoutInterval;
    limits.idleTimeout = (std::isnan(requested) || requested <= 0) ? config.timeoutIntervalForRequest : requested;
    limits.totalTimeout = config.timeoutIntervalForResource;
    limits.maxBytes = request.maximumResponseSize.value_or(config.maximumResponseSize);
    limits.maxRedirects = config.maximumRedirects;
    limits.trustedCertificatesFile = config.trustedCertificatesFile;
    limits.bytesReceived = &bytesReceived_;
    auto keepSentRequest = [&] {
        if (prepared) {
            currentRequest_ = std::move(prepared);
        } else {
            sentAsOriginal_ = true;
        }
    };
    // A cancellation from now on is seen below, once the transfer has its id.
    HTTPEngine::Done done{shared_from_this(), [](void* target, HTTPOutcome&& outcome) {
                              static_cast<URLSessionDataTask*>(target)->finish(
                                  std::move(outcome.data), std::move(outcome.response), std::move(outcome.error));
                          }};
    const std::uint64_t transfer = HTTPEngine::shared().start(request, limits, std::move(done));
    bool cancelledMeanwhile = false;
    {
        std::lock_guard lock(mutex_);
        keepSentRequest();
        if (state_ == State::running) {
            transferId_ = transfer;
        } else {
            cancelledMeanwhile = true;
        }
    }
    if (cancelledMeanwhile) HTTPEngine::shared().cancel(transfer);
}

void URLSessionDataTask::cancel() {
    std::uint64_t transfer = 0;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::completed) return;
        transfer = transferId_;
    }
    finish(std::nullopt, std::nullopt, Error(URLError::make(URLError::cancelled)));
    HTTPEngine::shared().cancel(transfer);
}

// ---- URLSession ----

URLSession::URLSession(URLSessionConfiguration configuration, std::shared_ptr<dispatch::DispatchQueue> delegateQueue)
    : configuration_(std::move(configuration)),
      delegateQueue_(delegateQueue ? std::move(delegateQueue) : defaultDelegateQueue()) {}

URLSession::~URLSession() = default;

std::shared_ptr<URLSession> URLSession::create(URLSessionConfiguration configuration) {
    return create(std::move(configuration), std::shared_ptr<dispatch::DispatchQueue>());
}

std::shared_ptr<URLSession> URLSession::create(URLSessionConfiguration configuration,
                                               std::shared_ptr<dispatch::DispatchQueue> delegateQueue) {
    return std::shared_ptr<URLSession>(new URLSession(std::move(configuration), std::move(delegateQueue)));
}

std::shared_ptr<URLSession> URLSession::create(URLSessionConfiguration configuration,
                                               dispatch::DispatchQueue& delegateQueue) {
    // Not owned: the caller promises that the queue outlives the session.
    return create(std::move(configuration),
                  std::shared_ptr<dispatch::DispatchQueue>(std::shared_ptr<void>(), &delegateQueue));
}

std::shared_ptr<URLSession> URLSession::shared() {
    static auto* session = new std::shared_ptr<URLSession>(create());
    return *session;
}

std::shared_ptr<URLSessionDataTask> URLSession::dataTask(URLRequest request,
                                                         URLSessionDataTask::Completion completion) {
    static std::atomic<std::uint64_t> nextIdentifier{1};
    // One allocation for the task and its count (the constructor is private to the session).
    struct Made final : URLSessionDataTask {
        Made(std::shared_ptr<URLSession> s, URLRequest r, URLSessionDataTask::Completion c, std::uint64_t id)
            : URLSessionDataTask(std::move(s), std::move(r), std::move(c), id) {}
    };
    std::shared_ptr<URLSessionDataTask> task = std::make_shared<Made>(
        shared_from_this(), std::move(request), std::move(completion), nextIdentifier.fetch_add(1));
    std::lock_guard lock(mutex_);
    std::erase_if(tasks_, [](const std::weak_ptr<URLSessionDataTask>& w) { return w.expired(); });
    tasks_.push_back(task);
    return task;
}

std::shared_ptr<URLSessionDataTask> URLSession::dataTask(URL url, URLSessionDataTask::Completion completion) {
    return dataTask(URLRequest(std::move(url), configuration_.timeoutIntervalForRequest), std::move(completion));
}

void URLSession::invalidateAndCancel() {
    std::vector<std::shared_ptr<URLSessionDataTask>> tasks;
    {
        std::lock_guard lock(mutex_);
        invalidated_ = true;
        for (auto& w : tasks_) {
            if (auto t = w.lock()) tasks.push_back(std::move(t));
        }
        tasks_.clear();
    }
    for (auto& t : tasks) t->cancel();
}

// ---- synchronous download ----

std::expected<Data, Error> downloadSynchronously(const URL& url, double timeout, std::size_t maxBytes) {
    const std::string scheme = url.scheme();
    if (scheme != "http" && scheme != "https") return std::unexpected(Error(URLError::make(URLError::unsupportedURL)));
    if (std::isnan(timeout) || timeout <= 0) timeout = 60.0;
    HTTPEngine::Limits limits;
    limits.idleTimeout = timeout;
    limits.totalTimeout = timeout;
    limits.maxBytes = maxBytes;
    limits.fixedClock = std::make_shared<dispatch::RealClock>();
    auto promise = std::make_shared<std::promise<HTTPOutcome>>();
    auto future = promise->get_future();
    URLRequest request(url, timeout);
    HTTPEngine::shared().start(
        request, limits,
        HTTPEngine::Done{promise, [](void* target, HTTPOutcome&& outcome) {
                             static_cast<std::promise<HTTPOutcome>*>(target)->set_value(std::move(outcome));
                         }});
    HTTPOutcome outcome = future.get();
    if (outcome.error) return std::unexpected(*outcome.error);
    if (!outcome.response || outcome.response->statusCode < 200 || outcome.response->statusCode > 299) {
        const int status = outcome.response ? outcome.response->statusCode : 0;
        return std::unexpected(Error(URLError::make(
            URLError::badServerResponse, "bad server response (HTTP status " + std::to_string(status) + ")")));
    }
    return std::move(outcome.data).value_or(Data{});
}

// ---- URLProtocolRegistry ----

std::shared_ptr<URLProtocolRegistry> URLProtocolRegistry::shared() {
    static auto* registry = new std::shared_ptr<URLProtocolRegistry>(create());
    return *registry;
}

bool URLProtocolRegistry::registerClass(std::shared_ptr<URLProtocol> protocol) {
    if (!protocol) return false;
    std::lock_guard lock(mutex_);
    const std::type_info& type = typeid(*protocol);
    for (const auto& p : *protocols_) {
        if (typeid(*p) == type) return false;
    }
    auto protocols = std::make_shared<Protocols>(*protocols_);
    protocols->push_back(std::move(protocol));
    protocols_ = std::move(protocols);
    return true;
}

void URLProtocolRegistry::unregisterClass(const std::type_info& type) {
    std::lock_guard lock(mutex_);
    auto protocols = std::make_shared<Protocols>(*protocols_);
    std::erase_if(*protocols, [&type](const std::shared_ptr<URLProtocol>& p) { return typeid(*p) == type; });
    protocols_ = std::move(protocols);
}

bool URLProtocolRegistry::isRegistered(const std::type_info& type) const {
    std::lock_guard lock(mutex_);
    return std::any_of(protocols_->begin(), protocols_->end(),
                       [&type](const std::shared_ptr<URLProtocol>& p) { return typeid(*p) == type; });
}

URLRequest URLProtocolRegistry::prepare(const URLRequest& request) const {
    auto rewrittenRequest = rewritten(request);
    return rewrittenRequest ? std::move(*rewrittenRequest) : request;
}

std::optional<URLRequest> URLProtocolRegistry::rewritten(const URLRequest& request) const {
    std::shared_ptr<const Protocols> protocols;
    {
        std::lock_guard lock(mutex_);
        if (protocols_->empty()) return std::nullopt;
        protocols = protocols_;
    }
    for (auto it = protocols->rbegin(); it != protocols->rend(); ++it) {
        if ((*it)->canInit(request)) return (*it)->canonicalRequest(request);
    }
    return std::nullopt;
}

}  // namespace foundation
