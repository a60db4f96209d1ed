#pragma once

// Test support: what the simulated media never produces by itself — a presentation size or a duration no
// stream has, a switch to another variant, error-log entries of any shape, media that fails at a given
// point — and a look at what the item is doing. Everything goes through the item's parts
// (detail/PlayerItemEngine.h); header-only.
//
//   avfoundation::testing::AVPlayerItemTesting::setPresentationSize(*item, {NAN, 360});
//   avfoundation::testing::AVPlayerItemTesting::addAccessLogEvent(*item, 600000);
//   avfoundation::testing::AVPlayerItemTesting::failMediaAt(*item, at(10), error);
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "avfoundation/AVPlayerItem.h"
#include "avfoundation/detail/PlayerItemEngine.h"
#include "dispatch/DispatchQueue.h"

namespace avfoundation::testing {

struct AVPlayerItemTesting {
    // A segment is being fetched. Once none is, the item has everything it wants around its playhead, so
    // a paused or still clock keeps its loaded ranges as they are (a picture of them is repeatable).
    static bool isFetchingSegment(const AVPlayerItem& item) { return item.engine().loader().isFetchingSegment(); }
    // A media playlist is on its way (a live item's reload included) until what was read reached the item.
    // Tests that step the clock wait for it, so that a reload is merged at the clock time it was made.
    static bool isLoadingPlaylist(const AVPlayerItem& item) { return item.engine().loader().isFetchingPlaylist(); }

    // Sets the property as the item would (its observers are told), with any value.
    static void setPresentationSize(AVPlayerItem& item, coregraphics::CGSize size) {
        item.engine().properties().presentationSize.set(size);
    }
    static void setDuration(AVPlayerItem& item, coremedia::CMTime duration) {
        item.engine().properties().duration.set(duration);
    }

    // Playback moves to a variant of `indicatedBitrate`: the current access-log entry closes, a new one
    // starts (counters from zero) and AVPlayerItemNewAccessLogEntryNotification is posted, as on a switch.
    static void addAccessLogEvent(AVPlayerItem& item, double indicatedBitrate) {
        item.engine().logs().switchVariant(indicatedBitrate, item.engine().position());
    }

    // Appends `event` to the error log as it stands and posts AVPlayerItemNewErrorLogEntryNotification.
    static void addErrorLogEvent(AVPlayerItem& item, AVPlayerItemErrorLogEvent event) {
        item.engine().logs().append(std::move(event));
    }

    // The media at `at` cannot be played (a fault of the loaded media): the playhead stops there, and when
    // it plays onto it the item fails with `error` (error log entry, status failed, the failed-to-play-to-end
    // notification with the error). A time that is not numeric does nothing.
    static void failMediaAt(AVPlayerItem& item, coremedia::CMTime at, foundation::Error error) {
        if (!at.isNumeric()) return;
        item.engine().loader().injectFault(at.seconds(), std::move(error));
        item.engine().mediaDidChange();
    }

    // Media playlists of the item are read on `queue` instead of the item's playlist queue (a test holds the
    // queue to see the main queue stay free while a playlist is read).
    static void readPlaylistsOn(AVPlayerItem& item, std::shared_ptr<dispatch::DispatchQueue> queue) {
        item.engine().loader().setPlaylistReadingQueue(std::move(queue));
    }

    // The content keys the item holds (asked, and not retired as a live window moved past them).
    static std::size_t contentKeyCount(const AVPlayerItem& item) { return item.engine().keys().count(); }

    // Segments of the item's timeline read to keep and publish its loaded ranges so far.
    static std::uint64_t rangeWork(const AVPlayerItem& item) { return item.engine().loader().timeline().entriesRead(); }
};

}  // namespace avfoundation::testing
