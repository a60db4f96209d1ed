#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "imageio/Bitmap.h"

// What the thumbnail service serves, made in code so that no artwork is stored: scrubbing frames drawn
// per asset and time, the BIF file that bundles them, and the asset's key moments.
//
// Both are on the content timeline, the one the viewer's controls run in: for an asset with inserted ads
// (the play catalogue's ad breaks, `play::adBreaks`) that is the stream with its ads cut out. A frame or a
// moment at content time t shows what the stream shows at the stream time of t, where a seek to t lands.
namespace devserver::thumbnails {

// The assets with thumbnails and key moments: the 120-second VOD assets of the play catalogue.
bool hasThumbnails(std::string_view assetId);
// Seconds of the asset's content timeline: its 120-second stream without its ads (104 for the assets with
// ads, 120 for the others; 0 for an asset without thumbnails).
double duration(std::string_view assetId);
// Where content time `seconds` lies on the asset's stream (ads counted): past every ad that starts at or
// before it, as a seek of the player goes there.
double streamTime(std::string_view assetId, double seconds);
// The content time of stream time `seconds`; inside an ad, the content time at which the ad begins.
double contentTime(std::string_view assetId, double seconds);

struct FrameStyle {
    int width = 320;
    int height = 180;
    // Milliseconds between two frames: frame n is content time n × separation.
    std::int32_t framewiseSeparation = 5000;
    int jpegQuality = 80;
};

// Frames 0 ... floor(duration × 1000 ÷ separation) of the content timeline: the last one is at or just
// before its end.
int frameCount(std::string_view assetId, const FrameStyle& style = {});

// The stream's picture at stream time `seconds`: a pitch seen from the stands that pans with time, the
// stream time ("1:05") in large digits on a dark band, and a progress bar through the stream in the asset's
// colour. Deterministic.
imageio::Bitmap drawPicture(std::string_view assetId, double seconds, const FrameStyle& style = {});
// Frame `n` of an asset: the picture at the stream time of content time n × separation.
imageio::Bitmap drawFrame(std::string_view assetId, int frame, const FrameStyle& style = {});
// The same frame as JPEG; nothing for an asset without thumbnails or a frame out of range.
std::optional<std::vector<std::uint8_t>> frameJPEG(std::string_view assetId, int frame, const FrameStyle& style = {});

// BIF data of every frame of the asset: the 64-byte header (signature, version 0, image count,
// separation), one index entry per frame, the end-of-index entry, then the JPEG images.
std::optional<std::vector<std::uint8_t>> bifData(std::string_view assetId, const FrameStyle& style = {});
// BIF data of the given images, in order, as frames 0, 1, 2... `separation` milliseconds apart.
std::vector<std::uint8_t> encodeBIF(const std::vector<std::vector<std::uint8_t>>& images, std::int32_t separation);

// The key moments of the asset, in the fields a host hands to the kit's key-moment events:
// {"assetId": id, "duration": <content seconds>, "keyMoments": [{"code", "videoTime", "eventTime",
// "displayName", "displayTime", "player", "team"}]} (absent optional fields are left out). Nothing for other
// assets. `videoTime` is content time: every asset's stream shows the same match, so a moment of an asset
// with ads is where the stream shows it, with the ads before it counted out.
std::optional<nlohmann::ordered_json> keyMoments(std::string_view assetId);

}  // namespace devserver::thumbnails
