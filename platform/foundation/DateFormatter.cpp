#include "foundation/DateFormatter.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace foundation {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Howard Hinnant's algorithms).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {y + (m <= 2), m, d};
}

bool isLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
unsigned daysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

// One piece of a pattern: a run of one letter, or literal text.
struct Token {
    char letter = 0;  // 0 for a literal
    int count = 0;
    std::string literal;
};

std::vector<Token> tokenize(std::string_view pattern) {
    std::vector<Token> tokens;
    auto addLiteral = [&](char c) {
        if (tokens.empty() || tokens.back().letter != 0) tokens.push_back(Token{});
        tokens.back().literal.push_back(c);
    };
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                addLiteral('\'');
                i += 2;
                continue;
            }
            ++i;
            while (i < pattern.size()) {
                if (pattern[i] == '\'') {
                    if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                        addLiteral('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                addLiteral(pattern[i++]);
            }
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            int count = 0;
            while (i < pattern.size() && pattern[i] == c) {
                ++count;
                ++i;
            }
            switch (c) {
                case 'y':
                case 'M':
                case 'd':
                case 'H':
                case 'm':
                case 's':
                case 'S':
                case 'Z':
                case 'X':
                    tokens.push_back(Token{c, count, {}});
                    break;
                default:
                    for (int k = 0; k < count; ++k) addLiteral(c);
                    break;
            }
            continue;
        }
        addLiteral(c);
        ++i;
    }
    return tokens;
}

// `value` in decimal, zero-padded to `width` characters (a sign counts toward the width), and never longer
// than 31 characters however wide the field asks to be. Written by hand: a formatted print costs more than
// the whole of the rest of a date.
std::string padded(std::int64_t value, int width) {
    constexpr std::size_t kLongest = 31;
    char digits[20];
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const char* end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const auto count = static_cast<std::size_t>(end - digits);
    const std::size_t wanted = width > 0 ? static_cast<std::size_t>(width) : 0;
    const std::size_t used = count + (negative ? 1 : 0);
    char out[kLongest];
    std::size_t length = 0;
    if (negative) out[length++] = '-';
    for (std::size_t zeros = wanted > used ? wanted - used : 0; zeros > 0 && length < kLongest; --zeros) {
        out[length++] = '0';
    }
    for (std::size_t i = 0; i < count && length < kLongest; ++i) out[length++] = digits[i];
    return std::string(out, length);
}

std::string offsetText(int seconds, bool colon, bool zForZero, bool hoursOnlyWhenWhole) {
    if (seconds == 0 && zForZero) return "Z";
    const char sign = seconds < 0 ? '-' : '+';
    const int abs = std::abs(seconds);
    const int hours = abs / 3600;
    const int minutes = (abs % 3600) / 60;
    std::string out(1, sign);
    out += padded(hours, 2);
    if (hoursOnlyWhenWhole && minutes == 0) return out;
    if (colon) out.push_back(':');
    out += padded(minutes, 2);
    return out;
}

constexpr double kFirstYearStart = -62135596800.0;  // 0001-01-01T00:00:00Z
constexpr double kPastLastYear = 253402300800.0;    // 10000-01-01T00:00:00Z

// Reads between `minDigits` and `maxDigits` decimal digits.
std::optional<std::int64_t> readNumber(std::string_view text, std::size_t& pos, int minDigits, int maxDigits) {
    std::int64_t value = 0;
    int digits = 0;
    while (pos < text.size() && digits < maxDigits && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits < minDigits) return std::nullopt;
    return value;
}

std::optional<int> readOffset(std::string_view text, std::size_t& pos) {
    if (pos < text.size() && text[pos] == 'Z') {
        ++pos;
        return 0;
    }
    if (text.substr(pos, 3) == "GMT" || text.substr(pos, 3) == "UTC") {
        pos += 3;
        if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return 0;
    }
    if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
    const int sign = text[pos] == '-' ? -1 : 1;
    ++pos;
    auto hours = readNumber(text, pos, 2, 2);
    if (!hours || *hours > 23) return std::nullopt;
    std::int64_t minutes = 0;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        auto m = readNumber(text, pos, 2, 2);
        if (!m) return std::nullopt;
        minutes = *m;
    } else if (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        auto m = readNumber(text, pos, 2, 2);
        if (!m) return std::nullopt;
        minutes = *m;
    }
    if (minutes > 59) return std::nullopt;
    return sign * static_cast<int>(*hours * 3600 + minutes * 60);
}

}  // namespace

