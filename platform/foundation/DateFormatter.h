#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/Date.h"

namespace foundation {

// A fixed offset from UTC. Only UTC and fixed offsets are known (no daylight-saving rules).
struct TimeZone {
    int secondsFromGMT = 0;
    std::string identifier = "GMT";

    static TimeZone utc() { return TimeZone{0, "GMT"}; }
    static TimeZone fixed(int secondsFromGMT);
    // "UTC", "GMT", "Z" and "GMT+2", "UTC-05:30"...; nothing for other names.
    static std::optional<TimeZone> fromAbbreviation(std::string_view abbreviation);
    friend bool operator==(const TimeZone&, const TimeZone&) = default;
};

// A language and an optional region: "en_US", "en-GB", "sv", "en_US_POSIX".
struct Locale {
    std::string identifier;
    std::optional<std::string> languageCode;
    std::optional<std::string> regionCode;

    // Parses "ll", "ll_RR", "ll-RR", "ll_Scrp_RR" (language: 2 or 3 letters, lowered; region: 2 letters,
    // raised, or 3 digits; a 4-letter script is skipped; later parts such as "POSIX" are kept in the
    // identifier only). An identifier that does not start with a language has neither code.
    explicit Locale(std::string_view identifier);
    static Locale posix() { return Locale("en_US_POSIX"); }
    // From LC_ALL / LC_MESSAGES / LANG ("sv_SE.UTF-8" -> "sv_SE"), else "en_US_POSIX".
    static Locale current();
    friend bool operator==(const Locale&, const Locale&) = default;
};

// Formats and parses dates in fixed patterns, always with the Gregorian calendar and POSIX (English)
// conventions, in UTC unless told otherwise.
//
// Pattern letters: y (year; "yy" two digits), M (month 1-12, "MM" two digits), d (day), H (hour 0-23),
// m (minute), s (second), S (fraction of a second: "S" tenths, "SS" hundredths, "SSS" milliseconds...),
// Z ("Z"/"ZZ"/"ZZZ" -> "+0100"; "ZZZZZ" -> "+01:00" or "Z"), X ("X" -> "+01" or "Z", "XX" -> "+0100",
// "XXX" -> "+01:00"); text in single quotes is literal ("''" is a quote); other letters are not supported
// and are written as they are; every other character is literal.
class DateFormatter {
  public:
    DateFormatter() = default;
    explicit DateFormatter(std::string dateFormat) : dateFormat_(std::move(dateFormat)) {}

    const std::string& dateFormat() const { return dateFormat_; }
    void setDateFormat(std::string format) { dateFormat_ = std::move(format); }
    const TimeZone& timeZone() const { return timeZone_; }
    void setTimeZone(TimeZone zone) { timeZone_ = std::move(zone); }
    const Locale& locale() const { return locale_; }
    void setLocale(Locale locale) { locale_ = std::move(locale); }

    // Fractions are truncated, never rounded up into the next second ("59.9996" -> "59.999").
    // Dates outside years 1...9999 give the empty text.
    std::string string(const Date& date) const;
    // Parses text written in the pattern exactly (the whole text); nothing when it does not match or
    // names an impossible date (month 13, 31 April...). A missing zone in the pattern means `timeZone()`.
    std::optional<Date> date(std::string_view text) const;

  private:
    std::string dateFormat_;
    TimeZone timeZone_ = TimeZone::utc();
    Locale locale_ = Locale::posix();
};

}  // namespace foundation
