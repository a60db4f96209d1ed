#include "devserver/Server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <tuple>

#include <nlohmann/json.hpp>

#include "Compression.h"

// cpp-httplib comes as a prebuilt library that ThreadSanitizer does not instrument: its function-local
// statics (the table of request methods read on every request) are published through guard checks the
// sanitizer cannot see, so their first use on one worker and every later read on another look like races.
// Accesses made from inside that library through intercepted calls (memcpy, memcmp...) are not reported;
// everything of our own stays checked.
// A process has one list: a program that also draws text takes the font engine's (strong) definition, which
// carries this line too, and this weak one gives way.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\n";
}

namespace devserver {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool isPseudoHeader(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

int localPort(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return -1;
}

int peerPort(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return -1;
}

// The server's accepted connections: each socket with the client's port. cpp-httplib does not hand its
// sockets to handlers, so they are found among the process's descriptors by their ports.
std::vector<std::pair<int, int>> acceptedConnections(int serverPort) {
    std::vector<int> fds;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string name = entry.path().filename().string();
        int fd = -1;
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec == std::errc()) fds.push_back(fd);
    }
    std::vector<std::pair<int, int>> out;
    for (int fd : fds) {
        if (localPort(fd) != serverPort) continue;
        const int peer = peerPort(fd);
        if (peer >= 0) out.emplace_back(fd, peer);  // not the listening socket
    }
    return out;
}

// Shuts down the server's accepted connections: the one from `remote` (a client port), or all when
// `remote` is -1.
void shutDownConnections(int serverPort, int remote) {
    for (const auto& [fd, peer] : acceptedConnections(serverPort)) {
        if (remote == -1 || peer == remote) shutdown(fd, SHUT_RDWR);
    }
}

// A status the fault endpoint accepts: an integer HTTP status code.
std::optional<int> httpStatus(const nlohmann::json& value) {
    if (!value.is_number_integer()) return std::nullopt;
    const auto status = value.get<long long>();
    if (status < 100 || status > 599) return std::nullopt;
    return static_cast<int>(status);
}

std::string decodeQueryPart(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// The query's name=value pairs, decoded ("+" is a space, as in forms). Body parameters never mix in.
std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t i = 0;
    while (i < query.size()) {
        auto amp = query.find('&', i);
        if (amp == std::string_view::npos) amp = query.size();
        const std::string_view piece = query.substr(i, amp - i);
        if (!piece.empty()) {
            const auto eq = piece.find('=');
            if (eq == std::string_view::npos) {
                out.emplace_back(decodeQueryPart(piece), "");
            } else {
                out.emplace_back(decodeQueryPart(piece.substr(0, eq)), decodeQueryPart(piece.substr(eq + 1)));
            }
        }
        i = amp + 1;
    }
    return out;
}

void fillPattern(char* out, std::size_t offset, std::size_t length) {
    static constexpr char pattern[] = "0123456789abcdef";
    for (std::size_t i = 0; i < length; ++i) out[i] = pattern[(offset + i) % 16];
}

nlohmann::json toJSON(const RecordedRequest& r) {
    nlohmann::json headers = nlohmann::json::array();
    for (const auto& [name, value] : r.headers) headers.push_back({name, value});
    nlohmann::json params = nlohmann::json::array();
    for (const auto& [name, value] : r.queryParameters) params.push_back({name, value});
    return {{"method", r.method}, {"path", r.path}, {"query", r.query},    {"queryParameters", params},
            {"headers", headers}, {"body", r.body}, {"service", r.service}};
}

// The workers, counting the connections they are serving (each task serves one connection to its end).
class CountingTaskQueue final : public httplib::TaskQueue {
  public:
    CountingTaskQueue(std::size_t threads, std::atomic<int>& served) : pool_(threads), served_(served) {}
    void enqueue(std::function<void()> task) override {
        pool_.enqueue([this, task = std::move(task)] {
            ++served_;
            task();
            --served_;
        });
    }
    void shutdown() override { pool_.shutdown(); }

  private:
    httplib::ThreadPool pool_;
    std::atomic<int>& served_;
};

}  // namespace

