#include "keymoments/ZuKeyMomentEvent.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace lumora {

namespace {

// The bits that identify a time: those of the double, with −0 taken as +0 so that the two zeros are one.
std::uint64_t identityBits(double seconds) {
    return std::bit_cast<std::uint64_t>(seconds == 0.0 ? 0.0 : seconds);
}

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

coremedia::CMTime mediaTime(double seconds) {
    if (!std::isfinite(seconds)) return coremedia::kCMTimeInvalid;
    return coremedia::CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

// Tab, space and the Unicode space separators (Zs), in UTF-8.
constexpr std::array<std::string_view, 17> kWhitespace{"\t",           " ",
                                                       "\xC2\xA0",     "\xE1\x9A\x80",
                                                       "\xE2\x80\x80", "\xE2\x80\x81",
                                                       "\xE2\x80\x82", "\xE2\x80\x83",
                                                       "\xE2\x80\x84", "\xE2\x80\x85",
                                                       "\xE2\x80\x86", "\xE2\x80\x87",
                                                       "\xE2\x80\x88", "\xE2\x80\x89",
                                                       "\xE2\x80\x8A", "\xE2\x80\xAF",
                                                       "\xE2\x81\x9F"};
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

std::size_t leadingSpace(std::string_view text) {
    if (text.starts_with(kIdeographicSpace)) return kIdeographicSpace.size();
    for (std::string_view space : kWhitespace) {
        if (text.starts_with(space)) return space.size();
    }
    return 0;
}

std::size_t trailingSpace(std::string_view text) {
    if (text.ends_with(kIdeographicSpace)) return kIdeographicSpace.size();
    for (std::string_view space : kWhitespace) {
        if (text.ends_with(space)) return space.size();
    }
    return 0;
}

// The text with white space (spaces, tabs and the other Unicode space separators, not line breaks) removed
// from both ends.
std::string trimmingWhitespace(std::string_view text) {
    while (std::size_t n = leadingSpace(text)) text.remove_prefix(n);
    while (std::size_t n = trailingSpace(text)) text.remove_suffix(n);
    return std::string(text);
}

}  // namespace

ZuKeyMomentEvent::ZuKeyMomentEvent(std::string code, double videoTime, double eventTime, std::string displayName,
                                   std::optional<std::string> displayTime, std::optional<std::string> player,
                                   std::optional<std::string> team)
    : code(std::move(code)),
      videoTime(videoTime),
      displayTime(std::move(displayTime)),
      startTime(mediaTime(videoTime)),
      eventTime(mediaTime(eventTime)),
      happening(trimmingWhitespace(this->displayTime.value_or("") + " - " + displayName)),
      contestant(trimmingWhitespace(player.value_or("") + " " +
                                    (team && !team->empty() ? "(" + *team + ")" : std::string()))) {}

std::size_t ZuKeyMomentEvent::hashValue() const {
    const std::uint64_t codeHash = std::hash<std::string_view>{}(code);
    return static_cast<std::size_t>(mix(mix(codeHash) ^ (identityBits(videoTime) + 0x9E3779B97F4A7C15ull)));
}

bool operator==(const ZuKeyMomentEvent& a, const ZuKeyMomentEvent& b) {
    // The fields themselves, not their hashes: two different events never compare equal through a collision.
    return identityBits(a.videoTime) == identityBits(b.videoTime) && a.code == b.code;
}

}  // namespace lumora
