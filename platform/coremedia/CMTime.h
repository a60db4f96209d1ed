#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace coremedia {

using CMTimeValue = std::int64_t;
using CMTimeScale = std::int32_t;

// The timescale the kit uses for every media time it makes (seeks, ad ranges, time observers):
// nanoseconds.
inline constexpr CMTimeScale kPreferredTimescale = 1'000'000'000;

// The largest timescale a time may have.
inline constexpr CMTimeScale kCMTimeMaxTimescale = 0x7fffffff;

// What a time holds besides its value: whether it is valid at all, whether arithmetic or a conversion
// had to round it, and the non-numeric times (the infinities and "indefinite", e.g. a live stream's
// duration).
enum class CMTimeFlags : std::uint32_t {
    valid = 1u << 0,
    hasBeenRounded = 1u << 1,
    positiveInfinity = 1u << 2,
    negativeInfinity = 1u << 3,
    indefinite = 1u << 4,
};

constexpr CMTimeFlags operator|(CMTimeFlags a, CMTimeFlags b) {
    return static_cast<CMTimeFlags>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr CMTimeFlags operator&(CMTimeFlags a, CMTimeFlags b) {
    return static_cast<CMTimeFlags>(static_cast<std::uint32_t>(a) & static_cast<std::uint32_t>(b));
}
constexpr CMTimeFlags& operator|=(CMTimeFlags& a, CMTimeFlags b) {
    return a = a | b;
}
// True when every flag of `wanted` is set in `flags`.
constexpr bool contains(CMTimeFlags flags, CMTimeFlags wanted) {
    return (flags & wanted) == wanted;
}

// A media time: `value / timescale` seconds, or one of the non-numeric times named by `flags`.
//
//   CMTime(12, 1000)                       12 / 1000 s (integer value and timescale)
//   CMTime(12.5, kPreferredTimescale)      12.5 s at the kit's timescale (floating-point seconds)
//
// The default time is invalid. Conversion from seconds never overflows: NaN gives the invalid time,
// ±infinity the infinite times, and seconds beyond what the timescale can hold saturate at the largest
// (smallest) value with `hasBeenRounded` set. A timescale that is not positive gives the invalid time.
struct CMTime {
    CMTimeValue value = 0;
    CMTimeScale timescale = 0;
    CMTimeFlags flags{};

    constexpr CMTime() = default;
    constexpr CMTime(CMTimeValue value, CMTimeScale timescale, CMTimeFlags flags)
        : value(value), timescale(timescale), flags(flags) {}
    // `value / timescale` seconds; invalid when `timescale` is not positive.
    constexpr CMTime(CMTimeValue value, CMTimeScale timescale)
        : value(timescale > 0 ? value : 0),
          timescale(timescale > 0 ? timescale : 0),
          flags(timescale > 0 ? CMTimeFlags::valid : CMTimeFlags{}) {}
    // `seconds` rounded to the nearest unit of `preferredTimescale` (halves away from zero).
    template <std::floating_point F>
    CMTime(F seconds, CMTimeScale preferredTimescale)
        : CMTime(fromSeconds(static_cast<double>(seconds), preferredTimescale)) {}

    static CMTime fromSeconds(double seconds, CMTimeScale preferredTimescale);

    // Valid: the flag is set and the time is either numeric with a positive timescale or one of the
    // non-numeric times.
    constexpr bool isValid() const {
        if (!contains(flags, CMTimeFlags::valid)) return false;
        constexpr auto special =
            CMTimeFlags::positiveInfinity | CMTimeFlags::negativeInfinity | CMTimeFlags::indefinite;
        return (flags & special) != CMTimeFlags{} || timescale > 0;
    }
    constexpr bool isInvalid() const { return !isValid(); }
    constexpr bool isIndefinite() const { return isValid() && contains(flags, CMTimeFlags::indefinite); }
    constexpr bool isPositiveInfinity() const {
        return isValid() && !isIndefinite() && contains(flags, CMTimeFlags::positiveInfinity);
    }
    constexpr bool isNegativeInfinity() const {
        return isValid() && !isIndefinite() && !isPositiveInfinity() && contains(flags, CMTimeFlags::negativeInfinity);
    }
    // A valid time with a value: not indefinite and not infinite.
    constexpr bool isNumeric() const {
        return isValid() && !isIndefinite() && !isPositiveInfinity() && !isNegativeInfinity();
    }
    constexpr bool hasBeenRounded() const { return contains(flags, CMTimeFlags::hasBeenRounded); }

    // Seconds as a floating-point number: NaN for an invalid or indefinite time, ±infinity for the
    // infinite times.
    double seconds() const;

    // The same time at another timescale, rounded to the nearest unit (halves away from zero),
    // saturating where the value does not fit.
    CMTime convertScale(CMTimeScale newTimescale) const;

    // Text for logs and test failures, e.g. "{12500/1000 = 12.500}", "{INVALID}", "{+INFINITY}".
    std::string description() const;
};

inline constexpr CMTime kCMTimeZero{0, 1, CMTimeFlags::valid};
inline constexpr CMTime kCMTimeInvalid{};
inline constexpr CMTime kCMTimeIndefinite{0, 0, CMTimeFlags::valid | CMTimeFlags::indefinite};
inline constexpr CMTime kCMTimePositiveInfinity{0, 0, CMTimeFlags::valid | CMTimeFlags::positiveInfinity};
inline constexpr CMTime kCMTimeNegativeInfinity{0, 0, CMTimeFlags::valid | CMTimeFlags::negativeInfinity};

constexpr CMTime CMTimeMake(CMTimeValue value, CMTimeScale timescale) {
    return CMTime(value, timescale);
}
inline CMTime CMTimeMakeWithSeconds(double seconds, CMTimeScale preferredTimescale) {
    return CMTime::fromSeconds(seconds, preferredTimescale);
}
inline double CMTimeGetSeconds(const CMTime& time) {
    return time.seconds();
}
inline CMTime CMTimeConvertScale(const CMTime& time, CMTimeScale newTimescale) {
    return time.convertScale(newTimescale);
}

// Total order on times: −infinity < every numeric time (by exact rational value, across timescales)
// < +infinity < indefinite < invalid. Returns -1, 0 or 1.
int CMTimeCompare(const CMTime& a, const CMTime& b);

// Sum and difference. Invalid in, invalid out; indefinite with anything valid gives indefinite;
// +infinity plus −infinity (or an infinity minus itself) is invalid; an infinity with a numeric time
// stays that infinity. Numeric times at different timescales are added exactly at their least common
// timescale when it fits, otherwise at the larger timescale with rounding (`hasBeenRounded`). A result
// beyond the range of the value saturates at the largest (smallest) value with `hasBeenRounded` set.
CMTime CMTimeAdd(const CMTime& a, const CMTime& b);
CMTime CMTimeSubtract(const CMTime& a, const CMTime& b);

inline CMTime operator+(const CMTime& a, const CMTime& b) {
    return CMTimeAdd(a, b);
}
inline CMTime operator-(const CMTime& a, const CMTime& b) {
    return CMTimeSubtract(a, b);
}
inline CMTime& operator+=(CMTime& a, const CMTime& b) {
    return a = CMTimeAdd(a, b);
}
inline CMTime& operator-=(CMTime& a, const CMTime& b) {
    return a = CMTimeSubtract(a, b);
}

// Comparison operators follow `CMTimeCompare`, so equal means the same instant: 1/2 == 500/1000.
inline bool operator==(const CMTime& a, const CMTime& b) {
    return CMTimeCompare(a, b) == 0;
}
inline std::weak_ordering operator<=>(const CMTime& a, const CMTime& b) {
    const int c = CMTimeCompare(a, b);
    return c < 0 ? std::weak_ordering::less : c > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent;
}

std::ostream& operator<<(std::ostream& os, const CMTime& time);

// A span of media time: `start` and `duration`.
struct CMTimeRange {
    CMTime start;
    CMTime duration;

    constexpr CMTimeRange() = default;
    constexpr CMTimeRange(CMTime start, CMTime duration) : start(start), duration(duration) {}

    // start + duration.
    CMTime end() const { return CMTimeAdd(start, duration); }
    // Valid: both times valid and the duration not negative (a numeric duration ≥ 0, +infinity or
    // indefinite).
    bool isValid() const;
    bool isInvalid() const { return !isValid(); }
    // Valid with a duration of zero.
    bool isEmpty() const;
    // Valid, and start ≤ time < end.
    bool containsTime(const CMTime& time) const;

    std::string description() const;
};

inline constexpr CMTimeRange kCMTimeRangeZero{kCMTimeZero, kCMTimeZero};
inline constexpr CMTimeRange kCMTimeRangeInvalid{kCMTimeInvalid, kCMTimeInvalid};

inline CMTimeRange CMTimeRangeMake(CMTime start, CMTime duration) {
    return {start, duration};
}
// The range from `start` to `end` (its duration is end − start).
inline CMTimeRange CMTimeRangeFromTimeToTime(CMTime start, CMTime end) {
    return {start, CMTimeSubtract(end, start)};
}
inline CMTime CMTimeRangeGetEnd(const CMTimeRange& range) {
    return range.end();
}
inline bool CMTimeRangeContainsTime(const CMTimeRange& range, const CMTime& time) {
    return range.containsTime(time);
}

// Equal when both the starts and the durations compare equal.
inline bool operator==(const CMTimeRange& a, const CMTimeRange& b) {
    return a.start == b.start && a.duration == b.duration;
}
std::ostream& operator<<(std::ostream& os, const CMTimeRange& range);

}  // namespace coremedia
