#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "devserver/Server.h"

extern char** environ;

namespace foundation {
namespace {

struct ChildOutcome {
    int status = -1;
    std::string errors;
};

// Runs the program that exits with transfers in flight, its standard error kept in a file.
ChildOutcome runChild(const std::vector<std::string>& arguments, const std::string& errorFile) {
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ChildOutcome outcome;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        outcome.errors = "could not start " + arguments[0];
        return outcome;
    }
    posix_spawn_file_actions_destroy(&actions);
    // A child that hangs at exit is a failure too: it is stopped after a generous bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &outcome.status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &outcome.status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream in(errorFile);
    std::stringstream text;
    text << in.rdbuf();
    outcome.errors = text.str();
    return outcome;
}

// A process that ends (by std::exit or by returning from main) while transfers stream bodies, others wait
// for slow answers, worker queues read the clock and main-queue timers and delayed requests are pending, exits with its
// own status and without a sanitizer report, every time: no thread of the HTTP engine or of the queues reads what the
// exit has destroyed.
TEST(ProcessExit, EndingWhileTransfersAreInFlightIsClean) {
    auto server = devserver::Server::start({.threads = 16});
    ASSERT_TRUE(server) << server.error();
    const std::string errorFile = ::testing::TempDir() + "exit_while_loading." + std::to_string(getpid()) + ".txt";
    int runs = 0;
    for (const char* mode : {"tasks", "downloads", "clock-replaced", "timers"}) {
        for (const char* how : {"exit", "return"}) {
            for (int round = 0; round < 4; ++round, ++runs) {
                const auto outcome = runChild({LUMORA_EXIT_WHILE_LOADING, (*server)->baseURL(), mode, how}, errorFile);
                ASSERT_TRUE(WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0)
                    << "run " << runs << " (" << mode << ", " << how << "): status " << outcome.status << "\n"
                    << outcome.errors;
                ASSERT_EQ(outcome.errors.find("Sanitizer"), std::string::npos) << outcome.errors;
                ASSERT_EQ(outcome.errors.find("runtime error"), std::string::npos) << outcome.errors;
            }
        }
    }
    std::remove(errorFile.c_str());
    (*server)->stop();
}

}  // namespace
}  // namespace foundation
