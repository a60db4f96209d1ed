// Fuzz target for the HLS playlist reader: any text gives a playlist or a ParseError naming a line and a
// reason, never a crash; a media playlist that is read has segments with positive, finite durations that
// add up to at most the bound, keys it can index, and valid addresses; a multivariant one has variants.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "avfoundation/HLS.h"

namespace {

namespace hls = avfoundation::hls;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "playlist invariant broken: %s\n", what);
        std::abort();
    }
}

void checkAddress(const foundation::URL& url) {
    check(foundation::URL::fromString(url.absoluteString()).has_value(), "an address reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const foundation::URL base = *foundation::URL::fromString("http://127.0.0.1:8080/hls/a/v0/media.m3u8");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = hls::parse(text, base);
    if (!parsed) {
        check(!parsed.error().message.empty(), "a failure says why");
        check(!parsed.error().localizedDescription().empty(), "a failure has a description");
        return 0;
    }
    if (const auto* media = std::get_if<hls::MediaPlaylist>(&*parsed)) {
        check(!media->segments.empty(), "a media playlist has segments");
        check(media->targetDuration > 0, "the target duration is positive");
        double total = 0;
        for (const auto& segment : media->segments) {
            check(std::isfinite(segment.duration) && segment.duration > 0, "segment durations are positive");
            total += segment.duration;
            check(!segment.key || *segment.key < media->keys.size(), "a segment's key is listed");
            checkAddress(segment.uri);
        }
        check(total <= hls::maximumMediaPlaylistDuration, "the segments together stay within the bound");
        check(media->duration() == total, "the duration is the sum of the segments");
        for (const auto& key : media->keys) check(key.method != "NONE" && key.uri.has_value(), "keys have addresses");
    } else {
        const auto& multivariant = std::get<hls::MultivariantPlaylist>(*parsed);
        check(!multivariant.variants.empty(), "a multivariant playlist has variants");
        for (const auto& variant : multivariant.variants) {
            check(variant.bandwidth >= 0, "bandwidths are not negative");
            checkAddress(variant.uri);
        }
        for (const auto& rendition : multivariant.renditions) {
            if (rendition.uri) checkAddress(*rendition.uri);
        }
    }
    // The same text read as the other kind is refused or read alike, never a crash.
    (void)hls::parseMedia(text, base);
    (void)hls::parseMultivariant(text, base);
    return 0;
}