// ---- TimeZone ----

TimeZone TimeZone::fixed(int secondsFromGMT) {
    if (secondsFromGMT == 0) return utc();
    return TimeZone{secondsFromGMT, "GMT" + offsetText(secondsFromGMT, false, false, false)};
}

std::optional<TimeZone> TimeZone::fromAbbreviation(std::string_view abbreviation) {
    if (abbreviation == "UTC" || abbreviation == "GMT" || abbreviation == "Z") return utc();
    std::string_view rest;
    if (abbreviation.substr(0, 3) == "UTC" || abbreviation.substr(0, 3) == "GMT") {
        rest = abbreviation.substr(3);
    } else {
        return std::nullopt;
    }
    if (rest.empty() || (rest[0] != '+' && rest[0] != '-')) return std::nullopt;
    const int sign = rest[0] == '-' ? -1 : 1;
    std::size_t pos = 1;
    auto hours = readNumber(rest, pos, 1, 2);
    if (!hours || *hours > 18) return std::nullopt;
    std::int64_t minutes = 0;
    if (pos < rest.size()) {
        if (rest[pos] == ':') ++pos;
        auto m = readNumber(rest, pos, 2, 2);
        if (!m || *m > 59) return std::nullopt;
        minutes = *m;
    }
    if (pos != rest.size()) return std::nullopt;
    return fixed(sign * static_cast<int>(*hours * 3600 + minutes * 60));
}

// ---- Locale ----

Locale::Locale(std::string_view id) : identifier(id) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : id) {
        if (c == '_' || c == '-') {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(current);
    auto allAlpha = [](const std::string& s) {
        for (unsigned char c : s) {
            if (!std::isalpha(c)) return false;
        }
        return !s.empty();
    };
    auto allDigits = [](const std::string& s) {
        for (unsigned char c : s) {
            if (!std::isdigit(c)) return false;
        }
        return !s.empty();
    };
    if (parts.empty() || !allAlpha(parts[0]) || parts[0].size() < 2 || parts[0].size() > 3) return;
    std::string language = parts[0];
    for (auto& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    languageCode = language;
    std::size_t i = 1;
    if (i < parts.size() && parts[i].size() == 4 && allAlpha(parts[i])) ++i;  // script
    if (i < parts.size()) {
        const std::string& r = parts[i];
        if (r.size() == 2 && allAlpha(r)) {
            std::string region = r;
            for (auto& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            regionCode = region;
        } else if (r.size() == 3 && allDigits(r)) {
            regionCode = r;
        }
    }
}

Locale Locale::current() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string id(value);
        id = id.substr(0, id.find('.'));
        id = id.substr(0, id.find('@'));
        if (id.empty() || id == "C" || id == "POSIX") return posix();
        return Locale(id);
    }
    return posix();
}

// ---- DateFormatter ----

std::string DateFormatter::string(const Date& date) const {
    const double t = date.timeIntervalSince1970() + timeZone_.secondsFromGMT;
    if (!std::isfinite(t) || t < kFirstYearStart || t >= kPastLastYear) return "";
    // Whole microseconds first, so that 1.001 s is 1 s and 1000 µs, not 1 s and 999.999... µs.
    const auto micros = static_cast<std::int64_t>(std::llround(t * 1e6));
    std::int64_t seconds = micros / 1000000;
    std::int64_t fraction = micros % 1000000;
    if (fraction < 0) {
        fraction += 1000000;
        seconds -= 1;
    }
    std::int64_t days = seconds / 86400;
    std::int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        days -= 1;
    }
    const Civil civil = civilFromDays(days);
    if (civil.year < 1 || civil.year > 9999) return "";
    const auto hour = secondOfDay / 3600;
    const auto minute = (secondOfDay % 3600) / 60;
    const auto second = secondOfDay % 60;

    std::string out;
    for (const Token& token : tokenize(dateFormat_)) {
        const int n = token.count;
        switch (token.letter) {
            case 0:
                out += token.literal;
                break;
            case 'y':
                out += n == 2 ? padded(civil.year % 100, 2) : padded(civil.year, n);
                break;
            case 'M':
                if (n >= 4) {
                    out += kMonthNames[civil.month - 1];
                } else if (n == 3) {
                    out += std::string(kMonthNames[civil.month - 1]).substr(0, 3);
                } else {
                    out += padded(civil.month, n);
                }
                break;
            case 'd':
                out += padded(civil.day, std::min(n, 2));
                break;
            case 'H':
                out += padded(hour, std::min(n, 2));
                break;
            case 'm':
                out += padded(minute, std::min(n, 2));
                break;
            case 's':
                out += padded(second, std::min(n, 2));
                break;
            case 'S': {
                std::string digits = padded(fraction, 6);
                if (n <= 6) {
                    out += digits.substr(0, static_cast<std::size_t>(n));
                } else {
                    out += digits + std::string(static_cast<std::size_t>(n - 6), '0');
                }
                break;
            }
            case 'Z':
                if (n <= 3) {
                    out += offsetText(timeZone_.secondsFromGMT, false, false, false);
                } else if (n == 4) {
                    out += timeZone_.secondsFromGMT == 0
                               ? std::string("GMT")
                               : "GMT" + offsetText(timeZone_.secondsFromGMT, true, false, false);
                } else {
                    out += offsetText(timeZone_.secondsFromGMT, true, true, false);
                }
                break;
            case 'X':
                if (n == 1) {
                    out += offsetText(timeZone_.secondsFromGMT, false, true, true);
                } else if (n == 2) {
                    out += offsetText(timeZone_.secondsFromGMT, false, true, false);
                } else {
                    out += offsetText(timeZone_.secondsFromGMT, true, true, false);
                }
                break;
            default:
                break;
        }
    }
    return out;
}

