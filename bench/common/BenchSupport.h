#pragma once

// What every benchmark here shares: sides compared in interleaved rounds within one run, servers in a
// process of their own, and instruction counts from callgrind beside the wall times.
//
//   bench::ServerProcess server("loopback");          // lumora_bench_server, its own process
//   std::vector<bench::Side> sides{{"kit", [&](int n) { ... n operations ... }},
//                                  {"bare", [&](int n) { ... }}};
//   auto perOp = bench::interleave(sides, rounds, operationsPerRound);   // seconds per operation, per round
//   bench::printComparison("small GET", sides, perOp, 0, 1, 1.10);
//
// Instructions: the program runs itself again under callgrind with --instructions; each side then runs once,
// counted between CALLGRIND_ZERO_STATS and CALLGRIND_DUMP_STATS_AT (every thread of the process, user space
// only; the server's process is not counted). Or the program switches collection on around the measured work
// (CALLGRIND_TOGGLE_COLLECT) and `collectedInstructions` reads what was collected.
//
// Sides that keep their own clock (a simulated second, a start-up) take turns with `rotatingRounds` instead,
// and print their figures with `printTable`.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The path of this program, to run it again (under callgrind, or as its own server).
inline std::string selfPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

// The times a thread of this process has gone to sleep waiting (voluntary context switches, every thread,
// ended ones included): each is a wake-up to come, the cost of a hand-over between threads on a busy machine.
inline long threadWaits() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

// A temporary folder the whole program runs in, removed when it goes: TMPDIR, HOME and the XDG folders point
// into it, so whatever the measured code keeps (credentials, device ids, run folders) is left nowhere else.
// Made before anything reads the environment.
class DataFolder {
  public:
    explicit DataFolder(const std::string& program) {
        std::string pattern = (std::filesystem::temp_directory_path() / ("lumora-" + program + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) {
            std::perror((program + ": no temporary data folder").c_str());
            std::exit(1);
        }
        path_ = pattern;
        for (const char* name : {"tmp", "home", "data", "cache", "config"}) {
            std::filesystem::create_directories(path_ / name);
        }
        ::setenv("TMPDIR", (path_ / "tmp").c_str(), 1);
        ::setenv("HOME", (path_ / "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (path_ / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (path_ / "cache").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (path_ / "config").c_str(), 1);
    }
    ~DataFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Waits on one thread for a signal from another.
class Latch {
  public:
    void signal() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
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

// A write callback (libcurl's shape) that appends what arrives to the std::string at `target`.
inline std::size_t appendToString(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// One way of doing the measured work: `run(n)` does it n times.
struct Side {
    std::string name;
    std::function<void(int)> run;
};

// Runs every side `perRound` times in each of `rounds` rounds, the sides taking turns (their order reversed
// every other round, so that neither always goes first), after one unmeasured warm-up round. Returns, for
// each side, the seconds per operation of each round.
inline std::vector<std::vector<double>> interleave(const std::vector<Side>& sides, int rounds, int perRound) {
    std::vector<std::vector<double>> perOp(sides.size());
    for (const auto& side : sides) side.run(std::max(1, perRound / 4));
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < sides.size(); ++k) {
            const std::size_t s = round % 2 ? sides.size() - 1 - k : k;
            const auto start = std::chrono::steady_clock::now();
            sides[s].run(perRound);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            perOp[s].push_back(seconds / perRound);
        }
    }
    return perOp;
}

// The median over rounds of a's time / b's time in the same round.
inline double pairedRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) ratios.push_back(a[i] / b[i]);
    return median(ratios);
}

// Calls `side(i, round)` for each of `count` sides in each of `rounds` rounds, each round starting one side later
// than the one before, so that none always goes first. Stops, returning false, when `side` returns false.
template <class F>
bool rotatingRounds(int rounds, std::size_t count, F&& side) {
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < count; ++k) {
            if (!side((static_cast<std::size_t>(round) + k) % count, round)) return false;
        }
    }
    return true;
}

