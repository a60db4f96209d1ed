// The servers the benchmarks talk to, each in a process of its own so that its work never shares the
// measured process's time or instruction counts.
//
//   lumora_bench_server loopback   a minimal keep-alive HTTP/1.1 server on 127.0.0.1 answering every request
//                                  with one small JSON body in a single write (TCP_NODELAY)
//   lumora_bench_server backend    the whole local back end (identity, entitlement, play, HLS, licence,
//                                  player events)
//
// Prints its base URL on one line once it listens, and runs until its standard input ends.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "devserver/Backend.h"

namespace {

constexpr const char* kBody = R"({"name":"Ada","count":3,"items":[1,2,3,4,5,6,7,8]})";

void serve(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string body = kBody;
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body;
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

std::string startLoopback() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 64) != 0) {
        std::perror("lumora_bench_server");
        std::exit(1);
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread([listener] {
        for (;;) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0) return;
            std::thread(serve, fd).detach();
        }
    }).detach();
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const std::string mode = argc > 1 ? argv[1] : "";
    std::shared_ptr<devserver::Backend> backend;
    std::string base;
    if (mode == "loopback") {
        base = startLoopback();
    } else if (mode == "backend") {
        devserver::BackendOptions options;
        options.maxConcurrentStreams = 1000;
        auto started = devserver::Backend::start(options);
        if (!started) {
            std::fprintf(stderr, "lumora_bench_server: %s\n", started.error().c_str());
            return 1;
        }
        backend = *started;
        base = backend->baseURL();
    } else {
        std::fprintf(stderr, "usage: lumora_bench_server loopback|backend\n");
        return 2;
    }
    std::printf("%s\n", base.c_str());
    std::fflush(stdout);
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
    if (backend) backend->stop();
    std::_Exit(0);
}
