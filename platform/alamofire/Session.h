#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "alamofire/AFError.h"
#include "alamofire/ParameterEncoding.h"
#include "dispatch/DispatchQueue.h"
#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/JSON.h"
#include "foundation/URLRequest.h"
#include "foundation/URLSession.h"

// A small HTTP session layer over foundation::URLSession:
//
//   alamofire::AF()->request(url, alamofire::HTTPMethod::post, parameters, alamofire::JSONEncoding::default_(),
//                            {{"Authorization", "Bearer " + token}})
//       ->validate()
//       ->responseDecodable<Answer>(dispatch::DispatchQueue::main(), [](alamofire::DataResponse<Answer> r) { ... });
//
// A request starts when its first response handler is added (or on `resume()`). Before it is sent, the
// session's interceptor and then the request's own adapt it; when it fails (transfer error or failed
// validation) their retriers are asked, in the same order, whether to send it again. Every response
// handler is called once, on the queue it names (which must outlive the request), with the same outcome.
namespace alamofire {

class HTTPMethod {
  public:
    enum Case { connect, delete_, get, head, options, patch, post, put, query, trace };
    constexpr HTTPMethod(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }   // NOLINT(google-explicit-constructor)
    // Upper case: "GET", "DELETE"...
    std::string rawValue() const;

  private:
    Case value_;
};

// A URL given as text or as a URL; text is checked when the request is made.
struct URLConvertible {
    std::string text;
    URLConvertible(std::string t) : text(std::move(t)) {}                       // NOLINT(google-explicit-constructor)
    URLConvertible(const char* t) : text(t ? t : "") {}                         // NOLINT(google-explicit-constructor)
    URLConvertible(const foundation::URL& url) : text(url.absoluteString()) {}  // NOLINT(google-explicit-constructor)
};

class Session;
class DataRequest;

// Changes a request before it is sent (adds header fields...). Calls `completion` once, from any thread.
class RequestAdapter {
  public:
    virtual ~RequestAdapter() = default;
    virtual void adapt(foundation::URLRequest request, Session& session,
                       std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) = 0;
};

struct RetryResult {
    enum class Kind { retry, retryWithDelay, doNotRetry, doNotRetryWithError };
    Kind kind = Kind::doNotRetry;
    double delay = 0;                        // seconds on the one clock, for retryWithDelay
    std::optional<foundation::Error> error;  // for doNotRetryWithError

    static RetryResult retry() { return {Kind::retry, 0, std::nullopt}; }
    static RetryResult retryWithDelay(double seconds) { return {Kind::retryWithDelay, seconds, std::nullopt}; }
    static RetryResult doNotRetry() { return {Kind::doNotRetry, 0, std::nullopt}; }
    static RetryResult doNotRetryWithError(foundation::Error e) { return {Kind::doNotRetryWithError, 0, std::move(e)}; }
};

// Decides whether a failed request is sent again. `error` holds the AFError of the failure.
class RequestRetrier {
  public:
    virtual ~RequestRetrier() = default;
    virtual void retry(DataRequest& request, Session& session, const foundation::Error& error,
                       std::function<void(RetryResult)> completion) = 0;
};

// Both; by default it passes requests unchanged and never retries.
class RequestInterceptor : public RequestAdapter, public RequestRetrier {
  public:
    void adapt(foundation::URLRequest request, Session&,
               std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) override {
        completion(std::move(request));
    }
    void retry(DataRequest&, Session&, const foundation::Error&, std::function<void(RetryResult)> completion) override {
        completion(RetryResult::doNotRetry());
    }
};

// Told about each request of its session once it has finished (answered, failed or cancelled), on the
// thread that finished it and before any response handler runs: the request as last sent, the answer
// when there was one, the failure when there was one. For logs and diagnostics; it changes nothing.
class EventMonitor {
  public:
    virtual ~EventMonitor() = default;
    virtual void requestDidFinish(const std::optional<foundation::URLRequest>& request,
                                  const std::optional<foundation::HTTPURLResponse>& response,
                                  const std::optional<AFError>& error) = 0;
};

// Adapters run in order (each sees the previous one's request); retriers are asked in order until one
// asks for a retry or fails.
class Interceptor final : public RequestInterceptor {
  public:
    Interceptor(std::vector<std::shared_ptr<RequestAdapter>> adapters,
                std::vector<std::shared_ptr<RequestRetrier>> retriers = {})
        : adapters_(std::move(adapters)), retriers_(std::move(retriers)) {}
    void adapt(foundation::URLRequest request, Session& session,
               std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) override;
    void retry(DataRequest& request, Session& session, const foundation::Error& error,
               std::function<void(RetryResult)> completion) override;

