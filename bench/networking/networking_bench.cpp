// The kit's network service on a small GET with a reused connection (the server in its own process):
//   kit, raw answer       NetworkService -> URLSessionNetworkRequestHandler -> URLSession (request mapped,
//                         interceptors, status checked);
//   kit, decoded model    the same, the body decoded into a model;
//   URLSession            the platform session alone, for the kit's own share.
// Wall time in interleaved rounds; instructions per request (callgrind, user space, every thread) of the
// kit's raw answer against one reused easy handle on the calling thread (goal: within 1.3x).
//
// Run: build/release/bench/networking/networking_bench [--rounds N]
#include <curl/curl.h>

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
        kit.raw(100);
        kit.decoded(100);
        bare(100);
        bench::countInstructions("kit, raw answer", [&] { kit.raw(kCountedRequests); });
        bench::countInstructions("kit, decoded model", [&] { kit.decoded(kCountedRequests); });
        bench::countInstructions("bare easy handle", [&] { bare(kCountedRequests); });
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
                                 "kit, decoded model", "bare easy handle", kCountedRequests, 1.3);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    return 0;
}
