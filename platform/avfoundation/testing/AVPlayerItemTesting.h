#pragma once

// Test support: what the simulated media never produces by itself — a presentation size or a duration no
// stream has, a switch to another variant, and error-log entries of any shape. Header-only.
//
//   avfoundation::testing::AVPlayerItemTesting::setPresentationSize(*item, {NAN, 360});
//   avfoundation::testing::AVPlayerItemTesting::addAccessLogEvent(*item, 600000);
#include <utility>

#include "avfoundation/AVPlayerItem.h"
#include "foundation/Date.h"

namespace avfoundation::testing {

struct AVPlayerItemTesting {
    // A segment is being fetched. Once none is, the item has everything it wants around its playhead, so
    // a paused or still clock keeps its loaded ranges as they are (a picture of them is repeatable).
    static bool isFetchingSegment(const AVPlayerItem& item) { return item.segmentTask_ != nullptr; }

    // Sets the property as the item would (its observers are told), with any value.
    static void setPresentationSize(AVPlayerItem& item, coregraphics::CGSize size) { item.presentationSize_.set(size); }
    static void setDuration(AVPlayerItem& item, coremedia::CMTime duration) { item.duration_.set(duration); }

    // Playback moves to a variant of `indicatedBitrate`: the current access-log entry closes, a new one
    // starts (counters from zero) and AVPlayerItemNewAccessLogEntryNotification is posted, as on a switch.
    static void addAccessLogEvent(AVPlayerItem& item, double indicatedBitrate) {
        if (item.accessLogStarted_) item.closedAccessEvents_.push_back(item.counters_);
        AVPlayerItemAccessLogEvent next;
        next.uri = item.counters_.uri;
        next.serverAddress = item.counters_.serverAddress;
        next.playbackSessionID = item.counters_.playbackSessionID;
        next.playbackStartDate = foundation::Date::now();
        next.playbackStartOffset = item.position();
        next.indicatedBitrate = indicatedBitrate;
        item.counters_ = std::move(next);
        item.accessLogStarted_ = true;
        item.post(AVPlayerItemNewAccessLogEntryNotification);
    }

    // Appends `event` to the error log as it stands and posts AVPlayerItemNewErrorLogEntryNotification.
    static void addErrorLogEvent(AVPlayerItem& item, AVPlayerItemErrorLogEvent event) {
        if (!item.errorLog_) item.errorLog_.emplace();
        item.errorLog_->events.push_back(std::move(event));
        item.post(AVPlayerItemNewErrorLogEntryNotification);
    }
};

}  // namespace avfoundation::testing
