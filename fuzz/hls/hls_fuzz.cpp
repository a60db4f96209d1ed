// Fuzz target for the HLS playlist reader: any text gives a playlist or a ParseError naming a line and a
// reason, never a crash; a media playlist that is read has segments with positive, finite durations that
// add up to at most the bound, at most the bound of distinct keys, keys it can index, and valid addresses;
// a multivariant one has variants; a playlist holding a tag the player cannot honour (byte ranges,
// initialization sections, I-frames only, delta updates, gaps, variables) or two versions is never read.
//
// Hostile sizes from small inputs: a line "#LUMORA-REPEAT:<n>" repeats the lines after it (up to a line
// "#LUMORA-END", or the end) n times, "{i}" in them becoming the repetition's number, up to 64 MiB of text
// (what the media player's session accepts). A few stored bytes so stand for the 44 MB playlist of
// 200,000 keys, and libFuzzer's input length limit does not hide that class; the seeds of corpus-sizes/
// start from such playlists (`CORPUS=corpus-sizes fuzz/run.sh hls`).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
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

constexpr std::size_t kMaximumText = 64u << 20;
constexpr std::string_view kRepeat = "#LUMORA-REPEAT:";
constexpr std::string_view kEnd = "#LUMORA-END\n";

// The input with its repetition written out (see above); the input itself when it has none.
std::string expand(std::string_view input) {
    const std::size_t marker = input.starts_with(kRepeat) ? 0 : input.find("\n" + std::string(kRepeat));
    if (marker == std::string_view::npos) return std::string(input);
    const std::size_t countAt = marker + (marker == 0 ? 0 : 1) + kRepeat.size();
    const std::size_t lineEnd = std::min(input.find('\n', countAt), input.size());
    std::uint64_t count = 0;
    std::from_chars(input.data() + countAt, input.data() + lineEnd, count);
    const std::string_view rest = input.substr(std::min(lineEnd + 1, input.size()));
    const std::size_t end = rest.find(kEnd);
    const std::string_view body = rest.substr(0, end);
    const std::string_view tail = end == std::string_view::npos ? std::string_view() : rest.substr(end + kEnd.size());
    std::string text(input.substr(0, marker == 0 ? 0 : marker + 1));
    for (std::uint64_t i = 0; i < count && text.size() + body.size() + tail.size() <= kMaximumText; ++i) {
        if (body.empty()) break;
        const std::string number = std::to_string(i);
        for (std::size_t at = 0; at < body.size();) {
            const std::size_t hole = body.find("{i}", at);
            text.append(body.substr(at, hole == std::string_view::npos ? std::string_view::npos : hole - at));
            if (hole == std::string_view::npos) break;
            text.append(number);
            at = hole + 3;
        }
    }
    text.append(tail);
    return text;
}

// Whether the text holds a tag the reader must refuse (it changes what the playlist means and the player
// cannot honour it), or a second EXT-X-VERSION.
bool holdsRefusedTag(std::string_view text) {
    static constexpr std::string_view kRefused[] = {"#EXT-X-BYTERANGE", "#EXT-X-MAP", "#EXT-X-I-FRAMES-ONLY",
                                                    "#EXT-X-SKIP",      "#EXT-X-GAP", "#EXT-X-DEFINE"};
    int versions = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // as the reader splits lines
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        const std::string_view tag = line.substr(0, line.find(':'));
        if (tag == "#EXT-X-VERSION") ++versions;
        for (std::string_view refused : kRefused) {
            if (tag == refused) return true;
        }
    }
    return versions > 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const foundation::URL base = *foundation::URL::fromString("http://127.0.0.1:8080/hls/a/v0/media.m3u8");
    const std::string expanded = expand(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string_view text = expanded;
    const auto parsed = hls::parse(text, base);
    if (!parsed) {
        check(!parsed.error().message.empty(), "a failure says why");
        check(!parsed.error().localizedDescription().empty(), "a failure has a description");
        return 0;
    }
    check(!holdsRefusedTag(text), "a playlist holding a tag the player cannot honour is refused");
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
        check(media->keys.size() <= hls::maximumMediaPlaylistKeys, "the distinct keys stay within the bound");
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
