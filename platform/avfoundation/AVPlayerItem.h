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

class AVPlayer;
namespace testing {
struct AVPlayerItemTesting;
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
// failure on that road fails the item (status failed, `error()` says why).
//
// Segments are fetched one at a time, in order, from the playhead up to `preferredForwardBufferDuration`
// ahead (30 s when 0, "automatic"); a failed segment is logged and asked again, and the third failure in
// a row fails the item. A segment whose key is not answered yet is not fetched.
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
    Status status() const { return status_.value(); }
    const foundation::KVOProperty<Status>& statusProperty() const { return status_; }
    coremedia::CMTime duration() const { return duration_.value(); }
    const foundation::KVOProperty<coremedia::CMTime>& durationProperty() const { return duration_; }
    std::vector<coremedia::CMTimeRange> seekableTimeRanges() const { return seekableTimeRanges_.value(); }
    const foundation::KVOProperty<std::vector<coremedia::CMTimeRange>>& seekableTimeRangesProperty() const {
        return seekableTimeRanges_;
    }
    std::vector<coremedia::CMTimeRange> loadedTimeRanges() const { return loadedTimeRanges_.value(); }
    const foundation::KVOProperty<std::vector<coremedia::CMTimeRange>>& loadedTimeRangesProperty() const {
        return loadedTimeRanges_;
    }
    bool isPlaybackBufferEmpty() const { return isPlaybackBufferEmpty_.value(); }
    const foundation::KVOProperty<bool>& isPlaybackBufferEmptyProperty() const { return isPlaybackBufferEmpty_; }
    coregraphics::CGSize presentationSize() const { return presentationSize_.value(); }
    const foundation::KVOProperty<coregraphics::CGSize>& presentationSizeProperty() const { return presentationSize_; }

    // Why the item failed; nothing unless the status is failed.
    std::optional<foundation::Error> error() const { return error_; }

    // The playhead (the start position before the item is ready).
    coremedia::CMTime currentTime() const;

    // Seconds of media to keep loaded ahead of the playhead; 0 means automatic (30 s).
    double preferredForwardBufferDuration() const { return preferredForwardBufferDuration_; }
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

    // A scripted fault for tests: when the playhead, playing, reaches `at`, the item fails with `error`
    // (error log entry, status failed, the failed-to-play-to-end notification with the error).
    void scriptFailure(coremedia::CMTime at, foundation::Error error);

  private:
    friend class AVPlayer;
    friend struct testing::AVPlayerItemTesting;

    enum class Phase { idle, loadingAsset, loadingPlaylist, requestingKeys, buffering, ready, failed };
    struct TimelineSegment {
        std::int64_t sequence = 0;
        double start = 0;
        double duration = 0;
        foundation::URL uri;
        std::optional<std::string> keyURI;
        bool loaded = false;
        int failures = 0;
    };
    struct KeyState {
        std::string uri;
        bool answered = false;
        std::shared_ptr<AVAssetResourceLoadingRequest> outstanding;
        std::optional<foundation::Date> renewalDate;
        dispatch::RunLoop::TimerId renewalTimer = 0;
    };

    explicit AVPlayerItem(std::shared_ptr<AVAsset> asset);

    // Player side.
    void attach(const std::shared_ptr<AVPlayer>& player);
    void detach();
    std::shared_ptr<AVPlayer> player() const { return player_.lock(); }
    bool isReady() const { return phase_ == Phase::ready; }
    bool isFailed() const { return phase_ == Phase::failed; }
    bool isLive() const { return live_; }

    // Playhead.
    double positionAt(dispatch::Nanoseconds now) const;
    double position() const;
    void reanchor(dispatch::Nanoseconds now);
    void setMovingRate(double rate, dispatch::Nanoseconds now);
    void jumpTo(double seconds, dispatch::Nanoseconds now);
    double clampToSeekable(double seconds) const;
    double timelineStart() const;
    double timelineEnd() const;
    bool isAtEnd(double pos) const;
    bool isAtLiveEdge(double pos) const;
    // End of the loaded stretch that holds `pos` (`pos` when nothing is loaded there).
    double contiguousLoadedEnd(double pos) const;
    bool isBufferedAt(double pos) const;
    std::optional<std::size_t> segmentIndexAt(double pos) const;
    // Start of the first segment after `pos` that is not loaded, when there is one.
    std::optional<double> nextGapStart(double pos) const;
    double forwardBufferDuration() const;
    std::optional<double> nextScriptedFailure(double after) const;
    std::optional<foundation::Error> takeDueFailure();

