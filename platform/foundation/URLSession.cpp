#include "foundation/URLSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <thread>
#include <unordered_map>

#include "dispatch/Clock.h"

namespace foundation {

namespace {

using dispatch::Nanoseconds;

struct Outcome {
    std::optional<Data> data;
    std::optional<HTTPURLResponse> response;
    std::optional<Error> error;
};

Outcome failure(int code, std::string description = {}) {
    return Outcome{std::nullopt, std::nullopt, Error(URLError::make(code, std::move(description)))};
}

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

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return std::string(s.substr(b, e - b));
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

// ---- the I/O thread ----

// Runs every transfer of the process on one thread with a libcurl multi handle.
class HTTPEngine {
  public:
    struct Limits {
        double idleTimeout = 60;
        double totalTimeout = 7 * 24 * 3600.0;
        std::size_t maxBytes = 64u * 1024u * 1024u;
        int maxRedirects = 10;
        std::string trustedCertificatesFile;
        // Time source: the one clock (nullptr) or a private real clock (synchronous downloads).
        std::shared_ptr<dispatch::Clock> fixedClock;
    };
    using Done = std::function<void(Outcome)>;

    static HTTPEngine& shared() {
        // Never destroyed: the I/O thread may still be polling while the process exits.
        static auto* engine = new HTTPEngine();
        return *engine;
    }

    std::uint64_t start(const URLRequest& request, const Limits& limits, Done done);
    void cancel(std::uint64_t id);

  private:
    struct Transfer {
        std::uint64_t id = 0;
        CURL* easy = nullptr;
        curl_slist* headers = nullptr;
        std::string body;
        Data received;
        HTTPHeaderFields responseHeaders;
        std::size_t headerBytes = 0;
        bool tooLarge = false;
        bool headersTooLarge = false;
        Limits limits;
        std::shared_ptr<dispatch::Clock> clock;
        Nanoseconds started{0};
        Nanoseconds lastActivity{0};
        curl_off_t lastUploaded = 0;
        Done done;
        char errorBuffer[CURL_ERROR_SIZE] = {};

        ~Transfer() {
            if (easy) curl_easy_cleanup(easy);
            if (headers) curl_slist_free_all(headers);
        }
        void touch() {
            refreshClock();
            lastActivity = clock->now();
        }
        // Follows a change of the one clock (a test installing a manual clock) by restarting the periods.
        void refreshClock() {
            if (limits.fixedClock) return;
            auto current = dispatch::Clock::current();
            if (current != clock) {
                clock = std::move(current);
                started = lastActivity = clock->now();
            }
        }
    };

    HTTPEngine();
    void run();
    void finish(std::unique_ptr<Transfer> transfer, Outcome outcome);
    Outcome outcomeOf(Transfer& t, CURLcode code);

    static size_t onWrite(char* ptr, size_t size, size_t count, void* user);
    static size_t onHeader(char* ptr, size_t size, size_t count, void* user);
    static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow);

    CURLM* multi_ = nullptr;
    std::mutex mutex_;
    std::deque<std::unique_ptr<Transfer>> incoming_;
    std::vector<std::uint64_t> cancels_;
    std::uint64_t nextId_ = 1;
    std::unordered_map<std::uint64_t, std::unique_ptr<Transfer>> active_;  // I/O thread only
    std::thread thread_;
};

HTTPEngine::HTTPEngine() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    thread_ = std::thread([this] { run(); });
    thread_.detach();
}

std::uint64_t HTTPEngine::start(const URLRequest& request, const Limits& limits, Done done) {
    auto t = std::make_unique<Transfer>();
    t->limits = limits;
    t->done = std::move(done);
    t->clock = limits.fixedClock ? limits.fixedClock : dispatch::Clock::current();
    t->started = t->lastActivity = t->clock->now();
    t->easy = curl_easy_init();
    CURL* e = t->easy;
    const std::string& url = request.url.absoluteString();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorBuffer);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, limits.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(std::max(0, limits.maxRedirects)));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.trustedCertificatesFile.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, limits.trustedCertificatesFile.c_str());
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HTTPEngine::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HTTPEngine::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &HTTPEngine::onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, t.get());
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

    const std::string& method = request.httpMethod;
    if (request.httpBody) t->body.assign(request.httpBody->begin(), request.httpBody->end());
    if (method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (method == "GET" && !request.httpBody) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
        if (request.httpBody || method == "POST" || method == "PUT" || method == "PATCH") {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->body.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->body.data());
        }
        if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    // Exactly the caller's fields: no form content type of libcurl's own, no "Expect: 100-continue" pause.
    const bool hasContentType = request.allHTTPHeaderFields.contains("Content-Type");
    for (const auto& [name, value] : request.allHTTPHeaderFields) {
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        t->headers = curl_slist_append(t->headers, line.c_str());
    }
    if (!hasContentType) t->headers = curl_slist_append(t->headers, "Content-Type:");
    t->headers = curl_slist_append(t->headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);

    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        id = t->id = nextId_++;
        incoming_.push_back(std::move(t));
    }
    curl_multi_wakeup(multi_);
    return id;
}

