#include "kitfoundation/Utilities.h"

#include <openssl/evp.h>

#include <climits>
#include <cmath>
#include <cstdio>

namespace lumora {

std::optional<std::int64_t> checkedInt64(double value) {
    // 2^63 is exactly representable; every double below it (and at or above -2^63) truncates into range.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(value) || value >= limit || value < -limit) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::optional<int> checkedInt(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double truncated = std::trunc(value);
    if (truncated > static_cast<double>(INT_MAX) || truncated < static_cast<double>(INT_MIN)) return std::nullopt;
    return static_cast<int>(truncated);
}

std::string timeFormatted(double seconds) {
    const auto whole = checkedInt64(seconds);
    if (!whole) return "";
    // The magnitude of any value in range fits an unsigned 64-bit integer, -2^63 included.
    const bool negative = *whole < 0;
    const std::uint64_t total = negative ? 0 - static_cast<std::uint64_t>(*whole) : static_cast<std::uint64_t>(*whole);
    const unsigned long long hours = total / 3600;
    const unsigned minutes = static_cast<unsigned>((total % 3600) / 60);
    const unsigned secs = static_cast<unsigned>(total % 60);
    char buffer[48];
    if (hours > 0) {
        std::snprintf(buffer, sizeof buffer, "%s%llu:%02u:%02u", negative ? "-" : "", hours, minutes, secs);
    } else {
        std::snprintf(buffer, sizeof buffer, "%s%02u:%02u", negative ? "-" : "", minutes, secs);
    }
    return buffer;
}

std::string md5(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr) != 1) {
        // Only a crypto library without MD5 fails here; an empty digest text is the clear outcome.
        return "";
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int k = 0; k < length; ++k) {
        out.push_back(hex[digest[k] >> 4]);
        out.push_back(hex[digest[k] & 0x0f]);
    }
    return out;
}

}  // namespace lumora
