#include "coremedia/CMTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

using namespace coremedia;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr CMTimeValue kMax = std::numeric_limits<CMTimeValue>::max();
constexpr CMTimeValue kMin = std::numeric_limits<CMTimeValue>::min();
}  // namespace

TEST(CMTimeSeconds, NonFiniteSecondsGiveInvalidOrInfiniteTimes) {
    const CMTime nan(kNaN, kPreferredTimescale);
    EXPECT_FALSE(nan.isValid());
    EXPECT_TRUE(std::isnan(nan.seconds()));

    const CMTime plus(kInf, kPreferredTimescale);
    EXPECT_TRUE(plus.isValid());
    EXPECT_TRUE(plus.isPositiveInfinity());
    EXPECT_FALSE(plus.isNumeric());
    EXPECT_EQ(plus.seconds(), kInf);

    const CMTime minus(-kInf, kPreferredTimescale);
    EXPECT_TRUE(minus.isNegativeInfinity());
    EXPECT_EQ(minus.seconds(), -kInf);

    EXPECT_TRUE(std::isnan(kCMTimeIndefinite.seconds()));
    EXPECT_TRUE(kCMTimeIndefinite.isValid());
    EXPECT_FALSE(kCMTimeIndefinite.isNumeric());
    EXPECT_TRUE(std::isnan(CMTimeGetSeconds(kCMTimeInvalid)));
}

TEST(CMTimeSeconds, OutOfRangeSecondsSaturateInsteadOfOverflowing) {
    const CMTime huge(1e300, kPreferredTimescale);
    EXPECT_TRUE(huge.isNumeric());
    EXPECT_EQ(huge.value, kMax);
    EXPECT_EQ(huge.timescale, kPreferredTimescale);
    EXPECT_TRUE(huge.hasBeenRounded());
    EXPECT_NEAR(huge.seconds(), 9223372036.854775807, 1e-6);

    const CMTime tiny(-1e300, kPreferredTimescale);
    EXPECT_EQ(tiny.value, kMin);
    EXPECT_TRUE(tiny.hasBeenRounded());

    // Just past the limit at the kit's timescale, and the largest double itself.
    EXPECT_EQ(CMTime(9.3e9, kPreferredTimescale).value, kMax);
    EXPECT_EQ(CMTime(std::numeric_limits<double>::max(), 1).value, kMax);
    EXPECT_EQ(CMTime(-std::numeric_limits<double>::max(), kCMTimeMaxTimescale).value, kMin);
}

