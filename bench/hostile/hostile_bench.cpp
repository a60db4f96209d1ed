// Peak memory of the kit under hostile input, the answer sizes bounded by what is useful, not by what the
// input declares:
//   bif-4x8192, bif-5x8192   BIF data of 4 or 5 frames of 8192 × 8192 pixels (real PNGs, grey, about
//                            65 KB each), read by BIF::from
//   play-60MB                a play answer of 60 MB (a valid answer padded with markers), through
//                            PlayService from a server in its own process
//   play-2KB                 a play answer of 2 KB the same way, the yardstick
// Each case runs alone in a child process (this program with --case NAME), in rounds that take the cases in
// turn (the order reversed every other round); the figure is the median of the child's peak resident memory
// (getrusage ru_maxrss) and of its wall time, with what the kit answered. Memory is the measure here; the
// work is a few calls, so no instructions are counted.
//
// Run: build/release/bench/hostile/hostile_bench [--rounds N]   (one case: --case NAME)
#include <netinet/in.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "dispatch/RunLoop.h"
#include "keymoments/BIF.h"
#include "keymoments/testing/BIFWriter.h"
#include "playservice/PlayService.h"
#include "rx/Observable.h"

namespace {

const std::vector<std::string> kCases = {"bif-4x8192", "bif-5x8192", "play-60MB", "play-2KB"};

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A grey 8192 × 8192 PNG of zeros, written row by row (never held whole): about 65 KB.
std::vector<std::uint8_t> hugeGreyPNG() {
    std::vector<std::uint8_t> out;
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(writer);
    png_set_write_fn(
        writer, &out,
        [](png_structp p, png_bytep bytes, png_size_t length) {
            auto* sink = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            sink->insert(sink->end(), bytes, bytes + length);
        },
        nullptr);
    png_set_compression_level(writer, 9);
    png_set_IHDR(writer, info, 8192, 8192, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer, info);
    std::vector<png_byte> row(8192, 0);
    for (int y = 0; y < 8192; ++y) png_write_row(writer, row.data());
    png_write_end(writer, nullptr);
    png_destroy_write_struct(&writer, &info);
    return out;
}

std::string runBIF(int frames) {
    lumora::testing::BIFWriter writer;
    writer.framewiseSeparation = 10'000;
    const auto png = hugeGreyPNG();
    for (int i = 0; i < frames; ++i) writer.frames.emplace_back(static_cast<std::uint32_t>(i), png);
    const auto data = writer.write();
    const auto bif = lumora::BIF::from(data, lumora::BIFResolution::standard);
    const std::string size = std::to_string(data.size() / 1024) + " KB of BIF data: ";
    if (!bif) return size + "refused: " + bif.error().localizedDescription();
    return size + "accepted, " + std::to_string(bif->thumbnails.size()) + " thumbnails";
}

// A play answer of about `bytes`: the fields the kit needs, padded with markers.
std::string playAnswer(std::size_t bytes) {
    std::string body =
        R"({"assetId":"vod-clear","assetTitle":"Padded","stream":{"manifestUrl":"http://127.0.0.1/m.m3u8",)"
        R"("mediaFormat":"hls-fmp4","provider":"p"},"markers":[)";
    const std::string marker = R"({"type":"adBreak","startTime":12.5,"endTime":42.5})";
    while (body.size() + marker.size() + 3 < bytes) body += marker + ",";
    body += marker + "]}";
    return body;
}

// The server side of a play case: answers every request on 127.0.0.1 with a play answer of `bytes`.
void serveAnswer(std::size_t bytes) {
    const std::string body = playAnswer(bytes);
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n";
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 8) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("hostile_bench server");
        std::exit(1);
    }
    std::thread([listener, head, body] {
        for (;;) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0) return;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            const std::string answer = head + body;
            for (std::size_t sent = 0; sent < answer.size();) {
                const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
            ::close(fd);
        }
    }).detach();
    bench::serveUntilInputCloses("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
}

std::string runPlay(std::size_t bytes) {
    bench::ServerProcess server({bench::selfPath(), "--serve-answer", std::to_string(bytes)});
    lumora::AccessTokenSource tokens = [] {
        return rx::Observable<std::optional<std::string>>::just(std::optional<std::string>("token"));
    };
    auto service = lumora::PlayService::create(server.baseURL(), tokens, "profile");
    std::optional<std::string> outcome;
    lumora::AssetInfo info;
    info.assetId = "vod-clear";
    service->fetch(info, [&](std::expected<lumora::PlayAssetAPIModel, lumora::PlayServiceError> result) {
        if (result) {
            outcome = "decoded, " + std::to_string(result->markers ? result->markers->size() : 0) + " markers";
        } else {
            outcome = "refused: " + result.error().localizedDescription();
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!outcome && std::chrono::steady_clock::now() < deadline) {
        dispatch::RunLoop::main().runUntil([&] { return outcome.has_value(); });
    }
    return std::to_string(bytes / 1024) + " KB play answer: " + outcome.value_or("no answer");
}

int runCase(const std::string& name) {
    std::string outcome;
    if (name == "bif-4x8192") outcome = runBIF(4);
    if (name == "bif-5x8192") outcome = runBIF(5);
    if (name == "play-60MB") outcome = runPlay(60'000'000);
    if (name == "play-2KB") outcome = runPlay(2'000);
    if (outcome.empty()) {
        std::fprintf(stderr, "no case %s\n", name.c_str());
        return 2;
    }
    std::printf("%ld\n%s\n", peakKiB(), outcome.c_str());
    return 0;
}

struct Measured {
    long peakKiB = 0;
    double seconds = 0;
    std::string outcome;
};

// Runs one case in a child process and reads its peak memory and outcome.
Measured measure(const std::string& name) {
    int out[2];
    if (::pipe(out) != 0) std::abort();
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        const std::string self = bench::selfPath();
        ::execl(self.c_str(), self.c_str(), "--case", name.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Measured m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto newline = text.find('\n');
    if (newline == std::string::npos) return {0, m.seconds, "the case did not finish"};
    m.peakKiB = std::stol(text.substr(0, newline));
    m.outcome = text.substr(newline + 1);
    while (!m.outcome.empty() && m.outcome.back() == '\n') m.outcome.pop_back();
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (auto bytes = bench::option(argc, argv, "--serve-answer")) {
        serveAnswer(std::stoul(*bytes));
        return 0;
    }
    if (auto name = bench::option(argc, argv, "--case")) return runCase(*name);

    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("3"));
    std::map<std::string, std::vector<double>> peaks, seconds;
    std::map<std::string, std::string> outcomes;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::string> order = kCases;
        if (round % 2) std::reverse(order.begin(), order.end());
        for (const auto& name : order) {
            const Measured m = measure(name);
            peaks[name].push_back(static_cast<double>(m.peakKiB) / 1024.0);
            seconds[name].push_back(m.seconds);
            outcomes[name] = m.outcome;
        }
    }
    std::printf("Peak resident memory of each case in its own process, median of %d rounds\n", rounds);
    std::printf("%-12s %10s %9s  %s\n", "case", "peak MiB", "wall s", "what the kit answered");
    for (const auto& name : kCases) {
        std::printf("%-12s %10.1f %9.2f  %s\n", name.c_str(), bench::median(peaks[name]), bench::median(seconds[name]),
                    outcomes[name].c_str());
    }
    return 0;
}