std::optional<Date> DateFormatter::date(std::string_view text) const {
    std::int64_t year = 1970;
    std::int64_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
    double fraction = 0;
    std::optional<int> offset;
    std::size_t pos = 0;
    for (const Token& token : tokenize(dateFormat_)) {
        const int n = token.count;
        if (token.letter == 0) {
            if (text.substr(pos, token.literal.size()) != token.literal) return std::nullopt;
            pos += token.literal.size();
            continue;
        }
        std::optional<std::int64_t> value;
        switch (token.letter) {
            case 'y':
                if (n == 2) {
                    value = readNumber(text, pos, 2, 2);
                    if (value) year = 2000 + *value;
                } else {
                    value = readNumber(text, pos, std::max(n, 1), std::max(n, 4));
                    if (value) year = *value;
                }
                break;
            case 'M':
                if (n >= 3) {
                    for (int m = 0; m < 12; ++m) {
                        const std::string name = n == 3 ? std::string(kMonthNames[m]).substr(0, 3) : kMonthNames[m];
                        if (text.substr(pos, name.size()) == name) {
                            value = m + 1;
                            pos += name.size();
                            break;
                        }
                    }
                } else {
                    value = readNumber(text, pos, n, 2);
                }
                if (value) month = *value;
                break;
            case 'd':
                value = readNumber(text, pos, std::min(n, 2), 2);
                if (value) day = *value;
                break;
            case 'H':
                value = readNumber(text, pos, std::min(n, 2), 2);
                if (value) hour = *value;
                break;
            case 'm':
                value = readNumber(text, pos, std::min(n, 2), 2);
                if (value) minute = *value;
                break;
            case 's':
                value = readNumber(text, pos, std::min(n, 2), 2);
                if (value) second = *value;
                break;
            case 'S': {
                const std::size_t start = pos;
                value = readNumber(text, pos, n, n);
                if (value) fraction = static_cast<double>(*value) / std::pow(10.0, static_cast<double>(pos - start));
                break;
            }
            case 'Z':
            case 'X':
                offset = readOffset(text, pos);
                if (offset) value = *offset;
                break;
            default:
                break;
        }
        if (!value) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    if (day < 1 || day > static_cast<std::int64_t>(daysInMonth(year, static_cast<unsigned>(month))))
        return std::nullopt;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const double seconds = static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second) + fraction;
    return Date(seconds - offset.value_or(timeZone_.secondsFromGMT));
}

}  // namespace foundation
