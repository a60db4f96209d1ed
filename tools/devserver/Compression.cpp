#include "Compression.h"

#include <brotli/encode.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>

namespace devserver::compression {

namespace {

// Brotli's and zlib's fastest levels: at these a 10 KiB JSON answer takes tens of microseconds.
constexpr int kBrotliQuality = 1;
constexpr int kGzipLevel = 1;

std::string lower(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Text types, as the HTTP library the back end stands on compresses them.
bool isCompressible(std::string_view contentType) {
    const std::string type = lower(trim(contentType.substr(0, contentType.find(';'))));
    if (type.rfind("text/", 0) == 0) return type != "text/event-stream";
    return type == "application/json" || type == "application/javascript" || type == "application/xml" ||
           type == "application/xhtml+xml" || type == "application/protobuf" || type == "image/svg+xml";
}

// Whether `acceptEncoding` accepts `coding` (named, or "*", without "q=0").
bool accepts(std::string_view acceptEncoding, std::string_view coding) {
    bool accepted = false;
    std::size_t start = 0;
    while (start <= acceptEncoding.size()) {
        auto end = acceptEncoding.find(',', start);
        if (end == std::string_view::npos) end = acceptEncoding.size();
        std::string_view item = trim(acceptEncoding.substr(start, end - start));
        std::string_view name = trim(item.substr(0, item.find(';')));
        bool refused = false;
        if (const auto semicolon = item.find(';'); semicolon != std::string_view::npos) {
            std::string params = lower(item.substr(semicolon + 1));
            params.erase(std::remove_if(params.begin(), params.end(), [](char c) { return c == ' ' || c == '\t'; }),
                         params.end());
            if (params.rfind("q=0", 0) == 0 && params.find_first_not_of("0.", 2) == std::string::npos) refused = true;
        }
        const std::string n = lower(name);
        if (n == coding) return !refused;
        if (n == "*" && !refused) accepted = true;
        start = end + 1;
    }
    return accepted;
}

std::optional<std::string> brotli(std::string_view body) {
    std::string out(BrotliEncoderMaxCompressedSize(body.size()), '\0');
    std::size_t size = out.size();
    if (!BrotliEncoderCompress(kBrotliQuality, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, body.size(),
                               reinterpret_cast<const std::uint8_t*>(body.data()), &size,
                               reinterpret_cast<std::uint8_t*>(out.data()))) {
        return std::nullopt;
    }
    out.resize(size);
    return out;
}

std::optional<std::string> gzip(std::string_view body) {
    z_stream stream{};
    // 15 window bits + 16: a gzip wrapper.
    if (deflateInit2(&stream, kGzipLevel, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
    std::string out(deflateBound(&stream, static_cast<uLong>(body.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    stream.avail_in = static_cast<uInt>(body.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) return std::nullopt;
    return out;
}

}  // namespace

std::optional<Encoded> encode(std::string_view body, std::string_view contentType, std::string_view acceptEncoding) {
    if (body.size() < kCompressFrom || !isCompressible(contentType)) return std::nullopt;
    std::optional<Encoded> encoded;
    if (accepts(acceptEncoding, "br")) {
        if (auto compressed = brotli(body)) encoded = Encoded{"br", std::move(*compressed)};
    } else if (accepts(acceptEncoding, "gzip") && body.size() <= 0xFFFFFFFFu) {
        if (auto compressed = gzip(body)) encoded = Encoded{"gzip", std::move(*compressed)};
    }
    if (encoded && encoded->body.size() >= body.size()) return std::nullopt;
    return encoded;
}

}  // namespace devserver::compression