// ---- RecordedRequest ----

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (equalsIgnoringCase(n, name)) return v;
    }
    return std::nullopt;
}

std::optional<std::string> RecordedRequest::queryValue(std::string_view name) const {
    for (const auto& [n, v] : queryParameters) {
        if (n == name) return v;
    }
    return std::nullopt;
}

Reply Reply::apiError(int status, std::string_view code, std::string_view message) {
    return json(status, nlohmann::json{{"code", std::string(code)}, {"message", std::string(message)}}.dump());
}

std::optional<std::string> RecordedRequest::bearerToken() const {
    auto field = header("Authorization");
    if (!field) return std::nullopt;
    constexpr std::string_view prefix = "Bearer ";
    if (field->size() <= prefix.size() || field->compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::string token = field->substr(prefix.size());
    if (token.find_first_not_of(' ') == std::string::npos) return std::nullopt;
    return token;
}

// ---- Router ----

void Router::add(std::string method, std::string pathPattern, Handler handler) {
    routes_.push_back(Route{std::move(method), std::move(pathPattern), service_, std::move(handler)});
}

const Router::Route* Router::match(std::string_view method, std::string_view path) const {
    for (const auto& route : routes_) {
        if (route.method != "*" && route.method != method && !(method == "HEAD" && route.method == "GET")) continue;
        const std::string& p = route.pattern;
        if (p.size() >= 2 && p.compare(p.size() - 2, 2, "/*") == 0) {
            const std::string_view prefix = std::string_view(p).substr(0, p.size() - 1);  // keeps the "/"
            if (path.substr(0, prefix.size()) == prefix) return &route;
        } else if (path == p) {
            return &route;
        }
    }
    return nullptr;
}

// ---- RequestLog ----

void RequestLog::record(RecordedRequest request) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(request));
}

std::vector<RecordedRequest> RequestLog::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<RecordedRequest> RequestLog::entries(std::string_view path) const {
    std::lock_guard lock(mutex_);
    std::vector<RecordedRequest> out;
    for (const auto& e : entries_) {
        if (e.path == path) out.push_back(e);
    }
    return out;
}

std::optional<RecordedRequest> RequestLog::last() const {
    std::lock_guard lock(mutex_);
    if (entries_.empty()) return std::nullopt;
    return entries_.back();
}

std::size_t RequestLog::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

// ---- Server ----

struct Server::Impl {
    Options options;
    std::unique_ptr<httplib::Server> http;
    Router router;
    RequestLog log;
    std::vector<std::string> serviceNames;
    int port = 0;
    std::thread thread;
    std::atomic<bool> running{false};

    std::mutex faultMutex;  // guards faults
    std::vector<std::pair<std::string, Fault>> faults;

    std::mutex stopMutex;  // guards stopping, waited for on stopCondition
    std::condition_variable stopCondition;
    bool stopping = false;

    // Connections by the client's port: when each was first seen, since when it has been reading its next
    // request (or waiting for a worker), and whether it is being answered. Written by the workers and the
    // watchdog; guarded by connectionMutex.
    struct Connection {
        std::chrono::steady_clock::time_point seen;
        std::chrono::steady_clock::time_point since;
        bool answering = false;
    };
    std::mutex connectionMutex;
    std::map<int, Connection> connections;
    // Connections a worker is serving now (reading, answering or keeping alive).
    std::atomic<int> served{0};
    std::thread watchdog;

    void connectionAnswering(int client, bool answering) {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(connectionMutex);
        auto [it, added] = connections.try_emplace(client, Connection{now, now, answering});
        it->second.since = now;
        it->second.answering = answering;
    }

