#include <gtest/gtest.h>

#include <cmath>

#include "foundation/DateFormatter.h"

namespace foundation {
namespace {

// 2024-03-05T14:07:09.042Z
constexpr double kSample = 1709647629.042;

TEST(DateFormatterTest, FixedFormatsInUTC) {
    DateFormatter f("yyyy-MM-dd'T'HH:mm:ss.SSS");
    EXPECT_EQ(f.timeZone(), TimeZone::utc());
    EXPECT_EQ(f.locale().identifier, "en_US_POSIX");
    EXPECT_EQ(f.string(Date(kSample)), "2024-03-05T14:07:09.042");
    f.setDateFormat("HH:mm:ss.SSS");
    EXPECT_EQ(f.string(Date(kSample)), "14:07:09.042");
    f.setDateFormat("ss.SSS");
    EXPECT_EQ(f.string(Date(kSample)), "09.042");
    EXPECT_EQ(f.string(Date(1.001)), "01.001");    // not 01.000 from binary rounding
    EXPECT_EQ(f.string(Date(59.9996)), "59.999");  // truncated, never carried into the next second
    f.setDateFormat("yyyy-MM-dd HH:mm:ss.S 'at' ''y'' d/M/yy MMM MMMM");
    EXPECT_EQ(f.string(Date(-1.5)), "1969-12-31 23:59:58.5 at '1969' 31/12/69 Dec December");
    EXPECT_EQ(f.string(Date(std::nan(""))), "");
    EXPECT_EQ(f.string(Date(1e15)), "");
    f.setDateFormat("yyyy-MM-dd");
    EXPECT_EQ(f.string(Date(951782400)), "2000-02-29");  // a leap day
}

TEST(DateFormatterTest, ZonesAndOffsets) {
    DateFormatter f("yyyy-MM-dd'T'HH:mm:ss.SSSZ");
    EXPECT_EQ(f.string(Date(kSample)), "2024-03-05T14:07:09.042+0000");
    f.setTimeZone(TimeZone::fixed(-(5 * 3600 + 30 * 60)));
    EXPECT_EQ(f.string(Date(kSample)), "2024-03-05T08:37:09.042-0530");
    f.setDateFormat("HH:mm X XX XXX ZZZZZ ZZZZ");
    EXPECT_EQ(f.string(Date(kSample)), "08:37 -0530 -0530 -05:30 -05:30 GMT-05:30");
    f.setTimeZone(TimeZone::fixed(3600));
    EXPECT_EQ(f.string(Date(kSample)), "15:07 +01 +0100 +01:00 +01:00 GMT+01:00");
    f.setTimeZone(TimeZone::utc());
    EXPECT_EQ(f.string(Date(kSample)), "14:07 Z Z Z Z GMT");

    EXPECT_EQ(TimeZone::fromAbbreviation("UTC"), TimeZone::utc());
    EXPECT_EQ(TimeZone::fromAbbreviation("GMT+2")->secondsFromGMT, 7200);
    EXPECT_EQ(TimeZone::fromAbbreviation("UTC-05:30")->secondsFromGMT, -19800);
    EXPECT_FALSE(TimeZone::fromAbbreviation("CEST"));
    EXPECT_FALSE(TimeZone::fromAbbreviation("GMT+99"));
}

TEST(DateFormatterTest, ParsingReadsThePatternExactly) {
    DateFormatter f("yyyy-MM-dd'T'HH:mm:ss.SSSZ");
    EXPECT_NEAR(f.date("2024-03-05T14:07:09.042+0000")->timeIntervalSince1970(), kSample, 1e-6);
    EXPECT_NEAR(f.date("2024-03-05T15:07:09.042+01:00")->timeIntervalSince1970(), kSample, 1e-6);
    EXPECT_NEAR(f.date("2024-03-05T14:07:09.042Z")->timeIntervalSince1970(), kSample, 1e-6);
    for (const char* bad :
         {"2024-02-30T00:00:00.000Z", "2024-13-01T00:00:00.000Z", "2024-03-05T24:00:00.000Z",
          "2024-03-05 14:07:09.042Z", "2024-03-05T14:07:09.042Z trailing", "2024-03-05T14:07:09Z", ""}) {
        EXPECT_FALSE(f.date(bad)) << bad;
    }
    DateFormatter local("yyyy-MM-dd HH:mm");
    local.setTimeZone(TimeZone::fixed(3600));
    EXPECT_EQ(local.date("1970-01-01 01:00")->timeIntervalSince1970(), 0.0);
    EXPECT_EQ(local.string(*local.date("2023-11-30 23:59")), "2023-11-30 23:59");
}

TEST(LocaleTest, LanguageAndRegion) {
    const Locale us("en_US");
    EXPECT_EQ(us.languageCode, "en");
    EXPECT_EQ(us.regionCode, "US");
    const Locale gb("en-gb");
    EXPECT_EQ(gb.regionCode, "GB");
    EXPECT_EQ(gb.identifier, "en-gb");
    EXPECT_EQ(Locale("sv").languageCode, "sv");
    EXPECT_FALSE(Locale("sv").regionCode);
    EXPECT_EQ(Locale("zh-Hant-TW").regionCode, "TW");
    EXPECT_EQ(Locale("es_419").regionCode, "419");
    EXPECT_EQ(Locale::posix().regionCode, "US");
    EXPECT_FALSE(Locale("").languageCode);
    EXPECT_FALSE(Locale("1234").languageCode);
}

}  // namespace
}  // namespace foundation
