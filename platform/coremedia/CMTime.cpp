#include "coremedia/CMTime.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <ostream>

namespace coremedia {

namespace {

using Wide = __int128;

constexpr CMTimeValue kMaxValue = std::numeric_limits<CMTimeValue>::max();
constexpr CMTimeValue kMinValue = std::numeric_limits<CMTimeValue>::min();
// 2^63 as a double: every double below it (and at or above −2^63) converts to int64 exactly.
constexpr double kTwoPow63 = 9223372036854775808.0;

struct Clamped {
    CMTimeValue value;
    bool clamped;
};

Clamped clampToValue(Wide v) {
    if (v > static_cast<Wide>(kMaxValue)) return {kMaxValue, true};
    if (v < static_cast<Wide>(kMinValue)) return {kMinValue, true};
    return {static_cast<CMTimeValue>(v), false};
}

// n / d rounded to the nearest integer, halves away from zero; d > 0.
Wide divideRounded(Wide n, Wide d, bool& inexact) {
    Wide q = n / d;
    Wide r = n % d;
    if (r != 0) {
        inexact = true;
        Wide twice = (r < 0 ? -r : r) * 2;
        if (twice >= d) q += (n < 0 ? -1 : 1);
    }
    return q;
}

CMTimeFlags roundedFlag(bool rounded) {
    return rounded ? CMTimeFlags::hasBeenRounded : CMTimeFlags{};
}

// Orders the kinds of time: −infinity, numeric, +infinity, indefinite, invalid.
int rank(const CMTime& t) {
    if (!t.isValid()) return 4;
    if (t.isIndefinite()) return 3;
    if (t.isPositiveInfinity()) return 2;
    if (t.isNegativeInfinity()) return 0;
    return 1;
}

// +1 for +infinity, −1 for −infinity, 0 otherwise.
int infinitySign(const CMTime& t) {
    if (t.isPositiveInfinity()) return 1;
    if (t.isNegativeInfinity()) return -1;
    return 0;
}

CMTime infinity(int sign) {
    return sign > 0 ? kCMTimePositiveInfinity : kCMTimeNegativeInfinity;
}

// a + sign × b.
CMTime combine(const CMTime& a, const CMTime& b, int sign) {
    if (!a.isValid() || !b.isValid()) return kCMTimeInvalid;
    if (a.isIndefinite() || b.isIndefinite()) return kCMTimeIndefinite;
    const int ia = infinitySign(a);
    const int ib = infinitySign(b) * sign;
    if (ia != 0 && ib != 0) return ia == ib ? infinity(ia) : kCMTimeInvalid;
    if (ia != 0) return infinity(ia);
    if (ib != 0) return infinity(ib);

    bool rounded = a.hasBeenRounded() || b.hasBeenRounded();
    CMTimeScale scale = a.timescale;
    Wide av = a.value;
    Wide bv = b.value;
    if (a.timescale != b.timescale) {
        const std::int64_t gcd = std::gcd<std::int64_t, std::int64_t>(a.timescale, b.timescale);
        const std::int64_t lcm = static_cast<std::int64_t>(a.timescale) / gcd * b.timescale;
        if (lcm <= kCMTimeMaxTimescale) {
            scale = static_cast<CMTimeScale>(lcm);
            av *= lcm / a.timescale;
            bv *= lcm / b.timescale;
        } else if (a.timescale > b.timescale) {
            bv = divideRounded(bv * a.timescale, b.timescale, rounded);
        } else {
            scale = b.timescale;
            av = divideRounded(av * b.timescale, a.timescale, rounded);
        }
    }
    const Clamped sum = clampToValue(sign > 0 ? av + bv : av - bv);
    return {sum.value, scale, CMTimeFlags::valid | roundedFlag(rounded || sum.clamped)};
}

}  // namespace

CMTime CMTime::fromSeconds(double seconds, CMTimeScale preferredTimescale) {
    if (preferredTimescale <= 0 || std::isnan(seconds)) return kCMTimeInvalid;
    if (std::isinf(seconds)) return seconds > 0 ? kCMTimePositiveInfinity : kCMTimeNegativeInfinity;
    // The product may itself overflow to infinity; the range checks below catch that too.
    const double units = seconds * static_cast<double>(preferredTimescale);
    if (units >= kTwoPow63) {
        return {kMaxValue, preferredTimescale, CMTimeFlags::valid | CMTimeFlags::hasBeenRounded};
    }
    if (units < -kTwoPow63) {
        return {kMinValue, preferredTimescale, CMTimeFlags::valid | CMTimeFlags::hasBeenRounded};
    }
    const double nearest = std::round(units);  // halves away from zero
    // round() of a value in [−2^63, 2^63) can reach 2^63 only from above 2^63 − 1, which doubles
    // cannot hold: the conversion below is always in range.
    const CMTimeValue value = static_cast<CMTimeValue>(nearest);
    return {value, preferredTimescale, CMTimeFlags::valid | roundedFlag(nearest != units)};
}

double CMTime::seconds() const {
    if (isPositiveInfinity()) return std::numeric_limits<double>::infinity();
    if (isNegativeInfinity()) return -std::numeric_limits<double>::infinity();
    if (!isNumeric()) return std::numeric_limits<double>::quiet_NaN();
    // Whole seconds and the remainder separately, so that large values keep their precision.
    const CMTimeValue whole = value / timescale;
    const CMTimeValue rest = value % timescale;
    return static_cast<double>(whole) + static_cast<double>(rest) / static_cast<double>(timescale);
}

CMTime CMTime::convertScale(CMTimeScale newTimescale) const {
    if (!isValid()) return kCMTimeInvalid;
    if (!isNumeric()) return *this;
    if (newTimescale <= 0) return kCMTimeInvalid;
    if (newTimescale == timescale) return *this;
    bool rounded = hasBeenRounded();
    const Clamped v = clampToValue(divideRounded(static_cast<Wide>(value) * newTimescale, timescale, rounded));
    return {v.value, newTimescale, CMTimeFlags::valid | roundedFlag(rounded || v.clamped)};
}

std::string CMTime::description() const {
    if (!isValid()) return "{INVALID}";
    if (isIndefinite()) return "{INDEFINITE}";
    if (isPositiveInfinity()) return "{+INFINITY}";
    if (isNegativeInfinity()) return "{-INFINITY}";
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "{%lld/%d = %.3f%s}", static_cast<long long>(value), timescale, seconds(),
                  hasBeenRounded() ? ", rounded" : "");
    return buffer;
}