TEST(CMTimeSeconds, RoundTripsAtTheKitsTimescale) {
    for (double s : {0.0, 0.1, 0.5, 1.0, 12.5, 59.999, 3600.25, 86400.0 * 365, -7.3, 1e-9}) {
        const CMTime t(s, kPreferredTimescale);
        EXPECT_TRUE(t.isNumeric()) << s;
        EXPECT_EQ(t.timescale, kPreferredTimescale);
        EXPECT_DOUBLE_EQ(t.seconds(), s) << s;
    }
    EXPECT_EQ(CMTime(12.5, kPreferredTimescale).value, 12'500'000'000);
    EXPECT_EQ(CMTime(0.1, kPreferredTimescale).value, 100'000'000);
    EXPECT_FALSE(CMTime(0.1, kPreferredTimescale).hasBeenRounded());

    // Below one unit: to the nearest, halves away from zero, flagged as rounded.
    const CMTime coarse(0.4, 1);
    EXPECT_EQ(coarse.value, 0);
    EXPECT_TRUE(coarse.hasBeenRounded());
    EXPECT_EQ(CMTime(2.5, 1).value, 3);
    EXPECT_EQ(CMTime(-2.5, 1).value, -3);

    // Large values keep their sub-second precision.
    const CMTime big(kMax - 1, kPreferredTimescale);
    EXPECT_DOUBLE_EQ(big.seconds(), 9223372036.854775806);
}

TEST(CMTimeMaking, IntegerAndFloatingArgumentsAndBadTimescales) {
    const CMTime units(12, 1000);  // integers: a value and a timescale
    EXPECT_EQ(units.value, 12);
    EXPECT_DOUBLE_EQ(units.seconds(), 0.012);
    const CMTime secs(12.0f, 1000);  // floating point: seconds
    EXPECT_EQ(secs.value, 12000);

    EXPECT_FALSE(CMTimeMake(5, 0).isValid());
    EXPECT_FALSE(CMTimeMake(5, -1).isValid());
    EXPECT_FALSE(CMTime(1.0, 0).isValid());
    EXPECT_FALSE(CMTime(1.0, -10).isValid());
    // A valid flag with no usable timescale still is not a valid time (no division by zero).
    const CMTime forged{7, 0, CMTimeFlags::valid};
    EXPECT_FALSE(forged.isValid());
    EXPECT_TRUE(std::isnan(forged.seconds()));

    EXPECT_EQ(kCMTimeZero.seconds(), 0.0);
    EXPECT_FALSE(CMTime().isValid());
}

TEST(CMTimeCompare, OrdersAllKindsOfTime) {
    const CMTime ordered[] = {kCMTimeNegativeInfinity, CMTimeMake(kMin, 1), CMTimeMake(-1, 1),       kCMTimeZero,
                              CMTimeMake(1, 3),        CMTimeMake(kMax, 1), kCMTimePositiveInfinity, kCMTimeIndefinite,
                              kCMTimeInvalid};
    constexpr int n = sizeof ordered / sizeof ordered[0];
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int expected = i < j ? -1 : i > j ? 1 : 0;
            EXPECT_EQ(CMTimeCompare(ordered[i], ordered[j]), expected) << i << " vs " << j;
        }
    }
    // Exact across timescales, even where a cross product overflows 64 bits.
    EXPECT_EQ(CMTimeMake(1, 2), CMTimeMake(500'000'000, kPreferredTimescale));
    EXPECT_LT(CMTimeMake(kMax - 1, kCMTimeMaxTimescale), CMTimeMake(kMax, kCMTimeMaxTimescale));
    EXPECT_GT(CMTimeMake(kMax, kCMTimeMaxTimescale - 1), CMTimeMake(kMax, kCMTimeMaxTimescale));
    EXPECT_EQ(CMTimeCompare(CMTime(kNaN, 1), kCMTimeInvalid), 0);
    EXPECT_TRUE(CMTime(kNaN, 1) > CMTime(kInf, 1));
}