  private:
    std::vector<std::shared_ptr<RequestAdapter>> adapters_;
    std::vector<std::shared_ptr<RequestRetrier>> retriers_;
};

// A body-less answer type for responseDecodable with status 204 or 205, or a HEAD request.
struct Empty {
    static Empty decode(const foundation::KeyedDecodingContainer&) { return {}; }
};

// What a response handler receives.
template <class T>
struct DataResponse {
    // The request as sent (after adaptation), when it got that far.
    std::optional<foundation::URLRequest> request;
    // The answer; also beside a failure when the answer was refused for its size (its status stands).
    std::optional<foundation::HTTPURLResponse> response;
    std::optional<foundation::Data> data;
    std::expected<T, AFError> result;

    const T* value() const { return result ? &*result : nullptr; }
    const AFError* error() const { return result ? nullptr : &result.error(); }
};

// One request of a session. Hold it through the shared pointer that `Session::request` returns.
class DataRequest : public std::enable_shared_from_this<DataRequest> {
  public:
    // Accepts status 200...299 only.
    std::shared_ptr<DataRequest> validate();
    // Accepts status codes in [lower, upper).
    std::shared_ptr<DataRequest> validate(int lower, int upper);

    std::shared_ptr<DataRequest> responseData(dispatch::DispatchQueue& queue,
                                              std::function<void(DataResponse<foundation::Data>)> completion);
    std::shared_ptr<DataRequest> responseData(std::function<void(DataResponse<foundation::Data>)> completion) {
        return responseData(dispatch::DispatchQueue::main(), std::move(completion));
    }

    // The body decoded as T with `decoder`. An empty body is a serialization failure, except for
    // T = Empty with status 204 or 205 or a HEAD request.
    template <class T>
    std::shared_ptr<DataRequest> responseDecodable(dispatch::DispatchQueue& queue, foundation::JSONDecoder decoder,
                                                   std::function<void(DataResponse<T>)> completion) {
        addHandler(queue, [decoder, completion = std::move(completion)](const Outcome& o) {
            completion(DataResponse<T>{o.request, o.response, o.data, serialize<T>(o, decoder)});
        });
        return shared_from_this();
    }
    template <class T>
    std::shared_ptr<DataRequest> responseDecodable(dispatch::DispatchQueue& queue,
                                                   std::function<void(DataResponse<T>)> completion) {
        return responseDecodable<T>(queue, foundation::JSONDecoder(), std::move(completion));
    }
    template <class T>
    std::shared_ptr<DataRequest> responseDecodable(std::function<void(DataResponse<T>)> completion) {
        return responseDecodable<T>(dispatch::DispatchQueue::main(), foundation::JSONDecoder(), std::move(completion));
    }

    // Starts the request if it has not started.
    std::shared_ptr<DataRequest> resume();
    // Ends the request: handlers receive AFError::explicitlyCancelled unless it has already finished.
    std::shared_ptr<DataRequest> cancel();

    bool isCancelled() const;
    bool isFinished() const;
    // How many times it has been sent again.
    int retryCount() const;
    // The last request sent, and its answer.
    std::optional<foundation::URLRequest> request() const;
    std::optional<foundation::HTTPURLResponse> response() const;

  private:
    friend class Session;
    struct Outcome {
        std::optional<foundation::URLRequest> request;
        std::optional<foundation::HTTPURLResponse> response;
        std::optional<foundation::Data> data;
        std::optional<AFError> error;
        std::string method;
    };
    using Handler = std::function<void(const Outcome&)>;

    DataRequest(std::shared_ptr<Session> session, std::expected<foundation::URLRequest, AFError> initial,
                std::shared_ptr<RequestInterceptor> interceptor);
    std::vector<RequestInterceptor*> interceptors() const;
    void retryNow();

    void addHandler(dispatch::DispatchQueue& queue, Handler handler);
    void start();
    void adaptAndSend(foundation::URLRequest request);
    void send(foundation::URLRequest request);
    void didComplete(std::optional<foundation::Data> data, std::optional<foundation::HTTPURLResponse> response,
                     std::optional<foundation::Error> error);
    void askRetriers(const Outcome& failed, std::size_t index);
    void finish(Outcome outcome);

    template <class T>
    static std::expected<T, AFError> serialize(const Outcome& o, const foundation::JSONDecoder& decoder) {
        if (o.error) return std::unexpected(*o.error);
        const bool empty = !o.data || o.data->empty();
        if (empty) {
            const bool emptyAllowed =
                o.method == "HEAD" || (o.response && (o.response->statusCode == 204 || o.response->statusCode == 205));
            if constexpr (std::is_same_v<T, Empty>) {
                if (emptyAllowed) return Empty{};
            }
            return std::unexpected(AFError::responseSerializationFailed("the response body is empty"));
        }
        auto decoded = decoder.template decode<T>(*o.data);
        if (!decoded)
            return std::unexpected(
                AFError::responseSerializationFailed(decoded.error().localizedDescription(), decoded.error()));
        return std::move(*decoded);
    }

