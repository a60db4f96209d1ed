#include "youboralib/YBYouboraUtils.h"

#include <cmath>
#include <cstdio>

namespace youboralib {

std::string YBYouboraUtils::buildRenditionString(std::int32_t width, std::int32_t height, double bitrate) {
    std::string out;
    if (width > 0 && height > 0) out = std::to_string(width) + "x" + std::to_string(height);
    if (!std::isfinite(bitrate) || bitrate <= 0) return out;
    char text[512];  // room for the largest double written in full
    if (std::round(bitrate) < 1000) {
        std::snprintf(text, sizeof text, "%.0fbps", bitrate);
    } else if (std::round(bitrate / 1000) < 1000) {
        std::snprintf(text, sizeof text, "%.0fKbps", bitrate / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.2fMbps", bitrate / 1e6);
    }
    if (!out.empty()) out += "@";
    return out + text;
}

}  // namespace youboralib
