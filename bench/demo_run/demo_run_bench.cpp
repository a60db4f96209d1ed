// The example host's whole default run, as `make demo` runs it (embedded back end, sign-in on the login
// screen, the protected asset with ads played to its end at 60x, the viewer's steps, six pictures), each
// round in a process of its own: its wall time and its peak resident memory, with the medians of the
// rounds. Nothing is written outside a temporary folder, removed at the end. The player screen's start-up
// ratio (play -> playing beside bare libcurl) is printed by bench/screen's screen_startup_bench in the same
// `make bench`.
#include "BenchSupport.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Round {
    double seconds = 0;
    double peakMegabytes = 0;
    int status = -1;
};

std::optional<Round> runOnce(const std::string& screenshots) {
    std::fflush(stdout);  // nothing buffered may be written twice
    std::fflush(stderr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        // The timeline goes nowhere: only the run's cost is of interest here.
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(LUMORA_DEMO_PROGRAM, LUMORA_DEMO_PROGRAM, "--screenshots", screenshots.c_str(),
                static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child) return std::nullopt;
    Round round;
    round.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    round.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
    round.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return round;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    if (argc > 1) rounds = std::max(1, std::atoi(argv[1]));
    // Every round runs inside one temporary folder, removed at the end: the pictures, the host's run folder
    // and the kit's device id, so nothing is left behind.
    const bench::DataFolder data("demo-run-bench");
    const auto folder = data.path() / "pictures";

    std::printf("lumora-demo, default run (%d rounds, each in its own process):\n", rounds);
    std::vector<double> times, peaks;
    for (int i = 0; i < rounds; ++i) {
        auto round = runOnce(folder.string());
        if (!round || round->status != 0) {
            std::fprintf(stderr, "demo_run_bench: round %d failed (exit status %d)\n", i + 1,
                         round ? round->status : -1);
            return 1;
        }
        std::printf("  round %d: %6.2f s wall, %6.1f MB peak resident\n", i + 1, round->seconds, round->peakMegabytes);
        times.push_back(round->seconds);
        peaks.push_back(round->peakMegabytes);
    }
    std::printf("Median: %.2f s wall time, %.1f MB peak memory\n", median(times), median(peaks));
    return 0;
}
