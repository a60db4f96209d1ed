// HTTP round trip on loopback through foundation::URLSession and through a bare libcurl easy handle,
// the same GET against the in-process devserver, in one run. Prints the ratio of the two at the end.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <condition_variable>
#include <cstdio>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "devserver/Server.h"
#include "foundation/URLSession.h"

namespace {

std::shared_ptr<devserver::Server>& server() {
    static auto s = [] {
        auto started = devserver::Server::start({.threads = 8});
        if (!started) {
            std::fprintf(stderr, "devserver: %s\n", started.error().c_str());
            std::abort();
        }
        return *started;
    }();
    return s;
}

std::string target(int bytes) {
    return server()->baseURL() + "/echo/bytes?count=" + std::to_string(bytes);
}

void URLSessionRoundTrip(benchmark::State& state) {
    const auto url = *foundation::URL::fromString(target(static_cast<int>(state.range(0))));
    auto session = foundation::URLSession::create();
    for (auto _ : state) {
        std::promise<std::size_t> done;
        session->dataTask(url, [&done](auto data, auto, auto error) { done.set_value(error ? 0 : data->size()); })
            ->resume();
        if (done.get_future().get() != static_cast<std::size_t>(state.range(0))) state.SkipWithError("request failed");
    }
}

size_t sink(char*, size_t size, size_t count, void* user) {
    *static_cast<std::size_t*>(user) += size * count;
    return size * count;
}

void BareCurlRoundTrip(benchmark::State& state) {
    const std::string url = target(static_cast<int>(state.range(0)));
    CURL* easy = curl_easy_init();
    std::size_t received = 0;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &sink);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
    for (auto _ : state) {
        received = 0;
        if (curl_easy_perform(easy) != CURLE_OK || received != static_cast<std::size_t>(state.range(0))) {
            state.SkipWithError("request failed");
        }
    }
    curl_easy_cleanup(easy);
}

// The same easy handle driven by one worker thread that the caller hands each request to and waits on:
// the least any design with worker-thread input and output pays (two thread hand-overs per request,
// where URLSession makes three: to the I/O thread, to the delegate queue, back to the waiting caller).
void BareCurlOnWorkerThread(benchmark::State& state) {
    const std::string url = target(static_cast<int>(state.range(0)));
    std::mutex mutex;
    std::condition_variable cv;
    bool requested = false, answered = false, stop = false;
    std::size_t received = 0;
    std::thread worker([&] {
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &sink);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
        std::unique_lock lock(mutex);
        for (;;) {
            cv.wait(lock, [&] { return requested || stop; });
            if (stop) break;
            requested = false;
            received = 0;
            lock.unlock();
            curl_easy_perform(easy);
            lock.lock();
            answered = true;
            cv.notify_all();
        }
        curl_easy_cleanup(easy);
    });
    for (auto _ : state) {
        std::unique_lock lock(mutex);
        requested = true;
        cv.notify_all();
        cv.wait(lock, [&] { return answered; });
        answered = false;
        if (received != static_cast<std::size_t>(state.range(0))) state.SkipWithError("request failed");
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    cv.notify_all();
    worker.join();
}

BENCHMARK(BareCurlRoundTrip)->Arg(64)->Arg(64 * 1024)->UseRealTime();
BENCHMARK(BareCurlOnWorkerThread)->Arg(64)->Arg(64 * 1024)->UseRealTime();
BENCHMARK(URLSessionRoundTrip)->Arg(64)->Arg(64 * 1024)->UseRealTime();

// Keeps each run's mean real time so that main can print the ratios.
class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    server();
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    for (const char* size : {"64", "65536"}) {
        const std::string bare = std::string("BareCurlRoundTrip/") + size + "/real_time";
        const std::string worker = std::string("BareCurlOnWorkerThread/") + size + "/real_time";
        const std::string session = std::string("URLSessionRoundTrip/") + size + "/real_time";
        if (collector.times.count(bare) && collector.times.count(session)) {
            std::printf("URLSession / bare libcurl, %s-byte body: %.3f\n", size,
                        collector.times[session] / collector.times[bare]);
        }
        if (collector.times.count(worker) && collector.times.count(session)) {
            std::printf("URLSession / bare libcurl on a worker thread, %s-byte body: %.3f\n", size,
                        collector.times[session] / collector.times[worker]);
        }
    }
    server()->stop();
    benchmark::Shutdown();
    return 0;
}
