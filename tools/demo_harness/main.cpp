// lumora-demo: the example host. Plays an asset end to end against the local back end (or another one
// named by a host property list) and prints a timeline; see README.md and `lumora-demo --help`.
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "DemoHarness.h"

int main(int argc, char** argv) {
    // SIGINT and SIGTERM end the run cleanly (the temporary host bundle is removed): they are taken by a
    // thread of their own, never by whichever thread the kernel picks. A second one ends the process at once.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
        int received = 0;
        sigwait(&signals, &received);
        demoharness::interruptDemoHost();
        sigwait(&signals, &received);
        std::_Exit(128 + received);
    }).detach();

    // The pictures go beside the program by default: in the build folder, not wherever it is run from.
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string screenshots =
        error ? std::string("demo-screenshots") : (program.parent_path() / "demo-screenshots").string();

    std::vector<std::string> arguments(argv + 1, argv + argc);
    return demoharness::demoHostMain(arguments, stdout, stderr, ::isatty(::fileno(stdout)) == 1, screenshots);
}
