// lumora-devserver: the local back end as a program, for the demo host and manual checks.
//
//   lumora-devserver [--port N] [--quiet]
//
// Listens on 127.0.0.1 only, prints "lumora-devserver listening on http://127.0.0.1:N" once ready and
// runs until interrupted (SIGINT or SIGTERM).
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "devserver/Backend.h"

namespace {

void usage() {
    std::fprintf(stderr, "usage: lumora-devserver [--port N] [--quiet]\n");
}

}  // namespace

int main(int argc, char** argv) {
    devserver::BackendOptions options;
    // The program is for trying the kit by hand: two streams per viewer, keys renewed every two minutes.
    options.maxConcurrentStreams = 2;
    options.keyRenewalDuration = "120";
    options.logToStderr = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long port = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || port < 0 || port > 65535) {
                std::fprintf(stderr, "lumora-devserver: bad port \"%s\"\n", argv[i]);
                return 2;
            }
            options.port = static_cast<int>(port);
        } else if (arg == "--quiet") {
            options.logToStderr = false;
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            usage();
            return 2;
        }
    }

    // Signals are taken by sigwait below, not by whichever server thread happens to run.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto backend = devserver::Backend::start(options);
    if (!backend) {
        std::fprintf(stderr, "lumora-devserver: %s\n", backend.error().c_str());
        return 1;
    }
    std::printf("lumora-devserver listening on %s\n", (*backend)->baseURL().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    (*backend)->stop();
    return 0;
}