// A goal of 0 or less: the ratio alone (a figure to watch, not a target).
inline std::string verdict(double ratio, double goal) {
    char text[64];
    if (goal <= 0) {
        std::snprintf(text, sizeof text, "%.2fx", ratio);
        return text;
    }
    std::snprintf(text, sizeof text, "%.2fx (goal <= %.2fx: %s)", ratio, goal, ratio <= goal ? "met" : "NOT met");
    return text;
}

// Prints the paired ratio of side `a` to side `b` (under printWall's table, for a second pair).
inline void printPairedRatio(const std::vector<Side>& sides, const std::vector<std::vector<double>>& perOp,
                             std::size_t a, std::size_t b, double goal) {
    std::printf("  %s / %s: %s\n", sides[a].name.c_str(), sides[b].name.c_str(),
                verdict(pairedRatio(perOp[a], perOp[b]), goal).c_str());
    std::fflush(stdout);
}

// Prints each side's median time per operation and the paired ratio of side `a` to side `b`.
inline void printWall(const std::string& title, const std::vector<Side>& sides,
                      const std::vector<std::vector<double>>& perOp, std::size_t a, std::size_t b, double goal,
                      const char* unit = "us", double scale = 1e6) {
    std::printf("%s (wall, median of %zu interleaved rounds):\n", title.c_str(), perOp[a].size());
    for (std::size_t s = 0; s < sides.size(); ++s) {
        std::printf("  %-44s %10.2f %s\n", sides[s].name.c_str(), median(perOp[s]) * scale, unit);
    }
    printPairedRatio(sides, perOp, a, b, goal);
}

// ---- instructions ----

inline bool instructionMode(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--instructions") return true;
    }
    return false;
}

// The value of "--name value" on the command line.
inline std::optional<std::string> option(int argc, char** argv, const std::string& name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name) return std::string(argv[i + 1]);
    }
    return std::nullopt;
}

// Counts the instructions of `body` (under callgrind; outside it `body` simply runs).
template <class F>
void countInstructions(const std::string& label, F&& body) {
    CALLGRIND_ZERO_STATS;
    body();
    CALLGRIND_DUMP_STATS_AT(label.c_str());
}

inline std::optional<std::string> findValgrind() {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/valgrind";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

inline bool hasValgrind() {
    return findValgrind().has_value();
}

// Runs this program again under callgrind with `arguments` (valgrind's own `options` before the program) and
// returns the instructions of each dump by its label: a labelled dump (CALLGRIND_DUMP_STATS_AT) under its label,
// the dump at exit under "". Nothing when valgrind is not installed or the run failed.
inline std::optional<std::map<std::string, double>> runUnderCallgrind(const std::vector<std::string>& arguments,
                                                                      const std::vector<std::string>& options = {}) {
    const auto valgrind = findValgrind();
    if (!valgrind) return std::nullopt;
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("lumora-bench-callgrind-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::vector<std::string> args{*valgrind, "--tool=callgrind", "--callgrind-out-file=" + (folder / "cg.%p").string()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(selfPath());
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (folder / "valgrind.log").string();
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return std::nullopt;
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::map<std::string, double> counts;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path() == log) continue;
        std::ifstream in(entry.path());
        std::string line, label;
        std::optional<double> total;
        while (std::getline(in, line)) {
            if (line.rfind("desc: Trigger: Client Request: ", 0) == 0) label = line.substr(31);
            if (line.rfind("totals: ", 0) == 0 || line.rfind("summary: ", 0) == 0) total = std::stod(line.substr(8));
        }
        if (total) counts[label] = *total;
    }
    const bool ran = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !counts.empty();
    if (!ran) {
        std::ifstream in(log);
        std::fprintf(stderr, "callgrind run failed:\n%s\n",
                     std::string(std::istreambuf_iterator<char>(in), {}).c_str());
    }
    fs::remove_all(folder);
    if (!ran) return std::nullopt;
    return counts;
}

// Runs this program again under callgrind with collection off until the program switches it on around the
// measured work (CALLGRIND_TOGGLE_COLLECT); the instructions collected, or nothing.
inline std::optional<double> collectedInstructions(const std::vector<std::string>& arguments) {
    const auto counts = runUnderCallgrind(arguments, {"--collect-atstart=no"});
    if (!counts || !counts->contains("")) return std::nullopt;
    return counts->at("");
}

