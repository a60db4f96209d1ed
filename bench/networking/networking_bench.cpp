// The kit's network service on a small GET with a reused connection (the server in its own process):
//   kit, raw answer       NetworkService -> URLSessionNetworkRequestHandler -> URLSession (request mapped,
//                         interceptors, status checked);
//   kit, decoded model    the same, the body decoded into a model;
//   URLSession            the platform session alone, for the kit's own share.
// Wall time in interleaved rounds; instructions per request (callgrind, user space, every thread) against one
// reused easy handle on the calling thread (goal: within 1.3x): the kit's raw answer against the handle's
// body, the kit's decoded model against the handle's body read into the same model with simdjson (the parser
// the kit decodes with: one parse, each field checked for its type and copied out), which is the work a
// decoded model takes whoever makes it; the decoded model against the bare body is shown for scale.
//
// Run: build/release/bench/networking/networking_bench [--rounds N]
#include <curl/curl.h>
#include <simdjson.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "HttpSides.h"
#include "kitfoundation/networking/NetworkService.h"

namespace {

constexpr int kRequestsPerRound = 300;
constexpr int kCountedRequests = 2000;

struct Profile {
    std::string name;
    int count = 0;
    std::vector<int> items;
    static Profile decode(const foundation::KeyedDecodingContainer& c) {
        return Profile{c.decode<std::string>("name"), c.decode<int>("count"), c.decode<std::vector<int>>("items")};
    }
};

// The easy handle's body read into a Profile with simdjson, each value checked as the kit's decoder checks it
// (a missing key or a value of another type or range fails); the parser is kept between documents, as the
// kit keeps its parsers.
bool decodeBare(const std::string& body, Profile& out) {
    static simdjson::dom::parser parser;
    simdjson::dom::object object;
    if (parser.parse(body).get(object) != simdjson::SUCCESS) return false;
    std::string_view name;
    std::int64_t count = 0;
    simdjson::dom::array items;
    if (object["name"].get(name) != simdjson::SUCCESS || object["count"].get(count) != simdjson::SUCCESS ||
        object["items"].get(items) != simdjson::SUCCESS || count < INT_MIN || count > INT_MAX) {
        return false;
    }
    out.name = std::string(name);
    out.count = static_cast<int>(count);
    out.items.clear();
    out.items.reserve(items.size());
    for (auto item : items) {
        std::int64_t value = 0;
        if (item.get(value) != simdjson::SUCCESS || value < INT_MIN || value > INT_MAX) return false;
        out.items.push_back(static_cast<int>(value));
    }
    return true;
}

class Kit {
  public:
    explicit Kit(const std::string& base)
        : session_(foundation::URLSession::create()),
          service_(lumora::NetworkService::create(lumora::URLSessionNetworkRequestHandler::create(session_))),
          request_(std::make_shared<lumora::NetworkRequest>(lumora::HTTPMethod::get, base, "/bench")),
          platform_(session_, base + "/bench") {}
    void raw(int n) {
        for (int i = 0; i < n; ++i) {
            bool ok = false;
            service_->requestData(request_, [&](lumora::NetworkResult r) {
                ok = r.has_value();
                latch_.signal();
            });
            latch_.wait();
            if (!ok) std::abort();
        }
    }
    void decoded(int n) {
        for (int i = 0; i < n; ++i) {
            bool ok = false;
            service_->request<Profile>(request_, [&](std::expected<Profile, foundation::Error> r) {
                ok = r.has_value() && r->items.size() == 8;
                latch_.signal();
            });
            latch_.wait();
            if (!ok) std::abort();
        }
    }
    void platform(int n) { platform_.run(n); }

  private:
    std::shared_ptr<foundation::URLSession> session_;
    std::shared_ptr<lumora::NetworkService> service_;
    std::shared_ptr<lumora::NetworkRequest> request_;
    bench::SessionGets platform_;  // the platform session alone, on the kit's own session
    bench::Latch latch_;
};

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (bench::instructionMode(argc, argv)) {
        const std::string base = *bench::option(argc, argv, "--server");
        Kit kit(base);
        bench::EasyHandle easy(base + "/bench");
        auto bare = [&](int n) {
            for (int i = 0; i < n; ++i) {
                if (!easy.get()) std::abort();
            }
        };
        auto bareDecoded = [&](int n) {
            for (int i = 0; i < n; ++i) {
                Profile profile;
                if (!easy.get() || !decodeBare(easy.body(), profile) || profile.items.size() != 8) std::abort();
            }
        };
        kit.raw(100);
        kit.decoded(100);
        bare(100);
        bareDecoded(100);
        bench::countInstructions("kit, raw answer", [&] { kit.raw(kCountedRequests); });
        bench::countInstructions("kit, decoded model", [&] { kit.decoded(kCountedRequests); });
        bench::countInstructions("bare easy handle", [&] { bare(kCountedRequests); });
        bench::countInstructions("bare easy handle, decoded by simdjson", [&] { bareDecoded(kCountedRequests); });
        return 0;
    }

    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("15"));
    bench::ServerProcess server("loopback");
    {
        Kit kit(server.baseURL());
        const std::vector<bench::Side> sides{{"kit, raw answer", [&](int n) { kit.raw(n); }},
                                             {"kit, decoded model", [&](int n) { kit.decoded(n); }},
                                             {"URLSession", [&](int n) { kit.platform(n); }}};
        const auto perOp = bench::interleave(sides, rounds, kRequestsPerRound);
        bench::printWall(
            "The kit's network service, small GET, " + std::to_string(kRequestsPerRound) + " requests a round", sides,
            perOp, 0, 2, 1.10);
    }
    if (auto counts = bench::runUnderCallgrind({"--instructions", "--server", server.baseURL()})) {
        bench::printInstructions("Network service, user-space instructions", *counts, "kit, raw answer",
                                 "bare easy handle", kCountedRequests, 1.3);
        bench::printInstructions("Network service with decoding, user-space instructions", *counts,
                                 "kit, decoded model", "bare easy handle, decoded by simdjson", kCountedRequests, 1.3);
        bench::printInstructions("Network service with decoding against the bare body alone (for scale)", *counts,
                                 "kit, decoded model", "bare easy handle", kCountedRequests, 0);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    return 0;
}
