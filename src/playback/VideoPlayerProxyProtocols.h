#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "combine/Combine.h"
#include "coremedia/CMTime.h"
#include "playback/AdModels.h"
#include "playback/PlayerInterface.h"

namespace lumora {

// Decides, from the playhead alone, when the ads of a break start and finish being shown.
class AdSignallingServiceInterface {
  public:
    // (ad shown, its index in its group)
    using StartCallback = std::function<void(const AdDisplayInfo&, int)>;
    // (ad finished, its index in its group, hasAdCompleted: the whole break is over)
    using FinishCallback = std::function<void(const AdDisplayInfo&, int, bool)>;

    virtual ~AdSignallingServiceInterface() = default;

    // Examines one playhead time (seconds on the stream timeline) against the ad groups and calls at
    // most one finish and then at most one start.
    virtual void check(double time, const AdGroups& adGroups, const StartCallback& startCallback,
                       const FinishCallback& finishCallback) = 0;
    // Forgets the break being shown, without callbacks.
    virtual void reset() = 0;
};

// The player's input into the proxy: the host's ad groups and the media player to watch.
class VideoPlayerProxyInput {
  public:
    virtual ~VideoPlayerProxyInput() = default;
    virtual void update(AdGroups adGroups) = 0;
    virtual void set(std::shared_ptr<PlayerInterface> player) = 0;
};

// The ad start and finish events. The publisher never completes and never fails.
class VideoPlayerProxyEventSendable {
  public:
    virtual ~VideoPlayerProxyEventSendable() = default;
    virtual combine::AnyPublisher<AdEvent> adEventsPublisher() const = 0;
};

// Conversions between the stream timeline (ads counted, what the media player uses) and the content
// timeline (ads cut out, what the viewer sees). All times are seconds.
class VideoPlayerProxyCalculations {
  public:
    virtual ~VideoPlayerProxyCalculations() = default;
    // Stream time to content time; a playhead inside an ad maps to the content time where the ad begins.
    virtual double currentTimeWithoutAds(double playheadTime) const = 0;
    // The stream's duration less every ad; not clamped, so it is negative when the ads add up to more.
    virtual double durationWithoutAds(double duration) const = 0;
    // Content time to stream time; a content time exactly on an ad's start maps past that ad.
    virtual double currentTimeWithAds(double time) const = 0;
    // Each range with both ends moved to content time, in the given order; a range that cannot be
    // expressed is dropped.
    virtual std::vector<coremedia::CMTimeRange> loadedTimeRangesWithoutAds(
        const std::vector<coremedia::CMTimeRange>& timeRanges) const = 0;
    // The stream-time span of the ad that contains `time`, or the zero range.
    virtual coremedia::CMTimeRange timeRangeForAdAt(double time) const = 0;
};

// The one value the player takes as its proxy: at once calculations, event source and input.
class VideoPlayerProxyInterface : public VideoPlayerProxyCalculations,
                                  public VideoPlayerProxyEventSendable,
                                  public VideoPlayerProxyInput {};

}  // namespace lumora