int CMTimeCompare(const CMTime& a, const CMTime& b) {
    const int ra = rank(a);
    const int rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra != 1) return 0;
    // Exact comparison of a.value / a.timescale with b.value / b.timescale (both timescales positive).
    const Wide lhs = static_cast<Wide>(a.value) * b.timescale;
    const Wide rhs = static_cast<Wide>(b.value) * a.timescale;
    return lhs < rhs ? -1 : lhs > rhs ? 1 : 0;
}

CMTime CMTimeAdd(const CMTime& a, const CMTime& b) {
    return combine(a, b, 1);
}
CMTime CMTimeSubtract(const CMTime& a, const CMTime& b) {
    return combine(a, b, -1);
}

std::ostream& operator<<(std::ostream& os, const CMTime& time) {
    return os << time.description();
}

bool CMTimeRange::isValid() const {
    if (!start.isValid() || !duration.isValid() || duration.isNegativeInfinity()) return false;
    return !duration.isNumeric() || duration.value >= 0;
}

bool CMTimeRange::isEmpty() const {
    return isValid() && duration.isNumeric() && duration.value == 0;
}

bool CMTimeRange::containsTime(const CMTime& time) const {
    if (!isValid() || !time.isValid()) return false;
    return CMTimeCompare(time, start) >= 0 && CMTimeCompare(time, end()) < 0;
}

std::string CMTimeRange::description() const {
    return "{start " + start.description() + ", duration " + duration.description() + "}";
}

std::ostream& operator<<(std::ostream& os, const CMTimeRange& range) {
    return os << range.description();
}

}  // namespace coremedia
