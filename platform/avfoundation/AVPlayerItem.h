#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "avfoundation/AVAsset.h"
#include "avfoundation/AVMediaSelection.h"
#include "avfoundation/HLS.h"
#include "coregraphics/CGGeometry.h"
#include "coremedia/CMTime.h"
#include "dispatch/Clock.h"
#include "dispatch/RunLoop.h"
#include "foundation/Date.h"
#include "foundation/Error.h"
#include "foundation/KeyValueObserving.h"
#include "foundation/NotificationCenter.h"
#include "foundation/URLSession.h"

namespace avfoundation {

namespace detail {
class PlayerItemEngine;
}

// Notifications of a player item (the sender is the item), posted on the main queue.
// The item played to its end (a video on demand; or a live stream played faster than real time that
// caught up with its live edge).
inline const foundation::Notification::Name AVPlayerItemDidPlayToEndTimeNotification =
    "AVPlayerItemDidPlayToEndTimeNotification";
// The item failed while it was playing; the error is under AVPlayerItemFailedToPlayToEndTimeErrorKey
// (a foundation::Error).
inline const foundation::Notification::Name AVPlayerItemFailedToPlayToEndTimeNotification =
    "AVPlayerItemFailedToPlayToEndTimeNotification";
inline const std::string AVPlayerItemFailedToPlayToEndTimeErrorKey = "AVPlayerItemFailedToPlayToEndTimeErrorKey";
// Playback stopped at the end of what is loaded and waits for more.
inline const foundation::Notification::Name AVPlayerItemPlaybackStalledNotification =
    "AVPlayerItemPlaybackStalledNotification";
// The playhead jumped (a seek, or a live window that slid past a paused playhead).
inline const foundation::Notification::Name AVPlayerItemTimeJumpedNotification = "AVPlayerItemTimeJumpedNotification";
// An entry was added to the item's access log / error log.
inline const foundation::Notification::Name AVPlayerItemNewAccessLogEntryNotification =
    "AVPlayerItemNewAccessLogEntryNotification";
inline const foundation::Notification::Name AVPlayerItemNewErrorLogEntryNotification =
    "AVPlayerItemNewErrorLogEntryNotification";

// One stretch of playback of one variant. The counters keep growing while the variant plays.
struct AVPlayerItemAccessLogEvent {
    std::string uri;  // the variant's media playlist
    std::optional<std::string> serverAddress;
    std::string playbackSessionID;
    std::optional<foundation::Date> playbackStartDate;
    double playbackStartOffset = 0;
    double indicatedBitrate = 0;         // the variant's BANDWIDTH
    double indicatedAverageBitrate = 0;  // its AVERAGE-BANDWIDTH, 0 when it has none
    int numberOfMediaRequests = 0;       // playlists, segments and keys asked for
    long long numberOfBytesTransferred = 0;
    int numberOfStalls = 0;
    double segmentsDownloadedDuration = 0;
    double durationWatched = 0;
};

struct AVPlayerItemAccessLog {
    std::vector<AVPlayerItemAccessLogEvent> events;
};

// One failure: a playlist, segment or key that could not be loaded, or the error that failed the item.
struct AVPlayerItemErrorLogEvent {
    foundation::Date date;
    std::string uri;
    std::optional<std::string> serverAddress;
    std::string playbackSessionID;
    // The HTTP status for an HTTP failure (domain "CoreMediaErrorDomain"); otherwise the error's code and
    // domain.
    int errorStatusCode = 0;
    std::string errorDomain;
    std::optional<std::string> errorComment;
};

struct AVPlayerItemErrorLog {
    std::vector<AVPlayerItemErrorLogEvent> events;
};

// The playable state of an asset in one player. Main thread only, except that reading the observable
// properties is safe from any thread.
//
// Loading starts when the item first becomes a player's current item: the asset's "playable" value,
// then the first variant's media playlist, then every content key ("skd://" key addresses of
// EXT-X-KEY METHOD=SAMPLE-AES) through the asset's resource-loader delegate, then media segments. The
// status becomes readyToPlay once every key is answered and the segment at the start position is
// loaded; duration, seekable ranges and presentation size are set before the status changes. Any
// failure on that road fails the item (status failed, `error()` says why). Media playlists are read off
// the main queue (a hostile one can be tens of megabytes; one that names more than
// hls::maximumMediaPlaylistKeys keys fails the item), and what was read reaches the item on the main
// queue in the order it was fetched.
//
// Segments are fetched one at a time, in order, from the playhead up to `preferredForwardBufferDuration`
// ahead (30 s when 0, "automatic"); a failed segment is logged and asked again, and the third failure in
// a row fails the item. A segment whose key is not answered yet is not fetched. What an arriving segment
// costs does not grow with the length of the playlist.
//
// A live item (no EXT-X-ENDLIST) has an indefinite duration; its media playlist is fetched again every
// target duration (on the one clock) while it is a player's current item, and its timeline keeps the
// segments of the current window: the first segment ever seen starts at 0, later ones follow on. The
// seekable range runs from the window's first segment to three target durations before the window's
// end (the live edge), where playback starts. New keys in a reloaded playlist are asked for like the
// first ones; a playlist that gains the end tag turns into a video on demand.
//
// A content key whose answer set a renewal date is asked again, through the delegate's renewal method,
// when that date comes on the one clock; a failed renewal fails the item.
class AVPlayerItem : public foundation::KVOObservable, public std::enable_shared_from_this<AVPlayerItem> {
  public:
    enum class Status { unknown = 0, readyToPlay = 1, failed = 2 };

