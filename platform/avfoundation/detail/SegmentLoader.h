#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>
#include <vector>

#include "avfoundation/HLS.h"
#include "avfoundation/detail/MediaTimeline.h"
#include "dispatch/DispatchQueue.h"
#include "dispatch/RunLoop.h"
#include "foundation/Error.h"
#include "foundation/URLSession.h"

namespace avfoundation::detail {

class ItemLogs;

// Loads an item's media: its variant's media playlist (again every target duration while live) and the
// segments around the playhead, kept on a MediaTimeline. Main thread only, except that playlists are read
// off it.
//
// A media playlist is fetched on a session of its own and read (parsed) on the serial queue that session
// answers on, since a hostile one can be tens of megabytes; what was read is handed back on the main queue,
// in the order the fetches were made. Releasing the loader cancels the fetch and ends a read under way early; nothing
// is handed back afterwards. Segments are fetched one at a time, in order, from the playhead up to the forward buffer;
// a failed one is logged and asked again, and its third failure in a row is handed to the delegate.
//
// The test seam: media faults (a point of the media that fails the item when the playhead plays over it)
// and the queue playlists are read on.
class SegmentLoader {
  public:
    class Delegate {
      public:
        // The media playlist that was fetched (`initial`: the first one), read; or why it could not be.
        virtual void loaderDidReadPlaylist(std::expected<hls::MediaPlaylist, foundation::Error> playlist,
                                           bool initial) = 0;
        // A segment arrived: it is marked loaded on the timeline.
        virtual void loaderDidLoadSegment() = 0;
        // A segment that was asked for did not arrive (it is asked again) or is no longer wanted: the loader
        // waits to be pumped again.
        virtual void loaderIsIdle() = 0;
        // A segment failed for the last time.
        virtual void loaderDidFail(foundation::Error error) = 0;
        virtual bool loaderIsKeyAnswered(KeyId key) const = 0;

      protected:
        ~Delegate() = default;
    };

    SegmentLoader(Delegate& delegate, ItemLogs& logs);
    ~SegmentLoader();
    SegmentLoader(const SegmentLoader&) = delete;
    SegmentLoader& operator=(const SegmentLoader&) = delete;

    // The loader as its owner shares it (an aliasing pointer into the owner): what its callbacks lock.
    void setSelf(std::weak_ptr<SegmentLoader> self) { self_ = std::move(self); }

    // ---- The media playlist ----
    void setPlaylistURL(foundation::URL url) { playlistURL_ = std::move(url); }
    const std::optional<foundation::URL>& playlistURL() const { return playlistURL_; }
    void fetchPlaylist(bool initial);
    // A playlist is on its way: fetched, read, or waiting on the main queue.
    bool isFetchingPlaylist() const { return playlistTask_ != nullptr; }
    // Fetches the playlist again after its target duration (at least a second).
    void scheduleReload();
    void cancelReload();
    bool isLive() const { return live_; }
    void setLive(bool live) { live_ = live; }
    double targetDuration() const { return targetDuration_; }
    void setTargetDuration(double seconds) { targetDuration_ = seconds; }

    // ---- Segments ----
    MediaTimeline& timeline() { return timeline_; }
    const MediaTimeline& timeline() const { return timeline_; }
    // Fetches the next segment the playhead at `position` wants, if any (and no other is on its way).
    void pump(double position);
    bool isFetchingSegment() const { return segmentTask_ != nullptr; }
    // Stops fetching segments and reloading; `failed`: the playlist fetch too.
    void stop(bool failed);

    // Seconds of media to keep loaded ahead of the playhead (0: automatic, 30 s).
    double preferredForwardBufferDuration() const { return preferredForwardBufferDuration_; }
    void setPreferredForwardBufferDuration(double seconds);
    double forwardBufferDuration() const;

    // ---- Questions about the loaded media (`ready`: the item is ready to play) ----
    bool isAtEnd(double position, bool ready) const;
    bool isAtLiveEdge(double position) const;
    bool isBufferedAt(double position, bool ready) const;
    // Start of the first segment after `position` that is not loaded, when there is one.
    std::optional<double> nextGapStart(double position) const;
    // The live edge: three target durations before the window's end.
    double liveEdge() const;

    // ---- The test seam ----
    // The media at `at` cannot be played: the playhead stops there, and the item fails with `error` when it
    // plays onto it.
    void injectFault(double at, foundation::Error error);
    std::optional<double> nextFault(double after) const;
    // The first fault within [from, to], taken out.
    std::optional<foundation::Error> takeFault(double from, double to);
    // Playlists are read on `queue` (nothing: the queue the playlist session answers on).
    void setPlaylistReadingQueue(std::shared_ptr<dispatch::DispatchQueue> queue) { readingQueue_ = std::move(queue); }

  private:
    struct PlaylistAnswer;
    void didFetchPlaylist(bool initial, PlaylistAnswer answer);
    void didFetchSegment(std::int64_t sequence, std::optional<foundation::Data> data,
                         std::optional<foundation::HTTPURLResponse> response, std::optional<foundation::Error> error);
    void cancelPlaylistFetch();

    Delegate& delegate_;
    ItemLogs& logs_;
    std::weak_ptr<SegmentLoader> self_;

    std::optional<foundation::URL> playlistURL_;
    std::shared_ptr<foundation::URLSession> playlistSession_;  // answers on a serial queue of its own
    std::shared_ptr<foundation::URLSession> segmentSession_;   // answers on the main queue
    std::shared_ptr<foundation::URLSessionDataTask> playlistTask_;
    std::uint64_t playlistFetchId_ = 0;
    std::stop_source playlistReading_;  // asked to stop when the fetch is cancelled
    std::shared_ptr<dispatch::DispatchQueue> readingQueue_;
    dispatch::RunLoop::TimerId reloadTimer_ = 0;
    bool live_ = false;
    double targetDuration_ = 0;

    MediaTimeline timeline_;
    std::shared_ptr<foundation::URLSessionDataTask> segmentTask_;
    std::int64_t segmentInFlight_ = -1;
    std::uint64_t segmentFetchId_ = 0;
    double preferredForwardBufferDuration_ = 0;

    std::vector<std::pair<double, foundation::Error>> faults_;  // by position
};

}  // namespace avfoundation::detail
