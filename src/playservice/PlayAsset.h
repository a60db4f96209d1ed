#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "foundation/URL.h"
#include "playservice/PlayerEventRequest.h"

namespace lumora {

// The player's model of an asset, mapped from the play response by PlayAssetModelMapper.
struct PlayAsset {
    struct Stream {
        // How the stream is protected: FairPlay-style DRM with its name and certificate address, or not.
        class Protection {
          public:
            struct DRM {
                std::string name;
                foundation::URL url;
                friend bool operator==(const DRM&, const DRM&) = default;
            };

            static Protection drm(std::string name, foundation::URL url) {
                return Protection(DRM{std::move(name), std::move(url)});
            }
            static Protection none() { return Protection(std::monostate{}); }

            bool isDRM() const { return std::holds_alternative<DRM>(value_); }
            bool isNone() const { return !isDRM(); }
            // The DRM name and certificate address of drm(name:url:).
            const DRM* drmCase() const { return std::get_if<DRM>(&value_); }

            friend bool operator==(const Protection&, const Protection&) = default;

          private:
            explicit Protection(std::variant<std::monostate, DRM> value) : value_(std::move(value)) {}
            std::variant<std::monostate, DRM> value_;
        };

        foundation::URL manifestURL;
        // A media-format raw value such as "hls-ts".
        std::string mediaFormat;
        // The content provider (CDN); "" when the response names none.
        std::string provider;
        Protection protection = Protection::none();
        // Server-side inserted ads.
        bool isSSAI = false;
        std::optional<std::string> streamingFormat;
        std::optional<std::string> codec;
        std::optional<foundation::URL> adsURL;

        friend bool operator==(const Stream&, const Stream&) = default;
    };

    // A span of the asset that the player can offer to skip or jump to.
    struct Marker {
        class MarkerType {
          public:
            enum Case { upNext, intro, recap };

            constexpr MarkerType(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
            constexpr operator Case() const { return value_; }   // NOLINT(google-explicit-constructor)

            // "credits", "intro-titles", "re-cap".
            std::string rawValue() const;
            // Nothing for any other text.
            static std::optional<MarkerType> fromRawValue(std::string_view rawValue);

          private:
            Case value_;
        };

        MarkerType type = MarkerType::upNext;
        // Seconds from the start of the asset.
        double startTime = 0;
        double endTime = 0;

        friend bool operator==(const Marker&, const Marker&) = default;
    };

    // The audience-measurement block.
    struct OzTam {
        std::optional<std::string> publisherId;
        std::optional<std::string> mediaId;
        std::optional<std::string> mediaType;
        std::optional<std::string> seriesName;
        std::optional<std::string> episodeName;
        std::optional<std::string> channel;
        friend bool operator==(const OzTam&, const OzTam&) = default;
    };

    // The analytics vendor's block: 28 texts, each "" when the response lacks it (or lacks the block).
    struct Youbora {
        std::string accountCode;
        std::string appName;
        std::string appReleaseVersion;
        std::string contentCustomDimension1;
        std::string contentCustomDimension2;
        std::string contentCustomDimension4;
        std::string contentCustomDimension5;
        std::string contentCustomDimension6;
        std::string contentCustomDimension7;
        std::string contentCustomDimension8;
        std::string contentCustomDimension10;
        std::string contentId;
        std::string contentTitle;
        std::string contentTransactionCode;
        std::string contentType;
        std::string contentChannel;
        std::string contentGenre;
        std::string contentLanguage;
        std::string contentSeason;
        std::string contentTvShow;
        std::string contentEpisodeTitle;
        std::string contentProgram;
        std::string contentPlaybackType;
        std::string contentSubtitles;
        std::string contentPackage;
        std::string contentSaga;
        std::string userName;
        std::string userType;

        friend bool operator==(const Youbora&, const Youbora&) = default;
    };

    Stream stream;
    std::vector<Marker> markers;
    std::optional<OzTam> ozTam;
    Youbora youbora;
    PlayerEventRequest playerEventRequest;
    std::string assetTitle;
    std::string assetId;

    friend bool operator==(const PlayAsset&, const PlayAsset&) = default;
};

}  // namespace lumora