// The instructions of each of `count` sides from `rounds` rotating rounds of `run(i)` (one callgrind run of
// side i; nothing when it failed). Empty when valgrind is not installed.
template <class F>
std::vector<std::vector<double>> instructionsInRounds(int rounds, std::size_t count, F&& run) {
    std::vector<std::vector<double>> counts(count);
    if (!hasValgrind()) return counts;
    rotatingRounds(rounds, count, [&](std::size_t i, int) {
        if (auto n = run(i)) counts[i].push_back(*n);
        return true;
    });
    return counts;
}

// A line a side: the median and the least of its wall times, and the median of its instruction counts
// ("(no valgrind)" when it has none), under a header of the three column titles.
struct TableColumns {
    int nameWidth;
    const char* median;
    const char* least;
    const char* instructions;
};

inline void printTable(const TableColumns& columns, const std::vector<std::string>& names,
                       const std::vector<std::vector<double>>& wall,
                       const std::vector<std::vector<double>>& instructions) {
    std::printf("%-*s %14s %14s %20s\n", columns.nameWidth, "", columns.median, columns.least, columns.instructions);
    for (std::size_t i = 0; i < names.size(); ++i) {
        char counted[32] = "(no valgrind)";
        if (!instructions[i].empty()) std::snprintf(counted, sizeof counted, "%.0f", median(instructions[i]));
        std::printf("%-*s %14.1f %14.1f %20s\n", columns.nameWidth, names[i].c_str(), median(wall[i]),
                    *std::min_element(wall[i].begin(), wall[i].end()), counted);
    }
    std::fflush(stdout);
}

// Prints instructions per operation of side a and side b (labels as passed to countInstructions, each
// counting `operations` operations) and their ratio.
inline void printInstructions(const std::string& title, const std::map<std::string, double>& counts,
                              const std::string& a, const std::string& b, double operations, double goal) {
    std::printf("%s (instructions per operation, callgrind, %.0f operations each):\n", title.c_str(), operations);
    const auto ia = counts.find(a), ib = counts.find(b);
    if (ia == counts.end() || ib == counts.end()) {
        std::printf("  (not counted)\n");
        return;
    }
    std::printf("  %-44s %12.0f\n", a.c_str(), ia->second / operations);
    std::printf("  %-44s %12.0f\n", b.c_str(), ib->second / operations);
    std::printf("  %s / %s: %s\n", a.c_str(), b.c_str(), verdict(ia->second / ib->second, goal).c_str());
    std::fflush(stdout);
}

// ---- servers in their own process ----

// A server in a process of its own, stopped when this object goes: lumora_bench_server (`mode`: "loopback" or
// "backend"), or any `command` that prints its address on its first line and serves until its input closes
// (`serveUntilInputCloses`). `baseURL()` is where it listens.
class ServerProcess {
  public:
    explicit ServerProcess(const std::string& mode)
        : ServerProcess(std::vector<std::string>{LUMORA_BENCH_SERVER, mode}) {}
    explicit ServerProcess(std::vector<std::string> command) {
        int out[2];
        int in[2];
        if (::pipe(out) != 0 || ::pipe(in) != 0) std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        std::string name;
        std::vector<char*> argv;
        for (auto& a : command) {
            name += (name.empty() ? "" : " ") + a;
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", name.c_str());
            std::exit(1);
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(in[0]);
        stdin_ = in[1];
        // The server prints its address once it listens.
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') baseURL_.push_back(c);
        ::close(out[0]);
        if (baseURL_.rfind("http", 0) != 0) {
            std::fprintf(stderr, "%s did not start\n", name.c_str());
            std::exit(1);
        }
    }
    ~ServerProcess() {
        ::close(stdin_);  // the server ends when its input does
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    const std::string& baseURL() const { return baseURL_; }

  private:
    pid_t pid_ = 0;
    int stdin_ = -1;
    std::string baseURL_;
};

// The other half of ServerProcess, in the server's process: prints where it listens, then returns when its
// input closes.
inline void serveUntilInputCloses(const std::string& baseURL) {
    std::printf("%s\n", baseURL.c_str());
    std::fflush(stdout);
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
}

}  // namespace bench