    // Disconnects the clients that have been sending one request for longer than the bound. Only the
    // connections a worker is reading count: the workers take connections in the order they were
    // accepted, so of those not being answered, the oldest ones are the ones being read and the others
    // wait for a worker (their time starts when they get one).
    void cutSlowClients() {
        const auto open = acceptedConnections(port);
        const auto now = std::chrono::steady_clock::now();
        std::vector<std::pair<int, int>> slow;
        {
            std::lock_guard lock(connectionMutex);
            std::erase_if(connections, [&](const auto& entry) {
                return std::none_of(open.begin(), open.end(), [&](const auto& c) { return c.second == entry.first; });
            });
            struct Reading {
                int fd;
                int client;
                Connection* connection;
            };
            std::vector<Reading> reading;
            int answering = 0;
            for (const auto& [fd, client] : open) {
                auto& connection = connections.try_emplace(client, Connection{now, now, false}).first->second;
                if (connection.answering) {
                    ++answering;
                } else {
                    reading.push_back({fd, client, &connection});
                }
            }
            // Seen in one sweep: the lower descriptor was accepted first (the lowest free one is taken).
            std::sort(reading.begin(), reading.end(), [](const Reading& a, const Reading& b) {
                return std::tie(a.connection->seen, a.fd) < std::tie(b.connection->seen, b.fd);
            });
            const auto inWorkers = static_cast<std::size_t>(std::max(0, served.load() - answering));
            for (std::size_t i = 0; i < reading.size(); ++i) {
                Connection& connection = *reading[i].connection;
                if (i >= inWorkers) {
                    connection.since = now;  // still waiting for a worker
                } else if (now - connection.since > options.requestReadTimeout) {
                    connection.since = now;
                    slow.emplace_back(reading[i].fd, reading[i].client);
                }
            }
        }
        for (const auto& [fd, client] : slow) {
            // The worker may have closed the socket meanwhile and the number be another socket's now.
            if (localPort(fd) != port || peerPort(fd) != client) continue;
            if (options.logToStderr) std::fprintf(stderr, "a client took too long to send its request; disconnected\n");
            shutdown(fd, SHUT_RDWR);
        }
    }

    void watch() {
        const auto period =
            std::clamp(options.requestReadTimeout / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(1000));
        std::unique_lock lock(stopMutex);
        while (!stopCondition.wait_for(lock, period, [this] { return stopping; })) {
            lock.unlock();
            cutSlowClients();
            lock.lock();
        }
    }

    // Waits for `d`; false when the server stopped first.
    bool pause(std::chrono::milliseconds d) {
        if (d.count() <= 0) return true;
        std::unique_lock lock(stopMutex);
        return !stopCondition.wait_for(lock, d, [this] { return stopping; });
    }

