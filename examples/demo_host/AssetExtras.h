#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentEvent.h"
#include "playback/AdModels.h"

namespace demohost {

// What a host shows beside an asset that the play answer does not carry: the ad breaks of a stream with
// inserted ads (the answer's "adsUrl"), the key moments and the scrubbing thumbnails (a BIF index), all
// served by the host's own back end. Parsing is separate from fetching so bad answers can be tested.
struct AssetExtras {
    lumora::AdGroups adGroups;
    std::vector<lumora::ZuKeyMomentEvent> keyMoments;
    std::optional<lumora::BIF> thumbnails;
    // What could not be had, one text per failure ("key moments: HTTP 404"); the rest still counts.
    std::vector<std::string> problems;

    // {"breaks":[{"ads":[{"id","startTime","duration"}]}]}; ads whose numbers are missing are left out.
    static std::expected<lumora::AdGroups, std::string> parseAdBreaks(const std::string& json);
    // {"keyMoments":[{"code","videoTime","eventTime","displayName"[,"displayTime","player","team"]}]}.
    static std::expected<std::vector<lumora::ZuKeyMomentEvent>, std::string> parseKeyMoments(const std::string& json);

    // What there is, for a person to read: "2 ad breaks (3 ads), 11 key moments, 25 scrubbing thumbnails",
    // then each problem other than an answer the back end does not have ("no key moments: ..."). Empty when
    // there is nothing to say.
    std::string describe() const;

    // Fetches the three over the kit's URL session and answers on the main queue once all have answered.
    // `adsURL` may be empty (no ads); `thumbnailsBase` is "<base>/thumbnails/<assetId>".
    static void fetch(const std::string& adsURL, const std::string& thumbnailsBase,
                      std::function<void(AssetExtras)> completion);
};

}  // namespace demohost
