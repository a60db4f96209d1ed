#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "dispatch/DispatchQueue.h"
#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URLError.h"
#include "foundation/URLRequest.h"

// HTTP loading over libcurl.
//
//   auto session = foundation::URLSession::create();              // answers on a worker queue
//   auto task = session->dataTask(request, [](auto data, auto response, auto error) { ... });
//   task->resume();
//
// Only "http" and "https" URLs are fetched; any other scheme fails with NSURLErrorDomain -1002
// "unsupported URL" without reaching the network. TLS peers and host names are always verified.
// Transfers run on one process-wide I/O thread (a libcurl multi handle), so any number of requests
// proceed concurrently; completions are posted to the session's delegate queue.
//
// Answers: a body over the request's (or else the session's) maximum size fails with -1103 as it arrives;
// response headers over `kMaximumResponseHeaderBytes` in all fail with -1011 "bad server response (the
// response headers are larger than N bytes)". Either way the answer keeps its status: the completion gets
// the response too (with the header fields that arrived within the cap), only its body is refused.
//
// Time: a request fails with -1001 "The request timed out." when it has received nothing for its
// `timeoutInterval` seconds, measured on the one clock (`dispatch::Clock::current()`): under a manual
// clock in tests, advancing the clock past the interval times the request out. The idle period starts
// when `resume()` is called.
namespace foundation {

class URLProtocolRegistry;

// The most header bytes an answer may carry, its status lines and those of redirects and interim answers
// included (browsers accept about as much).
inline constexpr std::size_t kMaximumResponseHeaderBytes = 256u * 1024u;

struct URLSessionConfiguration {
    // Used by requests whose own `timeoutInterval` is 0 or less.
    double timeoutIntervalForRequest = 60.0;
    // Upper bound of a whole transfer, in seconds (one clock), whatever the activity.
    double timeoutIntervalForResource = 7 * 24 * 3600.0;
    // Header fields added to each request that does not set them itself.
    HTTPHeaderFields httpAdditionalHeaders;
    // A body larger than this fails with -1103 "resource exceeds maximum size (larger than N bytes)" and
    // the bytes received so far are dropped; a "Content-Length" above it fails before the body is read.
    // A request's own `maximumResponseSize` takes its place.
    std::size_t maximumResponseSize = 64u * 1024u * 1024u;
    // Redirects followed per request (to http and https only); one more fails with -1007 "too many HTTP redirects".
    int maximumRedirects = 10;
    // A PEM file of the certificate authorities to trust instead of the system's (a test back end with
    // its own authority). Empty: the system's. Peer and host-name verification are never turned off.
    std::string trustedCertificatesFile;
    // The registry of request-rewriting protocols consulted before each request; nothing = the shared one.
    std::shared_ptr<URLProtocolRegistry> protocolRegistry;

    static URLSessionConfiguration default_() { return {}; }
    static URLSessionConfiguration ephemeral() { return {}; }
};

class URLSession;

// One load. Made suspended by `URLSession::dataTask`; `resume()` starts it. The completion runs exactly
// once, on the session's delegate queue: with the body (empty Data for an empty body) and the response
// for every HTTP answer whatever its status, or with an error and no data. A failure has no response
// either, except an answer refused for its size (body or headers over a cap), which keeps its response
// (status, URL, the header fields that arrived within the cap) beside the error.
class URLSessionDataTask : public std::enable_shared_from_this<URLSessionDataTask> {
  public:
    using Completion = std::function<void(std::optional<Data>, std::optional<HTTPURLResponse>, std::optional<Error>)>;
    enum class State { running, suspended, canceling, completed };

    // Starts the load (once; later calls do nothing).
    void resume();
    // Ends the load at once: the completion receives NSURLErrorDomain -999 "cancelled" unless it has
    // already been called or is already on its way. Safe from any thread, any number of times.
    void cancel();

    State state() const;
    std::uint64_t taskIdentifier() const { return identifier_; }
    const URLRequest& originalRequest() const { return originalRequest_; }
    // The request as sent, after protocol rewriting and the session's additional headers (set on resume).
    std::optional<URLRequest> currentRequest() const;
    std::optional<HTTPURLResponse> response() const;
    std::optional<Error> error() const;
    // Body bytes received so far.
    std::int64_t countOfBytesReceived() const { return bytesReceived_.load(); }

    ~URLSessionDataTask();

  private:
    friend class URLSession;
    friend class HTTPEngine;
    URLSessionDataTask(std::shared_ptr<URLSession> session, URLRequest request, Completion completion,
                       std::uint64_t id);
    // Delivers the outcome once; later calls are ignored. Returns whether this call delivered.
    bool finish(std::optional<Data> data, std::optional<HTTPURLResponse> response, std::optional<Error> error);

