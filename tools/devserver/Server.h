#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The local back end: an HTTP server on 127.0.0.1 that tests start in-process and the demo host runs as
// the program `lumora-devserver`. Each back end it stands in for is a Service that registers its routes;
// every request is recorded in a log that tests read back, and faults can be injected per route.
//
//   auto server = devserver::Server::start({.services = {std::make_shared<MyService>()}});
//   if (!server) ...;                     // the error text says why (port taken...)
//   std::string base = (*server)->baseURL();   // "http://127.0.0.1:40123"
//   (*server)->injectFault("/api/v3/play", {.status = 503, .times = 1});
//   ... requests ...
//   auto seen = (*server)->requestLog().entries();
//
// The JSON shapes of the control and echo endpoints are described in tools/devserver/README.md.
namespace devserver {

// One received request as handlers and the request log see it.
struct RecordedRequest {
    std::string method;
    std::string path;
    // The query as received, without "?" (still percent-encoded).
    std::string query;
    // Decoded query parameters (a name may repeat).
    std::vector<std::pair<std::string, std::string>> queryParameters;
    // Header fields in the order received.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Which service's route answered ("" when none did).
    std::string service;

    // The first field of that name, matched case-insensitively.
    std::optional<std::string> header(std::string_view name) const;
    std::optional<std::string> queryValue(std::string_view name) const;
    // The token of "Authorization: Bearer <token>"; nothing when absent, blank or of another scheme.
    std::optional<std::string> bearerToken() const;
};

// What a handler answers.
struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;
    // When set, the body is `generatedBodySize` bytes of a repeating pattern streamed without being held
    // in memory (large bodies); `body` is ignored. `chunked` sends it without a Content-Length.
    std::optional<std::size_t> generatedBodySize;
    bool chunked = false;
    // Waits this long before answering (cut short when the server stops).
    std::chrono::milliseconds delay{0};
    // Closes the connection without answering.
    bool dropConnection = false;
    // Announces the whole body but sends only this many bytes of it, then closes the connection.
    std::optional<std::size_t> cutBodyAfter;

    static Reply json(int status, std::string body) { return Reply{.status = status, .body = std::move(body)}; }
    // The back end's error body, {"code": code, "message": message}, as the play and player-event services send it.
    static Reply apiError(int status, std::string_view code, std::string_view message);
    static Reply text(int status, std::string body) {
        return Reply{.status = status, .body = std::move(body), .contentType = "text/plain"};
    }
};

using Handler = std::function<Reply(const RecordedRequest&)>;

// The routes of all services: a method ("*" for any) and a path, matched exactly, or as a prefix when
// the pattern ends with "/*" ("/hls/*" matches "/hls/a/b.m3u8"). The first route added wins.
class Router {
  public:
    void add(std::string method, std::string pathPattern, Handler handler);
    // Routes added after this call belong to `service` (the log names it).
    void setService(std::string service) { service_ = std::move(service); }

    struct Route {
        std::string method;
        std::string pattern;
        std::string service;
        Handler handler;
    };
    const Route* match(std::string_view method, std::string_view path) const;
    const std::vector<Route>& routes() const { return routes_; }

  private:
    std::vector<Route> routes_;
    std::string service_;
};

// One back end: registers its routes once, when the server starts.
class Service {
  public:
    virtual ~Service() = default;
    virtual std::string name() const = 0;
    virtual void registerRoutes(Router& router) = 0;
};

// The diagnostics service "echo" (see README.md): describes each request back, with the status, delay
// and extra header fields the query asks for; streams large bodies; redirects.
std::shared_ptr<Service> makeEchoService();

// Every request received, in arrival order (control requests under "/_devserver/" excepted).
// Thread-safe; entries are recorded before the request is answered.
class RequestLog {
  public:
    void record(RecordedRequest request);
    std::vector<RecordedRequest> entries() const;
    // The entries for one path.
    std::vector<RecordedRequest> entries(std::string_view path) const;
    std::optional<RecordedRequest> last() const;
    std::size_t count() const;
    void clear();

  private:
    mutable std::mutex mutex_;  // guards entries_
    std::vector<RecordedRequest> entries_;
};

// A fault for the next `times` requests of a route (path matched exactly; `method` empty = any).
// With a status (100 to 599), the route's handler is not run and the server answers `status` and `body` instead
// (default body {"error":"injected fault"}); with `dropConnection`, the connection is closed without an
// answer; with `cutBodyAfter`, the answer (the real one, or the fault's) announces its whole length but
// only that many bytes of its body are sent before the connection closes; `delay` comes first in every
// case, and alone just slows the real answer.
struct Fault {
    std::optional<int> status;
    std::optional<std::string> body;
    std::chrono::milliseconds delay{0};
    bool dropConnection = false;
    std::optional<std::size_t> cutBodyAfter;
    // How many requests it applies to; 0 or less: every request until cleared.
    int times = 1;
    std::string method;
};

struct Options {
    std::string host = "127.0.0.1";
    // 0 picks a free port.
    int port = 0;
    std::vector<std::shared_ptr<Service>> services;
    // Adds the "echo" diagnostics service.
    bool echo = true;
    // Writes one line per request to standard error.
    bool logToStderr = false;
    // Worker threads answering requests (each open connection holds one while it is kept alive).
    int threads = 32;
    // The longest a connection may take to deliver a whole request (head and body), counted from when it
    // opens or its previous answer was sent: a client that sends too slowly is disconnected, so that slow
    // clients cannot hold every worker. Answers themselves may take as long as they take.
    std::chrono::milliseconds requestReadTimeout{10'000};
    // PEM files of a certificate (chain) and its private key: the server then speaks HTTPS only and
    // `baseURL()` starts with "https://". Clients must trust the certificate's authority.
    std::string tlsCertificateFile;
    std::string tlsKeyFile;
};

class Server {
  public:
    // Binds and starts answering at once; the error text says why it could not (port in use...). The port
    // is never shared: a second server on a port in use fails to start.
    // Ignores SIGPIPE for the process, as a server writing to closed sockets must.
    static std::expected<std::shared_ptr<Server>, std::string> start(Options options);

    int port() const;
    const std::string& host() const;
    // "http://127.0.0.1:<port>" ("https://..." with TLS; no trailing slash).
    std::string baseURL() const;

    RequestLog& requestLog();
    void injectFault(std::string path, Fault fault);
    void clearFaults();

    // Stops answering, closes open connections and ends delayed answers; idempotent.
    void stop();
    bool isRunning() const;
    // Blocks until `stop()` (for the program).
    void wait();

    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

  private:
    struct Impl;
    explicit Server(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace devserver
