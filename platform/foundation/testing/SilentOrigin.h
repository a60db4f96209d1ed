#pragma once

// Test support: an origin on 127.0.0.1 that takes requests and never answers them, and tells when a client
// hangs up on a request it sent. A load that is abandoned (a segment no longer wanted, a key request the
// player gave up) must abort its transfer: the connection closes at once instead of staying open until the
// request's time-out. Header-only, POSIX sockets, one thread.
//
//   foundation::testing::SilentOrigin silent;
//   ... a playlist naming silent.url("/seg2.ts"), or a licence redirected to silent.baseURL() ...
//   ASSERT_TRUE(runUntil([&] { return silent.hangUps() == 1; }));
//   ASSERT_TRUE(silent.waitForHangUps(1, 5s));  // the same, off the run loop
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace foundation::testing {

class SilentOrigin {
  public:
    SilentOrigin() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 64) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;  // port() stays 0: the test's requests fail to connect and say so
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~SilentOrigin() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        for (const auto& connection : connections_) ::close(connection.fd);
        if (listener_ >= 0) ::close(listener_);
    }
    SilentOrigin(const SilentOrigin&) = delete;
    SilentOrigin& operator=(const SilentOrigin&) = delete;

    int port() const { return port_; }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string url(const std::string& path) const { return baseURL() + path; }

    // The request lines received ("GET /seg2.ts HTTP/1.1"), in order.
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // Connections whose client closed them after sending a request (never answered, so abandoned).
    int hangUps() const { return hangUps_.load(); }

    // Whether, within `bound` of real time, `count` requests have arrived / `count` clients have hung up.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds bound) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return requests_.size() >= count; });
    }
    bool waitForHangUps(int count, std::chrono::milliseconds bound) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return hangUps_.load() >= count; });
    }

  private:
    struct Connection {
        int fd = -1;
        std::string head;  // what arrived of the request head, until its blank line
        bool sentRequest = false;
    };

    void serve() {
        while (!stopping_) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            for (const auto& connection : connections_) fds.push_back({connection.fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) connections_.push_back({fd, {}, false});
            }
            for (std::size_t i = fds.size() - 1; i >= 1; --i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                if (!read(connections_[i - 1])) {
                    if (connections_[i - 1].sentRequest) {
                        std::lock_guard lock(mutex_);
                        ++hangUps_;
                        changed_.notify_all();
                    }
                    ::close(connections_[i - 1].fd);
                    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(i - 1));
                }
            }
        }
    }

    // Reads what arrived; false when the client closed the connection.
    bool read(Connection& connection) {
        char buffer[4096];
        const ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        if (connection.sentRequest) return true;  // a body, or anything after the head: not answered either
        connection.head.append(buffer, static_cast<std::size_t>(n));
        if (connection.head.find("\r\n\r\n") == std::string::npos) return true;
        connection.sentRequest = true;
        std::lock_guard lock(mutex_);
        requests_.push_back(connection.head.substr(0, connection.head.find("\r\n")));
        changed_.notify_all();
        return true;
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> hangUps_{0};
    std::vector<Connection> connections_;  // the serving thread's only
    mutable std::mutex mutex_;             // guards requests_ and the changes the waits look for
    mutable std::condition_variable changed_;
    std::vector<std::string> requests_;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace foundation::testing
