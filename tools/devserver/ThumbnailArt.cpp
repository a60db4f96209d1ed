#include "devserver/ThumbnailArt.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "devserver/PlayService.h"
#include "imageio/ImageDecoder.h"

namespace devserver::thumbnails {

namespace {

using Json = nlohmann::ordered_json;
using RGB = std::array<int, 3>;

struct AssetArt {
    std::string_view id;
    RGB accent;       // the progress bar and the time band's edge
    double panSpeed;  // how fast the pitch pans, in pixels per second
};

constexpr AssetArt kAssets[] = {
    {"vod-clear", {0, 200, 255}, 2.0},
    {"vod-protected", {255, 176, 0}, -1.5},
    {"vod-ads", {230, 60, 140}, 1.0},
    {"vod-protected-ads", {120, 220, 90}, -1.0},
};
// Every asset's stream, ads counted.
constexpr double kStreamDuration = 120.0;

const AssetArt* findAsset(std::string_view id) {
    for (const auto& asset : kAssets) {
        if (asset.id == id) return &asset;
    }
    return nullptr;
}

// A 5 × 7 pixel font for the digits, ":" and "-"; each row's five bits, most significant on the left.
constexpr std::array<std::uint8_t, 7> glyph(char c) {
    switch (c) {
        case '0':
            return {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E};
        case '1':
            return {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E};
        case '2':
            return {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F};
        case '3':
            return {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E};
        case '4':
            return {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02};
        case '5':
            return {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E};
        case '6':
            return {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E};
        case '7':
            return {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08};
        case '8':
            return {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E};
        case '9':
            return {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C};
        case ':':
            return {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00};
        case '-':
            return {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00};
        default:
            return {0, 0, 0, 0, 0, 0, 0};
    }
}

class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(std::size_t(width) * height * 4, 255) {}

    void set(int x, int y, RGB c, double alpha = 1.0) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        auto* p = &pixels_[(std::size_t(y) * width_ + x) * 4];
        for (int i = 0; i < 3; ++i) {
            p[i] = static_cast<std::uint8_t>(std::lround(p[i] * (1 - alpha) + std::clamp(c[i], 0, 255) * alpha));
        }
        p[3] = 255;
    }
    void fill(int x, int y, int w, int h, RGB c, double alpha = 1.0) {
        for (int j = std::max(0, y); j < std::min(height_, y + h); ++j) {
            for (int i = std::max(0, x); i < std::min(width_, x + w); ++i) set(i, j, c, alpha);
        }
    }
    // Text in the pixel font, each font pixel `scale` × `scale` pixels, one font pixel between glyphs.
    void text(std::string_view s, int x, int y, int scale, RGB c) {
        for (char ch : s) {
            const auto rows = glyph(ch);
            for (int r = 0; r < 7; ++r) {
                for (int b = 0; b < 5; ++b) {
                    if (rows[r] & (0x10 >> b)) fill(x + b * scale, y + r * scale, scale, scale, c);
                }
            }
            x += 6 * scale;
        }
    }
    static int textWidth(std::string_view s, int scale) { return s.empty() ? 0 : int(s.size()) * 6 * scale - scale; }

