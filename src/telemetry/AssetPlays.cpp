#include "telemetry/AssetPlays.h"

namespace lumora {

namespace {

constexpr std::array<std::string_view, 12> kMediaFormatRawValues = {
    "hls-ts",      "hls-fmp4",      "hls-hevc",      "drm-hls-ts",      "drm-hls-fmp4",      "drm-hls-hevc",
    "ssai-hls-ts", "ssai-hls-fmp4", "ssai-hls-hevc", "ssai-drm-hls-ts", "ssai-drm-hls-fmp4", "ssai-drm-hls-hevc",
};

}  // namespace

std::string MediaFormat::rawValue() const {
    return std::string(kMediaFormatRawValues[static_cast<std::size_t>(value_)]);
}

std::optional<MediaFormat> MediaFormat::fromRawValue(std::string_view rawValue) {
    for (std::size_t i = 0; i < kMediaFormatRawValues.size(); ++i) {
        if (kMediaFormatRawValues[i] == rawValue) return MediaFormat(static_cast<Case>(i));
    }
    return std::nullopt;
}

const std::array<MediaFormat, 12>& MediaFormat::allCases() {
    static const std::array<MediaFormat, 12> cases = {
        hlsTS,     hlsFMP4,     hlsHEVC,     drmHlsTS,     drmHlsFMP4,     drmHlsHEVC,
        ssaiHlsTS, ssaiHlsFMP4, ssaiHlsHEVC, ssaiDRMHlsTS, ssaiDRMHlsFMP4, ssaiDRMHlsHEVC,
    };
    return cases;
}

MediaFormat MediaFormat::decode(const foundation::SingleValueDecodingContainer& c) {
    const std::string text = c.decode<std::string>();
    if (c.failed()) return {};
    auto format = fromRawValue(text);
    if (!format) {
        c.dataCorrupted("Cannot initialize MediaFormat from invalid String value " + text);
        return {};
    }
    return *format;
}

void MediaFormat::encode(foundation::SingleValueEncodingContainer& c) const {
    c.encode(rawValue());
}

Stream::Manifest Stream::Manifest::decode(const foundation::KeyedDecodingContainer& c) {
    Manifest m;
    m.uri = c.decode<std::string>("uri");
    return m;
}

Stream Stream::decode(const foundation::KeyedDecodingContainer& c) {
    Stream s;
    s.id = c.decode<std::string>("id");
    s.bitrate = c.decode<std::int64_t>("bitrate");
    s.mediaFormat = c.decode<MediaFormat>("mediaFormat");
    s.mimeType = c.decode<std::string>("mimeType");
    s.provider = c.decodeIfPresent<std::string>("provider");
    s.manifest = c.decode<Manifest>("manifest");
    return s;
}

AssetPlay AssetPlay::decode(const foundation::KeyedDecodingContainer& c) {
    AssetPlay p;
    p.id = c.decode<std::string>("assetId");
    p.title = c.decode<std::string>("assetTitle");
    p.categoryId = c.decode<std::string>("categoryId");
    p.startTime = c.decode<double>("startTime");
    p.endTime = c.decode<double>("endTime");
    p.duration = c.decode<double>("duration");
    p.drmProtected = c.decode<bool>("isDrmProtected");
    p.live = c.decode<bool>("isLive");
    p.stream = c.decode<Stream>("recommendedStream");
    p.alternativeStreams = c.decode<std::vector<Stream>>("alternativeStreams");
    p.event = c.decodeIfPresent<PlayerEvent>("playerEventRequest");
    p.assetType = c.decodeIfPresent<std::string>("assetType");
    return p;
}

AssetPlays AssetPlays::decode(const foundation::KeyedDecodingContainer& c) {
    AssetPlays a;
    a.play = c.decode<std::vector<AssetPlay>>("data");
    return a;
}

}  // namespace lumora
