#include "devserver/HlsService.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "devserver/PlayService.h"

namespace devserver {

namespace {

struct AssetInfo {
    std::string_view id;
    bool isLive = false;
    bool isProtected = false;
    bool hasSubtitles = false;
};

constexpr AssetInfo kAssets[] = {
    {play::vodClear, false, false, true},
    {play::vodProtected, false, true, false},
    {play::live, true, true, false},
    {play::vodAds, false, false, false},
    {play::vodProtectedAds, false, true, true},
};

const AssetInfo* findAsset(std::string_view id) {
    for (const auto& asset : kAssets) {
        if (asset.id == id) return &asset;
    }
    return nullptr;
}

std::optional<long long> parseIndex(std::string_view text) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const auto slash = path.find('/');
        parts.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

std::string extinf(double duration) {
    char line[48];
    std::snprintf(line, sizeof line, "#EXTINF:%.3f,\n", duration);
    return line;
}

Reply playlistReply(std::string body) {
    return Reply{.status = 200, .body = std::move(body), .contentType = "application/vnd.apple.mpegurl"};
}

}  // namespace

namespace hls {

const std::vector<VariantInfo>& variants() {
    static const std::vector<VariantInfo> list{{150000, 416, 234}, {300000, 640, 360}, {600000, 960, 540}};
    return list;
}

std::vector<std::string> keyIds(std::string_view assetId) {
    const AssetInfo* asset = findAsset(assetId);
    if (!asset || !asset->isProtected) return {};
    if (asset->isLive) return {std::string(assetId) + "-key-1"};
    return {std::string(assetId) + "-key-1", std::string(assetId) + "-key-2"};
}

}  // namespace hls

HlsService::HlsService(HlsOptions options) : options_(std::move(options)) {
    if (!options_.liveClock) {
        const auto start = std::chrono::steady_clock::now();
        options_.liveClock = [start] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
    }
}

std::shared_ptr<HlsService> HlsService::create(HlsOptions options) {
    return std::shared_ptr<HlsService>(new HlsService(std::move(options)));
}

void HlsService::registerRoutes(Router& router) {
    router.add("GET", options_.pathPrefix + "/*", [this](const RecordedRequest& request) { return answer(request); });
}

double HlsService::liveNow() const {
    const double now = options_.liveClock();
    return std::isfinite(now) && now > 0 ? now : 0;
}

std::optional<std::string> HlsService::multivariantPlaylist(std::string_view assetId) const {
    const AssetInfo* asset = findAsset(assetId);
    if (!asset) return std::nullopt;
    std::ostringstream out;
    out << "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-INDEPENDENT-SEGMENTS\n";
    if (asset->hasSubtitles) {
        for (auto language : hls::subtitleLanguages) {
            const bool english = language == "en";
            out << "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"" << (english ? "English" : "Svenska")
                << "\",LANGUAGE=\"" << language << "\",DEFAULT=" << (english ? "YES" : "NO")
                << ",AUTOSELECT=YES,URI=\"subs/" << language << ".m3u8\"\n";
        }
    }
    const auto& list = hls::variants();
    for (std::size_t i = 0; i < list.size(); ++i) {
        out << "#EXT-X-STREAM-INF:BANDWIDTH=" << list[i].bandwidth << ",AVERAGE-BANDWIDTH=" << list[i].bandwidth
            << ",CODECS=\"avc1.64001f,mp4a.40.2\",RESOLUTION=" << list[i].width << "x" << list[i].height
            << ",FRAME-RATE=25.000";
        if (asset->hasSubtitles) out << ",SUBTITLES=\"subs\"";
        out << "\nv" << i << "/media.m3u8\n";
    }
    return out.str();
}

std::optional<std::string> HlsService::mediaPlaylist(std::string_view assetId, int variant) const {
    const AssetInfo* asset = findAsset(assetId);
    if (!asset || variant < 0 || variant >= static_cast<int>(hls::variants().size())) return std::nullopt;
    const auto keys = hls::keyIds(assetId);
    auto keyLine = [&](const std::string& keyId) {
        return "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://" + options_.keyHost + options_.licencePath +
               "?contentId=" + std::string(assetId) + "&keyId=" + keyId +
               "\",KEYFORMAT=\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n";
    };
    std::ostringstream out;
    out << "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:" << static_cast<int>(hls::segmentDuration) << "\n";
    if (asset->isLive) {
        const long long first = static_cast<long long>(std::floor(liveNow() / hls::segmentDuration));
        out << "#EXT-X-MEDIA-SEQUENCE:" << first << "\n";
        if (!keys.empty()) out << keyLine(keys.front());
        for (long long k = first; k < first + hls::liveWindow; ++k)
            out << extinf(hls::segmentDuration) << "seg" << k << ".ts\n";
        return out.str();
    }
    out << "#EXT-X-MEDIA-SEQUENCE:0\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (int k = 0; k < hls::vodSegmentCount; ++k) {
        // The keys share the asset: the second comes into force half-way.
        if (!keys.empty() && k % (hls::vodSegmentCount / static_cast<int>(keys.size())) == 0) {
            out << keyLine(keys[static_cast<std::size_t>(k / (hls::vodSegmentCount / static_cast<int>(keys.size())))]);
        }
        out << extinf(hls::segmentDuration) << "seg" << k << ".ts\n";
    }
    out << "#EXT-X-ENDLIST\n";
    return out.str();
}