    // Guards state_, currentRequest_, sentAsOriginal_, completion_, response_, error_ and transferId_.
    mutable std::mutex mutex_;
    std::shared_ptr<URLSession> session_;
    URLRequest originalRequest_;
    std::optional<URLRequest> currentRequest_;  // when it differs from the original
    bool sentAsOriginal_ = false;
    Completion completion_;
    std::uint64_t identifier_;
    State state_ = State::suspended;
    std::optional<HTTPURLResponse> response_;
    std::optional<Error> error_;
    std::atomic<std::int64_t> bytesReceived_{0};
    std::uint64_t transferId_ = 0;  // the engine's handle of the running transfer, 0 when none
};

class URLSession : public std::enable_shared_from_this<URLSession> {
  public:
    // A session answering on a serial worker queue (one of a small process-wide set: a session's
    // completions run one at a time, in the order the loads finished, never on the main queue).
    static std::shared_ptr<URLSession> create(
        URLSessionConfiguration configuration = URLSessionConfiguration::default_());
    // A session answering on `delegateQueue` (nothing: a worker queue as above).
    static std::shared_ptr<URLSession> create(URLSessionConfiguration configuration,
                                              std::shared_ptr<dispatch::DispatchQueue> delegateQueue);
    // A session answering on a queue that outlives it, such as `dispatch::DispatchQueue::main()`.
    static std::shared_ptr<URLSession> create(URLSessionConfiguration configuration,
                                              dispatch::DispatchQueue& delegateQueue);

    // The process-wide session with the default configuration, answering on a worker queue.
    static std::shared_ptr<URLSession> shared();

    const URLSessionConfiguration& configuration() const { return configuration_; }
    dispatch::DispatchQueue& delegateQueue() const { return *delegateQueue_; }

    std::shared_ptr<URLSessionDataTask> dataTask(URLRequest request, URLSessionDataTask::Completion completion);
    std::shared_ptr<URLSessionDataTask> dataTask(URL url, URLSessionDataTask::Completion completion);

    // Cancels every task of this session that has not completed; new tasks fail with -999 at once.
    void invalidateAndCancel();

    ~URLSession();

  private:
    friend class URLSessionDataTask;
    URLSession(URLSessionConfiguration configuration, std::shared_ptr<dispatch::DispatchQueue> delegateQueue);

    URLSessionConfiguration configuration_;
    std::shared_ptr<dispatch::DispatchQueue> delegateQueue_;
    std::mutex mutex_;  // guards invalidated_ and tasks_
    bool invalidated_ = false;
    std::vector<std::weak_ptr<URLSessionDataTask>> tasks_;
};

// Reads a whole resource at once, blocking the calling thread for at most `timeout` seconds of real
// time (never the one clock: the caller cannot advance a manual clock while it waits). http and https
// only; a body over `maxBytes` fails with -1103; a status outside 200...299 fails with
// NSURLErrorDomain -1011 "bad server response" carrying the status in its description.
std::expected<Data, Error> downloadSynchronously(const URL& url, double timeout = 60.0,
                                                 std::size_t maxBytes = 64u * 1024u * 1024u);

// Request rewriting before a request is sent, in the manner of the platform's URL protocol classes:
// a registered protocol that claims a request (`canInit`) returns the request to send instead
// (`canonicalRequest`), typically with extra header fields for its hosts. Protocols registered later are
// asked first; only the first that claims a request rewrites it.
class URLProtocol {
  public:
    virtual ~URLProtocol() = default;
    virtual bool canInit(const URLRequest& request) const = 0;
    virtual URLRequest canonicalRequest(const URLRequest& request) const { return request; }
};

class URLProtocolRegistry {
  public:
    static std::shared_ptr<URLProtocolRegistry> shared();
    static std::shared_ptr<URLProtocolRegistry> create() {
        return std::shared_ptr<URLProtocolRegistry>(new URLProtocolRegistry());
    }

    // Registers a protocol once per concrete type: registering a second instance of the same class does
    // nothing and returns false.
    bool registerClass(std::shared_ptr<URLProtocol> protocol);
    template <class P>
    bool registerClass() {
        return registerClass(std::make_shared<P>());
    }
    void unregisterClass(const std::type_info& type);
    template <class P>
    void unregisterClass() {
        unregisterClass(typeid(P));
    }
    bool isRegistered(const std::type_info& type) const;

    // The request rewritten by the first protocol that claims it, or unchanged.
    URLRequest prepare(const URLRequest& request) const;
    // The request rewritten by the first protocol that claims it; nothing when none does.
    std::optional<URLRequest> rewritten(const URLRequest& request) const;

  private:
    URLProtocolRegistry() = default;
    using Protocols = std::vector<std::shared_ptr<URLProtocol>>;
    mutable std::mutex mutex_;  // guards protocols_ (the pointer; a list is never changed once shared)
    // In registration order. Replaced whole on every change, so that a request reads it without a copy.
    std::shared_ptr<const Protocols> protocols_ = std::make_shared<const Protocols>();
};

}  // namespace foundation
