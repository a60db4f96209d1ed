#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/JSON.h"
#include "playservice/PlayerEventRequest.h"

namespace lumora {

// The play service's answer, decoded key by key (keys equal the field names; see README.md for the
// whole shape). Only `assetId` and `assetTitle` must be present; everything else may be missing or null,
// and PlayAssetModelMapper decides whether the answer is usable. A value of the wrong JSON type anywhere
// fails the decoding with a DecodingError naming its key path.
struct PlayAssetAPIModel {
    struct Protection {
        // The DRM system ("fairplay").
        std::optional<std::string> drm;
        std::optional<std::string> certificateUrl;
        static Protection decode(const foundation::KeyedDecodingContainer& container);
    };
    struct Stream {
        std::optional<std::string> manifestUrl;
        std::optional<std::string> mediaFormat;
        std::optional<std::string> provider;
        // Absent or null: the stream is not protected.
        std::optional<Protection> protection;
        std::optional<bool> isSsai;
        std::optional<std::string> streamingFormat;
        std::optional<std::string> codec;
        std::optional<std::string> adsUrl;
        static Stream decode(const foundation::KeyedDecodingContainer& container);
    };
    struct Marker {
        std::optional<std::string> type;
        std::optional<double> startTime;
        std::optional<double> endTime;
        static Marker decode(const foundation::KeyedDecodingContainer& container);
    };
    struct OzTam {
        std::optional<std::string> publisherId;
        std::optional<std::string> mediaId;
        std::optional<std::string> mediaType;
        std::optional<std::string> seriesName;
        std::optional<std::string> episodeName;
        std::optional<std::string> channel;
        static OzTam decode(const foundation::KeyedDecodingContainer& container);
    };
    struct Youbora {
        std::optional<std::string> accountCode;
        std::optional<std::string> appName;
        std::optional<std::string> appReleaseVersion;
        std::optional<std::string> contentCustomDimension1;
        std::optional<std::string> contentCustomDimension2;
        std::optional<std::string> contentCustomDimension4;
        std::optional<std::string> contentCustomDimension5;
        std::optional<std::string> contentCustomDimension6;
        std::optional<std::string> contentCustomDimension7;
        std::optional<std::string> contentCustomDimension8;
        std::optional<std::string> contentCustomDimension10;
        std::optional<std::string> contentId;
        std::optional<std::string> contentTitle;
        std::optional<std::string> contentTransactionCode;
        std::optional<std::string> contentType;
        std::optional<std::string> contentChannel;
        std::optional<std::string> contentGenre;
        std::optional<std::string> contentLanguage;
        std::optional<std::string> contentSeason;
        std::optional<std::string> contentTvShow;
        std::optional<std::string> contentEpisodeTitle;
        std::optional<std::string> contentProgram;
        std::optional<std::string> contentPlaybackType;
        std::optional<std::string> contentSubtitles;
        std::optional<std::string> contentPackage;
        std::optional<std::string> contentSaga;
        std::optional<std::string> userName;
        std::optional<std::string> userType;
        static Youbora decode(const foundation::KeyedDecodingContainer& container);
    };
    // The client block of the player-event template: fifteen texts, each optional.
    struct TemplateClient {
        std::optional<std::string> buildName;
        std::optional<std::string> buildVersion;
        std::optional<std::string> deviceId;
        std::optional<std::string> drm;
        std::optional<std::string> envPlatform;
        std::optional<std::string> envVersion;
        std::optional<std::string> pageUrl;
        std::optional<std::string> platform;
        std::optional<std::string> playerEvent;
        std::optional<std::string> playerState;
        std::optional<std::string> streamUrl;
        std::optional<std::string> userAgent;
        std::optional<std::string> videoFormat;
        std::optional<std::string> videoProtocol;
        std::optional<std::string> viewingSession;
        static TemplateClient decode(const foundation::KeyedDecodingContainer& container);
    };
    // The player-event body template, in the shape of a posted player event.
    struct TemplateBody {
        std::optional<std::string> eventName;
        std::optional<std::string> originatorId;
        std::optional<std::string> subProfileId;
        std::optional<std::vector<std::string>> versions;
        std::optional<std::string> tenant;
        std::optional<std::string> logData;
        std::optional<PlayerEventRequest::Progress> progress;
        std::optional<std::string> originator;
        std::optional<TemplateClient> client;
        std::optional<std::string> timestamp;
        static TemplateBody decode(const foundation::KeyedDecodingContainer& container);
    };
    struct PlayerEventRequest {
        std::optional<std::string> uri;
        // Seconds between periodic events.
        std::optional<double> eventInterval;
        std::optional<std::string> subProfileId;
        std::optional<TemplateBody> body;
        static PlayerEventRequest decode(const foundation::KeyedDecodingContainer& container);
    };

    std::string assetId;
    std::string assetTitle;
    std::optional<Stream> stream;
    std::optional<std::vector<Marker>> markers;
    std::optional<OzTam> ozTam;
    std::optional<Youbora> youbora;
    std::optional<PlayerEventRequest> playerEventRequest;

    static PlayAssetAPIModel decode(const foundation::KeyedDecodingContainer& container);
};

}  // namespace lumora
