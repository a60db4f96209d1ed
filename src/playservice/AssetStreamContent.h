#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "playservice/PlayAsset.h"
#include "playservice/PlayerEventRequest.h"

namespace lumora {

// The player-event part of the stream content.
struct AssetStreamContentPlayerEventParameter {
    // Seconds between periodic events, the response's interval truncated toward zero; 0 (no periodic
    // events) when the interval is not a finite number within the range of a 64-bit integer.
    std::int64_t playerEventInterval = 0;
    std::string playerEventUrl;
    // The event template, copied whole.
    PlayerEventRequest::Body playerEventBody;

    friend bool operator==(const AssetStreamContentPlayerEventParameter&,
                           const AssetStreamContentPlayerEventParameter&) = default;
};

// What the video API hands the player screen for one asset.
struct AssetStreamContent {
    std::string title;
    std::string id;
    // The manifest URL as text.
    std::string resource;
    std::optional<std::string> contentProvider;
    // A media-format raw value such as "hls-ts".
    std::string contentMediaFormat;
    // Always "".
    std::string assetType;
    std::optional<AssetStreamContentPlayerEventParameter> playerEventParameter;
    bool isDRMProtected = false;
    // The certificate URL of a protected stream as text; nothing for a clear one.
    std::optional<std::string> drmCertificateURLString;
    // The token the play request was made with.
    std::string accessToken;
    PlayAsset::Youbora youbora;

    // The content of a mapped asset, with the token it was fetched with.
    static AssetStreamContent make(const PlayAsset& asset, const std::string& accessToken);

    friend bool operator==(const AssetStreamContent&, const AssetStreamContent&) = default;
};

}  // namespace lumora