    imageio::Bitmap bitmap() const {
        return *imageio::Bitmap::fromRGBA(std::uint32_t(width_), std::uint32_t(height_), pixels_);
    }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

struct AdSpan {
    double start;
    double duration;
};

// The asset's ads on its stream, in the order they start: the play catalogue's ad breaks.
std::vector<AdSpan> adSpans(std::string_view assetId) {
    std::vector<AdSpan> spans;
    const auto breaks = play::adBreaks(assetId);
    if (!breaks) return spans;
    for (const auto& group : (*breaks)["breaks"]) {
        for (const auto& ad : group["ads"])
            spans.push_back({ad["startTime"].get<double>(), ad["duration"].get<double>()});
    }
    std::sort(spans.begin(), spans.end(), [](const AdSpan& a, const AdSpan& b) { return a.start < b.start; });
    return spans;
}

std::string clockText(double seconds) {
    const int total = static_cast<int>(seconds);
    return std::to_string(total / 60) + ":" + (total % 60 < 10 ? "0" : "") + std::to_string(total % 60);
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

bool hasThumbnails(std::string_view assetId) {
    return findAsset(assetId) != nullptr;
}

double duration(std::string_view assetId) {
    if (!hasThumbnails(assetId)) return 0;
    double ads = 0;
    for (const auto& ad : adSpans(assetId)) ads += ad.duration;
    return kStreamDuration - ads;
}

double streamTime(std::string_view assetId, double seconds) {
    // Compared with the running value: an ad reached only once the earlier ones are counted counts too.
    for (const auto& ad : adSpans(assetId)) {
        if (ad.start <= seconds) seconds += ad.duration;
    }
    return seconds;
}

double contentTime(std::string_view assetId, double seconds) {
    double passed = 0;
    for (const auto& ad : adSpans(assetId)) {
        if (ad.start + ad.duration <= seconds) {
            passed += ad.duration;
        } else if (ad.start < seconds) {
            return ad.start - passed;
        }
    }
    return seconds - passed;
}

int frameCount(std::string_view assetId, const FrameStyle& style) {
    if (!hasThumbnails(assetId) || style.framewiseSeparation <= 0) return 0;
    return static_cast<int>(std::floor(duration(assetId) * 1000.0 / style.framewiseSeparation)) + 1;
}

imageio::Bitmap drawFrame(std::string_view assetId, int frame, const FrameStyle& style) {
    const double content = double(frame) * style.framewiseSeparation / 1000.0;
    return drawPicture(assetId, streamTime(assetId, content), style);
}

imageio::Bitmap drawPicture(std::string_view assetId, double seconds, const FrameStyle& style) {
    const AssetArt* asset = findAsset(assetId);
    const AssetArt art = asset ? *asset : AssetArt{"", {200, 200, 200}, 0};
    const int w = std::max(16, style.width), h = std::max(16, style.height);
    Canvas canvas(w, h);

    // Stands (a dark band with a gradient) over the pitch.
    const int horizon = h * 28 / 100;
    for (int y = 0; y < horizon; ++y) {
        const double t = double(y) / horizon;
        canvas.fill(0, y, w, 1, {int(20 + 30 * t), int(24 + 36 * t), int(40 + 50 * t)});
    }
    // Mown stripes that pan with time, lighter towards the camera.
    const double pan = seconds * art.panSpeed * 8.0;
    for (int y = horizon; y < h; ++y) {
        const double depth = double(y - horizon) / (h - horizon);
        const double stripe = 18.0 + 22.0 * depth;
        for (int x = 0; x < w; ++x) {
            const double u = (x - w / 2.0) * (0.6 + 0.4 * depth) + pan;
            const bool light = static_cast<long long>(std::floor(u / stripe)) % 2 == 0;
            const int g = light ? 150 : 128;
            canvas.set(x, y, {int(40 + 20 * depth), int(g + 30 * depth), int(50 + 10 * depth)});
        }
    }
    // The halfway line and the centre circle, drifting with the pan.
    const int lineX = static_cast<int>(std::lround(w / 2.0 - std::fmod(pan, double(w)) * 0.5));
    canvas.fill(lineX - 1, horizon, 2, h - horizon, {235, 240, 235});
    const double cy = horizon + (h - horizon) * 0.45, rx = w * 0.16, ry = (h - horizon) * 0.22;
    for (int y = horizon; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot((x - lineX) / rx, (y - cy) / ry);
            if (std::abs(d - 1.0) < 0.045) canvas.set(x, y, {235, 240, 235});
        }
    }
    // The time on a dark band, and the progress bar at the very bottom.
    const int scale = std::max(1, h / 45);
    const std::string label = clockText(seconds);
    const int bandHeight = 7 * scale + 4 * scale;
    const int bandY = h - bandHeight - std::max(3, h / 30);
    canvas.fill(0, bandY, w, bandHeight, {0, 0, 0}, 0.55);
    canvas.text(label, (w - Canvas::textWidth(label, scale)) / 2, bandY + 2 * scale, scale, {255, 255, 255});
    const int barHeight = std::max(3, h / 30);
    const double progress = std::clamp(seconds / kStreamDuration, 0.0, 1.0);
    canvas.fill(0, h - barHeight, w, barHeight, {0, 0, 0});
    canvas.fill(0, h - barHeight, static_cast<int>(std::lround(w * progress)), barHeight, art.accent);
    return canvas.bitmap();
}

std::optional<std::vector<std::uint8_t>> frameJPEG(std::string_view assetId, int frame, const FrameStyle& style) {
    if (frame < 0 || frame >= frameCount(assetId, style)) return std::nullopt;
    auto jpeg = imageio::encodeJPEG(drawFrame(assetId, frame, style), style.jpegQuality);
    if (!jpeg) return std::nullopt;
    return std::move(*jpeg);
}

std::vector<std::uint8_t> encodeBIF(const std::vector<std::vector<std::uint8_t>>& images, std::int32_t separation) {
    std::vector<std::uint8_t> out{0x89, 0x42, 0x49, 0x46, 0x0D, 0x0A, 0x1A, 0x0A};
    put32(out, 0);  // version
    put32(out, static_cast<std::uint32_t>(images.size()));
    put32(out, static_cast<std::uint32_t>(separation));
    out.resize(64, 0);
    std::size_t offset = 64 + 8 * (images.size() + 1);
    for (std::size_t i = 0; i < images.size(); ++i) {
        put32(out, static_cast<std::uint32_t>(i));
        put32(out, static_cast<std::uint32_t>(offset));
        offset += images[i].size();
    }
    put32(out, 0xFFFFFFFFu);
    put32(out, static_cast<std::uint32_t>(offset));
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

std::optional<std::vector<std::uint8_t>> bifData(std::string_view assetId, const FrameStyle& style) {
    const int count = frameCount(assetId, style);
    if (count == 0) return std::nullopt;
    std::vector<std::vector<std::uint8_t>> images;
    images.reserve(static_cast<std::size_t>(count));
    for (int n = 0; n < count; ++n) {
        auto jpeg = frameJPEG(assetId, n, style);
        if (!jpeg) return std::nullopt;
        images.push_back(std::move(*jpeg));
    }
    return encodeBIF(images, style.framewiseSeparation);
}

std::optional<nlohmann::ordered_json> keyMoments(std::string_view assetId) {
    if (!hasThumbnails(assetId)) return std::nullopt;
    struct Moment {
        const char* code;
        double videoTime;
        double eventTime;
        const char* displayName;
        const char* displayTime;
        const char* player;
        const char* team;
    };
    // A match told in two minutes of stream: some moments lie seconds apart, so their markers form groups.
    // None lies inside an ad.
    static constexpr Moment kMoments[] = {
        {"KO", 2.0, 0, "Kick-off", "0'", nullptr, nullptr},
        {"C", 14.0, 540, "Corner", "9'", "A. Berg", "Harbour FC"},
        {"G", 23.0, 1380, "Goal", "23'", "J. Smith", "Harbour FC"},
        {"YC", 24.5, 1440, "Yellow card", "24'", "M. Stone", "Bay United"},
        {"S", 26.0, 1500, "Substitution", "25'", "K. Lind", "Bay United"},
        {"HT", 58.0, 2700, "Half-time", "45'", nullptr, nullptr},
        {"P", 77.0, 3960, "Penalty", "66'", "T. Okafor", "Bay United"},
        {"G", 78.5, 3990, "Goal", "66'", "T. Okafor", "Bay United"},
        {"RC", 95.0, 4800, "Red card", "80'", "L. Novak", "Harbour FC"},
        {"G", 110.0, 5580, "Goal", "90+3'", "J. Smith", "Harbour FC"},
        {"FT", 118.0, 5700, "Full time", "90+5'", nullptr, nullptr},
    };
    Json moments = Json::array();
    for (const auto& m : kMoments) {
        Json entry{{"code", m.code},
                   {"videoTime", contentTime(assetId, m.videoTime)},
                   {"eventTime", m.eventTime},
                   {"displayName", m.displayName}};
        if (m.displayTime) entry["displayTime"] = m.displayTime;
        if (m.player) entry["player"] = m.player;
        if (m.team) entry["team"] = m.team;
        moments.push_back(std::move(entry));
    }
    return Json{{"assetId", std::string(assetId)}, {"duration", duration(assetId)}, {"keyMoments", std::move(moments)}};
}

}  // namespace devserver::thumbnails
