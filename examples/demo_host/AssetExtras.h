#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/DispatchQueue.h"
#include "foundation/Data.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentEvent.h"
#include "playback/AdModels.h"

namespace demohost {

// What a host shows beside an asset that the play answer does not carry: the ad breaks of a stream with
// inserted ads, the key moments and the scrubbing thumbnails (a BIF index), all served by the host's own back
// end. Parsing is separate from fetching so bad answers can be tested.
//
// Each of the three parts comes on its own: `fetch` answers once per part, as each answers, with an
// `AssetExtras` holding that part alone (what was read, or why it could not be had).
struct AssetExtras {
    enum class Part { adBreaks, keyMoments, thumbnails };
    // "ad breaks", "key moments", "thumbnails".
    static std::string name(Part part);

    // A match has a few dozen key moments; a list far longer is not one the strip can show.
    static constexpr std::size_t maxKeyMoments = 500;
    // What the host reads of each answer: the two lists are small JSON, the thumbnails a few small JPEGs
    // per minute of the programme.
    static constexpr std::size_t maxListBytes = std::size_t{1} << 20;
    static constexpr std::size_t maxThumbnailBytes = std::size_t{32} << 20;
    // Seconds on the clock each of the host's requests may wait for its answer (the kit's own wait 60).
    static constexpr double requestTimeout = 600;
    // What the host decodes of the thumbnails: an image beyond 1280 × 720 is no scrubbing thumbnail and is
    // left out undecoded; all together at most 2^26 pixels (256 MiB of RGBA: three hours of 320 × 180
    // frames ten seconds apart).
    static lumora::BIF::Limits thumbnailLimits();

    // An ad-breaks answer as read: the breaks kept, and the ads refused (how many, and why the first was).
    struct AdBreaks {
        lumora::AdGroups groups;
        std::size_t refused = 0;
        std::string firstRefusal;  // 'ad "ad-1": starts at -50 s, before the stream'

        // Refuses `reason` for the ad `id` (only the first reason is kept: a hostile list may hold thousands).
        void refuse(const std::string& id, const std::string& reason);
    };

    // The ad breaks handed to the player, and the ads refused.
    AdBreaks adBreaks;
    std::vector<lumora::ZuKeyMomentEvent> keyMoments;
    // The BIF bytes as fetched, until `decodeThumbnails`.
    std::optional<foundation::Data> thumbnailData;
    // Decoded: only when at least one frame decoded.
    std::optional<lumora::BIF> thumbnails;
    // Frames in the index and how many of them decoded.
    std::size_t thumbnailFrames = 0;
    std::size_t thumbnailsDecoded = 0;
    // What could not be had, one text per failure ("key moments: HTTP 404"); the rest still counts.
    std::vector<std::string> problems;

    // {"breaks":[{"ads":[{"id","startTime","duration"}]}]}; ads whose numbers are missing are left out, and
    // ads no stream can hold are refused, as the kit's player refuses them: a start, duration or end that is
    // not a finite number, a negative start or duration (an ad of no length is kept). Breaks left empty are
    // dropped.
    static std::expected<AdBreaks, std::string> parseAdBreaks(const std::string& json);
    // The ads of `breaks` that end within a stream of `duration` seconds, give or take the kit's
    // `VideoPlayerProxy::streamEndTolerance`; the others are refused. Nothing: a stream without an end
    // (live), where no ad lies past it.
    static AdBreaks withinStream(AdBreaks breaks, std::optional<double> duration);
    // {"keyMoments":[{"code","videoTime","eventTime","displayName"[,"displayTime","player","team"]}]};
    // a list of more than `maxKeyMoments` entries is refused as a whole.
    static std::expected<std::vector<lumora::ZuKeyMomentEvent>, std::string> parseKeyMoments(const std::string& json);

    // What there is, for a person to read: "2 ad breaks (3 ads), 11 key moments, 25 scrubbing thumbnails",
    // the ads refused ("1 ad refused: ..."), then each problem other than an answer the back end does not
    // have ("no key moments: ..."). Empty when there is nothing to say.
    std::string describe() const;

    // Fetches the three, answering on the main queue once per part as each answers: the lists read, the
    // thumbnails' bytes not yet decoded (`thumbnailData`). `adsURL` may be empty (no ads: that part answers
    // at once with nothing); `thumbnailsBase` is "<base>/thumbnails/<assetId>".
    static void fetch(const std::string& adsURL, const std::string& thumbnailsBase,
                      std::function<void(Part, AssetExtras)> each);

    // The queue the thumbnails are decoded on: a worker of the host's own, so that decoding never holds
    // the URL sessions' answer queues (the sign-in's among them), nor the main queue.
    static dispatch::DispatchQueue& decodingQueue();
    // Decodes `extras.thumbnailData` on `decoding` (which must outlive the call) into `thumbnails`, and
    // answers with the extras on the main queue.
    static void decodeThumbnails(AssetExtras extras, std::function<void(AssetExtras)> completion,
                                 dispatch::DispatchQueue& decoding = decodingQueue());
};

}  // namespace demohost