    std::optional<Fault> takeFault(const std::string& path, const std::string& method) {
        std::lock_guard lock(faultMutex);
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->first != path) continue;
            if (!it->second.method.empty() && it->second.method != method) continue;
            Fault fault = it->second;
            if (it->second.times > 0 && --it->second.times == 0) faults.erase(it);
            return fault;
        }
        return std::nullopt;
    }

    void answer(const httplib::Request& req, httplib::Response& res, Reply reply) {
        if (!pause(reply.delay)) {
            shutDownConnections(port, req.remote_port);
            return;
        }
        if (reply.dropConnection) {
            shutDownConnections(port, req.remote_port);
            res.status = 500;
            return;
        }
        res.status = reply.status;
        // These answers have no body by definition; sending one would corrupt the next answer on the connection.
        if (reply.status < 200 || reply.status == 204 || reply.status == 304) {
            reply.body.clear();
            reply.generatedBodySize.reset();
        }
        for (const auto& [name, value] : reply.headers) res.set_header(name, value);
        if (reply.cutBodyAfter && !reply.generatedBodySize) {
            auto body = std::make_shared<std::string>(std::move(reply.body));
            const std::size_t sent = std::min(*reply.cutBodyAfter, body->size());
            res.set_content_provider(body->size(), reply.contentType,
                                     [body, sent](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                         if (offset >= sent) return false;  // closes the connection
                                         return sink.write(body->data() + offset, std::min(length, sent - offset));
                                     });
            return;
        }
        if (reply.generatedBodySize) {
            const std::size_t total = *reply.generatedBodySize;
            if (reply.chunked) {
                res.set_chunked_content_provider(reply.contentType,
                                                 [total](std::size_t offset, httplib::DataSink& sink) {
                                                     if (offset >= total) {
                                                         sink.done();
                                                         return true;
                                                     }
                                                     char buffer[16384];
                                                     const std::size_t n = std::min(sizeof buffer, total - offset);
                                                     fillPattern(buffer, offset, n);
                                                     return sink.write(buffer, n);
                                                 });
            } else {
                res.set_content_provider(total, reply.contentType,
                                         [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                             char buffer[16384];
                                             const std::size_t n = std::min(sizeof buffer, length);
                                             fillPattern(buffer, offset, n);
                                             return sink.write(buffer, n);
                                         });
            }
        } else if (!reply.body.empty()) {
            // Compressed here, only when worth it (see Compression.h). The body goes out through a provider
            // with its length, which the HTTP library sends as it is, never compressing it again itself.
            auto body = std::make_shared<std::string>(std::move(reply.body));
            if (auto encoded = compression::encode(*body, reply.contentType, req.get_header_value("Accept-Encoding"))) {
                res.set_header("Content-Encoding", encoded->contentEncoding);
                *body = std::move(encoded->body);
            }
            res.set_content_provider(body->size(), reply.contentType,
                                     [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                         return sink.write(body->data() + offset, length);
                                     });
        } else if (reply.status >= 200 && reply.status != 204 && reply.status != 304) {
            res.set_content(reply.body, reply.contentType);
        }
    }

    bool control(const httplib::Request& req, httplib::Response& res) {
        if (req.path.rfind("/_devserver/", 0) != 0) return false;
        if (req.path == "/_devserver/health" && req.method == "GET") {
            res.set_content(nlohmann::json{{"status", "ok"}, {"services", serviceNames}}.dump(), "application/json");
        } else if (req.path == "/_devserver/requests" && req.method == "GET") {
            nlohmann::json all = nlohmann::json::array();
            for (const auto& r : log.entries()) all.push_back(toJSON(r));
            res.set_content(all.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
        } else if (req.path == "/_devserver/requests" && req.method == "DELETE") {
            log.clear();
            res.status = 204;
        } else if (req.path == "/_devserver/faults" && req.method == "POST") {
            auto body = nlohmann::json::parse(req.body, nullptr, false);
            if (body.is_discarded() || !body.is_object() || !body.contains("path") || !body["path"].is_string()) {
                res.status = 400;
                res.set_content(R"({"error":"expected a JSON object with a text \"path\""})", "application/json");
                return true;
            }
            Fault fault;
            if (body.contains("status")) {
                fault.status = httpStatus(body["status"]);
                if (!fault.status) {
                    res.status = 400;
                    res.set_content(R"({"error":"\"status\" must be an HTTP status, a whole number from 100 to 599"})",
                                    "application/json");
                    return true;
                }
            }
            if (body.contains("delayMs") &&
                !(body["delayMs"].is_number_integer() && body["delayMs"].get<long long>() >= 0)) {
                res.status = 400;
                res.set_content(R"({"error":"\"delayMs\" must be a whole number of milliseconds, 0 or more"})",
                                "application/json");
                return true;
            }
            if (body.contains("cutBodyAfter") && !body["cutBodyAfter"].is_number_unsigned()) {
                res.status = 400;
                res.set_content(R"({"error":"\"cutBodyAfter\" must be a whole number of bytes, 0 or more"})",
                                "application/json");
                return true;
            }
            if (body.contains("times") && !body["times"].is_number_integer()) {
                res.status = 400;
                res.set_content(R"({"error":"\"times\" must be a whole number"})", "application/json");
                return true;
            }
            try {
                if (body.contains("body")) fault.body = body["body"].get<std::string>();
                if (body.contains("delayMs")) fault.delay = std::chrono::milliseconds(body["delayMs"].get<long long>());
                if (body.contains("drop")) fault.dropConnection = body["drop"].get<bool>();
                if (body.contains("cutBodyAfter")) fault.cutBodyAfter = body["cutBodyAfter"].get<std::size_t>();
                if (body.contains("times")) {
                    fault.times =
                        static_cast<int>(std::clamp<long long>(body["times"].get<long long>(), -1, 1'000'000));
                }
                if (body.contains("method")) fault.method = body["method"].get<std::string>();
            } catch (const nlohmann::json::exception& e) {
                res.status = 400;
                res.set_content(nlohmann::json{{"error", std::string("bad fault field: ") + e.what()}}.dump(),
                                "application/json");
                return true;
            }
            {
                std::lock_guard lock(faultMutex);
                faults.emplace_back(body["path"].get<std::string>(), fault);
            }
            res.status = 201;
            res.set_content(R"({"status":"ok"})", "application/json");
        } else if (req.path == "/_devserver/faults" && req.method == "DELETE") {
            std::lock_guard lock(faultMutex);
            faults.clear();
            res.status = 204;
        } else {
            res.status = 404;
            res.set_content(R"({"error":"unknown control endpoint"})", "application/json");
        }
        return true;
    }

    void handle(const httplib::Request& req, httplib::Response& res) {
        connectionAnswering(req.remote_port, true);
        if (control(req, res)) return;
        RecordedRequest recorded;
        recorded.method = req.method;
        recorded.path = req.path;
        if (auto q = req.target.find('?'); q != std::string::npos) recorded.query = req.target.substr(q + 1);
        recorded.queryParameters = parseQuery(recorded.query);
        for (const auto& [name, value] : req.headers) {
            if (!isPseudoHeader(name)) recorded.headers.emplace_back(name, value);
        }
        recorded.body = req.body;
        const Router::Route* route = router.match(req.method, req.path);
        if (route) recorded.service = route->service;
        log.record(recorded);
        if (options.logToStderr) std::fprintf(stderr, "%s %s\n", req.method.c_str(), req.target.c_str());

        std::optional<std::size_t> cutBodyAfter;
        if (auto fault = takeFault(req.path, req.method)) {
            if (fault->dropConnection || fault->status) {
                Reply reply;
                reply.delay = fault->delay;
                reply.dropConnection = fault->dropConnection;
                reply.cutBodyAfter = fault->cutBodyAfter;
                reply.status = fault->status.value_or(500);
                reply.body = fault->body.value_or(R"({"error":"injected fault"})");
                answer(req, res, std::move(reply));
                return;
            }
            if (!pause(fault->delay)) {
                shutDownConnections(port, req.remote_port);
                return;
            }
            cutBodyAfter = fault->cutBodyAfter;
        }
        if (!route) {
            answer(req, res,
                   Reply::json(
                       404, nlohmann::json{{"error", "no route"}, {"method", req.method}, {"path", req.path}}.dump()));
            return;
        }
        Reply reply = route->handler(recorded);
        if (cutBodyAfter) reply.cutBodyAfter = cutBodyAfter;
        answer(req, res, std::move(reply));
    }
};

