// A program that ends while its HTTP transfers are still running, for the test that checks that the
// process exits cleanly: no thread of the HTTP engine or of the dispatch queues may read an object that
// the exit has already destroyed.
//
//   exit_while_loading <base URL> <tasks|downloads|clock-replaced|timers> <exit|return>
//
//   tasks           data tasks stream long bodies or wait for slow answers, on three kinds of delegate queue;
//   downloads       synchronous downloads stream long bodies on worker threads (their clock is their own);
//   clock-replaced  data tasks start under a manual clock, which is then replaced by the real one, as a test's
//                   clock scope does when it ends.
//   timers          the main run loop starts data tasks from timers and delayed blocks and takes their answers on
//                   the main queue; the program leaves with a repeating timer, delayed blocks and requests still
//                   pending.
// In every mode, blocks on the global queue and on a serial queue keep reading the clock. Once bodies are
// arriving the program leaves through std::exit or by returning from main. Exit status 0 when it got that
// far, 2 on bad arguments, 3 when no body arrived in time.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/Clock.h"
#include "dispatch/DispatchQueue.h"
#include "dispatch/RunLoop.h"
#include "dispatch/Timer.h"
#include "foundation/Date.h"
#include "foundation/URLSession.h"

namespace {

std::atomic<std::int64_t> downloaded{0};

}  // namespace

int main(int argc, char** argv) {
    // The host's own exit work, registered first so that it runs last: the process's threads keep running
    // meanwhile, after everything registered later has been destroyed.
    std::atexit([] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: exit_while_loading <base URL> <tasks|downloads|clock-replaced|timers> <exit|return>\n");
        return 2;
    }
    const std::string base = argv[1];
    const std::string mode = argv[2];
    const std::string how = argv[3];
    const std::string stream = base + "/echo/bytes?count=1000000000";

    std::vector<std::shared_ptr<foundation::URLSessionDataTask>> streaming;
    std::vector<std::shared_ptr<foundation::URLSession>> sessions;
    if (mode == "tasks" || mode == "clock-replaced") {
        if (mode == "clock-replaced") dispatch::Clock::setCurrent(std::make_shared<dispatch::ManualClock>());
        foundation::URLSessionConfiguration configuration;
        configuration.maximumResponseSize = std::size_t{1} << 31;
        // Answers on the process-wide worker queues, on a queue of the session's own, and on the global queue.
        sessions = {foundation::URLSession::create(configuration),
                    foundation::URLSession::create(configuration,
                                                   std::make_shared<dispatch::DispatchQueue>("exit-test.delegate")),
                    foundation::URLSession::create(configuration, dispatch::DispatchQueue::global())};
        for (std::size_t i = 0; i < 9; ++i) {
            const bool slow = i % 3 == 2;
            auto task = sessions[i % sessions.size()]->dataTask(
                *foundation::URL::fromString(slow ? base + "/echo?delayMs=5000" : stream), [](auto, auto, auto) {});
            task->resume();
            if (!slow) streaming.push_back(std::move(task));
        }
    } else if (mode == "downloads") {
        for (int i = 0; i < 4; ++i) {
            std::thread([url = *foundation::URL::fromString(stream)] {
                // Counts the bytes through a short transfer first, then stays in a long one.
                auto first = foundation::downloadSynchronously(
                    *foundation::URL::fromString(url.absoluteString().substr(0, url.absoluteString().find('?')) +
                                                 "?count=1000"),
                    30);
                if (first) downloaded += static_cast<std::int64_t>(first->size());
                (void)foundation::downloadSynchronously(url, 30, std::size_t{1} << 31);
            }).detach();
        }
    } else if (mode == "timers") {
        foundation::URLSessionConfiguration configuration;
        configuration.maximumResponseSize = std::size_t{1} << 31;
        sessions = {foundation::URLSession::create(configuration, dispatch::DispatchQueue::main())};
        auto startTask = [session = sessions.front(), &streaming](const std::string& url) {
            auto task = session->dataTask(*foundation::URL::fromString(url), [](auto, auto, auto) {});
            task->resume();
            streaming.push_back(std::move(task));
        };
        // One task at once, the rest from timers: some fire before the exit, the later ones never do.
        startTask(stream);
        for (int i = 1; i <= 6; ++i) {
            dispatch::DispatchQueue::main().asyncAfter(
                dispatch::DispatchTime::now() + dispatch::nanosecondsFromSeconds(i * 0.005 + (i > 3 ? 60 : 0)),
                [startTask, url = i % 2 ? stream : base + "/echo?delayMs=5000"] { startTask(url); });
        }
        // Scheduled timers stay alive in the run loop without an owner here.
        (void)dispatch::Timer::scheduledTimer(0.002, true, [](dispatch::Timer&) { (void)foundation::Date::now(); });
        const bool arrived = dispatch::RunLoop::main().runUntil(
            [&] {
                std::int64_t received = 0;
                for (const auto& task : streaming) received += task->countOfBytesReceived();
                return streaming.size() >= 3 && received > 0;
            },
            std::chrono::seconds(20));
        if (!arrived) return 3;
    } else {
        std::fprintf(stderr, "exit_while_loading: unknown mode \"%s\"\n", mode.c_str());
        return 2;
    }

    // Blocks that keep reading the clock on worker threads until the process ends. The serial queue is never
    // released: releasing a queue waits for its running block, and this one runs until the end.
    static auto* serial = new dispatch::DispatchQueue("exit-test.serial");
    auto keepReading = [] {
        for (;;) {
            (void)dispatch::DispatchTime::now();
            std::this_thread::yield();
        }
    };
    serial->async(keepReading);
    dispatch::DispatchQueue::global().async(keepReading);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        std::int64_t received = downloaded.load();
        for (const auto& task : streaming) received += task->countOfBytesReceived();
        if (received > 0) break;
        if (std::chrono::steady_clock::now() > deadline) return 3;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // As a test's manual-clock scope does when it ends: the real clock again, while transfers run.
    if (mode == "clock-replaced") dispatch::Clock::setCurrent(std::make_shared<dispatch::RealClock>());
    if (how == "exit") std::exit(0);
    return 0;
}
