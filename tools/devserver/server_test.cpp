// The local back end's own rules: routing, fault injection, query decoding, and how it holds up under
// abuse (a port in use, clients that send too slowly, hostile fault requests). Every kit test trusts
// these rules, so a wrong one would let a kit test pass for the wrong reason.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "devserver/Server.h"

namespace devserver {
namespace {

using namespace std::chrono_literals;

std::shared_ptr<Server> startServer(Options options = {}) {
    auto started = Server::start(std::move(options));
    EXPECT_TRUE(started) << started.error();
    return started ? *started : nullptr;
}

httplib::Client client(const Server& server) {
    httplib::Client c("127.0.0.1", server.port());
    c.set_read_timeout(30, 0);
    c.set_connection_timeout(10, 0);
    return c;
}

int statusOf(const httplib::Result& result) {
    return result ? result->status : -1;
}

// A service whose routes answer with their own name, to see which one wins.
class NamedRoutes final : public Service {
  public:
    std::string name() const override { return "named"; }
    void registerRoutes(Router& router) override {
        for (const auto& [method, pattern] : std::vector<std::pair<std::string, std::string>>{
                 {"GET", "/a/exact"}, {"GET", "/a/*"}, {"*", "/a/exact"}, {"POST", "/b"}, {"*", "/*"}}) {
            router.add(method, pattern,
                       [method, pattern](const RecordedRequest&) { return Reply::text(200, method + " " + pattern); });
        }
    }
};

TEST(Router, TheFirstMatchingRouteWinsAndAStarPatternMatchesWholeSegmentsBelowIt) {
    Router router;
    NamedRoutes().registerRoutes(router);
    auto winner = [&](std::string_view method, std::string_view path) {
        const auto* route = router.match(method, path);
        return route ? route->method + " " + route->pattern : std::string("none");
    };
    EXPECT_EQ(winner("GET", "/a/exact"), "GET /a/exact");
    EXPECT_EQ(winner("HEAD", "/a/exact"), "GET /a/exact");  // HEAD is answered by the GET route
    EXPECT_EQ(winner("POST", "/a/exact"), "* /a/exact");
    EXPECT_EQ(winner("GET", "/a/b/c.m3u8"), "GET /a/*");
    EXPECT_EQ(winner("GET", "/a/"), "GET /a/*");
    EXPECT_EQ(winner("GET", "/a"), "* /*");     // the prefix keeps its slash: "/a" is not below "/a/"
    EXPECT_EQ(winner("GET", "/ab/c"), "* /*");  // nor is "/ab/c"
    EXPECT_EQ(winner("POST", "/b"), "POST /b");
    EXPECT_EQ(winner("GET", "/b"), "* /*");
    EXPECT_EQ(winner("DELETE", "/"), "* /*");

    Router empty;
    EXPECT_EQ(empty.match("GET", "/"), nullptr);
}

TEST(ServerRules, FaultsApplyToTheNextRequestsOfTheirPathAndMethodThenTheRealAnswerReturns) {
    auto server = startServer();
    ASSERT_TRUE(server);
    auto c = client(*server);
    server->injectFault("/echo", {.status = 503, .times = 2, .method = "GET"});
    EXPECT_EQ(statusOf(c.Post("/echo", "x", "text/plain")), 200);  // another method: not counted
    EXPECT_EQ(statusOf(c.Get("/echo?x=1")), 503);                  // the query does not matter
    EXPECT_EQ(statusOf(c.Get("/echo")), 503);
    EXPECT_EQ(statusOf(c.Get("/echo")), 200);
    EXPECT_EQ(statusOf(c.Get("/echo/bytes?count=1")), 200);  // a path matches exactly

    server->injectFault("/echo", {.status = 418, .body = std::string("teapot"), .times = 0});
    for (int i = 0; i < 3; ++i) {
        auto answer = c.Get("/echo");
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 418);
        EXPECT_EQ(answer->body, "teapot");
    }
    server->clearFaults();
    EXPECT_EQ(statusOf(c.Get("/echo")), 200);

    // An answer cut mid-body: its length announced, part of it sent, the connection closed.
    server->injectFault("/echo", {.cutBodyAfter = 5});
    auto cut = c.Get("/echo");
    EXPECT_FALSE(cut);
    EXPECT_EQ(cut.error(), httplib::Error::Read);
    server->injectFault("/echo", {.status = 200, .body = std::string(R"({"access_token":"abc"})"), .cutBodyAfter = 8});
    EXPECT_FALSE(c.Get("/echo"));
    EXPECT_EQ(statusOf(c.Get("/echo")), 200);

    // A delay alone slows the real answer; the log holds every request, faulted ones too.
    server->injectFault("/echo", {.delay = 50ms});
    auto delayed = c.Get("/echo");
    ASSERT_TRUE(delayed);
    EXPECT_EQ(delayed->status, 200);
    EXPECT_EQ(server->requestLog().entries("/echo").size(), 12u);
}

TEST(ServerRules, QueriesAreDecodedPairByPairWithPlusAsASpace) {
    auto server = startServer();
    ASSERT_TRUE(server);
    auto c = client(*server);
    c.set_url_encode(false);  // the query goes out as written
    ASSERT_EQ(statusOf(c.Get("/echo?a=1&b=%20x+y%2B&c&=v&d=%zz&e=%4&a=2&&f=%C3%A9")), 200);
    const auto request = server->requestLog().last();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->query, "a=1&b=%20x+y%2B&c&=v&d=%zz&e=%4&a=2&&f=%C3%A9");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a", "1"}, {"b", " x y+"}, {"c", ""}, {"", "v"}, {"d", "%zz"}, {"e", "%4"}, {"a", "2"}, {"f", "\xC3\xA9"}};
    EXPECT_EQ(request->queryParameters, expected);
    EXPECT_EQ(request->queryValue("a"), "1");  // the first of a repeated name
    EXPECT_EQ(request->queryValue("missing"), std::nullopt);
}