Server::Server(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Server::~Server() {
    stop();
}

std::expected<std::shared_ptr<Server>, std::string> Server::start(Options options) {
    std::signal(SIGPIPE, SIG_IGN);
    auto impl = std::make_unique<Impl>();
    impl->options = std::move(options);
    if (impl->options.echo) impl->options.services.insert(impl->options.services.begin(), makeEchoService());
    for (const auto& service : impl->options.services) {
        if (!service) continue;
        impl->router.setService(service->name());
        service->registerRoutes(impl->router);
        impl->serviceNames.push_back(service->name());
    }

    const bool tls = !impl->options.tlsCertificateFile.empty() || !impl->options.tlsKeyFile.empty();
    if (tls) {
        auto server = std::make_unique<httplib::SSLServer>(impl->options.tlsCertificateFile.c_str(),
                                                           impl->options.tlsKeyFile.c_str());
        if (!server->is_valid()) {
            return std::unexpected("cannot use the TLS certificate \"" + impl->options.tlsCertificateFile +
                                   "\" with the key \"" + impl->options.tlsKeyFile + "\"");
        }
        impl->http = std::move(server);
    } else {
        impl->http = std::make_unique<httplib::Server>();
    }

    Impl* self = impl.get();
    const int threads = std::max(2, impl->options.threads);
    impl->http->new_task_queue = [threads, self] {
        return new CountingTaskQueue(static_cast<std::size_t>(threads), self->served);
    };
    // Small answers are written in two pieces (head, body); without this each would wait for a delayed ACK.
    impl->http->set_tcp_nodelay(true);
    impl->http->set_keep_alive_max_count(1000);
    impl->http->set_keep_alive_timeout(5);
    impl->http->set_payload_max_length(256u * 1024u * 1024u);
    // cpp-httplib listens with a backlog of 5, which drops the connections of a burst of concurrent
    // clients for a second (SYN retry); the listening socket is captured here and its backlog raised below.
    auto listeningSocket = std::make_shared<int>(-1);
    // The library's default options share the port (SO_REUSEPORT), so a second server on a port in use
    // would start and take half of the first one's requests; only the address is reused here, so a port
    // in use makes the bind fail.
    impl->http->set_socket_options([listeningSocket](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        *listeningSocket = sock;
    });
    // The logger runs once an answer has been sent: from then on the connection reads its next request.
    impl->http->set_logger([self](const httplib::Request& req, const httplib::Response&) {
        self->connectionAnswering(req.remote_port, false);
    });
    auto handler = [self](const httplib::Request& req, httplib::Response& res) { self->handle(req, res); };
    const std::string any = R"(.*)";
    impl->http->Get(any, handler);
    impl->http->Post(any, handler);
    impl->http->Put(any, handler);
    impl->http->Patch(any, handler);
    impl->http->Delete(any, handler);
    impl->http->Options(any, handler);
    impl->http->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown exception";
        try {
            if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        res.status = 500;
        res.set_content(nlohmann::json{{"error", what}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                        "application/json");
    });

    const std::string& host = impl->options.host;
    if (impl->options.port == 0) {
        impl->port = impl->http->bind_to_any_port(host);
        if (impl->port <= 0) return std::unexpected("cannot bind " + host + " to a free port");
    } else {
        if (!impl->http->bind_to_port(host, impl->options.port)) {
            return std::unexpected("cannot bind " + host + ":" + std::to_string(impl->options.port) +
                                   ": the port is in use (or the address is not this machine's)");
        }
        impl->port = impl->options.port;
    }
    if (*listeningSocket >= 0) listen(*listeningSocket, 1024);
    impl->running = true;
    impl->thread = std::thread([self] {
        self->http->listen_after_bind();
        self->running = false;
    });
    impl->watchdog = std::thread([self] { self->watch(); });
    return std::shared_ptr<Server>(new Server(std::move(impl)));
}

int Server::port() const {
    return impl_->port;
}
const std::string& Server::host() const {
    return impl_->options.host;
}
std::string Server::baseURL() const {
    const bool tls = !impl_->options.tlsCertificateFile.empty();
    return (tls ? "https://" : "http://") + impl_->options.host + ":" + std::to_string(impl_->port);
}
RequestLog& Server::requestLog() {
    return impl_->log;
}

void Server::injectFault(std::string path, Fault fault) {
    std::lock_guard lock(impl_->faultMutex);
    impl_->faults.emplace_back(std::move(path), std::move(fault));
}

void Server::clearFaults() {
    std::lock_guard lock(impl_->faultMutex);
    impl_->faults.clear();
}

bool Server::isRunning() const {
    return impl_->running.load();
}

void Server::stop() {
    {
        std::lock_guard lock(impl_->stopMutex);
        if (impl_->stopping) return;
        impl_->stopping = true;
    }
    impl_->stopCondition.notify_all();
    // Wait until the accept loop runs, so that stop() is not lost before it starts.
    while (impl_->running && !impl_->http->is_running()) std::this_thread::yield();
    impl_->http->stop();
    shutDownConnections(impl_->port, -1);
    if (impl_->thread.joinable()) impl_->thread.join();
    if (impl_->watchdog.joinable()) impl_->watchdog.join();
}

void Server::wait() {
    if (impl_->thread.joinable()) {
        std::unique_lock lock(impl_->stopMutex);
        impl_->stopCondition.wait(lock, [this] { return impl_->stopping; });
    }
}

}  // namespace devserver
