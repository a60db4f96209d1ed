#pragma once

#include <expected>
#include <string>

#include "playservice/PlayAsset.h"
#include "playservice/PlayAssetAPIModel.h"

namespace lumora {

// Why a decoded play response cannot be played.
class MapError {
  public:
    enum Case {
        // No stream, or a stream without a usable manifest address, media format or DRM certificate address.
        missingStreamData,
        // No player-event block, or one without a usable event address, interval or body template.
        missingPlayerEventRequestData,
    };

    constexpr MapError(Case value) : value_(value) {}   // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }  // NOLINT(google-explicit-constructor)

    // "Missing stream data", "Missing player event request data".
    std::string localizedDescription() const;

  private:
    Case value_;
};

// Maps the play response to the player's asset model.
//  - the stream: the manifest URL and media format are required; no provider gives ""; a protection
//    block gives drm(name, certificate URL) and needs both; no block (or null) gives none;
//  - markers of an unknown type, or without both times, are dropped;
//  - the analytics block: every missing text (or the whole block missing) gives "";
//  - the player-event template becomes a posted-event body: its names, versions, tenant and log data as
//    given, originator and timestamp "" when missing; in the client, drm as given, platform and userAgent
//    "" when missing, nothing else; in progress, asset id, category, title and playback type as given,
//    never the event number or a VOD or live block.
struct PlayAssetModelMapper {
    static std::expected<PlayAsset, MapError> map(const PlayAssetAPIModel& model);
    // The same, taking the texts of a model that is no longer needed instead of copying them.
    static std::expected<PlayAsset, MapError> map(PlayAssetAPIModel&& model);
};

}  // namespace lumora
