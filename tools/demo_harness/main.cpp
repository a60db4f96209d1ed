// lumora-demo: the example host. Plays an asset end to end against the local back end (or another one
// named by a host property list) and prints a timeline; see README.md and `lumora-demo --help`.
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "DemoHarness.h"
#include "demo_host/HostConfiguration.h"

namespace {

// The signals whose default action ends the process and that a process may take, other than those raised by
// its own faults (SIGSEGV, SIGABRT...), SIGPIPE (the back end ignores it: a closed pipe is a failed write) and
// SIGPROF, which a sampling profiler's timer sends to the process many times a second.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,
                                  SIGALRM, SIGVTALRM, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT};

sigset_t endingSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : kEndingSignals) sigaddset(&signals, signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&signals, signal);
    return signals;
}

// How long the orderly end may still take once a second signal came.
constexpr auto kHurry = std::chrono::seconds(3);

}  // namespace

int main(int argc, char** argv) {
    // Every ending signal ends the run cleanly: the run folder, which holds the host bundle and the viewer's
    // sign-in (access, id and refresh tokens), goes with the process. They are taken by a thread of their own,
    // never by whichever thread the kernel picks; every thread made later inherits the mask.
    const sigset_t signals = endingSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A picture larger than the file-size limit is a failed write, said in the timeline, not the end.
    std::signal(SIGXFSZ, SIG_IGN);
    std::thread([signals] {
        int received = 0;
        sigwait(&signals, &received);
        demoharness::interruptDemoHost();
        // A second signal (Ctrl-C pressed again, `timeout` and the terminal together) never skips the clean-up:
        // the run folder goes at once, and if the orderly end has not come soon after, the process goes
        // without it, its folder removed once more on the way.
        sigwait(&signals, &received);
        demohost::HostConfiguration::removeRunFolder();
        std::this_thread::sleep_for(kHurry);
        demohost::HostConfiguration::removeRunFolder();
        std::_Exit(static_cast<int>(demoharness::ExitStatus::interrupted));
    }).detach();

    // The pictures go beside the program by default: in the build folder, not wherever it is run from.
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string screenshots =
        error ? std::string("demo-screenshots") : (program.parent_path() / "demo-screenshots").string();

    std::vector<std::string> arguments(argv + 1, argv + argc);
    return demoharness::demoHostMain(arguments, stdout, stderr, ::isatty(::fileno(stdout)) == 1, screenshots);
}