    static std::shared_ptr<AVPlayerItem> create(std::shared_ptr<AVAsset> asset);
    static std::shared_ptr<AVPlayerItem> create(foundation::URL url);
    ~AVPlayerItem() override;

    const std::shared_ptr<AVAsset>& asset() const { return asset_; }

    // Observable properties; also observable by name ("status", "duration", "seekableTimeRanges",
    // "loadedTimeRanges", "isPlaybackBufferEmpty", "presentationSize").
    Status status() const;
    const foundation::KVOProperty<Status>& statusProperty() const;
    coremedia::CMTime duration() const;
    const foundation::KVOProperty<coremedia::CMTime>& durationProperty() const;
    std::vector<coremedia::CMTimeRange> seekableTimeRanges() const;
    const foundation::KVOProperty<std::vector<coremedia::CMTimeRange>>& seekableTimeRangesProperty() const;
    std::vector<coremedia::CMTimeRange> loadedTimeRanges() const;
    const foundation::KVOProperty<std::vector<coremedia::CMTimeRange>>& loadedTimeRangesProperty() const;
    bool isPlaybackBufferEmpty() const;
    const foundation::KVOProperty<bool>& isPlaybackBufferEmptyProperty() const;
    coregraphics::CGSize presentationSize() const;
    const foundation::KVOProperty<coregraphics::CGSize>& presentationSizeProperty() const;

    // Why the item failed; nothing unless the status is failed.
    std::optional<foundation::Error> error() const;

    // The playhead (the start position before the item is ready).
    coremedia::CMTime currentTime() const;

    // Seconds of media to keep loaded ahead of the playhead; 0 means automatic (30 s).
    double preferredForwardBufferDuration() const;
    void setPreferredForwardBufferDuration(double seconds);

    // Media selection. The legible group starts with its default option (a subtitle rendition with
    // DEFAULT=YES), or none.
    std::shared_ptr<AVMediaSelection> currentMediaSelection() const;
    // Chooses `option` in `group` (nothing: none, where the group allows it). An option of another group
    // is ignored.
    void select(std::shared_ptr<AVMediaSelectionOption> option, const std::shared_ptr<AVMediaSelectionGroup>& group);
    // Hands the choice back to the automatic rule: the group's default option.
    void selectMediaOptionAutomatically(const std::shared_ptr<AVMediaSelectionGroup>& group);

    // Snapshots of the logs; nothing before their first entry.
    std::shared_ptr<const AVPlayerItemAccessLog> accessLog() const;
    std::shared_ptr<const AVPlayerItemErrorLog> errorLog() const;

    // The item's machinery (playhead, segment loader, content keys, logs: detail/PlayerItemEngine.h), for
    // the player that plays it and for the test hooks of testing/. Not part of the media framework's face.
    detail::PlayerItemEngine& engine() const { return *engine_; }

  private:
    explicit AVPlayerItem(std::shared_ptr<AVAsset> asset);

    std::shared_ptr<AVAsset> asset_;
    std::shared_ptr<detail::PlayerItemEngine> engine_;  // owned; never null
    std::vector<std::pair<std::shared_ptr<AVMediaSelectionGroup>, std::shared_ptr<AVMediaSelectionOption>>> selection_;
};

}  // namespace avfoundation
