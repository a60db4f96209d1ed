// Fuzz target for URLs: any text gives a URL or nothing, never a crash; a URL keeps its text exactly and
// reads back from it; its parts can be read, rebuilt into a valid URL or refused; percent-encoding
// round-trips; a playlist's relative reference resolves to a valid URL or to nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "avfoundation/HLS.h"
#include "foundation/URL.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "URL invariant broken: %s\n", what);
        std::abort();
    }
}

void checkURL(const foundation::URL& url) {
    const auto again = foundation::URL::fromString(url.absoluteString());
    check(again.has_value() && *again == url, "a URL reads back from its text");
    check(!url.scheme().empty(), "a URL has a scheme");
    (void)url.host();
    (void)url.port();
    (void)url.path();
    (void)url.query();
    (void)url.fragment();
    (void)url.user();
    (void)url.password();
    (void)url.lastPathComponent();
    (void)url.pathExtension();
    (void)url.pathComponents();
    (void)url.deletingLastPathComponent();
    (void)url.appendingPathComponent("a b/c");
    const foundation::URLComponents components(url);
    const auto rebuilt = components.url();
    if (rebuilt) {
        check(foundation::URL::fromString(rebuilt->absoluteString()).has_value(), "rebuilt parts make a valid URL");
    }
    // An IPv6 host (with its zone, which the parts hold decoded) is written back as a valid host.
    if (components.host && components.host->find(':') != std::string::npos) {
        check(rebuilt.has_value() && foundation::URLComponents(*rebuilt).host == components.host,
              "an IPv6 host rebuilds from its parts");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto url = foundation::URL::fromString(text)) {
        check(url->absoluteString() == text, "the text is kept exactly");
        checkURL(*url);
    }
    if (auto components = foundation::URLComponents::fromString(text)) {
        (void)components->percentEncodedQuery();
        if (auto string = components->string()) check(foundation::URL::fromString(*string).has_value(), "parts");
    }
    const std::string encoded = foundation::percentEncoded(text);
    const auto decoded = foundation::percentDecoded(encoded);
    check(decoded.has_value() && *decoded == text, "percent-encoding round-trips");
    (void)foundation::percentDecoded(text);

    static const foundation::URL base = *foundation::URL::fromString("http://127.0.0.1:8080/hls/a/v0/media.m3u8?t=1");
    if (auto resolved = avfoundation::hls::resolve(text, base)) checkURL(*resolved);
    return 0;
}