Reply HlsService::answer(const RecordedRequest& request) const {
    const std::string_view path = std::string_view(request.path).substr(options_.pathPrefix.size());
    const auto parts = split(path.starts_with("/") ? path.substr(1) : path);
    const Reply notFound = Reply::json(404, R"({"error":"no such HLS resource"})");
    if (parts.size() < 2) return notFound;
    const AssetInfo* asset = findAsset(parts[0]);
    if (!asset) return notFound;

    if (parts.size() == 2 && parts[1] == "master.m3u8") return playlistReply(*multivariantPlaylist(asset->id));

    if (parts[1].starts_with("v") && parts.size() == 3) {
        const auto variant = parseIndex(parts[1].substr(1));
        if (!variant || *variant >= static_cast<long long>(hls::variants().size())) return notFound;
        if (parts[2] == "media.m3u8") return playlistReply(*mediaPlaylist(asset->id, static_cast<int>(*variant)));
        if (parts[2].starts_with("seg") && parts[2].ends_with(".ts")) {
            const auto index = parseIndex(parts[2].substr(3, parts[2].size() - 6));
            if (!index) return notFound;
            if (!asset->isLive && *index >= hls::vodSegmentCount) return notFound;
            if (asset->isLive &&
                *index >= static_cast<long long>(std::floor(liveNow() / hls::segmentDuration)) + hls::liveWindow) {
                return notFound;  // not produced yet
            }
            const auto bytes = static_cast<std::size_t>(
                static_cast<double>(hls::variants()[static_cast<std::size_t>(*variant)].bandwidth) *
                hls::segmentDuration / 8.0);
            return Reply{.status = 200, .contentType = "video/mp2t", .generatedBodySize = bytes};
        }
        return notFound;
    }

    if (parts[1] == "subs" && asset->hasSubtitles) {
        for (auto language : hls::subtitleLanguages) {
            if (parts.size() == 3 && parts[2] == std::string(language) + ".m3u8") {
                std::ostringstream out;
                out << "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:6\n#EXT-X-MEDIA-SEQUENCE:0\n#EXT-X-PLAYLIST-"
                       "TYPE:VOD\n";
                for (int k = 0; k < hls::vodSegmentCount; ++k) {
                    out << extinf(hls::segmentDuration) << language << "/seg" << k << ".vtt\n";
                }
                out << "#EXT-X-ENDLIST\n";
                return playlistReply(out.str());
            }
            if (parts.size() == 4 && parts[2] == language && parts[3].starts_with("seg") &&
                parts[3].ends_with(".vtt")) {
                const auto index = parseIndex(parts[3].substr(3, parts[3].size() - 7));
                if (!index || *index >= hls::vodSegmentCount) return notFound;
                char cue[160];
                const long long start = *index * static_cast<long long>(hls::segmentDuration);
                std::snprintf(cue, sizeof cue, "WEBVTT\n\n00:%02lld:%02lld.000 --> 00:%02lld:%02lld.000\n%s %lld\n",
                              start / 60, start % 60, (start + 5) / 60, (start + 5) % 60,
                              language == "en" ? "Line" : "Rad", *index + 1);
                return Reply{.status = 200, .body = cue, .contentType = "text/vtt"};
            }
        }
    }
    return notFound;
}

}  // namespace devserver