void HTTPEngine::cancel(std::uint64_t id) {
    if (id == 0) return;
    {
        std::lock_guard lock(mutex_);
        cancels_.push_back(id);
    }
    curl_multi_wakeup(multi_);
}

size_t HTTPEngine::onWrite(char* ptr, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->touch();
    if (t->received.size() + n > t->limits.maxBytes) {
        t->tooLarge = true;
        t->received.clear();
        t->received.shrink_to_fit();
        return 0;  // aborts the transfer
    }
    t->received.insert(t->received.end(), reinterpret_cast<const std::uint8_t*>(ptr),
                       reinterpret_cast<const std::uint8_t*>(ptr) + n);
    return n;
}

size_t HTTPEngine::onHeader(char* ptr, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->touch();
    t->headerBytes += n;
    if (t->headerBytes > 1024 * 1024) {
        t->headersTooLarge = true;
        return 0;
    }
    std::string_view line(ptr, n);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer (after a redirect or an interim 1xx): only the last one's fields count.
        t->responseHeaders.clear();
        return n;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return n;
    std::string name = trim(line.substr(0, colon));
    std::string value = trim(line.substr(colon + 1));
    if (name.empty()) return n;
    auto it = t->responseHeaders.find(name);
    if (it == t->responseHeaders.end()) {
        t->responseHeaders.emplace(std::move(name), std::move(value));
    } else {
        it->second += ", " + value;
    }
    return n;
}

int HTTPEngine::onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    if (ulnow != t->lastUploaded) {
        t->lastUploaded = ulnow;
        t->touch();
    }
    return 0;
}

Outcome HTTPEngine::outcomeOf(Transfer& t, CURLcode code) {
    if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return failure(URLError::dataLengthExceedsMaximum);
    if (t.headersTooLarge) return failure(URLError::badServerResponse);
    switch (code) {
        case CURLE_OK: {
            long status = 0;
            curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
            char* effective = nullptr;
            curl_easy_getinfo(t.easy, CURLINFO_EFFECTIVE_URL, &effective);
            std::optional<URL> url = effective ? URL::fromString(effective) : std::nullopt;
            if (!url || status < 100) return failure(URLError::badServerResponse);
            return Outcome{std::move(t.received),
                           HTTPURLResponse(*url, static_cast<int>(status), std::move(t.responseHeaders)), std::nullopt};
        }
        case CURLE_COULDNT_CONNECT:
            return failure(URLError::cannotConnectToHost);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return failure(URLError::cannotFindHost);
        case CURLE_OPERATION_TIMEDOUT:
            return failure(URLError::timedOut);
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return failure(URLError::networkConnectionLost);
        case CURLE_TOO_MANY_REDIRECTS:
            return failure(URLError::httpTooManyRedirects);
        case CURLE_UNSUPPORTED_PROTOCOL:
            // Also libcurl's answer to a reply without a status line (HTTP/0.9), which is no URL problem.
            if (std::strstr(t.errorBuffer, "HTTP/0.9")) return failure(URLError::cannotParseResponse);
            return failure(URLError::unsupportedURL);
        case CURLE_URL_MALFORMAT:
            return failure(URLError::badURL);
        case CURLE_PEER_FAILED_VERIFICATION:
            return failure(URLError::serverCertificateUntrusted);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_USE_SSL_FAILED:
            return failure(URLError::secureConnectionFailed);
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
            return failure(URLError::cannotParseResponse);
        default: {
            std::string detail = t.errorBuffer[0] ? std::string(t.errorBuffer) : std::string(curl_easy_strerror(code));
            return failure(URLError::unknown, "unknown error (" + detail + ")");
        }
    }
}

void HTTPEngine::finish(std::unique_ptr<Transfer> transfer, Outcome outcome) {
    curl_multi_remove_handle(multi_, transfer->easy);
    Done done = std::move(transfer->done);
    transfer.reset();
    if (done) done(std::move(outcome));
}

