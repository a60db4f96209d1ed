#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/JSON.h"
#include "foundation/URL.h"
#include "playservice/PlayerEventFields.h"

namespace lumora {

// A player event as the play service hands it over: where to post events, how often, and the body
// template that each event fills. Only the body has a JSON form; the player-event controller fills a
// copy of it for every event.
//
// On the wire every key equals the field's name (the keys: PlayerEventFields.h); an absent optional field is left out
// (never written as null) and a required one is always written. Flags and positions travel as JSON strings. A number
// that is not finite makes the encoding of the whole body fail.
struct PlayerEventRequest {
    struct Client {
        using CodingKeys = playerevent::ClientField;
        static std::string_view stringValue(CodingKeys key);

        std::optional<std::string> buildName;
        std::optional<std::string> buildVersion;
        std::optional<std::string> deviceId;
        std::optional<std::string> drm;
        std::optional<std::string> envPlatform;
        std::optional<std::string> envVersion;
        std::optional<std::string> pageUrl;
        std::string platform;
        std::optional<std::string> playerEvent;
        std::optional<std::string> playerState;
        std::optional<std::string> streamUrl;
        std::string userAgent;
        std::optional<std::string> videoFormat;
        std::optional<std::string> videoProtocol;
        std::optional<std::string> viewingSession;

        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Client&, const Client&) = default;
    };

    struct Progress {
        struct Vod {
            using CodingKeys = playerevent::VodField;
            static std::string_view stringValue(CodingKeys key);

            // Seconds.
            std::optional<double> duration;
            // The playhead in seconds as decimal text ("12.5").
            std::optional<std::string> position;

            void encode(foundation::KeyedEncodingContainer& container) const;
            static Vod decode(const foundation::KeyedDecodingContainer& container);
            friend bool operator==(const Vod&, const Vod&) = default;
        };
        struct Live {
            using CodingKeys = playerevent::LiveField;
            static std::string_view stringValue(CodingKeys key);

            // "true" or "false".
            std::optional<std::string> onLiveEdge;
            std::optional<std::string> liveResumePossible;
            // A date-time text.
            std::optional<std::string> position;

            void encode(foundation::KeyedEncodingContainer& container) const;
            static Live decode(const foundation::KeyedDecodingContainer& container);
            friend bool operator==(const Live&, const Live&) = default;
        };

        using CodingKeys = playerevent::ProgressField;
        static std::string_view stringValue(CodingKeys key);

        std::optional<std::string> assetId;
        std::optional<std::string> categoryId;
        std::optional<std::string> title;
        std::optional<std::int64_t> eventNumber;
        std::optional<std::string> playbackType;
        std::optional<Vod> vod;
        std::optional<Live> live;

        void encode(foundation::KeyedEncodingContainer& container) const;
        // Every key is read if present: a missing key or a null gives an absent field; a present value of
        // the wrong JSON type fails with a type mismatch.
        static Progress decode(const foundation::KeyedDecodingContainer& container);
        friend bool operator==(const Progress&, const Progress&) = default;
    };

    struct Body {
        using CodingKeys = playerevent::BodyField;
        static std::string_view stringValue(CodingKeys key);

        std::optional<std::string> eventName;
        std::optional<std::string> originatorId;
        std::optional<std::string> subProfileId;
        std::optional<std::vector<std::string>> versions;
        std::optional<std::string> tenant;
        std::optional<std::string> logData;
        Client client;
        std::string originator;
        std::string timestamp;
        Progress progress;

        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Body&, const Body&) = default;
    };

    foundation::URL url;
    // Seconds between periodic events.
    double eventInterval = 0;
    Body body;
    std::string subProfileId;

    friend bool operator==(const PlayerEventRequest&, const PlayerEventRequest&) = default;
};

}  // namespace lumora