TEST(ServerRules, TheBearerTokenIsReadOnlyFromTheBearerScheme) {
    RecordedRequest request;
    EXPECT_EQ(request.bearerToken(), std::nullopt);
    request.headers = {{"authorization", "Bearer abc.def"}};
    EXPECT_EQ(request.bearerToken(), "abc.def");  // the field name in any case
    for (const char* field : {"Bearer ", "Bearer    ", "bearer abc", "Basic abc", "Bearerabc"}) {
        request.headers = {{"Authorization", field}};
        EXPECT_EQ(request.bearerToken(), std::nullopt) << field;
    }
}

TEST(ServerUnderStress, TheFaultEndpointRefusesWhatIsNotAnHTTPStatus) {
    auto server = startServer();
    ASSERT_TRUE(server);
    auto c = client(*server);
    auto post = [&](const std::string& body) { return c.Post("/_devserver/faults", body, "application/json"); };
    for (const char* status : {"-1", "0", "99", "600", "99999999999", "1.5", "\"500\"", "null", "true"}) {
        auto answer = post(std::string(R"({"path":"/echo","status":)") + status + "}");
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 400) << status;
        EXPECT_NE(answer->body.find("HTTP status"), std::string::npos) << answer->body;
    }
    for (const char* field :
         {R"("delayMs":-5)", R"("delayMs":"1")", R"("times":"2")", R"("times":1.5)", R"("cutBodyAfter":-1)"}) {
        EXPECT_EQ(statusOf(post(std::string(R"({"path":"/echo",)") + field + "}")), 400) << field;
    }
    EXPECT_EQ(statusOf(post("[1]")), 400);
    EXPECT_EQ(statusOf(c.Get("/echo")), 200);  // nothing refused was kept

    EXPECT_EQ(statusOf(post(R"({"path":"/echo","status":599,"times":2})")), 201);
    EXPECT_EQ(statusOf(c.Get("/echo")), 599);
    EXPECT_EQ(statusOf(c.Get("/echo")), 599);
    EXPECT_EQ(statusOf(c.Get("/echo")), 200);
    EXPECT_EQ(statusOf(post(R"({"path":"/echo","status":100})")), 201);
    EXPECT_EQ(statusOf(c.Delete("/_devserver/faults")), 204);
}

TEST(ServerUnderStress, ASecondServerOnAPortInUseFailsClearlyInsteadOfSharingIt) {
    auto first = startServer();
    ASSERT_TRUE(first);
    auto second = Server::start({.port = first->port()});
    ASSERT_FALSE(second) << "two servers share port " << first->port();
    EXPECT_NE(second.error().find(std::to_string(first->port()) + ": the port is in use"), std::string::npos)
        << second.error();
    // Every request still reaches the first server.
    auto c = client(*first);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(statusOf(c.Get("/echo")), 200);
    EXPECT_EQ(first->requestLog().count(), 8u);
}

// A client that sends the start of a request one byte at a time, as slowly as it may without any single
// read of the server's waiting long, until the server hangs up (or it gives up).
class DrippingClient {
  public:
    explicit DrippingClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        thread_ = std::thread([this] { drip(); });
    }
    ~DrippingClient() {
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    // Waits until the server hung up or the client gave up; true when the server hung up.
    bool wasDisconnected() {
        if (thread_.joinable()) thread_.join();
        return disconnected_;
    }

  private:
    void drip() {
        if (!connected_) return;
        const std::string start = "GET /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
        const auto giveUp = std::chrono::steady_clock::now() + 30s;
        std::size_t sent = 0;
        while (std::chrono::steady_clock::now() < giveUp) {
            const char byte = sent < start.size() ? start[sent] : 'x';
            if (::send(fd_, &byte, 1, MSG_NOSIGNAL) != 1) break;
            ++sent;
            // The pause between bytes is also the wait for the server to hang up.
            pollfd poll{fd_, POLLIN, 0};
            if (::poll(&poll, 1, 100) > 0) {
                char buffer[256];
                if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) break;
            }
        }
        disconnected_ = std::chrono::steady_clock::now() < giveUp;
    }

    int fd_ = -1;
    bool connected_ = false;
    bool disconnected_ = false;
    std::thread thread_;
};

TEST(ServerUnderStress, ClientsThatSendTooSlowlyAreDisconnectedAndCannotHoldEveryWorker) {
    auto server = startServer({.threads = 2, .requestReadTimeout = 300ms});
    ASSERT_TRUE(server);
    std::vector<std::unique_ptr<DrippingClient>> slow;
    for (int i = 0; i < 4; ++i) slow.push_back(std::make_unique<DrippingClient>(server->port()));
    // A normal request is answered although more slow clients than workers are connected.
    auto c = client(*server);
    EXPECT_EQ(statusOf(c.Get("/echo")), 200);
    for (auto& client : slow) EXPECT_TRUE(client->wasDisconnected());

    // An answer that takes long is not cut: the bound is on sending the request, not on answering it.
    server->injectFault("/echo", {.delay = 600ms});
    EXPECT_EQ(statusOf(c.Get("/echo")), 200);
}

}  // namespace
}  // namespace devserver
