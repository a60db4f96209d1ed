#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace youboralib {

// The streaming protocols the options name (`YBOptions::setContentStreamingProtocol`).
struct YBConstantsStreamProtocol {
    static constexpr std::string_view hls = "HLS";
};

class YBYouboraUtils {
  public:
    // A rendition's description: "<width>x<height>@<bitrate>" ("640x360@150Kbps", "1920x1080@4.50Mbps").
    // The size is left out unless both sides are above 0, the bitrate unless it is a finite number above
    // 0 ("640x360", "800bps"); with neither, the empty text. Bitrates: below 1000 in "bps", then whole
    // "Kbps" up to 999, then "Mbps" with two decimals.
    static std::string buildRenditionString(std::int32_t width, std::int32_t height, double bitrate);
};

}  // namespace youboralib
