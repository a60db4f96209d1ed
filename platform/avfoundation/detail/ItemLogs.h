#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "avfoundation/AVPlayerItem.h"
#include "foundation/Error.h"
#include "foundation/NotificationCenter.h"

namespace avfoundation::detail {

// An item's access log (one event per variant played, its counters growing while it plays) and error log
// (one event per failure), with the notification of each new entry. Main thread only.
class ItemLogs {
  public:
    using Post = std::function<void(const foundation::Notification::Name&)>;

    explicit ItemLogs(Post post);

    const std::string& playbackSessionID() const { return counters_.playbackSessionID; }

    // The variant whose playlist is loaded: the access log's event describes it.
    void setVariant(const hls::Variant& variant);
    // A playlist, segment or key asked for (`bytes` received; `segmentDuration` seconds of media).
    void countRequest(long long bytes, double segmentDuration);
    void countStall() { ++counters_.numberOfStalls; }
    void countWatched(double seconds) { counters_.durationWatched += seconds; }
    // Playback starts at `offset`: the access log's first event is published.
    void start(double offset);
    // Playback moves to a variant of `indicatedBitrate` at `position`: the current event closes and a new
    // one starts with its counters at zero.
    void switchVariant(double indicatedBitrate, double position);

    void logError(const std::string& uri, int statusCode, const std::string& domain,
                  std::optional<std::string> comment);
    void logError(const std::string& uri, const foundation::Error& error);
    void append(AVPlayerItemErrorLogEvent event);

    // Snapshots; nothing before their first entry.
    std::shared_ptr<const AVPlayerItemAccessLog> accessLog() const;
    std::shared_ptr<const AVPlayerItemErrorLog> errorLog() const;

  private:
    Post post_;
    AVPlayerItemAccessLogEvent counters_;  // the current event; counted from the start, published when ready
    bool started_ = false;
    std::vector<AVPlayerItemAccessLogEvent> closed_;  // events before the current one
    std::optional<AVPlayerItemErrorLog> errorLog_;
};

}  // namespace avfoundation::detail
