#pragma once

#include <optional>
#include <string>
#include <string_view>

// How the local back end compresses answers. A small JSON answer costs more to compress than to send on
// loopback, and a high compression level costs many times more than a fast one for a few bytes saved: only
// bodies of kCompressFrom bytes or more are compressed, at a fast level, in the first encoding the client
// accepts of "br" and "gzip".
namespace devserver::compression {

inline constexpr std::size_t kCompressFrom = 1024;

struct Encoded {
    std::string contentEncoding;  // "br" or "gzip"
    std::string body;
};

// The body compressed for a client that sent `acceptEncoding`, or nothing when it is to go as it is (too
// small, a type not worth compressing, no encoding the client accepts, or no gain).
std::optional<Encoded> encode(std::string_view body, std::string_view contentType, std::string_view acceptEncoding);

}  // namespace devserver::compression