void HTTPEngine::run() {
    for (;;) {
        std::deque<std::unique_ptr<Transfer>> incoming;
        std::vector<std::uint64_t> cancels;
        {
            std::lock_guard lock(mutex_);
            incoming.swap(incoming_);
            cancels.swap(cancels_);
        }
        for (auto& t : incoming) {
            curl_multi_add_handle(multi_, t->easy);
            const auto id = t->id;
            active_.emplace(id, std::move(t));
        }
        for (auto id : cancels) {
            auto it = active_.find(id);
            if (it == active_.end()) continue;
            auto t = std::move(it->second);
            active_.erase(it);
            // The task has already delivered its cancellation; nothing more is reported.
            t->done = nullptr;
            finish(std::move(t), {});
        }

        int running = 0;
        curl_multi_perform(multi_, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Transfer* raw = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &raw);
            const CURLcode code = msg->data.result;
            if (!raw) continue;
            auto it = active_.find(raw->id);
            if (it == active_.end()) continue;
            auto t = std::move(it->second);
            active_.erase(it);
            Outcome outcome = outcomeOf(*t, code);
            finish(std::move(t), std::move(outcome));
        }

        // Time-outs on each transfer's clock.
        long waitMs = active_.empty() ? 1000 : 250;
        std::vector<std::uint64_t> expired;
        for (auto& [id, t] : active_) {
            t->refreshClock();
            const Nanoseconds now = t->clock->now();
            const Nanoseconds idle = dispatch::nanosecondsFromSeconds(t->limits.idleTimeout);
            const Nanoseconds total = dispatch::nanosecondsFromSeconds(t->limits.totalTimeout);
            if (now - t->lastActivity >= idle || now - t->started >= total) {
                expired.push_back(id);
                continue;
            }
            if (t->clock->isManual()) {
                waitMs = std::min(waitMs, 10L);
            } else {
                const auto left = std::min(t->lastActivity + idle, t->started + total) - now;
                const long ms =
                    static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1;
                waitMs = std::min(waitMs, std::max(ms, 1L));
            }
        }
        for (auto id : expired) {
            auto it = active_.find(id);
            auto t = std::move(it->second);
            active_.erase(it);
            finish(std::move(t), failure(URLError::timedOut));
        }
        if (!expired.empty()) continue;

        long curlTimeout = -1;
        curl_multi_timeout(multi_, &curlTimeout);
        if (curlTimeout >= 0) waitMs = std::min(waitMs, curlTimeout);
        curl_multi_poll(multi_, nullptr, 0, static_cast<int>(waitMs), nullptr);
    }
}

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

    auto registry = config.protocolRegistry ? config.protocolRegistry : URLProtocolRegistry::shared();
    URLRequest request = registry->prepare(originalRequest_);
    for (const auto& [name, value] : config.httpAdditionalHeaders) {
        if (!request.value(name)) request.setValue(value, name);
    }
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
    limits.maxBytes = config.maximumResponseSize;
    limits.maxRedirects = config.maximumRedirects;
    limits.trustedCertificatesFile = config.trustedCertificatesFile;
    {
        std::lock_guard lock(mutex_);
        currentRequest_ = request;
        if (state_ != State::running) return;  // cancelled meanwhile
    }
    auto self = shared_from_this();
    const std::uint64_t transfer = HTTPEngine::shared().start(request, limits, [self](Outcome outcome) {
        self->finish(std::move(outcome.data), std::move(outcome.response), std::move(outcome.error));
    });
    bool cancelledMeanwhile = false;
    {
        std::lock_guard lock(mutex_);
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
    auto task = std::shared_ptr<URLSessionDataTask>(new URLSessionDataTask(
        shared_from_this(), std::move(request), std::move(completion), nextIdentifier.fetch_add(1)));
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
    auto promise = std::make_shared<std::promise<Outcome>>();
    auto future = promise->get_future();
    URLRequest request(url, timeout);
    HTTPEngine::shared().start(request, limits, [promise](Outcome outcome) { promise->set_value(std::move(outcome)); });
    Outcome outcome = future.get();
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
    for (const auto& p : protocols_) {
        if (typeid(*p) == type) return false;
    }
    protocols_.push_back(std::move(protocol));
    return true;
}

void URLProtocolRegistry::unregisterClass(const std::type_info& type) {
    std::lock_guard lock(mutex_);
    std::erase_if(protocols_, [&type](const std::shared_ptr<URLProtocol>& p) { return typeid(*p) == type; });
}

bool URLProtocolRegistry::isRegistered(const std::type_info& type) const {
    std::lock_guard lock(mutex_);
    return std::any_of(protocols_.begin(), protocols_.end(),
                       [&type](const std::shared_ptr<URLProtocol>& p) { return typeid(*p) == type; });
}

URLRequest URLProtocolRegistry::prepare(const URLRequest& request) const {
    std::vector<std::shared_ptr<URLProtocol>> protocols;
    {
        std::lock_guard lock(mutex_);
        protocols = protocols_;
    }
    for (auto it = protocols.rbegin(); it != protocols.rend(); ++it) {
        if ((*it)->canInit(request)) return (*it)->canonicalRequest(request);
    }
    return request;
}

}  // namespace foundation