    // Loading.
    void startLoading();
    void assetDidLoad();
    void fetchMediaPlaylist(bool initial);
    void didFetchMediaPlaylist(bool initial, std::optional<foundation::Data> data,
                               std::optional<foundation::HTTPURLResponse> response,
                               std::optional<foundation::Error> error);
    bool mergeTimeline(const hls::MediaPlaylist& playlist);
    bool requestNewKeys(const hls::MediaPlaylist& playlist);
    void sendKeyRequest(const std::string& uri, bool renewal);
    void keyAnswered(const std::string& uri, const std::shared_ptr<AVAssetResourceLoadingRequest>& request);
    KeyState* findKey(const std::string& uri);
    bool isKeyAnswered(const std::string& uri) const;
    TimelineSegment* findSegment(std::int64_t sequence);
    double liveEdge() const;
    std::string playlistAddress() const;
    void scheduleRenewal(KeyState& key);
    void beginBuffering();
    void pumpLoading();
    void didFetchSegment(std::int64_t sequence, std::optional<foundation::Data> data,
                         std::optional<foundation::HTTPURLResponse> response, std::optional<foundation::Error> error);
    void becomeReady();
    void scheduleReload();
    void stopActivity();
    void updateRanges();
    void updateBufferEmpty();
    void fail(foundation::Error error);
    void notifyPlayer();

    // Logs.
    void countRequest(long long bytes, double segmentDuration);
    void logError(const std::string& uri, int statusCode, const std::string& domain,
                  std::optional<std::string> comment);
    void logError(const std::string& uri, const foundation::Error& error);
    void post(const foundation::Notification::Name& name, std::map<std::string, std::any> userInfo = {});

    std::shared_ptr<AVAsset> asset_;
    std::weak_ptr<AVPlayer> player_;

    foundation::KVOProperty<Status> status_{Status::unknown};
    foundation::KVOProperty<coremedia::CMTime> duration_{coremedia::kCMTimeIndefinite};
    foundation::KVOProperty<std::vector<coremedia::CMTimeRange>> seekableTimeRanges_;
    foundation::KVOProperty<std::vector<coremedia::CMTimeRange>> loadedTimeRanges_;
    foundation::KVOProperty<bool> isPlaybackBufferEmpty_{true};
    foundation::KVOProperty<coregraphics::CGSize> presentationSize_;
    std::optional<foundation::Error> error_;

    Phase phase_ = Phase::idle;
    std::shared_ptr<foundation::URLSession> session_;
    std::optional<hls::Variant> variant_;
    bool live_ = false;
    double targetDuration_ = 0;
    std::vector<TimelineSegment> timeline_;
    std::vector<KeyState> keys_;

    double anchorSeconds_ = 0;
    dispatch::Nanoseconds anchorClock_{0};
    double movingRate_ = 0;
    double moveLimit_ = 0;
    std::optional<double> pendingStart_;
    bool endNotified_ = false;
    bool stalled_ = false;

    std::shared_ptr<foundation::URLSessionDataTask> segmentTask_;
    std::int64_t segmentInFlight_ = -1;
    std::shared_ptr<foundation::URLSessionDataTask> playlistTask_;
    dispatch::RunLoop::TimerId reloadTimer_ = 0;

    std::vector<std::pair<double, foundation::Error>> scriptedFailures_;
    std::optional<foundation::Error> dueFailure_;

    double preferredForwardBufferDuration_ = 0;
    std::vector<std::pair<std::shared_ptr<AVMediaSelectionGroup>, std::shared_ptr<AVMediaSelectionOption>>> selection_;
    bool selectionInitialised_ = false;

    std::uint64_t playlistFetchId_ = 0;
    std::uint64_t segmentFetchId_ = 0;

    std::string playbackSessionID_;
    // The access log's one event (one variant plays); counted from the start, published when ready.
    AVPlayerItemAccessLogEvent counters_;
    bool accessLogStarted_ = false;
    // Entries closed before the current one (only tests switch variants: AVPlayerItemTesting).
    std::vector<AVPlayerItemAccessLogEvent> closedAccessEvents_;
    std::optional<AVPlayerItemErrorLog> errorLog_;
};

}  // namespace avfoundation
