#pragma once

#include <optional>
#include <string>
#include <vector>

#include "foundation/JSON.h"

namespace lumora {

// The body of the play request: which asset, and who asks for it (application, device, system,
// player), what the device can decode, and the advertising facts for server-side ads. The play service
// chooses the stream from these values. JSON keys equal the field names; absent optional fields are
// left out of the body.
struct AssetInfo {
    struct Application {
        std::string name;
        std::string version;
        std::string appId;
        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Application&, const Application&) = default;
    };
    struct Device {
        std::string id;
        // "phone", "tablet", "tv" or "".
        std::string type;
        std::string brand;
        std::string model;
        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Device&, const Device&) = default;
    };
    struct OS {
        std::string name;
        std::string version;
        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const OS&, const OS&) = default;
    };
    struct Player {
        std::string name;
        std::string version;
        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Player&, const Player&) = default;
    };
    struct Capabilities {
        // "avc", then "hevc" when the device decodes it in hardware.
        std::vector<std::string> codecs;
        std::optional<std::vector<std::string>> drm;
        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Capabilities&, const Capabilities&) = default;
    };
    // What the viewer would rather have, when the application says so.
    struct Preference {
        std::optional<std::string> streamingFormat;
        std::optional<std::string> codec;
        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Preference&, const Preference&) = default;
    };
    struct Ads {
        bool optOut = true;
        std::optional<bool> csai;
        // The advertising identifier and its kind ("idfa").
        std::optional<std::string> ifa;
        std::optional<std::string> ifaType;
        void encode(foundation::KeyedEncodingContainer& container) const;
        friend bool operator==(const Ads&, const Ads&) = default;
    };

    std::string assetId;
    Application application;
    Device device;
    OS os;
    Player player;
    Capabilities capabilities;
    std::optional<Preference> preference;
    Ads ads;

    void encode(foundation::KeyedEncodingContainer& container) const;
    friend bool operator==(const AssetInfo&, const AssetInfo&) = default;
};

}  // namespace lumora
