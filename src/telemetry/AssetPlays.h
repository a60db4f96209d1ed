#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/JSON.h"
#include "telemetry/PlayerEvent.h"

// The player-event service's answer to a posted event: the plays of the asset. The kit's sender
// (`PlayerEventController`) reads only the answer's status and leaves the body undecoded; this is the model
// for whoever reads the plays. Decoding is strict and all-or-nothing: the first missing key, null in a
// required field, value of the wrong JSON type, number that does not fit its field, or unknown
// "mediaFormat" text fails the whole answer. Keys not listed are ignored at every level.
namespace lumora {

// The format of a stream, read from and written as one JSON string of its raw value.
class MediaFormat {
  public:
    enum Case {
        hlsTS,
        hlsFMP4,
        hlsHEVC,
        drmHlsTS,
        drmHlsFMP4,
        drmHlsHEVC,
        ssaiHlsTS,
        ssaiHlsFMP4,
        ssaiHlsHEVC,
        ssaiDRMHlsTS,
        ssaiDRMHlsFMP4,
        ssaiDRMHlsHEVC,
    };

    constexpr MediaFormat(Case value = hlsTS) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }            // NOLINT(google-explicit-constructor)

    // "hls-ts", "hls-fmp4", "hls-hevc", "drm-hls-ts", ..., "ssai-drm-hls-hevc".
    std::string rawValue() const;
    // The case whose raw value is exactly `rawValue` (letter case and hyphens count); nothing otherwise.
    static std::optional<MediaFormat> fromRawValue(std::string_view rawValue);
    // The twelve cases in declaration order.
    static const std::array<MediaFormat, 12>& allCases();

    // A text that is no raw value is corrupted data; another JSON type is a type mismatch.
    static MediaFormat decode(const foundation::SingleValueDecodingContainer& container);
    void encode(foundation::SingleValueEncodingContainer& container) const;

  private:
    Case value_;
};

// One stream of a play (not the play service's stream: this one has its own fields).
struct Stream {
    struct Manifest {
        std::string uri;

        static Manifest decode(const foundation::KeyedDecodingContainer& container);
    };

    std::string id;
    std::int64_t bitrate = 0;
    MediaFormat mediaFormat;
    std::string mimeType;
    std::optional<std::string> provider;
    Manifest manifest;

    static Stream decode(const foundation::KeyedDecodingContainer& container);
};

// One play of the asset. JSON keys differ from the field names for `id` ("assetId"), `title`
// ("assetTitle"), `drmProtected` ("isDrmProtected"), `live` ("isLive"), `stream` ("recommendedStream")
// and `event` ("playerEventRequest").
struct AssetPlay {
    std::string id;
    std::string title;
    std::string categoryId;
    double startTime = 0;
    double endTime = 0;
    double duration = 0;
    bool drmProtected = false;
    bool live = false;
    Stream stream;
    std::vector<Stream> alternativeStreams;
    std::optional<PlayerEvent> event;
    std::optional<std::string> assetType;

    static AssetPlay decode(const foundation::KeyedDecodingContainer& container);
};

// The whole answer: {"data": [plays...]}.
struct AssetPlays {
    std::vector<AssetPlay> play;

    static AssetPlays decode(const foundation::KeyedDecodingContainer& container);
};

}  // namespace lumora

template <>
struct std::hash<lumora::MediaFormat> {
    std::size_t operator()(lumora::MediaFormat format) const noexcept {
        return std::hash<std::string>()(format.rawValue());
    }
};
