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
namespace devserver::thumbnails {

// The assets with thumbnails and key moments: the 120-second VOD assets of the play catalogue.
bool hasThumbnails(std::string_view assetId);
// Seconds of the asset's timeline (120 for every asset with thumbnails, 0 for the others).
double duration(std::string_view assetId);

struct FrameStyle {
    int width = 320;
    int height = 180;
    // Milliseconds between two frames: frame n shows the time n × separation.
    std::int32_t framewiseSeparation = 5000;
    int jpegQuality = 80;
};

// Frames 0 ... floor(duration × 1000 ÷ separation): the last one shows the very end.
int frameCount(std::string_view assetId, const FrameStyle& style = {});

// Frame `n` of an asset: a pitch seen from the stands that pans with time, the time ("1:05") in large
// digits on a dark band, and a progress bar in the asset's colour. Deterministic.
imageio::Bitmap drawFrame(std::string_view assetId, int frame, const FrameStyle& style = {});
// The same frame as JPEG; nothing for an asset without thumbnails or a frame out of range.
std::optional<std::vector<std::uint8_t>> frameJPEG(std::string_view assetId, int frame, const FrameStyle& style = {});

// BIF data of every frame of the asset: the 64-byte header (signature, version 0, image count,
// separation), one index entry per frame, the end-of-index entry, then the JPEG images.
std::optional<std::vector<std::uint8_t>> bifData(std::string_view assetId, const FrameStyle& style = {});
// BIF data of the given images, in order, as frames 0, 1, 2... `separation` milliseconds apart.
std::vector<std::uint8_t> encodeBIF(const std::vector<std::vector<std::uint8_t>>& images, std::int32_t separation);

// The key moments of the asset, in the fields a host hands to the kit's key-moment events:
// {"assetId": id, "duration": 120, "keyMoments": [{"code", "videoTime", "eventTime", "displayName",
// "displayTime", "player", "team"}]} (absent optional fields are left out). Nothing for other assets.
std::optional<nlohmann::ordered_json> keyMoments(std::string_view assetId);

}  // namespace devserver::thumbnails
