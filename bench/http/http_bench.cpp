// A small GET on a reused connection through foundation::URLSession, against bare libcurl doing the same.
//
// Wall time, side by side in interleaved rounds (the server in its own process):
//   URLSession                       the caller resumes a data task and waits for its completion, which the
//                                    I/O thread hands to the session's delegate queue;
//   bare libcurl, same hand-overs    the caller hands the request to a worker thread running one reused easy
//                                    handle, which hands the answer to a second thread, which hands it back
//                                    to the caller: the three hand-overs URLSession makes.
// Goal: URLSession within 1.10x.
//
// Instructions per request (callgrind, user space, every thread of the process): URLSession against one
// reused easy handle on the calling thread (no threads at all). Goal: within 1.3x.
//
// Run: build/release/bench/http/http_bench [--rounds N]
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "HttpSides.h"

namespace {

constexpr int kRequestsPerRound = 300;
constexpr int kCountedRequests = 2000;

// A thread that runs the blocks handed to it, one at a time.
class Worker {
  public:
    Worker() : thread_([this] { loop(); }) {}
    ~Worker() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_one();
        thread_.join();
    }
    void post(std::function<void()> block) {
        {
            std::lock_guard lock(mutex_);
            block_ = std::move(block);
        }
        cv_.notify_one();
    }

  private:
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            cv_.wait(lock, [&] { return stop_ || block_; });
            if (stop_) return;
            auto block = std::move(block_);
            block_ = nullptr;
            lock.unlock();
            block();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::function<void()> block_;
    bool stop_ = false;
    std::thread thread_;
};

class HandOverSide {
  public:
    explicit HandOverSide(const std::string& url) : easy_(url) {}
    void run(int n) {
        for (int i = 0; i < n; ++i) {
            bool ok = false;
            io_.post([&] {
                const bool answered = easy_.get();
                delegate_.post([&, answered] {
                    ok = answered;
                    latch_.signal();
                });
            });
            latch_.wait();
            if (!ok) std::abort();
        }
    }

  private:
    bench::EasyHandle easy_;
    Worker io_;
    Worker delegate_;
    bench::Latch latch_;
};

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (bench::instructionMode(argc, argv)) {
        const std::string url = *bench::option(argc, argv, "--server") + "/bench";
        bench::SessionGets session(foundation::URLSession::create(), url);
        bench::EasyHandle easy(url);
        session.run(100);
        for (int i = 0; i < 100; ++i) easy.get();
        bench::countInstructions("URLSession", [&] { session.run(kCountedRequests); });
        bench::countInstructions("bare easy handle", [&] {
            for (int i = 0; i < kCountedRequests; ++i) easy.get();
        });
        return 0;
    }

    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("15"));
    bench::ServerProcess server("loopback");
    const std::string url = server.baseURL() + "/bench";
    {
        bench::SessionGets session(foundation::URLSession::create(), url);
        HandOverSide handOver(url);
        const std::vector<bench::Side> sides{{"URLSession", [&](int n) { session.run(n); }},
                                             {"bare libcurl, same hand-overs", [&](int n) { handOver.run(n); }}};
        const auto perOp = bench::interleave(sides, rounds, kRequestsPerRound);
        bench::printWall("Small GET, connection reused, " + std::to_string(kRequestsPerRound) + " requests a round",
                         sides, perOp, 0, 1, 1.10);
    }
    if (auto counts = bench::runUnderCallgrind({"--instructions", "--server", server.baseURL()})) {
        bench::printInstructions("Small GET, user-space instructions", *counts, "URLSession", "bare easy handle",
                                 kCountedRequests, 1.3);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    return 0;
}
