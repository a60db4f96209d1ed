#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumora {

// Clock text of a number of seconds for time labels: "mm:ss", or "h:mm:ss" when there are whole hours
// (minutes and seconds two digits each, hours as many digits as they need). The seconds are truncated
// toward zero. A negative value is the text of its magnitude after a "-" ("-00:05").
// A value that is not a finite number, or whose whole seconds do not fit a 64-bit integer, gives "".
std::string timeFormatted(double seconds);

// The lower-case hexadecimal MD5 digest of the text's bytes (UTF-8 for text).
std::string md5(std::string_view text);

// The whole part of `value` as a 64-bit integer (truncated toward zero), or nothing when `value` is NaN,
// infinite or out of range. Every conversion of a floating-point number to an integer in the kit's
// foundation goes through it.
std::optional<std::int64_t> checkedInt64(double value);
// The same for `int`.
std::optional<int> checkedInt(double value);

}  // namespace lumora
