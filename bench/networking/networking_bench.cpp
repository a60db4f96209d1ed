// Run: build/release/bench/networking/networking_bench
//
// HTTP round trips on loopback to a minimal keep-alive server, in one run:
//   BareCurl            one reused libcurl easy handle, GET and collect the body, on the calling thread;
//   PlatformURLSession  foundation::URLSession alone (libcurl multi handle on its I/O thread, completion
//                       on the session's worker queue);
//   KitRequestData      the kit's NetworkService -> URLSessionNetworkRequestHandler -> URLSession;
//   KitDecoded          the same, with the body decoded into a model.
// Goal: the kit adds under 10% to the round trip. Compare KitRequestData with PlatformURLSession for the
// kit's own share, and with BareCurl for the whole stack (the session's thread hand-offs included).
//
// PHDiff on 1e4 and 1e5 elements (with moves, inserts, deletes and updates): time per element should
// stay flat (the complexity fit reports O(N)).

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "kitfoundation/networking/NetworkService.h"
#include "kitfoundation/PHDiff.h"

namespace {

constexpr const char* kBody = R"({"name":"Ada","count":3,"items":[1,2,3,4,5,6,7,8]})";

// A minimal keep-alive HTTP/1.1 server on 127.0.0.1 that answers every request with one JSON body in a
// single write, with TCP_NODELAY: the round trip measures the clients, not the server's write pattern.
class LoopbackServer {
  public:
    LoopbackServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0) {
            std::perror("loopback server");
            std::abort();
        }
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        std::thread([this] { acceptLoop(); }).detach();
    }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    void acceptLoop() {
        for (;;) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            std::thread([fd] { serve(fd); }).detach();
        }
    }
    static void serve(int fd) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const std::string body = kBody;
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n\r\n" + body;
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
                pending.erase(0, end + 4);
                if (::write(fd, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size())) {
                    ::close(fd);
                    return;
                }
            }
        }
        ::close(fd);
    }
    int listener_ = -1;
    int port_ = 0;
};

LoopbackServer& server() {
    static LoopbackServer s;
    return s;
}

size_t collect(char* ptr, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(ptr, size * count);
    return size * count;
}

void BareCurl(benchmark::State& state) {
    const std::string url = server().baseURL() + "/bench";
    CURL* easy = curl_easy_init();
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("transfer failed");
        benchmark::DoNotOptimize(body.data());
    }
    curl_easy_cleanup(easy);
}
BENCHMARK(BareCurl)->UseRealTime()->MinTime(2.0);

struct Profile {
    std::string name;
    int count = 0;
    std::vector<int> items;
    static Profile decode(const foundation::KeyedDecodingContainer& c) {
        return Profile{c.decode<std::string>("name"), c.decode<int>("count"), c.decode<std::vector<int>>("items")};
    }
};

// Waits on the calling thread for a completion that runs on the session's worker queue.
class Waiter {
  public:
    void signal() {
        std::lock_guard lock(mutex_);
        done_ = true;
        cv_.notify_one();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return done_; });
        done_ = false;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
};

template <bool decode>
void Kit(benchmark::State& state) {
    auto session = foundation::URLSession::create();
    auto service = lumora::NetworkService::create(lumora::URLSessionNetworkRequestHandler::create(session));
    auto request = std::make_shared<lumora::NetworkRequest>(lumora::HTTPMethod::get, server().baseURL(), "/bench");
    Waiter waiter;
    bool ok = true;
    for (auto _ : state) {
        if constexpr (decode) {
            service->request<Profile>(request, [&](std::expected<Profile, foundation::Error> r) {
                ok = r.has_value();
                waiter.signal();
            });
        } else {
            service->requestData(request, [&](lumora::NetworkResult r) {
                ok = r.has_value();
                waiter.signal();
            });
        }
        waiter.wait();
        if (!ok) state.SkipWithError("request failed");
    }
    session->invalidateAndCancel();
}
// The platform session alone, for telling the kit's own share from the session's.
void PlatformURLSession(benchmark::State& state) {
    auto session = foundation::URLSession::create();
    const foundation::URLRequest request(*foundation::URL::fromString(server().baseURL() + "/bench"));
    Waiter waiter;
    bool ok = true;
    for (auto _ : state) {
        session
            ->dataTask(request,
                       [&](std::optional<foundation::Data> data, std::optional<foundation::HTTPURLResponse>,
                           std::optional<foundation::Error>) {
                           ok = data.has_value();
                           waiter.signal();
                       })
            ->resume();
        waiter.wait();
        if (!ok) state.SkipWithError("request failed");
    }
    session->invalidateAndCancel();
}
BENCHMARK(PlatformURLSession)->UseRealTime()->MinTime(2.0);

void KitRequestData(benchmark::State& state) {
    Kit<false>(state);
}
void KitDecoded(benchmark::State& state) {
    Kit<true>(state);
}
BENCHMARK(KitRequestData)->UseRealTime()->MinTime(2.0);
BENCHMARK(KitDecoded)->UseRealTime()->MinTime(2.0);

struct Item {
    int id = 0;
    int payload = 0;
    int diffIdentifier() const { return id; }
    friend bool operator==(const Item&, const Item&) = default;
};

void Diff(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    std::vector<Item> from;
    from.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) from.push_back({k, 0});
    std::mt19937 rng(42);
    std::vector<Item> to = from;
    // About 10% deleted, 10% inserted, 10% updated, and a tenth of the list shuffled.
    std::shuffle(to.begin() + n / 3, to.begin() + n / 3 + n / 10, rng);
    for (int k = 0; k < n / 10; ++k) to[static_cast<std::size_t>((k * 7919) % to.size())].payload = 1;
    std::vector<Item> edited;
    for (std::size_t k = 0; k < to.size(); ++k) {
        if (k % 10 == 3) continue;
        edited.push_back(to[k]);
        if (k % 10 == 5) edited.push_back({n + static_cast<int>(k), 0});
    }
    for (auto _ : state) {
        auto steps = lumora::PHDiff::steps(from, edited);
        benchmark::DoNotOptimize(steps.data());
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(Diff)->Arg(10'000)->Arg(100'000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