    std::shared_ptr<Session> session_;
    std::shared_ptr<RequestInterceptor> interceptor_;

    mutable std::mutex mutex_;  // guards everything below
    std::optional<foundation::URLRequest> initialRequest_;
    std::optional<AFError> creationError_;
    std::vector<std::pair<int, int>> acceptable_;
    std::vector<std::pair<dispatch::DispatchQueue*, Handler>> handlers_;
    std::shared_ptr<const Outcome> outcome_;  // once finished; shared with the handlers
    std::shared_ptr<foundation::URLSessionDataTask> task_;
    std::optional<foundation::URLRequest> lastRequest_;
    std::optional<foundation::HTTPURLResponse> lastResponse_;
    bool started_ = false;
    bool cancelled_ = false;
    int retryCount_ = 0;
};

// Changes a request as it is made, before any adapter sees it (its time-out, its maximum response size...).
using RequestModifier = std::function<void(foundation::URLRequest&)>;

class Session : public std::enable_shared_from_this<Session> {
  public:
    // A session over a new URL session of that configuration; `interceptor` adapts and retries every request;
    // `eventMonitors` are told about every request that finishes.
    static std::shared_ptr<Session> create(
        foundation::URLSessionConfiguration configuration = foundation::URLSessionConfiguration::default_(),
        std::shared_ptr<RequestInterceptor> interceptor = nullptr,
        std::vector<std::shared_ptr<EventMonitor>> eventMonitors = {});
    // The shared session.
    static std::shared_ptr<Session> default_();

    // A request for `url`; the parameters are written by `encoding`, then the header fields are set, then
    // `requestModifier` changes the request. A URL text that is not a valid http(s) URL, or parameters that
    // cannot be encoded, fail in the response handlers without anything being sent.
    std::shared_ptr<DataRequest> request(URLConvertible url, HTTPMethod method = HTTPMethod::get,
                                         std::optional<Parameters> parameters = std::nullopt,
                                         const ParameterEncoding& encoding = URLEncoding::default_(),
                                         const HTTPHeaders& headers = {},
                                         std::shared_ptr<RequestInterceptor> interceptor = nullptr,
                                         const RequestModifier& requestModifier = nullptr);

    // A request whose body is an encodable value written by `encoder`, then changed by `requestModifier`.
    template <class T>
    std::shared_ptr<DataRequest> request(URLConvertible url, HTTPMethod method, const T& parameters,
                                         const JSONParameterEncoder& encoder, const HTTPHeaders& headers = {},
                                         std::shared_ptr<RequestInterceptor> interceptor = nullptr,
                                         const RequestModifier& requestModifier = nullptr) {
        auto base = makeRequest(url, method, headers);
        if (base) {
            auto encoded = encoder.encode(parameters, std::move(*base));
            if (encoded) {
                base = std::move(*encoded);
            } else {
                base = std::unexpected(encoded.error());
            }
        }
        if (base && requestModifier) requestModifier(*base);
        return makeDataRequest(std::move(base), std::move(interceptor));
    }

    // A request made in full by the caller.
    std::shared_ptr<DataRequest> request(foundation::URLRequest urlRequest,
                                         std::shared_ptr<RequestInterceptor> interceptor = nullptr);

    const std::shared_ptr<foundation::URLSession>& session() const { return session_; }
    const std::shared_ptr<RequestInterceptor>& interceptor() const { return interceptor_; }

  private:
    friend class DataRequest;
    Session(std::shared_ptr<foundation::URLSession> session, std::shared_ptr<RequestInterceptor> interceptor,
            std::vector<std::shared_ptr<EventMonitor>> eventMonitors)
        : session_(std::move(session)),
          interceptor_(std::move(interceptor)),
          eventMonitors_(std::move(eventMonitors)) {}
    std::expected<foundation::URLRequest, AFError> makeRequest(const URLConvertible& url, HTTPMethod method,
                                                               const HTTPHeaders& headers) const;
    std::shared_ptr<DataRequest> makeDataRequest(std::expected<foundation::URLRequest, AFError> request,
                                                 std::shared_ptr<RequestInterceptor> interceptor);

    std::shared_ptr<foundation::URLSession> session_;
    std::shared_ptr<RequestInterceptor> interceptor_;
    const std::vector<std::shared_ptr<EventMonitor>> eventMonitors_;
};

// The shared session, as the platform's `AF`.
inline std::shared_ptr<Session> AF() {
    return Session::default_();
}

}  // namespace alamofire