TEST(CMTimeArithmetic, AddsAndSubtractsAcrossTimescales) {
    const CMTime sum = CMTimeMake(1, 3) + CMTimeMake(1, 2);
    EXPECT_EQ(sum.value, 5);
    EXPECT_EQ(sum.timescale, 6);
    EXPECT_FALSE(sum.hasBeenRounded());

    const CMTime nano = CMTime(1.5, kPreferredTimescale) + CMTimeMake(1, 1000);
    EXPECT_EQ(nano.timescale, kPreferredTimescale);
    EXPECT_EQ(nano.value, 1'501'000'000);

    const CMTime diff = CMTime(10.0, kPreferredTimescale) - CMTimeMake(25, 10);
    EXPECT_DOUBLE_EQ(diff.seconds(), 7.5);

    // Timescales whose least common multiple does not fit: the larger one, rounded.
    const CMTime odd = CMTimeMake(1, kPreferredTimescale) + CMTimeMake(1, 999'999'937);
    EXPECT_EQ(odd.timescale, kPreferredTimescale);
    EXPECT_EQ(odd.value, 2);
    EXPECT_TRUE(odd.hasBeenRounded());

    CMTime t = kCMTimeZero;
    t += CMTimeMake(3, 4);
    t -= CMTimeMake(1, 4);
    EXPECT_EQ(t, CMTimeMake(1, 2));
}

TEST(CMTimeArithmetic, NonNumericOperands) {
    const CMTime five = CMTimeMake(5, 1);
    EXPECT_FALSE((kCMTimeInvalid + five).isValid());
    EXPECT_FALSE((five - kCMTimeInvalid).isValid());
    EXPECT_FALSE((kCMTimeInvalid + kCMTimeIndefinite).isValid());
    EXPECT_TRUE((kCMTimeIndefinite + five).isIndefinite());
    EXPECT_TRUE((kCMTimePositiveInfinity + kCMTimeIndefinite).isIndefinite());
    EXPECT_TRUE((kCMTimePositiveInfinity + five).isPositiveInfinity());
    EXPECT_TRUE((five - kCMTimePositiveInfinity).isNegativeInfinity());
    EXPECT_TRUE((five - kCMTimeNegativeInfinity).isPositiveInfinity());
    EXPECT_TRUE((kCMTimePositiveInfinity - kCMTimeNegativeInfinity).isPositiveInfinity());
    EXPECT_FALSE((kCMTimePositiveInfinity + kCMTimeNegativeInfinity).isValid());
    EXPECT_FALSE((kCMTimePositiveInfinity - kCMTimePositiveInfinity).isValid());
}

TEST(CMTimeArithmetic, OverflowSaturates) {
    const CMTime top = CMTimeMake(kMax, 1);
    const CMTime up = top + CMTimeMake(1, 1);
    EXPECT_EQ(up.value, kMax);
    EXPECT_TRUE(up.hasBeenRounded());
    EXPECT_TRUE(up.isNumeric());

    const CMTime down = CMTimeMake(kMin, 1) - CMTimeMake(1, 1);
    EXPECT_EQ(down.value, kMin);
    EXPECT_TRUE(down.hasBeenRounded());

    // Negating the smallest value would overflow: saturates too.
    const CMTime negated = kCMTimeZero - CMTimeMake(kMin, 1);
    EXPECT_EQ(negated.value, kMax);

    // Scaling up to a common timescale that overflows.
    const CMTime scaled = CMTimeMake(kMax / 2, 1) + CMTimeMake(1, kPreferredTimescale);
    EXPECT_EQ(scaled.value, kMax);
    EXPECT_TRUE(scaled.hasBeenRounded());

    EXPECT_EQ(CMTimeMake(kMax, 1).convertScale(kPreferredTimescale).value, kMax);
    EXPECT_EQ(CMTimeMake(1'499, 1000).convertScale(1).value, 1);
    EXPECT_FALSE(CMTimeMake(1, 1).convertScale(0).isValid());
}

TEST(CMTimeRange, EndValidityAndContainment) {
    const CMTimeRange r(CMTime(10.0, kPreferredTimescale), CMTime(5.0, kPreferredTimescale));
    EXPECT_TRUE(r.isValid());
    EXPECT_DOUBLE_EQ(r.end().seconds(), 15.0);
    EXPECT_TRUE(r.containsTime(CMTimeMake(10, 1)));
    EXPECT_TRUE(r.containsTime(CMTime(14.999, kPreferredTimescale)));
    EXPECT_FALSE(r.containsTime(CMTimeMake(15, 1)));  // end is excluded
    EXPECT_FALSE(r.containsTime(CMTime(9.999, kPreferredTimescale)));
    EXPECT_FALSE(r.containsTime(kCMTimeInvalid));

    EXPECT_TRUE(kCMTimeRangeZero.isValid());
    EXPECT_TRUE(kCMTimeRangeZero.isEmpty());
    EXPECT_FALSE(kCMTimeRangeZero.containsTime(kCMTimeZero));
    EXPECT_FALSE(kCMTimeRangeInvalid.isValid());
    EXPECT_FALSE(CMTimeRange(kCMTimeZero, CMTimeMake(-1, 1)).isValid());
    EXPECT_FALSE(CMTimeRange(kCMTimeZero, kCMTimeNegativeInfinity).isValid());
    EXPECT_FALSE(CMTimeRange(CMTime(kNaN, 1), CMTimeMake(1, 1)).isValid());
    EXPECT_TRUE(CMTimeRange(kCMTimeZero, kCMTimePositiveInfinity).containsTime(CMTimeMake(kMax, 1)));

    const CMTimeRange fromTo = CMTimeRangeFromTimeToTime(CMTimeMake(2, 1), CMTimeMake(7, 2));
    EXPECT_EQ(fromTo.duration, CMTimeMake(3, 2));
    EXPECT_EQ(fromTo, CMTimeRangeMake(CMTimeMake(4, 2), CMTimeMake(15, 10)));
    EXPECT_FALSE(CMTimeRangeFromTimeToTime(CMTimeMake(5, 1), CMTimeMake(1, 1)).isValid());
}

TEST(CMTimeDescription, ReadableForLogs) {
    std::ostringstream os;
    os << CMTimeMake(12500, 1000) << ' ' << kCMTimeInvalid << ' ' << kCMTimeNegativeInfinity;
    EXPECT_EQ(os.str(), "{12500/1000 = 12.500} {INVALID} {-INFINITY}");
    EXPECT_EQ(kCMTimeRangeZero.description(), "{start {0/1 = 0.000}, duration {0/1 = 0.000}}");
}
